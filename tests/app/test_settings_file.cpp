// "tool.ini" as the operator edits it: profile-file reading and writing, and the tool's settings.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "app/profile_file.h"
#include "app/tool_settings.h"
#include "event_loop.h"

namespace {

class ProfileFileTest : public ::testing::Test {
  protected:
    void put(const std::string& text) { std::ofstream(path, std::ios::binary) << text; }
    std::string content() const {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }

    QTemporaryDir dir;
    std::string path = dir.filePath("tool.ini").toStdString();
    ProfileFile file{path};
};

TEST_F(ProfileFileTest, ReadsTheValueOfTheFirstMatchingKey) {
    struct Case {
        std::string text;
        std::optional<std::string> value;  // of Pump / CAN address
    };
    const std::vector<Case> cases = {
        {"[Pump]\nCAN address=61\n", "61"},
        {"[PUMP]\ncan ADDRESS = 62 \n", "62"},
        {"  [ Pump ]  \r\n\tCAN address\t=\t63\r\n", "63"},
        {"[Other]\nCAN address=1\n[Pump]\nCAN address=64", "64"},
        {"[Pump]\n;CAN address=1\nCAN address=a=b\n", "a=b"},
        {"[Pump]\nCAN address=\n", ""},
        {"[Pump]\nCAN address=1\n[Pump]\nCAN address=2\n", "1"},
        {"[Pump]\nCAN address=1\nCAN address=2\n", "1"},
        {"CAN address=5\n[Pump]\nOther=1\n", std::nullopt},
        {"[Pump]\nCANaddress=5\nCAN  address=6\n", std::nullopt},
        {"", std::nullopt},
        {std::string("\0\xff[Pump]\0\n=\n\xfe", 13), std::nullopt},
        {"[Pump]\nCAN address", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        put(c.text);
        EXPECT_EQ(file.readString("Pump", "CAN address"), c.value);
    }
}

TEST_F(ProfileFileTest, AMissingFileReadsAsMissing) {
    EXPECT_FALSE(file.exists());
    EXPECT_EQ(file.readString("Pump", "CAN address"), std::nullopt);
    EXPECT_EQ(file.readInteger("Pump", "CAN address", 61), 61);
    EXPECT_FALSE(file.exists());
}

TEST_F(ProfileFileTest, IntegersMustBeDecimalThroughout) {
    struct Case {
        std::string value;
        int expected;
    };
    const std::vector<Case> cases = {
        {"61", 61},
        {" 70 ", 70},
        {"-5", -5},
        {"+7", 7},
        {"0", 0},
        {"61abc", 9},
        {"0x3D", 9},
        {"", 9},
        {"6 1", 9},
        {"+-1", 9},
        {"-", 9},
        {"99999999999", 9},
        {"2147483647", 2147483647},
        {"61.0", 9},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        put("[Pump]\nCAN address=" + c.value + "\n");
        EXPECT_EQ(file.readInteger("Pump", "CAN address", 9), c.expected);
    }
}

TEST_F(ProfileFileTest, WritingAKeyKeepsEverythingElse) {
    struct Case {
        const char* what;
        std::optional<std::string> before;  // nothing: no file
        std::string after;
    };
    const std::vector<Case> cases = {
        {"no file", std::nullopt, "[Pump]\nCAN address=61\n"},
        {"empty file", "", "[Pump]\nCAN address=61\n"},
        {"other sections and comments stay", "; notes\n[Adapter]\nInterface=x\n",
         "; notes\n[Adapter]\nInterface=x\n[Pump]\nCAN address=61\n"},
        {"no line break at the end", "[Adapter]\nInterface=x",
         "[Adapter]\nInterface=x\n[Pump]\nCAN address=61\n"},
        {"Windows line breaks are kept and used", "[Adapter]\r\nInterface=x\r\n",
         "[Adapter]\r\nInterface=x\r\n[Pump]\r\nCAN address=61\r\n"},
        {"the key is replaced in place", "[pump]\r\nCAN Address = 5\r\nOther=1\r\n",
         "[pump]\r\nCAN address=61\r\nOther=1\r\n"},
        {"a missing key goes after the section's last entry",
         "[Pump]\nOther=1\n\n[Adapter]\nInterface=x\n",
         "[Pump]\nOther=1\nCAN address=61\n\n[Adapter]\nInterface=x\n"},
        {"a section at the end without a line break", "[Pump]\nOther=1",
         "[Pump]\nOther=1\nCAN address=61\n"},
        {"an empty section", "[Pump]\n", "[Pump]\nCAN address=61\n"},
        {"only the first of two sections changes", "[Pump]\nCAN address=1\n[Pump]\nCAN address=2\n",
         "[Pump]\nCAN address=61\n[Pump]\nCAN address=2\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove(path);
        if (c.before) {
            put(*c.before);
        }
        ASSERT_TRUE(file.writeInteger("Pump", "CAN address", 61));
        EXPECT_EQ(content(), c.after);
        EXPECT_EQ(file.readInteger("Pump", "CAN address", 0), 61);
    }
}

TEST_F(ProfileFileTest, WritesThatCannotSucceedLeaveTheFileAlone) {
    put("[Pump]\nCAN address=5\n");
    EXPECT_FALSE(file.writeString("Pump", "CAN address", "6\n[Evil]"));
    EXPECT_FALSE(file.writeString("Pump", "a=b", "6"));
    EXPECT_FALSE(file.writeString("", "CAN address", "6"));
    EXPECT_EQ(content(), "[Pump]\nCAN address=5\n");

    ProfileFile nowhere(dir.filePath("missing/folder/tool.ini").toStdString());
    EXPECT_FALSE(nowhere.writeInteger("Pump", "CAN address", 61));
    EXPECT_FALSE(nowhere.exists());
}

TEST(ToolSettingsTest, AdapterInterfaceIsReadButNeverWritten) {
    QTemporaryDir dir;
    const std::string path = dir.filePath("tool.ini").toStdString();
    ToolSettings settings(path);
    EXPECT_EQ(settings.adapterInterface(), kDefaultAdapter);
    EXPECT_FALSE(std::filesystem::exists(path));
    std::ofstream(path) << "[adapter]\ninterface = virtualcan:can1 \n";
    EXPECT_EQ(settings.adapterInterface(), "virtualcan:can1");
}

TEST(ToolSettingsTest, AnUnwritableFolderStillGivesTheDefaultAddress) {
    QTemporaryDir dir;
    ToolSettings settings(dir.filePath("gone/tool.ini").toStdString());
    std::vector<std::string> problems;
    settings.onProblem = [&](const std::string& text) { problems.push_back(text); };
    EXPECT_EQ(settings.reload(), 61);
    EXPECT_EQ(settings.reload(), 61);
    EXPECT_TRUE(problems.empty()) << "a missing file is no fault of the operator's";
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

class ToolSettingsFile : public ::testing::Test {
  protected:
    ToolSettingsFile() {
        settings.onProblem = [this](const std::string& text) { problems.push_back(text); };
    }
    QTemporaryDir dir;
    std::string path = dir.filePath("tool.ini").toStdString();
    ToolSettings settings{path};
    std::vector<std::string> problems;
};

TEST_F(ToolSettingsFile, TheFirstReadCreatesTheFileWithTheDefault) {
    ASSERT_TRUE(dir.isValid());
    ASSERT_FALSE(std::filesystem::exists(path));
    EXPECT_EQ(settings.reload(), 61);
    EXPECT_EQ(readFile(path), "[Pump]\nCAN address=61\n");
}

TEST_F(ToolSettingsFile, AnEditedAddressIsReadAgainAndAFaultyOneToldOnce) {
    ASSERT_TRUE(dir.isValid());
    EXPECT_EQ(settings.reload(), 61);
    std::ofstream(path, std::ios::binary | std::ios::trunc) << "[Pump]\nCAN address=70\n";
    EXPECT_EQ(settings.reload(), 70);
    std::ofstream(path, std::ios::binary | std::ios::trunc) << "[pump]\ncan ADDRESS = 0x46\n";
    EXPECT_EQ(settings.reload(), 61);  // unreadable: the default again
    EXPECT_EQ(settings.reload(), 61);
    ASSERT_EQ(problems.size(), 1u) << "the same fault is told once";
    EXPECT_NE(problems[0].find("\"0x46\""), std::string::npos);
    EXPECT_EQ(readFile(path), "[pump]\ncan ADDRESS = 0x46\n");  // present, so not rewritten
    std::ofstream(path, std::ios::binary | std::ios::trunc) << "[Pump]\nCAN address=254\n";
    EXPECT_EQ(settings.reload(), 61);
    EXPECT_EQ(problems.size(), 2u) << "another fault is told again";
}

TEST_F(ToolSettingsFile, AFileWithoutTheKeyGetsItAndKeepsTheRest) {
    ASSERT_TRUE(dir.isValid());
    std::ofstream(path, std::ios::binary)
        << "; operator's notes\r\n[Adapter]\r\nInterface=virtualcan:can0\r\n";
    EXPECT_EQ(settings.reload(), 61);
    EXPECT_EQ(readFile(path),
              "; operator's notes\r\n[Adapter]\r\nInterface=virtualcan:can0\r\n"
              "[Pump]\r\nCAN address=61\r\n");
    EXPECT_EQ(settings.adapterInterface(), "virtualcan:can0");
}

TEST_F(ToolSettingsFile, TheWatcherReloadsAChangedOrReplacedFile) {
    ASSERT_TRUE(dir.isValid());
    settings.reload();
    settings.watch();
    std::vector<int> changes;
    QObject::connect(&settings, &ToolSettings::pumpAddressChanged,
                     [&](int address) { changes.push_back(address); });
    std::ofstream(path, std::ios::binary | std::ios::trunc) << "[Pump]\nCAN address=70\n";
    EXPECT_TRUE(processEventsUntil([&] { return !changes.empty(); }, 5000));
    // An editor that saves by writing a new file and renaming it over the old one.
    const std::string next = path + ".new";
    std::ofstream(next, std::ios::binary) << "[Pump]\nCAN address=72\n";
    std::filesystem::rename(next, path);
    EXPECT_TRUE(processEventsUntil([&] { return changes.size() >= 2; }, 5000));
    EXPECT_EQ(changes, (std::vector<int>{70, 72}));
    EXPECT_EQ(settings.pumpAddress(), 72);
}

TEST(ToolSettingsTest, DefaultPathIsBesideTheExecutableWhenThatIsWritable) {
    const auto folder = std::filesystem::path(QCoreApplication::applicationDirPath().toStdString());
    ASSERT_TRUE(std::filesystem::exists(folder));
    EXPECT_EQ(std::filesystem::path(ToolSettings::defaultPath()), folder / "tool.ini");
}

}  // namespace

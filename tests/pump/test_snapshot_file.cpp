// Configuration snapshot files: the line-feed translation both ways, refusals of files that hold
// no snapshot, and saves that never destroy the file they replace. File tests work in a private
// temporary folder.

#include "pump/snapshot_file.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;

const DisplayFormat kPoint{'.', "%Y-%m-%d"};

// Every byte its own index, so a shifted byte shows.
SnapshotRecord countingRecord() {
    SnapshotRecord r{};
    for (std::size_t i = 0; i < r.size(); ++i) {
        r[i] = static_cast<uint8_t>(i + 0x20);
    }
    return r;
}

class SnapshotFiles : public testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "snapshot-test-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    static void writeFile(const fs::path& path, const Bytes& bytes) {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
    static Bytes readFile(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), {});
    }
    std::vector<fs::path> entries() const {
        std::vector<fs::path> out;
        for (const auto& e : fs::directory_iterator(dir_)) {
            out.push_back(e.path().filename());
        }
        return out;
    }

    fs::path dir_;
};

// A save at the installer level of a pump that reported everything.
SnapshotSource readBack() {
    SnapshotSource s;
    s.pumpSoftwareVersion = {0, 11};
    s.tankUpperLimit = "5";
    s.tankLowerLimit = "0";
    s.defreezeLimit = "-5";
    s.conversionRatioReduced = "5.00";
    s.conversionRatioThreshold = "7.00";
    s.conversionRatioAveragePeriod = "20";
    s.blockedNozzleRestart = "10";  // 0x0A: one line feed in the record
    s.conversionGain = "1";
    s.catalystVolume = "25";
    s.catalystLength = "300";
    s.mafFactor = "120";
    return s;
}

}  // namespace

TEST(SnapshotFileFormat, LineFeedsAreWrittenAsCarriageReturnLineFeed) {
    SnapshotRecord r = countingRecord();
    r[0] = 0x0A;
    r[40] = 0x0D;  // a record pair 0x0D 0x0A stays apart from the translation
    r[41] = 0x0A;
    r[89] = 0x0A;
    const Bytes file = encodeSnapshotFile(r);
    ASSERT_EQ(file.size(), 93u);
    EXPECT_EQ(Bytes(file.begin(), file.begin() + 3), (Bytes{0x0D, 0x0A, 0x21}));
    EXPECT_EQ(Bytes(file.begin() + 40, file.begin() + 45), (Bytes{0x47, 0x0D, 0x0D, 0x0A, 0x4A}));
    EXPECT_EQ(Bytes(file.end() - 2, file.end()), (Bytes{0x0D, 0x0A}));

    const SnapshotRead back = decodeSnapshotFile(file, "x.nox");
    ASSERT_TRUE(back.record.has_value()) << back.error;
    EXPECT_EQ(*back.record, r);
}

TEST(SnapshotFileFormat, FilesThatHoldNoRecordAreRefused) {
    const Bytes exact(90, 0x11);
    Bytes short89(89, 0x11);
    Bytes long91(91, 0x11);
    // 90 record bytes once the pairs are undone.
    Bytes translated(88, 0x11);
    translated.insert(translated.begin() + 3, {0x0D, 0x0A});
    translated.insert(translated.end(), {0x0D, 0x0A});
    // A lone line feed or carriage return is a record byte of its own.
    Bytes lone(90, 0x11);
    lone[5] = 0x0A;
    lone[6] = 0x0D;
    // A full record and one translated line feed more: 91 record bytes.
    Bytes overlong(90, 0x11);
    overlong.insert(overlong.end(), {0x0D, 0x0A});
    const struct {
        const char* what;
        Bytes file;
        bool accepted;
        const char* mention;
    } cases[] = {
        {"exact", exact, true, ""},
        {"translated", translated, true, ""},
        {"lone", lone, true, ""},
        {"empty", {}, false, "holds 0 bytes"},
        {"short", short89, false, "holds 89 bytes"},
        {"long", long91, false, "holds 91 bytes"},
        {"overlong", overlong, false, "holds 91 bytes"},
        {"huge", Bytes(181, 0x0A), false, "longer"},
    };
    for (const auto& c : cases) {
        const SnapshotRead read = decodeSnapshotFile(c.file, "field.nox");
        EXPECT_EQ(read.record.has_value(), c.accepted) << c.what;
        if (!c.accepted) {
            EXPECT_NE(read.error.find(c.mention), std::string::npos) << read.error;
            EXPECT_NE(read.error.find("\"field.nox\""), std::string::npos) << read.error;
            EXPECT_NE(read.error.find("Nothing was loaded"), std::string::npos) << read.error;
        }
    }
}

// A record with two line feeds is stored in 92 bytes and loads back as it was.
TEST_F(SnapshotFiles, RecordWithTwoLineFeedsIsStoredIn92BytesAndLoadsBack) {
    SnapshotRecord r = countingRecord();
    r[10] = 0x0A;
    r[70] = 0x0A;
    const fs::path file = dir_ / "Configuration.nox";
    ASSERT_EQ(writeSnapshotFile(file, r), "");
    EXPECT_EQ(fs::file_size(file), 92u);
    const SnapshotRead back = readSnapshotFile(file);
    ASSERT_TRUE(back.record.has_value()) << back.error;
    EXPECT_EQ(*back.record, r);
    EXPECT_EQ(entries(), std::vector<fs::path>{"Configuration.nox"});  // no temporary left
}

TEST_F(SnapshotFiles, UnreadableFilesAreRefusedWithAReason) {
    writeFile(dir_ / "empty.nox", {});
    fs::create_directory(dir_ / "folder.nox");
    const struct {
        fs::path path;
        const char* mention;
    } cases[] = {
        {dir_ / "missing.nox", "does not exist"},
        {dir_ / "folder.nox", "is a folder"},
        {dir_ / "empty.nox", "holds 0 bytes"},
    };
    for (const auto& c : cases) {
        const SnapshotRead read = readSnapshotFile(c.path);
        EXPECT_FALSE(read.record.has_value());
        EXPECT_NE(read.error.find(c.mention), std::string::npos) << read.error;
    }
    // A large file is refused from its first bytes.
    writeFile(dir_ / "big.nox", Bytes(100000, 0x41));
    EXPECT_NE(readSnapshotFile(dir_ / "big.nox").error.find("longer"), std::string::npos);
}

TEST_F(SnapshotFiles, SaveReplacesTheFileOnlyWithACompleteRecord) {
    const fs::path file = dir_ / "pump.nox";
    const Bytes before = {1, 2, 3};
    writeFile(file, before);

    // A label still showing "?": refused before the file system is touched.
    SnapshotSource unread = readBack();
    unread.catalystLength = "?";
    const SnapshotSave refused = saveSnapshot(file, unread, {false, false}, kPoint);
    EXPECT_FALSE(refused.saved);
    EXPECT_STREQ(refused.objectName, "lCatalystLength");
    EXPECT_NE(refused.error.find("Catalyst length [mm]"), std::string::npos) << refused.error;
    EXPECT_EQ(readFile(file), before);
    EXPECT_EQ(entries(), std::vector<fs::path>{"pump.nox"});

    const SnapshotSave saved = saveSnapshot(file, readBack(), {false, false}, kPoint);
    EXPECT_TRUE(saved.saved) << saved.error;
    EXPECT_EQ(fs::file_size(file), 91u);  // the restart time 10 is a line feed
    const SnapshotRead back = readSnapshotFile(file);
    ASSERT_TRUE(back.record.has_value());
    EXPECT_EQ((*back.record)[39], 0x0A);
    EXPECT_EQ(entries(), std::vector<fs::path>{"pump.nox"});
}

TEST_F(SnapshotFiles, SaveThatCannotWriteLeavesEverythingAsItWas) {
    const SnapshotRecord r = countingRecord();
    const std::string intoMissing = writeSnapshotFile(dir_ / "nowhere" / "a.nox", r);
    EXPECT_NE(intoMissing.find("not saved"), std::string::npos) << intoMissing;
    EXPECT_FALSE(fs::exists(dir_ / "nowhere"));

    fs::create_directory(dir_ / "taken.nox");
    const std::string ontoFolder = writeSnapshotFile(dir_ / "taken.nox", r);
    EXPECT_NE(ontoFolder.find("folder"), std::string::npos) << ontoFolder;
    EXPECT_TRUE(fs::is_directory(dir_ / "taken.nox"));
    EXPECT_EQ(entries(), std::vector<fs::path>{"taken.nox"});
}

TEST_F(SnapshotFiles, SnapshotFolderBesideTheExecutable) {
    // Loading starts in the executable's folder until "conf" exists.
    EXPECT_EQ(snapshotLoadFolder(dir_), dir_);
    const auto save = snapshotSaveFolder(dir_);
    ASSERT_TRUE(save.has_value());
    EXPECT_EQ(*save, dir_ / "conf");
    EXPECT_TRUE(fs::is_directory(dir_ / "conf"));
    EXPECT_EQ(snapshotSaveFolder(dir_), dir_ / "conf");  // already there
    EXPECT_EQ(snapshotLoadFolder(dir_), dir_ / "conf");

    // A file named "conf" is in the way: the folder cannot be created.
    const fs::path other = dir_ / "other";
    fs::create_directory(other);
    writeFile(other / "conf", {1});
    EXPECT_FALSE(snapshotSaveFolder(other).has_value());
    EXPECT_EQ(snapshotLoadFolder(other), other);
}

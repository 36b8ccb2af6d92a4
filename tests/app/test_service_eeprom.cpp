// The EEPROM read-out to a CSV file: the whole read against the simulated pump, the folder and
// file that cannot be had, and a read-out that ends honestly when its word is given up.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "service_bench.h"
#include "timer_driver.h"
#include "tool_harness.h"

namespace {

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<cannot read>");
}

TEST(EepromReadOut, ReadsAll192WordsIntoTheFileAgainstTheSimulatedPump) {
    ServiceBench b;
    QTemporaryDir dir;
    const QString logFolder = dir.filePath("beside/log");
    b.service().setLogFolder(logFolder);
    b.connect();
    const QString file = logFolder + "/pump1.csv";
    b.h.dialogs.fileNames = {file};
    b.window().btReadAllPROM->click();
    // The folder is made for the dialog, which starts there with the file name offered.
    ASSERT_EQ(b.h.dialogs.fileDialogs.size(), 1u);
    EXPECT_EQ(b.h.dialogs.fileDialogs[0].defaultName, logFolder + "/eepromdata.csv");
    EXPECT_EQ(b.h.dialogs.fileDialogs[0].filter,
              "Comma separated file (*.csv);;Text Files (*.txt);;All files (*.*)");
    EXPECT_TRUE(QDir(logFolder).exists());
    EXPECT_EQ(b.h.label("fServiceTool", "lEEPROMReadAdr"), "0");

    ASSERT_TRUE(b.runUntil(
        [&] { return b.h.label("fServiceTool", "lStatus") == "All EEPROM Read"; }, 15000));
    EXPECT_FALSE(b.service().eepromReadOutRunning());
    const QByteArray text = readFile(file);
    const QList<QByteArray> lines = text.split('\n');
    ASSERT_EQ(lines.size(), 194) << "header, 192 words, and nothing after the last line end";
    EXPECT_EQ(lines[0], "Address(dec), Data (dec), Data (hex)\r");
    // Word 0 is the low half of the serial number 20231041 (0x0134B381).
    EXPECT_EQ(lines[1], "   0,  45953,  b381 \r");
    // Word 6 holds the user calibration, 1000 g.
    EXPECT_EQ(lines[7], "   6,   1000,   3e8 \r");
    EXPECT_TRUE(lines[192].startsWith(" 191, "));
    EXPECT_EQ(lines[193], "");
    EXPECT_EQ(b.h.label("fServiceTool", "lEEPROMReadAdr"), "191");
    const uint16_t last = b.pump().eeprom[191];
    EXPECT_EQ(b.h.label("fServiceTool", "lDataHex"),
              QString("%1").arg(last, 4, 16, QChar('0')).toUpper());
    // A second read-out offers the folder of the file chosen last.
    b.h.dialogs.fileNames = {};
    b.window().btReadAllPROM->click();
    ASSERT_EQ(b.h.dialogs.fileDialogs.size(), 2u);
    EXPECT_EQ(b.h.dialogs.fileDialogs[1].defaultName, logFolder + "/eepromdata.csv");
}

TEST(EepromReadOut, AFolderOrFileThatCannotBeHadEndsWithAMessageAndSendsNothing) {
    QTemporaryDir dir;
    QFile plain(dir.filePath("plain"));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    struct Case {
        const char* name;
        QString logFolder;
        QString chosen;  // the file the dialog returns
        QString message;
        bool dialogAsked;
    };
    const Case cases[] = {
        {"log folder under a plain file", dir.filePath("plain/log"), QString(), "Cannot create",
         false},
        {"file in a folder that does not exist", dir.filePath("log"),
         dir.filePath("log/missing/eeprom.csv"),
         "Cannot create the EEPROM dump file\n" + dir.filePath("log/missing/eeprom.csv"), true},
        {"file name that is a folder", dir.filePath("log"), dir.filePath("log.csv"),
         "Cannot create the EEPROM dump file\n" + dir.filePath("log.csv"), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ServiceBench b;
        b.service().setLogFolder(c.logFolder);
        b.connect();
        QDir().mkpath(dir.filePath("log.csv"));  // a folder where the file should go
        b.h.dialogs.fileNames = {c.chosen};
        b.window().btReadAllPROM->click();
        EXPECT_EQ(b.h.dialogs.texts(), QStringList{c.message});
        EXPECT_EQ(b.h.dialogs.fileDialogs.empty(), !c.dialogAsked);
        EXPECT_FALSE(b.service().eepromReadOutRunning());
        b.run(1000);
        EXPECT_EQ(b.commands(), std::vector<int>{});
    }
}

class EepromGiveUp : public ::testing::Test {
  protected:
    void SetUp() override {
        h.start();
        h.pumpClaims(61);
        h.receiveMessage(61, 249, pgn::kProprietaryA, {0, 0, 0, 0, 0, 0, 0, 1});  // test mode
        h.core().queue().clear();
        s().setLogFolder(dir.filePath("log"));
        ServiceModule& module = s();
        timers.add(h.find<QTimer>("fServiceTool", "tmrEepromWatch"),
                   [&module] { module.eepromWatchTick(); });
    }
    ServiceModule& s() { return h.app().service(); }
    // 10-ms steps; the pump speaks now and then, so that it stays connected.
    void run(int ms) {
        for (int t = 0; t < ms; t += 10) {
            h.tick();
            timers.advance(10);
            if (t % 500 == 0) {
                h.pumpSpeaks();
            }
        }
    }
    void word(uint32_t address, uint16_t value, uint8_t valid = 1) {
        h.receiveMessage(61, 249, pgn::kProprietaryA,
                         {uint8_t(address), uint8_t(address >> 8), 0, 0, uint8_t(value),
                          uint8_t(value >> 8), valid, 146});
    }
    int eepromRequests() {
        int n = 0;
        for (int code : h.sentCodes()) {
            n += code == 146 ? 1 : 0;
        }
        return n;
    }
    void start() {
        h.dialogs.fileNames = {dir.filePath("log/dump.csv")};
        s().readAllEeprom();
        ASSERT_TRUE(s().eepromReadOutRunning());
    }

    QTemporaryDir dir;
    ToolHarness h;
    TimerDriver timers;
};

TEST_F(EepromGiveUp, TheSchedulerGivingUpOnTheWordEndsTheReadOut) {
    start();
    run(100);
    word(0, 0x1234);
    run(100);
    ASSERT_EQ(h.label("fServiceTool", "lEEPROMReadAdr"), "1");
    ASSERT_EQ(eepromRequests(), 2);
    // Word 1 never comes: 60 requests once the pump counts as connected (at 1 s), then the
    // scheduler stops waiting.
    run(5000);
    EXPECT_EQ(h.label("fServiceTool", "lStatus"), "EEPROM data NOT read");
    EXPECT_FALSE(s().eepromReadOutRunning());
    run(1000);
    EXPECT_EQ(eepromRequests(), 2) << "nobody asks for the word again";
    EXPECT_EQ(readFile(dir.filePath("log/dump.csv")),
              "Address(dec), Data (dec), Data (hex)\r\n   0,   4660,  1234 \r\n");
}

TEST_F(EepromGiveUp, EachReadOutCountsItsOwnMismatches) {
    h.core().replyDecoder().eepromMismatchCount = 55;  // left over from an earlier read
    start();
    run(100);
    for (int i = 0; i < 20; ++i) {
        word(7, 0);  // not the word asked for
    }
    EXPECT_TRUE(s().eepromReadOutRunning());
    EXPECT_EQ(h.core().replyDecoder().eepromMismatchCount, 20);
}

TEST_F(EepromGiveUp, CancellingASecondSaveDialogLeavesTheRunningReadOutAlone) {
    start();
    run(100);
    h.dialogs.fileNames = {};  // cancel
    s().readAllEeprom();
    EXPECT_TRUE(s().eepromReadOutRunning());
    word(0, 0xBEEF);
    EXPECT_EQ(h.label("fServiceTool", "lEEPROMReadAdr"), "1");
    EXPECT_EQ(h.label("fServiceTool", "lDataHex"), "BEEF");
    EXPECT_EQ(h.status(), "Reading EEPROM data");
}

}  // namespace

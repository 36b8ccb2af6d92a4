// The download command of the installer window on a recording adapter: what the operator typed
// goes through the checks in their order, the questions, and out as the telegrams of the pump's
// generation; the pump's echoes decide what the status line says. Frames are read back from what
// the tool wrote and compared with hand-built bytes.

#include <gtest/gtest.h>

#include <QApplication>
#include <functional>
#include <map>
#include <set>

#include "app/operator_messages.h"
#include "installer_fixture.h"
#include "pump/text_tables.h"

using namespace installer_test;
using Telegram = std::vector<uint8_t>;

namespace {

const DisplayFormat kPoint{'.', "%Y-%m-%d"};
constexpr uint8_t kCodeByte = 7;

std::string messageText(int code) {
    return operatorMessageText(
        code, 0, [](int n) { return std::string(text_tables::notDownloadedText(n).value_or("")); });
}

// How the pump answers one telegram: the reply, or nothing (silence).
using Answer = std::function<std::optional<Telegram>(const Telegram& sent)>;

// The pump as these tests need it: it enters test mode, echoes configuration images and parameter
// writes whole, and answers everything else with a page nobody looks at.
std::optional<Telegram> faithfulPump(const Telegram& sent) {
    const uint8_t code = sent.at(kCodeByte);
    if (code == service_code::kEnterTestMode) {
        return Telegram{0, 0, 0, 0, 0, 0, service_arg::kFinalTest, code};
    }
    if (code == service_code::kConfigDownloadOld || code == service_code::kConfigDownloadNew ||
        code == service_code::kParameterWrite) {
        return sent;
    }
    return Telegram{0, 0, 0, 0, 0, 0, 0, service_code::kPage202};
}

// One tool on a recording adapter, with the operator's and the pump's parts.
struct Bench {
    Bench() { h.core().pageDisplay().format = kPoint; }

    // A pump of this software, found, its pages in, the access level granted.
    void connect(uint8_t major, uint8_t minor, int level, bool allPages = true) {
        h.start();
        h.pumpClaims(61);
        // Past the supervision's first second: from then on the scheduler chases every reply.
        for (int t = 0; t < 1100; t += 50) {
            h.tick(5);
            h.pumpReplies();
        }
        ASSERT_TRUE(h.core().scheduler().pumpConnected());
        Bytes p204 = page204(major, minor);
        p204.u8(status_page::page204::kHeaterBits, status_page::page204::kMonitorLineHeaterBit);
        if (allPages) {
            Bytes p203(status_page::kPage203Size);
            p203.u16(status_page::page203::kMafFactor, 120)
                .u16(status_page::page203::kMinimumMafRunning, 40)
                .s8(status_page::page203::kTankLowerLimit, -5)
                .s8(status_page::page203::kTankUpperLimit, 10)
                .s8(status_page::page203::kDefreezeLimit, -12);
            page(h, service_code::kPage203, p203);
            page(h, service_code::kPage204, p204);
            page(h, service_code::kPage212, Bytes(5).u16(0, 500).u16(2, 700).u8(4, 20));
            page(h, service_code::kPage216,
                 page216(status_page::page216::kDownstreamNoxBit | (1 << 5), 1));
        } else if (major != 0 || minor != 0) {
            page(h, service_code::kPage204, p204);
        }
        grantLevel(h, level);
        h.dialogs.shown.clear();
        h.clearWritten();
    }

    TfInstaller& w() { return h.app().installer().window(); }
    void type(const char* edit, const QString& text) {
        ASSERT_NE(w().edit(edit), nullptr) << edit;
        w().edit(edit)->setText(text);
    }
    void select(const char* combo, int index) {
        ASSERT_NE(w().combo(combo), nullptr) << combo;
        w().combo(combo)->setCurrentIndex(index);
        w().refreshEnableRules();
    }

    // What an installer types on "Setup".
    void typeBasic() {
        type("eVIN", "WDB12345");
        w().dtpZovar_InstallDate->setDate(QDate(2025, 3, 14));
        type("eZovar_Dashboard", "98765");
        type("eZovar_BlockedNozzleSetupRestart", "45");
        type("eZovar_CatalystVolume", "32.5");
        type("eZovar_CatalystLength", "410.2");
        type("eZovar_ConversionGain", "1.35");
        type("eZovar_MafFactor", "275");
        type("eZovar_ConversionRatioReduced", "4.5");
        type("eZovar_ConversionRatioThreshold", "6.25");
        type("eZovar_ConversionRatioAvaragePeriod", "15");
    }
    // Every setting switched on and valid at the extended level, so that every check runs.
    void typeEverything() {
        typeBasic();
        select("cbExternalHeaterSelection", 1);
        type("eZovar_TankUpper", "12");
        type("eZovar_TankLower", "-8");
        type("eExtHeaterConfig_Defreeze", "-15");
        select("cbDownstreamNOxSelection", 0);
        select("cbTLoutputSetup", 1);
        select("cbEngineSpeedSetup", 2);
        select("cbMAFsignalSetup", 0);
        type("eECMcanAdrConfiguration", "3");
        select("cbConversionRatioSelection", 0);
        type("eMAFatIdleSpeed", "55");
        type("eEngineSpeedIdleThr", "450");
        type("eAlt2EngineSpeedSignalRatio", "1200");
        select("cbUreaTankTempSetup", 2);
        select("cbUreaTankLevelSensorSetup", 2);
        type("eLevelSensor_LowLimit_NewValue", "600");
        type("eLevelSensor_EmptyLimit_NewValue", "200");
        select("cbRepeatingPrimeSeq_NewValue", 0);
        type("eValveOpenTimeAtPurge_Value", "8");
        type("eValveCloseTimeAtPurge_Value", "2");
        type("eNoOfRepAtPurge_Value", "4");
        select("cbUDSsurveillanceAtPin32", 1);
        select("cbUreaTankTemperatureOBD", 1);
        type("eUreaTankMaxStop", "95");
        type("eUreaTankMaxRestart", "85");
        type("eUreaTankMinStop", "-35");
        type("eUreaTankMinRestart", "-28");
    }

    // The scheduler sends what is queued; the pump answers each new telegram as `answer` says,
    // until nothing is queued and no reply is awaited (or `ms` have passed).
    void exchange(const Answer& answer = faithfulPump, int ms = 20000) {
        std::size_t seen = h.sentTelegrams().size();
        for (int t = 0; t < ms; t += 50) {
            h.tick(5);
            const auto sent = h.sentTelegrams();
            for (; seen < sent.size(); ++seen) {
                if (auto reply = answer(sent[seen])) {
                    h.reply(*reply);
                }
            }
            if (!h.core().scheduler().awaitingReply() && h.core().queue().commandLaneEmpty()) {
                return;
            }
        }
    }
    // The configuration telegrams sent: codes 1, 147, 163 and 172 in order.
    std::vector<Telegram> downloadTelegrams() const {
        std::vector<Telegram> out;
        for (const Telegram& t : h.sentTelegrams()) {
            const uint8_t code = t.at(kCodeByte);
            if (code == service_code::kEnterTestMode || code == service_code::kConfigDownloadOld ||
                code == service_code::kConfigDownloadNew || code == service_code::kParameterWrite) {
                out.push_back(t);
            }
        }
        return out;
    }
    std::vector<int> codes() const {
        std::vector<int> out;
        for (const Telegram& t : downloadTelegrams()) {
            out.push_back(t[kCodeByte]);
        }
        return out;
    }

    ToolHarness h;
};

class InstallerDownload : public ::testing::Test, public Bench {};

TEST_F(InstallerDownload, EveryCheckedControlIsReportedAtItsTurnAndNothingIsSent) {
    connect(0, 11, kAccessLevelExtended);
    ASSERT_FALSE(w().pUreaTankTemperatureSettings->isHidden());
    typeEverything();
    std::set<int> messages;
    for (const InstallerControl& row : kInstallerControls) {
        if (row.message == 0) {
            continue;
        }
        SCOPED_TRACE(row.control);
        messages.insert(row.message);
        typeEverything();
        if (row.kind == ControlKind::Combo) {
            select(row.control, installer_index::kNone);
        } else {
            // Not a number; for the VIN: nothing.
            type(row.control, row.value == EditValue::Text ? "" : "x");
        }
        h.dialogs.shown.clear();
        w().btZovar_DownloadConfiguration->click();
        ASSERT_EQ(h.dialogs.shown.size(), 2u);
        EXPECT_EQ(h.dialogs.shown[0].text.toStdString(), download_text::kTestModeWarning);
        EXPECT_EQ(h.dialogs.shown[0].icon, Dialogs::Icon::Warning);
        EXPECT_EQ(h.dialogs.shown[1].text.toStdString(), messageText(row.message));
        EXPECT_EQ(h.dialogs.shown[1].icon, Dialogs::Icon::Error);
        EXPECT_EQ(w().focusWidget(), w().widget(row.control));
        EXPECT_TRUE(h.dialogs.questions.empty());
    }
    // Every numbered message of the download has its control.
    std::set<int> expected;
    for (int m = 8; m <= 15; ++m) {
        expected.insert(m);
    }
    for (int m = 25; m <= 40; ++m) {
        expected.insert(m);
    }
    EXPECT_EQ(messages, expected);
    exchange();
    EXPECT_TRUE(codes().empty());

    // All valid: it goes.
    typeEverything();
    h.dialogs.shown.clear();
    w().btZovar_DownloadConfiguration->click();
    EXPECT_EQ(h.dialogs.shown.size(), 1u) << h.dialogs.texts().join('|').toStdString();
    EXPECT_EQ(h.status(), "-");
}

TEST_F(InstallerDownload, DecimalEditsAreReadWithTheOperatorsSeparator) {
    connect(0, 11, kAccessLevelInstaller);
    const struct {
        char separator;
        const char* gain;
        const char* volume;
        int message;  // 0: accepted
    } cases[] = {
        {',', "0,1", "4,96", 0},   {'.', "0,1", "4.96", 11}, {'.', "0.1", "4.96", 0},
        {',', "0.1", "4,96", 11},  {'.', "0.1", "4.94", 9},  {'.', "0.1", "500.04", 0},
        {'.', "0.1", "500.05", 9}, {',', "2,00", "5", 0},    {',', "2,0001", "5", 11},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.gain) + " " + c.volume + " with '" + c.separator + "'");
        h.core().pageDisplay().format = DisplayFormat{c.separator, "%d.%m.%Y"};
        typeBasic();
        type("eZovar_ConversionRatioReduced", c.separator == ',' ? "4,5" : "4.5");
        type("eZovar_ConversionRatioThreshold", c.separator == ',' ? "6,25" : "6.25");
        type("eZovar_CatalystLength", "410");
        type("eZovar_ConversionGain", c.gain);
        type("eZovar_CatalystVolume", c.volume);
        h.dialogs.shown.clear();
        h.dialogs.answers = {true, true};
        w().btZovar_DownloadConfiguration->click();
        if (c.message == 0) {
            EXPECT_EQ(h.dialogs.shown.size(), 1u) << h.dialogs.texts().join('|').toStdString();
        } else {
            ASSERT_EQ(h.dialogs.shown.size(), 2u);
            EXPECT_EQ(h.dialogs.shown[1].text.toStdString(), messageText(c.message));
        }
    }
}

TEST_F(InstallerDownload, NothingIsSentForASettingThePumpHasNotReported) {
    // A 0.09 pump at the installer level whose page 203 has not come: the image would carry a
    // minimum MAF nobody knows (the edit below the extended level is empty).
    connect(0, 9, kAccessLevelInstaller, false);
    page(h, service_code::kPage216, page216(0, 1));
    typeBasic();
    h.dialogs.answers = {true, true};
    w().btZovar_DownloadConfiguration->click();
    ASSERT_EQ(h.dialogs.shown.size(), 2u);
    EXPECT_TRUE(h.dialogs.shown[1].text.startsWith("Nothing was downloaded"));
    EXPECT_TRUE(h.dialogs.shown[1].text.contains("Minimum MAF"));
    EXPECT_EQ(h.dialogs.shown[1].icon, Dialogs::Icon::Error);
    EXPECT_EQ(w().focusWidget(), w().widget("eMAFatIdleSpeed"));
    exchange();
    EXPECT_TRUE(codes().empty()) << "not even the test mode";
}

TEST_F(InstallerDownload, NothingIsSentBeforeThePumpHasToldItsSoftwareAndSettings) {
    connect(0, 0, kAccessLevelInstaller, false);  // found, but no page 204 yet
    typeBasic();
    w().btZovar_DownloadConfiguration->click();
    ASSERT_EQ(h.dialogs.shown.size(), 2u);
    EXPECT_TRUE(h.dialogs.shown[1].text.contains("software version"));
    exchange();
    EXPECT_TRUE(codes().empty());

    // Found anew (another pump, perhaps): what the window holds of the last one does not count
    // until the new one's pages 204 and 216 are in.
    Bench run;
    run.connect(0, 11, kAccessLevelInstaller);
    run.typeBasic();
    run.h.pumpClaims(61);
    page(run.h, service_code::kPage204, page204(0, 11));
    run.h.dialogs.shown.clear();
    run.w().btZovar_DownloadConfiguration->click();
    ASSERT_EQ(run.h.dialogs.shown.size(), 2u);
    EXPECT_TRUE(run.h.dialogs.shown[1].text.contains("installer settings"));
    page(run.h, service_code::kPage216, page216(0, 1));
    run.h.dialogs.shown.clear();
    run.h.dialogs.answers = {true, true};
    run.w().btZovar_DownloadConfiguration->click();
    EXPECT_EQ(run.h.dialogs.shown.size(), 1u) << run.h.dialogs.texts().join('|').toStdString();
}

TEST_F(InstallerDownload, Image147ByteForByteThenItsEcho) {
    connect(0, 5, kAccessLevelInstaller);
    typeBasic();
    select("cbExternalHeaterSelection", 1);
    type("eZovar_TankUpper", "12");
    type("eZovar_TankLower", "-8");
    // The pump reported its date and dashboard: keep its date, overwrite the dashboard.
    h.dialogs.answers = {false, true};
    w().btZovar_DownloadConfiguration->click();
    ASSERT_EQ(h.dialogs.questions.size(), 2u);
    EXPECT_EQ(h.dialogs.questions[0].text, "Do you want to overwrite installation date?");
    EXPECT_EQ(h.dialogs.questions[1].text, "Do you want to overwrite dashboard?");
    EXPECT_EQ(h.status(), "-");
    exchange();

    const Telegram expected = {
        0,    0,    0,    0,    0,   0,   0,              // not used
        147,                                              // code
        0x13, 0x01,                                       // MAF factor 275
        0,                                                // keep the pump's date
        0x99, 0x71,                                       // 14 March 2025: 25 | 3 << 7 | 14 << 11
        1,                                                // write the dashboard
        0xCD, 0x81, 0x01, 0x00,                           // 98765
        1,                                                // external heater "Enabled"
        12,   0xF8,                                       // upper 12, lower -8
        0xC2, 0x01,                                       // conversion ratio reduced 450
        0x71, 0x02,                                       // threshold 625
        15,                                               // averaging period
        0xBC, 0x34,                                       // gain 13500
        45,                                               // blocked-nozzle restart
        0x45, 0x01,                                       // volume 325
        0x06, 0x10,                                       // length 4102
        8,    'W',  'D',  'B',  '1', '2', '3', '4', '5',  // the VIN
        0,    0,    0,    0,    0,   0,   0,   0,   0,   0, 0, 0, 0,
    };
    ASSERT_EQ(expected.size(), 55u);
    const auto sent = downloadTelegrams();
    ASSERT_EQ(codes(), (std::vector<int>{1, 147}));
    EXPECT_EQ(sent[1], expected);

    // The echo: the pump's values on screen, the VIN in the three windows, the status last. The
    // date label keeps the pump's date: the pump did not store the picker's.
    EXPECT_EQ(h.status(), "Configuration data downloaded!");
    EXPECT_EQ(h.label("fInstaller", "lCatalystVolume"), "32.5");
    EXPECT_EQ(h.label("fInstaller", "lDashboard"), "98765");
    EXPECT_EQ(h.label("fInstaller", "lInstallDate"), "2022-06-14");
    EXPECT_EQ(h.label("lVIN"), "WDB12345");
    EXPECT_EQ(h.label("fInstaller", "lVIN"), "WDB12345");
}

TEST_F(InstallerDownload, Image163IsDoneOnlyWithTheEchoOfItsLastWrite) {
    const struct {
        const char* name;
        bool imageEchoed;
        const char* status;  // at the end
    } cases[] = {
        {"all echoed", true, "Configuration data downloaded"},
        // The pump never confirmed the image: the writes' echoes do not make it a success (the
        // status line keeps what the test mode reply put there).
        {"image not confirmed", false, "Final test mode recieved"},
    };
    // One tool per case.
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bench run;
        run.connect(0, 9, kAccessLevelExtended);
        ASSERT_FALSE(run.w().pUreaTankTemperatureSettings->isHidden());
        run.typeEverything();
        run.h.dialogs.answers = {true, true};
        run.w().btZovar_DownloadConfiguration->click();
        run.exchange([&](const Telegram& sent) -> std::optional<Telegram> {
            auto reply = faithfulPump(sent);
            const uint8_t code = sent[kCodeByte];
            if (code == service_code::kConfigDownloadNew && !c.imageEchoed) {
                (*reply)[20] ^= 0x01;  // one bit off: never the echo of what was sent
            }
            return reply;
        });
        EXPECT_EQ(run.codes(), (std::vector<int>{1, 163, 172, 172}));
        const auto sent = run.downloadTelegrams();
        ASSERT_EQ(sent.size(), 4u);
        EXPECT_EQ(sent[1].size(), 74u);
        EXPECT_EQ(sent[2], (Telegram{0, 0, 95, 85, 0, 0, 0, 172}));      // high stop, restart
        EXPECT_EQ(sent[3], (Telegram{1, 0, 0xDD, 0xE4, 0, 0, 0, 172}));  // low: -35, -28
        EXPECT_EQ(run.h.status(), c.status);
        EXPECT_EQ(run.h.app().installer().bookkeeping().lastDownloadId, 1);
    }
}

TEST_F(InstallerDownload, EchoesShowTheDateThePumpStored) {
    const struct {
        bool overwrite;
        const char* shown;
    } cases[] = {{true, "2025-03-14"}, {false, "2022-06-14"}};
    for (const auto& c : cases) {
        Bench run;
        run.connect(0, 9, kAccessLevelInstaller);
        run.typeBasic();
        run.h.dialogs.answers = {c.overwrite, true};
        run.w().btZovar_DownloadConfiguration->click();
        run.exchange();
        EXPECT_EQ(run.codes(), (std::vector<int>{1, 163}));
        EXPECT_EQ(run.h.status(), "Configuration data downloaded!");
        EXPECT_EQ(run.h.label("fInstaller", "lInstallDate"), c.shown);
    }
}

TEST_F(InstallerDownload, Sequence172LeavesWholeWithTheSchedulerHeldDuringTheQuestions) {
    connect(0, 11, kAccessLevelInstaller);
    typeBasic();
    type("eVIN", "ABCDE");
    QTimer* tmrTx = h.mainWindow().tmrTx;
    tmrTx->start();  // the scheduler runs, as in the tool (no event loop turns here)
    int asked = 0;
    h.dialogs.onQuestion = [&] {
        ++asked;
        EXPECT_FALSE(tmrTx->isActive()) << "the scheduler is held while a question is open";
        EXPECT_TRUE(h.core().queue().commandLaneEmpty()) << "nothing of the sequence is queued yet";
    };
    h.dialogs.answers = {true, true};
    w().btZovar_DownloadConfiguration->click();
    EXPECT_EQ(asked, 2);
    EXPECT_TRUE(tmrTx->isActive());
    tmrTx->stop();
    EXPECT_EQ(h.app().installer().bookkeeping(), (DownloadBookkeeping{14, false}));
    EXPECT_EQ(h.status(), "-");

    exchange();
    const auto sent = downloadTelegrams();
    ASSERT_GE(sent.size(), 8u);
    EXPECT_EQ(sent[0][kCodeByte], service_code::kEnterTestMode);
    for (uint8_t p = 0; p < 5; ++p) {
        EXPECT_EQ(sent[1 + p], (Telegram{15, 0, p, uint8_t("ABCDE"[p]), 5, 0, 0, 172}));
    }
    EXPECT_EQ(sent[6], (Telegram{16, 0, 0x99, 0x71, 0, 0, 0, 172}));     // the date
    EXPECT_EQ(sent[7], (Telegram{17, 0, 0xCD, 0x81, 0x01, 0, 0, 172}));  // the dashboard
    EXPECT_EQ(sent.back()[0], 14);
    for (std::size_t i = 1; i < sent.size(); ++i) {
        EXPECT_EQ(sent[i][kCodeByte], service_code::kParameterWrite);
    }
    EXPECT_EQ(h.status(), "Configuration data downloaded");
}

TEST_F(InstallerDownload, AnEchoThatStaysWrongIsReportedAtThe59thRetry) {
    connect(0, 11, kAccessLevelInstaller);
    typeBasic();
    h.dialogs.answers = {true, true};
    w().btZovar_DownloadConfiguration->click();
    // The pump answers the blocked-nozzle write (identifier 18) wrongly, every time it is asked
    // (the first time right after it is sent).
    int requestsSeen = 0;
    bool failing = false;
    QString statusBefore;
    std::vector<QString> statusWhileFailing;
    std::size_t seen = 0;
    auto answerWrongly = [&](Telegram wrong) {
        wrong[2] ^= 0x01;
        h.reply(wrong);
        if (h.core().scheduler().awaitingReply()) {
            statusWhileFailing.push_back(h.status());
        }
    };
    for (int t = 0; t < 30000; t += 50) {
        h.tick(5);
        const auto sent = h.sentTelegrams();
        for (; seen < sent.size(); ++seen) {
            failing = sent[seen][kCodeByte] == service_code::kParameterWrite && sent[seen][0] == 18;
            requestsSeen = h.requestsFor(pgn::kProprietaryA);
            if (failing) {
                statusBefore = h.status();
                answerWrongly(sent[seen]);
            } else {
                h.reply(*faithfulPump(sent[seen]));
            }
        }
        if (failing && h.requestsFor(pgn::kProprietaryA) > requestsSeen) {
            requestsSeen = h.requestsFor(pgn::kProprietaryA);
            answerWrongly(sent.back());
        }
        if (!h.core().scheduler().awaitingReply() && h.core().queue().commandLaneEmpty()) {
            break;
        }
    }
    // Ignored while the scheduler still asks: the wrong echoes at the retries 0 to 58 change
    // nothing.
    EXPECT_EQ(statusWhileFailing.size(), 59u);
    for (const QString& s : statusWhileFailing) {
        EXPECT_EQ(s, statusBefore);
    }
    // Reported at the 59th retry; the rest of the sequence went and was echoed, but the sequence
    // is not called downloaded.
    EXPECT_EQ(h.status(), "Configuration data NOT downloaded (ID = 18)");
    EXPECT_TRUE(h.app().installer().bookkeeping().downloadFailed);
    EXPECT_EQ(downloadTelegrams().back()[0], 14);
}

TEST_F(InstallerDownload, ARefusedEntryDoesNotEndTheWaitForAReply) {
    connect(0, 11, kAccessLevelInstaller);
    h.core().sender().enqueueCommand(service_code::kPage203, 0, 0, 0);
    h.tick(5);
    ASSERT_TRUE(h.core().scheduler().awaitingReply());
    w().btZovar_DownloadConfiguration->click();  // the VIN is empty
    ASSERT_EQ(h.dialogs.shown.size(), 2u);
    EXPECT_EQ(h.dialogs.shown[1].text.toStdString(), messageText(25));
    EXPECT_TRUE(h.core().scheduler().awaitingReply());
}

TEST_F(InstallerDownload, ClosingInTestModeOffersTheReset) {
    const struct {
        bool testMode;
        std::optional<bool> answer;  // nothing: no question
        bool reset;
    } cases[] = {{true, true, true}, {true, false, false}, {false, std::nullopt, false}};
    for (const auto& c : cases) {
        Bench run;
        run.connect(0, 11, kAccessLevelInstaller);
        Bytes p207(status_page::kPage207Size);
        p207.u8(2, c.testMode ? (1 << 3) : 0);  // byte 2 bits 3-4: the pump's test mode
        page(run.h, service_code::kPage207, p207);
        if (c.answer) {
            run.h.dialogs.answers = {*c.answer};
        }
        run.w().close();
        EXPECT_FALSE(run.h.mainWindow().Installer1->isChecked());
        ASSERT_EQ(run.h.dialogs.questions.size(), c.answer ? 1u : 0u);
        if (c.answer) {
            EXPECT_EQ(run.h.dialogs.questions[0].text.toStdString(), installer_text::kResetOnClose);
        }
        run.exchange();
        bool resetSent = false;
        for (const Telegram& t : run.h.sentTelegrams()) {
            resetSent = resetSent || t[kCodeByte] == service_code::kResetPump;
        }
        EXPECT_EQ(resetSent, c.reset);

        // Left in test mode: the next download does not ask for it again.
        if (c.testMode && !c.reset) {
            run.typeBasic();
            run.h.dialogs.answers = {true, true};
            run.w().btZovar_DownloadConfiguration->click();
            run.exchange();
            EXPECT_EQ(run.codes().front(), service_code::kParameterWrite);
        }
    }
}

}  // namespace

// The user calibration against the simulated pump: a complete calibration with its bucket, the
// mass checks, closing during a run, the purge that follows, and the installer's button.

#include <gtest/gtest.h>

#include <cmath>

#include "mainwindow/main_window.h"
#include "service_bench.h"

namespace {

constexpr const char* kWindowShown =
    "Place a bucket of demineralized water on the scale and put the suction line into the water. "
    "\nPress Start Prime to remove all air bubbles in the suction line.";

class CalibrationTest : public ::testing::Test {
  protected:
    void SetUp() override {
        b.connect();
        openFromInstaller();
    }
    void openFromInstaller() { b.h.find<QPushButton>("fInstaller", "btShowCalibrate")->click(); }
    ServiceModule& s() { return b.service(); }
    TfUserCalibration& w() { return b.calibration(); }
    QString memo() { return w().Memo1->toPlainText(); }
    CalibrationStep step() { return s().calibration(); }
    bool runUntilStep(CalibrationStep wanted, int maxMs) {
        return b.runUntil([&] { return step() == wanted; }, maxMs);
    }
    // The buttons enabled now, by object name.
    QStringList enabled() {
        QStringList names;
        for (QPushButton* button : w().buttons()) {
            if (button->isEnabled()) {
                names << button->objectName();
            }
        }
        return names;
    }
    // A run started and running.
    void startRun(QPushButton* button) {
        button->click();
        ASSERT_TRUE(runUntilStep(CalibrationStep::Running, 5000)) << toString(step());
    }

    ServiceBench b;
};

const QStringList kAllButtons = {"btStartPrime",
                                 "btPrimeOK",
                                 "btStartPump",
                                 "btVerify",
                                 "btStopPump",
                                 "btDlUserCalib",
                                 "btRestoreDefaultUserCalib"};

TEST_F(CalibrationTest, ACompleteCalibration) {
    EXPECT_EQ(b.h.dialogs.modals, QStringList{"fUserCalibration"});
    EXPECT_EQ(memo(), kWindowShown);
    EXPECT_EQ(w().lTime->text(), "10:00");
    EXPECT_EQ(step(), CalibrationStep::Idle);

    // Priming through the return line: valve closed, 6000 ml/h, until "Prime OK".
    w().btStartPrime->click();
    EXPECT_EQ(enabled(), (QStringList{"btPrimeOK", "btStopPump", "btDlUserCalib",
                                      "btRestoreDefaultUserCalib"}))
        << "no second run can start while this one is set up";
    ASSERT_TRUE(runUntilStep(CalibrationStep::Running, 5000));
    EXPECT_EQ(b.commands(), (std::vector<int>{1, 13, 5, 3}));
    EXPECT_EQ(memo(),
              "Let the pump prime until there is no air bubbles in the suction line then "
              "press Prime OK.");
    EXPECT_EQ(enabled(), QStringList{"btPrimeOK"});
    EXPECT_TRUE(b.pump().pumpRunning);
    EXPECT_FALSE(b.pump().valveOpen);
    EXPECT_EQ(b.pump().setFlow, 600000u);
    w().btPrimeOK->click();
    ASSERT_TRUE(runUntilStep(CalibrationStep::Idle, 2000));
    ASSERT_TRUE(b.runUntil([&] { return b.pump().valveOpen; }, 1000));
    b.run(200);
    EXPECT_EQ(b.h.label("fServiceTool", "lStatus"), "Pump stopped");
    EXPECT_EQ(memo(),
              "Make sure that there is at least 1.5l of water in the bucket, then reset "
              "the scale and press Start Calibration or Verify Calibration.");
    EXPECT_EQ(enabled(), kAllButtons);
    EXPECT_FALSE(b.pump().pumpRunning);

    // The calibration run: ten minutes from the flow echo, ended by the count-down.
    b.h.clearSent();
    w().btStartPump->click();
    ASSERT_TRUE(b.runUntil([&] { return w().Timer1->isActive(); }, 5000));
    const uint64_t echoAt = b.h.elapsedMs();
    EXPECT_EQ(memo(),
              "The pump will now run for 10 minutes please wait. \nPress Abort if you "
              "want to abort calibration.");
    EXPECT_EQ(enabled(), QStringList{"btStopPump"});
    b.run(1000);
    EXPECT_EQ(b.commands(), (std::vector<int>{13, 5, 109}));
    EXPECT_EQ(w().lTime->text(), "9:59");
    EXPECT_TRUE(b.pump().calibrationRun);
    // A download during the run does nothing.
    w().btDlUserCalib->click();
    ASSERT_TRUE(runUntilStep(CalibrationStep::Stopping, 600000));
    EXPECT_EQ(b.h.elapsedMs() - echoAt, 600000u);
    EXPECT_EQ(w().lTime->text(), "0:00");
    ASSERT_TRUE(runUntilStep(CalibrationStep::Idle, 2000));
    b.run(300);
    EXPECT_EQ(memo(),
              "Calibration completed. \nEnter the mass of water that has been pumped in "
              "the text field New Value and press Download user calibration");
    EXPECT_FALSE(b.pump().pumpRunning);
    EXPECT_FALSE(b.pump().valveOpen);
    EXPECT_EQ(b.commands(), (std::vector<int>{13, 5, 109, 4, 13}));

    // The technician weighs the bucket and downloads the mass.
    const double bucket = b.pump().bucketGrams;
    EXPECT_NEAR(bucket, 1040.0, 1.0);
    w().eVolume->setText(QString::number(std::lround(bucket)));
    w().btDlUserCalib->click();
    ASSERT_TRUE(b.runUntil([&] { return b.pump().config.userCalibration == 1040; }, 1000));
    b.run(100);
    EXPECT_EQ(w().lUserCalibration->text(), "1040");
    EXPECT_EQ(b.h.app().mainWindow().lStatus->text(), "User calibration downloaded");
    EXPECT_EQ(memo(),
              "Calibration factor changed! \nTo verify the calibration refill the bucket, "
              "reset the scale and press Verify Calibration.");

    // The verification run: the pump now doses what is asked.
    w().btVerify->click();
    ASSERT_TRUE(runUntilStep(CalibrationStep::Running, 5000));
    EXPECT_EQ(memo(),
              "The pump will now run for 10 minutes please wait. \nPress Abort to stop "
              "the pump.");
    ASSERT_TRUE(b.runUntil([&] { return step() == CalibrationStep::Idle; }, 602000));
    EXPECT_EQ(memo(),
              "Verify complete. \nIf the pump has pumped 1000g (+/- 10g) of water the "
              "calibration is correct, otherwise you should perform the calibration again");
    EXPECT_NEAR(b.pump().bucketGrams, 1000.0, 10.0);
    EXPECT_TRUE(b.h.dialogs.shown.empty()) << b.h.dialogs.texts().join(" | ").toStdString();
}

TEST_F(CalibrationTest, MassesAreCheckedWhole) {
    struct Case {
        const char* text;
        bool sent;
    } cases[] = {{"499", false},  {"500", true},    {"2047", true},
                 {"2048", false}, {"66036", false}, {"-1", false}};
    int messages = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        b.h.clearSent();
        w().eVolume->setText(c.text);
        w().btDlUserCalib->click();
        b.run(300);
        if (c.sent) {
            const auto t = b.lastSent(128);
            ASSERT_EQ(t.size(), 8u);
            const int mass = std::atoi(c.text);
            EXPECT_EQ(
                t, (std::vector<uint8_t>{uint8_t(mass), uint8_t(mass >> 8), 0, 0, 0, 0, 0, 128}));
            EXPECT_EQ(b.pump().config.userCalibration, mass);
            EXPECT_EQ(w().lUserCalibration->text(), c.text);
        } else {
            ++messages;
            EXPECT_EQ(b.commands(), std::vector<int>{}) << "nothing sent";
            ASSERT_EQ(int(b.h.dialogs.shown.size()), messages);
            EXPECT_EQ(b.h.dialogs.shown.back().text, "Please enter valid calibration factor!");
        }
    }
    EXPECT_EQ(b.pump().config.userCalibration, 2047) << "66036 is no 500";
    // "Restore default user calibration" downloads 1000 g.
    w().btRestoreDefaultUserCalib->click();
    b.run(300);
    EXPECT_EQ(w().eVolume->text(), "1000");
    EXPECT_EQ(b.pump().config.userCalibration, 1000);
    // Text that is no number: the framework's error box.
    w().eVolume->setText("12a");
    w().btDlUserCalib->click();
    EXPECT_EQ(b.h.dialogs.shown.back().text, "'12a' is not a valid integer value");
}

TEST_F(CalibrationTest, ClosingDuringARunAsksAndAbortsWhileThePurgeHoldsTheValveOpen) {
    startRun(w().btStartPump);
    b.h.dialogs.answers = {false};
    w().close();
    ASSERT_EQ(b.h.dialogs.questions.size(), 1u);
    EXPECT_EQ(b.h.dialogs.questions[0].text, "Do you want to abort calbration?");
    EXPECT_EQ(b.h.dialogs.questions[0].icon, Dialogs::Icon::Warning);
    EXPECT_EQ(step(), CalibrationStep::Running) << "No keeps the run going";
    EXPECT_TRUE(b.pump().pumpRunning);

    b.h.clearSent();
    b.h.dialogs.answers = {true};
    w().close();
    // Aborted; the window closed with the pump in test mode and urea in the line: the purge.
    EXPECT_EQ(step(), CalibrationStep::Stopping);
    ASSERT_TRUE(b.runUntil([&] { return s().purgeShown(); }, 1000));
    ASSERT_TRUE(b.runUntil([&] { return step() == CalibrationStep::Idle; }, 2000));
    EXPECT_EQ(memo(), "Calibration aborted.");
    // The purge keeps the valve open to its end: the run's own closing command does not go out.
    int closedWhilePurging = 0;
    while (s().purgeShown() && b.h.elapsedMs() < 100000) {
        b.run(10);
        closedWhilePurging += !b.pump().valveOpen ? 1 : 0;
    }
    EXPECT_GE(b.h.elapsedMs(), 29000u);
    b.run(300);
    EXPECT_EQ(closedWhilePurging, 0);
    EXPECT_FALSE(b.pump().valveOpen);
    EXPECT_FALSE(b.pump().pumpRunning);
    EXPECT_EQ(b.commands(), (std::vector<int>{4, 13, 13}));
}

TEST_F(CalibrationTest, ClosingWhileARunIsSetUpAbortsItToo) {
    w().btStartPrime->click();
    ASSERT_TRUE(runUntilStep(CalibrationStep::SettingFlow, 2000));
    b.h.dialogs.answers = {true};
    w().close();
    EXPECT_EQ(b.h.dialogs.questions.size(), 1u);
    ASSERT_TRUE(runUntilStep(CalibrationStep::Idle, 5000));
    b.run(2000);
    // The flow echo that was on its way does not start the priming unseen.
    EXPECT_FALSE(b.pump().pumpRunning);
    const auto codes = b.commands();
    EXPECT_EQ(std::count(codes.begin(), codes.end(), 3), 0);
    EXPECT_FALSE(w().Timer1->isActive());
}

TEST_F(CalibrationTest, LosingThePumpPutsTheWindowBackToIdle) {
    startRun(w().btVerify);
    ASSERT_EQ(enabled(), QStringList{"btStopPump"});
    b.h.setPumpAlive(false);
    ASSERT_TRUE(b.runUntil(
        [&] { return b.h.label("fServiceTool", "lStatus") == "Pump not connected"; }, 10000));
    EXPECT_EQ(step(), CalibrationStep::Idle);
    EXPECT_EQ(enabled(), kAllButtons);
    EXPECT_FALSE(w().Timer1->isActive());
    EXPECT_EQ(w().lUserCalibration->text(), "?");
}

TEST(CalibrationButton, WhileAFlowTestRunsItAsksThatTestsQuestionFirst) {
    ServiceBench b;
    b.connect();
    b.window().btTestReturnFlow->click();
    ASSERT_TRUE(b.runUntil([&] { return b.service().flowTest() == FlowTestState::Running; }, 5000));
    auto* button = b.h.find<QPushButton>("fInstaller", "btShowCalibrate");
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->text(), "Special user calibration...");
    b.h.clearSent();
    b.h.dialogs.answers = {false};
    button->click();
    ASSERT_EQ(b.h.dialogs.questions.size(), 1u);
    EXPECT_EQ(b.h.dialogs.questions[0].text, "Do you want to end return line flow test?");
    EXPECT_TRUE(b.h.dialogs.modals.isEmpty()) << "No opens nothing";
    b.run(300);
    EXPECT_EQ(b.commands(), std::vector<int>{});
    b.h.dialogs.answers = {true};
    button->click();
    EXPECT_EQ(b.h.dialogs.modals, QStringList{"fUserCalibration"});
    b.run(300);
    // The test ends with the pump's reply: its valve closed, as a return-line test ends.
    EXPECT_EQ(b.commands(), (std::vector<int>{4, 13}));
}

}  // namespace

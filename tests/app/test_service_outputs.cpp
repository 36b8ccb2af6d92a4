// The valve, heater and lamp tests of the service window: the bytes of their commands, the
// press-and-hold timing, the phases kept between presses, a release that never comes, and the
// heater tab that follows the pump's configuration.

#include <gtest/gtest.h>

#include <QEvent>
#include <QFormLayout>
#include <QTest>
#include <map>

#include "mainwindow/main_window.h"
#include "service/service_module.h"
#include "service/service_tool.h"
#include "timer_driver.h"
#include "tool_harness.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Sent {
    int atMs;
    Bytes bytes;
    friend bool operator==(const Sent&, const Sent&) = default;
};

std::ostream& operator<<(std::ostream& os, const Sent& s) {
    os << s.atMs << "ms:";
    for (uint8_t b : s.bytes) {
        os << ' ' << int(b);
    }
    return os;
}

class OutputTest : public ::testing::Test {
  public:
    void SetUp() override {
        h.start();
        h.pumpClaims(61);
        // The pump is in final test mode: no command here asks for it again.
        h.receiveMessage(61, 249, pgn::kProprietaryA, {0, 0, 0, 0, 0, 0, 0, 1});
        ASSERT_EQ(s().testModeLevel(), 1);
        h.core().queue().clear();
        const std::pair<QTimer*, HoldTest> holds[] = {{w().tmrValveTest, HoldTest::DosingValve},
                                                      {w().tmrTankHeaterTest, HoldTest::TankHeater},
                                                      {w().tmrLineHeaterTest, HoldTest::LineHeater},
                                                      {w().tmrMI_Lamp, HoldTest::MiLamp},
                                                      {w().tmrUreaLamp, HoldTest::UreaLamp}};
        for (const auto& [timer, test] : holds) {
            timers.add(timer, [this, test = test] { s().holdTick(test); });
        }
        buttonTimers = {{w().btTestDosingValve, w().tmrValveTest},
                        {w().btTestTankHeater, w().tmrTankHeaterTest},
                        {w().btTestLineHeater, w().tmrLineHeaterTest},
                        {w().btLamp3Test, w().tmrMI_Lamp},
                        {w().btLamp4Test, w().tmrUreaLamp}};
        w().show();
    }
    void TearDown() override { w().hide(); }

    ServiceModule& s() { return h.app().service(); }
    TfServiceTool& w() { return *qobject_cast<TfServiceTool*>(h.app().window("fServiceTool")); }

    // The telegrams queued since the last call, with the time they were queued at.
    void collect() {
        T_J1939_PROPERITARY_A t;
        while (h.core().queue().take(t)) {
            sent.push_back({nowMs, Bytes(t.data, t.data + 8)});
        }
    }
    void advance(int ms) {
        for (int i = 0; i < ms; i += 10) {
            timers.advance(10);
            nowMs += 10;
            collect();
        }
    }
    void press(QPushButton* button) {
        QTest::mousePress(button, Qt::LeftButton);
        timers.arm(buttonTimers.at(button));
        collect();
    }
    void release(QPushButton* button) {
        QTest::mouseRelease(button, Qt::LeftButton);
        collect();
    }

    ToolHarness h;
    TimerDriver timers;
    std::map<QPushButton*, QTimer*> buttonTimers;
    std::vector<Sent> sent;
    int nowMs = 0;
};

TEST_F(OutputTest, HoldingTheTankHeaterTestFor4Seconds) {
    press(w().btTestTankHeater);
    advance(4000);
    release(w().btTestTankHeater);
    EXPECT_EQ(sent, (std::vector<Sent>{
                        {0, {0, 0, 0, 0, 0, 0, 0, 101}},     // heater test begins
                        {0, {1, 2, 0, 0, 0, 0, 0, 102}},     // tank heater on, line not addressed
                        {1500, {0, 2, 0, 0, 0, 0, 0, 102}},  // off
                        {3000, {1, 2, 0, 0, 0, 0, 0, 102}},  // on
                        {4000, {0, 2, 0, 0, 0, 0, 0, 102}},  // released: off
                        {4000, {0, 0, 0, 0, 0, 0, 1, 101}},  // heater test ends
                    }));
    EXPECT_FALSE(s().holdRunning(HoldTest::TankHeater));
    // The pump's answers now show on the tank heater read-out.
    h.receiveMessage(61, 249, pgn::kProprietaryA, {1, 0, 0, 0, 0, 0, 0, 102});
    EXPECT_EQ(h.label("fServiceTool", "lTankHeater"), "On");
    EXPECT_EQ(h.status(), "Tank heater enabled. ");
}

TEST_F(OutputTest, TheLineHeaterTogglesByte1) {
    press(w().btTestLineHeater);
    advance(1500);
    release(w().btTestLineHeater);
    EXPECT_EQ(sent, (std::vector<Sent>{
                        {0, {0, 0, 0, 0, 0, 0, 0, 101}},
                        {0, {2, 1, 0, 0, 0, 0, 0, 102}},
                        {1500, {2, 0, 0, 0, 0, 0, 0, 102}},
                        {1500, {2, 0, 0, 0, 0, 0, 0, 102}},
                        {1500, {0, 0, 0, 0, 0, 0, 1, 101}},
                    }));
}

TEST_F(OutputTest, ALampReleaseLeavesItOffAndTheNextPressStartsWithOn) {
    // Released after one tick (toggle already 0) and after two (toggle 1): off either way.
    for (int holdMs : {1300, 2500}) {
        SCOPED_TRACE(holdMs);
        sent.clear();
        nowMs = 0;
        press(w().btLamp3Test);
        advance(holdMs);
        release(w().btLamp3Test);
        ASSERT_GE(sent.size(), 3u);
        EXPECT_EQ(sent.front(), (Sent{0, {1, 2, 2, 2, 0, 0, 0, 103}}));
        EXPECT_EQ(sent[1], (Sent{1200, {0, 2, 2, 2, 0, 0, 0, 103}}));
        EXPECT_EQ(sent.back(), (Sent{holdMs, {0, 2, 2, 2, 0, 0, 0, 103}}));
        EXPECT_EQ(s().holdToggle(HoldTest::MiLamp), 0);
    }
    sent.clear();
    press(w().btLamp4Test);
    release(w().btLamp4Test);
    EXPECT_EQ(sent, (std::vector<Sent>{{nowMs, {2, 1, 2, 2, 0, 0, 0, 103}},
                                       {nowMs, {2, 0, 2, 2, 0, 0, 0, 103}}}));
}

TEST_F(OutputTest, TheValvePhaseIsKeptAcrossPresses) {
    press(w().btTestDosingValve);
    advance(1000);
    release(w().btTestDosingValve);
    EXPECT_EQ(h.core().replyDecoder().valveReplyContext, uint8_t(ValveReplyContext::Manual));
    // Press: open. The first tick finds the phase 0 of before and opens again.
    EXPECT_EQ(sent, (std::vector<Sent>{{0, {0, 0, 0, 0, 0, 0, 1, 13}},
                                       {1000, {0, 0, 0, 0, 0, 0, 1, 13}},
                                       {1000, {0, 0, 0, 0, 0, 0, 0, 13}}}));
    EXPECT_EQ(s().holdToggle(HoldTest::DosingValve), 1);
    sent.clear();
    press(w().btTestDosingValve);
    advance(1000);
    release(w().btTestDosingValve);
    EXPECT_EQ(sent, (std::vector<Sent>{{1000, {0, 0, 0, 0, 0, 0, 1, 13}},
                                       {2000, {0, 0, 0, 0, 0, 0, 0, 13}},
                                       {2000, {0, 0, 0, 0, 0, 0, 0, 13}}}));
    h.receiveMessage(61, 249, pgn::kProprietaryA, {0, 0, 0, 0, 0, 0, 1, 13});
    EXPECT_EQ(h.label("fServiceTool", "lDosingValve"), "Open");
    EXPECT_EQ(h.status(), "Dosing valve open. ");
}

TEST_F(OutputTest, ASecondPressWhileToggling) {
    press(w().btTestTankHeater);
    const std::size_t first = sent.size();
    s().holdPress(HoldTest::TankHeater);  // the release was lost; the button is pressed again
    collect();
    EXPECT_EQ(sent.size(), first) << "nothing sent";
    advance(1500);
    EXPECT_EQ(sent.size(), first + 1) << "the timer was not restarted";
}

// However the release gets lost, the hold stops and the output is switched off.
TEST_F(OutputTest, AHoldNeverOutlivesItsButton) {
    struct Case {
        const char* name;
        std::function<void(OutputTest&)> loseRelease;
    };
    const Case cases[] = {
        {"window hidden", [](OutputTest& t) { t.w().hide(); }},
        {"a dialog takes the mouse",
         [](OutputTest& t) {
             QEvent deactivate(QEvent::WindowDeactivate);
             QCoreApplication::sendEvent(&t.w(), &deactivate);
         }},
        {"pump lost", [](OutputTest& t) { t.s().pumpForgotten(); }},
        {"tool closing",
         [](OutputTest& t) {
             t.h.dialogs.answers.push_back(true);
             t.h.mainWindow().FormCloseQuery();
             t.h.mainWindow().tmrCloseDownTimer();
             t.h.mainWindow().tmrCloseDown->stop();
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        w().show();
        sent.clear();
        press(w().btTestTankHeater);
        advance(100);
        sent.clear();
        c.loseRelease(*this);
        collect();
        EXPECT_FALSE(s().holdRunning(HoldTest::TankHeater));
        EXPECT_EQ(sent, (std::vector<Sent>{{nowMs, {0, 2, 0, 0, 0, 0, 0, 102}},
                                           {nowMs, {0, 0, 0, 0, 0, 0, 1, 101}}}));
        advance(3000);
        EXPECT_EQ(sent.size(), 2u) << "nothing more";
        QTest::mouseRelease(w().btTestTankHeater, Qt::LeftButton);
    }
}

TEST_F(OutputTest, OnAndOffButtonsSendOneCommandEach) {
    const struct {
        QPushButton* button;
        Bytes bytes;
    } cases[] = {
        {w().btOpenDosingValve, {0, 0, 0, 0, 0, 0, 1, 13}},
        {w().btCloseDosingValve, {0, 0, 0, 0, 0, 0, 0, 13}},
        {w().btLamp3On, {1, 2, 2, 2, 0, 0, 0, 103}},
        {w().btLamp3Off, {0, 2, 2, 2, 0, 0, 0, 103}},
        {w().btLamp4On, {2, 1, 2, 2, 0, 0, 0, 103}},
        {w().btLamp4Off, {2, 0, 2, 2, 0, 0, 0, 103}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.button->objectName().toStdString());
        sent.clear();
        c.button->click();
        collect();
        EXPECT_EQ(sent, (std::vector<Sent>{Sent{nowMs, c.bytes}}));
        EXPECT_EQ(h.label("fServiceTool", "lStatus"), "-");
    }
    EXPECT_FALSE(s().holdRunning(HoldTest::MiLamp));
    EXPECT_EQ(s().holdToggle(HoldTest::MiLamp), 1) << "the buttons leave the hold phases alone";
}

TEST_F(OutputTest, ValveButtonsSendNothingWhileAFlowTestRuns) {
    w().btTestNozzleFlow->click();
    // The pump answers the valve, the start and the flow (0 for the first test).
    h.receiveMessage(61, 249, pgn::kProprietaryA, {0, 0, 0, 0, 0, 0, 1, 13});
    h.receiveMessage(61, 249, pgn::kProprietaryA, {0, 0, 0, 0, 0, 0, 0, 3});
    h.receiveMessage(61, 249, pgn::kProprietaryA, {0, 0, 0, 0, 0, 0, 0, 5});
    ASSERT_EQ(s().flowTest(), FlowTestState::Running);
    collect();
    sent.clear();
    w().btOpenDosingValve->click();
    w().btCloseDosingValve->click();
    s().holdPress(HoldTest::DosingValve);
    collect();
    EXPECT_TRUE(sent.empty());
    EXPECT_FALSE(w().btTestDosingValve->isEnabled());
}

TEST_F(OutputTest, TheHeaterTabFollowsThePumpUntilAHeaterTestWasPressed) {
    auto page204 = [&](bool heater) {
        std::vector<uint8_t> body(33, 0);
        body[6] = heater ? 1 : 0;
        body[26] = 11;  // software 0.11
        h.core().pageDisplay().onStatusPage(204, body);
    };
    h.allowMissingReadouts = true;  // the installer's pages are not this test's
    page204(false);
    EXPECT_FALSE(w().heaterTabVisible());
    page204(true);
    EXPECT_TRUE(w().heaterTabVisible());
    // A reply 102 before any heater test changes no read-out.
    h.receiveMessage(61, 249, pgn::kProprietaryA, {1, 1, 0, 0, 0, 0, 0, 102});
    EXPECT_EQ(h.label("fServiceTool", "lTankHeater"), "?");
    press(w().btTestLineHeater);
    release(w().btTestLineHeater);
    page204(false);
    EXPECT_TRUE(w().heaterTabVisible()) << "once a heater was tested the tab stays";
}

}  // namespace

namespace {

// Assistive technology announces every control by its caption and every read-out with its
// caption.
TEST(ServiceWindowsAccessibility, ControlsCarryTheirCaptionsAndReadOutsTheirLabels) {
    ToolHarness h;
    auto* calibrate = h.find<QPushButton>("fInstaller", "btShowCalibrate");
    ASSERT_NE(calibrate, nullptr);
    EXPECT_EQ(calibrate->accessibleName(), "Special user calibration...");
    for (const char* form : {"fServiceTool", "fUserCalibration", "fPurge"}) {
        SCOPED_TRACE(form);
        QWidget* window = h.app().window(form);
        ASSERT_NE(window, nullptr);
        for (auto* button : window->findChildren<QPushButton*>()) {
            EXPECT_EQ(button->accessibleName(), button->text().remove('&'))
                << button->objectName().toStdString();
        }
        int readouts = 0;
        for (auto* label : window->findChildren<QLabel*>()) {
            if (!label->text().startsWith('?') && label->objectName() != "lPurgeTime" &&
                label->objectName() != "lTime") {
                continue;
            }
            ++readouts;
            auto* form = qobject_cast<QFormLayout*>(label->parentWidget()->layout());
            ASSERT_NE(form, nullptr) << label->objectName().toStdString();
            auto* caption = qobject_cast<QLabel*>(form->labelForField(label));
            ASSERT_NE(caption, nullptr) << label->objectName().toStdString();
            EXPECT_EQ(caption->buddy(), label);
        }
        EXPECT_GT(readouts, 0);
    }
    auto* service = qobject_cast<TfServiceTool*>(h.app().window("fServiceTool"));
    EXPECT_EQ(service->tbCapacity->accessibleName(), "Test flow");
    EXPECT_EQ(service->pcService->tabText(service->pcService->currentIndex()), "Flow test");
    EXPECT_EQ(service->lFlowTestDoseml->text(), "7.50");
}

}  // namespace

// The torque limiter window on the whole tool: the cause bytes of page 208, the count-downs of
// page 211 and the display clear.

#include <gtest/gtest.h>

#include <QFormLayout>
#include <set>
#include <string>

#include "app/indicator.h"
#include "diagnostics/diagnostics_module.h"
#include "diagnostics/torque_limiter_window.h"
#include "tool_harness.h"

namespace {

// Every indicator by its shape's name, in cause-bit order.
const char* const kIndicators[] = {
    "shTL_ECU",          "shTL_DriveUnit",   "shTL_NOxIn",           "shTL_MAF",
    "shTL_CatInTemp",    "dshTL_CatOutTemp", "shTL_DosingValveOpen", "shTL_DosingValveClosed",
    "shTL_PumpHeadTemp", "shTL_Nozzle",      "shTL_ConversionRate",  "shTL_InternalHeater",
    "shTL_LevelSensor",  "shTL_AirUrea",     "shTL_UreaLevel",       "shTL_NOxOut",
    "shTL_ECMcom",
};

class TorqueLimiter : public ::testing::Test {
  protected:
    void SetUp() override { h.start(); }
    void page208(const std::vector<uint8_t>& body) {
        h.core().pageDisplay().onStatusPage(208, body);
    }
    // The names of the indicators that are red now.
    std::set<std::string> red() const {
        std::set<std::string> names;
        for (const char* name : kIndicators) {
            auto* shape = h.find<QLabel>("frmTorqueLimiter", name);
            EXPECT_NE(shape, nullptr) << name;
            const QString colour = shape ? indicatorColour(shape) : QString();
            EXPECT_TRUE(colour == "#ff0000" || colour == "#00ff00") << name;
            if (colour == "#ff0000") {
                names.insert(name);
            }
        }
        return names;
    }
    std::set<std::string> all() const { return {std::begin(kIndicators), std::end(kIndicators)}; }
    ToolHarness h;
};

TEST_F(TorqueLimiter, CauseBytesColourTheSeventeenIndicators) {
    EXPECT_EQ(red(), all());  // red at start
    const struct {
        std::vector<uint8_t> causes;
        std::set<std::string> red;
    } cases[] = {
        {{0x00, 0x00, 0x00}, {}},
        {{0xFF, 0xFF, 0x01}, all()},
        {{0x41, 0x00, 0x00}, {"shTL_ECU", "shTL_DosingValveOpen"}},
        {{0x20, 0x81, 0xFE}, {"dshTL_CatOutTemp", "shTL_PumpHeadTemp", "shTL_NOxOut"}},
        {{0x00, 0x04, 0x01}, {"shTL_ConversionRate", "shTL_ECMcom"}},
    };
    for (const auto& c : cases) {
        page208(c.causes);
        EXPECT_EQ(red(), c.red) << int(c.causes[0]) << " " << int(c.causes[1]) << " "
                                << int(c.causes[2]);
    }
    // A page of one byte colours that byte's eight and leaves the others.
    page208({0xFF, 0xFF, 0x01});
    page208({0x00});
    EXPECT_EQ(red(),
              (std::set<std::string>{"shTL_PumpHeadTemp", "shTL_Nozzle", "shTL_ConversionRate",
                                     "shTL_InternalHeater", "shTL_LevelSensor", "shTL_AirUrea",
                                     "shTL_UreaLevel", "shTL_NOxOut", "shTL_ECMcom"}));
}

TEST_F(TorqueLimiter, CountDownsFromPage211AndTheDisplayClear) {
    EXPECT_EQ(h.label("frmTorqueLimiter", "lCoutDown5Sec"), "?");
    EXPECT_EQ(h.label("frmTorqueLimiter", "lCoutDown45Sec"), "?");
    std::vector<uint8_t> page(28, 0);
    page[24] = 0xFF;  // 65535
    page[25] = 0xFF;
    page[26] = 0x2D;  // 45
    page[27] = 0x00;
    h.core().pageDisplay().onStatusPage(211, page);
    EXPECT_EQ(h.label("frmTorqueLimiter", "lCoutDown5Sec"), "65535");
    EXPECT_EQ(h.label("frmTorqueLimiter", "lCoutDown45Sec"), "45");
    page208({0x00, 0x00, 0x00});
    ASSERT_TRUE(red().empty());

    h.core().clearPumpDisplay();
    EXPECT_EQ(red(), all());
    EXPECT_EQ(h.label("frmTorqueLimiter", "lCoutDown5Sec"), "?");
    EXPECT_EQ(h.label("frmTorqueLimiter", "lCoutDown45Sec"), "?");
    // Captions as the window shows them.
    TfrmTorqueLimiter& window = h.app().diagnostics().torqueLimiter();
    EXPECT_EQ(window.windowTitle(), "Torque limiter");
    auto* form = qobject_cast<QFormLayout*>(window.indicator(2)->parentWidget()->layout());
    ASSERT_NE(form, nullptr);
    auto* caption = qobject_cast<QLabel*>(form->labelForField(window.indicator(2)));
    ASSERT_NE(caption, nullptr);
    EXPECT_EQ(caption->text(), "NOx in ");
}

}  // namespace

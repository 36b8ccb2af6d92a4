// The installer window's enable rules as the operator meets them: a choice in a combo box switches
// its block (with the torque limiter's information messages and forcing), while the presets the
// pump's pages write bring the same states along silently.

#include <gtest/gtest.h>

#include <QGuiApplication>

#include "installer_fixture.h"

using namespace installer_test;

namespace {

class InstallerRules : public ::testing::Test {
  protected:
    InstallerRules() { h.core().pageDisplay().format = DisplayFormat{'.', "%Y-%m-%d"}; }
    TfInstaller& w() { return h.app().installer().window(); }
    // The enabled state every name of the block has, or nothing when they differ.
    std::optional<bool> blockState(const std::vector<const char*>& block) {
        std::optional<bool> state;
        for (const char* name : block) {
            QWidget* widget = w().widget(name);
            EXPECT_NE(widget, nullptr) << name;
            if (!widget) {
                return std::nullopt;
            }
            if (state && *state != widget->isEnabled()) {
                return std::nullopt;
            }
            state = widget->isEnabled();
        }
        return state;
    }
    // The enabled state every control inside the container has, or nothing when they differ.
    std::optional<bool> containerState(QWidget* container) {
        std::optional<bool> state;
        for (QWidget* c : container->findChildren<QWidget*>()) {
            if (state && *state != c->isEnabled()) {
                return std::nullopt;
            }
            state = c->isEnabled();
        }
        return state;
    }
    ToolHarness h;
};

TEST_F(InstallerRules, OperatorChoicesSwitchTheirBlocks) {
    const struct {
        const char* combo;
        int index;
        std::vector<const char*> block;
        bool enabled;
    } cases[] = {
        {"cbConversionRatioSelection", 1, conversionRatioBlock(), false},
        {"cbConversionRatioSelection", 0, conversionRatioBlock(), true},
        {"cbMAFsignalSetup", 1, mafFactorBlock(), false},
        {"cbMAFsignalSetup", 0, mafFactorBlock(), true},
        {"cbUreaTankLevelSensorSetup", 2, levelLimitBlock(), true},
        {"cbUreaTankLevelSensorSetup", 1, levelLimitBlock(), false},
        {"cbTLoutputSetup", 1, engineSpeedBlock(), true},
        {"cbTLoutputSetup", 0, engineSpeedBlock(), false},
    };
    ASSERT_EQ(conversionRatioBlock().size(), 18u);
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.combo) + " " + std::to_string(c.index));
        choose(w().combo(c.combo), c.index);
        EXPECT_EQ(blockState(c.block), c.enabled);
    }
}

TEST_F(InstallerRules, TorqueLimiterForcesTheEngineSpeedWithItsMessages) {
    const std::string forced(installer_text::kTlForcesEngineSpeed);
    const std::string disabled(installer_text::kTlDisablesEngineSpeed);
    const struct {
        int engineBefore;
        int tl;
        int engineAfter;
        std::vector<std::string> messages;
    } cases[] = {
        {0, 1, 1, {forced}},    // "Normal TL" while the engine speed is "Disabled"
        {2, 1, 2, {}},          // "Normal TL" while it is "From ECM": nothing to say
        {1, 0, 0, {disabled}},  // "Disabled" TL forces the engine speed off
        {2, 0, 0, {disabled}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("engine " + std::to_string(c.engineBefore) + " tl " + std::to_string(c.tl));
        h.dialogs.shown.clear();
        w().combo("cbEngineSpeedSetup")->setCurrentIndex(c.engineBefore);
        choose(w().combo("cbTLoutputSetup"), c.tl);
        EXPECT_EQ(w().comboIndex("cbEngineSpeedSetup"), c.engineAfter);
        ASSERT_EQ(h.dialogs.shown.size(), c.messages.size());
        for (std::size_t i = 0; i < c.messages.size(); ++i) {
            EXPECT_EQ(h.dialogs.shown[i].text.toStdString(), c.messages[i]);
            EXPECT_EQ(h.dialogs.shown[i].icon, Dialogs::Icon::Information);
        }
    }
}

TEST_F(InstallerRules, ExternalHeaterAndUreaTankTemperatureLimits) {
    QComboBox* heater = w().cbExternalHeaterSelection;
    choose(heater, 1);
    EXPECT_EQ(containerState(w().pExtHeaterConfig), true);
    EXPECT_EQ(containerState(w().gbMonitorExtHeaters), true);
    EXPECT_EQ(w().gbMonitorExtHeaters->palette().color(QPalette::WindowText), QColor(0, 0, 128));
    // Nobody typed in them: the defaults are there.
    EXPECT_EQ(w().edit("eZovar_TankUpper")->text(), "5");
    EXPECT_EQ(w().edit("eZovar_TankLower")->text(), "0");
    EXPECT_EQ(w().edit("eExtHeaterConfig_Defreeze")->text(), "-5");
    choose(heater, 0);
    EXPECT_EQ(containerState(w().pExtHeaterConfig), false);
    EXPECT_EQ(containerState(w().gbMonitorExtHeaters), false);
    EXPECT_EQ(w().gbMonitorExtHeaters->palette().color(QPalette::WindowText),
              QGuiApplication::palette().color(QPalette::Disabled, QPalette::WindowText));

    // The four limits follow the OBD setting, and the monitor choices run the same rule.
    EXPECT_EQ(containerState(w().gbUreaTempLimits), false);
    choose(w().combo("cbUreaTankTemperatureOBD"), 1);
    EXPECT_EQ(containerState(w().gbUreaTempLimits), true);
    w().combo("cbUreaTankTemperatureOBD")->setCurrentIndex(0);
    choose(w().combo("cbMonitorTankHeater"), 0);
    EXPECT_EQ(containerState(w().gbUreaTempLimits), false);
    EXPECT_TRUE(h.dialogs.shown.empty());
}

TEST_F(InstallerRules, PagePresetsBringTheirStatesAlongWithoutMessages) {
    // Level 10: the extended group is hidden, so the pages preset its controls.
    w().combo("cbEngineSpeedSetup")->setCurrentIndex(1);
    Bytes p204 = page204(0, 9);
    p204.u8(status_page::page204::kTlOutputSetup, 0)
        .u8(status_page::page204::kLevelSensorSetup, 2)
        .u16(status_page::page204::kLevelLowLimit, 512);
    page(h, service_code::kPage204, p204);
    EXPECT_EQ(w().comboIndex("cbTLoutputSetup"), 0);
    EXPECT_EQ(w().comboIndex("cbEngineSpeedSetup"), 1);  // a preset forces nothing
    EXPECT_EQ(blockState(engineSpeedBlock()), false);
    EXPECT_EQ(w().comboIndex("cbUreaTankLevelSensorSetup"), 2);
    EXPECT_EQ(blockState(levelLimitBlock()), true);
    EXPECT_EQ(w().edit("eLevelSensor_LowLimit_NewValue")->text(), "1002");

    // Page 212, then the run's first page 216 with the MAF from the ECM and the conversion
    // ratio switched off: the block is off and its edits hold the pump's values.
    page(h, service_code::kPage212, Bytes(5).u16(0, 450).u16(2, 725).u8(4, 30));
    namespace p216 = status_page::page216;
    page(h, service_code::kPage216, page216(p216::kMafSignalBit | p216::kConversionRatioBit, 0));
    EXPECT_EQ(w().comboIndex("cbMAFsignalSetup"), 1);
    EXPECT_EQ(blockState(mafFactorBlock()), false);
    EXPECT_EQ(w().comboIndex("cbConversionRatioSelection"), 1);
    EXPECT_EQ(blockState(conversionRatioBlock()), false);
    EXPECT_EQ(w().edit("eZovar_ConversionRatioReduced")->text(), "4.50");
    EXPECT_EQ(w().edit("eZovar_ConversionRatioThreshold")->text(), "7.25");
    EXPECT_EQ(w().edit("eZovar_ConversionRatioAvaragePeriod")->text(), "30");
    EXPECT_EQ(w().edit("eEngineSpeedIdleThr")->text(), "300");
    EXPECT_EQ(w().edit("eAlt2EngineSpeedSignalRatio")->text(), "1000");
    EXPECT_TRUE(h.dialogs.shown.empty());
    ASSERT_TRUE(h.app().installer().pumpInstallerSettings().has_value());
    EXPECT_EQ((*h.app().installer().pumpInstallerSettings())[p216::kSelections],
              p216::kMafSignalBit | p216::kConversionRatioBit);

    // The operator types over the edits; a later page 216 does not take them over again.
    w().edit("eZovar_ConversionRatioReduced")->setText("3");
    page(h, service_code::kPage216, page216(p216::kConversionRatioBit, 0));
    EXPECT_EQ(w().edit("eZovar_ConversionRatioReduced")->text(), "3");
    EXPECT_EQ(blockState(mafFactorBlock()), true);  // the MAF is from the sensor now
}

TEST_F(InstallerRules, FirstPage204SetsTheHeaterSelectionWhichOnlyTheExtendedLevelMayChange) {
    grantLevel(h, kAccessLevelExtended);
    Bytes p204 = page204(0, 9);
    p204.u8(status_page::page204::kHeaterBits, status_page::page204::kExternalHeaterBit);
    page(h, service_code::kPage204, p204);
    EXPECT_EQ(w().cbExternalHeaterSelection->currentIndex(), 1);
    EXPECT_FALSE(w().cbExternalHeaterSelection->isEnabled());
    EXPECT_EQ(containerState(w().pExtHeaterConfig), true);  // its rule ran
    // The urea tank and heater monitoring settings of a 0.09 pump are shown at this level.
    EXPECT_FALSE(w().pUreaTankTemperatureSettings->isHidden());
    EXPECT_FALSE(w().gbMonitorExtHeaters->isHidden());

    p204.u8(status_page::page204::kHeaterBits, 0);
    page(h, service_code::kPage204, p204);
    EXPECT_TRUE(w().cbExternalHeaterSelection->isEnabled());
    EXPECT_EQ(w().cbExternalHeaterSelection->currentIndex(), 1);  // once per run only
}

TEST_F(InstallerRules, GrantingTheExtendedLevelOpensWhatThePumpsPageWould) {
    // The run's first page 204 came while no level was granted: the heater selection is the
    // pump's and locked, the urea tank settings hidden.
    Bytes p204 = page204(0, 9);
    page(h, service_code::kPage204, p204);
    ASSERT_FALSE(w().cbExternalHeaterSelection->isEnabled());
    grantLevel(h, kAccessLevelExtended);
    EXPECT_TRUE(w().cbExternalHeaterSelection->isEnabled());
    EXPECT_FALSE(w().gbExtendedConfig->isHidden());
    EXPECT_FALSE(w().pUreaTankTemperatureSettings->isHidden());
    EXPECT_FALSE(w().gbMonitorExtHeaters->isHidden());
}

TEST_F(InstallerRules, BelowTheExtendedLevelTheEngineSpeedUsesThePumpsDefaultRatio) {
    // A 0.09 pump at level 10: the extended group stays hidden, so the divider label (which would
    // read "?") is not used.
    page(h, service_code::kPage204, page204(0, 9));
    EXPECT_TRUE(w().gbExtendedConfig->isHidden());
    Bytes p211(status_page::kPage211Size);
    p211.u16(status_page::page211::kAlternatorFrequency, 100);
    page(h, service_code::kPage211, p211);
    EXPECT_EQ(h.label("lEngineSpeed"), "336.7");

    // The extended level with the pump's divider: 1000 / 1000 x 100.
    grantLevel(h, kAccessLevelExtended);
    page(h, service_code::kPage204, page204(0, 9));
    page(h, service_code::kPage216, page216(0, 0));
    page(h, service_code::kPage211, p211);
    EXPECT_EQ(h.label("lEngineSpeed"), "100.0");
}

TEST_F(InstallerRules, OldPumpsKeepTheExtendedGroupHiddenAtTheExtendedLevel) {
    page(h, service_code::kPage204, page204(0, 5));
    grantLevel(h, kAccessLevelExtended);
    EXPECT_TRUE(w().gbExtendedConfig->isHidden());
    EXPECT_FALSE(w().tabShown(w().tsMIconfig));
    page(h, service_code::kPage204, page204(0, 5));
    EXPECT_TRUE(w().gbExtendedConfig->isHidden());
    EXPECT_FALSE(w().tabShown(w().tsDM1config));
}

}  // namespace

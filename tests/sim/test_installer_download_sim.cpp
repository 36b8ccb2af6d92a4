// The installer's downloads against the simulated pump of each generation: the tool's validation
// and encoders build the telegrams, the pump stores them and echoes them through the transport
// protocol, the tool's decoders accept the echoes, and the pump's own pages and readouts then
// report the new values. The pump's side has its own byte tables, so a slip in either shows here.

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "pump/config_download.h"
#include "pump/installer_controls.h"
#include "pump/installer_pages.h"
#include "pump/installer_parameters.h"
#include "pump/status_pages.h"
#include "pump_bench.h"

using namespace pump_bench;
using Bytes = std::vector<uint8_t>;

namespace {

const DisplayFormat kFormat{'.', "%Y-%m-%d"};

// The installer window as far as a download needs it: what its labels, edits and combo boxes hold
// after the decoders' results have been applied.
struct InstallerWindow {
    std::map<std::string, std::string> labels;
    std::map<std::string, std::string> edits;
    std::map<std::string, int> combos;
    InstallerView view;
    bool pageArmed216 = true;
    bool heaterArmed204 = true;

    void apply(const std::vector<LabelText>& texts) {
        for (const auto& t : texts) {
            if (t.window == ReadoutWindow::Installer) {
                labels[t.objectName] = t.text;
            }
        }
    }
    void apply(const std::vector<EditText>& texts) {
        for (const auto& t : texts) {
            edits[t.objectName] = t.text;
        }
    }
    void apply(const std::vector<ComboItemText>& items) {
        for (const auto& i : items) {
            if (i.window == ReadoutWindow::Installer) {
                labels[i.objectName] = comboItemText(i.comboName, i.index);
            }
        }
    }
    void apply(const std::vector<ComboSelection>& selections) {
        for (const auto& s : selections) {
            combos[s.comboName] = s.index;
        }
    }
    std::string label(const char* name) const {
        auto it = labels.find(name);
        return it == labels.end() ? "?" : it->second;
    }
    std::string edit(const char* name) const {
        auto it = edits.find(name);
        return it == edits.end() ? "" : it->second;
    }
    int combo(const char* name, int otherwise = installer_index::kNone) const {
        auto it = combos.find(name);
        return it == combos.end() ? otherwise : it->second;
    }

    // The pump's pages, decoded as the tool decodes them.
    void readPages(Bench& bench, bool page216) {
        const auto p203 = decodePage203(pageBody(bench, 203), view, kFormat);
        apply(p203.texts);
        apply(p203.edits);
        const Bytes body204 = pageBody(bench, 204);
        const auto p204 = decodePage204(body204, view, heaterArmed204, kFormat);
        heaterArmed204 = false;
        apply(p204.texts);
        apply(p204.comboItems);
        apply(p204.edits);
        apply(p204.comboSelections);
        if (p204.initialHeaterSelection) {
            combos["cbExternalHeaterSelection"] = *p204.initialHeaterSelection;
        }
        apply(monitorHeaterPresets(body204, view.extendedConfigVisible));
        apply(decodePage212(pageBody(bench, 212), kFormat).texts);
        if (page216) {
            Page216Context context;
            context.firstPageOfRun = pageArmed216;
            context.extendedConfigVisible = view.extendedConfigVisible;
            context.conversionRatioReduced = label("lConversionRatioReduced");
            context.conversionRatioThreshold = label("lConversionRatioThreshold");
            context.averagingPeriod = label("lConversionRatioAvaragePeriod");
            const auto p216 = decodePage216(pageBody(bench, 216), context, kFormat);
            pageArmed216 = pageArmed216 && !p216.onceStepDone;
            apply(p216.texts);
            apply(p216.comboSelections);
            apply(p216.edits);
        }
    }

    // A parameter read (173) answered by the pump, decoded into the labels.
    void read(Bench& bench, uint16_t id) {
        const auto request = ParameterTelegram::read(id).bytes();
        const auto answer = bench.ask(Bytes(request.begin(), request.end()));
        ASSERT_TRUE(answer.has_value());
        ParameterReadoutContext context;
        context.monitorExtHeatersVisible = view.monitorExtHeatersVisible;
        const auto r = decodeParameterReply(*answer, false, context, kFormat);
        EXPECT_EQ(r.acceptance, ReplyAcceptance::Accepted);
        apply(r.texts);
    }
};

// What an installer types for the new installation.
ConfigurationInput typedConfiguration() {
    ConfigurationInput in;
    in.vin = "WDB98765432109876";
    in.installDate = {2025, 3, 14};
    in.dashboard = "98765";
    in.blockedNozzleRestart = "45";
    in.externalHeater = 1;
    in.heaterLimitsEnabled = true;
    in.heaterUpperLimit = "12";
    in.heaterLowerLimit = "-8";
    in.heaterDefreezeLimit = "-15";
    in.catalystVolume = "32.5";
    in.catalystLength = "410.2";
    in.conversionGain = "1.35";
    in.mafFactor = "275";
    in.conversionRatioReduced = "4.5";
    in.conversionRatioThreshold = "6.25";
    in.averagingPeriod = "15";
    return in;
}

// The extended controls as an installer at the extended level sets them.
ConfigurationInput extendedConfiguration(PumpSoftwareVersion version) {
    ConfigurationInput in = typedConfiguration();
    in.pumpSoftware = version;
    in.extendedConfigVisible = true;
    in.ureaTankPanelVisible = version.parameterReadout();
    in.downstreamNox = 0;
    in.tlOutput = 1;
    in.engineSpeed = 2;
    in.mafSignal = 0;
    in.ecmCanAddress = "3";
    in.conversionRatioSelection = 0;
    in.minimumMaf = "55";
    in.idleThreshold = "450";
    in.divider = "1200";
    in.ureaTankTempSensor = 2;
    in.levelSensor = 2;
    in.levelLowLimit = "600";
    in.levelEmptyLimit = "200";
    in.repeatingPrime = 0;
    in.valveOpenTime = "8";
    in.valveCloseTime = "2";
    in.purgeSequences = "4";
    in.udsSurveillance = 1;
    in.ureaTankTemperatureObd = 1;
    in.ureaHighStop = "95";
    in.ureaHighRestart = "85";
    in.ureaLowStop = "-35";
    in.ureaLowRestart = "-28";
    in.monitorTankHeater = 1;
    in.monitorLineHeater = 0;
    return in;
}

InstallerConfiguration validated(const ConfigurationInput& in) {
    auto r = validateConfiguration(in, kFormat);
    if (auto f = std::get_if<ValidationFailure>(&r)) {
        ADD_FAILURE() << "message " << f->message << " at " << f->focus;
        return {};
    }
    return std::get<InstallerConfiguration>(r);
}

template <std::size_t N>
Bytes bytesOf(const std::array<uint8_t, N>& a) {
    return Bytes(a.begin(), a.end());
}

// Sends a sequence of parameter writes one at a time, as the scheduler does, and decodes each
// echo against the telegram just sent. Returns the status lines shown.
std::vector<std::string> sendWrites(Bench& bench, const std::vector<ParameterTelegramBytes>& writes,
                                    DownloadBookkeeping bookkeeping, InstallerWindow& window) {
    std::vector<std::string> statuses;
    for (const auto& write : writes) {
        const auto echo = bench.ask(bytesOf(write));
        EXPECT_TRUE(echo.has_value());
        if (!echo) {
            break;
        }
        ParameterReadoutContext context;
        context.lastSent = write;
        context.bookkeeping = bookkeeping;
        context.monitorExtHeatersVisible = window.view.monitorExtHeatersVisible;
        const auto r = decodeParameterReply(*echo, true, context, kFormat);
        EXPECT_EQ(r.acceptance, ReplyAcceptance::Accepted) << "id " << parameterIdOf(write);
        window.apply(r.texts);
        if (r.status) {
            statuses.push_back(*r.status);
        }
    }
    return statuses;
}

void expectNewBasicValues(const InstallerWindow& w) {
    EXPECT_EQ(w.label("lCatalystVolume"), "32.5");
    EXPECT_EQ(w.label("lCatalystLength"), "410.2");
    EXPECT_EQ(w.label("lConversionGain"), "1.35");
    EXPECT_EQ(w.label("lMafFactor"), "275");
    EXPECT_EQ(w.label("lTankUpperLimit"), "12");
    EXPECT_EQ(w.label("lTankLowerLimit"), "-8");
    EXPECT_EQ(w.label("lBlockedNozzleSetupRestart"), "45");
    EXPECT_EQ(w.label("lDashboard"), "98765");
    EXPECT_EQ(w.label("lInstallDate"), "2025-03-14");
    EXPECT_EQ(w.label("lExternalHeaterSelection"), "Enabled");
    EXPECT_EQ(w.label("lConversionRatioReduced"), "4.50");
    EXPECT_EQ(w.label("lConversionRatioThreshold"), "6.25");
    EXPECT_EQ(w.label("lConversionRatioAvaragePeriod"), "15");
}

std::string vinOf(const SimulatedPump& pump) {
    const Bytes id = pump.vehicleIdentification();
    return std::string(id.begin(), id.end() - 1);  // without the closing '*'
}

TEST(InstallerDownloadAgainstThePump, Software005TakesTheOldImage) {
    Bench bench(withSoftware(0, 5));
    inTestMode(bench);
    InstallerWindow window;  // no level grants the extended group on this pump
    ConfigurationInput in = typedConfiguration();
    in.pumpSoftware = {0, 5};
    ASSERT_EQ(layoutFor(in.pumpSoftware), ConfigurationLayout::Old147);

    const auto image = encodeConfig147(validated(in), {});
    ASSERT_TRUE(std::holds_alternative<Config147Telegram>(image));
    const Bytes sent = bytesOf(std::get<Config147Telegram>(image));
    const auto echo = bench.ask(sent);
    ASSERT_TRUE(echo.has_value());
    ConfigEchoContext context;
    context.sentTelegram = sent;
    const auto accepted =
        decodeConfigEcho((*echo)[7], std::span(*echo).subspan(8), context, kFormat);
    EXPECT_EQ(accepted.acceptance, ReplyAcceptance::Accepted);
    EXPECT_EQ(accepted.status, "Configuration data downloaded!");

    window.readPages(bench, false);
    expectNewBasicValues(window);
    EXPECT_EQ(vinOf(bench.pump()), "WDB98765432109876");

    // An echo the pump garbled is not taken for the download.
    bench.pump().setFault(sim::Fault::CorruptEcho, true);
    const auto garbled = bench.ask(sent);
    ASSERT_TRUE(garbled.has_value());
    EXPECT_EQ(decodeConfigEcho((*garbled)[7], std::span(*garbled).subspan(8), context, kFormat)
                  .acceptance,
              ReplyAcceptance::NotAccepted);
}

TEST(InstallerDownloadAgainstThePump, Software009TakesTheNewImageThenTheUreaTankLimits) {
    Bench bench(withSoftware(0, 9));
    inTestMode(bench);
    InstallerWindow window;
    window.view.accessLevel = kAccessLevelExtended;
    window.view.extendedConfigVisible = true;
    window.view.monitorExtHeatersVisible = true;
    const ConfigurationInput in = extendedConfiguration({0, 9});
    ASSERT_EQ(layoutFor(in.pumpSoftware), ConfigurationLayout::New163);

    const auto built = encodeConfig163(validated(in), {});
    ASSERT_TRUE(std::holds_alternative<Config163Download>(built));
    const auto& download = std::get<Config163Download>(built);
    const Bytes sent = bytesOf(download.telegram);
    const auto echo = bench.ask(sent);
    ASSERT_TRUE(echo.has_value());
    ConfigEchoContext context;
    context.sentTelegram = sent;
    context.monitorExtHeatersVisible = true;
    context.parameterWritesFollow = !download.parameterWrites.empty();
    const auto accepted =
        decodeConfigEcho((*echo)[7], std::span(*echo).subspan(8), context, kFormat);
    EXPECT_EQ(accepted.acceptance, ReplyAcceptance::Accepted);
    EXPECT_FALSE(accepted.status.has_value());  // the limits are still to come
    ASSERT_TRUE(download.bookkeeping.has_value());
    EXPECT_EQ(sendWrites(bench, download.parameterWrites, *download.bookkeeping, window),
              std::vector<std::string>{"Configuration data downloaded"});

    window.readPages(bench, true);
    expectNewBasicValues(window);
    EXPECT_EQ(window.label("lExtHeater_DefreezeLimit_Value"), "-15");
    EXPECT_EQ(window.label("lMAFatIdleSpeed"), "55");
    EXPECT_EQ(window.label("lECMcanAdrConfiguration"), "3");
    EXPECT_EQ(window.label("lTLoutputSetup"), "Normal TL");
    EXPECT_EQ(window.label("lUreaTankLevelSensorSetup"), "Analouge");
    // 600 and 200 ohm are stored as 384 and 171 counts, which read back as 601 and 201 ohm.
    EXPECT_EQ(window.label("lLevelSensor_LowLimit_Value"), "601");
    EXPECT_EQ(window.label("lLevelSensor_EmptyLimit_Value"), "201");
    EXPECT_EQ(window.label("lMonitorTankHeater"), "YES");
    EXPECT_EQ(window.label("lMonitorLineHeater"), "NO");
    EXPECT_EQ(window.label("lEngineSpeedSignalConfig_Value"), "From ECM");
    EXPECT_EQ(window.label("lDownstreamNOxSelection"), "Bypass OBD");
    EXPECT_EQ(window.label("lUDSsurveillanceAtPin32_Value"), "Normal");
    EXPECT_EQ(window.label("lUreaTankTempSetup"), "NTC 1k0");
    EXPECT_EQ(window.label("lRepeatingPrimeSeq_Value"), "Repeating");
    EXPECT_EQ(window.label("lUreaTankTemperatureOBD"), "Enabled");
    EXPECT_EQ(window.label("lValveOpenTimeAtPurge_Value"), "8");
    EXPECT_EQ(window.label("lValveCloseTimeAtPurge_Value"), "2");
    EXPECT_EQ(window.label("lNoOfRepAtPurge_Value"), "4");
    EXPECT_EQ(window.label("lEngineSpeedIdleThr"), "450");
    EXPECT_EQ(window.label("lAlt2EngineSpeedSignalRatio"), "1200");
    window.read(bench, parameter_id::kUreaTankHighLimits);
    window.read(bench, parameter_id::kUreaTankLowLimits);
    EXPECT_EQ(window.label("lUreaTankMaxStop"), "95");
    EXPECT_EQ(window.label("lUreaTankMaxRestart"), "85");
    EXPECT_EQ(window.label("lUreaTankMinStop"), "-35");
    EXPECT_EQ(window.label("lUreaTankMinRestart"), "-28");
    EXPECT_EQ(vinOf(bench.pump()), "WDB98765432109876");
}

TEST(InstallerDownloadAgainstThePump, Software011TakesOneWritePerParameter) {
    Bench bench(withSoftware(0, 11));
    inTestMode(bench);
    InstallerWindow window;
    window.view.accessLevel = kAccessLevelExtended;
    window.view.extendedConfigVisible = true;
    window.view.monitorExtHeatersVisible = true;
    ConfigurationInput in = extendedConfiguration({0, 11});
    in.vin = "AB12Z";
    ASSERT_EQ(layoutFor(in.pumpSoftware), ConfigurationLayout::ParameterWrites172);

    const auto built = buildParameterSequence(validated(in), {});
    ASSERT_TRUE(std::holds_alternative<ParameterSequence>(built));
    const auto& sequence = std::get<ParameterSequence>(built);
    EXPECT_EQ(sendWrites(bench, sequence.telegrams, sequence.bookkeeping, window),
              std::vector<std::string>{"Configuration data downloaded"});
    EXPECT_EQ(vinOf(bench.pump()), "AB12Z");

    window.readPages(bench, true);
    expectNewBasicValues(window);
    EXPECT_EQ(window.label("lLevelSensor_LowLimit_Value"), "601");
    EXPECT_EQ(window.label("lEngineSpeedIdleThr"), "450");
    EXPECT_EQ(window.label("lUreaTankTemperatureOBD"), "Enabled");
    for (uint16_t id : {parameter_id::kUreaTankHighLimits, parameter_id::kMinimumMaf,
                        parameter_id::kLevelSensor, parameter_id::kHeaterSelection}) {
        window.read(bench, id);
    }
    EXPECT_EQ(window.label("lUreaTankMaxStop"), "95");
    EXPECT_EQ(window.label("lMAFatIdleSpeed"), "55");
    EXPECT_EQ(window.label("lLevelSensor_EmptyLimit_Value"), "201");
    EXPECT_EQ(window.label("lMonitorLineHeater"), "NO");

    // A write the pump echoes garbled is reported once the scheduler is about to give up, and the
    // sequence then ends without the success text.
    bench.pump().setFault(sim::Fault::CorruptEcho, true);
    const auto write = ParameterTelegram::write(parameter_id::kCatalystVolume).u16(2, 400).bytes();
    const auto echo = bench.ask(bytesOf(write));
    ASSERT_TRUE(echo.has_value());
    ParameterReadoutContext context;
    context.lastSent = write;
    context.bookkeeping = {parameter_id::kCatalystVolume, false};
    context.retryCount = 58;
    EXPECT_EQ(decodeParameterReply(*echo, true, context, kFormat).acceptance,
              ReplyAcceptance::NotAccepted);
    context.retryCount = 59;
    const auto failed = decodeParameterReply(*echo, true, context, kFormat);
    EXPECT_EQ(failed.status, "Configuration data NOT downloaded (ID = 21)");
}

TEST(InstallerDownloadAgainstThePump, InstallerLevelWritesTheHiddenSettingsBackUnchanged) {
    // At the installer level the extended group is hidden; the pages preset its controls from the
    // pump, so a download of the basic parameters leaves every extended setting as it was.
    for (const auto version : {PumpSoftwareVersion{0, 9}, PumpSoftwareVersion{0, 11}}) {
        SCOPED_TRACE(std::to_string(version.minor));
        Bench bench(withSoftware(version.major, version.minor));
        inTestMode(bench);
        InstallerWindow window;
        window.view.accessLevel = kAccessLevelInstaller;
        window.readPages(bench, true);
        const sim::PumpConfig before = bench.pump().state().config;

        ConfigurationInput in = typedConfiguration();
        in.pumpSoftware = version;
        in.externalHeater = window.combo("cbExternalHeaterSelection", 0);
        in.downstreamNox = window.combo("cbDownstreamNOxSelection");
        in.tlOutput = window.combo("cbTLoutputSetup");
        in.engineSpeed = window.combo("cbEngineSpeedSetup");
        in.mafSignal = window.combo("cbMAFsignalSetup");
        in.mafFactorEnabled = in.mafSignal == installer_index::kMafFromSensor;
        in.conversionRatioSelection = window.combo("cbConversionRatioSelection");
        in.conversionRatioEnabled =
            in.conversionRatioSelection != installer_index::kConversionRatioDisabled;
        in.ureaTankTempSensor = window.combo("cbUreaTankTempSetup");
        in.levelSensor = window.combo("cbUreaTankLevelSensorSetup");
        in.repeatingPrime = window.combo("cbRepeatingPrimeSeq_NewValue");
        in.udsSurveillance = window.combo("cbUDSsurveillanceAtPin32");
        in.ureaTankTemperatureObd = window.combo("cbUreaTankTemperatureOBD");
        in.monitorTankHeater = window.combo("cbMonitorTankHeater", 1);
        in.monitorLineHeater = window.combo("cbMonitorLineHeater", 1);
        in.ecmCanAddress = window.edit("eECMcanAdrConfiguration");
        in.minimumMaf = window.edit("eMAFatIdleSpeed");
        in.idleThreshold = window.edit("eEngineSpeedIdleThr");
        in.divider = window.edit("eAlt2EngineSpeedSignalRatio");
        in.levelLowLimit = window.edit("eLevelSensor_LowLimit_NewValue");
        in.levelEmptyLimit = window.edit("eLevelSensor_EmptyLimit_NewValue");
        in.heaterUpperLimitActual = window.label("lTankUpperLimit");
        in.heaterLowerLimitActual = window.label("lTankLowerLimit");
        in.heaterDefreezeLimitActual = window.label("lExtHeater_DefreezeLimit_Value");
        in.mafFactorActual = window.label("lMafFactor");
        in.conversionRatioReducedActual = window.label("lConversionRatioReduced");
        in.conversionRatioThresholdActual = window.label("lConversionRatioThreshold");
        in.averagingPeriodActual = window.label("lConversionRatioAvaragePeriod");
        in.levelLowLimitActual = window.label("lLevelSensor_LowLimit_Value");
        in.levelEmptyLimitActual = window.label("lLevelSensor_EmptyLimit_Value");
        in.valveOpenTime = window.edit("eValveOpenTimeAtPurge_Value");
        in.valveCloseTime = window.edit("eValveCloseTimeAtPurge_Value");
        in.purgeSequences = window.edit("eNoOfRepAtPurge_Value");
        const auto config = validated(in);

        if (layoutFor(version) == ConfigurationLayout::New163) {
            const auto built = encodeConfig163(config, {});
            ASSERT_TRUE(std::holds_alternative<Config163Download>(built))
                << std::get<DownloadRefusal>(built).text;
            const auto& download = std::get<Config163Download>(built);
            EXPECT_TRUE(download.parameterWrites.empty());
            ASSERT_TRUE(bench.ask(bytesOf(download.telegram)).has_value());
        } else {
            const auto built = buildParameterSequence(config, {});
            ASSERT_TRUE(std::holds_alternative<ParameterSequence>(built))
                << std::get<DownloadRefusal>(built).text;
            const auto& sequence = std::get<ParameterSequence>(built);
            EXPECT_EQ(sendWrites(bench, sequence.telegrams, sequence.bookkeeping, window),
                      std::vector<std::string>{"Configuration data downloaded"});
        }

        const sim::PumpConfig& after = bench.pump().state().config;
        EXPECT_EQ(after.catalystVolume, 325);
        EXPECT_EQ(after.conversionGain, 13500);
        EXPECT_EQ(after.vin, "WDB98765432109876");
        // The extended settings, as the pump had them.
        EXPECT_EQ(after.downstreamNox, before.downstreamNox);
        EXPECT_EQ(after.udsSurveillance, before.udsSurveillance);
        EXPECT_EQ(after.mafSignal, before.mafSignal);
        EXPECT_EQ(after.conversionRatioSelection, before.conversionRatioSelection);
        EXPECT_EQ(after.repeatingPrime, before.repeatingPrime);
        EXPECT_EQ(after.ureaTankTempSetup, before.ureaTankTempSetup);
        EXPECT_EQ(after.engineSpeedSetup, before.engineSpeedSetup);
        EXPECT_EQ(after.ureaTankTempObd, before.ureaTankTempObd);
        EXPECT_EQ(after.heaterBits & 0x06, before.heaterBits & 0x06);  // heater monitoring
        EXPECT_EQ(after.tlOutputSetup, before.tlOutputSetup);
        EXPECT_EQ(after.ecmAddress, before.ecmAddress);
        EXPECT_EQ(after.minimumMaf, before.minimumMaf);
        EXPECT_EQ(after.levelSensorSetup, before.levelSensorSetup);
        EXPECT_EQ(after.levelLowLimit, before.levelLowLimit);
        EXPECT_EQ(after.levelEmptyLimit, before.levelEmptyLimit);
        EXPECT_EQ(after.idleThreshold, before.idleThreshold);
        EXPECT_EQ(after.speedDivider, before.speedDivider);
        EXPECT_EQ(after.valveOpenTime, before.valveOpenTime);
        EXPECT_EQ(after.valveCloseTime, before.valveCloseTime);
        EXPECT_EQ(after.purgeSequencesMinus1, before.purgeSequencesMinus1);
        EXPECT_EQ(after.conversionReduced, before.conversionReduced);  // switched off, kept
        EXPECT_EQ(after.conversionThreshold, before.conversionThreshold);
        EXPECT_EQ(after.conversionPeriod, before.conversionPeriod);
        EXPECT_EQ(after.ureaHighStop, before.ureaHighStop);
        EXPECT_EQ(after.ureaLowRestart, before.ureaLowRestart);
    }
}

}  // namespace

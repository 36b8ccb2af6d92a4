#include "pump/installer_pages.h"
#include "pump/body_reader.h"

#include <algorithm>
#include <cmath>

#include "pump/installer_controls.h"
#include "pump/installer_parameters.h"
#include "pump/service_telegram.h"

namespace p216 = status_page::page216;

namespace {

constexpr const char* kUnknownText = "?";
constexpr const char* kNotAvailable = "NA";

// Collects the installer's label texts of one telegram.
struct Texts {
    std::vector<LabelText>& out;

    void text(const char* label, std::string value,
              ReadoutWindow window = ReadoutWindow::Installer) {
        out.push_back({window, label, std::move(value)});
    }
    void item(const char* label, const char* combo, int index) {
        text(label, comboItemText(combo, index));
    }
};

// The fields of the installer settings block, as page 216 and image 163 carry it.
struct SettingsBlock {
    std::optional<uint8_t> purgeSequencesMinus1, valveOpenTime, valveCloseTime, selections,
        selections2;
    std::optional<uint16_t> idleCount, divider;

    explicit SettingsBlock(const BodyReader& r)
        : purgeSequencesMinus1(r.u8(p216::kPurgeSequencesMinus1)),
          valveOpenTime(r.u8(p216::kValveOpenTime)),
          valveCloseTime(r.u8(p216::kValveCloseTime)),
          selections(r.u8(p216::kSelections)),
          selections2(r.u8(p216::kSelections2)),
          idleCount(r.u16(p216::kIdleThresholdCount)),
          divider(r.u16(p216::kSpeedSignalDivider)) {}

    std::optional<int> bit(uint8_t mask) const {
        if (!selections) {
            return std::nullopt;
        }
        return (*selections & mask) ? 1 : 0;
    }
    std::optional<int> downstreamNox() const { return bit(p216::kDownstreamNoxBit); }
    std::optional<int> mafSignal() const { return bit(p216::kMafSignalBit); }
    std::optional<int> conversionRatio() const { return bit(p216::kConversionRatioBit); }
    std::optional<int> repeatingPrime() const { return bit(p216::kRepeatingPrimeBit); }
    std::optional<int> udsSurveillance() const {
        if (!selections) {
            return std::nullopt;
        }
        return ((*selections & p216::kUdsHighBit) ? 2 : 0) +
               ((*selections & p216::kUdsLowBit) ? 1 : 0);
    }
    std::optional<int> ureaTankTempSensor() const {
        if (!selections) {
            return std::nullopt;
        }
        return (*selections >> p216::kUreaTankTempShift) & p216::kTwoBitMask;
    }
    std::optional<int> engineSpeed() const {
        if (!selections2) {
            return std::nullopt;
        }
        return (*selections2 >> p216::kEngineSpeedShift) & p216::kTwoBitMask;
    }
    std::optional<int> ureaTankTemperatureObd() const {
        if (!selections2) {
            return std::nullopt;
        }
        return (*selections2 >> p216::kUreaTankTempObdShift) & p216::kTwoBitMask;
    }

    // rpm = trunc(1000 / d * c + 0.5) for the label; "?" over a divider of 0.
    std::optional<std::string> idleThresholdLabel() const {
        if (!idleCount || !divider) {
            return std::nullopt;
        }
        if (*divider == 0) {
            return std::string(kUnknownText);
        }
        const double rpm = std::trunc(1000.0 / *divider * *idleCount + 0.5);
        return formatUnsigned(static_cast<uint64_t>(rpm));
    }
    // The edit is preset truncated, without the label's + 0.5. Over a divider of 0 there is no
    // value the pump holds in rpm, so nothing is preset.
    std::optional<std::string> idleThresholdPreset() const {
        if (!idleCount || !divider || *divider == 0) {
            return std::nullopt;
        }
        const double rpm = std::trunc(*idleCount * 1000.0 / *divider);
        return formatUnsigned(static_cast<uint64_t>(rpm));
    }
};

void maybeItem(Texts& t, const char* label, const char* combo, std::optional<int> index) {
    if (index) {
        t.item(label, combo, *index);
    }
}

// Page 216's labels in the order of its table (the echo of image 163 writes them so).
void settingsBlockLabels(const SettingsBlock& b, Texts& t) {
    if (b.purgeSequencesMinus1) {
        t.text("lNoOfRepAtPurge_Value", formatUnsigned(*b.purgeSequencesMinus1 + 1u));
    }
    if (b.valveOpenTime) {
        t.text("lValveOpenTimeAtPurge_Value", formatUnsigned(*b.valveOpenTime));
    }
    if (b.valveCloseTime) {
        t.text("lValveCloseTimeAtPurge_Value", formatUnsigned(*b.valveCloseTime));
    }
    maybeItem(t, "lDownstreamNOxSelection", "cbDownstreamNOxSelection", b.downstreamNox());
    maybeItem(t, "lUDSsurveillanceAtPin32_Value", "cbUDSsurveillanceAtPin32", b.udsSurveillance());
    maybeItem(t, "lMAFconfiguration", "cbMAFsignalSetup", b.mafSignal());
    maybeItem(t, "lConversionRatioSelection", "cbConversionRatioSelection", b.conversionRatio());
    maybeItem(t, "lRepeatingPrimeSeq_Value", "cbRepeatingPrimeSeq_NewValue", b.repeatingPrime());
    maybeItem(t, "lUreaTankTempSetup", "cbUreaTankTempSetup", b.ureaTankTempSensor());
    maybeItem(t, "lEngineSpeedSignalConfig_Value", "cbEngineSpeedSetup", b.engineSpeed());
    maybeItem(t, "lUreaTankTemperatureOBD", "cbUreaTankTemperatureOBD", b.ureaTankTemperatureObd());
    if (auto idle = b.idleThresholdLabel()) {
        t.text("lEngineSpeedIdleThr", *idle);
    }
    if (b.divider) {
        t.text("lAlt2EngineSpeedSignalRatio", formatUnsigned(*b.divider));
    }
}

std::string levelLimitText(uint16_t count) {
    if (auto ohm = levelLimitOhm(count)) {
        return formatSigned(*ohm);
    }
    return kUnknownText;
}

}  // namespace

// --- Page 212 ---

Page212Result decodePage212(std::span<const uint8_t> body, const DisplayFormat& format) {
    namespace p = status_page::page212;
    const BodyReader r(body, status_page::kPage212Size);
    Page212Result out;
    out.complete = r.complete();
    Texts t{out.texts};
    if (auto v = r.u16(p::kConversionRatioReduced)) {
        t.text("lConversionRatioReduced", formatFixed(*v * 0.01, 2, format));
    }
    if (auto v = r.u16(p::kConversionRatioThreshold)) {
        t.text("lConversionRatioThreshold", formatFixed(*v * 0.01, 2, format));
    }
    if (auto v = r.u8(p::kAveragingPeriod)) {
        t.text("lConversionRatioAvaragePeriod", formatUnsigned(*v));
    }
    return out;
}

// --- Page 216 ---

Page216Result decodePage216(std::span<const uint8_t> body, const Page216Context& context,
                            const DisplayFormat&) {
    const BodyReader r(body, status_page::kPage216Size);
    const SettingsBlock b(r);
    Page216Result out;
    out.complete = r.complete();
    Texts t{out.texts};

    // 1. The block as the pump holds it.
    if (r.complete()) {
        InstallerSettingsBlock block{};
        std::copy(r.bytes().begin(), r.bytes().end(), block.begin());
        out.installerSettings = block;
    }

    // 2. Signal sources.
    maybeItem(t, "lEngineSpeedSignalConfig_Value", "cbEngineSpeedSetup", b.engineSpeed());
    maybeItem(t, "lMAFconfiguration", "cbMAFsignalSetup", b.mafSignal());
    maybeItem(t, "lConversionRatioSelection", "cbConversionRatioSelection", b.conversionRatio());

    // 3. Once per run: a pump that has its conversion ratio switched off starts the installer
    // with the block switched off and its edits holding the pump's values.
    if (context.firstPageOfRun && b.selections) {
        out.onceStepDone = true;
        if (*b.conversionRatio() == installer_index::kConversionRatioDisabled) {
            out.comboSelections.push_back(
                {"cbConversionRatioSelection", installer_index::kConversionRatioDisabled});
            const EnableChange rule =
                conversionRatioRule(installer_index::kConversionRatioDisabled);
            out.enabled.insert(out.enabled.end(), rule.controls.begin(), rule.controls.end());
            out.edits.push_back({ReadoutWindow::Installer, "eZovar_ConversionRatioReduced",
                                 context.conversionRatioReduced});
            out.edits.push_back({ReadoutWindow::Installer, "eZovar_ConversionRatioThreshold",
                                 context.conversionRatioThreshold});
            out.edits.push_back({ReadoutWindow::Installer, "eZovar_ConversionRatioAvaragePeriod",
                                 context.averagingPeriod});
        }
    }

    // 4. The other selections, the purge, the idle threshold and the divider.
    maybeItem(t, "lUDSsurveillanceAtPin32_Value", "cbUDSsurveillanceAtPin32", b.udsSurveillance());
    maybeItem(t, "lDownstreamNOxSelection", "cbDownstreamNOxSelection", b.downstreamNox());
    maybeItem(t, "lUreaTankTempSetup", "cbUreaTankTempSetup", b.ureaTankTempSensor());
    maybeItem(t, "lRepeatingPrimeSeq_Value", "cbRepeatingPrimeSeq_NewValue", b.repeatingPrime());
    if (b.valveOpenTime) {
        t.text("lValveOpenTimeAtPurge_Value", formatUnsigned(*b.valveOpenTime));
    }
    if (b.valveCloseTime) {
        t.text("lValveCloseTimeAtPurge_Value", formatUnsigned(*b.valveCloseTime));
    }
    if (b.purgeSequencesMinus1) {
        t.text("lNoOfRepAtPurge_Value", formatUnsigned(*b.purgeSequencesMinus1 + 1u));
    }
    if (auto idle = b.idleThresholdLabel()) {
        t.text("lEngineSpeedIdleThr", *idle);
    }
    if (b.divider) {
        t.text("lAlt2EngineSpeedSignalRatio", formatUnsigned(*b.divider));
    }

    // 5. Below the extended level the new-value controls follow the pump, so that a download
    // writes its own settings back. An index the combo box does not hold is not preset.
    if (!context.extendedConfigVisible) {
        auto preset = [&](const char* combo, std::optional<int> index) {
            if (index && holdsItem(combo, *index)) {
                out.comboSelections.push_back({combo, *index});
            }
        };
        preset("cbEngineSpeedSetup", b.engineSpeed());
        preset("cbMAFsignalSetup", b.mafSignal());
        preset("cbConversionRatioSelection", b.conversionRatio());
        preset("cbUDSsurveillanceAtPin32", b.udsSurveillance());
        preset("cbDownstreamNOxSelection", b.downstreamNox());
        preset("cbUreaTankTempSetup", b.ureaTankTempSensor());
        preset("cbRepeatingPrimeSeq_NewValue", b.repeatingPrime());
        preset("cbUreaTankTemperatureOBD", b.ureaTankTemperatureObd());
        auto edit = [&](const char* name, std::optional<std::string> text) {
            if (text) {
                out.edits.push_back({ReadoutWindow::Installer, name, std::move(*text)});
            }
        };
        auto number = [](std::optional<uint8_t> v, unsigned add = 0) -> std::optional<std::string> {
            if (!v) {
                return std::nullopt;
            }
            return formatUnsigned(*v + add);
        };
        edit("eValveOpenTimeAtPurge_Value", number(b.valveOpenTime));
        edit("eValveCloseTimeAtPurge_Value", number(b.valveCloseTime));
        edit("eNoOfRepAtPurge_Value", number(b.purgeSequencesMinus1, 1));
        edit("eEngineSpeedIdleThr", b.idleThresholdPreset());
        if (b.divider) {
            edit("eAlt2EngineSpeedSignalRatio", formatUnsigned(*b.divider));
        }
    }

    // 6. Urea tank temperature OBD.
    maybeItem(t, "lUreaTankTemperatureOBD", "cbUreaTankTemperatureOBD", b.ureaTankTemperatureObd());
    return out;
}

std::vector<ComboSelection> monitorHeaterPresets(std::span<const uint8_t> page204Body,
                                                 bool extendedConfigVisible) {
    namespace p204 = status_page::page204;
    std::vector<ComboSelection> out;
    if (extendedConfigVisible || page204Body.size() <= p204::kHeaterBits) {
        return out;
    }
    const uint8_t bits = page204Body[p204::kHeaterBits];
    out.push_back({"cbMonitorTankHeater", (bits & p204::kMonitorTankHeaterBit) ? 1 : 0});
    out.push_back({"cbMonitorLineHeater", (bits & p204::kMonitorLineHeaterBit) ? 1 : 0});
    return out;
}

// --- Echoes 147 and 163 ---

bool configEchoMatches(uint8_t code, std::span<const uint8_t> body,
                       std::span<const uint8_t> sentTelegram) {
    std::size_t size = 0;
    if (code == service_code::kConfigDownloadOld) {
        size = config147::kSize;
    } else if (code == service_code::kConfigDownloadNew) {
        size = config163::kSize;
    } else {
        return false;
    }
    if (sentTelegram.size() != size || sentTelegram[service_telegram::kCodeOffset] != code ||
        body.size() != size - service_telegram::kBodyOffset) {
        return false;
    }
    const auto sentBody = sentTelegram.subspan(service_telegram::kBodyOffset);
    return std::equal(body.begin(), body.end(), sentBody.begin());
}

namespace {

constexpr std::size_t body(std::size_t telegramOffset) {
    return telegramOffset - service_telegram::kBodyOffset;
}

// The installation date and the dashboard value, each only where the echo's flag says the pump
// stored the field; the VIN for the three windows that show it.
void echoDateAndDashboard(const BodyReader& r, std::size_t writeDate, std::size_t date,
                          std::size_t writeDashboard, std::size_t dashboard,
                          const DisplayFormat& format, ConfigEchoResult& out, Texts& t) {
    if (r.u8(writeDate).value_or(0) != 0) {
        if (auto packed = r.u16(date)) {
            const auto d = unpackInstallDate(*packed);
            t.text("lInstallDate", d ? formatInstallDate(*d, format) : kNotAvailable);
            out.installDateKnown = d.has_value();
            out.installDate = d;
        }
    }
    if (r.u8(writeDashboard).value_or(0) != 0) {
        if (auto v = r.u32(dashboard)) {
            t.text("lDashboard", formatUnsigned(*v));
        }
    }
}

void echoVin(const BodyReader& r, std::size_t lengthOffset, Texts& t) {
    const auto length = r.u8(lengthOffset);
    if (!length) {
        return;
    }
    const auto all = r.bytes();
    const std::size_t first = lengthOffset + 1;
    const std::size_t available = all.size() > first ? all.size() - first : 0;
    const std::size_t n = std::min({std::size_t{*length}, kMaxVinLength, available});
    const std::string vin(all.begin() + first, all.begin() + first + n);
    t.text("lVIN", vin, ReadoutWindow::Main);
    t.text("lVIN", vin, ReadoutWindow::Installer);
    t.text("lVIN", vin, ReadoutWindow::ErrorLog);
}

void decodeEcho147(const BodyReader& r, const DisplayFormat& format, ConfigEchoResult& out) {
    namespace c = config147;
    Texts t{out.texts};
    if (auto v = r.u16(body(c::kMafFactor))) {
        t.text("lMafFactor", formatUnsigned(*v));
    }
    echoDateAndDashboard(r, body(c::kWriteDate), body(c::kInstallDate), body(c::kWriteDashboard),
                         body(c::kDashboard), format, out, t);
    if (auto v = r.u8(body(c::kExternalHeater))) {
        t.item("lExternalHeaterSelection", "cbExternalHeaterSelection", *v);
    }
    if (auto v = r.s8(body(c::kHeaterUpperLimit))) {
        t.text("lTankUpperLimit", formatSigned(*v));
    }
    if (auto v = r.s8(body(c::kHeaterLowerLimit))) {
        t.text("lTankLowerLimit", formatSigned(*v));
    }
    if (auto v = r.u16(body(c::kConversionRatioReduced))) {
        t.text("lConversionRatioReduced", formatFixed(*v * 0.01, 2, format));
    }
    if (auto v = r.u16(body(c::kConversionRatioThreshold))) {
        t.text("lConversionRatioThreshold", formatFixed(*v * 0.01, 2, format));
    }
    if (auto v = r.u8(body(c::kAveragingPeriod))) {
        t.text("lConversionRatioAvaragePeriod", formatUnsigned(*v));
    }
    if (auto v = r.u16(body(c::kConversionGain))) {
        t.text("lConversionGain", formatGeneral(*v * 0.0001, format));
    }
    if (auto v = r.u8(body(c::kBlockedNozzleRestart))) {
        t.text("lBlockedNozzleSetupRestart", formatUnsigned(*v));
    }
    if (auto v = r.u16(body(c::kCatalystVolume))) {
        t.text("lCatalystVolume", formatGeneral(*v * 0.1, format));
    }
    if (auto v = r.u16(body(c::kCatalystLength))) {
        t.text("lCatalystLength", formatGeneral(*v * 0.1, format));
    }
    echoVin(r, body(c::kVinLength), t);
}

void decodeEcho163(const BodyReader& r, const ConfigEchoContext& context,
                   const DisplayFormat& format, ConfigEchoResult& out) {
    namespace c = config163;
    Texts t{out.texts};
    echoDateAndDashboard(r, body(c::kWriteDate), body(c::kInstallDate), body(c::kWriteDashboard),
                         body(c::kDashboard), format, out, t);
    echoVin(r, body(c::kVinLength), t);
    if (auto bits = r.u8(body(c::kHeaterBits))) {
        t.item("lExternalHeaterSelection", "cbExternalHeaterSelection",
               (*bits & c::kExternalHeaterBit) ? 1 : 0);
        if (context.monitorExtHeatersVisible) {
            t.item("lMonitorTankHeater", "cbMonitorTankHeater",
                   (*bits & c::kMonitorTankHeaterBit) ? 1 : 0);
            t.item("lMonitorLineHeater", "cbMonitorLineHeater",
                   (*bits & c::kMonitorLineHeaterBit) ? 1 : 0);
        }
    }
    if (auto v = r.s8(body(c::kHeaterUpperLimit))) {
        t.text("lTankUpperLimit", formatSigned(*v));
    }
    if (auto v = r.s8(body(c::kHeaterLowerLimit))) {
        t.text("lTankLowerLimit", formatSigned(*v));
    }
    if (auto v = r.s8(body(c::kHeaterDefreezeLimit))) {
        t.text("lExtHeater_DefreezeLimit_Value", formatSigned(*v));
    }
    if (auto v = r.u16(body(c::kConversionRatioReduced))) {
        t.text("lConversionRatioReduced", formatFixed(*v * 0.01, 2, format));
    }
    if (auto v = r.u16(body(c::kConversionRatioThreshold))) {
        t.text("lConversionRatioThreshold", formatFixed(*v * 0.01, 2, format));
    }
    if (auto v = r.u8(body(c::kAveragingPeriod))) {
        t.text("lConversionRatioAvaragePeriod", formatUnsigned(*v));
    }
    if (auto v = r.u8(body(c::kBlockedNozzleRestart))) {
        t.text("lBlockedNozzleSetupRestart", formatUnsigned(*v));
    }
    if (auto v = r.u16(body(c::kConversionGain))) {
        t.text("lConversionGain", formatGeneral(*v * 0.0001, format));
    }
    if (auto v = r.u16(body(c::kCatalystVolume))) {
        t.text("lCatalystVolume", formatGeneral(*v * 0.1, format));
    }
    if (auto v = r.u16(body(c::kCatalystLength))) {
        t.text("lCatalystLength", formatGeneral(*v * 0.1, format));
    }
    if (auto v = r.u16(body(c::kMafFactor))) {
        t.text("lMafFactor", formatUnsigned(*v));
    }
    if (auto v = r.u8(body(c::kEcmCanAddress))) {
        t.text("lECMcanAdrConfiguration", formatUnsigned(*v));
    }
    if (auto v = r.u16(body(c::kMinimumMaf))) {
        t.text("lMAFatIdleSpeed", formatUnsigned(*v));
    }
    if (auto v = r.u16(body(c::kLevelLowLimit))) {
        t.text("lLevelSensor_LowLimit_Value", levelLimitText(*v));
    }
    if (auto v = r.u16(body(c::kLevelEmptyLimit))) {
        t.text("lLevelSensor_EmptyLimit_Value", levelLimitText(*v));
    }
    if (auto v = r.u8(body(c::kLevelSensorSetup))) {
        t.item("lUreaTankLevelSensorSetup", "cbUreaTankLevelSensorSetup", *v);
        out.pumpLevelSensorSetup = *v;
    }
    if (auto v = r.u8(body(c::kTlOutputSetup))) {
        if (*v == c::kTlCircuitBreaker) {
            t.text("lTLoutputSetup", std::string(readout_text::kCircuitBreaker));
        } else {
            t.item("lTLoutputSetup", "cbTLoutputSetup", *v);
        }
        out.pumpTlOutputSetup = *v;
    }
    const auto all = r.bytes();
    const std::size_t block = body(c::kInstallerBlock);
    if (all.size() >= block + status_page::kPage216Size) {
        const BodyReader settings(all.subspan(block), status_page::kPage216Size);
        settingsBlockLabels(SettingsBlock(settings), t);
        InstallerSettingsBlock copy{};
        std::copy_n(all.begin() + block, copy.size(), copy.begin());
        out.installerSettings = copy;
    }
}

}  // namespace

ConfigEchoResult decodeConfigEcho(uint8_t code, std::span<const uint8_t> echoBody,
                                  const ConfigEchoContext& context, const DisplayFormat& format) {
    ConfigEchoResult out;
    if (!configEchoMatches(code, echoBody, context.sentTelegram)) {
        return out;  // silent: the scheduler keeps asking for the real echo
    }
    out.acceptance = ReplyAcceptance::Accepted;
    if (code == service_code::kConfigDownloadOld) {
        decodeEcho147(BodyReader(echoBody, config147::kBodySize), format, out);
    } else {
        decodeEcho163(BodyReader(echoBody, config163::kBodySize), context, format, out);
    }
    if (!context.parameterWritesFollow) {
        out.status = std::string(echo_text::kDownloaded);
    }
    return out;
}

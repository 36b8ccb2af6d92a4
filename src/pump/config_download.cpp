#include "pump/config_download.h"

#include <algorithm>
#include <limits>

namespace pt = parameter_telegram;
namespace pid = parameter_id;
namespace idx = installer_index;

const char* toString(ConfigurationLayout layout) {
    switch (layout) {
        case ConfigurationLayout::Old147:
            return "Old147";
        case ConfigurationLayout::New163:
            return "New163";
        case ConfigurationLayout::ParameterWrites172:
            return "ParameterWrites172";
    }
    return "?";
}

ConfigurationLayout layoutFor(const PumpSoftwareVersion& version) {
    if (version.oldConfigurationLayout()) {
        return ConfigurationLayout::Old147;
    }
    if (version.major == 0 && version.minor <= 10) {
        return ConfigurationLayout::New163;
    }
    return ConfigurationLayout::ParameterWrites172;
}

std::string_view questionText(OverwriteQuestion question) {
    return question == OverwriteQuestion::InstallDate ? download_text::kOverwriteInstallDate
                                                      : download_text::kOverwriteDashboard;
}

std::vector<OverwriteQuestion> overwriteQuestions(bool installDateKnown, bool dashboardKnown) {
    std::vector<OverwriteQuestion> out;
    if (installDateKnown) {
        out.push_back(OverwriteQuestion::InstallDate);
    }
    if (dashboardKnown) {
        out.push_back(OverwriteQuestion::Dashboard);
    }
    return out;
}

OverwriteAnswers askOverwriteQuestions(bool installDateKnown, bool dashboardKnown,
                                       const std::function<bool(OverwriteQuestion)>& askYesNo) {
    OverwriteAnswers answers;
    for (OverwriteQuestion q : overwriteQuestions(installDateKnown, dashboardKnown)) {
        const bool yes = askYesNo(q);
        if (q == OverwriteQuestion::InstallDate) {
            answers.writeInstallDate = yes;
        } else {
            answers.writeDashboard = yes;
        }
    }
    return answers;
}

// --- Validation ---

namespace {

const InstallerControl& rowOf(const char* control) {
    // Every name used below is a row of the table; the table's tests hold it so.
    return *findInstallerControl(control);
}

bool printableVin(std::string_view vin) {
    return std::all_of(vin.begin(), vin.end(), [](char c) { return c >= 0x20 && c <= 0x7E; });
}

template <typename T>
std::optional<T> narrowed(std::optional<int64_t> v) {
    if (!v || *v < std::numeric_limits<T>::min() || *v > std::numeric_limits<T>::max()) {
        return std::nullopt;
    }
    return static_cast<T>(*v);
}

std::optional<int64_t> integerOf(const std::string& text) {
    if (auto v = parseInteger(text)) {
        return *v;
    }
    return std::nullopt;
}

// Reads the controls in the check order; each check either passes or names its row.
class Checker {
  public:
    explicit Checker(const DisplayFormat& format) : point_(format.decimalPoint) {}

    // An integer edit within its range; nothing when it fails the check.
    std::optional<int64_t> integer(const char* control, const std::string& text) {
        const InstallerControl& row = rowOf(control);
        const auto v = integerOf(text);
        if (!v || !rangeOf(*row.range).holds(*v)) {
            fail(row);
            return std::nullopt;
        }
        return v;
    }
    // A decimal edit whose scaled count lies within its range.
    std::optional<int64_t> decimal(const char* control, const std::string& text) {
        const InstallerControl& row = rowOf(control);
        const auto v = parseDecimal(text, point_);
        const auto count = v ? scaledCount(*v, row.scale) : std::nullopt;
        if (!count || !rangeOf(*row.range).holds(*count)) {
            fail(row);
            return std::nullopt;
        }
        return count;
    }
    // A combo box with one of its items selected.
    std::optional<uint8_t> selected(const char* combo, int index) {
        if (!holdsItem(combo, index)) {
            fail(rowOf(combo));
            return std::nullopt;
        }
        return static_cast<uint8_t>(index);
    }

    // Values outside the checks: as much as the text says, within the field it goes to.
    std::optional<double> decimalValue(const std::string& text) const {
        return parseDecimal(text, point_);
    }
    std::optional<int64_t> scaledValue(const std::string& text, int scale) const {
        const auto v = parseDecimal(text, point_);
        return v ? scaledCount(*v, scale) : std::nullopt;
    }
    static std::optional<uint8_t> item(const char* combo, int index) {
        return holdsItem(combo, index) ? std::optional<uint8_t>(static_cast<uint8_t>(index))
                                       : std::nullopt;
    }

    bool failed() const { return failure_.has_value(); }
    const ValidationFailure& failure() const { return *failure_; }

  private:
    void fail(const InstallerControl& row) {
        if (!failure_) {
            failure_ = ValidationFailure{row.message, row.control};
        }
    }

    char point_;
    std::optional<ValidationFailure> failure_;
};

}  // namespace

ValidationResult validateConfiguration(const ConfigurationInput& in, const DisplayFormat& format) {
    Checker check(format);
    InstallerConfiguration c;
    c.pumpSoftware = in.pumpSoftware;
    c.installDate = in.installDate;
    c.mafFactorEnabled = in.mafFactorEnabled;
    c.conversionRatioEnabled = in.conversionRatioEnabled;

    // 1. The VIN: the pump stores one byte per character, 21 at most.
    if (in.vin.empty() || in.vin.size() > kMaxVinLength || !printableVin(in.vin)) {
        const InstallerControl& row = rowOf("eVIN");
        return ValidationFailure{row.message, row.control};
    }
    c.vin = in.vin;

    // 2. From here on each check records only the first failure; every step ends at it.
    const auto dashboard = check.integer("eZovar_Dashboard", in.dashboard);
    const auto restart = check.integer("eZovar_BlockedNozzleSetupRestart", in.blockedNozzleRestart);
    c.dashboard = static_cast<uint32_t>(dashboard.value_or(0));
    c.blockedNozzleRestart = static_cast<uint8_t>(restart.value_or(0));
    c.externalHeater = Checker::item("cbExternalHeaterSelection", in.externalHeater);

    // 3. The heater limits, while their edits are enabled; otherwise as they stand.
    if (in.heaterLimitsEnabled) {
        c.heaterUpperLimit =
            narrowed<int8_t>(check.integer("eZovar_TankUpper", in.heaterUpperLimit));
        c.heaterLowerLimit =
            narrowed<int8_t>(check.integer("eZovar_TankLower", in.heaterLowerLimit));
        c.heaterDefreezeLimit =
            narrowed<int8_t>(check.integer("eExtHeaterConfig_Defreeze", in.heaterDefreezeLimit));
    } else {
        c.heaterUpperLimit = narrowed<int8_t>(integerOf(in.heaterUpperLimit));
        c.heaterLowerLimit = narrowed<int8_t>(integerOf(in.heaterLowerLimit));
        c.heaterDefreezeLimit = narrowed<int8_t>(integerOf(in.heaterDefreezeLimit));
    }

    // 4.
    const auto volume = check.decimal("eZovar_CatalystVolume", in.catalystVolume);
    const auto length = check.decimal("eZovar_CatalystLength", in.catalystLength);
    const auto gain = check.decimal("eZovar_ConversionGain", in.conversionGain);
    c.catalystVolume = static_cast<uint16_t>(volume.value_or(0));
    c.catalystLength = static_cast<uint16_t>(length.value_or(0));
    c.conversionGain = static_cast<uint16_t>(gain.value_or(0));

    // 5.
    if (in.mafFactorEnabled) {
        c.mafFactor = narrowed<uint16_t>(check.integer("eZovar_MafFactor", in.mafFactor));
    } else {
        c.mafFactor = narrowed<uint16_t>(integerOf(in.mafFactor));
    }
    if (in.conversionRatioEnabled) {
        c.conversionRatioReduced = narrowed<uint16_t>(
            check.decimal("eZovar_ConversionRatioReduced", in.conversionRatioReduced));
        c.conversionRatioThreshold = narrowed<uint16_t>(
            check.decimal("eZovar_ConversionRatioThreshold", in.conversionRatioThreshold));
        c.averagingPeriod = narrowed<uint8_t>(
            check.integer("eZovar_ConversionRatioAvaragePeriod", in.averagingPeriod));
    } else {
        c.conversionRatioReduced =
            narrowed<uint16_t>(check.scaledValue(in.conversionRatioReduced, 100));
        c.conversionRatioThreshold =
            narrowed<uint16_t>(check.scaledValue(in.conversionRatioThreshold, 100));
        c.averagingPeriod = narrowed<uint8_t>(integerOf(in.averagingPeriod));
    }

    const bool extended = in.extendedConfigVisible;
    const bool panelShown = extended && in.ureaTankPanelVisible;
    c.ureaTankSettings = panelShown || (!extended && in.pumpSoftware.parameterReadout());
    c.ureaLimitWrites = panelShown && in.ureaTankTemperatureObd == idx::kUreaObdEnabled;
    c.monitorTankHeater = Checker::item("cbMonitorTankHeater", in.monitorTankHeater);
    c.monitorLineHeater = Checker::item("cbMonitorLineHeater", in.monitorLineHeater);
    auto& present = c.present;
    present.heaterUpperLimit = narrowed<int8_t>(integerOf(in.heaterUpperLimitActual));
    present.heaterLowerLimit = narrowed<int8_t>(integerOf(in.heaterLowerLimitActual));
    present.heaterDefreezeLimit = narrowed<int8_t>(integerOf(in.heaterDefreezeLimitActual));
    present.mafFactor = narrowed<uint16_t>(integerOf(in.mafFactorActual));
    present.conversionRatioReduced =
        narrowed<uint16_t>(check.scaledValue(in.conversionRatioReducedActual, 100));
    present.conversionRatioThreshold =
        narrowed<uint16_t>(check.scaledValue(in.conversionRatioThresholdActual, 100));
    present.averagingPeriod = narrowed<uint8_t>(integerOf(in.averagingPeriodActual));
    auto count = [](const std::string& ohm) -> std::optional<uint16_t> {
        const auto v = integerOf(ohm);
        return v ? levelLimitCount(static_cast<double>(*v)) : std::nullopt;
    };
    present.levelLowCount = count(in.levelLowLimitActual);
    present.levelEmptyCount = count(in.levelEmptyLimitActual);
    c.idleThresholdRpm = check.decimalValue(in.idleThreshold);
    c.dividerValue = check.decimalValue(in.divider);

    if (check.failed()) {
        return check.failure();
    }

    // 6. Below the extended level the extended controls are not checked: they hold what the pump
    // reported, or nothing yet.
    if (!extended) {
        c.downstreamNox = Checker::item("cbDownstreamNOxSelection", in.downstreamNox);
        c.tlOutput = Checker::item("cbTLoutputSetup", in.tlOutput);
        if (!c.tlOutput) {
            c.tlOutput = in.pumpTlOutputSetup;
        }
        c.engineSpeed = Checker::item("cbEngineSpeedSetup", in.engineSpeed);
        c.mafSignal = Checker::item("cbMAFsignalSetup", in.mafSignal);
        c.ecmCanAddress = narrowed<uint8_t>(integerOf(in.ecmCanAddress));
        c.conversionRatioSelection =
            Checker::item("cbConversionRatioSelection", in.conversionRatioSelection);
        c.minimumMaf = narrowed<uint16_t>(integerOf(in.minimumMaf));
        c.divider = narrowed<uint16_t>(integerOf(in.divider));
        c.ureaTankTempSensor = Checker::item("cbUreaTankTempSetup", in.ureaTankTempSensor);
        c.levelSensor = Checker::item("cbUreaTankLevelSensorSetup", in.levelSensor);
        if (!c.levelSensor) {
            c.levelSensor = in.pumpLevelSensorSetup;
        }
        const auto low = integerOf(in.levelLowLimit);
        const auto empty = integerOf(in.levelEmptyLimit);
        c.levelLowCount = low ? levelLimitCount(static_cast<double>(*low)) : std::nullopt;
        c.levelEmptyCount = empty ? levelLimitCount(static_cast<double>(*empty)) : std::nullopt;
        c.repeatingPrime = Checker::item("cbRepeatingPrimeSeq_NewValue", in.repeatingPrime);
        c.valveOpenTime = narrowed<uint8_t>(integerOf(in.valveOpenTime));
        c.valveCloseTime = narrowed<uint8_t>(integerOf(in.valveCloseTime));
        const auto sequences = integerOf(in.purgeSequences);
        c.purgeSequencesMinus1 =
            narrowed<uint8_t>(sequences ? std::optional<int64_t>(*sequences - 1) : std::nullopt);
        c.udsSurveillance = Checker::item("cbUDSsurveillanceAtPin32", in.udsSurveillance);
        c.ureaTankTemperatureObd =
            Checker::item("cbUreaTankTemperatureOBD", in.ureaTankTemperatureObd);
        return c;
    }

    // 7.
    c.downstreamNox = check.selected("cbDownstreamNOxSelection", in.downstreamNox);
    c.tlOutput = check.selected("cbTLoutputSetup", in.tlOutput);
    c.engineSpeed = check.selected("cbEngineSpeedSetup", in.engineSpeed);
    c.mafSignal = check.selected("cbMAFsignalSetup", in.mafSignal);

    // 8. The minimum MAF has its range and message; it is checked in its place in the table.
    c.ecmCanAddress = narrowed<uint8_t>(check.integer("eECMcanAdrConfiguration", in.ecmCanAddress));
    c.conversionRatioSelection =
        check.selected("cbConversionRatioSelection", in.conversionRatioSelection);
    c.minimumMaf = narrowed<uint16_t>(check.integer("eMAFatIdleSpeed", in.minimumMaf));
    check.integer("eEngineSpeedIdleThr", in.idleThreshold);
    c.divider = narrowed<uint16_t>(check.integer("eAlt2EngineSpeedSignalRatio", in.divider));

    // 9.
    c.ureaTankTempSensor = check.selected("cbUreaTankTempSetup", in.ureaTankTempSensor);
    c.levelSensor = check.selected("cbUreaTankLevelSensorSetup", in.levelSensor);
    if (in.levelLimitsEnabled) {
        const auto low = check.integer("eLevelSensor_LowLimit_NewValue", in.levelLowLimit);
        const auto empty = check.integer("eLevelSensor_EmptyLimit_NewValue", in.levelEmptyLimit);
        c.levelLowCount = levelLimitCount(static_cast<double>(low.value_or(0)));
        c.levelEmptyCount = levelLimitCount(static_cast<double>(empty.value_or(0)));
    } else {
        const auto low = integerOf(in.levelLowLimit);
        const auto empty = integerOf(in.levelEmptyLimit);
        c.levelLowCount = low ? levelLimitCount(static_cast<double>(*low)) : std::nullopt;
        c.levelEmptyCount = empty ? levelLimitCount(static_cast<double>(*empty)) : std::nullopt;
    }

    // 10.
    c.repeatingPrime = check.selected("cbRepeatingPrimeSeq_NewValue", in.repeatingPrime);
    c.valveOpenTime =
        narrowed<uint8_t>(check.integer("eValveOpenTimeAtPurge_Value", in.valveOpenTime));
    c.valveCloseTime =
        narrowed<uint8_t>(check.integer("eValveCloseTimeAtPurge_Value", in.valveCloseTime));
    const auto sequences = check.integer("eNoOfRepAtPurge_Value", in.purgeSequences);
    c.purgeSequencesMinus1 = static_cast<uint8_t>(sequences.value_or(1) - 1);

    // 11. The urea tank temperature OBD is asked for only where the operator can see it.
    if (panelShown) {
        c.ureaTankTemperatureObd =
            check.selected("cbUreaTankTemperatureOBD", in.ureaTankTemperatureObd);
    }
    c.udsSurveillance = check.selected("cbUDSsurveillanceAtPin32", in.udsSurveillance);

    // 12.
    if (c.ureaLimitWrites) {
        c.ureaHighStop = narrowed<int8_t>(check.integer("eUreaTankMaxStop", in.ureaHighStop));
        c.ureaHighRestart =
            narrowed<int8_t>(check.integer("eUreaTankMaxRestart", in.ureaHighRestart));
        c.ureaLowStop = narrowed<int8_t>(check.integer("eUreaTankMinStop", in.ureaLowStop));
        c.ureaLowRestart =
            narrowed<int8_t>(check.integer("eUreaTankMinRestart", in.ureaLowRestart));
    }
    if (check.failed()) {
        return check.failure();
    }
    return c;
}

// --- Telegrams ---

namespace {

// A value a telegram must carry is missing: the download is refused with this.
struct Missing {
    DownloadRefusal refusal;
};

std::string_view trimmedCaption(std::string_view caption) {
    while (!caption.empty() && caption.back() == ' ') {
        caption.remove_suffix(1);
    }
    return caption;
}

DownloadRefusal missingValue(const char* control) {
    const InstallerControl* row = findInstallerControl(control);
    const std::string_view caption = row ? trimmedCaption(row->caption) : control;
    return DownloadRefusal{"Nothing was downloaded: there is no value to send for \"" +
                               std::string(caption) +
                               "\".\nThe pump has not reported it yet and no valid new value "
                               "is set.",
                           row ? row->control : control};
}

template <typename T>
T need(const std::optional<T>& value, const char* control) {
    if (!value) {
        throw Missing{missingValue(control)};
    }
    return *value;
}

uint16_t packedDate(const InstallDate& date) {
    if (auto packed = packInstallDate(date)) {
        return *packed;
    }
    throw Missing{DownloadRefusal{
        "Nothing was downloaded: the installation date must be a date from 2000 to 2127.",
        "dtpZovar_InstallDate"}};
}

// round(rpm x divider x 0.001), the pump's idle threshold count.
uint16_t idleThresholdCount(const InstallerConfiguration& c) {
    const double rpm = need(c.idleThresholdRpm, "eEngineSpeedIdleThr");
    const double divider = need(c.dividerValue, "eAlt2EngineSpeedSignalRatio");
    const auto count = narrowed<uint16_t>(scaledCount(rpm * divider, 0.001));
    return need(count, "eEngineSpeedIdleThr");
}

// Little-endian writes into a telegram buffer.
template <std::size_t N>
struct Writer {
    std::array<uint8_t, N>& t;
    void u8(std::size_t at, uint8_t v) { t[at] = v; }
    void s8(std::size_t at, int8_t v) { t[at] = static_cast<uint8_t>(v); }
    void u16(std::size_t at, uint16_t v) {
        t[at] = static_cast<uint8_t>(v);
        t[at + 1] = static_cast<uint8_t>(v >> 8);
    }
    void u32(std::size_t at, uint32_t v) {
        for (std::size_t i = 0; i < 4; ++i) {
            t[at + i] = static_cast<uint8_t>(v >> (8 * i));
        }
    }
    // The pump's present value where it is known; otherwise the buffer keeps what it held.
    void u8(std::size_t at, const std::optional<uint8_t>& v) {
        if (v) {
            u8(at, *v);
        }
    }
    void s8(std::size_t at, const std::optional<int8_t>& v) {
        if (v) {
            s8(at, *v);
        }
    }
    void u16(std::size_t at, const std::optional<uint16_t>& v) {
        if (v) {
            u16(at, *v);
        }
    }
    void vin(std::size_t lengthAt, std::size_t charsAt, const std::string& vin) {
        const std::size_t n = std::min(vin.size(), kMaxVinLength);
        u8(lengthAt, static_cast<uint8_t>(n));
        std::fill_n(t.begin() + charsAt, kMaxVinLength, uint8_t{0});
        std::copy_n(vin.begin(), n, t.begin() + charsAt);
    }
};

uint8_t flag(bool on) {
    return on ? 1 : 0;
}

uint8_t heaterBits(const InstallerConfiguration& c) {
    uint8_t bits =
        need(c.externalHeater, "cbExternalHeaterSelection") ? config163::kExternalHeaterBit : 0;
    if (c.ureaTankSettings) {
        bits |=
            need(c.monitorTankHeater, "cbMonitorTankHeater") ? config163::kMonitorTankHeaterBit : 0;
        bits |=
            need(c.monitorLineHeater, "cbMonitorLineHeater") ? config163::kMonitorLineHeaterBit : 0;
    }
    return bits;
}

ParameterTelegramBytes ureaLimits(uint16_t id, const std::optional<int8_t>& stop,
                                  const std::optional<int8_t>& restart, const char* stopName,
                                  const char* restartName) {
    return ParameterTelegram::write(id)
        .s8(pt::kStopTemperature, need(stop, stopName))
        .s8(pt::kRestartTemperature, need(restart, restartName))
        .bytes();
}

}  // namespace

std::variant<DownloadRefusal, Config147Telegram> encodeConfig147(const InstallerConfiguration& c,
                                                                 const OverwriteAnswers& answers) {
    namespace o = config147;
    try {
        Config147Telegram t{};
        Writer<o::kSize> w{t};
        w.u8(service_telegram::kCodeOffset, service_code::kConfigDownloadOld);
        w.u16(o::kMafFactor, need(c.mafFactor, "eZovar_MafFactor"));
        w.u8(o::kWriteDate, flag(answers.writeInstallDate));
        w.u16(o::kInstallDate, packedDate(c.installDate));
        w.u8(o::kWriteDashboard, flag(answers.writeDashboard));
        w.u32(o::kDashboard, c.dashboard);
        w.u8(o::kExternalHeater, need(c.externalHeater, "cbExternalHeaterSelection"));
        w.s8(o::kHeaterUpperLimit, need(c.heaterUpperLimit, "eZovar_TankUpper"));
        w.s8(o::kHeaterLowerLimit, need(c.heaterLowerLimit, "eZovar_TankLower"));
        if (c.conversionRatioEnabled) {
            w.u16(o::kConversionRatioReduced,
                  need(c.conversionRatioReduced, "eZovar_ConversionRatioReduced"));
            w.u16(o::kConversionRatioThreshold,
                  need(c.conversionRatioThreshold, "eZovar_ConversionRatioThreshold"));
            w.u8(o::kAveragingPeriod,
                 need(c.averagingPeriod, "eZovar_ConversionRatioAvaragePeriod"));
        } else {
            w.u16(o::kConversionRatioReduced, o::kDefaultConversionRatioReduced);
            w.u16(o::kConversionRatioThreshold, o::kDefaultConversionRatioThreshold);
            w.u8(o::kAveragingPeriod, o::kDefaultAveragingPeriod);
        }
        w.u16(o::kConversionGain, c.conversionGain);
        w.u8(o::kBlockedNozzleRestart, c.blockedNozzleRestart);
        w.u16(o::kCatalystVolume, c.catalystVolume);
        w.u16(o::kCatalystLength, c.catalystLength);
        w.vin(o::kVinLength, o::kVin, c.vin);
        return t;
    } catch (const Missing& m) {
        return m.refusal;
    }
}

std::variant<DownloadRefusal, Config163Download> encodeConfig163(
    const InstallerConfiguration& c, const OverwriteAnswers& answers,
    const Config163Telegram& previous) {
    namespace n = config163;
    namespace p216 = status_page::page216;
    try {
        Config163Download out;
        Config163Telegram& t = out.telegram;
        t = previous;
        std::fill_n(t.begin(), service_telegram::kCodeOffset, uint8_t{0});
        Writer<n::kSize> w{t};
        w.u8(service_telegram::kCodeOffset, service_code::kConfigDownloadNew);
        w.u8(n::kWriteDate, flag(answers.writeInstallDate));
        w.u16(n::kInstallDate, packedDate(c.installDate));
        w.u8(n::kWriteDashboard, flag(answers.writeDashboard));
        w.u32(n::kDashboard, c.dashboard);
        w.vin(n::kVinLength, n::kVin, c.vin);
        w.u8(n::kHeaterBits, heaterBits(c));
        if (need(c.externalHeater, "cbExternalHeaterSelection") != idx::kHeaterDisabled) {
            w.s8(n::kHeaterUpperLimit, need(c.heaterUpperLimit, "eZovar_TankUpper"));
            w.s8(n::kHeaterLowerLimit, need(c.heaterLowerLimit, "eZovar_TankLower"));
            w.s8(n::kHeaterDefreezeLimit, need(c.heaterDefreezeLimit, "eExtHeaterConfig_Defreeze"));
        } else {
            w.s8(n::kHeaterUpperLimit, c.present.heaterUpperLimit);
            w.s8(n::kHeaterLowerLimit, c.present.heaterLowerLimit);
            w.s8(n::kHeaterDefreezeLimit, c.present.heaterDefreezeLimit);
        }
        const uint8_t ratioSelection =
            need(c.conversionRatioSelection, "cbConversionRatioSelection");
        if (ratioSelection != idx::kConversionRatioDisabled) {
            w.u16(n::kConversionRatioReduced,
                  need(c.conversionRatioReduced, "eZovar_ConversionRatioReduced"));
            w.u16(n::kConversionRatioThreshold,
                  need(c.conversionRatioThreshold, "eZovar_ConversionRatioThreshold"));
            w.u8(n::kAveragingPeriod,
                 need(c.averagingPeriod, "eZovar_ConversionRatioAvaragePeriod"));
        } else {
            w.u16(n::kConversionRatioReduced, c.present.conversionRatioReduced);
            w.u16(n::kConversionRatioThreshold, c.present.conversionRatioThreshold);
            w.u8(n::kAveragingPeriod, c.present.averagingPeriod);
        }
        w.u8(n::kBlockedNozzleRestart, c.blockedNozzleRestart);
        w.u16(n::kConversionGain, c.conversionGain);
        w.u16(n::kCatalystVolume, c.catalystVolume);
        w.u16(n::kCatalystLength, c.catalystLength);
        if (c.mafFactorEnabled) {
            w.u16(n::kMafFactor, need(c.mafFactor, "eZovar_MafFactor"));
        } else {
            w.u16(n::kMafFactor, c.present.mafFactor);
        }
        w.u8(n::kEcmCanAddress, need(c.ecmCanAddress, "eECMcanAdrConfiguration"));
        w.u16(n::kMinimumMaf, need(c.minimumMaf, "eMAFatIdleSpeed"));
        const uint8_t levelSetup = need(c.levelSensor, "cbUreaTankLevelSensorSetup");
        if (levelSetup == idx::kLevelSensorAnalogue) {
            w.u16(n::kLevelLowLimit, need(c.levelLowCount, "eLevelSensor_LowLimit_NewValue"));
            w.u16(n::kLevelEmptyLimit, need(c.levelEmptyCount, "eLevelSensor_EmptyLimit_NewValue"));
        } else {
            w.u16(n::kLevelLowLimit, c.present.levelLowCount);
            w.u16(n::kLevelEmptyLimit, c.present.levelEmptyCount);
        }
        w.u8(n::kLevelSensorSetup, levelSetup);
        w.u8(n::kTlOutputSetup, need(c.tlOutput, "cbTLoutputSetup"));
        w.u8(n::kPurgeSequencesMinus1, need(c.purgeSequencesMinus1, "eNoOfRepAtPurge_Value"));
        w.u8(n::kValveOpenTime, need(c.valveOpenTime, "eValveOpenTimeAtPurge_Value"));
        w.u8(n::kValveCloseTime, need(c.valveCloseTime, "eValveCloseTimeAtPurge_Value"));
        const uint8_t uds = need(c.udsSurveillance, "cbUDSsurveillanceAtPin32");
        uint8_t selections = 0;
        selections |=
            need(c.downstreamNox, "cbDownstreamNOxSelection") ? p216::kDownstreamNoxBit : 0;
        selections |= (uds & 0x01) ? p216::kUdsLowBit : 0;
        selections |= need(c.mafSignal, "cbMAFsignalSetup") ? p216::kMafSignalBit : 0;
        selections |= ratioSelection ? p216::kConversionRatioBit : 0;
        selections |=
            need(c.repeatingPrime, "cbRepeatingPrimeSeq_NewValue") ? p216::kRepeatingPrimeBit : 0;
        selections |= static_cast<uint8_t>(
            (need(c.ureaTankTempSensor, "cbUreaTankTempSetup") & p216::kTwoBitMask)
            << p216::kUreaTankTempShift);
        selections |= (uds & 0x02) ? p216::kUdsHighBit : 0;
        w.u8(n::kSelections, selections);
        uint8_t selections2 =
            static_cast<uint8_t>((need(c.engineSpeed, "cbEngineSpeedSetup") & p216::kTwoBitMask)
                                 << p216::kEngineSpeedShift);
        if (c.ureaTankSettings) {
            selections2 |= static_cast<uint8_t>(
                (need(c.ureaTankTemperatureObd, "cbUreaTankTemperatureOBD") & p216::kTwoBitMask)
                << p216::kUreaTankTempObdShift);
        }
        w.u8(n::kSelections2, selections2);
        w.u16(n::kIdleThresholdCount, idleThresholdCount(c));
        w.u16(n::kSpeedSignalDivider, need(c.divider, "eAlt2EngineSpeedSignalRatio"));

        if (c.ureaLimitWrites) {
            out.parameterWrites.push_back(ureaLimits(pid::kUreaTankHighLimits, c.ureaHighStop,
                                                     c.ureaHighRestart, "eUreaTankMaxStop",
                                                     "eUreaTankMaxRestart"));
            out.parameterWrites.push_back(ureaLimits(pid::kUreaTankLowLimits, c.ureaLowStop,
                                                     c.ureaLowRestart, "eUreaTankMinStop",
                                                     "eUreaTankMinRestart"));
            out.bookkeeping =
                DownloadBookkeeping{static_cast<uint8_t>(pid::kUreaTankLowLimits), false};
        }
        return out;
    } catch (const Missing& m) {
        return m.refusal;
    }
}

std::variant<DownloadRefusal, ParameterSequence> buildParameterSequence(
    const InstallerConfiguration& c, const OverwriteAnswers& answers) {
    using W = ParameterTelegram;
    try {
        ParameterSequence out;
        auto& q = out.telegrams;
        auto add = [&](const W& telegram) { q.push_back(telegram.bytes()); };
        // A setting with any of its values present must have them all; one with none is left out.
        auto anyPresent = [](std::initializer_list<bool> present) {
            return std::any_of(present.begin(), present.end(), [](bool p) { return p; });
        };

        // 1. The VIN, a character at a time.
        const auto vinLength = static_cast<uint8_t>(std::min(c.vin.size(), kMaxVinLength));
        for (uint8_t p = 0; p < vinLength; ++p) {
            add(W::write(pid::kVin)
                    .u8(pt::kVinPosition, p)
                    .u8(pt::kVinCharacter, static_cast<uint8_t>(c.vin[p]))
                    .u8(pt::kVinLength, vinLength));
        }
        // 2., 3. Date and dashboard, unless the operator kept the pump's.
        if (answers.writeInstallDate) {
            add(W::write(pid::kInstallDate).u16(pt::kDate, packedDate(c.installDate)));
        }
        if (answers.writeDashboard) {
            add(W::write(pid::kDashboard).u32(pt::kLong, c.dashboard));
        }
        // 4.
        add(W::write(pid::kBlockedNozzleRestart).u8(pt::kByte, c.blockedNozzleRestart));
        // 5., 6. The external heater and its limits.
        add(W::write(pid::kHeaterSelection).u8(pt::kHeaterBits, heaterBits(c)));
        if (need(c.externalHeater, "cbExternalHeaterSelection") != idx::kHeaterDisabled) {
            add(W::write(pid::kHeaterLimits)
                    .s8(pt::kHeaterUpperLimit, need(c.heaterUpperLimit, "eZovar_TankUpper"))
                    .s8(pt::kHeaterLowerLimit, need(c.heaterLowerLimit, "eZovar_TankLower"))
                    .s8(pt::kHeaterDefreezeLimit,
                        need(c.heaterDefreezeLimit, "eExtHeaterConfig_Defreeze")));
        }
        // 7.
        add(W::write(pid::kCatalystVolume).u16(pt::kWord, c.catalystVolume));
        add(W::write(pid::kCatalystLength).u16(pt::kWord, c.catalystLength));
        add(W::write(pid::kConversionGain).u16(pt::kWord, c.conversionGain));
        // 8., 9. The conversion ratio.
        if (c.conversionRatioSelection) {
            add(W::write(pid::kConversionRatioSelection)
                    .u8(pt::kIndex, *c.conversionRatioSelection));
        }
        if (c.conversionRatioSelection.value_or(idx::kNone) != idx::kConversionRatioDisabled &&
            anyPresent({c.conversionRatioReduced.has_value(),
                        c.conversionRatioThreshold.has_value(), c.averagingPeriod.has_value()})) {
            add(W::write(pid::kConversionRatio)
                    .u16(pt::kConversionRatioReduced,
                         need(c.conversionRatioReduced, "eZovar_ConversionRatioReduced"))
                    .u16(pt::kConversionRatioThreshold,
                         need(c.conversionRatioThreshold, "eZovar_ConversionRatioThreshold"))
                    .u8(pt::kAveragingPeriod,
                        need(c.averagingPeriod, "eZovar_ConversionRatioAvaragePeriod")));
        }
        // 10.
        if (c.tlOutput) {
            add(W::write(pid::kTlOutputSetup).u8(pt::kIndex, *c.tlOutput));
        }
        if (c.engineSpeed) {
            add(W::write(pid::kEngineSpeedSetup).u8(pt::kIndex, *c.engineSpeed));
        }
        if (c.minimumMaf) {
            add(W::write(pid::kMinimumMaf).u16(pt::kWord, *c.minimumMaf));
        }
        // 11. The idle threshold needs the divider it is counted in.
        if (c.idleThresholdRpm) {
            add(W::write(pid::kIdleThreshold).u16(pt::kWord, idleThresholdCount(c)));
        }
        if (c.divider) {
            add(W::write(pid::kSpeedSignalDivider).u16(pt::kWord, *c.divider));
        }
        // 12.
        if (c.mafSignal) {
            add(W::write(pid::kMafSignal).u8(pt::kIndex, *c.mafSignal));
        }
        if (c.mafFactorEnabled) {
            add(W::write(pid::kMafFactor).u16(pt::kWord, need(c.mafFactor, "eZovar_MafFactor")));
        }
        // 13.
        if (c.ecmCanAddress) {
            add(W::write(pid::kEcmCanAddress).u8(pt::kByte, *c.ecmCanAddress));
        }
        if (c.udsSurveillance) {
            add(W::write(pid::kUdsSurveillance)
                    .u8(pt::kUdsEnable, *c.udsSurveillance & 0x01)
                    .u8(pt::kUdsObdOnly, (*c.udsSurveillance >> 1) & 0x01));
        }
        if (c.downstreamNox) {
            add(W::write(pid::kDownstreamNox).u8(pt::kIndex, *c.downstreamNox));
        }
        if (c.ureaTankTempSensor) {
            add(W::write(pid::kUreaTankTempSetup).u8(pt::kIndex, *c.ureaTankTempSensor));
        }
        // 14. The level sensor: new limits for an analogue sensor, otherwise the pump's own.
        if (c.levelSensor) {
            const bool analogue = *c.levelSensor == idx::kLevelSensorAnalogue;
            const uint16_t low = analogue
                                     ? need(c.levelLowCount, "eLevelSensor_LowLimit_NewValue")
                                     : need(c.present.levelLowCount, "lLevelSensor_LowLimit_Value");
            const uint16_t empty =
                analogue ? need(c.levelEmptyCount, "eLevelSensor_EmptyLimit_NewValue")
                         : need(c.present.levelEmptyCount, "lLevelSensor_EmptyLimit_Value");
            add(W::write(pid::kLevelSensor)
                    .u8(pt::kLevelSensorSetup, *c.levelSensor)
                    .u16(pt::kLevelLowLimit, low)
                    .u16(pt::kLevelEmptyLimit, empty));
        }
        // 15.
        if (c.repeatingPrime) {
            add(W::write(pid::kRepeatingPrime).u8(pt::kIndex, *c.repeatingPrime));
        }
        if (anyPresent({c.valveOpenTime.has_value(), c.valveCloseTime.has_value(),
                        c.purgeSequencesMinus1.has_value()})) {
            add(W::write(pid::kPurge)
                    .u8(pt::kValveOpenTime, need(c.valveOpenTime, "eValveOpenTimeAtPurge_Value"))
                    .u8(pt::kValveCloseTime, need(c.valveCloseTime, "eValveCloseTimeAtPurge_Value"))
                    .u8(pt::kPurgeSequencesMinus1,
                        need(c.purgeSequencesMinus1, "eNoOfRepAtPurge_Value")));
        }
        // 16., 17. The urea tank temperature OBD and its limits.
        if (!c.ureaTankSettings) {
            add(W::write(pid::kUreaTankTempObd).u8(pt::kIndex, 0));
        } else if (c.ureaTankTemperatureObd) {
            add(W::write(pid::kUreaTankTempObd).u8(pt::kIndex, *c.ureaTankTemperatureObd));
        }
        if (c.ureaLimitWrites) {
            q.push_back(ureaLimits(pid::kUreaTankHighLimits, c.ureaHighStop, c.ureaHighRestart,
                                   "eUreaTankMaxStop", "eUreaTankMaxRestart"));
            q.push_back(ureaLimits(pid::kUreaTankLowLimits, c.ureaLowStop, c.ureaLowRestart,
                                   "eUreaTankMinStop", "eUreaTankMinRestart"));
        }
        out.bookkeeping = DownloadBookkeeping{static_cast<uint8_t>(parameterIdOf(q.back())), false};
        return out;
    } catch (const Missing& m) {
        return m.refusal;
    }
}

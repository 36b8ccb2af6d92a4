#include "pump/status_pages.h"
#include "pump/body_reader.h"

#include <algorithm>
#include <charconv>
#include <ctime>

#include "pump/installer_controls.h"
#include "pump/installer_values.h"
#include "pump/service_telegram.h"
#include "pump/text_tables.h"

using namespace status_page;
namespace tt = text_tables;

const char* toString(ReadoutWindow window) {
    switch (window) {
        case ReadoutWindow::Main:
            return "Main";
        case ReadoutWindow::Installer:
            return "Installer";
        case ReadoutWindow::ServiceTest:
            return "ServiceTest";
        case ReadoutWindow::UserCalibration:
            return "UserCalibration";
        case ReadoutWindow::ErrorLog:
            return "ErrorLog";
    }
    return "?";
}

namespace {

constexpr const char* kNotAvailable = "NA";
constexpr const char* kUnknownText = "?";
constexpr const char* kCircuitBreakerText = "Circuit Breaker";
// Without the installer's divider the alternator frequency converts at the pump's default ratio.
constexpr double kDefaultEngineSpeedRatio = 3.367;

}  // namespace

void PumpLiveValues::apply(const Page203Result& page) {
    if (page.factoryCalibration) {
        factoryCalibration = *page.factoryCalibration;
    }
}

void PumpLiveValues::apply(const Page204Result& page) {
    if (page.externalHeaterPresent) {
        externalHeaterPresent = *page.externalHeaterPresent;
    }
    if (page.pumpLevelSensorSetup) {
        pumpLevelSensorSetup = *page.pumpLevelSensorSetup;
    }
    if (page.pumpTlOutputSetup) {
        pumpTlOutputSetup = *page.pumpTlOutputSetup;
    }
    if (page.initialHeaterSelection) {
        heaterSelectionArmed = false;
    }
}

void PumpLiveValues::apply(const Page211Result& page) {
    if (page.averageMaf) {
        averageMaf = *page.averageMaf;
    }
}

InstallerView applyVisibility(InstallerView view, const Page204Result& page) {
    for (const WidgetFlag& flag : page.visibility) {
        const std::string_view name = flag.objectName;
        if (name == "gbExtendedConfig") {
            view.extendedConfigVisible = flag.on;
        } else if (name == "gbMonitorExtHeaters") {
            view.monitorExtHeatersVisible = flag.on;
        }
    }
    return view;
}

// --- Page 203: identity and calibration ---

Page203Result decodePage203(std::span<const uint8_t> body, const InstallerView& installer,
                            const DisplayFormat& format) {
    using namespace page203;
    const BodyReader r(body, kPage203Size);
    Page203Result out;
    out.complete = r.complete();
    auto& t = out.texts;

    if (auto v = r.u16(kFactoryCalibration)) {
        t.push_back({ReadoutWindow::Main, "lFactoryCalibml", formatUnsigned(*v)});
        out.factoryCalibration = *v;
    }
    std::optional<std::string> gain, mafFactor, volume, length;
    if (auto v = r.u16(kConversionGain)) {
        gain = formatFixed(*v * 0.0001, 2, format);
        t.push_back({ReadoutWindow::Main, "lConversionGain", *gain});
    }
    if (auto v = r.u16(kMafFactor)) {
        mafFactor = formatUnsigned(*v);
        t.push_back({ReadoutWindow::Main, "lMafFactor", *mafFactor});
    }
    if (auto v = r.u16(kCatalystVolume)) {
        volume = formatGeneral(*v * 0.1, format);
        t.push_back({ReadoutWindow::Main, "lCatalystVolume", *volume});
    }
    if (auto v = r.u16(kCatalystLength)) {
        length = formatGeneral(*v * 0.1, format);
        t.push_back({ReadoutWindow::Main, "lCatalystLength", *length});
    }
    if (auto v = r.s8(kTankLowerLimit)) {
        t.push_back({ReadoutWindow::Installer, "lTankLowerLimit", formatSigned(*v)});
    }
    if (auto v = r.s8(kTankUpperLimit)) {
        t.push_back({ReadoutWindow::Installer, "lTankUpperLimit", formatSigned(*v)});
    }
    if (auto v = r.s8(kDefreezeLimit)) {
        t.push_back({ReadoutWindow::Installer, "lExtHeater_DefreezeLimit_Value", formatSigned(*v)});
    }
    if (auto v = r.u16(kProductionDate)) {
        t.push_back({ReadoutWindow::Main, "lProductionYear",
                     formatSigned(kDateBaseYear + (*v & kDateYearMask))});
        t.push_back({ReadoutWindow::Main, "lProductionWeek",
                     formatUnsigned((*v >> kProductionWeekShift) & kProductionWeekMask)});
    }
    if (auto v = r.u32(kSerialNumber)) {
        t.push_back({ReadoutWindow::Main, "lSerial", formatUnsigned(*v)});
        t.push_back({ReadoutWindow::ErrorLog, "lSerial", formatUnsigned(*v)});
    }
    auto high = r.u16(kTypeNumberHigh);
    auto low = r.u16(kTypeNumberLow);
    if (high && low) {
        t.push_back({ReadoutWindow::Main, "lPONumber",
                     formatZeroPadded(*high, 4) + formatZeroPadded(*low, 4)});
    }
    if (auto v = r.u8(kPumpSize)) {
        t.push_back({ReadoutWindow::Main, "lPumpSize", tt::pumpSizeText(*v)});
    }
    if (auto v = r.u16(kMinimumMafRunning)) {
        t.push_back({ReadoutWindow::Installer, "lMAFatIdleSpeed", formatSigned(*v)});
        if (!installer.extendedConfigVisible) {
            out.edits.push_back({ReadoutWindow::Installer, "eMAFatIdleSpeed", formatSigned(*v)});
        }
    }
    // The installer shows the same calibration figures beside its own entry fields.
    if (mafFactor) {
        t.push_back({ReadoutWindow::Installer, "lMafFactor", *mafFactor});
    }
    if (volume) {
        t.push_back({ReadoutWindow::Installer, "lCatalystVolume", *volume});
    }
    if (length) {
        t.push_back({ReadoutWindow::Installer, "lCatalystLength", *length});
    }
    if (gain) {
        t.push_back({ReadoutWindow::Installer, "lConversionGain", *gain});
    }
    return out;
}

// --- Page 204: installation, application type and software version ---

Page204Result decodePage204(std::span<const uint8_t> body, const InstallerView& installer,
                            bool heaterSelectionArmed, const DisplayFormat& format) {
    using namespace page204;
    const BodyReader r(body, kPage204Size);
    Page204Result out;
    out.complete = r.complete();
    auto& t = out.texts;

    if (auto v = r.u16(kUserCalibration)) {
        t.push_back({ReadoutWindow::Main, "lUserCalibration", formatUnsigned(*v)});
        t.push_back({ReadoutWindow::UserCalibration, "lUserCalibration", formatUnsigned(*v)});
    }
    const auto ecmAddress = r.u8(kEcmCanAddress);
    if (ecmAddress) {
        t.push_back(
            {ReadoutWindow::Installer, "lECMcanAdrConfiguration", formatSigned(*ecmAddress)});
    }
    if (auto v = r.u8(kApplicationType)) {
        t.push_back({ReadoutWindow::Main, "lApplicationType", tt::applicationTypeText(*v)});
    }

    // The software version decides which installer settings this pump understands.
    InstallerView after = installer;
    auto major = r.u8(kSoftwareMajor);
    auto minor = r.u8(kSoftwareMinor);
    if (major && minor) {
        const PumpSoftwareVersion version{*major, *minor};
        out.pumpSoftwareVersion = version;
        t.push_back({ReadoutWindow::Main, "lSWRev", formatSoftwareVersion(*major, *minor)});
        if (version.oldConfigurationLayout()) {
            for (const char* name : {"gbExtendedConfig", "tsMIconfig", "tsDM1config",
                                     "pUreaTankTemperatureSettings", "gbMonitorExtHeaters"}) {
                out.visibility.push_back({name, false});
            }
        } else if (installer.accessLevel == kAccessLevelExtended) {
            const bool ureaTank = version.combined() > 8;
            out.visibility.push_back({"gbExtendedConfig", true});
            out.visibility.push_back({"tsMIconfig", true});
            out.visibility.push_back({"tsDM1config", true});
            out.enabled.push_back({"cbExternalHeaterSelection", true});
            out.visibility.push_back({"pUreaTankTemperatureSettings", ureaTank});
            out.visibility.push_back({"gbMonitorExtHeaters", ureaTank});
        }
        after = applyVisibility(installer, out);
    }

    if (auto v = r.u32(kDashboardOdometer)) {
        const bool known = *v <= kDashboardOdometerMax;
        t.push_back(
            {ReadoutWindow::Installer, "lDashboard", known ? formatUnsigned(*v) : kNotAvailable});
        out.dashboardKnown = known;
    }

    const auto heaterBits = r.u8(kHeaterBits);
    if (heaterBits) {
        out.externalHeaterPresent = (*heaterBits & kExternalHeaterBit) != 0;
    }
    if (auto v = r.u8(kBlockedNozzleRestart)) {
        t.push_back({ReadoutWindow::Installer, "lBlockedNozzleSetupRestart", formatSigned(*v)});
    }
    if (heaterBits) {
        const int external = (*heaterBits & kExternalHeaterBit) ? 1 : 0;
        out.comboItems.push_back({ReadoutWindow::Installer, "lExternalHeaterSelection",
                                  "cbExternalHeaterSelection", external});
        if (after.monitorExtHeatersVisible) {
            out.comboItems.push_back({ReadoutWindow::Installer, "lMonitorTankHeater",
                                      "cbMonitorTankHeater",
                                      (*heaterBits & kMonitorTankHeaterBit) ? 1 : 0});
            out.comboItems.push_back({ReadoutWindow::Installer, "lMonitorLineHeater",
                                      "cbMonitorLineHeater",
                                      (*heaterBits & kMonitorLineHeaterBit) ? 1 : 0});
        }
        out.comboItems.push_back(
            {ReadoutWindow::Main, "lHeaterAlgorithm", "cbExternalHeaterSelection", external});
        if (heaterSelectionArmed) {
            out.enabled.push_back({"cbExternalHeaterSelection", false});
            out.initialHeaterSelection = external;
        }
    }

    // A setting the pump reports past the items of its combo box shows its raw value; the label
    // never takes an item the pump does not hold.
    auto selectionText = [&](const char* label, const char* combo, uint8_t index) {
        if (holdsItem(combo, index)) {
            out.comboItems.push_back({ReadoutWindow::Installer, label, combo, index});
        } else {
            t.push_back({ReadoutWindow::Installer, label, comboItemText(combo, index)});
        }
    };
    const auto levelSetup = r.u8(kLevelSensorSetup);
    if (levelSetup) {
        selectionText("lUreaTankLevelSensorSetup", "cbUreaTankLevelSensorSetup", *levelSetup);
        out.pumpLevelSensorSetup = *levelSetup;
    }
    // An open input (count 1023) has no resistance to show.
    auto limitText = [](uint16_t count) {
        const auto ohm = levelLimitOhm(count);
        return ohm ? formatSigned(*ohm) : std::string(kUnknownText);
    };
    std::optional<std::string> lowLimit, emptyLimit;
    if (auto v = r.u16(kLevelLowLimit)) {
        lowLimit = limitText(*v);
        t.push_back({ReadoutWindow::Installer, "lLevelSensor_LowLimit_Value", *lowLimit});
    }
    if (auto v = r.u16(kLevelEmptyLimit)) {
        emptyLimit = limitText(*v);
        t.push_back({ReadoutWindow::Installer, "lLevelSensor_EmptyLimit_Value", *emptyLimit});
    }

    const auto tlSetup = r.u8(kTlOutputSetup);
    if (tlSetup) {
        if (*tlSetup == kTlCircuitBreaker) {
            t.push_back({ReadoutWindow::Installer, "lTLoutputSetup", kCircuitBreakerText});
        } else {
            selectionText("lTLoutputSetup", "cbTLoutputSetup", *tlSetup);
        }
        out.pumpTlOutputSetup = *tlSetup;
    }

    // Below the extended level the new-value controls start from what the pump holds, so that a
    // download writes the pump's own settings back. A setting past the items is never preset:
    // the combo box is emptied instead, and a download then writes the pump's raw value back
    // rather than a stale selection.
    if (!after.extendedConfigVisible) {
        auto preset = [&](const char* combo, uint8_t index) {
            out.comboSelections.push_back(
                {combo, holdsItem(combo, index) ? int{index} : installer_index::kNone});
        };
        if (tlSetup) {
            preset("cbTLoutputSetup", *tlSetup);
        }
        if (levelSetup) {
            preset("cbUreaTankLevelSensorSetup", *levelSetup);
        }
        if (heaterBits) {
            out.comboSelections.push_back(
                {"cbMonitorTankHeater", (*heaterBits & kMonitorTankHeaterBit) ? 1 : 0});
            out.comboSelections.push_back(
                {"cbMonitorLineHeater", (*heaterBits & kMonitorLineHeaterBit) ? 1 : 0});
        }
        if (lowLimit) {
            out.edits.push_back(
                {ReadoutWindow::Installer, "eLevelSensor_LowLimit_NewValue", *lowLimit});
        }
        if (emptyLimit) {
            out.edits.push_back(
                {ReadoutWindow::Installer, "eLevelSensor_EmptyLimit_NewValue", *emptyLimit});
        }
        if (ecmAddress) {
            out.edits.push_back(
                {ReadoutWindow::Installer, "eECMcanAdrConfiguration", formatSigned(*ecmAddress)});
        }
    }

    if (auto v = r.u16(kInstallDate)) {
        const int year = kDateBaseYear + (*v & kDateYearMask);
        const int month = (*v >> kInstallMonthShift) & kInstallMonthMask;
        const int day = (*v >> kInstallDayShift) & kInstallDayMask;
        const bool valid = month >= 1 && month <= 12 && day >= 1 && day <= daysInMonth(year, month);
        t.push_back({ReadoutWindow::Installer, "lInstallDate",
                     valid ? formatShortDate(year, month, day, format) : kNotAvailable});
        out.installDateKnown = valid;
        if (valid) {
            out.installDate = Page204Result::Date{year, month, day};
        }
    }
    return out;
}

// --- Page 205: flow and pump state ---

Page205Result decodePage205(std::span<const uint8_t> body, const DisplayFormat& format) {
    using namespace page205;
    const BodyReader r(body, kPage205Size);
    Page205Result out;
    out.complete = r.complete();
    if (auto v = r.u32(kFlow)) {
        out.texts.push_back(
            {ReadoutWindow::Main, "lPumpDoseml", formatFixed(*v * 0.01, 2, format)});
    }
    if (auto v = r.u8(kPumpState)) {
        out.texts.push_back({ReadoutWindow::Main, "lPumpState", tt::pumpStateText(*v)});
    }
    return out;
}

// --- Page 206: counters and extremes ---

Page206Result decodePage206(std::span<const uint8_t> body, uint16_t factoryCalibration,
                            const DisplayFormat& format) {
    using namespace page206;
    const BodyReader r(body, kPage206Size);
    Page206Result out;
    out.complete = r.complete();
    auto& t = out.texts;
    auto duration = [&](const char* name, std::size_t hours, std::size_t minutes) {
        auto a = r.u16(hours);
        auto b = r.u8(minutes);
        if (a && b) {
            t.push_back({ReadoutWindow::Main, name, formatDuration(*a, *b)});
        }
    };
    auto flow = [&](const char* name, std::size_t offset) {
        if (auto v = r.u32(offset)) {
            t.push_back({ReadoutWindow::Main, name, formatFixed(*v * 0.01, 2, format)});
        }
    };

    duration("lDosingTime", kDosingTimeHours, kDosingTimeMinutes);
    duration("lRunningHours", kRunningTimeHours, kRunningTimeMinutes);
    if (auto v = r.u32(kPowerOns)) {
        t.push_back({ReadoutWindow::Main, "lPowerOns", formatUnsigned(*v)});
    }
    if (auto v = r.u32(kTotalStrokes)) {
        t.push_back({ReadoutWindow::Main, "lTotalStrokes", formatUnsigned(*v)});
    }
    flow("lMinBusDose", kMinimumFlow);
    flow("lMaxBusDose", kMaximumFlow);
    if (auto v = r.s8(kMaxPcbTemperature)) {
        t.push_back({ReadoutWindow::Main, "lMaxTemp", formatSigned(*v)});
    }
    if (auto v = r.s8(kMinPcbTemperature)) {
        t.push_back({ReadoutWindow::Main, "lMinTemp", formatSigned(*v)});
    }
    if (auto v = r.u32(kDosingCount)) {
        t.push_back(
            {ReadoutWindow::Main, "lDosedUrea", formatDosedUrea(*v, factoryCalibration, format)});
    }
    duration("lOBD_ErrorPeriod", kObdTimeHours, kObdTimeMinutes);
    if (auto v = r.u24(kRemainingMilOnPeriod)) {
        t.push_back({ReadoutWindow::Main, "lRemainingMilOnPeriod", formatUnsigned(*v)});
    }
    if (auto v = r.u8(kRemainingOperationalSequences)) {
        t.push_back({ReadoutWindow::Main, "lRemainingOprationalSequences", formatUnsigned(*v)});
    }
    return out;
}

// --- Page 207: digital inputs and outputs ---

Page207Result decodePage207(std::span<const uint8_t> body) {
    using namespace page207;
    const BodyReader r(body, kPage207Size);
    Page207Result out;
    out.complete = r.complete();
    auto& t = out.texts;
    auto bit = [](uint8_t byte, uint8_t mask) -> unsigned { return (byte & mask) ? 1 : 0; };

    if (auto in = r.u8(kInputs)) {
        t.push_back({ReadoutWindow::Main, "lUreaLowLevel",
                     tt::twoStateText(tt::NotActiveActiveTexts, bit(*in, kUreaLowLevelBit))});
        t.push_back({ReadoutWindow::Main, "lUreaEmptyLevel",
                     tt::twoStateText(tt::NotActiveActiveTexts, bit(*in, kUreaEmptyLevelBit))});
        t.push_back({ReadoutWindow::Main, "lPressureSwitch",
                     tt::twoStateText(tt::ActiveNotActiveTexts, bit(*in, kPressureSwitchBit))});
        t.push_back({ReadoutWindow::Main, "lClip15",
                     tt::twoStateText(tt::NotActiveActiveTexts, bit(*in, kKeySwitchBit))});
        const std::string tank = tt::twoStateText(tt::OffOnTexts, bit(*in, kTankHeaterBit));
        t.push_back({ReadoutWindow::Main, "lTankHeater", tank});
        t.push_back({ReadoutWindow::ServiceTest, "lTankHeater", tank});
        const std::string line = tt::twoStateText(tt::OffOnTexts, bit(*in, kLineHeaterBit));
        t.push_back({ReadoutWindow::Main, "lLineHeater", line});
        t.push_back({ReadoutWindow::ServiceTest, "lLineHeater", line});
        const std::string valve = tt::twoStateText(tt::ClosedOpenTexts, bit(*in, kDosingValveBit));
        t.push_back({ReadoutWindow::Main, "lValveDosing", valve});
        t.push_back({ReadoutWindow::ServiceTest, "lDosingValve", valve});
    }
    if (auto lamps = r.u8(kLamps)) {
        const std::string mil = tt::twoStateText(tt::OffOnTexts, bit(*lamps, kMilLampBit));
        t.push_back({ReadoutWindow::Main, "lMilLamp", mil});
        t.push_back({ReadoutWindow::ServiceTest, "lLamp3Conf", mil});
        const std::string urea = tt::twoStateText(tt::OffOnTexts, bit(*lamps, kUreaLampBit));
        t.push_back({ReadoutWindow::Main, "lUreaLamp", urea});
        t.push_back({ReadoutWindow::ServiceTest, "lLamp4Conf", urea});
        t.push_back({ReadoutWindow::Main, "lZovarUreaLampState",
                     tt::twoStateText(tt::OffOnTexts, bit(*lamps, kLamp3Bit))});
        t.push_back({ReadoutWindow::Main, "lZovarMiLampState",
                     tt::twoStateText(tt::OffOnTexts, bit(*lamps, kLamp4Bit))});
        t.push_back({ReadoutWindow::Main, "lTorqueValveState",
                     tt::twoStateText(tt::InactiveActiveTexts, bit(*lamps, kTorqueLimiterBit))});
    }
    if (auto mode = r.u8(kTestMode)) {
        out.testModeLevel = static_cast<uint8_t>((*mode >> kTestModeShift) & kTwoBitMask);
    }
    if (auto states = r.u8(kStates)) {
        t.push_back(
            {ReadoutWindow::Main, "lIntHeatingControl",
             tt::twoStateText(tt::OffOnTexts, (*states >> kInternalHeaterShift) & kTwoBitMask)});
        out.obdStates.push_back(
            {kPurgeObdRow, tt::twoStateText(tt::ReadinessTexts,
                                            (*states >> kPurgeReadinessShift) & kTwoBitMask)});
    }
    return out;
}

// --- Page 211: analog values and alarm ---

Page211Result decodePage211(std::span<const uint8_t> body, double averageMaf,
                            const InstallerView& installer, const DisplayFormat& format) {
    using namespace page211;
    const BodyReader r(body, kPage211Size);
    Page211Result out;
    out.complete = r.complete();
    auto& t = out.texts;

    if (auto v = r.u16(kMaf)) {
        t.push_back({ReadoutWindow::Main, "lMafSensorKg", formatUnsigned(*v)});
        const double average = averageMaf == 0.0 ? *v : 0.3 * *v + 0.7 * averageMaf;
        out.averageMaf = average;
        t.push_back({ReadoutWindow::Main, "lAverageMafSensorKg", formatFixed(average, 0, format)});
    }
    if (auto v = r.u16(kConversionRatio)) {
        t.push_back(
            {ReadoutWindow::Main, "lConversionRatioCalculated", formatFixed(*v * 0.01, 2, format)});
    }
    if (auto v = r.s16(kTheoreticalNox)) {
        t.push_back({ReadoutWindow::Main, "lNoxt", formatSigned(*v)});
    }
    if (auto v = r.u16(kAlternatorFrequency)) {
        t.push_back({ReadoutWindow::Main, "lAlternatorInputFrequency", formatUnsigned(*v)});
        std::string speed = kUnknownText;
        if (installer.extendedConfigVisible) {
            // The installer's divider; a divider of 0 has no speed to show.
            if (auto divider = parseInteger(installer.alt2EngineSpeedSignalRatio);
                divider && *divider != 0) {
                speed = formatFixed(1000.0 / *divider * *v, 1, format);
            }
        } else {
            speed = formatFixed(*v * kDefaultEngineSpeedRatio, 1, format);
        }
        t.push_back({ReadoutWindow::Main, "lEngineSpeed", speed});
    }
    if (auto v = r.u16(kLevelSensor)) {
        t.push_back(
            {ReadoutWindow::Main, "lLevelSensorValue", formatLevelSensorResistance(*v, format)});
    }
    if (auto v = r.s8(kUreaTankTemperature)) {
        t.push_back({ReadoutWindow::Main, "lUreaTankTempValue", formatSigned(*v)});
    }
    if (auto v = r.s8(kPcbTemperature)) {
        t.push_back({ReadoutWindow::Main, "lTempPCBDeg", formatSigned(*v)});
    }
    if (auto v = r.s16(kPumpHeadTemperature)) {
        t.push_back(
            {ReadoutWindow::Main, "lTempAmbientDeg", formatLeftJustified(*v * 0.1, 5, 1, format)});
    }
    if (auto v = r.s16(kCatalystInTemperature)) {
        t.push_back({ReadoutWindow::Main, "lTempCatInDeg", formatSigned(*v)});
    }
    if (auto v = r.s16(kCatalystOutTemperature)) {
        t.push_back({ReadoutWindow::Main, "lTempCatOutDeg", formatSigned(*v)});
    }
    if (auto v = r.u8(kBatteryVoltage)) {
        t.push_back({ReadoutWindow::Main, "lBatteryVoltageV",
                     formatLeftJustified(*v * 0.25, 5, 2, format)});
    }
    if (auto v = r.u8(kAlarmCode)) {
        t.push_back({ReadoutWindow::Main, "lAlarmCode", tt::alarmCodeText(*v)});
    }
    auto first = r.u16(kTorqueLimiterCountdown1);
    auto second = r.u16(kTorqueLimiterCountdown2);
    if (first && second) {
        out.torqueLimiterCountdowns = std::make_pair(*first, *second);
    }
    return out;
}

// --- Single pages and reply 200 ---

std::optional<PageSlice> statusPageOf(const ServiceTelegramView& telegram) {
    const uint8_t code = telegram.code();
    const std::size_t size = pageSize(code);
    if (size == 0) {
        return std::nullopt;
    }
    const auto body = telegram.body();
    const std::size_t held = std::min(body.size(), size);
    return PageSlice{code, body.first(held), held == size};
}

std::array<PageSlice, 12> splitAllPages(std::span<const uint8_t> telegram) {
    std::array<PageSlice, 12> pages{};
    const std::size_t available = std::min(telegram.size(), kAllPagesTelegramSize);
    for (std::size_t i = 0; i < kAllPagesLayout.size(); ++i) {
        const AllPagesEntry& entry = kAllPagesLayout[i];
        pages[i].code = entry.code;
        if (entry.telegramOffset >= available) {
            continue;
        }
        const std::size_t size = std::min(entry.size, available - entry.telegramOffset);
        pages[i].body = telegram.subspan(entry.telegramOffset, size);
        pages[i].complete = size == entry.size;
    }
    return pages;
}

AllPagesResult decodeAllPages(std::span<const uint8_t> telegram, const PumpLiveValues& values,
                              const InstallerView& installer, const DisplayFormat& format) {
    AllPagesResult out;
    out.pages = splitAllPages(telegram);
    out.values = values;
    out.installer = installer;
    for (const PageSlice& page : out.pages) {
        switch (page.code) {
            case service_code::kPage203:
                out.page203 = decodePage203(page.body, out.installer, format);
                out.values.apply(out.page203);
                break;
            case service_code::kPage204:
                out.page204 = decodePage204(page.body, out.installer,
                                            out.values.heaterSelectionArmed, format);
                out.values.apply(out.page204);
                out.installer = applyVisibility(out.installer, out.page204);
                break;
            case service_code::kPage205:
                out.page205 = decodePage205(page.body, format);
                break;
            case service_code::kPage206:
                out.page206 = decodePage206(page.body, out.values.factoryCalibration, format);
                break;
            case service_code::kPage207:
                out.page207 = decodePage207(page.body);
                break;
            case service_code::kPage211:
                out.page211 =
                    decodePage211(page.body, out.values.averageMaf, out.installer, format);
                out.values.apply(out.page211);
                break;
            default:
                break;  // the other read-outs take these bodies from `pages`
        }
    }
    return out;
}

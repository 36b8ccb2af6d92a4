#include "pump/snapshot.h"

#include <algorithm>
#include <span>
#include <string_view>

#include "pump/service_telegram.h"

using namespace snapshot;

namespace {

enum class Condition { Always, Extended, UreaTank };
enum class Width { Signed8, Unsigned8, Unsigned16 };

// One record field that holds the number a read-back label shows, and the entry field a load
// writes it into.
struct LabelField {
    std::size_t offset;
    Width width;
    int scale;         // the record holds the label's number x 10^scale
    int loadDecimals;  // the fewest decimals the entry text shows
    std::string SnapshotSource::*text;
    const char* labelName;
    const char* editName;
    const char* caption;  // as the installer window names the setting
    Condition condition;
};

using S = SnapshotSource;
constexpr Width kS8 = Width::Signed8;
constexpr Width kU8 = Width::Unsigned8;
constexpr Width kU16 = Width::Unsigned16;

// The scalings are those of the read-back labels: ratios in 0.01, the gain in 0.0001, catalyst
// volume and length in 0.1. The gain keeps all four decimals when loaded, so a value of 1.2345
// goes back to a pump as 12345 and not as 12300.
const LabelField kLabelFields[] = {
    {kTankUpperLimit, kS8, 0, 0, &S::tankUpperLimit, "lTankUpperLimit", "eZovar_TankUpper",
     "Ext. heater upper limit [C]", Condition::Always},
    {kTankLowerLimit, kS8, 0, 0, &S::tankLowerLimit, "lTankLowerLimit", "eZovar_TankLower",
     "Ext. heater lower limit [C]", Condition::Always},
    {kDefreezeLimit, kS8, 0, 0, &S::defreezeLimit, "lExtHeater_DefreezeLimit_Value",
     "eExtHeaterConfig_Defreeze", "Ext. heater defreeze limit [C]", Condition::Always},
    {kConversionRatioReduced, kU16, 2, 2, &S::conversionRatioReduced, "lConversionRatioReduced",
     "eZovar_ConversionRatioReduced", "Conversion ratio reduced", Condition::Always},
    {kConversionRatioThreshold, kU16, 2, 2, &S::conversionRatioThreshold,
     "lConversionRatioThreshold", "eZovar_ConversionRatioThreshold", "Conversion ratio threshold",
     Condition::Always},
    {kConversionRatioPeriod, kU8, 0, 0, &S::conversionRatioAveragePeriod,
     "lConversionRatioAvaragePeriod", "eZovar_ConversionRatioAvaragePeriod",
     "Conversion ratio averaging period [min]", Condition::Always},
    {kBlockedNozzleRestart, kU8, 0, 0, &S::blockedNozzleRestart, "lBlockedNozzleSetupRestart",
     "eZovar_BlockedNozzleSetupRestart", "Blocked nozzle restart [min]", Condition::Always},
    {kConversionGain, kU16, 4, 2, &S::conversionGain, "lConversionGain", "eZovar_ConversionGain",
     "Conversion gain", Condition::Always},
    {kCatalystVolume, kU16, 1, 1, &S::catalystVolume, "lCatalystVolume", "eZovar_CatalystVolume",
     "Catalyst volume [l]", Condition::Always},
    {kCatalystLength, kU16, 1, 1, &S::catalystLength, "lCatalystLength", "eZovar_CatalystLength",
     "Catalyst length [mm]", Condition::Always},
    {kMafFactor, kU16, 0, 0, &S::mafFactor, "lMafFactor", "eZovar_MafFactor", "MAF factor",
     Condition::Always},
    {kEcmCanAddress, kU8, 0, 0, &S::ecmCanAddress, "lECMcanAdrConfiguration",
     "eECMcanAdrConfiguration", "ECM CAN address", Condition::Extended},
    {kMafAtIdleSpeed, kU16, 0, 0, &S::mafAtIdleSpeed, "lMAFatIdleSpeed", "eMAFatIdleSpeed",
     "Minimum MAF @ engine running [kg/h]", Condition::Extended},
    {kLevelLowLimit, kU16, 0, 0, &S::levelSensorLowLimit, "lLevelSensor_LowLimit_Value",
     "eLevelSensor_LowLimit_NewValue", "Level sensor low limit [ohm]", Condition::Extended},
    {kLevelEmptyLimit, kU16, 0, 0, &S::levelSensorEmptyLimit, "lLevelSensor_EmptyLimit_Value",
     "eLevelSensor_EmptyLimit_NewValue", "Level sensor empty limit [ohm]", Condition::Extended},
    {kUreaTankMaxStop, kS8, 0, 0, &S::ureaTankMaxStop, "lUreaTankMaxStop", "eUreaTankMaxStop",
     "High stop temperature", Condition::UreaTank},
    {kUreaTankMaxRestart, kS8, 0, 0, &S::ureaTankMaxRestart, "lUreaTankMaxRestart",
     "eUreaTankMaxRestart", "High restart temperature", Condition::UreaTank},
    {kUreaTankMinStop, kS8, 0, 0, &S::ureaTankMinStop, "lUreaTankMinStop", "eUreaTankMinStop",
     "Low stop temperature", Condition::UreaTank},
    {kUreaTankMinRestart, kS8, 0, 0, &S::ureaTankMinRestart, "lUreaTankMinRestart",
     "eUreaTankMinRestart", "Low restart temperature", Condition::UreaTank},
};

// The selection boxes a load sets from the installer settings block, with their item counts.
constexpr int kEngineSpeedItems = 3;      // `cbEngineSpeedSetup`
constexpr int kUdsSurveillanceItems = 3;  // `cbUDSsurveillanceAtPin32`
constexpr int kUreaTankTempItems = 3;     // `cbUreaTankTempSetup`
constexpr int kUreaTankTempObdItems = 2;  // `cbUreaTankTemperatureOBD`
constexpr int kLevelSensorItems = 3;      // `cbUreaTankLevelSensorSetup`
constexpr int kTlOutputItems = 2;         // `cbTLoutputSetup`
constexpr int kTwoItems = 2;              // the heater and monitor boxes

int64_t powerOfTen(int n) {
    int64_t p = 1;
    while (n-- > 0) {
        p *= 10;
    }
    return p;
}

// The number a label shows, exactly, as an integer x 10^scale. Decimals past the scale are cut
// off (the pump's labels never have any). Working on the digits, not in floating point, keeps
// "0.29" at 29 where 0.29 x 100 would truncate to 28.
std::optional<int64_t> parseScaled(std::string_view text, int scale, char decimalPoint) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && blank(text.back())) {
        text.remove_suffix(1);
    }
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    constexpr int kMaxIntegerDigits = 12;
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    int64_t integer = 0;
    int integerDigits = 0;
    while (!text.empty() && digit(text.front())) {
        if (++integerDigits > kMaxIntegerDigits) {
            return std::nullopt;
        }
        integer = integer * 10 + (text.front() - '0');
        text.remove_prefix(1);
    }
    int64_t fraction = 0;
    int fractionDigits = 0;
    if (!text.empty() && text.front() == decimalPoint && scale > 0) {
        text.remove_prefix(1);
        while (!text.empty() && digit(text.front())) {
            if (fractionDigits < scale) {
                fraction = fraction * 10 + (text.front() - '0');
            }
            ++fractionDigits;
            text.remove_prefix(1);
        }
    }
    if (!text.empty() || integerDigits + fractionDigits == 0) {
        return std::nullopt;
    }
    fraction *= powerOfTen(scale - std::min(fractionDigits, scale));
    const int64_t value = integer * powerOfTen(scale) + fraction;
    return negative ? -value : value;
}

// An entry text for a value x 10^scale: at least minDecimals decimals, more only where the value
// has them.
std::string formatScaled(int64_t value, int scale, int minDecimals, char decimalPoint) {
    if (scale == 0) {
        return formatSigned(value);
    }
    const bool negative = value < 0;
    const int64_t magnitude = negative ? -value : value;
    const int64_t unit = powerOfTen(scale);
    std::string decimals = std::to_string(magnitude % unit);
    decimals.insert(0, static_cast<std::size_t>(scale) - decimals.size(), '0');
    while (static_cast<int>(decimals.size()) > minDecimals && decimals.back() == '0') {
        decimals.pop_back();
    }
    std::string text = (negative ? "-" : "") + std::to_string(magnitude / unit);
    if (!decimals.empty()) {
        text += decimalPoint;
        text += decimals;
    }
    return text;
}

bool fits(int64_t value, Width width) {
    switch (width) {
        case Width::Signed8:
            return value >= INT8_MIN && value <= INT8_MAX;
        case Width::Unsigned8:
            return value >= 0 && value <= UINT8_MAX;
        case Width::Unsigned16:
            return value >= 0 && value <= UINT16_MAX;
    }
    return false;
}

uint16_t unknownMarker(Width width) {
    switch (width) {
        case Width::Signed8:
            return static_cast<uint8_t>(kUnknownTemperature);
        case Width::Unsigned8:
            return kUnknownByte;
        case Width::Unsigned16:
            return kUnknown16;
    }
    return kUnknown16;
}

void putField(SnapshotRecord& record, std::size_t offset, Width width, uint16_t raw) {
    record[offset] = static_cast<uint8_t>(raw);
    if (width == Width::Unsigned16) {
        record[offset + 1] = static_cast<uint8_t>(raw >> 8);
    }
}

uint16_t rawField(const SnapshotRecord& record, std::size_t offset, Width width) {
    return width == Width::Unsigned16 ? service_telegram::readLe16(record, offset) : record[offset];
}

int64_t fieldValue(uint16_t raw, Width width) {
    return width == Width::Signed8 ? static_cast<int8_t>(raw) : raw;
}

void put32(SnapshotRecord& record, std::size_t offset, uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) {
        record[offset + i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

std::string trimmed(std::string_view text) {
    while (!text.empty() && text.back() == ' ') {
        text.remove_suffix(1);
    }
    return std::string(text);
}

SnapshotError noNumber(const LabelField& field, const std::string& shown) {
    return {"Configuration not saved: \"" + trimmed(field.caption) +
                "\" shows no value read from the pump (\"" + shown + "\").",
            field.labelName};
}

SnapshotError cannotHold(const LabelField& field, const std::string& shown) {
    return {"Configuration not saved: \"" + trimmed(field.caption) + "\" shows " + shown +
                ", which a configuration file cannot hold.",
            field.labelName};
}

SnapshotError noSelection(const char* caption, const char* box) {
    return {std::string("Configuration not saved: \"") + caption + "\" has no valid selection.",
            box};
}

bool holdsWhenSaving(Condition condition, const SnapshotConditions& c) {
    switch (condition) {
        case Condition::Always:
            return true;
        case Condition::Extended:
            return c.extended;
        case Condition::UreaTank:
            return c.ureaTank;
    }
    return false;
}

bool holdsWhenLoading(Condition condition, const SnapshotConditions& c) {
    switch (condition) {
        case Condition::Always:
            return true;
        case Condition::Extended:
            return c.extended;
        case Condition::UreaTank:
            return c.extended && c.ureaTank;
    }
    return false;
}

bool monitoringKnown(const PumpSoftwareVersion& version) {
    return version.combined() >= kHeaterMonitoringVersion;
}

}  // namespace

SnapshotConditions SnapshotConditions::of(int accessLevel, const PumpSoftwareVersion& version) {
    SnapshotConditions c;
    c.extended = accessLevel == kAccessLevelExtended && version.page216();
    c.ureaTank = c.extended && version.parameterReadout();
    return c;
}

SnapshotBuild buildSnapshot(const SnapshotSource& source, const SnapshotConditions& conditions,
                            const DisplayFormat& format) {
    SnapshotBuild build;
    SnapshotRecord record{};

    const struct {
        int index;
        const char* caption;
        const char* box;
    } boxes[] = {
        {source.externalHeaterSelection, "External heater configuration",
         "cbExternalHeaterSelection"},
        {source.monitorTankHeater, "Monitor Tank heater", "cbMonitorTankHeater"},
        {source.monitorLineHeater, "Monitor Line heater", "cbMonitorLineHeater"},
    };
    for (const auto& box : boxes) {
        if (box.index < 0 || box.index >= kTwoItems) {
            build.error = noSelection(box.caption, box.box);
            return build;
        }
    }
    uint8_t heater = source.externalHeaterSelection ? kExternalHeaterBit : 0;
    if (!monitoringKnown(source.pumpSoftwareVersion)) {
        heater |= kMonitorTankHeaterBit | kMonitorLineHeaterBit;
    } else {
        heater |= (source.monitorTankHeater ? kMonitorTankHeaterBit : 0) |
                  (source.monitorLineHeater ? kMonitorLineHeaterBit : 0);
    }
    record[kHeaterSelections] = heater;

    for (const LabelField& field : kLabelFields) {
        const std::string& shown = source.*field.text;
        const bool required = holdsWhenSaving(field.condition, conditions);
        const bool hasMarker = field.condition != Condition::Always;
        const auto value = parseScaled(shown, field.scale, format.decimalPoint);
        if (!value) {
            if (required) {
                build.error = noNumber(field, shown);
                return build;
            }
            putField(record, field.offset, field.width, unknownMarker(field.width));
        } else if (!fits(*value, field.width)) {
            if (!hasMarker) {
                build.error = cannotHold(field, shown);
                return build;
            }
            putField(record, field.offset, field.width, unknownMarker(field.width));
        } else {
            putField(record, field.offset, field.width, static_cast<uint16_t>(*value));
        }
    }

    record[kLevelSensorSetup] = source.pumpLevelSensorSetup.value_or(kUnknownByte);
    record[kTlOutputSetup] = source.pumpTlOutputSetup.value_or(kUnknownByte);
    if (source.pumpInstallerSettings) {
        std::copy(source.pumpInstallerSettings->begin(), source.pumpInstallerSettings->end(),
                  record.begin() + kInstallerSettings);
    } else {
        std::fill_n(record.begin() + kInstallerSettings, kInstallerSettingsSize, kUnknownByte);
    }
    const PumpMaskValues& masks = source.pumpMasks;
    put32(record, kOnOffMask, masks.onOff.value_or(kUnknownMask));
    put32(record, kImmSeqMask, masks.immSeq.value_or(kUnknownMask));
    put32(record, kObdActionWord0, masks.obdActionWords[0].value_or(kUnknownMask));
    put32(record, kObdActionWord1, masks.obdActionWords[1].value_or(kUnknownMask));
    put32(record, kAirUnitMask, masks.airUnit.value_or(kUnknownMask));

    build.record = record;
    return build;
}

namespace {

void applyInstallerSettings(std::span<const uint8_t> block, const SnapshotConditions& conditions,
                            SnapshotApplication& out) {
    namespace B = installer_settings;
    if (std::all_of(block.begin(), block.end(), [](uint8_t b) { return b == kUnknownByte; })) {
        return;
    }
    const uint8_t bits = block[B::kSelections];
    const uint8_t bits2 = block[B::kSelections2];
    const auto bit = [](uint8_t byte, uint8_t mask) { return (byte & mask) ? 1 : 0; };
    const auto select = [&](const char* box, int index, int items) {
        if (index >= 0 && index < items) {
            out.selections.push_back({box, index});
        }
    };
    select("cbEngineSpeedSetup", (bits2 >> B::kEngineSpeedSetupShift) & B::kTwoBits,
           kEngineSpeedItems);
    select("cbMAFsignalSetup", bit(bits, B::kMafSignalBit), kTwoItems);
    select("cbConversionRatioSelection", bit(bits, B::kConversionRatioBit), kTwoItems);
    select("cbUDSsurveillanceAtPin32", bit(bits, B::kUdsHighBit) * 2 + bit(bits, B::kUdsLowBit),
           kUdsSurveillanceItems);
    select("cbDownstreamNOxSelection", bit(bits, B::kDownstreamNoxBit), kTwoItems);
    select("cbUreaTankTempSetup", (bits >> B::kUreaTankTempSetupShift) & B::kTwoBits,
           kUreaTankTempItems);
    select("cbRepeatingPrimeSeq_NewValue", bit(bits, B::kRepeatingPrimeBit), kTwoItems);

    const auto edit = [&](const char* name, int64_t value) {
        out.edits.push_back({ReadoutWindow::Installer, name, formatSigned(value)});
    };
    edit("eValveOpenTimeAtPurge_Value", block[B::kValveOpenTime]);
    edit("eValveCloseTimeAtPurge_Value", block[B::kValveCloseTime]);
    edit("eNoOfRepAtPurge_Value", int64_t(block[B::kPurgeSequencesMinus1]) + 1);
    const uint16_t count = service_telegram::readLe16(block, B::kIdleThresholdCount);
    const uint16_t divider = service_telegram::readLe16(block, B::kSpeedSignalDivider);
    // Without a divider there is no idle threshold in rpm: the edit keeps what it holds rather
    // than take a 0 nobody chose.
    if (divider != 0) {
        edit("eEngineSpeedIdleThr", int64_t(count) * 1000 / divider);
    }
    edit("eAlt2EngineSpeedSignalRatio", divider);

    const int obd = conditions.ureaTank ? (bits2 >> B::kUreaTankTempObdShift) & B::kTwoBits : 0;
    select("cbUreaTankTemperatureOBD", obd, kUreaTankTempObdItems);
}

void applyMasks(const SnapshotRecord& record, SnapshotApplication& out) {
    const auto word = [&](std::size_t offset) -> std::optional<uint32_t> {
        const uint32_t w = service_telegram::readLe32(record, offset);
        return w == kUnknownMask ? std::nullopt : std::optional<uint32_t>(w);
    };
    const auto onOff = word(kOnOffMask);
    const auto immSeq = word(kImmSeqMask);
    const std::optional<uint32_t> action[] = {word(kObdActionWord0), word(kObdActionWord1)};
    const auto airUnit = word(kAirUnitMask);

    const auto put = [&](int row, MaskColumn column, unsigned index) {
        if (index < maskItems(column).size()) {
            out.maskSelections.push_back(
                {row, column, static_cast<int>(index), selectionBoxName(row, column)});
        }
    };
    for (int row = obd_mask::kFirstRow; row <= obd_mask::kLastRow; ++row) {
        if (onOff) {
            put(row, MaskColumn::OnOff, (*onOff >> row) & 1);
        }
        if (immSeq) {
            put(row, MaskColumn::ImmSeq, (*immSeq >> row) & 1);
        }
        const unsigned bitPosition = obd_mask::kObdActionBitsPerRow * static_cast<unsigned>(row);
        const auto& w = action[bitPosition / obd_mask::kWordBits];
        if (w) {
            put(row, MaskColumn::ObdAction,
                (*w >> (bitPosition % obd_mask::kWordBits)) & obd_mask::kObdActionPairMask);
        }
        if (airUnit) {
            put(row, MaskColumn::AirUnit, (*airUnit >> row) & 1);
        }
    }
}

}  // namespace

SnapshotApplication applySnapshot(const SnapshotRecord& record,
                                  const SnapshotConditions& conditions,
                                  const PumpSoftwareVersion& pumpSoftwareVersion,
                                  const DisplayFormat& format) {
    SnapshotApplication out;

    const uint8_t heater = record[kHeaterSelections];
    out.selections.push_back({"cbExternalHeaterSelection", (heater & kExternalHeaterBit) ? 1 : 0});
    const bool monitoring = monitoringKnown(pumpSoftwareVersion);
    out.selections.push_back(
        {"cbMonitorTankHeater", !monitoring || (heater & kMonitorTankHeaterBit) ? 1 : 0});
    out.selections.push_back(
        {"cbMonitorLineHeater", !monitoring || (heater & kMonitorLineHeaterBit) ? 1 : 0});

    for (const LabelField& field : kLabelFields) {
        if (!holdsWhenLoading(field.condition, conditions)) {
            continue;
        }
        const uint16_t raw = rawField(record, field.offset, field.width);
        if (field.condition != Condition::Always && raw == unknownMarker(field.width)) {
            continue;
        }
        out.edits.push_back({ReadoutWindow::Installer, field.editName,
                             formatScaled(fieldValue(raw, field.width), field.scale,
                                          field.loadDecimals, format.decimalPoint)});
    }

    if (!conditions.extended) {
        return out;
    }
    if (record[kLevelSensorSetup] < kLevelSensorItems) {
        out.selections.push_back({"cbUreaTankLevelSensorSetup", record[kLevelSensorSetup]});
    }
    if (record[kTlOutputSetup] < kTlOutputItems) {
        out.selections.push_back({"cbTLoutputSetup", record[kTlOutputSetup]});
    }
    applyInstallerSettings(std::span(record).subspan(kInstallerSettings, kInstallerSettingsSize),
                           conditions, out);
    applyMasks(record, out);
    return out;
}

#include "pump/installer_parameters.h"

#include <algorithm>

#include "pump/installer_controls.h"
#include "pump/service_telegram.h"
#include "pump/text_tables.h"

namespace pt = parameter_telegram;
namespace pid = parameter_id;
using service_telegram::readLe16;
using service_telegram::readLe32;

ParameterTelegram::ParameterTelegram(uint16_t id, uint8_t code) {
    bytes_[pt::kId] = static_cast<uint8_t>(id);
    bytes_[pt::kId + 1] = static_cast<uint8_t>(id >> 8);
    bytes_[service_telegram::kCodeOffset] = code;
}

bool ParameterTelegram::holds(std::size_t offset, std::size_t width) const {
    return offset >= pt::kValue && offset <= pt::kValueEnd && width <= pt::kValueEnd - offset;
}

ParameterTelegram& ParameterTelegram::u8(std::size_t offset, uint8_t value) {
    if (holds(offset, 1)) {
        bytes_[offset] = value;
    }
    return *this;
}

ParameterTelegram& ParameterTelegram::s8(std::size_t offset, int8_t value) {
    return u8(offset, static_cast<uint8_t>(value));
}

ParameterTelegram& ParameterTelegram::u16(std::size_t offset, uint16_t value) {
    if (holds(offset, 2)) {
        bytes_[offset] = static_cast<uint8_t>(value);
        bytes_[offset + 1] = static_cast<uint8_t>(value >> 8);
    }
    return *this;
}

ParameterTelegram& ParameterTelegram::u32(std::size_t offset, uint32_t value) {
    if (holds(offset, 4)) {
        for (std::size_t i = 0; i < 4; ++i) {
            bytes_[offset + i] = static_cast<uint8_t>(value >> (8 * i));
        }
    }
    return *this;
}

uint16_t ParameterTelegram::id() const {
    return readLe16(bytes_, pt::kId);
}

uint16_t parameterIdOf(std::span<const uint8_t> telegram) {
    return telegram.size() >= 2 ? readLe16(telegram, pt::kId) : 0;
}

std::string readout_text::notDownloaded(unsigned id) {
    return "Configuration data NOT downloaded (ID = " + std::to_string(id) + ")";
}

namespace {

constexpr const char* kUnknownText = "?";

// The idle threshold in rpm from the pump's count and divider; "?" where the divider is 0.
std::string idleThresholdText(double count, double divider) {
    if (divider == 0.0) {
        return kUnknownText;
    }
    return formatSigned(static_cast<int64_t>(roundHalfUp(count * 1000.0 / divider)));
}

std::string levelLimitText(uint16_t count) {
    if (auto ohm = levelLimitOhm(count)) {
        return formatSigned(*ohm);
    }
    return kUnknownText;
}

class Decoder {
  public:
    Decoder(std::span<const uint8_t> t, const ParameterReadoutContext& context,
            const DisplayFormat& format, ParameterReadoutResult& out)
        : t_(t), context_(context), format_(format), out_(out) {}

    void decode(uint16_t id) {
        switch (id) {
            case pid::kUreaTankHighLimits:
                signedByte("lUreaTankMaxStop", pt::kStopTemperature);
                signedByte("lUreaTankMaxRestart", pt::kRestartTemperature);
                break;
            case pid::kUreaTankLowLimits:
                signedByte("lUreaTankMinStop", pt::kStopTemperature);
                signedByte("lUreaTankMinRestart", pt::kRestartTemperature);
                break;
            case pid::kDownstreamNox:
                item("lDownstreamNOxSelection", "cbDownstreamNOxSelection", t_[pt::kIndex]);
                break;
            case pid::kMafSignal:
                item("lMAFconfiguration", "cbMAFsignalSetup", t_[pt::kIndex]);
                break;
            case pid::kConversionRatioSelection:
                item("lConversionRatioSelection", "cbConversionRatioSelection", t_[pt::kIndex]);
                break;
            case pid::kIdleThreshold: {
                const double count = readLe16(t_, pt::kWord);
                out_.idleThresholdCount = count;
                text("lEngineSpeedIdleThr", idleThresholdText(count, context_.speedSignalDivider));
                break;
            }
            case pid::kSpeedSignalDivider: {
                const uint16_t divider = readLe16(t_, pt::kWord);
                out_.speedSignalDivider = divider;
                text("lAlt2EngineSpeedSignalRatio", formatUnsigned(divider));
                text("lEngineSpeedIdleThr",
                     idleThresholdText(context_.idleThresholdCount, divider));
                break;
            }
            case pid::kUreaTankTempSetup:
                item("lUreaTankTempSetup", "cbUreaTankTempSetup", t_[pt::kIndex]);
                break;
            case pid::kRepeatingPrime:
                item("lRepeatingPrimeSeq_Value", "cbRepeatingPrimeSeq_NewValue", t_[pt::kIndex]);
                break;
            case pid::kPurge:
                text("lValveOpenTimeAtPurge_Value", formatUnsigned(t_[pt::kValveOpenTime]));
                text("lValveCloseTimeAtPurge_Value", formatUnsigned(t_[pt::kValveCloseTime]));
                text("lNoOfRepAtPurge_Value", formatUnsigned(t_[pt::kPurgeSequencesMinus1] + 1u));
                break;
            case pid::kUdsSurveillance:
                item("lUDSsurveillanceAtPin32_Value", "cbUDSsurveillanceAtPin32",
                     t_[pt::kUdsEnable] + 2 * t_[pt::kUdsObdOnly]);
                break;
            case pid::kOnOffMask:
            case pid::kImmSeqMask:
            case pid::kAirUnitMask:
                out_.mask = MaskReadout{id, readLe32(t_, pt::kLong), 0};
                break;
            case pid::kObdActionMaskWord:
                out_.mask = MaskReadout{id, readLe32(t_, pt::kLong), t_[pt::kMaskWordIndex]};
                break;
            case pid::kEngineSpeedSetup:
                item("lEngineSpeedSignalConfig_Value", "cbEngineSpeedSetup", t_[pt::kIndex]);
                break;
            case pid::kUreaTankTempObd:
                item("lUreaTankTemperatureOBD", "cbUreaTankTemperatureOBD", t_[pt::kIndex]);
                break;
            case pid::kVin: {
                // The pump sends the VIN a character at a time; position 0 starts it afresh.
                std::string vin = t_[pt::kVinPosition] == 0 ? std::string() : context_.vinText;
                vin.push_back(static_cast<char>(t_[pt::kVinCharacter]));
                text("lVIN", vin);
                break;
            }
            case pid::kInstallDate: {
                const auto date = unpackInstallDate(readLe16(t_, pt::kDate));
                text("lInstallDate", date ? formatInstallDate(*date, format_) : "NA");
                out_.installDateKnown = date.has_value();
                out_.installDate = date;
                break;
            }
            case pid::kDashboard:
                text("lDashboard", formatUnsigned(readLe32(t_, pt::kLong)));
                break;
            case pid::kBlockedNozzleRestart:
                text("lBlockedNozzleSetupRestart", formatUnsigned(t_[pt::kByte]));
                break;
            case pid::kHeaterSelection: {
                const uint8_t bits = t_[pt::kHeaterBits];
                item("lExternalHeaterSelection", "cbExternalHeaterSelection",
                     (bits & config163::kExternalHeaterBit) ? 1 : 0);
                if (context_.monitorExtHeatersVisible) {
                    item("lMonitorTankHeater", "cbMonitorTankHeater",
                         (bits & config163::kMonitorTankHeaterBit) ? 1 : 0);
                    item("lMonitorLineHeater", "cbMonitorLineHeater",
                         (bits & config163::kMonitorLineHeaterBit) ? 1 : 0);
                }
                break;
            }
            case pid::kHeaterLimits:
                signedByte("lTankUpperLimit", pt::kHeaterUpperLimit);
                signedByte("lTankLowerLimit", pt::kHeaterLowerLimit);
                signedByte("lExtHeater_DefreezeLimit_Value", pt::kHeaterDefreezeLimit);
                break;
            case pid::kCatalystVolume:
                text("lCatalystVolume", formatGeneral(readLe16(t_, pt::kWord) * 0.1, format_));
                break;
            case pid::kCatalystLength:
                text("lCatalystLength", formatGeneral(readLe16(t_, pt::kWord) * 0.1, format_));
                break;
            case pid::kConversionGain:
                text("lConversionGain", formatGeneral(readLe16(t_, pt::kWord) * 0.0001, format_));
                break;
            case pid::kMafFactor:
                text("lMafFactor", formatUnsigned(readLe16(t_, pt::kWord)));
                break;
            case pid::kConversionRatio:
                text("lConversionRatioReduced",
                     formatFixed(readLe16(t_, pt::kConversionRatioReduced) * 0.01, 2, format_));
                text("lConversionRatioThreshold",
                     formatFixed(readLe16(t_, pt::kConversionRatioThreshold) * 0.01, 2, format_));
                text("lConversionRatioAvaragePeriod", formatUnsigned(t_[pt::kAveragingPeriod]));
                break;
            case pid::kTlOutputSetup: {
                const uint8_t setup = t_[pt::kIndex];
                out_.pumpTlOutputSetup = setup;
                if (setup == pt::kTlCircuitBreaker) {
                    text("lTLoutputSetup", std::string(readout_text::kCircuitBreaker));
                } else {
                    item("lTLoutputSetup", "cbTLoutputSetup", setup);
                }
                break;
            }
            case pid::kEcmCanAddress:
                text("lECMcanAdrConfiguration", formatUnsigned(t_[pt::kByte]));
                break;
            case pid::kMinimumMaf:
                text("lMAFatIdleSpeed", formatUnsigned(readLe16(t_, pt::kWord)));
                break;
            case pid::kLevelSensor:
                out_.pumpLevelSensorSetup = t_[pt::kLevelSensorSetup];
                item("lUreaTankLevelSensorSetup", "cbUreaTankLevelSensorSetup",
                     t_[pt::kLevelSensorSetup]);
                text("lLevelSensor_LowLimit_Value",
                     levelLimitText(readLe16(t_, pt::kLevelLowLimit)));
                text("lLevelSensor_EmptyLimit_Value",
                     levelLimitText(readLe16(t_, pt::kLevelEmptyLimit)));
                break;
            case pid::kDm1Support: {
                const bool on = t_[pt::kByte] == pt::kDm1Enabled;
                out_.dm1Support = on;
                text("lDM1Status",
                     std::string(on ? readout_text::kDm1Enabled : readout_text::kDm1Disabled));
                break;
            }
            default:
                break;  // the pump knows more parameters than the installer shows
        }
    }

  private:
    void text(const char* label, std::string value) {
        out_.texts.push_back({ReadoutWindow::Installer, label, std::move(value)});
    }
    void item(const char* label, const char* combo, int index) {
        text(label, comboItemText(combo, index));
    }
    void signedByte(const char* label, std::size_t offset) {
        text(label, formatSigned(static_cast<int8_t>(t_[offset])));
    }

    std::span<const uint8_t> t_;
    const ParameterReadoutContext& context_;
    const DisplayFormat& format_;
    ParameterReadoutResult& out_;
};

}  // namespace

ParameterReadoutResult decodeParameterReply(std::span<const uint8_t> telegram, bool isEcho,
                                            const ParameterReadoutContext& context,
                                            const DisplayFormat& format) {
    ParameterReadoutResult out;
    if (telegram.size() < pt::kSize) {
        return out;  // no code, no values: nothing to compare or show
    }
    const auto t = telegram.first(pt::kSize);
    out.id = parameterIdOf(t);

    if (isEcho) {
        if (!context.lastSent) {
            return out;  // an echo of nothing the tool sent
        }
        const auto& sent = *context.lastSent;
        if (!std::equal(t.begin(), t.end(), sent.begin())) {
            // Only an echo that stays wrong until the scheduler is about to give up counts as a
            // failed download, and only while the tool is waiting for a parameter write's echo.
            if (context.retryCount >= kEchoFailureRetries &&
                sent[service_telegram::kCodeOffset] == service_code::kParameterWrite) {
                const uint16_t failedId = parameterIdOf(sent);
                out.acceptance = ReplyAcceptance::ClearsOnly;
                out.status = readout_text::notDownloaded(failedId);
                DownloadBookkeeping after = context.bookkeeping;
                after.downloadFailed = true;
                out.bookkeeping = after;
            }
            return out;
        }
    }

    out.acceptance = ReplyAcceptance::Accepted;
    Decoder(t, context, format, out).decode(out.id);

    if (isEcho && out.id == context.bookkeeping.lastDownloadId &&
        !context.bookkeeping.downloadFailed) {
        out.status = std::string(readout_text::kDownloaded);
    }
    return out;
}

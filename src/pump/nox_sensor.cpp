#include "pump/nox_sensor.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdlib>

#include "pump/diagnostics_layout.h"
#include "pump/fixed_point.h"
#include "pump/service_telegram.h"
#include "pump/text_tables.h"

const char* toString(NoxSide side) {
    return side == NoxSide::Upstream ? "Upstream" : "Downstream";
}

namespace nox_texts {

std::string fmiText(uint8_t fmi) {
    switch (fmi) {
        case nox_message::kFmiShortCircuit:
            return std::string(FmiErrorTexts[0]);
        case nox_message::kFmiOpenWire:
            return std::string(FmiErrorTexts[1]);
        case nox_message::kFmiNoError:
            return std::string(FmiErrorTexts[2]);
        default:
            return text_tables::invalidValueText(fmi);
    }
}

}  // namespace nox_texts

std::array<NamedText, 10> frameLabels(const NoxFrameTexts& t) {
    const std::string* texts[] = {
        &t.noxValue,          &t.o2,         &t.sensorSupply, &t.noxSignal, &t.oxygenSignal,
        &t.sensorTemperature, &t.heaterMode, &t.noxError,     &t.o2Error,   &t.heaterError};
    std::array<NamedText, 10> out{};
    for (std::size_t i = 0; i < out.size(); ++i) {
        out[i] = {nox_frame::kReadouts[i].objectName, *texts[i]};
    }
    return out;
}

const NoxSideNames& noxSideNames(NoxSide side) {
    static const NoxSideNames kUpstream{
        "frUpstreamSensorData",         "Upstream sensor data",   "frUpstreamDataFromPump",
        "Upstream pump data",           "lNOxppmUpstreamSensor",  "Upstream nox [ppm]",
        "lO2percentUpstreamSensor",     "Upstream O2 [%]",        "lNOxppmUpstreamPump",
        "Upstream nox [ppm]",           "lO2percentUpstreamPump", "Upstream O2 [%]",
        "lO2linUpstreamPump",           "Upstream O2_lin",        "lNOxUp",
        "Upstream NOx [ppm]",           "shUpstreamConnected",    "Upstream sensor communication:",
        "tmrUpstreamNOxSensorWatchdog",
    };
    static const NoxSideNames kDownstream{
        "frDownstreamSensorData",
        "Downstream sensor data",
        "frDownstreamDataFromPump",
        "Downstream pump data",
        "lNOxppmDownstreamSensor",
        "Downstream nox [ppm]",
        "lO2percentDownstreamSensor",
        "Downstream O2 [%]",
        "lNOxppmDownstreamPump",
        "Downstream nox [ppm]",
        "lO2percentDownstreamPump",
        "Downstream O2 [%]",
        "lO2linDownstreamPump",
        "Downstream O2_lin",
        "lNOxDown",
        "Downstream NOx [ppm]",
        "shDownstreamConnected",
        "Downstream sensor communication:",
        "tmrDownstreamNOxSensorWatchdog",
    };
    return side == NoxSide::Upstream ? kUpstream : kDownstream;
}

std::optional<NoxSide> sensorSideOf(uint32_t pgn, uint8_t sourceAddress) {
    using namespace nox_message;
    if (pgn == kIntakeGasPgn && sourceAddress == kUpstreamAddress) {
        return NoxSide::Upstream;
    }
    if (pgn == kOutletGasPgn && sourceAddress == kDownstreamAddress) {
        return NoxSide::Downstream;
    }
    return std::nullopt;
}

std::optional<NoxSide> sensorSideOfAddress(uint8_t sourceAddress) {
    if (sourceAddress == nox_message::kUpstreamAddress) {
        return NoxSide::Upstream;
    }
    if (sourceAddress == nox_message::kDownstreamAddress) {
        return NoxSide::Downstream;
    }
    return std::nullopt;
}

int32_t noxPpmFromRaw(uint16_t raw) {
    using namespace nox_message;
    // In hundredths of a ppm the conversion is exact; integer division truncates toward zero.
    const int64_t hundredths = raw * kNoxHundredthsPerRaw - kNoxOffsetHundredths;
    return static_cast<int32_t>(hundredths / 100);
}

namespace {

// Millionths rounded to hundredths, half away from zero.
int64_t hundredthsOfMillionths(int64_t millionths) {
    const int64_t magnitude = millionths < 0 ? -millionths : millionths;
    const int64_t rounded = (magnitude + 5000) / 10000;
    return millionths < 0 ? -rounded : rounded;
}

}  // namespace

std::string o2PercentText(uint16_t raw, const DisplayFormat& format) {
    using namespace nox_message;
    return formatScaled(hundredthsOfMillionths(raw * kO2MillionthsPerRaw - kO2OffsetMillionths), 2,
                        format);
}

NoxFrameTexts decodeNoxFrame(std::span<const uint8_t, 8> m) {
    using namespace nox_message;
    using namespace nox_texts;
    const std::span<const uint8_t> bytes(m);
    const uint8_t status = m[kStatus];
    const auto field = [status](unsigned shift) { return (status >> shift) & kTwoBitMask; };

    NoxFrameTexts t;
    t.noxValue = formatUnsigned(service_telegram::readLe16(bytes, kNoxRaw));
    t.o2 = formatUnsigned(service_telegram::readLe16(bytes, kO2Raw));
    t.sensorSupply = SensorSupplyTexts[field(kSensorSupplyShift)];
    t.sensorTemperature = SensorTemperatureTexts[field(kSensorTemperatureShift)];
    t.noxSignal = SignalTexts[field(kNoxSignalShift)];
    t.oxygenSignal = SignalTexts[field(kOxygenSignalShift)];
    t.heaterMode = HeaterModeTexts[(m[kHeater] >> kHeaterModeShift) & kTwoBitMask];
    t.heaterError = fmiText(m[kHeater] & kFmiMask);
    t.noxError = fmiText(m[kNoxError] & kFmiMask);
    t.o2Error = fmiText(m[kO2Error] & kFmiMask);
    return t;
}

std::optional<SensorMessageTexts> decodeSensorMessage(std::span<const uint8_t> message,
                                                      const DisplayFormat& format) {
    using namespace nox_message;
    if (message.size() < kSize) {
        return std::nullopt;
    }
    const auto m = message.first<kSize>();
    SensorMessageTexts out;
    out.frame = decodeNoxFrame(m);
    out.noxPpm = formatSigned(noxPpmFromRaw(service_telegram::readLe16(message, kNoxRaw)));
    out.o2Percent = o2PercentText(service_telegram::readLe16(message, kO2Raw), format);
    return out;
}

PumpSensorRecordTexts decodePumpSensorRecord(std::span<const uint8_t> record,
                                             const DisplayFormat& format) {
    using namespace sensor_record;
    PumpSensorRecordTexts out;
    out.complete = record.size() >= kSize;
    const auto holds = [&](std::size_t offset, std::size_t width) {
        return record.size() >= offset + width;
    };
    if (holds(kSensorMessage, nox_message::kSize)) {
        out.frame = decodeNoxFrame(record.subspan(kSensorMessage).first<nox_message::kSize>());
    }
    if (holds(kNoxPpm, 2)) {
        out.noxPpm =
            formatSigned(static_cast<int16_t>(service_telegram::readLe16(record, kNoxPpm)));
    }
    if (holds(kO2Lin, 2)) {
        out.o2Lin = formatSigned(static_cast<int16_t>(service_telegram::readLe16(record, kO2Lin)));
    }
    if (holds(kO2Percent, 4)) {
        const float o2 = std::bit_cast<float>(service_telegram::readLe32(record, kO2Percent));
        out.o2Percent = formatFixedSignificant(o2, 7, 2, format);
    }
    return out;
}

std::string formatFixedSignificant(double value, int precision, int decimals,
                                   const DisplayFormat& format) {
    if (!std::isfinite(value) || value == 0.0) {
        return formatFixed(value, decimals, format);
    }
    // Within these limits every figure fits a 64-bit integer.
    precision = std::clamp(precision, 1, 15);
    decimals = std::clamp(decimals, 0, 3);
    // Correctly rounded to `precision` significant digits: "d.dddddde+XX".
    char buffer[64];
    const auto written = std::to_chars(buffer, buffer + sizeof buffer, value,
                                       std::chars_format::scientific, precision - 1);
    const std::string_view scientific(buffer, static_cast<std::size_t>(written.ptr - buffer));
    const std::size_t e = scientific.find('e');
    int exponent = 0;
    std::from_chars(scientific.data() + e + 1 + (scientific[e + 1] == '+' ? 1 : 0),
                    scientific.data() + scientific.size(), exponent);
    if (exponent >= precision) {
        std::string mantissa(scientific.substr(0, e));
        if (const auto dot = mantissa.find('.'); dot != std::string::npos) {
            mantissa[dot] = format.decimalPoint;
        }
        const int magnitude = std::abs(exponent);
        return mantissa + "E" + (exponent < 0 ? "-" : "+") + formatZeroPadded(magnitude, 2);
    }
    // The significant digits as one integer M, the value being M * 10^(exponent - precision + 1);
    // round that decimal figure (not the binary value again) to the decimals shown.
    int64_t mantissa = 0;
    for (char c : scientific.substr(0, e)) {
        if (c >= '0' && c <= '9') {
            mantissa = mantissa * 10 + (c - '0');
        }
    }
    const int shift = exponent - (precision - 1) + decimals;
    int64_t scaled = 0;
    if (shift >= 0) {
        scaled = mantissa;
        for (int i = 0; i < shift; ++i) {
            scaled *= 10;
        }
    } else if (-shift <= precision) {
        int64_t divisor = 1;
        for (int i = 0; i < -shift; ++i) {
            divisor *= 10;
        }
        scaled = (mantissa + divisor / 2) / divisor;
    }
    return formatScaled(value < 0 ? -scaled : scaled, decimals, format);
}

void NoxSensorWatch::onMessage() {
    running_ = true;
    elapsedMs_ = 0;
}

void NoxSensorWatch::onExpiry() {
    running_ = false;
    elapsedMs_ = 0;
    intervalMs_ = kIntervalMs;
    indicator_ = IndicatorState::Red;
}

bool NoxSensorWatch::advance(uint32_t ms) {
    if (!running_) {
        return false;
    }
    elapsedMs_ += ms;
    if (elapsedMs_ < intervalMs_) {
        return false;
    }
    onExpiry();
    return true;
}

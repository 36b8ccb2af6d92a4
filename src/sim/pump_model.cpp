#include "sim/pump_model.h"

#include <charconv>

namespace sim {

namespace {
struct FaultEntry {
    Fault fault;
    std::string_view name;
};
constexpr FaultEntry kFaults[] = {
    {Fault::Silence, "silence"},
    {Fault::DropReplies, "drop-replies"},
    {Fault::StaleReplies, "stale-replies"},
    {Fault::CorruptEcho, "corrupt-echo"},
    {Fault::TpStall, "tp-stall"},
    {Fault::ClaimToolAddress, "claim-tool-address"},
    {Fault::Reply255, "reply-255"},
    {Fault::UpstreamSilent, "upstream-sensor-silent"},
    {Fault::DownstreamSilent, "downstream-sensor-silent"},
    {Fault::ErrorLogNotReady, "error-log-not-ready"},
    {Fault::NozzleBlocked, "nozzle-blocked"},
    {Fault::UreaEmpty, "urea-empty"},
    {Fault::EcmTimeout, "ecm-timeout"},
    {Fault::ValveStuck, "valve-stuck"},
};
static_assert(std::size(kFaults) == kFaultCount);
}  // namespace

std::string_view faultName(Fault fault) {
    for (const auto& e : kFaults) {
        if (e.fault == fault) {
            return e.name;
        }
    }
    return {};
}

std::optional<Fault> faultFromName(std::string_view name) {
    for (const auto& e : kFaults) {
        if (e.name == name) {
            return e.fault;
        }
    }
    return std::nullopt;
}

std::vector<std::string_view> faultNames() {
    std::vector<std::string_view> names;
    for (const auto& e : kFaults) {
        names.push_back(e.name);
    }
    return names;
}

std::optional<SoftwareVersion> parseSoftwareVersion(std::string_view text) {
    const auto dot = text.find('.');
    if (dot == std::string_view::npos || dot == 0 || dot + 1 >= text.size()) {
        return std::nullopt;
    }
    auto number = [](std::string_view part, unsigned& out) {
        const auto* end = part.data() + part.size();
        auto [ptr, ec] = std::from_chars(part.data(), end, out);
        return ec == std::errc() && ptr == end && out <= 255;
    };
    unsigned major = 0;
    unsigned minor = 0;
    if (!number(text.substr(0, dot), major) || !number(text.substr(dot + 1), minor)) {
        return std::nullopt;
    }
    return SoftwareVersion{static_cast<uint8_t>(major), static_cast<uint8_t>(minor)};
}

uint8_t PumpConfig::installerSelections() const {
    namespace P = layout::p216;
    uint8_t b = 0;
    b |= (downstreamNox & 1) ? P::kDownstreamNoxBit : 0;
    b |= (udsSurveillance & 1) ? P::kUdsLowBit : 0;
    b |= (mafSignal & 1) ? P::kMafSignalBit : 0;
    b |= (conversionRatioSelection & 1) ? P::kConversionRatioBit : 0;
    b |= (repeatingPrime & 1) ? P::kRepeatingPrimeBit : 0;
    b |= static_cast<uint8_t>((ureaTankTempSetup & 3) << P::kUreaTankTempShift);
    b |= (udsSurveillance & 2) ? P::kUdsHighBit : 0;
    return b;
}

uint8_t PumpConfig::installerSelections2() const {
    namespace P = layout::p216;
    return static_cast<uint8_t>(((engineSpeedSetup & 3) << P::kEngineSpeedShift) |
                                ((ureaTankTempObd & 3) << P::kUreaTankTempObdShift));
}

void PumpConfig::setInstallerSelections(uint8_t b3, uint8_t b4) {
    namespace P = layout::p216;
    downstreamNox = (b3 & P::kDownstreamNoxBit) ? 1 : 0;
    udsSurveillance =
        static_cast<uint8_t>(((b3 & P::kUdsLowBit) ? 1 : 0) | ((b3 & P::kUdsHighBit) ? 2 : 0));
    mafSignal = (b3 & P::kMafSignalBit) ? 1 : 0;
    conversionRatioSelection = (b3 & P::kConversionRatioBit) ? 1 : 0;
    repeatingPrime = (b3 & P::kRepeatingPrimeBit) ? 1 : 0;
    ureaTankTempSetup = (b3 >> P::kUreaTankTempShift) & 3;
    engineSpeedSetup = (b4 >> P::kEngineSpeedShift) & 3;
    ureaTankTempObd = (b4 >> P::kUreaTankTempObdShift) & 3;
}

}  // namespace sim

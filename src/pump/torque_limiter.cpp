#include "pump/torque_limiter.h"

#include "pump/diagnostics_layout.h"
#include "pump/number_format.h"

TorqueLimiterCauses decodeTorqueLimiterCauses(std::span<const uint8_t> causes) {
    TorqueLimiterCauses out;
    out.complete = causes.size() >= page208::kSize;
    for (std::size_t i = 0; i < torque_limiter::kIndicators.size(); ++i) {
        const torque_limiter::Indicator& indicator = torque_limiter::kIndicators[i];
        if (indicator.byte >= causes.size()) {
            continue;
        }
        const bool cause = (causes[indicator.byte] >> indicator.bit) & 1u;
        out.states[i] = cause ? IndicatorState::Red : IndicatorState::Green;
    }
    return out;
}

TorqueLimiterCountdowns torqueLimiterCountdownTexts(const std::pair<uint16_t, uint16_t>& values) {
    return {formatUnsigned(values.first), formatUnsigned(values.second)};
}

TorqueLimiterDisplay clearedTorqueLimiterDisplay() {
    TorqueLimiterDisplay display;
    display.states.fill(IndicatorState::Red);
    display.countdowns = {torque_limiter::kUnknownText, torque_limiter::kUnknownText};
    return display;
}

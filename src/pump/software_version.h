#pragma once
// The pump's software version, as page 204 reports it, and the features it opens. Before any pump
// has been found the tool assumes 0.06; a pump that claims its address starts at 0.00 until its
// first page 204 arrives.

#include <cstdint>

struct PumpSoftwareVersion {
    uint8_t major = 0;
    uint8_t minor = 6;

    // The version of a pump that has just claimed its address, before its page 204.
    static constexpr PumpSoftwareVersion unknownPump() { return PumpSoftwareVersion{0, 0}; }

    int combined() const { return major * 100 + minor; }
    bool atLeast(uint8_t maj, uint8_t min) const {
        return major > maj || (major == maj && minor >= min);
    }
    // Reply 1 tells final test from customer access; command 1 goes out with zero arguments.
    bool customerAccess() const { return minor >= 11 || major >= 1; }
    // The poll asks for page 216 and, once, for the masks.
    bool page216() const { return minor >= 6 || major >= 1; }
    // The poll sends the parameter reads 173.
    bool parameterReadout() const { return combined() >= 9; }
    // The configuration goes out as the old 55-byte layout (147).
    bool oldConfigurationLayout() const { return major == 0 && minor <= 5; }

    friend bool operator==(const PumpSoftwareVersion&, const PumpSoftwareVersion&) = default;
};

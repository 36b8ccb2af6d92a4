#pragma once
// The pump's status pages and the other telegram bodies it builds from its state: pure functions
// from a snapshot of the pump to bytes.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "sim/pump_model.h"

namespace sim {

using Bytes = std::vector<uint8_t>;

// Little-endian writers and readers that never step outside the buffer.
void put8(Bytes& b, std::size_t at, uint8_t v);
void put16(Bytes& b, std::size_t at, uint16_t v);
void put24(Bytes& b, std::size_t at, uint32_t v);
void put32(Bytes& b, std::size_t at, uint32_t v);
uint8_t get8(const Bytes& b, std::size_t at);
uint16_t get16(const Bytes& b, std::size_t at);
uint32_t get32(const Bytes& b, std::size_t at);

// Everything a page shows that is not stored as such but follows from the pump's situation.
struct PageContext {
    const PumpState& state;
    SoftwareVersion software;
    uint64_t obdStates = 0;    // page 201, bits 0..39
    uint32_t tlCauses = 0;     // page 208, bits 0..23
    int8_t pumpStateCode = 0;  // page 205
    int8_t alarmCode = 0;      // page 211
    uint8_t purgeReadiness = 0;
};

// Pump states of page 205.
namespace pump_state {
inline constexpr int8_t kPumpOff = 1;
inline constexpr int8_t kDosing = 3;
inline constexpr int8_t kOverride = 5;
inline constexpr int8_t kOverrideFinalTest = 6;
inline constexpr int8_t kCalibrating = 8;
}  // namespace pump_state

// The body of one page (201..212, 216); empty for any other number.
Bytes buildPageBody(uint8_t page, const PageContext& context);
// Reply 200: header then pages 201..212, 247 bytes. header holds bytes 0..6 to echo.
Bytes buildAllPages(const PageContext& context, const uint8_t (&header)[7]);
// A page reply: header then the body.
Bytes buildPageReply(uint8_t page, const PageContext& context, const uint8_t (&header)[7]);

// Parameter readout (reply 173) of one identifier; false for an identifier the pump does not have.
// request holds the 8 bytes of the read command (some identifiers take an index from it).
bool buildParameterReadout(uint16_t id, const PumpState& state, const Bytes& request, Bytes& out);

// One error-log record reply (141).
Bytes buildErrorLogRecord(uint16_t number, const PumpState& state);

// The NAME in its 8 little-endian bytes.
struct J1939Name {
    uint32_t identity = 0;         // 21 bits
    uint16_t manufacturer = 0;     // 11 bits
    uint8_t ecuInstance = 0;       // 3 bits
    uint8_t functionInstance = 0;  // 5 bits
    uint8_t function = 0;
    uint8_t vehicleSystem = 0;          // 7 bits
    uint8_t vehicleSystemInstance = 0;  // 4 bits
    uint8_t industryGroup = 0;          // 3 bits
    bool arbitraryAddress = false;
    uint64_t value() const;
};

}  // namespace sim

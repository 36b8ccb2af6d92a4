#pragma once
// The error log a pump some years in service holds at power-on: records in the order the pump
// wrote them, the operating time rising from one to the next, with varied components, component
// states, measurements and fault durations. The same seed gives the same log.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "sim/pump_model.h"

namespace sim {

// `count` records (at most layout::elog::kCapacity). The first three are always the same ones:
// a catalyst-in temperature error at 3:10 lasting 01:02:05, a pump-head temperature error with the
// head at -3.5 deg C, and an empty urea tank lasting 100 hours with the ECM silent.
std::vector<ErrorLogEntry> generateErrorLog(std::size_t count, uint32_t seed);

// The component states (page 201 layout, bits 0..39) that a record of this error-log component
// shows; 0 for a component that has no state field of its own.
uint64_t obdStatesOfComponent(uint16_t component, uint32_t variant);

}  // namespace sim

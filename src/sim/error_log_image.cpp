#include "sim/error_log_image.h"

#include <algorithm>
#include <iterator>

#include "sim/simulated_pump.h"

namespace sim {

namespace L = layout;

namespace {

// Error-log component numbers as the pump writes them.
namespace component {
constexpr uint16_t kEcu = 1;
constexpr uint16_t kDriveUnit = 2;
constexpr uint16_t kNoxIn = 3;
constexpr uint16_t kMaf = 4;
constexpr uint16_t kCatInTemp = 5;
constexpr uint16_t kCatOutTemp = 6;
constexpr uint16_t kDosingValve = 7;
constexpr uint16_t kTankHeater = 8;
constexpr uint16_t kLineHeater = 9;
constexpr uint16_t kInternalHeater = 10;
constexpr uint16_t kUreaTankTemp = 11;
constexpr uint16_t kPumpHeadTemp = 12;
constexpr uint16_t kPumpFrozen = 13;
constexpr uint16_t kScrThreshold = 14;
constexpr uint16_t kScrReduced = 15;
constexpr uint16_t kBlockedNozzle = 16;
constexpr uint16_t kLevelSensor = 17;
constexpr uint16_t kUreaTankEmpty = 18;
constexpr uint16_t kMissingAirUrea = 19;
constexpr uint16_t kBlockedReturnLine = 20;
constexpr uint16_t kNoxOut = 21;
constexpr uint16_t kMissingEngineSpeed = 22;
constexpr uint16_t kEcmCommunication = 25;
constexpr uint16_t kUreaTankTemperature = 26;
constexpr uint16_t kLast = 26;
}  // namespace component

constexpr uint16_t kOnOffComponents[] = {
    component::kEcu,
    component::kDriveUnit,
    component::kInternalHeater,
    component::kPumpFrozen,
    component::kBlockedNozzle,
    component::kMissingAirUrea,
    component::kBlockedReturnLine,
    component::kEcmCommunication,
};

uint64_t field(int shift, uint64_t value) {
    return value << shift;
}

}  // namespace

uint64_t obdStatesOfComponent(uint16_t c, uint32_t variant) {
    namespace B = L::p201;
    // Two-bit fault fields take 1 or 2 (a range error high or low, a link or a short).
    const uint64_t oneOrTwo = 1 + variant % 2;
    const uint64_t output = 1 + variant % 3;  // shorted high, shorted low, open load
    switch (c) {
        case component::kEcu:
            return field(B::kEeprom, 1);
        case component::kDriveUnit:
            return field(B::kDriveUnit, 1);
        case component::kNoxIn:
            return field(B::kUpstreamNox, oneOrTwo);
        case component::kMaf:
            return field(B::kMaf, oneOrTwo);
        case component::kCatInTemp:
            return field(B::kCatInTemp, oneOrTwo);
        case component::kCatOutTemp:
            return field(B::kCatOutTemp, oneOrTwo);
        case component::kDosingValve:
            return field(B::kDosingValve, output);
        case component::kTankHeater:
            return field(B::kTankHeater, output);
        case component::kLineHeater:
            return field(B::kLineHeater, output);
        case component::kInternalHeater:
            return field(B::kInternalHeater, 1);
        case component::kUreaTankTemp:
            return field(B::kUreaTankTempSensor, oneOrTwo);
        case component::kPumpHeadTemp:
            return field(B::kPumpHeadTemp, oneOrTwo);
        case component::kPumpFrozen:
            return field(B::kPumpFrozen, 1);
        case component::kScrThreshold:
            return field(B::kScrEfficiency, 2);
        case component::kScrReduced:
            return field(B::kScrEfficiency, 1);
        case component::kBlockedNozzle:
            return field(B::kNozzle, 1);
        case component::kLevelSensor:
            return field(B::kLevelSensor, oneOrTwo);
        case component::kUreaTankEmpty:
            return field(B::kUreaTankLevel, B::kLevelEmpty);
        case component::kMissingAirUrea:
            return field(B::kAirAndUrea, 1);
        case component::kBlockedReturnLine:
            return field(B::kReturnLine, 1);
        case component::kNoxOut:
            return field(B::kDownstreamNox, oneOrTwo);
        case component::kMissingEngineSpeed:
            return field(B::kEngineSpeed, 1);
        case component::kEcmCommunication:
            return field(B::kEcmCommunication, 1);
        case component::kUreaTankTemperature:
            return field(B::kUreaTankTemperature, oneOrTwo);
        default:
            return 0;  // the frozen tank and line have no state bits of their own
    }
}

std::vector<ErrorLogEntry> generateErrorLog(std::size_t count, uint32_t seed) {
    count = std::min(count, L::elog::kCapacity);
    std::vector<ErrorLogEntry> log;
    log.reserve(count);

    ErrorLogEntry a;
    a.component = component::kCatInTemp;
    a.timeStamp = 95;
    a.errorTime = 3725;
    a.engineSpeed = 8000;
    a.pumpHeadTemp = 215;
    a.noxIn = 812;
    a.noxOut = 140;
    a.catInTemp = 305;
    a.catOutTemp = 288;
    a.maf = 410;
    a.ureaFlow = 152000;
    a.averageConversion = 82;
    a.stateWord = 0x00000102;  // catalyst-in sensor out of range high, drive unit malfunction
    ErrorLogEntry b = a;
    b.component = component::kPumpHeadTemp;
    b.timeStamp = 12050;
    b.errorTime = 88;
    b.stateWord = 0x00010000;
    b.pumpHeadTemp = -35;
    ErrorLogEntry c = a;
    c.component = component::kUreaTankEmpty;
    c.timeStamp = 40210;
    c.errorTime = 360000;
    c.stateWord = 0x80000000;
    c.stateByte = 0x08;
    for (const ErrorLogEntry& e : {a, b, c}) {
        if (log.size() < count) {
            log.push_back(e);
        }
    }

    Prng prng(seed ^ 0x5EED1060u);
    uint32_t timeStamp = c.timeStamp;
    while (log.size() < count) {
        ErrorLogEntry e;
        e.component = static_cast<uint16_t>(1 + prng.next() % component::kLast);
        // Hours to weeks of operation between two errors, in 2-minute units.
        timeStamp += 1 + prng.next() % 5000;
        e.timeStamp = timeStamp;
        // Most faults clear within minutes; some stay for days.
        e.errorTime = prng.next() % 8 == 0 ? prng.next() % 400000 : prng.next() % 3600;
        const bool engineRunning = prng.next() % 6 != 0;
        e.engineSpeed =
            engineRunning ? static_cast<uint16_t>(8 * (600 + prng.next() % 1800) + prng.next() % 8)
                          : 0;
        e.pumpHeadTemp = static_cast<int16_t>(-250 + int32_t(prng.next() % 900));
        e.noxIn = engineRunning ? static_cast<int16_t>(100 + prng.next() % 1400) : 0;
        e.noxOut = static_cast<int16_t>(e.noxIn * (prng.next() % 60) / 100);
        e.catInTemp = static_cast<int16_t>(engineRunning ? 150 + prng.next() % 400 : 20);
        e.catOutTemp = static_cast<int16_t>(e.catInTemp - int32_t(prng.next() % 30));
        e.maf = engineRunning ? static_cast<int16_t>(80 + prng.next() % 1100) : 0;
        e.ureaFlow = engineRunning ? prng.next() % 600000 : 0;
        e.averageConversion = static_cast<uint16_t>(prng.next() % 101);
        uint64_t states = obdStatesOfComponent(e.component, prng.next());
        // Now and then a second fault was present when the error was logged: one of the on/off
        // states, which cannot merge with the first fault's field into a value it never has.
        if (prng.next() % 4 == 0) {
            states |= obdStatesOfComponent(
                kOnOffComponents[prng.next() % std::size(kOnOffComponents)], 0);
        }
        e.stateWord = static_cast<uint32_t>(states);
        e.stateByte = static_cast<uint8_t>(states >> 32);
        log.push_back(e);
    }
    return log;
}

}  // namespace sim

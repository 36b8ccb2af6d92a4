#include "sim/pump_pages.h"

#include <cstring>

namespace sim {

namespace L = layout;

void put8(Bytes& b, std::size_t at, uint8_t v) {
    if (at < b.size()) {
        b[at] = v;
    }
}
void put16(Bytes& b, std::size_t at, uint16_t v) {
    put8(b, at, v & 0xFF);
    put8(b, at + 1, v >> 8);
}
void put24(Bytes& b, std::size_t at, uint32_t v) {
    put16(b, at, v & 0xFFFF);
    put8(b, at + 2, (v >> 16) & 0xFF);
}
void put32(Bytes& b, std::size_t at, uint32_t v) {
    put16(b, at, v & 0xFFFF);
    put16(b, at + 2, v >> 16);
}
uint8_t get8(const Bytes& b, std::size_t at) {
    return at < b.size() ? b[at] : 0;
}
uint16_t get16(const Bytes& b, std::size_t at) {
    return get8(b, at) | (get8(b, at + 1) << 8);
}
uint32_t get32(const Bytes& b, std::size_t at) {
    return get16(b, at) | (uint32_t(get16(b, at + 2)) << 16);
}

namespace {

// Durations of page 206: a count of 2-hour units and a count of 2-minute units.
uint16_t twoHourUnits(uint64_t seconds) {
    return static_cast<uint16_t>(seconds / 7200);
}
uint8_t twoMinuteUnits(uint64_t seconds) {
    return static_cast<uint8_t>((seconds % 7200) / 120);
}

void sensorRecord(Bytes& b, const PumpState::SensorView& view) {
    if (view.received) {
        const uint16_t noxRaw =
            view.message[L::nox::kNoxRaw] | (view.message[L::nox::kNoxRaw + 1] << 8);
        const uint16_t o2Raw =
            view.message[L::nox::kO2Raw] | (view.message[L::nox::kO2Raw + 1] << 8);
        // The pump converts as the sensor's data sheet says and keeps O2 also as a linear
        // integer in 0.01 %.
        const int32_t ppm = (int32_t(noxRaw) * 5 - 20000) / 100;
        const float o2 = float(o2Raw) * 0.000514f - 12.0f;
        put16(b, L::p209::kNoxPpm, static_cast<uint16_t>(int16_t(ppm)));
        put16(b, L::p209::kO2Lin,
              static_cast<uint16_t>(int16_t((int32_t(o2Raw) * 514 - 12000000) / 10000)));
        uint32_t bits = 0;
        std::memcpy(&bits, &o2, sizeof bits);
        put32(b, L::p209::kO2Percent, bits);
    }
    for (std::size_t i = 0; i < 8; ++i) {
        put8(b, L::p209::kSensorMessage + i, view.message[i]);
    }
}

}  // namespace

Bytes buildPageBody(uint8_t page, const PageContext& c) {
    const PumpState& s = c.state;
    const PumpConfig& k = s.config;
    Bytes b(L::pageSize(page), 0);
    switch (page) {
        case 201:
            for (std::size_t i = 0; i < b.size(); ++i) {
                b[i] = static_cast<uint8_t>(c.obdStates >> (8 * i));
            }
            break;
        case 202:
            // Reserved for the factory; the pump fills it with its production test marks.
            for (std::size_t i = 0; i < b.size(); ++i) {
                b[i] = static_cast<uint8_t>(0xA0 + i);
            }
            break;
        case 203:
            put16(b, L::p203::kFactoryCalibration, s.factoryCalibration);
            put16(b, L::p203::kConversionGain, k.conversionGain);
            put16(b, L::p203::kMafFactor, k.mafFactor);
            put16(b, L::p203::kCatalystVolume, k.catalystVolume);
            put16(b, L::p203::kCatalystLength, k.catalystLength);
            put8(b, L::p203::kHeaterLowerLimit, uint8_t(k.heaterLower));
            put8(b, L::p203::kHeaterUpperLimit, uint8_t(k.heaterUpper));
            put8(b, L::p203::kDefreezeLimit, uint8_t(k.defreeze));
            put16(b, L::p203::kProductionDate, s.productionDate);
            put32(b, L::p203::kSerial, s.serial);
            put16(b, L::p203::kTypeNumberHigh, s.typeNumberHigh);
            put16(b, L::p203::kTypeNumberLow, s.typeNumberLow);
            put8(b, L::p203::kPumpSize, s.pumpSize);
            put16(b, L::p203::kMinimumMaf, k.minimumMaf);
            break;
        case 204:
            put16(b, L::p204::kInstallDate, k.installDate);
            put32(b, L::p204::kDashboard, k.dashboard);
            put8(b, L::p204::kHeaterBits, k.heaterBits & 0x07);
            put8(b, L::p204::kBlockedNozzleRestart, k.blockedNozzleRestart);
            put16(b, L::p204::kUserCalibration, k.userCalibration);
            put8(b, L::p204::kEcmAddress, k.ecmAddress);
            put8(b, L::p204::kApplicationType, s.applicationType);
            put8(b, L::p204::kSoftwareMajor, c.software.major);
            put8(b, L::p204::kSoftwareMinor, c.software.minor);
            put8(b, L::p204::kTlOutputSetup, k.tlOutputSetup);
            put16(b, L::p204::kLevelLowLimit, k.levelLowLimit);
            put16(b, L::p204::kLevelEmptyLimit, k.levelEmptyLimit);
            put8(b, L::p204::kLevelSensorSetup, k.levelSensorSetup);
            break;
        case 205:
            put8(b, L::p205::kPumpState, uint8_t(c.pumpStateCode));
            put32(b, L::p205::kFlow, s.flow);
            break;
        case 206:
            put8(b, L::p206::kDosingTimeMinutes, twoMinuteUnits(s.dosingSeconds));
            put16(b, L::p206::kDosingTimeHours, twoHourUnits(s.dosingSeconds));
            put8(b, L::p206::kRunningTimeMinutes, twoMinuteUnits(s.runningSeconds));
            put16(b, L::p206::kRunningTimeHours, twoHourUnits(s.runningSeconds));
            put32(b, L::p206::kPowerOns, s.powerOns);
            put32(b, L::p206::kTotalStrokes, s.totalStrokes);
            put32(b, L::p206::kMinimumFlow, s.minimumFlow);
            put32(b, L::p206::kMaximumFlow, s.maximumFlow);
            put8(b, L::p206::kMaxPcbTemp, uint8_t(s.maxPcbTemp));
            put8(b, L::p206::kMinPcbTemp, uint8_t(s.minPcbTemp));
            put32(b, L::p206::kDosingCount, s.dosingCount);
            put16(b, L::p206::kObdTimeHours, twoHourUnits(s.obdSeconds));
            put8(b, L::p206::kObdTimeMinutes, twoMinuteUnits(s.obdSeconds));
            put24(b, L::p206::kRemainingMilOn, s.remainingMilOn);
            put8(b, L::p206::kRemainingSequences, s.remainingSequences);
            break;
        case 207: {
            const bool low = s.levelCount < k.levelLowLimit;
            const bool empty = s.levelCount < k.levelEmptyLimit;
            uint8_t b0 = L::p207::kPressureSwitch | L::p207::kKeySwitch;
            b0 |= low ? L::p207::kLowLevelSwitch : 0;
            b0 |= empty ? L::p207::kEmptyLevelSwitch : 0;
            b0 |= s.tankHeater ? L::p207::kTankHeater : 0;
            b0 |= s.lineHeater ? L::p207::kLineHeater : 0;
            b0 |= s.valveOpen ? L::p207::kDosingValve : 0;
            uint8_t b1 = 0;
            b1 |= s.lamps[0] == 1 ? L::p207::kMilLamp : 0;
            b1 |= s.lamps[1] == 1 ? L::p207::kUreaLamp : 0;
            b1 |= s.lamps[2] == 1 ? L::p207::kLamp3 : 0;
            b1 |= s.lamps[3] == 1 ? L::p207::kLamp4 : 0;
            b1 |= s.torqueLimiterActive ? L::p207::kTorqueLimiter : 0;
            b[0] = b0;
            b[1] = b1;
            b[2] = static_cast<uint8_t>((s.testModeLevel & 0x3) << L::p207::kTestModeShift);
            // The internal heater runs below 5 degC pump head temperature.
            const uint8_t internalHeater = s.pumpHeadTemp < 50 ? 1 : 0;
            b[3] =
                static_cast<uint8_t>((internalHeater << L::p207::kInternalHeaterShift) |
                                     ((c.purgeReadiness & 0x3) << L::p207::kPurgeReadinessShift));
            break;
        }
        case 208:
            b[0] = c.tlCauses & 0xFF;
            b[1] = (c.tlCauses >> 8) & 0xFF;
            b[2] = (c.tlCauses >> 16) & 0xFF;
            break;
        case 209:
        case 210:
            sensorRecord(b, s.sensors[page - 209]);
            break;
        case 211:
            put16(b, L::p211::kPumpHeadTemp, uint16_t(s.pumpHeadTemp));
            put8(b, L::p211::kPcbTemp, uint8_t(s.pcbTemp));
            put16(b, L::p211::kCatInTemp, uint16_t(s.catInTemp));
            put16(b, L::p211::kCatOutTemp, uint16_t(s.catOutTemp));
            put8(b, L::p211::kUreaTankTemp, uint8_t(s.ureaTankTemp));
            put8(b, L::p211::kBattery, s.battery);
            put16(b, L::p211::kMaf, s.maf);
            put16(b, L::p211::kConversionRatio, s.conversionRatio);
            put16(b, L::p211::kTheoreticalNox, uint16_t(s.theoreticalNox));
            put16(b, L::p211::kAlternatorFrequency, s.alternatorFrequency);
            put16(b, L::p211::kLevelSensorCount, s.levelCount);
            put8(b, L::p211::kAlarmCode, uint8_t(c.alarmCode));
            put16(b, L::p211::kCountdown5s, s.countdown5);
            put16(b, L::p211::kCountdown45s, s.countdown45);
            break;
        case 212:
            put16(b, L::p212::kReduced, k.conversionReduced);
            put16(b, L::p212::kThreshold, k.conversionThreshold);
            put8(b, L::p212::kAveragePeriod, k.conversionPeriod);
            break;
        case 216:
            put8(b, L::p216::kPurgeSequencesMinus1, k.purgeSequencesMinus1);
            put8(b, L::p216::kValveOpenTime, k.valveOpenTime);
            put8(b, L::p216::kValveCloseTime, k.valveCloseTime);
            put8(b, L::p216::kSelections, k.installerSelections());
            put8(b, L::p216::kSelections2, k.installerSelections2());
            put16(b, L::p216::kIdleThreshold, k.idleThreshold);
            put16(b, L::p216::kDivider, k.speedDivider);
            break;
        default:
            break;
    }
    return b;
}

namespace {
Bytes header(uint8_t code, const uint8_t (&h)[7]) {
    Bytes out(L::kHeaderSize, 0);
    std::memcpy(out.data(), h, 7);
    out[L::kCode] = code;
    return out;
}
}  // namespace

Bytes buildAllPages(const PageContext& context, const uint8_t (&h)[7]) {
    Bytes out = header(L::code::kAllPages, h);
    for (uint8_t page = L::code::kFirstPage; page <= L::code::kLastPage; ++page) {
        const Bytes body = buildPageBody(page, context);
        out.insert(out.end(), body.begin(), body.end());
    }
    return out;
}

Bytes buildPageReply(uint8_t page, const PageContext& context, const uint8_t (&h)[7]) {
    Bytes out = header(page, h);
    const Bytes body = buildPageBody(page, context);
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

bool buildParameterReadout(uint16_t id, const PumpState& s, const Bytes& request, Bytes& out) {
    namespace P = L::param;
    const PumpConfig& k = s.config;
    out.assign(L::kHeaderSize, 0);
    put16(out, P::kId, id);
    out[L::kCode] = L::code::kParameterRead;
    const std::size_t v = P::kValue;
    switch (id) {
        case P::kUreaTankHighLimits:
            put8(out, v, uint8_t(k.ureaHighStop));
            put8(out, v + 1, uint8_t(k.ureaHighRestart));
            break;
        case P::kUreaTankLowLimits:
            put8(out, v, uint8_t(k.ureaLowStop));
            put8(out, v + 1, uint8_t(k.ureaLowRestart));
            break;
        case P::kDownstreamNox:
            put8(out, v, k.downstreamNox);
            break;
        case P::kMafSignal:
            put8(out, v, k.mafSignal);
            break;
        case P::kConversionRatioSelection:
            put8(out, v, k.conversionRatioSelection);
            break;
        case P::kIdleThreshold:
            put16(out, v, k.idleThreshold);
            break;
        case P::kSpeedSignalDivider:
            put16(out, v, k.speedDivider);
            break;
        case P::kUreaTankTempSetup:
            put8(out, v, k.ureaTankTempSetup);
            break;
        case P::kRepeatingPrime:
            put8(out, v, k.repeatingPrime);
            break;
        case P::kPurge:
            put8(out, v, k.valveOpenTime);
            put8(out, v + 1, k.valveCloseTime);
            put8(out, v + 2, k.purgeSequencesMinus1);
            break;
        case P::kUdsSurveillance:
            put8(out, v, k.udsSurveillance & 1);
            put8(out, v + 1, (k.udsSurveillance >> 1) & 1);
            break;
        case P::kOnOffMask:
            put32(out, v, k.onOffMask);
            break;
        case P::kImmSeqMask:
            put32(out, v, k.immSeqMask);
            break;
        case P::kEngineSpeedSetup:
            put8(out, v, k.engineSpeedSetup);
            break;
        case P::kUreaTankTempObd:
            put8(out, v, k.ureaTankTempObd);
            break;
        case P::kVinCharacter: {
            const uint8_t position = get8(request, v);
            put8(out, v, position);
            put8(out, v + 1, position < k.vin.size() ? uint8_t(k.vin[position]) : 0);
            put8(out, v + 2, static_cast<uint8_t>(k.vin.size()));
            break;
        }
        case P::kInstallDate:
            put16(out, v, k.installDate);
            break;
        case P::kDashboard:
            put32(out, v, k.dashboard);
            break;
        case P::kBlockedNozzleRestart:
            put8(out, v, k.blockedNozzleRestart);
            break;
        case P::kHeaterSelection:
            put8(out, v, k.heaterBits & 0x07);
            break;
        case P::kHeaterLimits:
            put8(out, v, uint8_t(k.heaterUpper));
            put8(out, v + 1, uint8_t(k.heaterLower));
            put8(out, v + 2, uint8_t(k.defreeze));
            break;
        case P::kCatalystVolume:
            put16(out, v, k.catalystVolume);
            break;
        case P::kCatalystLength:
            put16(out, v, k.catalystLength);
            break;
        case P::kConversionGain:
            put16(out, v, k.conversionGain);
            break;
        case P::kMafFactor:
            put16(out, v, k.mafFactor);
            break;
        case P::kConversionRatio:
            put16(out, v, k.conversionReduced);
            put16(out, v + 2, k.conversionThreshold);
            put8(out, v + 4, k.conversionPeriod);
            break;
        case P::kTlOutputSetup:
            put8(out, v, k.tlOutputSetup);
            break;
        case P::kEcmAddress:
            put8(out, v, k.ecmAddress);
            break;
        case P::kMinimumMaf:
            put16(out, v, k.minimumMaf);
            break;
        case P::kLevelSensor:
            put8(out, v, k.levelSensorSetup);
            put16(out, v + 1, k.levelLowLimit);
            put16(out, v + 3, k.levelEmptyLimit);
            break;
        case P::kDm1Support:
            put8(out, v, k.dm1Support ? 1 : 0);
            break;
        case P::kObdActionWord: {
            const uint8_t index = get8(request, v + 4);
            if (index > 1) {
                return false;
            }
            put32(out, v, static_cast<uint32_t>(k.obdActionMask >> (32 * index)));
            put8(out, v + 4, index);
            break;
        }
        case P::kAirUnitMask:
            put32(out, v, k.airUnitMask);
            break;
        default:
            return false;
    }
    return true;
}

Bytes buildErrorLogRecord(uint16_t number, const PumpState& s) {
    namespace E = L::elog;
    const std::size_t count = s.errorLog.size();
    const bool valid = number >= 1 && number <= count;
    Bytes out(valid ? E::kRecordSize : L::kHeaderSize, 0);
    put16(out, E::kRecordNumber, number);
    put8(out, E::kFlags, valid ? E::kFlagRecord : 0);
    put16(out, E::kRecordCount, static_cast<uint16_t>(count));
    out[L::kCode] = L::code::kErrorLogRecord;
    if (!valid) {
        return out;
    }
    const ErrorLogEntry& e = s.errorLog[number - 1];
    // A log that has reached its capacity says so in every record.
    const bool full = count >= E::kCapacity;
    put16(out, E::kEngineSpeed, e.engineSpeed);
    put32(out, E::kTimeStamp, e.timeStamp);
    put32(out, E::kErrorTime, e.errorTime);
    put16(out, E::kErrorCode,
          static_cast<uint16_t>((e.component & 0x7FFF) | (full ? E::kLogFull : 0)));
    put16(out, E::kPumpHeadTemp, uint16_t(e.pumpHeadTemp));
    put16(out, E::kNoxIn, uint16_t(e.noxIn));
    put16(out, E::kNoxOut, uint16_t(e.noxOut));
    put16(out, E::kCatInTemp, uint16_t(e.catInTemp));
    put16(out, E::kCatOutTemp, uint16_t(e.catOutTemp));
    put16(out, E::kMaf, uint16_t(e.maf));
    put32(out, E::kUreaFlow, e.ureaFlow);
    put16(out, E::kAverageConversionRatio, e.averageConversion);
    put32(out, E::kStateWord, e.stateWord);
    put8(out, E::kStateByte, e.stateByte);
    return out;
}

uint64_t J1939Name::value() const {
    return (uint64_t(identity & 0x1FFFFF)) | (uint64_t(manufacturer & 0x7FF) << 21) |
           (uint64_t(ecuInstance & 0x7) << 32) | (uint64_t(functionInstance & 0x1F) << 35) |
           (uint64_t(function) << 40) | (uint64_t(vehicleSystem & 0x7F) << 49) |
           (uint64_t(vehicleSystemInstance & 0xF) << 56) | (uint64_t(industryGroup & 0x7) << 60) |
           (uint64_t(arbitraryAddress ? 1 : 0) << 63);
}

}  // namespace sim

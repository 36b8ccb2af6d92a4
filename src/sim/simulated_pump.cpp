#include "sim/simulated_pump.h"

#include <algorithm>
#include <cstring>

#include "sim/error_log_image.h"

namespace sim {

namespace L = layout;
namespace C = layout::code;

uint32_t Prng::next() {
    state_ ^= state_ >> 12;
    state_ ^= state_ << 25;
    state_ ^= state_ >> 27;
    return static_cast<uint32_t>((state_ * 0x2545F4914F6CDD1Dull) >> 32);
}

int32_t Prng::step(int32_t span) {
    if (span <= 0) {
        return 0;
    }
    return static_cast<int32_t>(next() % uint32_t(2 * span + 1)) - span;
}

namespace {

template <typename T>
T clampTo(int64_t v, int64_t lo, int64_t hi) {
    return static_cast<T>(std::clamp(v, lo, hi));
}

Bytes reply8(uint8_t code) {
    Bytes r(L::kHeaderSize, 0);
    r[L::kCode] = code;
    return r;
}

Bytes notSupported(uint8_t code) {
    Bytes r = reply8(C::kNotSupported);
    r[L::kLongArg] = code;
    return r;
}

Bytes notAcknowledged() {
    return reply8(C::kNotAcknowledged);
}

Bytes echo(const Bytes& t, std::size_t size) {
    Bytes r(t.begin(), t.begin() + std::min(size, t.size()));
    r.resize(size, 0);
    return r;
}

// Grid rows of the OBD masks (bit n of the ON/OFF mask) of the components the faults touch.
constexpr int kRowUpstreamNox = 3;
constexpr int kRowNozzle = 16;
constexpr int kRowUreaLevel = 18;
constexpr int kRowDownstreamNox = 21;
constexpr int kRowEcm = 25;

// Error-log component indexes the simulated faults write.
constexpr uint16_t kLogUpstreamNox = 3;
constexpr uint16_t kLogNozzle = 16;
constexpr uint16_t kLogUreaLevel = 18;
constexpr uint16_t kLogDownstreamNox = 21;
constexpr uint16_t kLogEcm = 25;

}  // namespace

SimulatedPump::SimulatedPump(PumpOptions options, Output output)
    : options_(std::move(options)), output_(std::move(output)), prng_(options_.seed) {
    initialiseImage();
    updateFlow();
}

void SimulatedPump::initialiseImage() {
    state_.errorLog = generateErrorLog(options_.errorLogRecords, options_.seed);

    // EEPROM: the identity and calibration words first, the rest the pump's tables.
    Prng image(options_.seed ^ 0xE2E2);
    for (auto& w : state_.eeprom) {
        w = static_cast<uint16_t>(image.next());
    }
    state_.eeprom[0] = static_cast<uint16_t>(state_.serial & 0xFFFF);
    state_.eeprom[1] = static_cast<uint16_t>(state_.serial >> 16);
    state_.eeprom[2] = state_.factoryCalibration;
    state_.eeprom[3] = state_.productionDate;
    state_.eeprom[4] = state_.typeNumberHigh;
    state_.eeprom[5] = state_.typeNumberLow;
    state_.eeprom[6] = state_.config.userCalibration;
    state_.eeprom[7] = state_.config.mafFactor;
}

uint64_t SimulatedPump::pumpName() const {
    J1939Name name;
    name.identity = 0x0A000 + options_.address;
    name.manufacturer = 0x2D5;
    name.function = 69;  // exhaust after-treatment
    name.industryGroup = 1;
    return name.value();
}

uint64_t SimulatedPump::sensorName(int side) const {
    J1939Name name;
    name.identity = 0x0B000 + uint32_t(side);
    name.manufacturer = 0x1C3;
    name.ecuInstance = static_cast<uint8_t>(side);
    name.function = 70;
    name.industryGroup = 1;
    return name.value();
}

// ---------------------------------------------------------------------------------------------
// Bus side

void SimulatedPump::emitFrame(const J1939Frame& frame) {
    if (!output_) {
        return;
    }
    if (auto af = encodeFrame(frame)) {
        output_(*af);
    }
}

void SimulatedPump::emitPump(const J1939Frame& frame) {
    if (options_.fault(Fault::Silence) || state_.addressLost) {
        return;
    }
    emitFrame(frame);
}

namespace {
J1939Frame makeFrame(uint8_t source, uint8_t destination, uint32_t pgn, const uint8_t* data,
                     std::size_t length) {
    J1939Frame f;
    f.priority = kJ1939Priority;
    f.source = source;
    f.destination = isPdu2(pgn) ? kGlobalAddress : destination;
    f.pgn = pgn;
    f.length = static_cast<uint8_t>(std::min<std::size_t>(length, 8));
    std::memcpy(f.data, data, f.length);
    return f;
}

J1939Frame claimFrame(uint8_t source, uint64_t name) {
    uint8_t data[8];
    for (int i = 0; i < 8; ++i) {
        data[i] = static_cast<uint8_t>(name >> (8 * i));
    }
    return makeFrame(source, kGlobalAddress, pgn::kAddressClaimed, data, 8);
}

uint64_t nameFromFrame(const J1939Frame& f) {
    uint64_t v = 0;
    for (int i = 0; i < f.length && i < 8; ++i) {
        v |= uint64_t(f.data[i]) << (8 * i);
    }
    return v;
}
}  // namespace

void SimulatedPump::sendMessage(uint8_t source, uint8_t destination, uint32_t pgnValue,
                                const Bytes& data, bool stall) {
    if (data.size() <= 8) {
        emitPump(makeFrame(source, destination, pgnValue, data.data(), data.size()));
        return;
    }
    J1939Message message;
    message.priority = kJ1939Priority;
    message.source = source;
    message.destination = destination;
    message.pgn = pgnValue;
    message.length = static_cast<uint16_t>(std::min(data.size(), kMaxMessageData));
    std::memcpy(message.data, data.data(), message.length);
    TJ1939TransportProtocol packer;
    packer.startSend(message);
    std::vector<J1939Frame> frames;
    J1939Frame f;
    while (packer.nextFrame(f)) {
        frames.push_back(f);
    }
    if (stall && frames.size() > 2) {
        // The announcement and the first half of the packets, then nothing.
        frames.resize(1 + (frames.size() - 1) / 2);
    }
    // One session at a time: a new one starts one gap after the last packet of the previous.
    uint64_t due = nowMs_;
    if (!scheduled_.empty()) {
        due = std::max(due, scheduled_.back().dueMs + options_.tpGapMs);
    }
    for (const auto& frame : frames) {
        scheduled_.push_back({due, frame, destination});
        due += options_.tpGapMs;
    }
    // Whatever is due now leaves at once.
    while (!scheduled_.empty() && scheduled_.front().dueMs <= nowMs_) {
        const J1939Frame frame = scheduled_.front().frame;
        scheduled_.pop_front();
        emitPump(frame);
    }
}

bool SimulatedPump::sessionPending(uint8_t destination) const {
    return std::any_of(scheduled_.begin(), scheduled_.end(),
                       [destination](const Scheduled& s) { return s.destination == destination; });
}

void SimulatedPump::claimPump() {
    emitPump(claimFrame(options_.address, pumpName()));
}

void SimulatedPump::claimSensor(int side) {
    if (!options_.sensors || sensorLost_[side]) {
        return;
    }
    emitFrame(claimFrame(side == 0 ? kUpstreamSensorAddress : kDownstreamSensorAddress,
                         sensorName(side)));
}

void SimulatedPump::claimToolAddress() {
    emitPump(claimFrame(kToolAddress, kImpostorName));
}

void SimulatedPump::start() {
    claimPump();
    claimSensor(0);
    claimSensor(1);
    if (options_.fault(Fault::ClaimToolAddress)) {
        claimToolAddress();
    }
}

void SimulatedPump::setFault(Fault f, bool on) {
    const bool was = options_.fault(f);
    options_.setFault(f, on);
    if (on && !was) {
        switch (f) {
            case Fault::ClaimToolAddress:
                claimToolAddress();
                break;
            case Fault::NozzleBlocked:
                addErrorLogEntry(kLogNozzle);
                break;
            case Fault::UreaEmpty:
                addErrorLogEntry(kLogUreaLevel);
                break;
            case Fault::EcmTimeout:
                addErrorLogEntry(kLogEcm);
                break;
            default:
                break;
        }
    }
}

void SimulatedPump::onFrame(const AdapterFrame& adapterFrame) {
    auto decoded = decodeFrame(adapterFrame);
    if (!decoded) {
        return;
    }
    const J1939Frame& f = *decoded;
    if (isPdu2(f.pgn)) {
        return;  // broadcasts of other nodes: nothing the pump acts on
    }
    switch (pduFormatOf(f.pgn)) {
        case pgn::kAddressClaimed:
            onAddressClaimed(f);
            break;
        case pgn::kRequest:
            onRequest(f);
            break;
        case pgn::kTpCm:
        case pgn::kTpDt:
            onTransport(f);
            break;
        case pgn::kProprietaryA:
            if ((f.destination == options_.address || f.destination == kGlobalAddress) &&
                f.source != options_.address && !state_.addressLost) {
                onTelegram(Bytes(f.data, f.data + f.length));
            }
            break;
        default:
            break;
    }
}

void SimulatedPump::onAddressClaimed(const J1939Frame& f) {
    if (f.source == kGlobalAddress) {
        // The tool's probe: everybody on the bus says who they are.
        claimPump();
        claimSensor(0);
        claimSensor(1);
        if (options_.fault(Fault::ClaimToolAddress)) {
            claimToolAddress();
        }
        return;
    }
    const uint64_t theirs = nameFromFrame(f);
    if (f.source == options_.address && !state_.addressLost) {
        const uint64_t ours = pumpName();
        if (theirs == ours) {
            return;
        }
        if (ours < theirs) {
            claimPump();  // the lower NAME keeps the address
        } else {
            // Not arbitrary-address capable: say so from the null address and fall silent.
            emitFrame(claimFrame(kCannotClaimAddress, ours));
            state_.addressLost = true;
        }
        return;
    }
    for (int side = 0; side < 2; ++side) {
        const uint8_t address = side == 0 ? kUpstreamSensorAddress : kDownstreamSensorAddress;
        if (f.source == address && options_.sensors && !sensorLost_[side]) {
            const uint64_t ours = sensorName(side);
            if (theirs == ours) {
                return;
            }
            if (ours < theirs) {
                claimSensor(side);
            } else {
                emitFrame(claimFrame(kCannotClaimAddress, ours));
                sensorLost_[side] = true;
            }
        }
    }
}

void SimulatedPump::onRequest(const J1939Frame& f) {
    if (f.length < 3) {
        return;
    }
    const uint32_t requested = f.data[0] | (f.data[1] << 8) | (uint32_t(f.data[2]) << 16);
    const bool toPump = f.destination == options_.address || f.destination == kGlobalAddress;
    if (requested == pgn::kAddressClaimed) {
        if (toPump) {
            claimPump();
        }
        if (f.destination == kUpstreamSensorAddress || f.destination == kGlobalAddress) {
            claimSensor(0);
        }
        if (f.destination == kDownstreamSensorAddress || f.destination == kGlobalAddress) {
            claimSensor(1);
        }
        if (f.destination == kGlobalAddress && options_.fault(Fault::ClaimToolAddress)) {
            claimToolAddress();
        }
        return;
    }
    if (!toPump || state_.addressLost) {
        return;
    }
    switch (requested) {
        case pgn::kSoftwareId:
            if (!sessionPending(kGlobalAddress)) {
                sendMessage(options_.address, kGlobalAddress, pgn::kSoftwareId,
                            softwareIdentification(), false);
            }
            break;
        case pgn::kVehicleId:
            if (!sessionPending(kGlobalAddress)) {
                sendMessage(options_.address, kGlobalAddress, pgn::kVehicleId,
                            vehicleIdentification(), false);
            }
            break;
        case pgn::kProprietaryA:
            answerReplyRequest(f.source);
            break;
        default:
            break;
    }
}

void SimulatedPump::onTransport(const J1939Frame& f) {
    if ((f.destination != options_.address && f.destination != kGlobalAddress) ||
        state_.addressLost) {
        return;
    }
    auto& session = reassembly_[f.source];
    if (pduFormatOf(f.pgn) == pgn::kTpCm) {
        const uint8_t control = f.length > 0 ? f.data[0] : 0;
        if (control != 16 && control != 32) {
            reassembly_.erase(f.source);  // abort, or a handshake the pump never asked for
            return;
        }
        session = std::make_unique<TJ1939TransportProtocol>([this] { return nowMs_; });
    }
    if (!session) {
        reassembly_.erase(f.source);
        return;  // packets without an announcement
    }
    session->feedFrame(f);
    J1939Message message;
    if (session->takeCompleted(message)) {
        reassembly_.erase(f.source);
        if (pduFormatOf(message.pgn) == pgn::kProprietaryA && f.source != options_.address) {
            onTelegram(Bytes(message.data, message.data + message.length));
        }
    }
}

const Bytes& SimulatedPump::currentReply() const {
    if (options_.fault(Fault::StaleReplies) && nowMs_ < replyTimeMs_ + options_.staleReplyMs) {
        return previousReply_;
    }
    return reply_;
}

void SimulatedPump::answerReplyRequest(uint8_t requester) {
    const Bytes& reply = currentReply();
    if (reply.empty() || sessionPending(requester)) {
        return;
    }
    if (options_.fault(Fault::Silence)) {
        return;
    }
    if (options_.fault(Fault::DropReplies) && droppedSerial_ != replySerial_) {
        droppedSerial_ = replySerial_;
        return;
    }
    bool stall = false;
    if (options_.fault(Fault::TpStall) && reply.size() > 8 && stalledSerial_ != replySerial_) {
        stalledSerial_ = replySerial_;
        stall = true;
    }
    const Bytes copy = reply;  // the buffer may change while the session is paced out
    sendMessage(options_.address, requester, pgn::kProprietaryA, copy, stall);
}

Bytes SimulatedPump::softwareIdentification() const {
    // One identification field, delimited by "*".
    std::string text = "DOSARIS SCR " + std::to_string(options_.software.major) + "." +
                       (options_.software.minor < 10 ? "0" : "") +
                       std::to_string(options_.software.minor) + "*";
    Bytes out(1 + text.size(), 1);
    std::copy(text.begin(), text.end(), out.begin() + 1);
    return out;
}

Bytes SimulatedPump::vehicleIdentification() const {
    Bytes out(state_.config.vin.begin(), state_.config.vin.end());
    out.push_back('*');
    return out;
}

// ---------------------------------------------------------------------------------------------
// Service telegrams

void SimulatedPump::onTelegram(const Bytes& telegram) {
    if (telegram.size() < L::kHeaderSize) {
        return;  // no code: nothing the pump can answer
    }
    Bytes reply = options_.fault(Fault::Reply255) ? notAcknowledged() : handleTelegram(telegram);
    if (reply.empty()) {
        return;
    }
    if (options_.fault(Fault::CorruptEcho)) {
        corruptEcho(reply[L::kCode], reply);
    }
    previousReply_ = currentReply();
    reply_ = std::move(reply);
    replyTimeMs_ = nowMs_;
    ++replySerial_;
}

void SimulatedPump::corruptEcho(uint8_t code, Bytes& r) const {
    std::size_t at = 0;
    switch (code) {
        case C::kSetFlow:
        case C::kUserCalibration:
        case C::kObdActionWord:
        case C::kAirUnitMask:
            at = L::kLongArg;
            break;
        case C::kDm1Support:
            at = L::kByteArg;
            break;
        case C::kParameterWrite:
            at = L::param::kValue;
            break;
        case C::kMiMasks:
            at = L::kHeaderSize;
            break;
        case C::kConfigOld:
        case C::kConfigNew:
            at = r.size() - 1;
            break;
        default:
            return;
    }
    if (at < r.size()) {
        r[at] ^= 0x01;
    }
}

void SimulatedPump::stopOutputs() {
    state_.pumpRunning = false;
    state_.calibrationRun = false;
    if (!options_.fault(Fault::ValveStuck)) {
        state_.valveOpen = false;
    }
    state_.heaterTest = false;
    state_.tankHeater = false;
    state_.lineHeater = false;
    state_.lamps = {0, 0, 0, 0};
    updateFlow();
}

void SimulatedPump::enterNormalMode() {
    stopOutputs();
    state_.testModeLevel = 0;
    state_.pumpRunning = true;
    if (!options_.fault(Fault::ValveStuck)) {
        state_.valveOpen = true;
    }
    updateFlow();
}

Bytes SimulatedPump::handleTelegram(const Bytes& t) {
    const uint8_t code = t[L::kCode];
    const uint32_t longArg = get32(t, L::kLongArg);
    const uint16_t wordArg = get16(t, L::kWordArg);
    const uint8_t byteArg = t[L::kByteArg];
    const SoftwareVersion sw = options_.software;
    const bool inTest = state_.testModeLevel != 0;
    PumpConfig& k = state_.config;

    switch (code) {
        case C::kTestMode: {
            const bool customer = sw.customerAccess() && options_.customerAccessMode;
            if (!inTest) {
                stopOutputs();
            }
            state_.testModeLevel = customer ? 2 : 1;
            Bytes r = reply8(C::kTestMode);
            r[L::kByteArg] = customer ? 1 : 0;
            return r;
        }
        case C::kReset:
            if (state_.diagnosticClearPending) {
                state_.diagnosticClearPending = false;
                state_.errorLog.clear();
                state_.obdSeconds = 0;
            }
            enterNormalMode();
            ++state_.powerOns;
            // A reset has no reply of its own: the pump reports that it is back in normal mode.
            return reply8(C::kNormalMode);
        case C::kStartPump:
            if (!inTest) {
                return notAcknowledged();
            }
            state_.pumpRunning = true;
            state_.calibrationRun = false;
            state_.bucketGrams = 0;
            updateFlow();
            return echo(t, 8);
        case C::kStopPump:
            if (inTest) {
                state_.pumpRunning = false;
                state_.calibrationRun = false;
                updateFlow();
            }
            return echo(t, 8);
        case C::kSetFlow:
            if (!inTest) {
                return notAcknowledged();
            }
            state_.setFlow = longArg;
            if (longArg > 0) {
                state_.minimumFlow = std::min(state_.minimumFlow, longArg);
                state_.maximumFlow = std::max(state_.maximumFlow, longArg);
            }
            updateFlow();
            return echo(t, 8);
        case C::kValve: {
            if (!inTest) {
                return notAcknowledged();
            }
            if (!options_.fault(Fault::ValveStuck)) {
                state_.valveOpen = byteArg != 0;
            }
            Bytes r = echo(t, 8);
            r[L::kByteArg] = state_.valveOpen ? 1 : 0;
            return r;
        }
        case C::kHeaterTest:
            if (!inTest) {
                return notAcknowledged();
            }
            state_.heaterTest = byteArg == 0;
            if (!state_.heaterTest) {
                state_.tankHeater = false;
                state_.lineHeater = false;
            }
            return echo(t, 8);
        case C::kHeaterOutputs: {
            if (!inTest) {
                return notAcknowledged();
            }
            // Without an external heater there is nothing to switch.
            const bool present = (k.heaterBits & 0x01) != 0;
            auto apply = [present](uint8_t command, bool& output) {
                if (command <= 1) {
                    output = present && command == 1;
                }
            };
            apply(t[0], state_.tankHeater);
            apply(t[1], state_.lineHeater);
            Bytes r = reply8(C::kHeaterOutputs);
            r[0] = state_.tankHeater ? 1 : 0;
            r[1] = state_.lineHeater ? 1 : 0;
            return r;
        }
        case C::kLamps: {
            if (!inTest) {
                return notAcknowledged();
            }
            Bytes r = reply8(C::kLamps);
            for (int i = 0; i < 4; ++i) {
                if (t[i] <= 1) {
                    state_.lamps[i] = t[i];
                }
                r[i] = state_.lamps[i];
            }
            return r;
        }
        case C::kUserCalibrationRun:
            if (!inTest) {
                return notAcknowledged();
            }
            state_.pumpRunning = true;
            state_.calibrationRun = true;
            state_.bucketGrams = 0;
            updateFlow();
            return echo(t, 8);
        case C::kUserCalibration: {
            if (!inTest) {
                return notAcknowledged();
            }
            const uint16_t mass = get16(t, 0);
            if (mass < L::kMinUserCalibration || mass > L::kMaxUserCalibration) {
                return notAcknowledged();
            }
            k.userCalibration = mass;
            state_.eeprom[6] = mass;
            return echo(t, 8);
        }
        case C::kErrorLogRecord: {
            const uint16_t number = get16(t, 0);
            errorLogRequested_ = number;
            if (options_.fault(Fault::ErrorLogNotReady)) {
                errorLogReadyMs_ = nowMs_ + options_.errorLogNotReadyMs;
                Bytes r = reply8(C::kErrorLogRecord);
                put16(r, L::elog::kRecordNumber, number);
                r[L::elog::kFlags] = L::elog::kFlagNotReady;
                put16(r, L::elog::kRecordCount, static_cast<uint16_t>(state_.errorLog.size()));
                return r;
            }
            return buildErrorLogRecord(number, state_);
        }
        case C::kEepromWord: {
            Bytes r = reply8(C::kEepromWord);
            put32(r, L::kLongArg, longArg);
            const bool valid = longArg < L::kEepromWords;
            put16(r, L::kWordArg, valid ? state_.eeprom[longArg] : 0);
            r[L::kByteArg] = valid ? 1 : 0;
            return r;
        }
        case C::kConfigOld:
            if (!sw.oldLayout()) {
                return notSupported(code);
            }
            return inTest ? handleConfigOld(t) : notAcknowledged();
        case C::kDiagnosticClear:
            if (longArg != L::kDiagnosticClearArg) {
                return notAcknowledged();
            }
            state_.diagnosticClearPending = true;
            {
                Bytes r = reply8(C::kDiagnosticClear);
                put32(r, L::kLongArg, L::kDiagnosticClearArg);
                return r;
            }
        case C::kConfigNew:
            if (sw.oldLayout()) {
                return notSupported(code);
            }
            return inTest ? handleConfigNew(t) : notAcknowledged();
        case C::kMiMasks:
        case C::kReadMiMasks: {
            if (code == C::kMiMasks) {
                if (!inTest || t.size() < 16) {
                    return notAcknowledged();
                }
                k.onOffMask = get32(t, 8) & L::mask::kMiValid;
                k.immSeqMask = get32(t, 12) & L::mask::kMiValid;
            }
            Bytes r = echo(t, 8);
            r.resize(16, 0);
            put32(r, 8, k.onOffMask);
            put32(r, 12, k.immSeqMask);
            return r;
        }
        case C::kDm1Support:
        case C::kReadDm1Support: {
            if (code == C::kDm1Support) {
                if (!inTest || byteArg > 1) {
                    return notAcknowledged();
                }
                if (!options_.dm1SupportFixed) {
                    k.dm1Support = byteArg == 1;
                }
            }
            Bytes r = reply8(code);
            r[L::kByteArg] = k.dm1Support ? 1 : 0;
            return r;
        }
        case C::kObdActionWord:
        case C::kReadObdActionWord: {
            const uint16_t index = wordArg;
            if (index > 1) {
                return notAcknowledged();
            }
            const int shift = 32 * index;
            if (code == C::kObdActionWord) {
                if (!inTest) {
                    return notAcknowledged();
                }
                uint64_t m = k.obdActionMask & ~(uint64_t(0xFFFFFFFF) << shift);
                m |= uint64_t(longArg) << shift;
                k.obdActionMask = (m & L::mask::kObdActionValid) | L::mask::kObdActionFixed;
            }
            Bytes r = reply8(code);
            put32(r, L::kLongArg, static_cast<uint32_t>(k.obdActionMask >> shift));
            put16(r, L::kWordArg, index);
            return r;
        }
        case C::kAirUnitMask:
        case C::kReadAirUnitMask: {
            if (code == C::kAirUnitMask) {
                if (!inTest) {
                    return notAcknowledged();
                }
                k.airUnitMask = (longArg & L::mask::kAirUnitValid) | L::mask::kAirUnitFixed;
            }
            Bytes r = reply8(code);
            put32(r, L::kLongArg, k.airUnitMask);
            return r;
        }
        case C::kParameterWrite:
            return handleParameterWrite(t);
        case C::kParameterRead: {
            if (!sw.parameterReadout()) {
                return notSupported(code);
            }
            const uint16_t id = get16(t, L::param::kId);
            if (!sw.parameterWrites() && id > L::param::kUreaTankLowLimits) {
                return notAcknowledged();
            }
            Bytes r;
            if (!buildParameterReadout(id, state_, Bytes(t.begin(), t.begin() + 8), r)) {
                return notAcknowledged();
            }
            return r;
        }
        case C::kAllPages: {
            uint8_t header[7];
            std::memcpy(header, t.data(), 7);
            return buildAllPages(pageContext(), header);
        }
        default:
            break;
    }
    if ((code >= C::kFirstPage && code <= C::kLastPage) ||
        (code == C::kInstallerPage && sw.installerPage())) {
        uint8_t header[7];
        std::memcpy(header, t.data(), 7);
        return buildPageReply(code, pageContext(), header);
    }
    return notSupported(code);
}

Bytes SimulatedPump::handleParameterWrite(const Bytes& t) {
    namespace P = L::param;
    const SoftwareVersion sw = options_.software;
    if (!sw.parameterReadout()) {
        return notSupported(C::kParameterWrite);
    }
    const uint16_t id = get16(t, P::kId);
    if ((!sw.parameterWrites() && id > P::kUreaTankLowLimits) || id > P::kLast ||
        state_.testModeLevel == 0) {
        return notAcknowledged();
    }
    PumpConfig& k = state_.config;
    const std::size_t v = P::kValue;
    auto s8 = [&](std::size_t at) { return static_cast<int8_t>(get8(t, at)); };
    switch (id) {
        case P::kUreaTankHighLimits:
            k.ureaHighStop = s8(v);
            k.ureaHighRestart = s8(v + 1);
            break;
        case P::kUreaTankLowLimits:
            k.ureaLowStop = s8(v);
            k.ureaLowRestart = s8(v + 1);
            break;
        case P::kDownstreamNox:
            k.downstreamNox = get8(t, v) & 1;
            break;
        case P::kMafSignal:
            k.mafSignal = get8(t, v) & 1;
            break;
        case P::kConversionRatioSelection:
            k.conversionRatioSelection = get8(t, v) & 1;
            break;
        case P::kIdleThreshold:
            k.idleThreshold = get16(t, v);
            break;
        case P::kSpeedSignalDivider:
            k.speedDivider = get16(t, v);
            break;
        case P::kUreaTankTempSetup:
            k.ureaTankTempSetup = get8(t, v) & 3;
            break;
        case P::kRepeatingPrime:
            k.repeatingPrime = get8(t, v) & 1;
            break;
        case P::kPurge:
            k.valveOpenTime = get8(t, v);
            k.valveCloseTime = get8(t, v + 1);
            k.purgeSequencesMinus1 = get8(t, v + 2);
            break;
        case P::kUdsSurveillance:
            k.udsSurveillance =
                static_cast<uint8_t>((get8(t, v) & 1) | ((get8(t, v + 1) & 1) << 1));
            break;
        case P::kOnOffMask:
            k.onOffMask = get32(t, v) & L::mask::kMiValid;
            break;
        case P::kImmSeqMask:
            k.immSeqMask = get32(t, v) & L::mask::kMiValid;
            break;
        case P::kEngineSpeedSetup:
            k.engineSpeedSetup = get8(t, v) & 3;
            break;
        case P::kUreaTankTempObd:
            k.ureaTankTempObd = get8(t, v) & 3;
            break;
        case P::kVinCharacter: {
            const uint8_t position = get8(t, v);
            const std::size_t length = std::min<std::size_t>(get8(t, v + 2), L::c163::kMaxVin);
            if (position >= length) {
                return notAcknowledged();
            }
            if (position == 0) {
                k.vin.assign(length, ' ');
            } else if (k.vin.size() != length) {
                k.vin.resize(length, ' ');
            }
            k.vin[position] = static_cast<char>(get8(t, v + 1));
            break;
        }
        case P::kInstallDate:
            k.installDate = get16(t, v);
            break;
        case P::kDashboard:
            k.dashboard = get32(t, v);
            break;
        case P::kBlockedNozzleRestart:
            k.blockedNozzleRestart = get8(t, v);
            break;
        case P::kHeaterSelection:
            k.heaterBits = get8(t, v) & 0x07;
            break;
        case P::kHeaterLimits:
            k.heaterUpper = s8(v);
            k.heaterLower = s8(v + 1);
            k.defreeze = s8(v + 2);
            break;
        case P::kCatalystVolume:
            k.catalystVolume = get16(t, v);
            break;
        case P::kCatalystLength:
            k.catalystLength = get16(t, v);
            break;
        case P::kConversionGain:
            k.conversionGain = get16(t, v);
            break;
        case P::kMafFactor:
            k.mafFactor = get16(t, v);
            state_.eeprom[7] = k.mafFactor;
            break;
        case P::kConversionRatio:
            k.conversionReduced = get16(t, v);
            k.conversionThreshold = get16(t, v + 2);
            k.conversionPeriod = get8(t, v + 4);
            break;
        case P::kTlOutputSetup:
            k.tlOutputSetup = get8(t, v);
            break;
        case P::kEcmAddress:
            k.ecmAddress = get8(t, v);
            break;
        case P::kMinimumMaf:
            k.minimumMaf = get16(t, v);
            break;
        case P::kLevelSensor:
            k.levelSensorSetup = get8(t, v);
            k.levelLowLimit = get16(t, v + 1);
            k.levelEmptyLimit = get16(t, v + 3);
            break;
        case P::kDm1Support:
            k.dm1Support = get8(t, v) == 1;
            break;
        case P::kObdActionWord: {
            const uint8_t index = get8(t, v + 4);
            if (index > 1) {
                return notAcknowledged();
            }
            const int shift = 32 * index;
            uint64_t m = k.obdActionMask & ~(uint64_t(0xFFFFFFFF) << shift);
            m |= uint64_t(get32(t, v)) << shift;
            k.obdActionMask = (m & L::mask::kObdActionValid) | L::mask::kObdActionFixed;
            break;
        }
        case P::kAirUnitMask:
            k.airUnitMask = (get32(t, v) & L::mask::kAirUnitValid) | L::mask::kAirUnitFixed;
            break;
        default:
            return notAcknowledged();
    }
    // The echo repeats the telegram as received, all 8 bytes.
    return echo(t, 8);
}

Bytes SimulatedPump::handleConfigOld(const Bytes& t) {
    namespace O = L::c147;
    if (t.size() < O::kSize) {
        return notAcknowledged();
    }
    PumpConfig& k = state_.config;
    k.mafFactor = get16(t, O::kMafFactor);
    if (get8(t, O::kWriteDate) != 0) {
        k.installDate = get16(t, O::kDate);
    }
    if (get8(t, O::kWriteDashboard) != 0) {
        k.dashboard = get32(t, O::kDashboard);
    }
    k.heaterBits =
        static_cast<uint8_t>((k.heaterBits & ~0x01) | (get8(t, O::kExternalHeater) & 0x01));
    k.heaterUpper = static_cast<int8_t>(get8(t, O::kHeaterUpper));
    k.heaterLower = static_cast<int8_t>(get8(t, O::kHeaterLower));
    k.conversionReduced = get16(t, O::kReduced);
    k.conversionThreshold = get16(t, O::kThreshold);
    k.conversionPeriod = get8(t, O::kAveragePeriod);
    k.conversionGain = get16(t, O::kConversionGain);
    k.blockedNozzleRestart = get8(t, O::kBlockedNozzleRestart);
    k.catalystVolume = get16(t, O::kCatalystVolume);
    k.catalystLength = get16(t, O::kCatalystLength);
    const std::size_t n = std::min<std::size_t>(get8(t, O::kVinLength), O::kMaxVin);
    k.vin.assign(t.begin() + O::kVin, t.begin() + O::kVin + n);
    return echo(t, O::kSize);
}

Bytes SimulatedPump::handleConfigNew(const Bytes& t) {
    namespace N = L::c163;
    if (t.size() < N::kSize) {
        return notAcknowledged();
    }
    PumpConfig& k = state_.config;
    if (get8(t, N::kWriteDate) != 0) {
        k.installDate = get16(t, N::kDate);
    }
    if (get8(t, N::kWriteDashboard) != 0) {
        k.dashboard = get32(t, N::kDashboard);
    }
    const std::size_t n = std::min<std::size_t>(get8(t, N::kVinLength), N::kMaxVin);
    k.vin.assign(t.begin() + N::kVin, t.begin() + N::kVin + n);
    k.heaterBits = get8(t, N::kHeaterBits) & 0x07;
    k.heaterUpper = static_cast<int8_t>(get8(t, N::kHeaterUpper));
    k.heaterLower = static_cast<int8_t>(get8(t, N::kHeaterLower));
    k.defreeze = static_cast<int8_t>(get8(t, N::kDefreeze));
    k.conversionReduced = get16(t, N::kReduced);
    k.conversionThreshold = get16(t, N::kThreshold);
    k.conversionPeriod = get8(t, N::kAveragePeriod);
    k.blockedNozzleRestart = get8(t, N::kBlockedNozzleRestart);
    k.conversionGain = get16(t, N::kConversionGain);
    k.catalystVolume = get16(t, N::kCatalystVolume);
    k.catalystLength = get16(t, N::kCatalystLength);
    k.mafFactor = get16(t, N::kMafFactor);
    k.ecmAddress = get8(t, N::kEcmAddress);
    k.minimumMaf = get16(t, N::kMinimumMaf);
    k.levelLowLimit = get16(t, N::kLevelLowLimit);
    k.levelEmptyLimit = get16(t, N::kLevelEmptyLimit);
    k.levelSensorSetup = get8(t, N::kLevelSensorSetup);
    k.tlOutputSetup = get8(t, N::kTlOutputSetup);
    const std::size_t b = N::kInstallerBlock;
    k.purgeSequencesMinus1 = get8(t, b + L::p216::kPurgeSequencesMinus1);
    k.valveOpenTime = get8(t, b + L::p216::kValveOpenTime);
    k.valveCloseTime = get8(t, b + L::p216::kValveCloseTime);
    k.setInstallerSelections(get8(t, b + L::p216::kSelections), get8(t, b + L::p216::kSelections2));
    k.idleThreshold = get16(t, b + L::p216::kIdleThreshold);
    k.speedDivider = get16(t, b + L::p216::kDivider);
    return echo(t, N::kSize);
}

// ---------------------------------------------------------------------------------------------
// The simulated world

bool SimulatedPump::sensorLinkLost(int side) const {
    const auto& view = state_.sensors[side];
    if (!view.received) {
        return nowMs_ > kSensorTimeoutMs;
    }
    return nowMs_ - view.lastMs > kSensorTimeoutMs;
}

uint64_t SimulatedPump::obdStates() const {
    namespace B = L::p201;
    uint64_t bits = 0;
    if (sensorLinkLost(0)) {
        bits |= uint64_t(B::kLinkCommunicationError) << B::kUpstreamNox;
    }
    if (sensorLinkLost(1)) {
        bits |= uint64_t(B::kLinkCommunicationError) << B::kDownstreamNox;
    }
    if (options_.fault(Fault::NozzleBlocked)) {
        bits |= uint64_t(1) << B::kNozzle;
    }
    if (options_.fault(Fault::UreaEmpty)) {
        bits |= uint64_t(B::kLevelEmpty) << B::kUreaTankLevel;
    }
    if (options_.fault(Fault::EcmTimeout)) {
        bits |= uint64_t(1) << B::kEcmCommunication;
    }
    return bits;
}

uint32_t SimulatedPump::torqueLimiterCauses() const {
    namespace T = L::p208;
    uint32_t bits = 0;
    bits |= sensorLinkLost(0) ? 1u << T::kNoxIn : 0;
    bits |= sensorLinkLost(1) ? 1u << T::kNoxOut : 0;
    bits |= options_.fault(Fault::NozzleBlocked) ? 1u << T::kNozzle : 0;
    bits |= options_.fault(Fault::UreaEmpty) ? 1u << T::kUreaLevel : 0;
    bits |= options_.fault(Fault::EcmTimeout) ? 1u << T::kEcmCommunication : 0;
    return bits;
}

int8_t SimulatedPump::alarmCode() const {
    if (options_.fault(Fault::UreaEmpty)) {
        return L::alarm::kUreaEmpty;
    }
    if (options_.fault(Fault::EcmTimeout)) {
        return L::alarm::kCanTimeout;
    }
    return L::alarm::kNone;
}

PageContext SimulatedPump::pageContext() const {
    PageContext c{state_, options_.software};
    c.obdStates = obdStates();
    c.tlCauses = torqueLimiterCauses();
    c.alarmCode = alarmCode();
    if (state_.testModeLevel == 0) {
        c.pumpStateCode = state_.flow > 0 ? pump_state::kDosing : pump_state::kPumpOff;
    } else if (state_.calibrationRun) {
        c.pumpStateCode = pump_state::kCalibrating;
    } else {
        c.pumpStateCode =
            state_.testModeLevel == 2 ? pump_state::kOverride : pump_state::kOverrideFinalTest;
    }
    return c;
}

void SimulatedPump::updateFlow() {
    if (!state_.pumpRunning || options_.fault(Fault::UreaEmpty)) {
        state_.flow = 0;
    } else if (state_.testModeLevel != 0) {
        state_.flow = state_.setFlow;
    } else {
        // On its own the pump doses for the engine's NOx: roughly proportional to the MAF.
        state_.flow = uint32_t(state_.maf) * 350 + uint32_t(state_.theoreticalNox) * 10;
    }
}

void SimulatedPump::addErrorLogEntry(uint16_t component) {
    if (state_.errorLog.size() >= L::elog::kCapacity) {
        return;
    }
    ErrorLogEntry e;
    e.component = component;
    e.timeStamp = static_cast<uint32_t>(state_.runningSeconds / 120);
    e.errorTime = static_cast<uint32_t>(nowMs_ / 1000);
    e.engineSpeed =
        static_cast<uint16_t>(std::min<uint32_t>(state_.alternatorFrequency * 27, 0xFFFF));
    e.pumpHeadTemp = state_.pumpHeadTemp;
    e.noxIn = state_.theoreticalNox;
    e.noxOut = static_cast<int16_t>(state_.theoreticalNox * (100 - state_.conversionRatio) / 100);
    e.catInTemp = state_.catInTemp;
    e.catOutTemp = state_.catOutTemp;
    e.maf = static_cast<int16_t>(state_.maf);
    e.ureaFlow = state_.flow;
    e.averageConversion = state_.conversionRatio;
    e.stateWord = static_cast<uint32_t>(obdStates());
    e.stateByte = static_cast<uint8_t>(obdStates() >> 32);
    state_.errorLog.push_back(e);
}

void SimulatedPump::sendSensorMessage(int side) {
    const Fault silent = side == 0 ? Fault::UpstreamSilent : Fault::DownstreamSilent;
    if (!options_.sensors || sensorLost_[side] || options_.fault(silent)) {
        return;
    }
    // Upstream sees the engine's NOx, downstream what the catalyst leaves of it.
    const int32_t span = side == 0 ? 40 : 16;
    const int32_t lo = side == 0 ? 16000 : 4500;
    const int32_t hi = side == 0 ? 26000 : 8000;
    sensorNoxRaw_[side] = clampTo<uint16_t>(sensorNoxRaw_[side] + prng_.step(span), lo, hi);
    sensorO2Raw_[side] = clampTo<uint16_t>(sensorO2Raw_[side] + prng_.step(20), 40000, 46000);
    std::array<uint8_t, 8> m{};
    m[L::nox::kNoxRaw] = sensorNoxRaw_[side] & 0xFF;
    m[L::nox::kNoxRaw + 1] = sensorNoxRaw_[side] >> 8;
    m[L::nox::kO2Raw] = sensorO2Raw_[side] & 0xFF;
    m[L::nox::kO2Raw + 1] = sensorO2Raw_[side] >> 8;
    m[L::nox::kStatus] = L::nox::kAllValid;
    m[L::nox::kHeater] = 0x80 | L::nox::kFmiNoError;  // automatic heater mode, no error
    m[L::nox::kNoxError] = 0xE0 | L::nox::kFmiNoError;
    m[L::nox::kO2Error] = 0xE0 | L::nox::kFmiNoError;
    const uint8_t source = side == 0 ? kUpstreamSensorAddress : kDownstreamSensorAddress;
    const uint32_t group = side == 0 ? pgn::kIntakeGas : pgn::kOutletGas;
    emitFrame(makeFrame(source, kGlobalAddress, group, m.data(), m.size()));
    // The pump listens to both sensors on the same bus.
    auto& view = state_.sensors[side];
    view.message = m;
    view.received = true;
    view.lastMs = nowMs_;
}

void SimulatedPump::fillBucket(uint32_t ms) {
    PumpState& s = state_;
    if (s.testModeLevel == 0 || !s.valveOpen || s.flow == 0) {
        return;
    }
    // Water: one gram a millilitre. The flow is in 0.01 ml/h.
    double delivered = double(s.flow) * options_.deliveryPermille / 1000.0;
    if (!s.calibrationRun) {
        delivered = delivered * L::kDefaultUserCalibration /
                    std::max<uint16_t>(s.config.userCalibration, 1);
    }
    s.bucketGrams += delivered * ms / (100.0 * 3600.0 * 1000.0);
}

void SimulatedPump::onDrift() {
    PumpState& s = state_;
    s.pumpHeadTemp = clampTo<int16_t>(s.pumpHeadTemp + prng_.step(2), 180, 330);
    s.catInTemp = clampTo<int16_t>(s.catInTemp + prng_.step(2), 240, 420);
    s.catOutTemp =
        clampTo<int16_t>(std::min<int>(s.catOutTemp + prng_.step(2), s.catInTemp), 220, 400);
    s.maf = clampTo<uint16_t>(s.maf + prng_.step(6), 150, 900);
    s.alternatorFrequency = clampTo<uint16_t>(s.alternatorFrequency + prng_.step(3), 380, 520);
    s.theoreticalNox = clampTo<int16_t>(s.theoreticalNox + prng_.step(6), 500, 1100);
    s.conversionRatio = clampTo<uint16_t>(s.conversionRatio + prng_.step(1), 70, 95);
    if (options_.fault(Fault::UreaEmpty)) {
        s.levelCount = 60;
    } else {
        s.levelCount =
            clampTo<uint16_t>(std::max<int>(s.levelCount, 580) + prng_.step(1), 580, 640);
    }
    updateFlow();
    fillBucket(100);
    // Strokes: one per factory-calibrated volume (factoryCalibration x 0.0001 ml).
    const uint64_t strokeUnit = uint64_t(std::max<uint16_t>(s.factoryCalibration, 1)) * 36000;
    strokeVolume_ += uint64_t(s.flow) * 100;
    const uint64_t strokes = strokeVolume_ / strokeUnit;
    strokeVolume_ %= strokeUnit;
    s.totalStrokes += static_cast<uint32_t>(strokes);
    s.dosingCount += static_cast<uint32_t>(strokes);
}

void SimulatedPump::onSecond() {
    PumpState& s = state_;
    ++s.runningSeconds;
    if (s.flow > 0) {
        ++s.dosingSeconds;
    }
    s.pcbTemp = clampTo<int8_t>(s.pcbTemp + prng_.step(1), 28, 45);
    s.maxPcbTemp = std::max(s.maxPcbTemp, s.pcbTemp);
    s.minPcbTemp = std::min(s.minPcbTemp, s.pcbTemp);
    s.ureaTankTemp = clampTo<int8_t>(s.ureaTankTemp + prng_.step(1), 14, 24);
    s.battery = clampTo<uint8_t>(s.battery + prng_.step(1), 53, 57);

    const uint64_t obd = obdStates();
    if (obd != 0) {
        ++s.obdSeconds;
    }
    // A sensor that fell silent is logged once, when the pump notices.
    for (int side = 0; side < 2; ++side) {
        const bool lost = sensorLinkLost(side) && options_.sensors;
        if (lost && !sensorLogged_[side]) {
            addErrorLogEntry(side == 0 ? kLogUpstreamNox : kLogDownstreamNox);
        }
        sensorLogged_[side] = lost;
    }
    // Torque limiter: 5 s, then 45 s, then the output switches.
    if (torqueLimiterCauses() != 0) {
        if (s.countdown5 > 0) {
            --s.countdown5;
        } else if (s.countdown45 > 0) {
            --s.countdown45;
        } else {
            s.torqueLimiterActive = true;
        }
    } else {
        s.countdown5 = 5;
        s.countdown45 = 45;
        s.torqueLimiterActive = false;
    }
    // Outside test mode the pump drives its lamps: the MI lamp for every fault whose ON/OFF mask
    // bit is set, the urea lamp for an empty tank.
    if (s.testModeLevel == 0) {
        uint32_t rows = 0;
        rows |= sensorLinkLost(0) && options_.sensors ? 1u << kRowUpstreamNox : 0;
        rows |= sensorLinkLost(1) && options_.sensors ? 1u << kRowDownstreamNox : 0;
        rows |= options_.fault(Fault::NozzleBlocked) ? 1u << kRowNozzle : 0;
        rows |= options_.fault(Fault::UreaEmpty) ? 1u << kRowUreaLevel : 0;
        rows |= options_.fault(Fault::EcmTimeout) ? 1u << kRowEcm : 0;
        const bool mil = (rows & s.config.onOffMask) != 0;
        s.lamps[0] = mil ? 1 : 0;
        s.lamps[1] = options_.fault(Fault::UreaEmpty) ? 1 : 0;
        if (mil) {
            if (s.remainingMilOn == 0) {
                s.remainingMilOn = 200 * 3600;
                s.remainingSequences = 3;
            } else {
                --s.remainingMilOn;
            }
        } else {
            s.remainingMilOn = 0;
            s.remainingSequences = 0;
        }
    }
}

void SimulatedPump::runUntil(uint64_t target) {
    for (;;) {
        uint64_t next = std::min(nextSecondMs_, nextDriftMs_);
        if (!scheduled_.empty()) {
            next = std::min(next, scheduled_.front().dueMs);
        }
        next = std::min({next, nextSensorMs_[0], nextSensorMs_[1]});
        if (next > target) {
            break;
        }
        nowMs_ = std::max(nowMs_, next);
        while (!scheduled_.empty() && scheduled_.front().dueMs <= nowMs_) {
            const J1939Frame frame = scheduled_.front().frame;
            scheduled_.pop_front();
            emitPump(frame);
        }
        for (int side = 0; side < 2; ++side) {
            if (nextSensorMs_[side] <= nowMs_) {
                sendSensorMessage(side);
                nextSensorMs_[side] += kSensorPeriodMs;
            }
        }
        if (nextDriftMs_ <= nowMs_) {
            onDrift();
            nextDriftMs_ += 100;
        }
        if (nextSecondMs_ <= nowMs_) {
            onSecond();
            nextSecondMs_ += 1000;
        }
        refreshReply();
    }
    nowMs_ = std::max(nowMs_, target);
    refreshReply();
}

void SimulatedPump::refreshReply() {
    // A record asked for while the log was busy becomes the reply once it is ready.
    if (!reply_.empty() && reply_[L::kCode] == C::kErrorLogRecord &&
        reply_.size() == L::kHeaderSize && reply_[L::elog::kFlags] == L::elog::kFlagNotReady &&
        nowMs_ >= errorLogReadyMs_) {
        previousReply_ = reply_;
        reply_ = buildErrorLogRecord(errorLogRequested_, state_);
        ++replySerial_;
    }
}

void SimulatedPump::advance(uint32_t ms) {
    runUntil(nowMs_ + ms);
}

}  // namespace sim

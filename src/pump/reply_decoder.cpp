#include "pump/reply_decoder.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <limits>
#include <optional>

#include "comm/j1939.h"
#include "pump/number_format.h"
#include "pump/service_codes.h"
#include "pump/text_tables.h"

namespace {

// Raised when a window's entry does not hold the integer a reply is compared with. Caught at the
// decoder's boundary: the reply's handling ends there, without a message.
struct ConversionError {};

// The integer of a window entry; an entry that holds none ends the reply's handling.
long long toInteger(std::string_view text) {
    const auto value = parseInteger(text);
    if (!value) {
        throw ConversionError{};
    }
    return *value;
}

std::string hexWord(uint16_t word) {
    char text[8];
    std::snprintf(text, sizeof text, "%04X", static_cast<unsigned>(word));
    return text;
}

// --- EEPROM dump file ---

// The header before address 0 and one line per word; every line ends in CR LF.
constexpr std::string_view kEepromDumpHeader = "Address(dec), Data (dec), Data (hex)\r\n";

enum class DumpWrite { Written, NotOpened, NotWritten };

// Appends one word to the dump file, opening and closing the file around it so that every word
// read so far is on disk whatever happens to the run.
DumpWrite appendEepromWord(const std::string& fileName, uint32_t address, uint16_t word) {
    if (fileName.empty()) {
        return DumpWrite::NotOpened;
    }
    std::FILE* file = std::fopen(fileName.c_str(), "ab");
    if (file == nullptr) {
        return DumpWrite::NotOpened;
    }
    std::string text;
    if (address == 0) {
        text = kEepromDumpHeader;
    }
    char line[48];
    const int length =
        std::snprintf(line, sizeof line, "%4d, %6d, %5x \r\n", static_cast<int>(address),
                      static_cast<int>(word), static_cast<unsigned>(word));
    text.append(line, static_cast<std::size_t>(std::clamp(length, 0, int(sizeof line) - 1)));
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    const bool closed = std::fclose(file) == 0;
    return written && closed ? DumpWrite::Written : DumpWrite::NotWritten;
}

// The last EEPROM address of a read-out to file.
constexpr uint32_t kLastEepromAddress = 191;
// Mismatching EEPROM replies tolerated before a read is given up.
constexpr int kEepromMismatchLimit = 60;

// The side of a window family that is not plugged in: nothing waits, nothing matches.
class IdleService : public ServiceReplies {
  public:
    void setTestModeLevel(uint8_t) override {}
    uint8_t flowTestState() const override { return flow_test_step::kIdle; }
    uint32_t flowSetting() const override { return 0; }
    void advanceFlowTest(uint8_t) override {}
    uint8_t heaterUnderTest() const override { return 2; }
    void setServiceLabel(std::string_view, std::string_view) override {}
    std::string serviceLabelText(std::string_view) const override { return {}; }
    bool readAllActive() const override { return false; }
    void setReadAllActive(bool) override {}
    std::string eepromDumpFileName() const override { return {}; }
    void sendEepromRead(uint32_t) override {}
};

class IdleCalibration : public CalibrationReplies {
  public:
    uint8_t calibrationStep() const override { return user_calibration::kIdle; }
    void userCalibrationStep(int) override {}
    std::string userCalibrationVolumeText() const override { return {}; }
    void showUserCalibration(std::string_view) override {}
};

class IdleInstaller : public InstallerReplies {
  public:
    uint8_t lastDm1SettingSent() const override { return 0; }
    void showDm1Status(std::string_view) override {}
    ReplyAcceptance onConfigurationEcho(uint8_t, std::span<const uint8_t>) override {
        return ReplyAcceptance::NotAccepted;
    }
    ReplyAcceptance onMasks(uint8_t code, std::span<const uint8_t>) override {
        return code == service_code::kRequestMiMasks ? ReplyAcceptance::Accepted
                                                     : ReplyAcceptance::NotAccepted;
    }
    ReplyAcceptance onObdActionMaskWord(uint8_t code, uint32_t, uint8_t) override {
        return code == service_code::kRequestObdActionMaskWord ? ReplyAcceptance::Accepted
                                                               : ReplyAcceptance::NotAccepted;
    }
    ReplyAcceptance onAirUnitMask(uint8_t code, uint32_t) override {
        return code == service_code::kRequestAirUnitMask ? ReplyAcceptance::Accepted
                                                         : ReplyAcceptance::NotAccepted;
    }
    ReplyAcceptance onParameterReadout(std::span<const uint8_t>, bool isWrite) override {
        return isWrite ? ReplyAcceptance::NotAccepted : ReplyAcceptance::Accepted;
    }
};

class IdleDiagnostics : public DiagnosticsReplies {
  public:
    ReplyAcceptance onErrorLogRecord(std::span<const uint8_t>) override {
        return ReplyAcceptance::Accepted;
    }
};

class IdlePages : public StatusPageReplies {
  public:
    void onAllPages(std::span<const uint8_t>) override {}
    void onStatusPage(uint8_t, std::span<const uint8_t>) override {}
};

IdleService idleService;
IdleCalibration idleCalibration;
IdleInstaller idleInstaller;
IdleDiagnostics idleDiagnostics;
IdlePages idlePages;

}  // namespace

ReplyDecoder::ReplyDecoder(ReplyBookkeeping& tool)
    : tool_(tool),
      service_(&idleService),
      calibration_(&idleCalibration),
      installer_(&idleInstaller),
      diagnostics_(&idleDiagnostics),
      pages_(&idlePages) {}

ReplyDecoder::~ReplyDecoder() = default;

const char* toString(ReplyAcceptance acceptance) {
    switch (acceptance) {
        case ReplyAcceptance::NotAccepted:
            return "NotAccepted";
        case ReplyAcceptance::ClearsOnly:
            return "ClearsOnly";
        case ReplyAcceptance::Accepted:
            return "Accepted";
    }
    return "?";
}

void ReplyDecoder::decodeServiceReply(const J1939Message& message) {
    tool_.stepReceiveIndicator();

    // A local copy, so that a reply decoded while a handler of this one still runs (a dialog
    // lets the receive hand-off in) cannot change the bytes under it.
    std::array<uint8_t, service_length::kWorkingCopy> copy{};
    const std::size_t length =
        std::min<std::size_t>({message.length, sizeof message.data, service_length::kWorkingCopy});
    std::copy_n(message.data, length, copy.begin());

    const auto reply = ServiceTelegramView::parse(std::span<const uint8_t>(copy.data(), length));
    if (!reply) {
        return;  // no code
    }
    ++decoded_[reply->code()];
    try {
        handle(*reply);
    } catch (const ConversionError&) {
        // Ends this reply; whatever was done stays done.
    }
}

void ReplyDecoder::accept() {
    tool_.clearAwaitingReply();
    tool_.setServiceReplyReceived();
}

void ReplyDecoder::apply(ReplyAcceptance acceptance) {
    switch (acceptance) {
        case ReplyAcceptance::Accepted:
            accept();
            break;
        case ReplyAcceptance::ClearsOnly:
            tool_.clearAwaitingReply();
            break;
        case ReplyAcceptance::NotAccepted:
            break;
    }
}

void ReplyDecoder::handle(const ServiceTelegramView& reply) {
    using namespace service_code;
    const uint8_t code = reply.code();
    switch (code) {
        case kNormalMode:
            accept();
            tool_.setStatus("Normal mode recieved");
            service_->setTestModeLevel(0);
            return;
        case kEnterTestMode:
            onTestMode(reply);
            return;
        case kStartPump:
            accept();
            if (service_->flowTestState() == flow_test_step::kStarting) {
                service_->advanceFlowTest(flow_test_step::kSettingFlow);
            } else if (calibration_->calibrationStep() == user_calibration::kStarting) {
                calibration_->userCalibrationStep(user_calibration::kStepRunning);
            }
            tool_.setStatus("Pump Started");
            return;
        case kStopPump:
            accept();
            tool_.setStatus("Pump stopped");
            if (service_->flowTestState() == flow_test_step::kRunning) {
                service_->advanceFlowTest(flow_test_step::kIdle);
            } else if (calibration_->calibrationStep() == user_calibration::kStopping) {
                calibration_->userCalibrationStep(user_calibration::kStepFinishRun);
            }
            return;
        case kSetFlow:
            onFlowEcho(reply);
            return;
        case kSetDosingValve:
            onValveState(reply);
            return;
        case kAcknowledge6:
        case kAcknowledge7:
        case kAcknowledge14:
        case kAcknowledge15:
        case kAcknowledge16:
        case kAcknowledge17:
        case kAcknowledge43:
        case kAcknowledge61:
        case kHeaterTest:
        case kAcknowledge143:
            accept();
            return;
        case kIgnored41:
            return;
        case kHeaterOutputs:
            onHeaterStates(reply);
            return;
        case kLampOutputs:
            onLampStates(reply);
            return;
        case kStartUserCalibration:
            accept();
            if (calibration_->calibrationStep() == user_calibration::kStarting) {
                calibration_->userCalibrationStep(user_calibration::kStepRunning);
            }
            tool_.setStatus("User calibration started");
            return;
        case kDownloadUserCalibration:
            onUserCalibrationEcho(reply);
            return;
        case kErrorLogRecord:
            apply(diagnostics_->onErrorLogRecord(reply.bytes()));
            return;
        case kReadEepromWord:
            onEepromWord(reply);
            return;
        case kConfigDownloadOld:
        case kConfigDownloadNew:
            apply(installer_->onConfigurationEcho(code, reply.body()));
            return;
        case kDiagnosticClearReset:
            if (reply.longArg() == service_arg::kDiagnosticClearArg) {
                tool_.clearAwaitingReply();
                tool_.setStatus("Will perform diagnostic clear on next reset");
            }
            return;
        case kSetMiMasks:
        case kRequestMiMasks:
            apply(installer_->onMasks(code, reply.body()));
            return;
        case kSetDm1Support:
        case kRequestDm1Support:
            onDm1Status(reply);
            return;
        case kSetObdActionMaskWord:
        case kRequestObdActionMaskWord:
            apply(installer_->onObdActionMaskWord(code, reply.longArg(),
                                                  static_cast<uint8_t>(reply.wordArg() & 0xFF)));
            return;
        case kSetAirUnitMask:
        case kRequestAirUnitMask:
            apply(installer_->onAirUnitMask(code, reply.longArg()));
            return;
        case kParameterWrite:
        case kParameterRead:
            apply(installer_->onParameterReadout(reply.bytes(), code == kParameterWrite));
            return;
        case kAllPages:
            accept();
            pages_->onAllPages(reply.bytes());
            return;
        case kNotSupported:
            accept();
            tool_.operatorMessage(19, reply.longArg() & 0xFF);
            return;
        case kNotAcknowledged:
            accept();
            tool_.setStatus("Command not acknowledged");
            return;
        default:
            break;
    }
    if ((code >= kFirstPage && code <= kLastAllPagesPage) || code == kPage216) {
        accept();
        pages_->onStatusPage(code, reply.body());
        return;
    }
    // Illegal: a code without a handler, or a reply 2.
    tool_.clearAwaitingReply();
    tool_.operatorMessage(20, code);
}

void ReplyDecoder::onTestMode(const ServiceTelegramView& reply) {
    accept();
    const bool customerAccessKnown = tool_.pumpSoftwareVersion().customerAccess();
    if (!customerAccessKnown || reply.byteArg() == service_arg::kFinalTest) {
        tool_.setStatus("Final test mode recieved");
        service_->setTestModeLevel(1);
    } else if (reply.byteArg() == service_arg::kCustomerAccess) {
        tool_.setStatus("Customer access mode recieved");
        service_->setTestModeLevel(2);
    }
}

void ReplyDecoder::onFlowEcho(const ServiceTelegramView& reply) {
    if (service_->flowTestState() == flow_test_step::kSettingFlow) {
        if (reply.longArg() != service_->flowSetting()) {
            return;
        }
        accept();
        service_->advanceFlowTest(flow_test_step::kRunning);
        tool_.setStatus("Flow Test Running");
        return;
    }
    if (calibration_->calibrationStep() != user_calibration::kSettingFlow ||
        reply.longArg() != service_arg::kCalibrationFlow) {
        return;
    }
    accept();
    calibration_->userCalibrationStep(user_calibration::kStepStartRun);
    tool_.setStatus("Calibration Running");
}

void ReplyDecoder::onValveState(const ServiceTelegramView& reply) {
    accept();
    const bool open = reply.byteArg() != service_arg::kValveClosed;
    const auto context = static_cast<ValveReplyContext>(valveReplyContext);
    if (context == ValveReplyContext::Manual) {
        service_->setServiceLabel("lDosingValve", open ? "Open" : "Closed");
        tool_.setStatus(open ? "Dosing valve open. " : "Dosing valve closed. ");
        return;
    }
    if (context != ValveReplyContext::ExpectClosed && context != ValveReplyContext::ExpectOpen) {
        tool_.setStatus("Unexpected telegram");
        tool_.operatorMessage(4, 0);
        return;
    }
    const bool expected = open == (context == ValveReplyContext::ExpectOpen);
    if (service_->flowTestState() == flow_test_step::kSettingValve) {
        if (expected) {
            tool_.setStatus("Valve set");
            service_->advanceFlowTest(flow_test_step::kStarting);
        } else {
            // The valve is not where the test needs it: send the command again.
            service_->advanceFlowTest(flow_test_step::kSettingValve);
        }
        return;
    }
    if (!expected) {
        return;  // the calibration run waits for the valve
    }
    const uint8_t step = calibration_->calibrationStep();
    if (step == user_calibration::kSettingValve) {
        tool_.setStatus("Valve set");
        calibration_->userCalibrationStep(user_calibration::kStepSetFlow);
    } else if (step == user_calibration::kIdle) {
        tool_.setStatus("Pump stopped");
    }
}

void ReplyDecoder::onHeaterStates(const ServiceTelegramView& reply) {
    accept();
    const auto bytes = reply.bytes();
    switch (service_->heaterUnderTest()) {
        case 0:
            service_->setServiceLabel("lTankHeater",
                                      text_tables::twoStateText(text_tables::OffOnTexts, bytes[0]));
            tool_.setStatus(bytes[0] != 0 ? "Tank heater enabled. " : "Tank heater disabled. ");
            break;
        case 1:
            service_->setServiceLabel("lLineHeater",
                                      text_tables::twoStateText(text_tables::OffOnTexts, bytes[1]));
            tool_.setStatus(bytes[1] != 0 ? "Line heater enabled. " : "Line heater disabled. ");
            break;
        default:
            break;  // no heater test yet
    }
}

void ReplyDecoder::onLampStates(const ServiceTelegramView& reply) {
    accept();
    const auto bytes = reply.bytes();
    service_->setServiceLabel("lLamp3Conf",
                              text_tables::twoStateText(text_tables::OffOnTexts, bytes[0]));
    service_->setServiceLabel("lLamp4Conf",
                              text_tables::twoStateText(text_tables::OffOnTexts, bytes[1]));
}

void ReplyDecoder::onUserCalibrationEcho(const ServiceTelegramView& reply) {
    const uint16_t mass = static_cast<uint16_t>(reply.longArg() & 0xFFFF);  // bytes 0-1
    if (mass != toInteger(calibration_->userCalibrationVolumeText())) {
        tool_.setMainStatusOnly("User calibration NOT downloaded");
        return;
    }
    tool_.clearAwaitingReply();
    calibration_->showUserCalibration(std::to_string(mass));
    tool_.setMainStatusOnly("User calibration downloaded");
    calibration_->userCalibrationStep(user_calibration::kStepCalibrationStored);
}

// An EEPROM word never counts as a service reply: it only ends the wait.
void ReplyDecoder::onEepromWord(const ServiceTelegramView& reply) {
    const uint32_t address = reply.longArg();
    const uint16_t word = reply.wordArg();
    const bool matches = static_cast<long long>(address) ==
                             toInteger(service_->serviceLabelText("lEEPROMReadAdr")) &&
                         reply.byteArg() == service_arg::kEepromWordValid;
    if (!matches) {
        ++eepromMismatchCount;
        if (eepromMismatchCount > kEepromMismatchLimit) {
            // The read is given up; the next one counts its own mismatches.
            eepromMismatchCount = 0;
            tool_.clearAwaitingReply();
            service_->setReadAllActive(false);
            tool_.setStatus("EEPROM data NOT read");
        }
        return;
    }
    eepromMismatchCount = 0;
    if (!service_->readAllActive()) {
        tool_.clearAwaitingReply();
        service_->setReadAllActive(false);
        service_->setServiceLabel("lDataHex", hexWord(word));
        tool_.setStatus("EEPROM data read");
        return;
    }

    service_->setServiceLabel("lDataHex", hexWord(word));
    const DumpWrite written = appendEepromWord(service_->eepromDumpFileName(), address, word);
    if (written != DumpWrite::Written) {
        // Without the file the read-out would only look complete: end it here.
        tool_.clearAwaitingReply();
        service_->setReadAllActive(false);
        tool_.setStatus(written == DumpWrite::NotOpened ? "EEPROM dump file could not be opened"
                                                        : "EEPROM dump file could not be written");
        return;
    }
    tool_.clearAwaitingReply();
    if (address >= kLastEepromAddress) {
        service_->setReadAllActive(false);
        tool_.setStatus("All EEPROM Read");
        return;
    }
    service_->setServiceLabel("lEEPROMReadAdr", std::to_string(address + 1));
    service_->sendEepromRead(address + 1);
    tool_.setStatus("Reading EEPROM data");
}

void ReplyDecoder::onDm1Status(const ServiceTelegramView& reply) {
    if (reply.code() == service_code::kSetDm1Support &&
        reply.byteArg() != installer_->lastDm1SettingSent()) {
        return;
    }
    accept();
    tool_.setMainStatusOnly("DM1 configuration status received");
    installer_->showDm1Status(reply.byteArg() == service_arg::kDm1Enabled ? "Enabled" : "Disabled");
}

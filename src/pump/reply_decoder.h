#pragma once
// The reply decoder: every Proprietary A message from the pump comes through decodeServiceReply()
// and becomes state changes, status-line texts and calls into the windows that wait for it. The
// decoder keeps almost nothing itself; everything it reads or drives outside itself goes through
// ReplyDecoderHost, which the composition root implements over the scheduler's bookkeeping, the
// pump software version and the windows.
//
// Main thread only, like the receive dispatch and the scheduler tick.

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "pump/service_telegram.h"
#include "pump/software_version.h"

struct J1939Message;

// How a handler that received a reply whole wants it counted.
enum class ReplyAcceptance : uint8_t {
    NotAccepted,  // bookkeeping untouched: the scheduler keeps re-requesting the reply
    ClearsOnly,   // the wait ends, but the reply does not count as a service reply
    Accepted,     // the wait ends and the reply counts as a service reply
};
const char* toString(ReplyAcceptance acceptance);

// How the next valve reply (code 13) is to be read. Written by whoever queues a valve command;
// stored as a plain byte because it starts at 0, which is none of these.
enum class ValveReplyContext : uint8_t { Manual = 2, ExpectClosed = 4, ExpectOpen = 5 };

// The service test window's flow-test states, as flowTestState() reports them and as the steps
// advanceFlowTest() performs.
namespace flow_test_step {
inline constexpr uint8_t kSettingValve = 0;
inline constexpr uint8_t kStarting = 1;
inline constexpr uint8_t kSettingFlow = 2;
inline constexpr uint8_t kRunning = 3;
inline constexpr uint8_t kIdle = 4;
}  // namespace flow_test_step

// The user calibration window: the values of its calibrationStep, and the numbered steps the
// decoder asks it to perform with userCalibrationStep().
namespace user_calibration {
inline constexpr uint8_t kSettingValve = 0;
inline constexpr uint8_t kStarting = 1;
inline constexpr uint8_t kSettingFlow = 2;
inline constexpr uint8_t kRunning = 3;
inline constexpr uint8_t kStopping = 4;
inline constexpr uint8_t kIdle = 5;

inline constexpr int kStepStartRun = 1;   // the flow echo arrived: start the pump or the run
inline constexpr int kStepSetFlow = 2;    // the valve is set: queue the calibration flow
inline constexpr int kStepRunning = 3;    // the pump or the run has started
inline constexpr int kStepFinishRun = 5;  // the pump has stopped: finish the run
inline constexpr int kStepCalibrationStored = 6;  // the pump holds the new calibration
}  // namespace user_calibration

// The decoder's view of the tool: the scheduler's reply bookkeeping, the pump's software version
// and the operator feedback. The application shell implements it.
class ReplyBookkeeping {
  public:
    virtual ~ReplyBookkeeping() = default;
    virtual void clearAwaitingReply() = 0;
    virtual void setServiceReplyReceived() = 0;
    virtual PumpSoftwareVersion pumpSoftwareVersion() const = 0;
    // Both status labels (main window and service test window).
    virtual void setStatus(std::string_view text) = 0;
    // The main window's `lStatus` only.
    virtual void setMainStatusOnly(std::string_view text) = 0;
    // The numbered operator message; `number` is used by codes 19 and 20.
    virtual void operatorMessage(int code, long long number) = 0;
    // The main window's `pbRx`: one step per received reply, wrapping at its maximum.
    virtual void stepReceiveIndicator() = 0;
};

// The service test window's side of the replies: test mode, flow test, valve, heaters, lamps,
// EEPROM read-out.
class ServiceReplies {
  public:
    virtual ~ServiceReplies() = default;
    virtual void setTestModeLevel(uint8_t level) = 0;
    virtual uint8_t flowTestState() const = 0;  // flow_test_step
    virtual uint32_t flowSetting() const = 0;   // 0.01 ml/h
    virtual void advanceFlowTest(uint8_t step) = 0;
    // 0 tank heater, 1 line heater, 2 before the first heater test.
    virtual uint8_t heaterUnderTest() const = 0;
    // Read-outs by object name: lDosingValve, lTankHeater, lLineHeater, lLamp3Conf, lLamp4Conf,
    // lDataHex, lEEPROMReadAdr.
    virtual void setServiceLabel(std::string_view objectName, std::string_view text) = 0;
    virtual std::string serviceLabelText(std::string_view objectName) const = 0;
    // The tag of `btReadAllPROM`: an EEPROM read-out to file is in progress.
    virtual bool readAllActive() const = 0;
    virtual void setReadAllActive(bool active) = 0;
    // The current file name of the read-out's save dialog.
    virtual std::string eepromDumpFileName() const = 0;
    // Queues the read command for one EEPROM word.
    virtual void sendEepromRead(uint32_t address) = 0;
};

// The user calibration window's side.
class CalibrationReplies {
  public:
    virtual ~CalibrationReplies() = default;
    virtual uint8_t calibrationStep() const = 0;  // user_calibration::k...
    virtual void userCalibrationStep(int step) = 0;
    virtual std::string userCalibrationVolumeText() const = 0;    // text of `eVolume`
    virtual void showUserCalibration(std::string_view text) = 0;  // `lUserCalibration`
};

// The installer window's side: DM1 support, configuration echoes, masks, parameter readouts.
// The spans point into the decoder's working copy and are valid during the call only. Handlers
// that decide about acceptance return their decision; the decoder applies it.
class InstallerReplies {
  public:
    virtual ~InstallerReplies() = default;
    virtual uint8_t lastDm1SettingSent() const = 0;
    virtual void showDm1Status(std::string_view text) = 0;  // `lDM1Status`
    virtual ReplyAcceptance onConfigurationEcho(uint8_t code,
                                                std::span<const uint8_t> body) = 0;    // 147, 163
    virtual ReplyAcceptance onMasks(uint8_t code, std::span<const uint8_t> body) = 0;  // 164, 165
    virtual ReplyAcceptance onObdActionMaskWord(uint8_t code, uint32_t word,
                                                uint8_t index) = 0;          // 168, 169
    virtual ReplyAcceptance onAirUnitMask(uint8_t code, uint32_t mask) = 0;  // 170, 171
    virtual ReplyAcceptance onParameterReadout(std::span<const uint8_t> telegram,
                                               bool isWrite) = 0;  // 172 (write), 173
};

// The error-log window's side.
class DiagnosticsReplies {
  public:
    virtual ~DiagnosticsReplies() = default;
    virtual ReplyAcceptance onErrorLogRecord(std::span<const uint8_t> telegram) = 0;  // 141
};

// Status pages: always accepted, before they are decoded.
class StatusPageReplies {
  public:
    virtual ~StatusPageReplies() = default;
    virtual void onAllPages(std::span<const uint8_t> telegram) = 0;              // 200
    virtual void onStatusPage(uint8_t code, std::span<const uint8_t> body) = 0;  // 201-212, 216
};

// Each window family plugs its side in; a side nobody plugged in behaves as a window that waits
// for nothing (its sequences idle, its echoes never matching).
class ReplyDecoder {
  public:
    explicit ReplyDecoder(ReplyBookkeeping& tool);
    ~ReplyDecoder();

    void attach(ServiceReplies& service) { service_ = &service; }
    void attach(CalibrationReplies& calibration) { calibration_ = &calibration; }
    void attach(InstallerReplies& installer) { installer_ = &installer; }
    void attach(DiagnosticsReplies& diagnostics) { diagnostics_ = &diagnostics; }
    void attach(StatusPageReplies& pages) { pages_ = &pages; }

    // One received Proprietary A message from the pump. A message without a code (fewer than 8
    // bytes) steps the receive indicator and is otherwise ignored; only the first 251 bytes of a
    // longer one are looked at. A value the decoder cannot convert (an entry that holds no
    // integer) ends the handling of that reply silently; what a host call throws is left to the
    // receive hand-off, which reports it.
    void decodeServiceReply(const J1939Message& message);

    // Replies decoded so far with this code (diagnostics, benchmarks).
    uint32_t decodedCount(uint8_t code) const { return decoded_[code]; }

    // ValveReplyContext, or 0 before the first valve command.
    uint8_t valveReplyContext = 0;
    // Consecutive EEPROM-read replies that did not match the requested address.
    int eepromMismatchCount = 0;

  private:
    void handle(const ServiceTelegramView& reply);
    void accept();
    void apply(ReplyAcceptance acceptance);

    void onTestMode(const ServiceTelegramView& reply);
    void onFlowEcho(const ServiceTelegramView& reply);
    void onValveState(const ServiceTelegramView& reply);
    void onHeaterStates(const ServiceTelegramView& reply);
    void onLampStates(const ServiceTelegramView& reply);
    void onUserCalibrationEcho(const ServiceTelegramView& reply);
    void onEepromWord(const ServiceTelegramView& reply);
    void onDm1Status(const ServiceTelegramView& reply);

    std::array<uint32_t, 256> decoded_{};
    ReplyBookkeeping& tool_;
    ServiceReplies* service_;
    CalibrationReplies* calibration_;
    InstallerReplies* installer_;
    DiagnosticsReplies* diagnostics_;
    StatusPageReplies* pages_;
};

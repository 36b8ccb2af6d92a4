#include "pump/reply_decoder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <unistd.h>

#include "comm/j1939.h"
#include "pump/service_codes.h"

namespace {

using namespace std::string_literals;

// Records everything the decoder drives; the values it reads are set by each test.
class RecordingHost : public ReplyBookkeeping,
                      public ServiceReplies,
                      public CalibrationReplies,
                      public InstallerReplies,
                      public DiagnosticsReplies,
                      public StatusPageReplies {
  public:
    // Bookkeeping as the scheduler holds it: a command is out and its reply awaited.
    bool awaitingReply = true;
    bool serviceReplyReceived = false;

    uint8_t major = 0;
    uint8_t minor = 11;

    std::vector<std::string> statuses;  // both labels
    std::vector<std::string> mainOnlyStatuses;
    std::vector<std::pair<int, long long>> messages;
    int rxSteps = 0;

    std::optional<uint8_t> testModeLevel;
    uint8_t flowState = flow_test_step::kIdle;
    uint32_t flowSettingValue = 0;
    std::vector<uint8_t> flowSteps;
    uint8_t heaterTest = 2;
    std::map<std::string, std::string> labels;
    bool readAll = false;
    std::string dumpFileName;
    std::vector<uint32_t> eepromReads;

    uint8_t calibration = user_calibration::kIdle;
    std::vector<int> calibrationSteps;
    std::string volumeText = "1000";
    std::optional<std::string> userCalibrationShown;

    uint8_t dm1Sent = 0;
    std::optional<std::string> dm1Status;

    // Pass-through handlers: what they were given and what they answer.
    struct HandOn {
        std::string handler;
        uint8_t code = 0;
        std::vector<uint8_t> bytes;
        uint32_t value = 0;
        int index = -1;
        bool isWrite = false;
    };
    std::vector<HandOn> handedOn;
    ReplyAcceptance handlerAnswer = ReplyAcceptance::Accepted;

    void clearAwaitingReply() override { awaitingReply = false; }
    void setServiceReplyReceived() override { serviceReplyReceived = true; }
    PumpSoftwareVersion pumpSoftwareVersion() const override { return {major, minor}; }
    void setStatus(std::string_view text) override { statuses.emplace_back(text); }
    void setMainStatusOnly(std::string_view text) override { mainOnlyStatuses.emplace_back(text); }
    void operatorMessage(int code, long long number) override {
        messages.emplace_back(code, number);
    }
    void stepReceiveIndicator() override { ++rxSteps; }
    void setTestModeLevel(uint8_t level) override { testModeLevel = level; }
    uint8_t flowTestState() const override { return flowState; }
    uint32_t flowSetting() const override { return flowSettingValue; }
    void advanceFlowTest(uint8_t step) override { flowSteps.push_back(step); }
    uint8_t heaterUnderTest() const override { return heaterTest; }
    void setServiceLabel(std::string_view objectName, std::string_view text) override {
        labels[std::string(objectName)] = std::string(text);
    }
    std::string serviceLabelText(std::string_view objectName) const override {
        const auto it = labels.find(std::string(objectName));
        return it == labels.end() ? "?" : it->second;
    }
    bool readAllActive() const override { return readAll; }
    void setReadAllActive(bool active) override { readAll = active; }
    std::string eepromDumpFileName() const override { return dumpFileName; }
    void sendEepromRead(uint32_t address) override { eepromReads.push_back(address); }
    uint8_t calibrationStep() const override { return calibration; }
    void userCalibrationStep(int step) override { calibrationSteps.push_back(step); }
    std::string userCalibrationVolumeText() const override { return volumeText; }
    void showUserCalibration(std::string_view text) override {
        userCalibrationShown = std::string(text);
    }
    uint8_t lastDm1SettingSent() const override { return dm1Sent; }
    void showDm1Status(std::string_view text) override { dm1Status = std::string(text); }

    ReplyAcceptance record(HandOn call) {
        handedOn.push_back(std::move(call));
        return handlerAnswer;
    }
    static std::vector<uint8_t> copy(std::span<const uint8_t> bytes) {
        return {bytes.begin(), bytes.end()};
    }
    ReplyAcceptance onErrorLogRecord(std::span<const uint8_t> telegram) override {
        return record({"errorLog", 141, copy(telegram)});
    }
    ReplyAcceptance onConfigurationEcho(uint8_t code, std::span<const uint8_t> body) override {
        return record({"configurationEcho", code, copy(body)});
    }
    ReplyAcceptance onMasks(uint8_t code, std::span<const uint8_t> body) override {
        return record({"masks", code, copy(body)});
    }
    ReplyAcceptance onObdActionMaskWord(uint8_t code, uint32_t word, uint8_t index) override {
        return record({"obdActionMaskWord", code, {}, word, index});
    }
    ReplyAcceptance onAirUnitMask(uint8_t code, uint32_t mask) override {
        return record({"airUnitMask", code, {}, mask});
    }
    ReplyAcceptance onParameterReadout(std::span<const uint8_t> telegram, bool isWrite) override {
        return record({"parameterReadout", telegram.size() > 7 ? telegram[7] : uint8_t{0},
                       copy(telegram), 0, -1, isWrite});
    }
    void onAllPages(std::span<const uint8_t> telegram) override {
        // Status pages are accepted before they are decoded.
        EXPECT_FALSE(awaitingReply);
        handedOn.push_back({"allPages", 200, copy(telegram)});
    }
    void onStatusPage(uint8_t code, std::span<const uint8_t> body) override {
        EXPECT_FALSE(awaitingReply);
        handedOn.push_back({"statusPage", code, copy(body)});
    }
};

// The decoder with every side of the tool plugged into the recorder.
class HostedDecoder : public ReplyDecoder {
  public:
    explicit HostedDecoder(RecordingHost& host) : ReplyDecoder(host) {
        attach(static_cast<ServiceReplies&>(host));
        attach(static_cast<CalibrationReplies&>(host));
        attach(static_cast<InstallerReplies&>(host));
        attach(static_cast<DiagnosticsReplies&>(host));
        attach(static_cast<StatusPageReplies&>(host));
    }
};

// The three ways a reply can leave the bookkeeping.
enum class Outcome { Accepted, ClearsOnly, NotAccepted };
const char* toString(Outcome outcome) {
    switch (outcome) {
        case Outcome::Accepted:
            return "accepted";
        case Outcome::ClearsOnly:
            return "clears only";
        case Outcome::NotAccepted:
            return "not accepted";
    }
    return "?";
}
Outcome outcomeOf(const RecordingHost& host) {
    if (!host.awaitingReply) {
        return host.serviceReplyReceived ? Outcome::Accepted : Outcome::ClearsOnly;
    }
    // A reply that is not accepted must not count as a service reply either.
    EXPECT_FALSE(host.serviceReplyReceived);
    return Outcome::NotAccepted;
}

// A Proprietary A message from the pump (61) to the tool (249).
J1939Message pumpMessage(std::vector<uint8_t> bytes) {
    J1939Message message;
    message.priority = 6;
    message.source = 61;
    message.destination = 249;
    message.pgn = pgn::kProprietaryA;
    message.length = static_cast<uint16_t>(bytes.size());
    std::copy(bytes.begin(), bytes.end(), message.data);
    return message;
}

J1939Message serviceReply(uint8_t code, uint32_t longArg = 0, uint16_t wordArg = 0,
                          uint8_t byteArg = 0, std::vector<uint8_t> body = {}) {
    std::vector<uint8_t> bytes = {static_cast<uint8_t>(longArg),
                                  static_cast<uint8_t>(longArg >> 8),
                                  static_cast<uint8_t>(longArg >> 16),
                                  static_cast<uint8_t>(longArg >> 24),
                                  static_cast<uint8_t>(wordArg),
                                  static_cast<uint8_t>(wordArg >> 8),
                                  byteArg,
                                  code};
    bytes.insert(bytes.end(), body.begin(), body.end());
    return pumpMessage(std::move(bytes));
}

class ReplyDecoderTest : public ::testing::Test {
  protected:
    void feed(const J1939Message& message) { decoder.decodeServiceReply(message); }

    RecordingHost host;
    HostedDecoder decoder{host};
};

// --- Acceptance and status by code, with every window idle ---

struct CodeCase {
    const char* what;
    uint8_t code;
    uint32_t longArg;
    Outcome outcome;
    std::vector<std::string> statuses;
    std::vector<std::pair<int, long long>> messages;
};

TEST_F(ReplyDecoderTest, AcceptanceAndStatusByCode) {
    const std::vector<CodeCase> cases = {
        {"normal mode", 0, 0, Outcome::Accepted, {"Normal mode recieved"}, {}},
        {"pump started", 3, 0, Outcome::Accepted, {"Pump Started"}, {}},
        {"pump stopped", 4, 0, Outcome::Accepted, {"Pump stopped"}, {}},
        {"flow echo nobody waits for", 5, 600000, Outcome::NotAccepted, {}, {}},
        {"ack 6", 6, 0, Outcome::Accepted, {}, {}},
        {"ack 7", 7, 0, Outcome::Accepted, {}, {}},
        {"ack 14", 14, 0, Outcome::Accepted, {}, {}},
        {"ack 15", 15, 0, Outcome::Accepted, {}, {}},
        {"ack 16", 16, 0, Outcome::Accepted, {}, {}},
        {"ack 17", 17, 0, Outcome::Accepted, {}, {}},
        {"ignored 41", 41, 0, Outcome::NotAccepted, {}, {}},
        {"ack 43", 43, 0, Outcome::Accepted, {}, {}},
        {"ack 61", 61, 0, Outcome::Accepted, {}, {}},
        {"heater test begin/end", 101, 0, Outcome::Accepted, {}, {}},
        {"heater states, no heater test yet", 102, 0x0101, Outcome::Accepted, {}, {}},
        {"user calibration started", 109, 0, Outcome::Accepted, {"User calibration started"}, {}},
        {"ack 143", 143, 0, Outcome::Accepted, {}, {}},
        {"diagnostic clear",
         148,
         128,
         Outcome::ClearsOnly,
         {"Will perform diagnostic clear on next reset"},
         {}},
        {"diagnostic clear, wrong argument", 148, 127, Outcome::NotAccepted, {}, {}},
        {"diagnostic clear, high bytes set", 148, 0x100 | 128, Outcome::NotAccepted, {}, {}},
        {"not supported", 254, 0x1234, Outcome::Accepted, {}, {{19, 0x34}}},
        {"not supported, code 0", 254, 0, Outcome::Accepted, {}, {{19, 0}}},
        {"not acknowledged", 255, 0, Outcome::Accepted, {"Command not acknowledged"}, {}},
        {"reply 2 is illegal", 2, 0, Outcome::ClearsOnly, {}, {{20, 2}}},
        {"unknown 8", 8, 0, Outcome::ClearsOnly, {}, {{20, 8}}},
        {"unknown 42", 42, 0, Outcome::ClearsOnly, {}, {{20, 42}}},
        {"unknown 199", 199, 0, Outcome::ClearsOnly, {}, {{20, 199}}},
        {"no page 213", 213, 0, Outcome::ClearsOnly, {}, {{20, 213}}},
        {"no page 215", 215, 0, Outcome::ClearsOnly, {}, {{20, 215}}},
        {"no page 217", 217, 0, Outcome::ClearsOnly, {}, {{20, 217}}},
        {"unknown 253", 253, 0, Outcome::ClearsOnly, {}, {{20, 253}}},
    };
    for (const CodeCase& c : cases) {
        SCOPED_TRACE(c.what);
        RecordingHost host;
        HostedDecoder decoder(host);
        decoder.decodeServiceReply(serviceReply(c.code, c.longArg));
        EXPECT_STREQ(toString(outcomeOf(host)), toString(c.outcome));
        EXPECT_EQ(host.statuses, c.statuses);
        EXPECT_EQ(host.messages, c.messages);
        EXPECT_EQ(host.rxSteps, 1);
        EXPECT_TRUE(host.flowSteps.empty());
        EXPECT_TRUE(host.calibrationSteps.empty());
        EXPECT_TRUE(host.handedOn.empty());
        EXPECT_TRUE(host.mainOnlyStatuses.empty());
    }
}

TEST_F(ReplyDecoderTest, NormalModeResetsTestModeLevel) {
    host.testModeLevel = 2;
    feed(serviceReply(service_code::kNormalMode));
    EXPECT_EQ(host.testModeLevel, 0);
}

// --- Reply 1: test mode, by pump software ---

TEST_F(ReplyDecoderTest, TestModeReplyByPumpSoftware) {
    struct Case {
        uint8_t major, minor, byteArg;
        std::vector<std::string> statuses;
        std::optional<uint8_t> level;
    };
    const std::vector<Case> cases = {
        {0, 11, 0, {"Final test mode recieved"}, 1},
        {0, 11, 1, {"Customer access mode recieved"}, 2},
        {0, 11, 2, {}, std::nullopt},
        {0, 10, 2, {"Final test mode recieved"}, 1},
        {0, 10, 1, {"Final test mode recieved"}, 1},
        {0, 6, 0, {"Final test mode recieved"}, 1},
        {1, 0, 1, {"Customer access mode recieved"}, 2},
        {1, 0, 2, {}, std::nullopt},
        {2, 3, 0, {"Final test mode recieved"}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "software " << int(c.major) << "." << int(c.minor)
                                          << ", byteArg " << int(c.byteArg));
        RecordingHost host;
        host.major = c.major;
        host.minor = c.minor;
        HostedDecoder decoder(host);
        decoder.decodeServiceReply(serviceReply(service_code::kEnterTestMode, 0, 0, c.byteArg));
        EXPECT_EQ(outcomeOf(host), Outcome::Accepted);
        EXPECT_EQ(host.statuses, c.statuses);
        EXPECT_EQ(host.testModeLevel, c.level);
    }
}

// --- Replies 3, 4, 5 and 109: the flow test first, then the user calibration ---

struct StepCase {
    const char* what;
    uint8_t code;
    uint32_t longArg;
    uint8_t flowState;
    uint8_t calibrationStep;
    Outcome outcome;
    std::vector<uint8_t> flowSteps;
    std::vector<int> calibrationSteps;
    std::vector<std::string> statuses;
};

TEST_F(ReplyDecoderTest, PumpAndFlowRepliesDriveFlowTestBeforeCalibration) {
    using namespace flow_test_step;
    namespace uc = user_calibration;
    const std::vector<StepCase> cases = {
        {"3 while starting a flow test",
         3,
         0,
         kStarting,
         uc::kIdle,
         Outcome::Accepted,
         {kSettingFlow},
         {},
         {"Pump Started"}},
        {"3 while both start: the flow test has it",
         3,
         0,
         kStarting,
         uc::kStarting,
         Outcome::Accepted,
         {kSettingFlow},
         {},
         {"Pump Started"}},
        {"3 while the calibration starts",
         3,
         0,
         kIdle,
         uc::kStarting,
         Outcome::Accepted,
         {},
         {uc::kStepRunning},
         {"Pump Started"}},
        {"3 while nobody starts",
         3,
         0,
         kRunning,
         uc::kRunning,
         Outcome::Accepted,
         {},
         {},
         {"Pump Started"}},
        {"4 while the flow test runs",
         4,
         0,
         kRunning,
         uc::kStopping,
         Outcome::Accepted,
         {kIdle},
         {},
         {"Pump stopped"}},
        {"4 while the calibration stops",
         4,
         0,
         kSettingFlow,
         uc::kStopping,
         Outcome::Accepted,
         {},
         {uc::kStepFinishRun},
         {"Pump stopped"}},
        {"4 while nothing stops",
         4,
         0,
         kStarting,
         uc::kRunning,
         Outcome::Accepted,
         {},
         {},
         {"Pump stopped"}},
        {"5 echoing the flow sent",
         5,
         1234,
         kSettingFlow,
         uc::kIdle,
         Outcome::Accepted,
         {kRunning},
         {},
         {"Flow Test Running"}},
        {"5 echoing another flow",
         5,
         1235,
         kSettingFlow,
         uc::kIdle,
         Outcome::NotAccepted,
         {},
         {},
         {}},
        {"5 with the calibration flow while the flow test sets its flow",
         5,
         600000,
         kSettingFlow,
         uc::kSettingFlow,
         Outcome::NotAccepted,
         {},
         {},
         {}},
        {"5 with the calibration flow",
         5,
         600000,
         kIdle,
         uc::kSettingFlow,
         Outcome::Accepted,
         {},
         {uc::kStepStartRun},
         {"Calibration Running"}},
        {"5 with another flow during calibration",
         5,
         599999,
         kIdle,
         uc::kSettingFlow,
         Outcome::NotAccepted,
         {},
         {},
         {}},
        {"5 with the calibration flow in the wrong step",
         5,
         600000,
         kIdle,
         uc::kStarting,
         Outcome::NotAccepted,
         {},
         {},
         {}},
        {"109 while the calibration starts",
         109,
         0,
         kStarting,
         uc::kStarting,
         Outcome::Accepted,
         {},
         {uc::kStepRunning},
         {"User calibration started"}},
        {"109 in another step",
         109,
         0,
         kIdle,
         uc::kRunning,
         Outcome::Accepted,
         {},
         {},
         {"User calibration started"}},
    };
    for (const StepCase& c : cases) {
        SCOPED_TRACE(c.what);
        RecordingHost host;
        host.flowState = c.flowState;
        host.calibration = c.calibrationStep;
        host.flowSettingValue = 1234;
        HostedDecoder decoder(host);
        decoder.decodeServiceReply(serviceReply(c.code, c.longArg));
        EXPECT_STREQ(toString(outcomeOf(host)), toString(c.outcome));
        EXPECT_EQ(host.flowSteps, c.flowSteps);
        EXPECT_EQ(host.calibrationSteps, c.calibrationSteps);
        EXPECT_EQ(host.statuses, c.statuses);
    }
}

// --- Reply 13: the valve state, by the context of the command sent ---

TEST_F(ReplyDecoderTest, ValveReplyByContext) {
    using namespace flow_test_step;
    namespace uc = user_calibration;
    constexpr auto kManual = uint8_t(ValveReplyContext::Manual);
    constexpr auto kClosed = uint8_t(ValveReplyContext::ExpectClosed);
    constexpr auto kOpen = uint8_t(ValveReplyContext::ExpectOpen);
    struct Case {
        const char* what;
        uint8_t context, flowState, calibrationStep, byteArg;
        std::vector<std::string> statuses;
        std::vector<uint8_t> flowSteps;
        std::vector<int> calibrationSteps;
        std::vector<std::pair<int, long long>> messages;
        std::optional<std::string> valveLabel;
    };
    const std::vector<Case> cases = {
        {"manual, open", kManual, kIdle, uc::kIdle, 1, {"Dosing valve open. "}, {}, {}, {}, "Open"},
        {"manual, any nonzero is open",
         kManual,
         kRunning,
         uc::kSettingValve,
         0x80,
         {"Dosing valve open. "},
         {},
         {},
         {},
         "Open"},
        {"manual, closed",
         kManual,
         kSettingValve,
         uc::kIdle,
         0,
         {"Dosing valve closed. "},
         {},
         {},
         {},
         "Closed"},
        {"flow test waits for closed, closed",
         kClosed,
         kSettingValve,
         uc::kSettingValve,
         0,
         {"Valve set"},
         {kStarting},
         {},
         {},
         std::nullopt},
        {"flow test waits for closed, open: again",
         kClosed,
         kSettingValve,
         uc::kSettingValve,
         1,
         {},
         {kSettingValve},
         {},
         {},
         std::nullopt},
        {"calibration waits for closed, closed",
         kClosed,
         kIdle,
         uc::kSettingValve,
         0,
         {"Valve set"},
         {},
         {uc::kStepSetFlow},
         {},
         std::nullopt},
        {"calibration waits for closed, open: waits on",
         kClosed,
         kIdle,
         uc::kSettingValve,
         1,
         {},
         {},
         {},
         {},
         std::nullopt},
        {"calibration idle, closed",
         kClosed,
         kRunning,
         uc::kIdle,
         0,
         {"Pump stopped"},
         {},
         {},
         {},
         std::nullopt},
        {"calibration idle, open", kClosed, kRunning, uc::kIdle, 1, {}, {}, {}, {}, std::nullopt},
        {"closed expected, nobody waits",
         kClosed,
         kRunning,
         uc::kRunning,
         0,
         {},
         {},
         {},
         {},
         std::nullopt},
        {"flow test waits for open, open",
         kOpen,
         kSettingValve,
         uc::kIdle,
         1,
         {"Valve set"},
         {kStarting},
         {},
         {},
         std::nullopt},
        {"flow test waits for open, closed: again",
         kOpen,
         kSettingValve,
         uc::kIdle,
         0,
         {},
         {kSettingValve},
         {},
         {},
         std::nullopt},
        {"calibration waits for open, open",
         kOpen,
         kStarting,
         uc::kSettingValve,
         2,
         {"Valve set"},
         {},
         {uc::kStepSetFlow},
         {},
         std::nullopt},
        {"calibration waits for open, closed: waits on",
         kOpen,
         kStarting,
         uc::kSettingValve,
         0,
         {},
         {},
         {},
         {},
         std::nullopt},
        {"calibration idle, open after priming",
         kOpen,
         kIdle,
         uc::kIdle,
         1,
         {"Pump stopped"},
         {},
         {},
         {},
         std::nullopt},
        {"open expected, calibration stopping",
         kOpen,
         kIdle,
         uc::kStopping,
         1,
         {},
         {},
         {},
         {},
         std::nullopt},
        {"no context yet",
         0,
         kSettingValve,
         uc::kSettingValve,
         1,
         {"Unexpected telegram"},
         {},
         {},
         {{4, 0}},
         std::nullopt},
        {"context 3",
         3,
         kIdle,
         uc::kIdle,
         0,
         {"Unexpected telegram"},
         {},
         {},
         {{4, 0}},
         std::nullopt},
        {"context 255",
         255,
         kIdle,
         uc::kIdle,
         1,
         {"Unexpected telegram"},
         {},
         {},
         {{4, 0}},
         std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RecordingHost host;
        host.flowState = c.flowState;
        host.calibration = c.calibrationStep;
        HostedDecoder decoder(host);
        decoder.valveReplyContext = c.context;
        decoder.decodeServiceReply(serviceReply(service_code::kSetDosingValve, 0, 0, c.byteArg));
        EXPECT_EQ(outcomeOf(host), Outcome::Accepted);
        EXPECT_EQ(host.statuses, c.statuses);
        EXPECT_EQ(host.flowSteps, c.flowSteps);
        EXPECT_EQ(host.calibrationSteps, c.calibrationSteps);
        EXPECT_EQ(host.messages, c.messages);
        const auto label = host.labels.find("lDosingValve");
        EXPECT_EQ(label == host.labels.end() ? std::nullopt : std::optional(label->second),
                  c.valveLabel);
        EXPECT_EQ(decoder.valveReplyContext, c.context) << "the context keeps its value";
    }
}

// --- Replies 102 and 103: heater and lamp states ---

TEST_F(ReplyDecoderTest, HeaterStatesShowTheHeaterUnderTest) {
    struct Case {
        uint8_t heater, tank, line;
        std::map<std::string, std::string> labels;
        std::vector<std::string> statuses;
    };
    const std::vector<Case> cases = {
        {0, 1, 0, {{"lTankHeater", "On"}}, {"Tank heater enabled. "}},
        {0, 0, 1, {{"lTankHeater", "Off"}}, {"Tank heater disabled. "}},
        {0, 2, 1, {{"lTankHeater", "Undetermined"}}, {"Tank heater enabled. "}},
        {0, 9, 0, {{"lTankHeater", "Invalid value: 9"}}, {"Tank heater enabled. "}},
        {1, 1, 1, {{"lLineHeater", "On"}}, {"Line heater enabled. "}},
        {1, 1, 0, {{"lLineHeater", "Off"}}, {"Line heater disabled. "}},
        {1, 0, 200, {{"lLineHeater", "Invalid value: 200"}}, {"Line heater enabled. "}},
        {2, 1, 1, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "heater " << int(c.heater) << ", tank " << int(c.tank)
                                          << ", line " << int(c.line));
        RecordingHost host;
        host.heaterTest = c.heater;
        HostedDecoder decoder(host);
        decoder.decodeServiceReply(
            serviceReply(service_code::kHeaterOutputs, uint32_t(c.tank) | (uint32_t(c.line) << 8)));
        EXPECT_EQ(outcomeOf(host), Outcome::Accepted);
        EXPECT_EQ(host.labels, c.labels);
        EXPECT_EQ(host.statuses, c.statuses);
    }
}

TEST_F(ReplyDecoderTest, LampStatesShowMiAndUreaLampOnly) {
    // MI lamp on, urea lamp off, the two further outputs "not addressed" and garbage.
    feed(serviceReply(service_code::kLampOutputs, 0xFF020001));
    EXPECT_EQ(outcomeOf(host), Outcome::Accepted);
    EXPECT_EQ(host.labels,
              (std::map<std::string, std::string>{{"lLamp3Conf", "On"}, {"lLamp4Conf", "Off"}}));
    EXPECT_TRUE(host.statuses.empty());

    feed(serviceReply(service_code::kLampOutputs, 0x00000302));
    EXPECT_EQ(host.labels["lLamp3Conf"], "Undetermined");
    EXPECT_EQ(host.labels["lLamp4Conf"], "Invalid value: 3");
}

// --- Reply 128: the user calibration echo ---

TEST_F(ReplyDecoderTest, UserCalibrationEchoComparesWithTheEnteredMass) {
    struct Case {
        const char* what;
        std::string volumeText;
        uint16_t echo;
        bool downloaded;
    };
    const std::vector<Case> cases = {
        {"equal", "1000", 1000, true},
        {"equal, edge of range", "2047", 2047, true},
        {"blanks around the entry", " 500 ", 500, true},
        {"different", "1000", 1001, false},
        // The command carried the low 16 bits of 66536, which is 1000; the echo is not 66536.
        {"entry above 16 bits", "66536", 1000, false},
        {"negative entry", "-1", 0xFFFF, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RecordingHost host;
        host.volumeText = c.volumeText;
        host.calibration = user_calibration::kIdle;
        HostedDecoder decoder(host);
        decoder.decodeServiceReply(serviceReply(service_code::kDownloadUserCalibration, c.echo));
        EXPECT_TRUE(host.statuses.empty()) << "the service window's status is left alone";
        if (c.downloaded) {
            EXPECT_EQ(outcomeOf(host), Outcome::ClearsOnly);
            EXPECT_EQ(host.userCalibrationShown, std::to_string(c.echo));
            EXPECT_EQ(host.mainOnlyStatuses, std::vector{"User calibration downloaded"s});
            EXPECT_EQ(host.calibrationSteps, std::vector{user_calibration::kStepCalibrationStored});
        } else {
            EXPECT_EQ(outcomeOf(host), Outcome::NotAccepted);
            EXPECT_EQ(host.userCalibrationShown, std::nullopt);
            EXPECT_EQ(host.mainOnlyStatuses, std::vector{"User calibration NOT downloaded"s});
            EXPECT_TRUE(host.calibrationSteps.empty());
        }
    }
}

TEST_F(ReplyDecoderTest, EntryWithoutIntegerEndsThatReplySilently) {
    for (const char* text : {"abc", "", "10 00", "12a", "+", "99999999999", "2147483648"}) {
        SCOPED_TRACE(text);
        RecordingHost host;
        host.volumeText = text;
        HostedDecoder decoder(host);
        decoder.decodeServiceReply(serviceReply(service_code::kDownloadUserCalibration, 1000));
        EXPECT_EQ(outcomeOf(host), Outcome::NotAccepted);
        EXPECT_TRUE(host.mainOnlyStatuses.empty());
        EXPECT_TRUE(host.messages.empty());
        EXPECT_FALSE(host.userCalibrationShown);

        // The next reply is decoded normally.
        decoder.decodeServiceReply(serviceReply(service_code::kNotAcknowledged));
        EXPECT_EQ(host.statuses, std::vector{"Command not acknowledged"s});
        EXPECT_EQ(outcomeOf(host), Outcome::Accepted);
    }
}

// --- Reply 146: EEPROM words ---

J1939Message eepromWord(uint32_t address, uint16_t word, uint8_t valid = 1) {
    return serviceReply(service_code::kReadEepromWord, address, word, valid);
}

TEST_F(ReplyDecoderTest, MatchingEepromWordOutsideReadAll) {
    host.labels["lEEPROMReadAdr"] = "17";
    decoder.eepromMismatchCount = 5;
    feed(eepromWord(17, 0xBEEF));
    EXPECT_EQ(outcomeOf(host), Outcome::ClearsOnly) << "an EEPROM word is no service reply";
    EXPECT_EQ(host.labels["lDataHex"], "BEEF");
    EXPECT_EQ(host.labels["lEEPROMReadAdr"], "17");
    EXPECT_EQ(host.statuses, std::vector{"EEPROM data read"s});
    EXPECT_FALSE(host.readAll);
    EXPECT_TRUE(host.eepromReads.empty());
    EXPECT_EQ(decoder.eepromMismatchCount, 0);

    feed(eepromWord(17, 0x000A));
    EXPECT_EQ(host.labels["lDataHex"], "000A") << "four upper-case digits";
}

TEST_F(ReplyDecoderTest, MismatchingEepromWordsKeepTheWait) {
    struct Case {
        const char* what;
        uint32_t address;
        uint8_t valid;
    };
    const std::vector<Case> cases = {
        {"other address", 18, 1},
        {"not valid", 17, 0},
        {"valid flag 2", 17, 2},
        {"address beyond 32-bit signed", 0x80000011u, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RecordingHost host;
        host.labels["lEEPROMReadAdr"] = "17";
        host.readAll = true;
        HostedDecoder decoder(host);
        decoder.decodeServiceReply(eepromWord(c.address, 0x1234, c.valid));
        EXPECT_EQ(outcomeOf(host), Outcome::NotAccepted);
        EXPECT_EQ(decoder.eepromMismatchCount, 1);
        EXPECT_TRUE(host.readAll);
        EXPECT_TRUE(host.statuses.empty());
        EXPECT_EQ(host.labels.count("lDataHex"), 0u);
    }
}

TEST_F(ReplyDecoderTest, SixtyFirstMismatchGivesTheReadUp) {
    host.labels["lEEPROMReadAdr"] = "4";
    host.readAll = true;
    for (int i = 1; i <= 60; ++i) {
        feed(eepromWord(3, 0));
    }
    EXPECT_EQ(decoder.eepromMismatchCount, 60);
    EXPECT_TRUE(host.awaitingReply) << "the 60th mismatch does not end the read";
    EXPECT_TRUE(host.readAll);
    EXPECT_TRUE(host.statuses.empty());

    feed(eepromWord(3, 0));
    EXPECT_EQ(outcomeOf(host), Outcome::ClearsOnly);
    EXPECT_FALSE(host.readAll);
    EXPECT_EQ(host.statuses, std::vector{"EEPROM data NOT read"s});
    EXPECT_TRUE(host.eepromReads.empty());

    // The next read counts its own mismatches: one stray reply does not end it at once.
    host.awaitingReply = true;
    host.readAll = true;
    host.statuses.clear();
    feed(eepromWord(3, 0));
    EXPECT_TRUE(host.awaitingReply);
    EXPECT_TRUE(host.readAll);
    EXPECT_TRUE(host.statuses.empty());
}

TEST_F(ReplyDecoderTest, MatchingWordResetsTheMismatchCount) {
    host.labels["lEEPROMReadAdr"] = "9";
    for (int i = 0; i < 40; ++i) {
        feed(eepromWord(8, 0));
    }
    feed(eepromWord(9, 0x55AA));
    EXPECT_EQ(decoder.eepromMismatchCount, 0);
    host.awaitingReply = true;
    for (int i = 0; i < 40; ++i) {
        feed(eepromWord(8, 0));
    }
    EXPECT_TRUE(host.awaitingReply) << "40 + 40 mismatches around a match are not 61 in a row";
}

TEST_F(ReplyDecoderTest, AddressReadOutWithoutIntegerEndsTheReplySilently) {
    // "?" after the pump was lost.
    host.readAll = true;
    feed(eepromWord(0, 0x1234));
    EXPECT_EQ(outcomeOf(host), Outcome::NotAccepted);
    EXPECT_EQ(decoder.eepromMismatchCount, 0);
    EXPECT_TRUE(host.statuses.empty());
    EXPECT_TRUE(host.readAll);
}

class EepromDumpTest : public ReplyDecoderTest {
  protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = std::filesystem::temp_directory_path() /
               ("reply_decoder_" + std::string(info->name()) + "_" +
                std::to_string(static_cast<long long>(::getpid())));
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
        host.dumpFileName = (dir_ / "eepromdata.csv").string();
        // The window creates the chosen file empty before the first request.
        std::ofstream(host.dumpFileName, std::ios::binary);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    // Starts a read-out at an address, as the service window does.
    void startReadAll(uint32_t address) {
        host.labels["lEEPROMReadAdr"] = std::to_string(address);
        host.readAll = true;
    }
    // The pump answers every read with the word for that address.
    static uint16_t wordAt(uint32_t address) { return static_cast<uint16_t>(address * 0x0101 + 7); }
    // Answers until the read-out ends, like the pump would; returns the number of replies.
    int runPump(int limit = 1000) {
        int replies = 0;
        while (host.readAll && replies < limit) {
            const uint32_t address = std::stoul(host.labels["lEEPROMReadAdr"]);
            host.awaitingReply = true;
            feed(eepromWord(address, wordAt(address)));
            ++replies;
        }
        return replies;
    }
    std::string fileText() const {
        std::ifstream in(host.dumpFileName, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    static std::vector<std::string> crLfLines(const std::string& text) {
        std::vector<std::string> lines;
        std::size_t start = 0;
        while (start < text.size()) {
            const std::size_t end = text.find("\r\n", start);
            if (end == std::string::npos) {
                lines.push_back(text.substr(start) + "<no CR LF>");
                break;
            }
            lines.push_back(text.substr(start, end - start));
            start = end + 2;
        }
        return lines;
    }

    std::filesystem::path dir_;
};

TEST_F(EepromDumpTest, ReadAllFromZeroWritesHeaderAnd192Lines) {
    startReadAll(0);
    EXPECT_EQ(runPump(), 192);
    EXPECT_FALSE(host.readAll);
    EXPECT_FALSE(host.awaitingReply);
    EXPECT_FALSE(host.serviceReplyReceived);

    std::vector<uint32_t> expectedReads;
    for (uint32_t a = 1; a <= 191; ++a) {
        expectedReads.push_back(a);
    }
    EXPECT_EQ(host.eepromReads, expectedReads) << "190 asks for 191; 191 asks for nothing";
    ASSERT_EQ(host.statuses.size(), 192u);
    EXPECT_EQ(host.statuses[0], "Reading EEPROM data");
    EXPECT_EQ(host.statuses[190], "Reading EEPROM data");
    EXPECT_EQ(host.statuses[191], "All EEPROM Read");
    EXPECT_EQ(host.labels["lEEPROMReadAdr"], "191");
    EXPECT_EQ(host.labels["lDataHex"], "BFC6");  // 191 * 0x0101 + 7

    const std::string text = fileText();
    EXPECT_EQ(text.find('\n'), text.find("\r\n") + 1) << "line ends are CR LF";
    std::size_t bareLf = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        bareLf += text[i] == '\n' && (i == 0 || text[i - 1] != '\r');
    }
    EXPECT_EQ(bareLf, 0u);
    const auto lines = crLfLines(text);
    ASSERT_EQ(lines.size(), 1u + 192u);
    EXPECT_EQ(lines[0], "Address(dec), Data (dec), Data (hex)");
    EXPECT_EQ(lines[1], "   0,      7,     7 ");
    EXPECT_EQ(lines[2], "   1,    264,   108 ");
    EXPECT_EQ(lines[11], "  10,   2577,   a11 ");
    EXPECT_EQ(lines[192], " 191,  49094,  bfc6 ");
}

TEST_F(EepromDumpTest, HeaderOnlyBeforeAddressZero) {
    startReadAll(189);
    EXPECT_EQ(runPump(), 3);
    EXPECT_EQ(crLfLines(fileText()),
              (std::vector<std::string>{" 189,  48580,  bdc4 ", " 190,  48837,  bec5 ",
                                        " 191,  49094,  bfc6 "}));
    EXPECT_EQ(host.statuses.back(), "All EEPROM Read");
}

TEST_F(EepromDumpTest, AddressAboveTheLastEndsTheRun) {
    startReadAll(500);
    EXPECT_EQ(runPump(), 1);
    EXPECT_EQ(host.statuses, std::vector{"All EEPROM Read"s});
    EXPECT_TRUE(host.eepromReads.empty());
}

TEST_F(EepromDumpTest, FileThatCannotBeOpenedEndsTheReadOut) {
    for (const std::string& name :
         {(dir_ / "missing-folder" / "eepromdata.csv").string(), dir_.string(), ""s}) {
        SCOPED_TRACE(name);
        host.dumpFileName = name;
        host.statuses.clear();
        host.eepromReads.clear();
        startReadAll(0);
        EXPECT_EQ(runPump(), 1);
        EXPECT_FALSE(host.readAll);
        EXPECT_FALSE(host.awaitingReply);
        EXPECT_EQ(host.statuses, std::vector{"EEPROM dump file could not be opened"s});
        EXPECT_TRUE(host.eepromReads.empty()) << "no further request";
        EXPECT_EQ(host.labels["lEEPROMReadAdr"], "0");
    }
}

TEST_F(EepromDumpTest, AFullDiskEndsTheReadOutAtTheWordThatDidNotFit) {
    // /dev/full opens and takes every write, then refuses them when they reach it.
    host.dumpFileName = "/dev/full";
    startReadAll(5);
    EXPECT_EQ(runPump(), 1);
    EXPECT_FALSE(host.readAll);
    EXPECT_FALSE(host.awaitingReply);
    EXPECT_EQ(host.statuses, std::vector{"EEPROM dump file could not be written"s});
    EXPECT_TRUE(host.eepromReads.empty()) << "no further request";
}

TEST_F(EepromDumpTest, KeepsWordsWrittenBeforeMismatchesEndTheRun) {
    startReadAll(0);
    host.awaitingReply = true;
    feed(eepromWord(0, 0x0102));
    feed(eepromWord(1, 0x0304));
    for (int i = 0; i < 61; ++i) {
        feed(eepromWord(1, 0));  // stale answers for address 1, now asking for 2
    }
    EXPECT_FALSE(host.readAll);
    EXPECT_EQ(host.statuses.back(), "EEPROM data NOT read");
    EXPECT_EQ(crLfLines(fileText()),
              (std::vector<std::string>{"Address(dec), Data (dec), Data (hex)",
                                        "   0,    258,   102 ", "   1,    772,   304 "}));
}

// --- Replies handed on whole ---

TEST_F(ReplyDecoderTest, HandedOnRepliesFollowTheHandlersDecision) {
    struct Case {
        uint8_t code;
        const char* handler;
        bool wholeTelegram;  // else the body
    };
    const std::vector<Case> cases = {
        {141, "errorLog", true},
        {147, "configurationEcho", false},
        {163, "configurationEcho", false},
        {164, "masks", false},
        {165, "masks", false},
        {168, "obdActionMaskWord", false},
        {169, "obdActionMaskWord", false},
        {170, "airUnitMask", false},
        {171, "airUnitMask", false},
        {172, "parameterReadout", true},
        {173, "parameterReadout", true},
    };
    const std::vector<std::pair<ReplyAcceptance, Outcome>> answers = {
        {ReplyAcceptance::Accepted, Outcome::Accepted},
        {ReplyAcceptance::ClearsOnly, Outcome::ClearsOnly},
        {ReplyAcceptance::NotAccepted, Outcome::NotAccepted},
    };
    const std::vector<uint8_t> body = {0xA1, 0xB2, 0xC3, 0xD4, 0xE5};
    for (const Case& c : cases) {
        for (const auto& [answer, outcome] : answers) {
            SCOPED_TRACE(::testing::Message()
                         << "code " << int(c.code) << ", handler answers " << toString(answer));
            RecordingHost host;
            host.handlerAnswer = answer;
            HostedDecoder decoder(host);
            const J1939Message message = serviceReply(c.code, 0xCAFEF00D, 0x7701, 9, body);
            decoder.decodeServiceReply(message);
            EXPECT_STREQ(toString(outcomeOf(host)), toString(outcome));
            ASSERT_EQ(host.handedOn.size(), 1u);
            const auto& call = host.handedOn[0];
            EXPECT_EQ(call.handler, c.handler);
            if (c.wholeTelegram) {
                EXPECT_EQ(call.bytes,
                          std::vector<uint8_t>(message.data, message.data + message.length));
            } else if (call.handler == "configurationEcho"s || call.handler == "masks"s) {
                EXPECT_EQ(call.bytes, body);
                EXPECT_EQ(call.code, c.code);
            } else {
                EXPECT_EQ(call.value, 0xCAFEF00Du);
                EXPECT_EQ(call.code, c.code);
            }
            if (call.handler == "obdActionMaskWord"s) {
                EXPECT_EQ(call.index, 0x01) << "low byte of wordArg";
            }
            if (call.handler == "parameterReadout"s) {
                EXPECT_EQ(call.isWrite, c.code == 172);
            }
            EXPECT_TRUE(host.statuses.empty());
            EXPECT_TRUE(host.messages.empty());
        }
    }
}

TEST_F(ReplyDecoderTest, StatusPagesAreAcceptedAndHandedOn) {
    std::vector<uint8_t> codes;
    for (int code = 201; code <= 212; ++code) {
        codes.push_back(static_cast<uint8_t>(code));
    }
    codes.push_back(216);
    for (uint8_t code : codes) {
        SCOPED_TRACE(int(code));
        RecordingHost host;
        HostedDecoder decoder(host);
        decoder.decodeServiceReply(serviceReply(code, 1, 2, 3, {10, 20, 30}));
        EXPECT_EQ(outcomeOf(host), Outcome::Accepted);
        ASSERT_EQ(host.handedOn.size(), 1u);
        EXPECT_EQ(host.handedOn[0].handler, "statusPage");
        EXPECT_EQ(host.handedOn[0].code, code);
        EXPECT_EQ(host.handedOn[0].bytes, (std::vector<uint8_t>{10, 20, 30}));
        EXPECT_TRUE(host.messages.empty());
    }
}

TEST_F(ReplyDecoderTest, AllPagesGetTheWholeTelegram) {
    std::vector<uint8_t> body(service_length::kAllPagesReply - 8);
    for (std::size_t i = 0; i < body.size(); ++i) {
        body[i] = static_cast<uint8_t>(i * 3);
    }
    const J1939Message message = serviceReply(service_code::kAllPages, 0, 0, 0, body);
    feed(message);
    EXPECT_EQ(outcomeOf(host), Outcome::Accepted);
    ASSERT_EQ(host.handedOn.size(), 1u);
    EXPECT_EQ(host.handedOn[0].handler, "allPages");
    EXPECT_EQ(host.handedOn[0].bytes,
              std::vector<uint8_t>(message.data, message.data + service_length::kAllPagesReply));
}

TEST_F(ReplyDecoderTest, Dm1SupportReplies) {
    struct Case {
        uint8_t code, byteArg, sent;
        bool accepted;
        const char* shown;
    };
    const std::vector<Case> cases = {
        {166, 1, 1, true, "Enabled"},  {166, 0, 0, true, "Disabled"}, {166, 0, 1, false, nullptr},
        {166, 1, 0, false, nullptr},   {167, 1, 0, true, "Enabled"},  {167, 0, 1, true, "Disabled"},
        {167, 2, 2, true, "Disabled"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "code " << int(c.code) << ", byteArg "
                                          << int(c.byteArg) << ", sent " << int(c.sent));
        RecordingHost host;
        host.dm1Sent = c.sent;
        HostedDecoder decoder(host);
        decoder.decodeServiceReply(serviceReply(c.code, 0, 0, c.byteArg));
        EXPECT_TRUE(host.statuses.empty()) << "main window only";
        if (c.accepted) {
            EXPECT_EQ(outcomeOf(host), Outcome::Accepted);
            EXPECT_EQ(host.mainOnlyStatuses, std::vector{"DM1 configuration status received"s});
            EXPECT_EQ(host.dm1Status, std::string(c.shown));
        } else {
            EXPECT_EQ(outcomeOf(host), Outcome::NotAccepted);
            EXPECT_TRUE(host.mainOnlyStatuses.empty());
            EXPECT_FALSE(host.dm1Status);
        }
    }
}

// --- Messages of odd length ---

TEST_F(ReplyDecoderTest, MessageWithoutCodeOnlyStepsTheIndicator) {
    for (uint16_t length = 0; length < 8; ++length) {
        SCOPED_TRACE(length);
        RecordingHost host;
        HostedDecoder decoder(host);
        // Bytes that would read as an illegal code 2 at byte 7 if the length were ignored.
        J1939Message message = serviceReply(2, 0x01020304, 0x0506, 7);
        message.length = length;
        decoder.decodeServiceReply(message);
        EXPECT_EQ(host.rxSteps, 1);
        EXPECT_EQ(outcomeOf(host), Outcome::NotAccepted);
        EXPECT_TRUE(host.messages.empty());
        EXPECT_TRUE(host.statuses.empty());
    }
}

TEST_F(ReplyDecoderTest, EveryMessageStepsTheIndicatorOnce) {
    feed(serviceReply(service_code::kIgnored41));
    feed(serviceReply(service_code::kNotAcknowledged));
    feed(serviceReply(99));
    EXPECT_EQ(host.rxSteps, 3);
}

TEST_F(ReplyDecoderTest, LongMessagesAreCutTo251Bytes) {
    std::vector<uint8_t> body(300 - 8);
    for (std::size_t i = 0; i < body.size(); ++i) {
        body[i] = static_cast<uint8_t>(i + 1);
    }
    const J1939Message allPages = serviceReply(service_code::kAllPages, 0, 0, 0, body);
    ASSERT_EQ(allPages.length, 300);
    feed(allPages);
    ASSERT_EQ(host.handedOn.size(), 1u);
    EXPECT_EQ(host.handedOn[0].bytes, std::vector<uint8_t>(allPages.data, allPages.data + 251));

    J1939Message page = serviceReply(service_code::kPage216, 0, 0, 0, body);
    page.length = 0xFFFF;  // more than the record holds
    feed(page);
    ASSERT_EQ(host.handedOn.size(), 2u);
    EXPECT_EQ(host.handedOn[1].code, service_code::kPage216);
    EXPECT_EQ(host.handedOn[1].bytes, std::vector<uint8_t>(body.begin(), body.begin() + 243));
}

}  // namespace

namespace {

TEST(ReplyDecoderWithoutWindows, ASideNobodyPluggedInWaitsForNothing) {
    // Only the shell's bookkeeping: the service, installer and diagnostics sides are idle.
    RecordingHost host;
    ReplyDecoder decoder(host);
    const struct {
        J1939Message reply;
        Outcome outcome;
    } cases[] = {
        {serviceReply(3), Outcome::Accepted},  // no flow test, no calibration
        {serviceReply(5, 600000), Outcome::NotAccepted},
        {serviceReply(147, 0, 0, 0, std::vector<uint8_t>(47)), Outcome::NotAccepted},
        {serviceReply(165, 0, 0, 0, std::vector<uint8_t>(8)), Outcome::Accepted},
        {serviceReply(164, 0, 0, 0, std::vector<uint8_t>(8)), Outcome::NotAccepted},
        {serviceReply(173), Outcome::Accepted},
        {serviceReply(172), Outcome::NotAccepted},
        {serviceReply(141), Outcome::Accepted},
        {serviceReply(205, 0, 0, 0, std::vector<uint8_t>(15)), Outcome::Accepted},
    };
    for (const auto& c : cases) {
        host.awaitingReply = true;
        host.serviceReplyReceived = false;
        decoder.decodeServiceReply(c.reply);
        EXPECT_EQ(outcomeOf(host), c.outcome) << int(c.reply.data[7]);
    }
    EXPECT_TRUE(host.handedOn.empty()) << "the recorder's own sides were never plugged in";
}

}  // namespace

#pragma once
// The reply decoder's view of the tool: the scheduler's bookkeeping, the pump's software version
// and the windows that wait for replies.

#include <QString>
#include <functional>
#include <map>
#include <string>

#include "app/page_display.h"
#include "pump/reply_decoder.h"

class ToolApplication;

class ToolReplyHost : public ReplyDecoderHost {
  public:
    explicit ToolReplyHost(ToolApplication& app);

    void clearAwaitingReply() override;
    void setServiceReplyReceived() override;
    uint8_t pumpSoftwareMajor() const override;
    uint8_t pumpSoftwareMinor() const override;
    void setStatus(std::string_view text) override;
    void setMainStatusOnly(std::string_view text) override;
    void operatorMessage(int code, long long number) override;
    void stepReceiveIndicator() override;

    void setTestModeLevel(uint8_t level) override;
    uint8_t flowTestState() const override;
    uint32_t flowSetting() const override;
    void advanceFlowTest(uint8_t step) override;
    uint8_t heaterUnderTest() const override { return heaterUnderTest_; }
    void setServiceLabel(std::string_view objectName, std::string_view text) override;
    std::string serviceLabelText(std::string_view objectName) const override;
    bool readAllActive() const override { return readAllActive_; }
    void setReadAllActive(bool active) override { readAllActive_ = active; }
    std::string eepromDumpFileName() const override { return eepromDumpFileName_; }
    void sendEepromRead(uint32_t address) override;

    uint8_t calibrationStep() const override;
    void userCalibrationStep(int step) override;
    std::string userCalibrationVolumeText() const override;
    void showUserCalibration(std::string_view text) override;

    uint8_t lastDm1SettingSent() const override { return lastDm1SettingSent_; }
    void showDm1Status(std::string_view text) override;

    ReplyAcceptance onErrorLogRecord(std::span<const uint8_t> telegram) override;
    ReplyAcceptance onConfigurationEcho(uint8_t code, std::span<const uint8_t> body) override;
    ReplyAcceptance onMasks(uint8_t code, std::span<const uint8_t> body) override;
    ReplyAcceptance onObdActionMaskWord(uint8_t code, uint32_t word, uint8_t index) override;
    ReplyAcceptance onAirUnitMask(uint8_t code, uint32_t mask) override;
    ReplyAcceptance onParameterReadout(std::span<const uint8_t> telegram, bool isWrite) override;
    void onAllPages(std::span<const uint8_t> telegram) override;
    void onStatusPage(uint8_t code, std::span<const uint8_t> body) override;

    // Replies handed on to windows that are not built yet, counted by code, so that tests see
    // them arrive.
    std::map<int, int> handedOn;
    std::string eepromDumpFileName_;
    uint8_t lastDm1SettingSent_ = 0;
    uint8_t heaterUnderTest_ = 2;
    bool readAllActive_ = false;

    PumpPageDisplay pages;

  private:
    ToolApplication& app_;
};

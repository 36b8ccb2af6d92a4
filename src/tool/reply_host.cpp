#include "tool/reply_host.h"

#include <QCoreApplication>
#include <QDir>
#include <QLabel>

#include "tool/tool_application.h"

namespace {
QString toQ(std::string_view text) {
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}
}  // namespace

ToolReplyHost::ToolReplyHost(ToolApplication& app)
    : pages(PumpPageDisplay::Targets{
          [&app](ReadoutWindow w) -> QWidget* {
              switch (w) {
                  case ReadoutWindow::Main:
                      return app.Form1;
                  case ReadoutWindow::Installer:
                      return app.fInstaller;
                  case ReadoutWindow::ServiceTest:
                      return app.fServiceTool;
                  case ReadoutWindow::UserCalibration:
                      return app.fUserCalibration;
                  case ReadoutWindow::ErrorLog:
                      return app.fUdsErrorLog;
              }
              return nullptr;
          },
          app.fInstaller, [&app] { return app.fInstaller->accessLevel; },
          [&app](PumpSoftwareVersion v) { app.core->scheduler.pumpSoftwareVersion = v; },
          [&app](uint8_t level) { app.fServiceTool->setTestModeLevel(level); }}),
      app_(app) {
    // The EEPROM dump goes to "log/eepromdata.csv" beside the application until the operator
    // chooses another file.
    eepromDumpFileName_ =
        QDir(QCoreApplication::applicationDirPath()).filePath("log/eepromdata.csv").toStdString();
}

void ToolReplyHost::clearAwaitingReply() {
    app_.core->scheduler.awaitingReply = false;
}
void ToolReplyHost::setServiceReplyReceived() {
    app_.core->scheduler.serviceReplyReceived = true;
}
uint8_t ToolReplyHost::pumpSoftwareMajor() const {
    return app_.core->scheduler.pumpSoftwareVersion.major;
}
uint8_t ToolReplyHost::pumpSoftwareMinor() const {
    return app_.core->scheduler.pumpSoftwareVersion.minor;
}
void ToolReplyHost::setStatus(std::string_view text) {
    app_.setStatus(std::string(text));
}
void ToolReplyHost::setMainStatusOnly(std::string_view text) {
    app_.Form1->setStatusText(toQ(text));
}
void ToolReplyHost::operatorMessage(int code, long long number) {
    app_.core->operatorMessage(code, static_cast<int>(number));
}
void ToolReplyHost::stepReceiveIndicator() {
    app_.Form1->rxStep();
}

void ToolReplyHost::setTestModeLevel(uint8_t level) {
    app_.fServiceTool->setTestModeLevel(level);
}
uint8_t ToolReplyHost::flowTestState() const {
    return static_cast<uint8_t>(app_.fServiceTool->flowTestState);
}
uint32_t ToolReplyHost::flowSetting() const {
    return app_.fServiceTool->flowSetting;
}
void ToolReplyHost::advanceFlowTest(uint8_t step) {
    ++handedOn[1000 + step];
}

void ToolReplyHost::setServiceLabel(std::string_view objectName, std::string_view text) {
    if (auto* label = app_.fServiceTool->findChild<QLabel*>(toQ(objectName))) {
        label->setText(toQ(text));
    }
}

std::string ToolReplyHost::serviceLabelText(std::string_view objectName) const {
    if (auto* label = app_.fServiceTool->findChild<QLabel*>(toQ(objectName))) {
        return label->text().toStdString();
    }
    return {};
}

void ToolReplyHost::sendEepromRead(uint32_t address) {
    app_.core->sender.enqueueCommand(146, address, 0, 0);
}

uint8_t ToolReplyHost::calibrationStep() const {
    return app_.fUserCalibration->calibrationStep;
}
void ToolReplyHost::userCalibrationStep(int step) {
    ++handedOn[2000 + step];
}
std::string ToolReplyHost::userCalibrationVolumeText() const {
    return {};
}
void ToolReplyHost::showUserCalibration(std::string_view text) {
    app_.fUserCalibration->lUserCalibration->setText(toQ(text));
}
void ToolReplyHost::showDm1Status(std::string_view) {
    ++handedOn[167];
}

ReplyAcceptance ToolReplyHost::onErrorLogRecord(std::span<const uint8_t>) {
    ++handedOn[141];
    return ReplyAcceptance::Accepted;
}
ReplyAcceptance ToolReplyHost::onConfigurationEcho(uint8_t code, std::span<const uint8_t>) {
    // No configuration has been sent from this tool yet, so no echo can match.
    ++handedOn[code];
    return ReplyAcceptance::NotAccepted;
}
ReplyAcceptance ToolReplyHost::onMasks(uint8_t code, std::span<const uint8_t>) {
    ++handedOn[code];
    return code == 165 ? ReplyAcceptance::Accepted : ReplyAcceptance::NotAccepted;
}
ReplyAcceptance ToolReplyHost::onObdActionMaskWord(uint8_t code, uint32_t, uint8_t) {
    ++handedOn[code];
    return code == 169 ? ReplyAcceptance::Accepted : ReplyAcceptance::NotAccepted;
}
ReplyAcceptance ToolReplyHost::onAirUnitMask(uint8_t code, uint32_t) {
    ++handedOn[code];
    return code == 171 ? ReplyAcceptance::Accepted : ReplyAcceptance::NotAccepted;
}
ReplyAcceptance ToolReplyHost::onParameterReadout(std::span<const uint8_t>, bool isWrite) {
    ++handedOn[isWrite ? 172 : 173];
    return isWrite ? ReplyAcceptance::NotAccepted : ReplyAcceptance::Accepted;
}

void ToolReplyHost::onAllPages(std::span<const uint8_t> telegram) {
    ++handedOn[200];
    pages.showAllPages(telegram);
}

void ToolReplyHost::onStatusPage(uint8_t code, std::span<const uint8_t> body) {
    ++handedOn[code];
    pages.showStatusPage(code, body);
}

#pragma once
// The diagnostics family: the NOx sensor monitor, the OBD window, the UDS error log and the torque
// limiter. These windows are passive: the decoders write into them whether they are shown or not.

#include <QObject>

#include "app/tool_core.h"
#include "app/tool_module.h"
#include "pump/reply_decoder.h"

class TfNOxSensor;
class TfOBD;
class TfUdsErrorLog;
class TfrmTorqueLimiter;

class DiagnosticsModule : public QObject,
                          public ToolModule,
                          private DiagnosticsReplies,
                          private PageObserver {
    Q_OBJECT
  public:
    explicit DiagnosticsModule(ToolCore& core);
    ~DiagnosticsModule() override;

    // ToolModule
    QList<QWidget*> windows() const override;
    void bindMenu(ToolMenu& menu) override;
    void clearPumpDisplay() override;
    QWidget* readoutWindow(ReadoutWindow window) const override;
    void attachReplies(ReplyRouter& router) override;

  private:
    // DiagnosticsReplies
    ReplyAcceptance onErrorLogRecord(std::span<const uint8_t> telegram) override;
    // PageObserver: the pump's own view of its NOx sensors (pages 209 and 210).
    void onRawPage(uint8_t code, std::span<const uint8_t> body) override;

    ToolCore& core_;
    TfNOxSensor* nox_;
    TfOBD* obd_;
    TfUdsErrorLog* errorLog_;
    TfrmTorqueLimiter* torqueLimiter_;
};

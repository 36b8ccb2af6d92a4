#pragma once
// The diagnostics family: the NOx sensor monitor, the OBD window, the UDS error log and the torque
// limiter. The display windows are passive: the decoders write into them whether they are shown or
// not. The module routes the bus and the pump's pages to them and reads what page 201 needs from
// the installer's read-back labels.

#include <QObject>

#include "app/tool_core.h"
#include "app/tool_module.h"
#include "pump/obd_states.h"
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
    void pumpForgotten() override;
    QWidget* readoutWindow(ReadoutWindow window) const override;
    void attachReplies(ReplyRouter& router) override;

    TfNOxSensor& noxSensor() { return *nox_; }
    TfOBD& obd() { return *obd_; }
    TfUdsErrorLog& errorLog() { return *errorLog_; }
    TfrmTorqueLimiter& torqueLimiter() { return *torqueLimiter_; }

    // The installer's read-back labels that page 201 depends on, as they read now ("?" for a
    // label no window holds).
    InstallerReadback installerReadback() const;

  private:
    // DiagnosticsReplies
    ReplyAcceptance onErrorLogRecord(std::span<const uint8_t> telegram) override;
    // PageObserver: pages 201, 208, 209 and 210 whole; row 3 of page 207; the count-downs of 211.
    void onRawPage(uint8_t code, std::span<const uint8_t> body) override;
    void onPage207(const Page207Result& result) override;
    void onPage211(const Page211Result& result) override;

    void onPage201(std::span<const uint8_t> body);
    void showMainWindowNox(bool upstream, const QString& text);

    ToolCore& core_;
    TfNOxSensor* nox_;
    TfOBD* obd_;
    TfUdsErrorLog* errorLog_;
    TfrmTorqueLimiter* torqueLimiter_;
};

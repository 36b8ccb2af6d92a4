#pragma once
// The seam between the shell and the window families (main window, service and calibration,
// installer, diagnostics). Each family is a module: a controller that owns its state and state
// machines, and its windows. The composition root registers every module through ToolModule; a
// module plugs its handlers in through ReplyRouter and binds its menu items through ToolMenu.
// Modules never reach each other except through interfaces defined here.

#include <QList>
#include <QString>
#include <functional>

#include "app/page_display.h"
#include "comm/j1939.h"
#include "pump/reply_decoder.h"
#include "pump/status_pages.h"

class QAction;
class QLabel;
class QWidget;

// The main menu, as the main window offers it to the other families.
class ToolMenu {
  public:
    virtual ~ToolMenu() = default;
    virtual QAction* action(const char* objectName) const = 0;
    // A checkable item that shows and hides a window; its check mark follows the window however
    // the window closes.
    virtual void bindToggle(const char* objectName, QWidget* window, bool autoSize = false) = 0;
};

// Where a module plugs in what it handles of the bus and the pump's replies.
class ReplyRouter {
  public:
    virtual ~ReplyRouter() = default;
    virtual void attach(ServiceReplies& replies) = 0;
    virtual void attach(CalibrationReplies& replies) = 0;
    virtual void attach(InstallerReplies& replies) = 0;
    virtual void attach(DiagnosticsReplies& replies) = 0;
    virtual void addPageObserver(PageObserver& observer) = 0;
    virtual void setInstallerView(const InstallerViewSource& source) = 0;
    // A label that shows the status line; `mainOnly` labels also show the texts some replies
    // give the main window alone.
    virtual void addStatusLabel(QLabel* label, bool mainOnly) = 0;
    // Bus events.
    virtual void onVin(std::function<void(const QString&)> handler) = 0;
    virtual void onSensorClaimed(std::function<void(bool upstream)> handler) = 0;
    virtual void onSensorData(std::function<void(bool upstream, const J1939Message&)> handler) = 0;
    // The pump was found (its Address Claimed) or lost (silence).
    virtual void onPumpCommunication(std::function<void(bool found)> handler) = 0;
};

class ToolModule {
  public:
    virtual ~ToolModule() = default;
    // The family's windows, in the order they are created.
    virtual QList<QWidget*> windows() const = 0;
    // Menu action: binds the family's items of the main menu.
    virtual void bindMenu(ToolMenu& menu) { (void)menu; }
    // Display clear: every pump read-out of the family back to "?".
    virtual void clearPumpDisplay() {}
    // The pump is forgotten: the family's running sequences return to idle (without sending).
    virtual void pumpForgotten() {}
    // Read-out target: the family's window that a status page names, or null.
    virtual QWidget* readoutWindow(ReadoutWindow window) const {
        (void)window;
        return nullptr;
    }
    // Reply handling: plugs the family's handlers in.
    virtual void attachReplies(ReplyRouter& router) { (void)router; }
};

#pragma once
// The UDS error-log window: the pump's error log read record by record with command 141, one grid
// row per record, sortable by a click on a column title, and exported as a CSV file with the VIN
// and the serial number on top.

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <span>

#include "app/dialogs.h"
#include "app/string_grid.h"
#include "app/tool_window.h"
#include "pump/error_log.h"
#include "pump/error_log_export.h"
#include "pump/file_replace.h"
#include "pump/number_format.h"
#include "pump/service_telegram.h"

// What the window needs of the tool.
struct ErrorLogHooks {
    // Queues a service telegram for the pump.
    std::function<void(const ServiceTelegram&)> queueTelegram;
    // The export wrote its file: the main window's status line says so.
    std::function<void()> logWritten;
};

class TfUdsErrorLog : public ToolWindow {
    Q_OBJECT
  public:
    TfUdsErrorLog(Dialogs& dialogs, ErrorLogHooks hooks, QWidget* parent = nullptr);

    // "Update error log": asks for record 1; the buttons wait until the read ends.
    void btnReadErrorLogClick();
    // "Save error log...": the export, then the status line.
    void btnSaveErrorLogClick();
    // Every reply 141, whole; says how the reply counts for the scheduler.
    ReplyAcceptance onErrorLogRecord(std::span<const uint8_t> telegram);
    // tmrErrorLogTimeOut: 3000 ms without a valid record end the read with the rows it has.
    void tmrErrorLogTimeOutTimer();
    // A read in progress ends (the pump was forgotten): the buttons come back.
    void endRead();
    // The VIN and serial labels back to "?", the grid 1500 empty rows below its titles.
    void clearErrorLog();
    // The save dialog and the file; true when a file was written.
    bool exportErrorLog();
    // How the export's bytes reach the disk (tests put a full disk in its place).
    void setFileWriter(FileWriteFn write) { fileWrite_ = std::move(write); }
    void showVin(const QString& vin) { lVIN->setText(vin); }

    const ErrorLogReader& reader() const { return reader_; }
    // The caption of the save dialog and of its failure message.
    static constexpr const char* kSaveCaption = "Save error log";

    StringGrid* advErrorLog = nullptr;
    QLabel* lVIN = nullptr;
    QLabel* lSerial = nullptr;
    QProgressBar* pbLoad = nullptr;
    QPushButton* btnReadErrorLog = nullptr;
    QPushButton* btnSaveErrorLog = nullptr;
    QTimer* tmrErrorLogTimeOut = nullptr;
    DisplayFormat format = DisplayFormat::system();

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    FileWriteFn fileWrite_ = writeAllBytes;
    void buildGrid();
    void setColumnWidths();
    void apply(const ErrorLogStep& step);
    // The window as large as its grid wants, within the screen.
    void fitToContents();

    Dialogs& dialogs_;
    ErrorLogHooks hooks_;
    ErrorLogReader reader_;
};

// The save dialog's file-type filters ("csv files (comma separated) (*.csv)", ...), in file-type
// order.
QStringList errorLogExportFilters();
// The whole export file from the grid's cells (title row first, every column) and the two labels.
QByteArray composeErrorLogFile(const StringGridModel& grid, const QString& vin,
                               const QString& serial, ExportSeparator separator);

#include "diagnostics/uds_error_log.h"

#include "pump/file_replace.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFile>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QScreen>
#include <QScrollBar>
#include <QVBoxLayout>
#include <algorithm>
#include <exception>
#include <string>
#include <vector>

#include "diagnostics/readout_label.h"

using namespace error_log;

namespace {

constexpr int kRowHeight = 21;
constexpr int kRowsInSight = 20;  // the grid's height when the window sizes itself
constexpr int kCellPadding = 14;

QStringList toStringList(const ErrorLogRow& row) {
    QStringList texts;
    texts.reserve(static_cast<qsizetype>(row.size()));
    for (const std::string& cell : row) {
        texts.append(QString::fromStdString(cell));
    }
    return texts;
}

// Rows with every field at its widest: each state field at each of its values, the largest
// numbers a pump reports, and every component name. The columns are as wide as these need.
std::vector<ErrorLogRow> widestRows(const DisplayFormat& format) {
    std::vector<ErrorLogRow> rows;
    constexpr uint32_t kWordPatterns[] = {0x00000000u, 0x55555555u, 0xAAAAAAAAu, 0xFFFFFFFFu};
    constexpr uint8_t kBytePatterns[] = {0x00, 0x55, 0xAA, 0xFF};
    for (uint16_t component = 0; component <= 27; ++component) {
        ErrorLogRecord r;
        r.component = component;
        r.stateWord = kWordPatterns[component % 4];
        r.stateByte = kBytePatterns[component % 4];
        r.timeStamp = 300000;   // 10000 hours
        r.errorTime = 3600000;  // 1000 hours
        r.engineSpeed = 0xFFFF;
        r.pumpHeadTemp = -32768;
        r.noxIn = r.noxOut = r.catInTemp = r.catOutTemp = r.maf = -32768;
        r.ureaFlowRate = 99999999;
        r.averageConversion = 0xFFFF;
        rows.push_back(errorLogRow(r, format));
    }
    return rows;
}

}  // namespace

QStringList errorLogExportFilters() {
    // "description|pattern|description|pattern|..." as the filter is written down.
    const QStringList parts = QString(error_log_export::kFilter).split('|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        filters.append(QStringLiteral("%1 (%2)").arg(parts[i], parts[i + 1]));
    }
    return filters;
}

QByteArray composeErrorLogFile(const StringGridModel& grid, const QString& vin,
                               const QString& serial, ExportSeparator separator) {
    // Straight from the grid's cells: nothing is written and read back, so no cell can split.
    std::vector<std::vector<std::string>> table;
    const QList<QStringList> rows = grid.rowsOfText(StringGridModel::Cells::All);
    table.reserve(static_cast<std::size_t>(rows.size()));
    for (const QStringList& row : rows) {
        std::vector<std::string>& line = table.emplace_back();
        line.reserve(static_cast<std::size_t>(row.size()));
        for (const QString& cell : row) {
            line.push_back(cell.toStdString());
        }
    }
    const std::string file =
        composeErrorLogCsv(table, vin.toStdString(), serial.toStdString(), separator);
    return QByteArray(file.data(), static_cast<qsizetype>(file.size()));
}

TfUdsErrorLog::TfUdsErrorLog(Dialogs& dialogs, ErrorLogHooks hooks, QWidget* parent)
    : ToolWindow("fUdsErrorLog", "UDS error log", parent),
      dialogs_(dialogs),
      hooks_(std::move(hooks)) {
    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    auto* marker = new ReadoutMarker(this);
    auto* identity = new QWidget(this);
    auto* identityForm = new QFormLayout(identity);
    identityForm->setContentsMargins(0, 0, 0, 0);
    lVIN = addReadout(identityForm, "lVIN", "VIN", "?", marker);
    lVIN->setProperty("tag", 100);
    lSerial = addReadout(identityForm, "lSerial", "UDS serial number", "?", marker);
    lSerial->setProperty("tag", 100);
    layout->addWidget(identity);

    buildGrid();
    layout->addWidget(advErrorLog);

    auto* bottom = new QHBoxLayout;
    pbLoad = new QProgressBar(this);
    pbLoad->setObjectName("pbLoad");
    pbLoad->setAccessibleName("Records read");
    // Hidden between reads, but the buttons keep their place.
    QSizePolicy keep = pbLoad->sizePolicy();
    keep.setRetainSizeWhenHidden(true);
    pbLoad->setSizePolicy(keep);
    pbLoad->hide();
    bottom->addWidget(pbLoad, 1);
    btnReadErrorLog = new QPushButton("Update error log", this);
    btnReadErrorLog->setObjectName("btnReadErrorLog");
    btnSaveErrorLog = new QPushButton("Save error log...", this);
    btnSaveErrorLog->setObjectName("btnSaveErrorLog");
    bottom->addWidget(btnReadErrorLog);
    bottom->addWidget(btnSaveErrorLog);
    layout->addLayout(bottom);
    connect(btnReadErrorLog, &QPushButton::clicked, this, &TfUdsErrorLog::btnReadErrorLogClick);
    connect(btnSaveErrorLog, &QPushButton::clicked, this, &TfUdsErrorLog::btnSaveErrorLogClick);

    tmrErrorLogTimeOut = new QTimer(this);
    tmrErrorLogTimeOut->setObjectName("tmrErrorLogTimeOut");
    tmrErrorLogTimeOut->setInterval(static_cast<int>(kTimeOutMs));
    connect(tmrErrorLogTimeOut, &QTimer::timeout, this, &TfUdsErrorLog::tmrErrorLogTimeOutTimer);
}

void TfUdsErrorLog::buildGrid() {
    advErrorLog = new StringGrid(this);
    advErrorLog->setObjectName("advErrorLog");
    advErrorLog->setCaption(windowTitle());
    StringGridModel& cells = advErrorLog->cells();
    {
        StringGridModel::BulkUpdate bulk(cells);
        cells.setFixedRows(1);
        cells.setGridSize(kColumnCount, 1);
        for (int column = 0; column < kColumnCount; ++column) {
            const std::string_view title = kHeaders[static_cast<std::size_t>(column)];
            cells.setText(column, 0,
                          QString::fromUtf8(title.data(), static_cast<qsizetype>(title.size())));
            cells.setTextColour(column, 0, QColor(Qt::red));
        }
        // The fixed first column: maroon on the button face, right-aligned.
        cells.setColumnTextColour(kTimeStamp, QColor(128, 0, 0));
        cells.setColumnBackgroundColour(kTimeStamp, palette().color(QPalette::Button));
        cells.setColumnAlignment(kTimeStamp, Qt::AlignRight | Qt::AlignVCenter);
    }
    // Numbers sort as numbers, times as times, the error name by its component number.
    for (int column = 0; column < kColumnCount; ++column) {
        if (errorLogSortKind(column) == ErrorLogSortKind::Text) {
            continue;
        }
        cells.setColumnSortKey(
            column, [this, column](const QString& text) -> std::optional<double> {
                const ErrorLogSortKey key =
                    errorLogSortKey(column, text.toStdString(), format.decimalPoint);
                return key.byNumber ? std::optional<double>(key.number) : std::nullopt;
            });
    }
    advErrorLog->setFixedColumns(1);
    advErrorLog->setDefaultRowHeight(kRowHeight);
    advErrorLog->setFixedSelectionColours(palette().color(QPalette::ToolTipBase),
                                          palette().color(QPalette::ToolTipText));
    advErrorLog->setHeaderClickSorting(true);
    // The indicator starts here; the rows stay in record order until a title is clicked.
    advErrorLog->setSortIndicator(
        kInitialSortColumn, kInitialSortDescending ? Qt::DescendingOrder : Qt::AscendingOrder);
    setColumnWidths();
}

void TfUdsErrorLog::setColumnWidths() {
    const QFontMetrics titles = advErrorLog->horizontalHeader()->fontMetrics();
    const QFontMetrics cells = advErrorLog->fontMetrics();
    const std::vector<ErrorLogRow> samples = widestRows(format);
    for (int column = 0; column < kColumnCount; ++column) {
        int width = titles.horizontalAdvance(advErrorLog->cells().text(column, 0));
        for (const ErrorLogRow& row : samples) {
            width = std::max(width, cells.horizontalAdvance(QString::fromStdString(
                                        row[static_cast<std::size_t>(column)])));
        }
        advErrorLog->setColumnWidth(column, width + kCellPadding);
    }
}

void TfUdsErrorLog::btnReadErrorLogClick() {
    apply(reader_.start());
}

void TfUdsErrorLog::btnSaveErrorLogClick() {
    if (exportErrorLog() && hooks_.logWritten) {
        hooks_.logWritten();
    }
}

ReplyAcceptance TfUdsErrorLog::onErrorLogRecord(std::span<const uint8_t> telegram) {
    const ErrorLogStep step = reader_.onReply(telegram, format);
    apply(step);
    return step.acceptance;
}

void TfUdsErrorLog::tmrErrorLogTimeOutTimer() {
    apply(reader_.onTimeOut());
}

void TfUdsErrorLog::endRead() {
    if (reader_.state() == ErrorLogReader::State::Reading) {
        apply(reader_.onTimeOut());
    }
}

void TfUdsErrorLog::apply(const ErrorLogStep& step) {
    StringGridModel& cells = advErrorLog->cells();
    if (step.clearRows) {
        cells.setRowCount(cells.fixedRows());
    }
    if (step.showHiddenColumns) {
        for (int column : kColumnsHiddenOnShow) {
            advErrorLog->setColumnHidden(column, false);
        }
    }
    if (step.row) {
        cells.appendRow(toStringList(*step.row));
    }
    if (step.progress) {
        pbLoad->setRange(step.progress->minimum, step.progress->maximum);
        pbLoad->setValue(step.progress->position);
        pbLoad->setVisible(step.progress->visible);
    }
    if (step.request && hooks_.queueTelegram) {
        hooks_.queueTelegram(errorLogRequest(*step.request));
    }
    if (step.restartTimeOut) {
        // A full 3000 ms from now.
        tmrErrorLogTimeOut->stop();
        tmrErrorLogTimeOut->start();
    }
    if (step.stopTimeOut) {
        tmrErrorLogTimeOut->stop();
    }
    if (step.buttonsEnabled) {
        btnReadErrorLog->setEnabled(*step.buttonsEnabled);
        btnSaveErrorLog->setEnabled(*step.buttonsEnabled);
    }
}

void TfUdsErrorLog::clearErrorLog() {
    lVIN->setText("?");
    lSerial->setText("?");
    StringGridModel& cells = advErrorLog->cells();
    StringGridModel::BulkUpdate bulk(cells);
    cells.clearData();
    cells.setRowCount(cells.fixedRows() + kClearedRowCount);
}

bool TfUdsErrorLog::exportErrorLog() {
    const QStringList filters = errorLogExportFilters();
    QFileDialog dialog(this, kSaveCaption, QCoreApplication::applicationDirPath());
    dialog.setObjectName("dlgSaveErrorLog");
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(error_log_export::kDefaultExtension);
    dialog.setNameFilters(filters);
    dialog.selectNameFilter(filters.value(error_log_export::kDefaultFileType - 1));
    dialog.selectFile(error_log_export::kDefaultFileName);
    if (dialogs_.execModal(dialog) != QDialog::Accepted) {
        return false;
    }
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty() || files.front().isEmpty()) {
        return false;
    }
    const QString path = files.front();
    const auto separator = exportSeparatorForFileType(
                               static_cast<int>(filters.indexOf(dialog.selectedNameFilter())) + 1)
                               .value_or(ExportSeparator::Comma);

    QByteArray bytes;
    try {
        bytes = composeErrorLogFile(advErrorLog->cells(), lVIN->text(), lSerial->text(), separator);
    } catch (const std::exception& e) {
        dialogs_.message(QString("The error log could not be composed: %1").arg(e.what()),
                         kSaveCaption, Dialogs::Icon::Error);
        return false;
    }
    // Once, to a temporary file beside the target that replaces it only when whole.
    const std::string error =
        replaceFile(QFile::encodeName(path).toStdString(),
                    std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes.constData()),
                                             std::size_t(bytes.size())),
                    fileWrite_);
    if (!error.empty()) {
        dialogs_.message(QString("The error log could not be written to %1: %2")
                             .arg(path, QString::fromStdString(error)),
                         kSaveCaption, Dialogs::Icon::Error);
        return false;
    }
    return true;
}

void TfUdsErrorLog::showEvent(QShowEvent* event) {
    for (int column : kColumnsHiddenOnShow) {
        advErrorLog->setColumnHidden(column, true);
    }
    fitToContents();
    ToolWindow::showEvent(event);
}

void TfUdsErrorLog::fitToContents() {
    int width =
        2 * advErrorLog->frameWidth() + advErrorLog->verticalScrollBar()->sizeHint().width();
    for (int column = 0; column < kColumnCount; ++column) {
        if (!advErrorLog->isColumnHidden(column)) {
            width += advErrorLog->columnWidth(column);
        }
    }
    int height = 2 * advErrorLog->frameWidth() +
                 advErrorLog->horizontalHeader()->sizeHint().height() + kRowsInSight * kRowHeight +
                 advErrorLog->horizontalScrollBar()->sizeHint().height();
    // The grid scrolls where the screen is smaller than the log.
    if (const QScreen* screen = this->screen()) {
        const QRect available = screen->availableGeometry();
        width = std::min(width, available.width() - 60);
        height = std::min(height, available.height() - 200);
    }
    advErrorLog->setFixedSize(std::max(width, 200), std::max(height, 150));
}

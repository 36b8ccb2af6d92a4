// The UDS error-log window against the built-in simulated pump with hand-driven time: the read
// record by record with command 141, the grid's rows and cells, not-ready records, empty records,
// the time-out, sorting by a column title, and the CSV export with each separator.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QHeaderView>
#include <algorithm>
#include <memory>

#include "diagnostics/diagnostics_module.h"
#include "diagnostics/uds_error_log.h"
#include "sim_harness.h"

namespace {

using Rows = std::vector<QStringList>;

// What the tool puts on the simulated bus, seen from a node of its own.
class BusSpy {
  public:
    explicit BusSpy(SimHarness& h) : endpoint_(h.app().simulatorBus()->attach()) {}
    ~BusSpy() { endpoint_->detach(); }
    void drain() {
        AdapterFrame frame;
        while (endpoint_->read(frame)) {
            if (auto f = decodeFrame(frame); f && f->source == 249) {
                frames_.push_back(*f);
            }
        }
    }
    // The record numbers of the commands 141 the tool sent, in order.
    std::vector<int> recordRequests() {
        drain();
        std::vector<int> numbers;
        for (const J1939Frame& f : frames_) {
            if (f.pgn == pgn::kProprietaryA && f.length == 8 && f.data[7] == 141) {
                numbers.push_back(f.data[0] | (f.data[1] << 8));
            }
        }
        return numbers;
    }
    // Requests for the pump's reply (PGN 0xEF00).
    int replyRequests() {
        drain();
        return int(std::count_if(frames_.begin(), frames_.end(), [](const J1939Frame& f) {
            return f.pgn == pgn::kRequest && f.length == 3 && f.data[0] == 0x00 &&
                   f.data[1] == 0xEF && f.data[2] == 0x00;
        }));
    }
    void forget() {
        drain();
        frames_.clear();
    }

  private:
    std::shared_ptr<SimBus::Endpoint> endpoint_;
    std::vector<J1939Frame> frames_;
};

// Three records with every cell known by hand.
std::vector<sim::ErrorLogEntry> threeRecords() {
    sim::ErrorLogEntry e1;
    e1.component = 5;
    e1.timeStamp = 95;      // 190 minutes
    e1.errorTime = 3725;    // 1 h 2 min 5 s
    e1.engineSpeed = 8000;  // 1000 rpm
    e1.pumpHeadTemp = -35;
    e1.noxIn = 850;
    e1.noxOut = -12;
    e1.catInTemp = 312;
    e1.catOutTemp = 290;
    e1.maf = 410;
    e1.ureaFlow = 152007;
    e1.averageConversion = 87;
    sim::ErrorLogEntry e2;
    e2.component = 27;
    e2.errorTime = 360000;  // 100 hours
    e2.engineSpeed = 8007;
    e2.stateWord = 0xC00000C0;  // urea tank level and MAF sensor both 3
    e2.stateByte = 0x0E;        // engine speed sensor 3, ECM communication 1
    sim::ErrorLogEntry e3;
    e3.component = 100;
    e3.timeStamp = 1;
    e3.pumpHeadTemp = 1234;
    e3.stateWord = 0x00003000;  // dosing valve 3
    return {e1, e2, e3};
}

const QStringList kFirstRow = {
    "3:10    ",   "(05) Cat. in temp.",
    "01:02:05",   "850",
    "-12",        "312",
    "290",        "410",
    "1520.07",    "0.87",
    "1000",       "-3.5",
    "N/A",        "No",
    "0000000000", "No problem",
    "No problem", "No problem",
    "No problem", "No problem",
    "No problem", "No problem",
    "No problem", "No problem",
    "No problem", "No problem",
    "No problem", "No problem",
    "N/A",        "N/A",
    "No problem", "No problem",
    "No problem", "Full",
    "No problem", "No problem",
    "No problem", "No problem",
    "No problem", "",
};

// A file read back as a spreadsheet reads it (quoted cells may hold the separator and doubled
// quotes), independent of the tool's own writer.
Rows parseCsv(const QByteArray& bytes, QChar separator) {
    const QString file = QString::fromUtf8(bytes);
    Rows lines;
    QStringList cells;
    QString cell;
    bool quoted = false;
    for (qsizetype i = 0; i < file.size(); ++i) {
        const QChar c = file[i];
        if (quoted) {
            if (c == '"' && i + 1 < file.size() && file[i + 1] == '"') {
                cell += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                cell += c;
            }
        } else if (c == '"' && cell.isEmpty()) {
            quoted = true;
        } else if (c == separator) {
            cells << cell;
            cell.clear();
        } else if (c == '\r' && i + 1 < file.size() && file[i + 1] == '\n') {
            cells << cell;
            lines.push_back(cells);
            cell.clear();
            cells.clear();
            ++i;
        } else {
            cell += c;
        }
    }
    EXPECT_FALSE(quoted) << "the file ends inside a quoted cell";
    EXPECT_TRUE(cell.isEmpty() && cells.isEmpty()) << "the last line has no line end";
    return lines;
}

QStringList headers() {
    QStringList out;
    for (std::string_view h : error_log::kHeaders) {
        out << QString::fromUtf8(h.data(), qsizetype(h.size()));
    }
    return out;
}

class ErrorLogWindow : public ::testing::Test {
  protected:
    void start(sim::PumpOptions options = {}) {
        h = std::make_unique<SimHarness>(options);
        spy = std::make_unique<BusSpy>(*h);
        log = &h->app().diagnostics().errorLog();
        log->format.decimalPoint = '.';
        // What the tool does when its main window is first shown.
        h->core().clearPumpDisplay();
        h->onStep = [this](uint64_t) {
            spy->drain();
            if (log->pbLoad->value() >= log->pbLoad->minimum() && log->pbLoad->minimum() >= 1 &&
                (progress.empty() || progress.back() != log->pbLoad->value())) {
                progress.push_back(log->pbLoad->value());
            }
        };
        ASSERT_TRUE(
            h->runUntil([&] { return h->core().scheduler().serviceReplyReceived(); }, 10000));
        h->run(1000);
    }
    void useRecords(std::vector<sim::ErrorLogEntry> entries) {
        h->pump().mutableState().errorLog = std::move(entries);
    }
    // "Update error log", then time until the read is over.
    void read() {
        progress.clear();
        spy->forget();
        log->btnReadErrorLog->click();
        ASSERT_TRUE(h->runUntil(
            [&] { return log->reader().state() == ErrorLogReader::State::Idle; }, 30000));
    }
    int rows() const { return log->advErrorLog->cells().gridRowCount() - 1; }
    QStringList row(int r) const {
        QStringList cells;
        for (int c = 0; c < error_log::kColumnCount; ++c) {
            cells << log->advErrorLog->cells().text(c, r);
        }
        return cells;
    }
    QString cell(int column, int r) const { return log->advErrorLog->cells().text(column, r); }

    std::unique_ptr<SimHarness> h;
    std::unique_ptr<BusSpy> spy;
    TfUdsErrorLog* log = nullptr;
    std::vector<int> progress;
};

TEST_F(ErrorLogWindow, ReadsAThreeRecordLogRecordByRecord) {
    start();
    useRecords(threeRecords());
    log->show();
    // Shown, the window hides three columns until a record arrives.
    for (int column : {12, 28, 29}) {
        EXPECT_TRUE(log->advErrorLog->isColumnHidden(column)) << column;
    }
    EXPECT_EQ(rows(), 1500);  // the display clear of start-up

    log->btnReadErrorLog->click();
    EXPECT_FALSE(log->btnReadErrorLog->isEnabled());
    EXPECT_FALSE(log->btnSaveErrorLog->isEnabled());
    EXPECT_TRUE(log->tmrErrorLogTimeOut->isActive());
    EXPECT_EQ(log->tmrErrorLogTimeOut->interval(), 3000);
    ASSERT_TRUE(
        h->runUntil([&] { return log->reader().state() == ErrorLogReader::State::Idle; }, 10000));

    EXPECT_EQ(spy->recordRequests(), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(progress, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(log->pbLoad->minimum(), 1);
    EXPECT_EQ(log->pbLoad->maximum(), 3);
    EXPECT_TRUE(log->pbLoad->isHidden());
    EXPECT_TRUE(log->btnReadErrorLog->isEnabled());
    EXPECT_TRUE(log->btnSaveErrorLog->isEnabled());
    EXPECT_FALSE(log->tmrErrorLogTimeOut->isActive());
    for (int column : {12, 28, 29}) {
        EXPECT_FALSE(log->advErrorLog->isColumnHidden(column)) << column;
    }

    ASSERT_EQ(rows(), 3);
    EXPECT_EQ(row(1), kFirstRow);
    const std::vector<std::pair<int, QString>> second = {
        {0, "0:00    "},
        {1, "(27) Invalid index"},
        {2, "100:00:00"},
        {8, "0.00"},
        {10, "1000"},
        {11, "0.0"},
        {14, "C00000C006"},
        {18, "Invalid value (3)"},
        {33, "Invalid value (3)"},
        {37, "Unknown"},
        {38, "Communication error"},
        {24, "No problem"},
    };
    for (const auto& [column, text] : second) {
        EXPECT_EQ(cell(column, 2), text) << "column " << column;
    }
    EXPECT_EQ(cell(1, 3), "(100) Invalid index");
    EXPECT_EQ(cell(0, 3), "0:02    ");
    EXPECT_EQ(cell(11, 3), "123.4");
    EXPECT_EQ(cell(21, 3), "Open load");
    // Rows stay in record order; the indicator waits on "Cat. in temp [C]  ", descending.
    EXPECT_EQ(log->advErrorLog->sortColumn(), 5);
    EXPECT_EQ(log->advErrorLog->sortOrder(), Qt::DescendingOrder);
    EXPECT_TRUE(h->dialogs.shown.empty());
    log->close();
}

TEST_F(ErrorLogWindow, GridTitlesColumnsAndColours) {
    start();
    StringGrid* grid = log->advErrorLog;
    EXPECT_EQ(log->windowTitle(), "UDS error log");
    EXPECT_EQ(grid->cells().gridColumnCount(), 40);
    EXPECT_EQ(grid->cells().rowsOfText(StringGridModel::Cells::All).front(), headers());
    EXPECT_EQ(grid->fixedColumns(), 1);
    EXPECT_TRUE(grid->headerClickSorting());
    EXPECT_EQ(grid->cells().textColour(5, 0), QColor(Qt::red));
    EXPECT_EQ(grid->cells().textColour(0, 7), QColor(128, 0, 0));
    EXPECT_TRUE(grid->cells().alignment(0, 7) & Qt::AlignRight);
    // Every title fits its column.
    for (int c = 0; c < 40; ++c) {
        EXPECT_GE(grid->columnWidth(c),
                  grid->horizontalHeader()->fontMetrics().horizontalAdvance(cell(c, 0)))
            << c;
    }
    EXPECT_EQ(log->lVIN->property("tag").toInt(), 100);
    EXPECT_EQ(log->lSerial->property("tag").toInt(), 100);
    // The VIN and serial number reached the window, the VIN as sent (its "*" delimiter too).
    EXPECT_EQ(log->lVIN->text(), "DSRSIM12345678901*");
    EXPECT_EQ(log->lSerial->text(), "20231041");
    EXPECT_TRUE(log->pbLoad->isHidden());
}

TEST_F(ErrorLogWindow, ANewReadStartsFromAnEmptyGridEvenWhenRecordOneIsEmpty) {
    start();
    useRecords(threeRecords());
    read();
    ASSERT_EQ(rows(), 3);
    // Record 1 emptied: it adds no row, and the rows of the first read are gone.
    h->pump().mutableState().errorLog[0].component = 0;
    read();
    EXPECT_EQ(spy->recordRequests(), (std::vector<int>{1, 2, 3}));
    ASSERT_EQ(rows(), 2);
    EXPECT_EQ(cell(1, 1), "(27) Invalid index");
    EXPECT_EQ(cell(1, 2), "(100) Invalid index");
    EXPECT_TRUE(log->btnReadErrorLog->isEnabled());
    // A log without records: one request, no rows, the buttons back.
    useRecords({});
    read();
    EXPECT_EQ(spy->recordRequests(), std::vector<int>{1});
    EXPECT_EQ(rows(), 0);
    EXPECT_TRUE(log->btnSaveErrorLog->isEnabled());
    EXPECT_TRUE(log->pbLoad->isHidden());
}

TEST_F(ErrorLogWindow, NotReadyRecordsAreAskedForAgainWithoutANewCommand) {
    sim::PumpOptions options;
    options.setFault(sim::Fault::ErrorLogNotReady);
    start(options);
    useRecords(threeRecords());
    read();
    // Each record was asked for once; the not-ready replies made the tool ask the pump for its
    // reply again until the record was there.
    EXPECT_EQ(spy->recordRequests(), (std::vector<int>{1, 2, 3}));
    EXPECT_GE(spy->replyRequests(), 3 * 3);
    ASSERT_EQ(rows(), 3);
    EXPECT_EQ(row(1), kFirstRow);
    EXPECT_EQ(progress, (std::vector<int>{1, 2, 3}));
}

TEST_F(ErrorLogWindow, ASilentPumpEndsTheReadByTheTimeOutAndThenByItsLoss) {
    start();
    useRecords(threeRecords());
    h->onStep = [this](uint64_t) {
        if (rows() == 1) {
            h->setPumpAlive(false);
        }
    };
    log->btnReadErrorLog->click();
    h->run(1500);
    ASSERT_EQ(rows(), 1);
    EXPECT_EQ(log->reader().state(), ErrorLogReader::State::Reading);
    EXPECT_FALSE(log->btnReadErrorLog->isEnabled());
    EXPECT_TRUE(log->tmrErrorLogTimeOut->isActive());
    EXPECT_FALSE(log->pbLoad->isHidden());
    // 3000 ms without a record: the timer's tick ends the read with the rows it has.
    log->tmrErrorLogTimeOutTimer();
    EXPECT_EQ(log->reader().state(), ErrorLogReader::State::Idle);
    EXPECT_TRUE(log->btnReadErrorLog->isEnabled());
    EXPECT_TRUE(log->btnSaveErrorLog->isEnabled());
    EXPECT_FALSE(log->tmrErrorLogTimeOut->isActive());
    EXPECT_TRUE(log->pbLoad->isHidden());
    EXPECT_EQ(row(1), kFirstRow);
    EXPECT_TRUE(h->dialogs.shown.empty());

    // A read while the pump is silent ends when the pump is declared lost; the grid is cleared.
    log->btnReadErrorLog->click();
    h->run(8000);
    EXPECT_EQ(h->label("Form1", "lStatus"), "Pump not connected");
    EXPECT_EQ(log->reader().state(), ErrorLogReader::State::Idle);
    EXPECT_TRUE(log->btnReadErrorLog->isEnabled());
    EXPECT_EQ(rows(), 1500);
    EXPECT_EQ(row(1), QStringList(40, ""));
    EXPECT_EQ(log->lVIN->text(), "?");
    EXPECT_EQ(log->lSerial->text(), "?");
}

// The column's cells of every data row, in grid order.
QStringList columnOf(const TfUdsErrorLog& log, int column) {
    QStringList texts;
    const StringGridModel& cells = log.advErrorLog->cells();
    for (int r = 1; r < cells.gridRowCount(); ++r) {
        texts << cells.text(column, r);
    }
    return texts;
}

double timeValue(const QString& text) {
    double value = 0;
    for (const QString& part : text.trimmed().split(':')) {
        value = value * 60 + part.toDouble();
    }
    return value;
}

TEST_F(ErrorLogWindow, AHeaderClickSortsNumbersAsNumbersAndTimesAsTimes) {
    start();
    // Values a text order gets wrong: negative numbers, decimals of different lengths.
    const int16_t nox[] = {850, -12, 5, -300, 1000, 0};
    const int16_t head[] = {-35, 120, -125, 5, 0, 1234};
    const uint16_t conversion[] = {50, 25, 125, 5, 100, 0};
    const uint32_t errorTimes[] = {360000, 3725, 59, 36000, 7200, 600};
    const uint16_t components[] = {5, 27, 100, 12, 3, 9};
    std::vector<sim::ErrorLogEntry> entries;
    for (int i = 0; i < 6; ++i) {
        sim::ErrorLogEntry e;
        e.noxIn = nox[i];
        e.pumpHeadTemp = head[i];
        e.averageConversion = conversion[i];
        e.errorTime = errorTimes[i];
        e.component = components[i];
        e.timeStamp = uint32_t(1000 - 150 * i);
        entries.push_back(e);
    }
    useRecords(entries);
    read();
    ASSERT_EQ(rows(), 6);
    const auto allRows = [&] {
        QStringList joined;
        for (int r = 1; r <= rows(); ++r) {
            joined << row(r).join('|');
        }
        joined.sort();
        return joined;
    };
    const QStringList before = allRows();
    QHeaderView* header = log->advErrorLog->horizontalHeader();

    const struct {
        int column;
        Qt::SortOrder order;
        std::function<double(const QString&)> key;
    } clicks[] = {
        {3, Qt::AscendingOrder, [](const QString& t) { return t.toDouble(); }},
        {3, Qt::DescendingOrder, [](const QString& t) { return t.toDouble(); }},
        {9, Qt::AscendingOrder, [](const QString& t) { return t.toDouble(); }},
        {11, Qt::AscendingOrder, [](const QString& t) { return t.toDouble(); }},
        {11, Qt::DescendingOrder, [](const QString& t) { return t.toDouble(); }},
        {0, Qt::AscendingOrder, timeValue},
        {2, Qt::AscendingOrder, timeValue},
        {2, Qt::DescendingOrder, timeValue},
        {1, Qt::AscendingOrder,
         [](const QString& t) { return t.mid(1, t.indexOf(')') - 1).toDouble(); }},
    };
    for (const auto& c : clicks) {
        emit header->sectionClicked(c.column);
        EXPECT_EQ(log->advErrorLog->sortColumn(), c.column);
        EXPECT_EQ(log->advErrorLog->sortOrder(), c.order);
        const QStringList texts = columnOf(*log, c.column);
        bool varied = false;
        for (qsizetype i = 1; i < texts.size(); ++i) {
            const double a = c.key(texts[i - 1]);
            const double b = c.key(texts[i]);
            EXPECT_TRUE(c.order == Qt::AscendingOrder ? a <= b : a >= b)
                << "column " << c.column << ": " << texts[i - 1].toStdString() << " then "
                << texts[i].toStdString();
            varied = varied || a != b;
        }
        EXPECT_TRUE(varied) << "column " << c.column << " holds one value only";
        EXPECT_EQ(allRows(), before) << "sorting lost or changed a row";
    }
}

class ErrorLogExport : public ErrorLogWindow {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        start();
        useRecords(threeRecords());
        read();
        ASSERT_EQ(rows(), 3);
        h->core().setStatus("-");
    }
    // The operator picks a file and a file type in the save dialog.
    void answer(const QString& path, int fileType) {
        h->dialogs.onModal = [this, path, fileType](QDialog& d) {
            auto* dialog = qobject_cast<QFileDialog*>(&d);
            EXPECT_NE(dialog, nullptr);
            if (!dialog) {
                return int(QDialog::Rejected);
            }
            seen.acceptSave = dialog->acceptMode() == QFileDialog::AcceptSave;
            seen.suffix = dialog->defaultSuffix();
            seen.filters = dialog->nameFilters();
            seen.filter = dialog->selectedNameFilter();
            seen.directory = dialog->directory().absolutePath();
            seen.files = dialog->selectedFiles();
            seen.confirmsOverwrite = !dialog->testOption(QFileDialog::DontConfirmOverwrite);
            if (path.isEmpty()) {
                return int(QDialog::Rejected);
            }
            dialog->selectFile(path);
            dialog->selectNameFilter(dialog->nameFilters().value(fileType - 1));
            return int(QDialog::Accepted);
        };
    }
    QByteArray fileBytes(const QString& path) const {
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << path.toStdString();
        return f.readAll();
    }
    QString mainStatus() const { return h->label("Form1", "lStatus"); }
    QString serviceStatus() const { return h->label("fServiceTool", "lStatus"); }

    struct Seen {
        bool acceptSave = false;
        QString suffix;
        QStringList filters;
        QString filter;
        QString directory;
        QStringList files;
        bool confirmsOverwrite = false;
    } seen;
    QTemporaryDir dir;
};

TEST_F(ErrorLogExport, EachSeparatorByFileType) {
    const struct {
        int fileType;
        QChar separator;
        const char* quotedHeader;  // a title as it must appear in the raw file
        const char* firstLines;    // the two information lines as they must appear
    } cases[] = {
        {1, ',', "Error name    ,", "VIN: DSRSIM12345678901*\r\nUDS Serial number: 20231041\r\n"},
        {2, ';', "Error name    ;", "VIN: DSRSIM12345678901*\r\nUDS Serial number: 20231041\r\n"},
        // The blanks of the texts would split them: each such cell is quoted.
        {3, ' ', "\"Error name    \" ",
         "\"VIN: DSRSIM12345678901*\"\r\n\"UDS Serial number: 20231041\"\r\n"},
        {4, '\t', "Error name    \t", "VIN: DSRSIM12345678901*\r\nUDS Serial number: 20231041\r\n"},
    };
    for (const auto& c : cases) {
        const QString path = dir.filePath(QString("log%1.csv").arg(c.fileType));
        answer(path, c.fileType);
        log->btnSaveErrorLog->click();
        EXPECT_EQ(mainStatus(), "Error log written to disk ");
        EXPECT_EQ(serviceStatus(), "-");
        h->core().setStatus("-");

        const QByteArray raw = fileBytes(path);
        EXPECT_TRUE(raw.contains(c.quotedHeader)) << c.fileType;
        const Rows lines = parseCsv(raw, c.separator);
        ASSERT_EQ(lines.size(), 6u) << c.fileType;
        EXPECT_EQ(lines[0], QStringList{"VIN: DSRSIM12345678901*"});
        EXPECT_EQ(lines[1], QStringList{"UDS Serial number: 20231041"});
        EXPECT_EQ(lines[2], headers());
        EXPECT_EQ(lines[3], kFirstRow);
        EXPECT_EQ(lines[4], row(2));
        EXPECT_EQ(lines[5], row(3));
        EXPECT_TRUE(raw.startsWith(c.firstLines)) << raw.left(80).toStdString();
    }
    // No stray temporary files beside the exports.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 4);
}

TEST_F(ErrorLogExport, TheSaveDialogOffersTheFourFileTypes) {
    answer(dir.filePath("x.csv"), 1);
    EXPECT_TRUE(log->exportErrorLog());
    EXPECT_TRUE(seen.acceptSave);
    EXPECT_TRUE(seen.confirmsOverwrite);
    EXPECT_EQ(seen.suffix, "csv");
    EXPECT_EQ(seen.filters,
              (QStringList{
                  "csv files (comma separated) (*.csv)", "csv files (semicolon separated) (*.csv)",
                  "csv files (space separated) (*.csv)", "csv files (tab separated) (*.csv)"}));
    EXPECT_EQ(seen.filter, seen.filters.value(0));
    EXPECT_EQ(seen.directory, QDir(QCoreApplication::applicationDirPath()).absolutePath());
    ASSERT_FALSE(seen.files.isEmpty());
    EXPECT_TRUE(QFileInfo(seen.files.front()).fileName().startsWith("UDSErrorLog"));
}

TEST_F(ErrorLogExport, ADecimalCommaStaysOneCellWithTheCommaSeparator) {
    log->format.decimalPoint = ',';
    read();
    ASSERT_EQ(cell(8, 1), "1520,07");
    const QString path = dir.filePath("comma.csv");
    answer(path, 1);
    ASSERT_TRUE(log->exportErrorLog());
    const QByteArray raw = fileBytes(path);
    EXPECT_TRUE(raw.contains(",\"1520,07\",\"0,87\",1000,\"-3,5\",")) << raw.mid(0, 600).data();
    const Rows lines = parseCsv(raw, ',');
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[3].size(), 40);
    EXPECT_EQ(lines[3][8], "1520,07");
    EXPECT_EQ(lines[3][11], "-3,5");
}

TEST_F(ErrorLogExport, AfterADisplayClearTheFileHoldsTheEmptyRows) {
    h->core().clearPumpDisplay();
    const QString path = dir.filePath("cleared.csv");
    answer(path, 2);
    ASSERT_TRUE(log->exportErrorLog());
    const QByteArray raw = fileBytes(path);
    const Rows lines = parseCsv(raw, ';');
    ASSERT_EQ(lines.size(), 3u + 1500u);
    EXPECT_EQ(lines[0], QStringList{"VIN: ?"});
    EXPECT_EQ(lines[1], QStringList{"UDS Serial number: ?"});
    EXPECT_EQ(lines[2], headers());
    for (std::size_t i = 3; i < lines.size(); ++i) {
        ASSERT_EQ(lines[i], QStringList(40, "")) << "line " << i;
    }
    EXPECT_TRUE(raw.endsWith(QByteArray(39, ';') + "\r\n"));
}

TEST_F(ErrorLogExport, CancelOrAFailedWriteLeavesNoFileAndNoSuccess) {
    const QString cancelled = dir.filePath("cancelled.csv");
    answer(QString(), 1);
    log->btnSaveErrorLog->click();
    EXPECT_EQ(mainStatus(), "-");
    EXPECT_FALSE(QFile::exists(cancelled));
    EXPECT_TRUE(h->dialogs.shown.empty());

    const QString unwritable = dir.filePath("no such folder/log.csv");
    answer(unwritable, 1);
    log->btnSaveErrorLog->click();
    EXPECT_EQ(mainStatus(), "-");
    EXPECT_FALSE(QFile::exists(unwritable));
    ASSERT_EQ(h->dialogs.shown.size(), 1u);
    EXPECT_EQ(h->dialogs.shown[0].icon, Dialogs::Icon::Error);
    EXPECT_TRUE(h->dialogs.shown[0].text.contains(unwritable))
        << h->dialogs.shown[0].text.toStdString();
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

TEST_F(ErrorLogExport, ADiskThatFillsUpLeavesTheOldFileAsItWas) {
    const QString path = dir.filePath("log.csv");
    {
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("the export of yesterday\r\n");
    }
    // The disk takes the first 40 bytes and then reports itself full.
    log->setFileWriter([](std::FILE* file, std::span<const uint8_t> bytes) {
        const std::size_t room = std::min<std::size_t>(bytes.size(), 40);
        std::fwrite(bytes.data(), 1, room, file);
        errno = ENOSPC;
        return false;
    });
    answer(path, 1);
    log->btnSaveErrorLog->click();
    EXPECT_EQ(fileBytes(path), QByteArray("the export of yesterday\r\n"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"log.csv"})
        << "no temporary file left behind";
    ASSERT_EQ(h->dialogs.shown.size(), 1u);
    EXPECT_TRUE(h->dialogs.shown[0].text.contains("No space left on device"))
        << h->dialogs.shown[0].text.toStdString();
    EXPECT_EQ(mainStatus(), "-");
}

}  // namespace

#include "trends/trends_window.h"

#include <unistd.h>

#include <QChart>
#include <QChartView>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QHBoxLayout>
#include <QLineSeries>
#include <QPushButton>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTimer>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>
#include <limits>

#include "app/dialogs.h"

namespace {

// Object names of the plots, in the order of TrendChart.
constexpr std::array<const char*, kTrendChartCount> kPlotNames = {
    "chFlow", "chNox", "chConversionRatio", "chTemperatures"};
// Object names of the lines, in the order of TrendSeries.
// Labels of the value axes, in the order of TrendChart: the ratio needs its decimals.
constexpr std::array<const char*, kTrendChartCount> kValueFormats = {"%.0f", "%.0f", "%.2f",
                                                                     "%.0f"};
constexpr std::array<const char*, kTrendSeriesCount> kLineNames = {
    "lsFlow",           "lsNoxUpstream",     "lsNoxDownstream", "lsConversionRatio",
    "lsCatalystInTemp", "lsCatalystOutTemp", "lsUreaTankTemp"};

}  // namespace

TfTrends::TfTrends(TrendModel& model, Dialogs& dialogs, QWidget* parent)
    : ToolWindow("fTrends", kTrendsCaption, parent), model_(model), dialogs_(dialogs) {
    auto* layout = new QVBoxLayout(this);
    auto* buttons = new QHBoxLayout;
    btPause = new QPushButton("Pause", this);
    btPause->setObjectName("btPause");
    btPause->setCheckable(true);
    btExportPng = new QPushButton("Export PNG...", this);
    btExportPng->setObjectName("btExportPng");
    btExportCsv = new QPushButton("Export CSV...", this);
    btExportCsv->setObjectName("btExportCsv");
    buttons->addWidget(btPause);
    buttons->addStretch(1);
    buttons->addWidget(btExportPng);
    buttons->addWidget(btExportCsv);
    layout->addLayout(buttons);

    plotArea_ = new QWidget(this);
    plotArea_->setObjectName("pnPlots");
    auto* plots = new QVBoxLayout(plotArea_);
    plots->setContentsMargins(0, 0, 0, 0);
    plots->setSpacing(0);
    for (std::size_t c = 0; c < kTrendChartCount; ++c) {
        Plot& p = plots_[c];
        p.chart = new QChart;
        p.chart->setTitle(kTrendChartTitles[c]);
        // Legends above the plots, so that the four time axes line up.
        p.chart->legend()->setAlignment(Qt::AlignTop);
        p.chart->setMargins(QMargins(4, 2, 4, 2));
        p.time = new QValueAxis;
        if (c + 1 == kTrendChartCount) {
            p.time->setTitleText("Time [s]");
        }
        p.time->setLabelFormat("%.0f");
        p.time->setTickCount(11);
        p.value = new QValueAxis;
        p.value->setLabelFormat(kValueFormats[c]);
        p.value->setTickCount(5);
        p.chart->addAxis(p.time, Qt::AlignBottom);
        p.chart->addAxis(p.value, Qt::AlignLeft);
        p.view = new QChartView(p.chart, plotArea_);
        p.view->setObjectName(kPlotNames[c]);
        p.view->setRenderHint(QPainter::Antialiasing);
        p.view->setMinimumHeight(170);
        p.view->setAccessibleName(kTrendChartTitles[c]);
        plots->addWidget(p.view);
    }
    for (const TrendSeriesInfo& info : kTrendSeries) {
        auto* line = new QLineSeries;
        line->setObjectName(kLineNames[std::size_t(info.series)]);
        line->setName(info.name);
        Plot& p = plots_[std::size_t(info.chart)];
        p.chart->addSeries(line);
        line->attachAxis(p.time);
        line->attachAxis(p.value);
        lines_[std::size_t(info.series)] = line;
    }
    for (Plot& p : plots_) {
        // A plot of one line says what it is in its title.
        p.chart->legend()->setVisible(p.chart->series().size() > 1);
    }
    layout->addWidget(plotArea_, 1);
    resize(900, 820);

    tmrRefresh = new QTimer(this);
    tmrRefresh->setObjectName("tmrRefresh");
    tmrRefresh->setInterval(kRefreshMs);
    connect(tmrRefresh, &QTimer::timeout, this, &TfTrends::refresh);
    connect(btPause, &QPushButton::clicked, this, &TfTrends::btPauseClick);
    connect(btExportPng, &QPushButton::clicked, this, &TfTrends::btExportPngClick);
    connect(btExportCsv, &QPushButton::clicked, this, &TfTrends::btExportCsvClick);
    refresh();
}

void TfTrends::showEvent(QShowEvent* event) {
    ToolWindow::showEvent(event);
    refresh();
    tmrRefresh->start();
}

void TfTrends::hideEvent(QHideEvent* event) {
    // Hidden, the plots cost nothing; the model keeps filling.
    tmrRefresh->stop();
    ToolWindow::hideEvent(event);
}

void TfTrends::refresh() {
    const TrendView view = model_.view();
    std::array<double, kTrendChartCount> low;
    std::array<double, kTrendChartCount> high;
    low.fill(std::numeric_limits<double>::infinity());
    high.fill(-std::numeric_limits<double>::infinity());
    for (const TrendSeriesInfo& info : kTrendSeries) {
        QList<QPointF> points;
        const auto& series = view.of(info.series);
        points.reserve(qsizetype(series.size()));
        const std::size_t c = std::size_t(info.chart);
        for (const TrendPoint& p : series) {
            points.append(QPointF(p.seconds, p.value));
            low[c] = std::min(low[c], p.value);
            high[c] = std::max(high[c], p.value);
        }
        lines_[std::size_t(info.series)]->replace(points);
    }
    for (std::size_t c = 0; c < kTrendChartCount; ++c) {
        Plot& p = plots_[c];
        p.time->setRange(view.from, view.to);
        double from = low[c];
        double to = high[c];
        if (!(from <= to)) {
            from = 0.0;  // nothing to show yet
            to = 1.0;
        } else if (from == to) {
            from -= 1.0;
            to += 1.0;
        } else {
            const double margin = (to - from) * 0.05;
            from -= margin;
            to += margin;
        }
        p.value->setRange(from, to);
        p.value->applyNiceNumbers();
    }
    btPause->setChecked(model_.paused());
    btPause->setText(model_.paused() ? "Resume" : "Pause");
}

QList<QPointF> TfTrends::plotted(TrendSeries series) const {
    return lines_[std::size_t(series)]->points();
}

std::pair<double, double> TfTrends::timeAxis() const {
    return {plots_[0].time->min(), plots_[0].time->max()};
}

void TfTrends::btPauseClick() {
    if (model_.paused()) {
        model_.resume();
    } else {
        model_.pause();
    }
    refresh();
}

QString TfTrends::proposedPath(const char* extension) const {
    const QString folder = trendExportFolder();
    QDir().mkpath(folder);
    return QDir(folder).filePath(trendExportFileName(now(), extension));
}

void TfTrends::btExportPngClick() {
    const QString path =
        dialogs_.saveFileName("Export trends as PNG", "PNG images (*.png)", proposedPath("png"));
    if (!path.isEmpty()) {
        exportPng(path);
    }
}

void TfTrends::btExportCsvClick() {
    const QString path =
        dialogs_.saveFileName("Export trends as CSV", "CSV files (*.csv)", proposedPath("csv"));
    if (!path.isEmpty()) {
        exportCsv(path);
    }
}

void TfTrends::exportFailed(const QString& path, const QString& reason) {
    dialogs_.message(QString("The trends could not be written to \"%1\": %2.")
                         .arg(QDir::toNativeSeparators(path), reason),
                     kTrendsCaption, Dialogs::Icon::Error);
}

bool TfTrends::exportPng(const QString& path) {
    refresh();
    if (!isVisible()) {
        // A window never shown has not laid out its plots yet.
        layout()->activate();
    }
    const QPixmap picture = plotArea_->grab();
    // Written beside the target and renamed: a failure leaves no half-written picture.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !picture.save(&file, "PNG") || !file.commit()) {
        exportFailed(path, file.errorString());
        return false;
    }
    return true;
}

bool TfTrends::exportCsv(const QString& path) {
    const std::string text = trendCsv(model_.view());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(text.data(), qint64(text.size())) != qint64(text.size()) || !file.commit()) {
        exportFailed(path, file.errorString());
        return false;
    }
    return true;
}

QString trendExportFolder() {
    const QString executable = QCoreApplication::applicationDirPath();
    if (!executable.isEmpty() && ::access(QFile::encodeName(executable).constData(), W_OK) == 0) {
        return QDir(executable).filePath("log");
    }
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return documents.isEmpty() ? QDir::homePath() : documents;
}

QString trendExportFileName(const QDateTime& when, const char* extension) {
    return "trends-" + when.toString("yyyyMMdd-HHmmss") + "." + extension;
}

#pragma once
// The trends window: four plots (flow, NOx, conversion ratio, temperatures) over the last ten
// minutes, with the time axis in seconds, a pause button and the export of what is shown as PNG
// and CSV. A thin view of the TrendModel: it redraws from the model at a steady pace while shown.

#include <QDateTime>
#include <QList>
#include <QPointF>
#include <QString>
#include <array>
#include <cstdint>
#include <functional>

#include "app/tool_window.h"
#include "trends/trend_model.h"

class Dialogs;
class QChart;
class QChartView;
class QLineSeries;
class QPushButton;
class QTimer;
class QValueAxis;

class TfTrends : public ToolWindow {
    Q_OBJECT
  public:
    static constexpr int kRefreshMs = 500;

    TfTrends(TrendModel& model, Dialogs& dialogs, QWidget* parent = nullptr);

    // Puts the model's view on the plots (the refresh timer calls it while the window is shown).
    void refresh();
    void btPauseClick();
    // Ask for a file, then write the shown window into it.
    void btExportPngClick();
    void btExportCsvClick();
    // False after telling the operator why.
    bool exportPng(const QString& path);
    bool exportCsv(const QString& path);

    // The points a plot's line holds now (what the last refresh drew).
    QList<QPointF> plotted(TrendSeries series) const;
    // The time axis of the plots: from, to.
    std::pair<double, double> timeAxis() const;

    QPushButton* btPause = nullptr;
    QPushButton* btExportPng = nullptr;
    QPushButton* btExportCsv = nullptr;
    QTimer* tmrRefresh = nullptr;
    // The moment the proposed export names carry.
    std::function<QDateTime()> now = [] { return QDateTime::currentDateTime(); };

  protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    struct Plot {
        QChart* chart = nullptr;
        QChartView* view = nullptr;
        QValueAxis* time = nullptr;
        QValueAxis* value = nullptr;
    };
    QString proposedPath(const char* extension) const;
    void exportFailed(const QString& path, const QString& reason);

    TrendModel& model_;
    Dialogs& dialogs_;
    QWidget* plotArea_ = nullptr;
    std::array<Plot, kTrendChartCount> plots_;
    std::array<QLineSeries*, kTrendSeriesCount> lines_{};
};

// Where exports are proposed: the "log" folder beside the executable when that folder can be
// written, otherwise the user's documents folder.
QString trendExportFolder();
// "trends-YYYYMMDD-HHMMSS.png" (or .csv) for the moment of the export.
QString trendExportFileName(const QDateTime& when, const char* extension);
inline constexpr const char* kTrendsCaption = "Trends";

// The trends family in the whole tool on the simulated pump: the series receive what the pages
// carried (the same figures the main window shows), the menu item shows the window, the plots
// draw the model, the pause button, and the exports.
#include <gtest/gtest.h>

#include <QAction>
#include <QImage>
#include <QPushButton>
#include <QTemporaryDir>
#include <fstream>
#include <set>
#include <sstream>

#include "mainwindow/main_window.h"
#include "sim_harness.h"
#include "trends/trends_module.h"
#include "trends/trends_window.h"

namespace {

std::string readFile(const QString& path) {
    std::ifstream in(path.toStdString(), std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// A main-window label as a number, whatever the decimal separator.
double labelValue(TForm1& form, const char* name) {
    QString text = form.valueLabel(name)->text().trimmed();
    text.replace(',', '.');
    bool ok = false;
    const double value = text.toDouble(&ok);
    EXPECT_TRUE(ok) << name << " shows \"" << text.toStdString() << "\"";
    return value;
}

class TrendsInTheTool : public ::testing::Test {
  protected:
    TrendsInTheTool() {
        model().setClock([this] { return double(h.elapsedMs()) / 1000.0; });
    }
    TrendModel& model() { return h.app().trends().model(); }
    TfTrends& window() { return h.app().trends().window(); }

    SimHarness h;
};

TEST_F(TrendsInTheTool, TheSeriesCarryWhatThePagesCarriedAsTheMainWindowShowsIt) {
    // Each series and the main-window read-out the same page fills.
    const std::pair<TrendSeries, const char*> readouts[] = {
        {TrendSeries::Flow, "lPumpDoseml"},
        {TrendSeries::NoxUpstream, "lNOxUp"},
        {TrendSeries::NoxDownstream, "lNOxDown"},
        {TrendSeries::ConversionRatio, "lConversionRatioCalculated"},
        {TrendSeries::CatalystInTemperature, "lTempCatInDeg"},
        {TrendSeries::CatalystOutTemperature, "lTempCatOutDeg"},
        {TrendSeries::UreaTankTemperature, "lUreaTankTempValue"},
    };
    TForm1& form = h.app().mainWindow();
    int compared = 0;
    uint64_t seen = model().revision();
    h.onStep = [&](uint64_t) {
        if (model().revision() == seen) {
            return;
        }
        seen = model().revision();
        const TrendView v = model().view();
        for (const auto& [series, label] : readouts) {
            if (!v.of(series).empty() && form.valueLabel(label)->text() != "?") {
                EXPECT_NEAR(v.of(series).back().value, labelValue(form, label), 0.005)
                    << toString(series) << " at " << h.elapsedMs() << " ms";
                ++compared;
            }
        }
    };
    h.run(20000);
    h.onStep = nullptr;
    EXPECT_GT(compared, 20);

    const TrendView v = model().view();
    for (const auto& [series, label] : readouts) {
        const auto& points = v.of(series);
        ASSERT_GE(points.size(), 3u) << toString(series);
        // Stamped with the time the page arrived, in order, within the twenty seconds.
        for (std::size_t i = 1; i < points.size(); ++i) {
            EXPECT_GE(points[i].seconds, points[i - 1].seconds);
        }
        EXPECT_GT(points.front().seconds, 0.0);
        EXPECT_LE(points.back().seconds, 20.0);
    }
    // The simulated pump's temperatures drift: the series follow them.
    std::set<double> catIn;
    for (const TrendPoint& p : v.of(TrendSeries::CatalystInTemperature)) {
        catIn.insert(p.value);
    }
    EXPECT_GT(catIn.size(), 1u);
}

TEST_F(TrendsInTheTool, ViewTrendsShowsAndHidesTheWindow) {
    QAction* item = h.app().mainWindow().Trends1;
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->text(), "Trends");
    EXPECT_TRUE(item->isCheckable());
    EXPECT_EQ(h.app().window("fTrends"), &window());
    item->trigger();
    EXPECT_TRUE(window().isVisible());
    EXPECT_TRUE(item->isChecked());
    EXPECT_TRUE(window().tmrRefresh->isActive());
    window().close();
    EXPECT_FALSE(item->isChecked());
    EXPECT_FALSE(window().tmrRefresh->isActive());
}

TEST_F(TrendsInTheTool, ThePlotsDrawTheModelsViewAndThePauseFreezesThem) {
    h.run(10000);
    window().refresh();
    const TrendView v = model().view();
    for (const TrendSeriesInfo& info : kTrendSeries) {
        const QList<QPointF> drawn = window().plotted(info.series);
        ASSERT_EQ(std::size_t(drawn.size()), v.of(info.series).size()) << info.name;
        for (qsizetype i = 0; i < drawn.size(); ++i) {
            EXPECT_EQ(drawn[i].x(), v.of(info.series)[std::size_t(i)].seconds);
            EXPECT_EQ(drawn[i].y(), v.of(info.series)[std::size_t(i)].value);
        }
    }
    EXPECT_EQ(window().timeAxis(), std::make_pair(0.0, 600.0));

    window().btPause->click();
    EXPECT_TRUE(model().paused());
    EXPECT_EQ(window().btPause->text(), "Resume");
    const qsizetype frozen = window().plotted(TrendSeries::Flow).size();
    h.run(10000);
    window().refresh();
    EXPECT_EQ(window().plotted(TrendSeries::Flow).size(), frozen);
    window().btPause->click();
    EXPECT_FALSE(model().paused());
    EXPECT_EQ(window().btPause->text(), "Pause");
    EXPECT_GT(window().plotted(TrendSeries::Flow).size(), frozen);
}

TEST_F(TrendsInTheTool, ExportsWriteTheShownWindowAsCsvAndPng) {
    QTemporaryDir dir;
    h.run(8000);
    model().pause();
    h.run(4000);

    const QString csv = dir.filePath("trends.csv");
    h.dialogs.fileNames.push_back(csv);
    window().btExportCsv->click();
    const std::string text = readFile(csv);
    EXPECT_EQ(text, trendCsv(model().view()));
    // Only what the pause froze: nothing after 8 s.
    const std::string last = text.substr(text.rfind('\n', text.size() - 2) + 1);
    EXPECT_LE(std::stod(last), 8.0) << last;
    EXPECT_EQ(text.rfind("Time [s],Flow [ml/h],", 0), 0u);

    const QString png = dir.filePath("trends.png");
    h.dialogs.fileNames.push_back(png);
    window().btExportPng->click();
    const QImage picture(png);
    ASSERT_FALSE(picture.isNull());
    EXPECT_GE(picture.width(), 400);
    EXPECT_GE(picture.height(), 400);
    EXPECT_TRUE(h.dialogs.shown.empty()) << h.dialogs.texts().join(" | ").toStdString();

    // Cancelled: nothing is written, nothing is said.
    window().btExportCsv->click();
    EXPECT_TRUE(h.dialogs.shown.empty());
}

TEST_F(TrendsInTheTool, AnExportThatCannotBeWrittenIsTold) {
    QTemporaryDir dir;
    const QString bad = dir.filePath("missing/trends.csv");
    h.dialogs.fileNames.push_back(bad);
    window().btExportCsv->click();
    ASSERT_EQ(h.dialogs.shown.size(), 1u);
    EXPECT_TRUE(
        h.dialogs.shown[0].text.startsWith("The trends could not be written to \"" + bad + "\": "))
        << h.dialogs.shown[0].text.toStdString();
    EXPECT_EQ(h.dialogs.shown[0].caption, "Trends");
    EXPECT_FALSE(QFile::exists(bad));
}

TEST(TrendExport, TheProposedNameCarriesTheMoment) {
    EXPECT_EQ(trendExportFileName(QDateTime(QDate(2024, 3, 9), QTime(7, 5, 2)), "png"),
              "trends-20240309-070502.png");
    EXPECT_EQ(trendExportFileName(QDateTime(QDate(2024, 12, 31), QTime(23, 0, 0)), "csv"),
              "trends-20241231-230000.csv");
}

}  // namespace

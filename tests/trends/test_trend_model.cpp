// The trend plots' model: the values each status page carries, the ten-minute window, the pause
// and the CSV of what is shown.
#include <gtest/gtest.h>

#include <vector>

#include "trends/trend_model.h"

namespace {

std::vector<uint8_t> body(std::size_t size, std::vector<std::pair<std::size_t, uint8_t>> bytes) {
    std::vector<uint8_t> b(size, 0);
    for (auto [offset, value] : bytes) {
        b.at(offset) = value;
    }
    return b;
}

TEST(TrendSamples, EachPageGivesTheValuesItCarries) {
    struct Case {
        const char* what;
        uint8_t code;
        std::vector<uint8_t> body;
        std::vector<TrendSample> expected;
    };
    const Case cases[] = {
        {"page 205: the flow in 0.01 ml/h at bytes 3-6",
         205,
         body(15, {{1, 0x05}, {3, 0x40}, {4, 0xE2}, {5, 0x01}, {6, 0x00}}),
         {{TrendSeries::Flow, 1234.56}}},
        {"page 205: the largest flow",
         205,
         body(15, {{3, 0xFF}, {4, 0xFF}, {5, 0xFF}, {6, 0xFF}}),
         {{TrendSeries::Flow, 42949672.95}}},
        {"page 209: the pump's upstream NOx, signed",
         209,
         body(16, {{0, 0xFD}, {1, 0xFF}}),
         {{TrendSeries::NoxUpstream, -3}}},
        {"page 210: the pump's downstream NOx",
         210,
         body(16, {{0, 0xC2}, {1, 0x01}}),
         {{TrendSeries::NoxDownstream, 450}}},
        {"page 211: ratio x 100, catalyst in and out, urea tank",
         211,
         body(30, {{3, 0xF4},
                   {4, 0xFF},
                   {5, 0x36},
                   {6, 0x01},
                   {7, 0xFB},
                   {9, 0x99},
                   {11, 0x2E},
                   {12, 0x22}}),
         {{TrendSeries::ConversionRatio, 87.5},
          {TrendSeries::CatalystInTemperature, -12},
          {TrendSeries::CatalystOutTemperature, 310},
          {TrendSeries::UreaTankTemperature, -5}}},
        {"page 211 cut after the upstream catalyst temperature",
         211,
         body(5, {{3, 0x2C}, {4, 0x01}}),
         {{TrendSeries::CatalystInTemperature, 300}}},
        {"page 211 of eight bytes: temperatures, no ratio",
         211,
         body(8, {{3, 0x01}, {5, 0x02}, {7, 0x03}}),
         {{TrendSeries::CatalystInTemperature, 1},
          {TrendSeries::CatalystOutTemperature, 2},
          {TrendSeries::UreaTankTemperature, 3}}},
        {"page 205 cut inside the flow", 205, body(6, {{3, 0x40}}), {}},
        {"page 209 of one byte", 209, body(1, {{0, 0x10}}), {}},
        {"an empty page 211", 211, {}, {}},
        {"page 207 carries no trend value", 207, body(4, {{0, 0xFF}}), {}},
        {"page 206 carries no trend value", 206, body(46, {{8, 0x01}}), {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(trendSamplesOfPage(c.code, c.body), c.expected) << c.what;
    }
}

class TrendModelTest : public ::testing::Test {
  protected:
    double now = 0.0;
    TrendModel model{[this] { return now; }};
};

TEST_F(TrendModelTest, TheViewIsTheLastTenMinutes) {
    model.add(TrendSeries::Flow, 1.0);
    now = 100.0;
    model.add(TrendSeries::Flow, 2.0);
    model.add(TrendSeries::UreaTankTemperature, 20.0);
    TrendView v = model.view();
    // The first ten minutes fill the axis from the left.
    EXPECT_EQ(v.from, 0.0);
    EXPECT_EQ(v.to, 600.0);
    EXPECT_EQ(v.of(TrendSeries::Flow), (std::vector<TrendPoint>{{0.0, 1.0}, {100.0, 2.0}}));
    EXPECT_EQ(v.of(TrendSeries::UreaTankTemperature), (std::vector<TrendPoint>{{100.0, 20.0}}));
    EXPECT_TRUE(v.of(TrendSeries::NoxUpstream).empty());

    now = 650.0;
    model.add(TrendSeries::Flow, 3.0);
    v = model.view();
    EXPECT_EQ(v.from, 50.0);
    EXPECT_EQ(v.to, 650.0);
    EXPECT_EQ(v.of(TrendSeries::Flow), (std::vector<TrendPoint>{{100.0, 2.0}, {650.0, 3.0}}));
    // Time alone moves the window on, even when nothing arrives (a pump that fell silent).
    now = 701.0;
    v = model.view();
    EXPECT_EQ(v.from, 101.0);
    EXPECT_EQ(v.of(TrendSeries::Flow), (std::vector<TrendPoint>{{650.0, 3.0}}));
    EXPECT_TRUE(v.of(TrendSeries::UreaTankTemperature).empty());
}

TEST_F(TrendModelTest, PagesFeedTheirSeriesAtTheTimeTheyArrive) {
    now = 12.5;
    model.onPage(205, body(15, {{3, 0x10}, {4, 0x27}}));  // 100.00 ml/h
    now = 15.0;
    model.onPage(209, body(16, {{0, 0x64}}));  // 100 ppm
    model.onPage(207, body(4, {}));
    const TrendView v = model.view();
    EXPECT_EQ(v.of(TrendSeries::Flow), (std::vector<TrendPoint>{{12.5, 100.0}}));
    EXPECT_EQ(v.of(TrendSeries::NoxUpstream), (std::vector<TrendPoint>{{15.0, 100.0}}));
    std::size_t total = 0;
    for (const auto& s : v.series) {
        total += s.size();
    }
    EXPECT_EQ(total, 2u);
}

TEST_F(TrendModelTest, PauseFreezesTheViewWhileTheSeriesGoOn) {
    now = 10.0;
    model.add(TrendSeries::Flow, 1.0);
    const uint64_t before = model.revision();
    model.pause();
    EXPECT_TRUE(model.paused());
    EXPECT_NE(model.revision(), before);
    now = 700.0;
    model.add(TrendSeries::Flow, 2.0);
    TrendView v = model.view();
    EXPECT_EQ(v.from, 0.0);
    EXPECT_EQ(v.to, 600.0);
    EXPECT_EQ(v.of(TrendSeries::Flow), (std::vector<TrendPoint>{{10.0, 1.0}}));
    // The CSV of a paused view is what the plots froze.
    EXPECT_EQ(trendCsv(v).substr(trendCsv(v).find('\n') + 1), "10.000,1.00,,,,,,\n");

    model.resume();
    EXPECT_FALSE(model.paused());
    v = model.view();
    EXPECT_EQ(v.from, 100.0);
    EXPECT_EQ(v.of(TrendSeries::Flow), (std::vector<TrendPoint>{{700.0, 2.0}}));
    // A second pause or resume changes nothing.
    const uint64_t live = model.revision();
    model.resume();
    EXPECT_EQ(model.revision(), live);
}

TEST_F(TrendModelTest, AClockThatStepsBackKeepsTheSeriesInTimeOrder) {
    now = 50.0;
    model.add(TrendSeries::Flow, 1.0);
    now = 40.0;
    model.add(TrendSeries::Flow, 2.0);
    EXPECT_EQ(model.view().of(TrendSeries::Flow),
              (std::vector<TrendPoint>{{50.0, 1.0}, {50.0, 2.0}}));
}

TEST(TrendCsv, OneLinePerMomentWithEmptyCellsForTheValuesItLacks) {
    TrendView v;
    v.from = 0;
    v.to = 600;
    auto put = [&v](TrendSeries s, double t, double value) {
        v.series[std::size_t(s)].push_back({t, value});
    };
    put(TrendSeries::Flow, 3.0, 1234.5);
    put(TrendSeries::ConversionRatio, 3.0, 0.86);
    put(TrendSeries::CatalystInTemperature, 3.0, -12);
    put(TrendSeries::CatalystOutTemperature, 3.0, 285);
    put(TrendSeries::UreaTankTemperature, 3.0, 18);
    put(TrendSeries::NoxUpstream, 3.0, 780);
    put(TrendSeries::NoxDownstream, 3.0, -0.2);
    put(TrendSeries::NoxUpstream, 4.25, 781);
    put(TrendSeries::Flow, 6.0005, 0.004);
    EXPECT_EQ(trendCsv(v),
              "Time [s],Flow [ml/h],Upstream NOx [ppm],Downstream NOx [ppm],Conversion ratio,"
              "Upstream catalyst temp [C],Downstream catalyst temp [C],Urea tank temperature [C]\n"
              "3.000,1234.50,780,0,0.86,-12,285,18\n"
              "4.250,,781,,,,,\n"
              "6.000,0.00,,,,,,\n");
}

TEST(TrendCsv, AnEmptyViewIsTheHeaderAlone) {
    EXPECT_EQ(trendCsv(TrendView{}),
              "Time [s],Flow [ml/h],Upstream NOx [ppm],Downstream NOx [ppm],Conversion ratio,"
              "Upstream catalyst temp [C],Downstream catalyst temp [C],Urea tank temperature "
              "[C]\n");
}

TEST(TrendCsv, TwoValuesOfOneSeriesAtOneMomentGetALineEach) {
    TrendView v;
    v.series[std::size_t(TrendSeries::Flow)] = {{1.0, 5.0}, {1.0, 6.0}};
    v.series[std::size_t(TrendSeries::NoxUpstream)] = {{1.0, 7.0}};
    const std::string csv = trendCsv(v);
    EXPECT_EQ(csv.substr(csv.find('\n') + 1), "1.000,5.00,7,,,,,\n1.000,6.00,,,,,,\n");
}

}  // namespace

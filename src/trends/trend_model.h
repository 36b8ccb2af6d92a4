#pragma once
// The trend plots without their window: the values the status pages carry (flow, the two NOx
// figures, the conversion ratio, the catalyst and urea temperatures) as time series over the last
// ten minutes, a pause that freezes what is shown while the recording goes on, and the shown window
// as CSV. Time comes from an injectable clock in seconds; nothing here reads the wall clock.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

enum class TrendSeries : uint8_t {
    Flow,
    NoxUpstream,
    NoxDownstream,
    ConversionRatio,
    CatalystInTemperature,
    CatalystOutTemperature,
    UreaTankTemperature,
};
inline constexpr std::size_t kTrendSeriesCount = 7;
const char* toString(TrendSeries series);

// The plots the series are drawn in, one unit each.
enum class TrendChart : uint8_t { Flow, Nox, ConversionRatio, Temperatures };
inline constexpr std::size_t kTrendChartCount = 4;

struct TrendSeriesInfo {
    TrendSeries series;
    TrendChart chart;
    const char* name;  // legend and CSV column
    int decimals;      // in the CSV
};
inline constexpr std::array<TrendSeriesInfo, kTrendSeriesCount> kTrendSeries = {{
    {TrendSeries::Flow, TrendChart::Flow, "Flow [ml/h]", 2},
    {TrendSeries::NoxUpstream, TrendChart::Nox, "Upstream NOx [ppm]", 0},
    {TrendSeries::NoxDownstream, TrendChart::Nox, "Downstream NOx [ppm]", 0},
    {TrendSeries::ConversionRatio, TrendChart::ConversionRatio, "Conversion ratio", 2},
    {TrendSeries::CatalystInTemperature, TrendChart::Temperatures, "Upstream catalyst temp [C]", 0},
    {TrendSeries::CatalystOutTemperature, TrendChart::Temperatures, "Downstream catalyst temp [C]",
     0},
    {TrendSeries::UreaTankTemperature, TrendChart::Temperatures, "Urea tank temperature [C]", 0},
}};
inline constexpr std::array<const char*, kTrendChartCount> kTrendChartTitles = {
    "Flow [ml/h]", "NOx [ppm]", "Conversion ratio", "Temperatures [C]"};

struct TrendSample {
    TrendSeries series;
    double value;
    friend bool operator==(const TrendSample&, const TrendSample&) = default;
};

// The trend values one status page carries: page 205 the flow, 209 and 210 the pump's figures of
// the upstream and downstream NOx sensor, 211 the conversion ratio and the temperatures. A short
// body gives the values it holds whole; other pages give none.
std::vector<TrendSample> trendSamplesOfPage(uint8_t code, std::span<const uint8_t> body);

struct TrendPoint {
    double seconds;
    double value;
    friend bool operator==(const TrendPoint&, const TrendPoint&) = default;
};

// What the plots show: a time window and the points of each series inside it.
struct TrendView {
    double from = 0.0;
    double to = 0.0;
    std::array<std::vector<TrendPoint>, kTrendSeriesCount> series;
    const std::vector<TrendPoint>& of(TrendSeries s) const { return series[std::size_t(s)]; }
};

class TrendModel {
  public:
    // Seconds since the trends began; never goes back.
    using Clock = std::function<double()>;
    static constexpr double kWindowSeconds = 600.0;

    explicit TrendModel(Clock clock);
    void setClock(Clock clock) { clock_ = std::move(clock); }

    // A status page arrived: its values join their series now.
    void onPage(uint8_t code, std::span<const uint8_t> body);
    void add(TrendSeries series, double value);

    // Freezes the view (and the export) at this moment; the series go on filling meanwhile.
    void pause();
    // Back to the live view.
    void resume();
    bool paused() const { return paused_; }

    // Live: the ten minutes up to now (the first ten minutes from 0 to 600 s); paused: the view
    // of the moment of the pause.
    TrendView view() const;
    // Moves on with every value that arrives (and with pause and resume): a plot redraws only
    // when it changed.
    uint64_t revision() const { return revision_; }

  private:
    TrendView liveView(double now) const;
    void forgetBefore(double seconds);

    Clock clock_;
    std::array<std::vector<TrendPoint>, kTrendSeriesCount> series_;
    bool paused_ = false;
    TrendView frozen_;
    uint64_t revision_ = 0;
};

// The view as CSV: a header line, then one line per moment in time order; a value a moment has
// no sample of stays empty. Comma-separated with a decimal point, whatever the system's
// separators, so that spreadsheets and scripts read it alike.
std::string trendCsv(const TrendView& view);

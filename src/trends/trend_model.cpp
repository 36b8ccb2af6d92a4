#include "trends/trend_model.h"

#include <algorithm>
#include <charconv>

#include "pump/diagnostics_layout.h"
#include "pump/service_codes.h"
#include "pump/status_page_layout.h"

namespace {

// Little-endian fields of a body, each only when the body holds it whole.
struct Fields {
    std::span<const uint8_t> body;
    bool holds(std::size_t offset, std::size_t width) const {
        return body.size() >= offset + width;
    }
    uint32_t u(std::size_t offset, std::size_t width) const {
        uint32_t v = 0;
        for (std::size_t i = 0; i < width; ++i) {
            v |= uint32_t(body[offset + i]) << (8 * i);
        }
        return v;
    }
};

std::string fixed(double value, int decimals) {
    char buffer[64];
    const auto end =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    std::string text(buffer, end.ptr);
    // "-0" and "-0.00" of a small negative value read better as zero.
    if (text.find_first_not_of("-0.") == std::string::npos && text.front() == '-') {
        text.erase(0, 1);
    }
    return text;
}

}  // namespace

const char* toString(TrendSeries series) {
    return kTrendSeries[std::size_t(series)].name;
}

std::vector<TrendSample> trendSamplesOfPage(uint8_t code, std::span<const uint8_t> body) {
    namespace sp = status_page;
    const Fields f{body};
    std::vector<TrendSample> out;
    switch (code) {
        case service_code::kPage205:
            if (f.holds(sp::page205::kFlow, 4)) {
                // 0.01 ml/h
                out.push_back({TrendSeries::Flow, f.u(sp::page205::kFlow, 4) * 0.01});
            }
            break;
        case service_code::kPage209:
        case service_code::kPage210:
            if (f.holds(sensor_record::kNoxPpm, 2)) {
                const auto ppm = int16_t(f.u(sensor_record::kNoxPpm, 2));
                out.push_back({code == service_code::kPage209 ? TrendSeries::NoxUpstream
                                                              : TrendSeries::NoxDownstream,
                               double(ppm)});
            }
            break;
        case service_code::kPage211:
            if (f.holds(sp::page211::kConversionRatio, 2)) {
                // x 100
                out.push_back(
                    {TrendSeries::ConversionRatio, f.u(sp::page211::kConversionRatio, 2) * 0.01});
            }
            if (f.holds(sp::page211::kCatalystInTemperature, 2)) {
                out.push_back({TrendSeries::CatalystInTemperature,
                               double(int16_t(f.u(sp::page211::kCatalystInTemperature, 2)))});
            }
            if (f.holds(sp::page211::kCatalystOutTemperature, 2)) {
                out.push_back({TrendSeries::CatalystOutTemperature,
                               double(int16_t(f.u(sp::page211::kCatalystOutTemperature, 2)))});
            }
            if (f.holds(sp::page211::kUreaTankTemperature, 1)) {
                out.push_back({TrendSeries::UreaTankTemperature,
                               double(int8_t(f.u(sp::page211::kUreaTankTemperature, 1)))});
            }
            break;
        default:
            break;
    }
    return out;
}

TrendModel::TrendModel(Clock clock) : clock_(std::move(clock)) {}

void TrendModel::onPage(uint8_t code, std::span<const uint8_t> body) {
    for (const TrendSample& s : trendSamplesOfPage(code, body)) {
        add(s.series, s.value);
    }
}

void TrendModel::add(TrendSeries series, double value) {
    const double now = clock_();
    auto& points = series_[std::size_t(series)];
    // A clock never goes back; should one, the series stays in time order all the same.
    const double at = points.empty() ? now : std::max(now, points.back().seconds);
    points.push_back({at, value});
    forgetBefore(now - kWindowSeconds);
    ++revision_;
}

void TrendModel::forgetBefore(double seconds) {
    for (auto& points : series_) {
        const auto keep =
            std::find_if(points.begin(), points.end(),
                         [seconds](const TrendPoint& p) { return p.seconds >= seconds; });
        points.erase(points.begin(), keep);
    }
}

void TrendModel::pause() {
    if (!paused_) {
        frozen_ = liveView(clock_());
        paused_ = true;
        ++revision_;
    }
}

void TrendModel::resume() {
    if (paused_) {
        paused_ = false;
        frozen_ = {};
        ++revision_;
    }
}

TrendView TrendModel::view() const {
    return paused_ ? frozen_ : liveView(clock_());
}

TrendView TrendModel::liveView(double now) const {
    TrendView v;
    v.to = std::max(now, kWindowSeconds);
    v.from = v.to - kWindowSeconds;
    for (std::size_t i = 0; i < kTrendSeriesCount; ++i) {
        for (const TrendPoint& p : series_[i]) {
            if (p.seconds >= v.from && p.seconds <= v.to) {
                v.series[i].push_back(p);
            }
        }
    }
    return v;
}

std::string trendCsv(const TrendView& view) {
    struct Cell {
        double seconds;
        std::size_t series;
        double value;
    };
    std::vector<Cell> cells;
    for (std::size_t i = 0; i < kTrendSeriesCount; ++i) {
        for (const TrendPoint& p : view.series[i]) {
            cells.push_back({p.seconds, i, p.value});
        }
    }
    std::stable_sort(cells.begin(), cells.end(),
                     [](const Cell& a, const Cell& b) { return a.seconds < b.seconds; });

    std::string out = "Time [s]";
    for (const TrendSeriesInfo& info : kTrendSeries) {
        out += ',';
        out += info.name;
    }
    out += '\n';
    for (std::size_t i = 0; i < cells.size();) {
        // The values of one moment (the pages of one reply come together) share a line; a
        // series with two values at that moment takes a second line.
        const double seconds = cells[i].seconds;
        std::vector<std::array<std::string, kTrendSeriesCount>> lines;
        for (; i < cells.size() && cells[i].seconds == seconds; ++i) {
            const Cell& cell = cells[i];
            auto line = std::find_if(lines.begin(), lines.end(),
                                     [&cell](const auto& l) { return l[cell.series].empty(); });
            if (line == lines.end()) {
                line = lines.emplace(lines.end());
            }
            (*line)[cell.series] = fixed(cell.value, kTrendSeries[cell.series].decimals);
        }
        for (const auto& line : lines) {
            out += fixed(seconds, 3);
            for (const std::string& value : line) {
                out += ',';
                out += value;
            }
            out += '\n';
        }
    }
    return out;
}

#include "host/charts/ChartSvg.h"

#include <plplot/plstream.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

namespace HostCharts {
namespace {

constexpr PLINT PageWidth = 800;
constexpr PLINT ChartHeight = 500;
// Colour-map entries: 0 background, 1 axes and texts, graphs from here on.
constexpr PLINT FirstGraphColour = 16;

// Colours for graphs that leave the choice to the chart (0x00BBGGRR).
constexpr std::int32_t Palette[] = {0x0000C0, 0xC00000, 0x008000, 0x0080FF, 0x800080, 0x808000, 0x404040};

// Latin-1 as UTF-8, with the renderer's escape character doubled.
std::string TextOf(const std::string& latin1)
{
    std::string utf8;
    for (const unsigned char c : latin1) {
        if (c == '#') {
            utf8 += "##";
        } else if (c < 0x80) {
            utf8 += static_cast<char>(c);
        } else {
            utf8 += static_cast<char>(0xC0 | (c >> 6));
            utf8 += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return utf8;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::string::size_type start = 0;
    for (;;) {
        const std::string::size_type end = text.find('\n', start);
        lines.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos)
            return lines;
        start = end + 1;
    }
}

bool Finite(const ChartPoint& p)
{
    return std::isfinite(p.x) && std::isfinite(p.y);
}

// The renderer's line pattern of a graph's line style (0: no line).
PLINT PatternOf(std::int32_t style)
{
    switch (style) {
    case 0: return 0;  // SDLineNone
    case 2: return 3;  // SDLineDash: long dashes
    case 3: return 2;  // SDLineDot: short dashes
    case 4: return 5;  // SDLineDashDot
    case 5: return 7;  // SDLineDashDotDot
    default: return 1; // SDLineSolid and anything unknown
    }
}

struct Range {
    double min = std::numeric_limits<double>::infinity();
    double max = -std::numeric_limits<double>::infinity();
    void Add(double v)
    {
        min = std::min(min, v);
        max = std::max(max, v);
    }
    // A range to draw: [0, 1] without data, widened around a single value.
    void Settle()
    {
        if (!(min <= max)) {
            min = 0.0;
            max = 1.0;
        } else if (min == max) {
            const double pad = min == 0.0 ? 1.0 : std::fabs(min) * 0.05;
            min -= pad;
            max += pad;
        }
    }
};

// The spacing of an axis's ticks: 1, 2 or 5 times a power of ten, giving
// about six ticks over the range.
double TickStep(const Range& range)
{
    const double raw = (range.max - range.min) / 6.0;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    const double scaled = raw / power;
    return (scaled < 1.5 ? 1.0 : scaled < 3.0 ? 2.0 : scaled < 7.0 ? 5.0 : 10.0) * power;
}

// How the tick values of an axis are written: with as many digits as tell
// neighbouring ticks apart, so that a small change on a large value (the
// drift of a constant of motion) reads on the axis.
struct AxisLabels {
    double step = 1.0;
    bool scientific = false;
    int digits = 0; // decimals, or significant digits less one in scientific form

    AxisLabels() = default;
    AxisLabels(const Range& range, double tickStep) : step(tickStep)
    {
        const int stepExponent = static_cast<int>(std::floor(std::log10(step) + 1e-9));
        const double largest = std::max(std::fabs(range.min), std::fabs(range.max));
        const int valueExponent = largest > 0.0 ? static_cast<int>(std::floor(std::log10(largest))) : 0;
        scientific = largest >= 1e6 || (largest > 0.0 && largest < 1e-4);
        digits = scientific ? std::clamp(valueExponent - stepExponent, 0, 16) : std::clamp(-stepExponent, 0, 17);
    }
    std::string Text(double value) const
    {
        // A tick at zero computed as a tiny remainder reads as zero.
        if (std::fabs(value) < step * 1e-9)
            value = 0.0;
        char text[64];
        std::snprintf(text, sizeof(text), scientific ? "%.*e" : "%.*f", digits, value);
        return text;
    }
};

struct ChartLabels {
    AxisLabels x;
    AxisLabels y;
};

void LabelTick(PLINT axis, PLFLT value, char* text, PLINT length, PLPointer data)
{
    const ChartLabels& labels = *static_cast<const ChartLabels*>(data);
    const std::string label = (axis == PL_Y_AXIS ? labels.y : labels.x).Text(value);
    std::snprintf(text, static_cast<std::size_t>(length), "%s", label.c_str());
}

// The ranges a chart is drawn over.
struct ChartRanges {
    Range x;
    Range y;
};

ChartRanges RangesOf(const ChartData& chart)
{
    ChartRanges r;
    for (const auto& graph : chart.graphs)
        for (const ChartPoint& p : graph->points)
            if (Finite(p)) {
                r.x.Add(p.x);
                r.y.Add(p.y);
            }
    for (const AxisMark& mark : chart.xMarks)
        r.x.Add(mark.x);
    r.x.Settle();
    r.y.Settle();
    // Lines along the top or bottom stay clear of the frame.
    const double margin = (r.y.max - r.y.min) * 0.05;
    r.y.min -= margin;
    r.y.max += margin;
    // Values near the largest number make a span beyond it, over which no
    // axis can be laid out.
    for (const Range* range : {&r.x, &r.y})
        if (!std::isfinite(range->min) || !std::isfinite(range->max) || !std::isfinite(range->max - range->min))
            throw std::runtime_error("The chart \"" + chart.title.substr(0, chart.title.find('\n')) +
                                     "\" cannot be drawn: its values span more than a number can hold.");
    return r;
}

void DrawChart(plstream& pl, const ChartData& chart, ChartLabels& labels)
{
    const ChartRanges ranges = RangesOf(chart);
    const Range& xs = ranges.x;
    const Range& ys = ranges.y;
    const double xStep = TickStep(xs);
    const double yStep = TickStep(ys);
    labels.x = AxisLabels(xs, xStep);
    labels.y = AxisLabels(ys, yStep);
    pl.slabelfunc(LabelTick, &labels);

    const std::vector<std::string> titleLines = Lines(chart.title);
    const double top = 0.90 - 0.06 * static_cast<double>(titleLines.size() - 1);
    pl.adv(0);
    pl.col0(1);
    pl.vpor(0.17, 0.95, 0.16, top);
    pl.wind(xs.min, xs.max, ys.min, ys.max);
    pl.width(1.0);
    pl.lsty(1);
    // A chart with marks (a band structure) names them instead of numbering its x axis.
    pl.box(chart.xMarks.empty() ? "bcnsto" : "bc", xStep, 0, "bcnstvo", yStep, 0);
    for (const AxisMark& mark : chart.xMarks) {
        pl.lsty(2);
        pl.join(mark.x, ys.min, mark.x, ys.max);
        pl.lsty(1);
        pl.mtex("b", 1.4, (mark.x - xs.min) / (xs.max - xs.min), 0.5, TextOf(mark.text).c_str());
    }
    for (size_t i = 0; i < titleLines.size(); ++i) {
        const double displacement = 1.5 + 1.6 * static_cast<double>(titleLines.size() - 1 - i);
        pl.mtex("t", displacement, 0.5, 0.5, TextOf(titleLines[i]).c_str());
    }
    pl.mtex("b", 3.2, 0.5, 0.5, TextOf(chart.xAxisTitle).c_str());
    pl.mtex("l", 6.5, 0.5, 0.5, TextOf(chart.yAxisTitle).c_str());

    std::vector<PLINT> colours;
    std::vector<PLINT> patterns;
    std::vector<PLFLT> widths;
    size_t paletteNext = 0;
    for (size_t g = 0; g < chart.graphs.size(); ++g) {
        const GraphData& graph = *chart.graphs[g];
        std::int32_t colour = graph.colour;
        if (colour == 0)
            colour = Palette[paletteNext++ % (sizeof(Palette) / sizeof(Palette[0]))];
        const PLINT index = FirstGraphColour + static_cast<PLINT>(g);
        pl.scol0(index, colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF);
        colours.push_back(index);
        patterns.push_back(PatternOf(graph.lineStyle));
        widths.push_back(graph.lineWidth > 0 ? graph.lineWidth : 1.0);
    }
    // Graphs drawn on top come last.
    std::vector<size_t> order(chart.graphs.size());
    for (size_t g = 0; g < order.size(); ++g)
        order[g] = g;
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        return !chart.graphs[a]->drawOnTop && chart.graphs[b]->drawOnTop;
    });
    for (const size_t g : order) {
        const GraphData& graph = *chart.graphs[g];
        pl.col0(colours[g]);
        pl.width(widths[g]);
        std::vector<PLFLT> x;
        std::vector<PLFLT> y;
        const auto flush = [&] {
            if (patterns[g] != 0 && x.size() >= 2) {
                pl.lsty(patterns[g]);
                pl.line(static_cast<PLINT>(x.size()), x.data(), y.data());
            }
            if (graph.showMarkers && !x.empty()) {
                pl.lsty(1);
                pl.poin(static_cast<PLINT>(x.size()), x.data(), y.data(), 4);
            }
            x.clear();
            y.clear();
        };
        for (const ChartPoint& p : graph.points) {
            if (!Finite(p)) {
                flush();
                continue;
            }
            x.push_back(p.x);
            y.push_back(p.y);
        }
        flush();
    }
    pl.lsty(1);
    pl.width(1.0);

    if (chart.showLegend && !chart.graphs.empty()) {
        const PLINT n = static_cast<PLINT>(chart.graphs.size());
        std::vector<PLINT> options;
        std::vector<PLINT> textColours(n, 1);
        std::vector<std::string> names;
        std::vector<const char*> texts;
        std::vector<PLINT> symbolNumbers(n, 3);
        std::vector<PLFLT> symbolScales(n, 1.0);
        std::vector<const char*> symbols(n, "#[0x25cb]"); // a circle, as the markers
        for (PLINT g = 0; g < n; ++g) {
            const GraphData& graph = *chart.graphs[g];
            PLINT option = patterns[g] != 0 ? PL_LEGEND_LINE : PL_LEGEND_NONE;
            if (graph.showMarkers)
                option |= PL_LEGEND_SYMBOL;
            options.push_back(option);
            names.push_back(TextOf(graph.name));
        }
        for (const std::string& name : names)
            texts.push_back(name.c_str());
        std::vector<PLINT> legendPatterns(patterns);
        for (PLINT& p : legendPatterns)
            p = p == 0 ? 1 : p;
        PLFLT legendWidth = 0.0;
        PLFLT legendHeight = 0.0;
        pl.legend(&legendWidth, &legendHeight, PL_LEGEND_BACKGROUND | PL_LEGEND_BOUNDING_BOX,
                  PL_POSITION_TOP | PL_POSITION_RIGHT | PL_POSITION_INSIDE, 0.02, 0.02, 0.08, 0, 1, 1, 0, 0, n,
                  options.data(), 1.0, 0.8, 2.0, 0.0, textColours.data(), texts.data(), nullptr, nullptr, nullptr,
                  nullptr, colours.data(), legendPatterns.data(), widths.data(), colours.data(), symbolScales.data(),
                  symbolNumbers.data(), symbols.data());
    }
}

} // namespace

void WriteChartSvg(const ChartList& charts, const std::string& path)
{
    // A chart that cannot be drawn is refused before the file is touched.
    for (const auto& chart : charts)
        RangesOf(*chart);
    // The renderer gives no word when it cannot open its file: try first.
    if (std::FILE* probe = std::fopen(path.c_str(), "wb"))
        std::fclose(probe);
    else
        throw std::runtime_error("Cannot write the picture \"" + path + "\".");

    size_t mostGraphs = 0;
    for (const auto& chart : charts)
        mostGraphs = std::max(mostGraphs, chart->graphs.size());
    const PLINT pages = std::max<PLINT>(1, static_cast<PLINT>(charts.size()));

    plstream pl;
    pl.sdev("svg");
    pl.sfnam(path.c_str());
    pl.spage(0.0, 0.0, PageWidth, ChartHeight * pages, 0, 0);
    pl.scmap0n(FirstGraphColour + static_cast<PLINT>(mostGraphs));
    pl.scol0(0, 255, 255, 255);
    pl.scol0(1, 0, 0, 0);
    pl.ssub(1, pages);
    pl.init();
    ChartLabels labels;
    if (charts.empty()) {
        ChartData empty;
        DrawChart(pl, empty, labels);
    }
    for (const auto& chart : charts)
        DrawChart(pl, *chart, labels);
}

} // namespace HostCharts

#include "host/charts/ChartSvg.h"

#include "host/model/TextEncoding.h"

#include "qorqm/MessageText.h"
#include "qorqm/ReplaceFile.h"

#include <plplot/plstream.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include <unistd.h>

namespace HostCharts {
namespace {

constexpr PLINT PageWidth = 800;
constexpr PLINT ChartHeight = 500;
// Colour-map entries: 0 background, 1 axes and texts, graphs from here on.
constexpr PLINT FirstGraphColour = 16;

// Colours for graphs that leave the choice to the chart (0x00BBGGRR).
constexpr std::int32_t Palette[] = {0x0000C0, 0xC00000, 0x008000, 0x0080FF, 0x800080, 0x808000, 0x404040};

// Latin-1 as UTF-8, with the renderer's escape character doubled. The
// renderer keeps a text in a buffer of about a thousand characters (an
// escape counts twice) and writes past it for a longer one: texts reach it
// through Bounded() first.
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

// What the renderer is given of one text at most, in characters (an escape
// character counting twice), and of a chart title at most, in lines. A
// longer text could not be read on the picture anyway.
constexpr std::size_t LongestText = 250;
constexpr std::size_t MostTitleLines = 6;

std::size_t RendererLength(const std::string& latin1)
{
    std::size_t length = 0;
    for (const char c : latin1)
        length += c == '#' ? 2 : 1;
    return length;
}

// The text shortened to what the renderer takes, ending in "..." when cut;
// a cut is noted in `warnings`, naming the text.
std::string Bounded(const std::string& latin1, const std::string& what, std::vector<std::string>& warnings)
{
    if (RendererLength(latin1) <= LongestText)
        return latin1;
    std::string kept;
    std::size_t length = 0;
    for (const char c : latin1) {
        const std::size_t width = c == '#' ? 2 : 1;
        if (length + width > LongestText - 3)
            break;
        kept += c;
        length += width;
    }
    warnings.push_back(what + " \"" + MessageText::Excerpt(HostModel::Latin1ToUtf8(latin1), 40) +
                       "\" is longer than a picture can show: it is drawn shortened to " +
                       std::to_string(LongestText) + " characters.");
    return kept + "...";
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
            throw std::runtime_error("The chart \"" +
                                     MessageText::Excerpt(HostModel::Latin1ToUtf8(chart.title.substr(0, chart.title.find('\n'))), 40) +
                                     "\" cannot be drawn: its values span more than a number can hold.");
    return r;
}

// The most characters of the y axis's tick labels over the range.
std::size_t LongestTickLabel(const Range& range, const AxisLabels& labels)
{
    std::size_t longest = 0;
    const double first = std::ceil(range.min / labels.step);
    for (int k = 0; k < 1000; ++k) {
        const double value = (first + k) * labels.step;
        if (value > range.max + labels.step * 1e-6)
            break;
        longest = std::max(longest, labels.Text(value).size());
    }
    return longest;
}

// The y axis's title, in character heights left of the frame: beyond the
// longest tick label, with the frame's usual place as the least.
double YTitleDisplacement(std::size_t longestLabel)
{
    // A digit is about 0.6 of the text size wide, and the text size about
    // 1.3 character heights.
    return std::max(6.5, 2.0 + 0.8 * static_cast<double>(longestLabel));
}

void DrawChart(plstream& pl, const ChartData& chart, ChartLabels& labels, std::vector<std::string>& warnings)
{
    const ChartRanges ranges = RangesOf(chart);
    const Range& xs = ranges.x;
    const Range& ys = ranges.y;
    const double xStep = TickStep(xs);
    const double yStep = TickStep(ys);
    labels.x = AxisLabels(xs, xStep);
    labels.y = AxisLabels(ys, yStep);
    pl.slabelfunc(LabelTick, &labels);

    std::vector<std::string> titleLines = Lines(chart.title);
    const std::string name = "The chart \"" +
                             MessageText::Excerpt(HostModel::Latin1ToUtf8(titleLines.front()), 40) + "\":";
    if (titleLines.size() > MostTitleLines) {
        warnings.push_back(name + " its title has " + std::to_string(titleLines.size()) + " lines; the first " +
                           std::to_string(MostTitleLines) + " are drawn.");
        titleLines.resize(MostTitleLines);
    }
    for (std::string& line : titleLines)
        line = Bounded(line, name + " the title line", warnings);
    const std::string xTitle = Bounded(chart.xAxisTitle, name + " the x-axis title", warnings);
    const std::string yTitle = Bounded(chart.yAxisTitle, name + " the y-axis title", warnings);

    const double top = 0.90 - 0.06 * static_cast<double>(titleLines.size() - 1);
    pl.adv(0);
    pl.col0(1);
    // The frame leaves room on the left for the longest tick label and the
    // axis title beside it, so that no label runs off the picture.
    const double yTitleAt = YTitleDisplacement(LongestTickLabel(ys, labels.y));
    PLFLT defaultHeight = 0.0;
    PLFLT height = 0.0;
    pl.gchr(defaultHeight, height);
    PLFLT pageLeft = 0.0, pageRight = 0.0, pageBottom = 0.0, pageTop = 0.0;
    pl.gspa(pageLeft, pageRight, pageBottom, pageTop);
    const double left = std::min(0.6, std::max(0.17, (yTitleAt + 1.0) * height / (pageRight - pageLeft)));
    pl.vpor(left, 0.95, 0.16, top);
    pl.wind(xs.min, xs.max, ys.min, ys.max);
    pl.width(1.0);
    pl.lsty(1);
    // A chart with marks (a band structure) names them instead of numbering its x axis.
    pl.box(chart.xMarks.empty() ? "bcnsto" : "bc", xStep, 0, "bcnstvo", yStep, 0);
    for (const AxisMark& mark : chart.xMarks) {
        pl.lsty(2);
        pl.join(mark.x, ys.min, mark.x, ys.max);
        pl.lsty(1);
        pl.mtex("b", 1.4, (mark.x - xs.min) / (xs.max - xs.min), 0.5,
                TextOf(Bounded(mark.text, name + " the mark", warnings)).c_str());
    }
    for (size_t i = 0; i < titleLines.size(); ++i) {
        const double displacement = 1.5 + 1.6 * static_cast<double>(titleLines.size() - 1 - i);
        pl.mtex("t", displacement, 0.5, 0.5, TextOf(titleLines[i]).c_str());
    }
    pl.mtex("b", 3.2, 0.5, 0.5, TextOf(xTitle).c_str());
    pl.mtex("l", yTitleAt, 0.5, 0.5, TextOf(yTitle).c_str());

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
            names.push_back(TextOf(Bounded(graph.name, name + " the name of graph " + std::to_string(g + 1), warnings)));
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

// The plotting library lists its device drivers in a temporary file of its
// own before it draws; a temporary folder that takes no file (a full disk)
// leaves it without drivers, and it then ends the process with its own
// words or cannot find the "svg" device. So room for that file is made sure
// of first, and its lack named with the system's reason.
void RequireTemporaryRoom(const std::string& path)
{
    const char* named = std::getenv("TMPDIR");
    const std::string folder = named && *named ? named : "/tmp";
    std::string pattern = folder + "/qz-chart-svg-XXXXXX";
    int error = 0;
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) {
        error = errno;
    } else {
        ::unlink(pattern.c_str());
        const std::string block(4096, ' ');
        std::size_t written = 0;
        while (written < block.size()) {
            const ssize_t n = ::write(fd, block.data() + written, block.size() - written);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                error = n < 0 ? errno : ENOSPC;
                break;
            }
            written += static_cast<std::size_t>(n);
        }
        ::close(fd);
    }
    if (error != 0)
        throw std::runtime_error("Cannot draw the picture \"" + path +
                                 "\": the plotting library keeps a file in the temporary folder \"" + folder +
                                 "\", which takes no file now (" + std::strerror(error) +
                                 "); make room there, or name a folder with room in TMPDIR, and draw it again.");
}

} // namespace

std::vector<std::string> WriteChartSvg(const ChartList& charts, const std::string& path)
{
    // A chart that cannot be drawn is refused before the file is touched.
    for (const auto& chart : charts)
        RangesOf(*chart);

    size_t mostGraphs = 0;
    for (const auto& chart : charts)
        mostGraphs = std::max(mostGraphs, chart->graphs.size());
    const PLINT pages = std::max<PLINT>(1, static_cast<PLINT>(charts.size()));

    // The renderer writes into memory (and closes that stream when it ends);
    // the picture then replaces the file whole, so that a failed write
    // leaves the previous picture as it was.
    char* buffer = nullptr;
    std::size_t size = 0;
    struct Freed {
        char*& buffer;
        ~Freed() { std::free(buffer); }
    } freed{buffer};
    RequireTemporaryRoom(path);
    std::FILE* memory = open_memstream(&buffer, &size);
    if (!memory)
        throw std::runtime_error("Cannot draw the picture \"" + path + "\": " + std::strerror(errno) + ".");
    std::vector<std::string> warnings;
    {
        plstream pl;
        pl.sdev("svg");
        pl.sfile(memory);
        pl.spage(0.0, 0.0, PageWidth, ChartHeight * pages, 0, 0);
        pl.scmap0n(FirstGraphColour + static_cast<PLINT>(mostGraphs));
        pl.scol0(0, 255, 255, 255);
        pl.scol0(1, 0, 0, 0);
        pl.ssub(1, pages);
        pl.init();
        ChartLabels labels;
        if (charts.empty()) {
            ChartData empty;
            DrawChart(pl, empty, labels, warnings);
        }
        for (const auto& chart : charts)
            DrawChart(pl, *chart, labels, warnings);
    }
    const std::string picture(buffer ? buffer : "", buffer ? size : 0);
    errno = 0;
    if (picture.empty() || !ReplaceFileContents(path, picture)) {
        const int error = errno;
        throw std::runtime_error("Cannot write the picture \"" + path + "\"" +
                                 (error != 0 ? std::string(": ") + std::strerror(error) : std::string()) +
                                 "; a picture that was there is left as it was.");
    }
    return warnings;
}

} // namespace HostCharts

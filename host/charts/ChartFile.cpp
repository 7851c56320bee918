#include "host/charts/ChartFile.h"

#include "com/regularfile.h"
#include "host/model/TextEncoding.h"
#include "qorqm/MessageText.h"
#include "qorqm/ReplaceFile.h"

#include <nlohmann/json.hpp>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <limits>
#include <sstream>

namespace HostCharts {

using HostModel::Latin1ToUtf8;
using HostModel::Utf8ToLatin1;

namespace {

using json = nlohmann::json;

constexpr const char* FormatName = "QorZelm chart document";
constexpr int FormatVersion = 1;

bool SameNumber(double a, double b)
{
    return a == b || (std::isnan(a) && std::isnan(b));
}

json Number(double value)
{
    if (std::isnan(value))
        return "nan";
    if (std::isinf(value))
        return value > 0 ? "inf" : "-inf";
    return value;
}

[[noreturn]] void Bad(const std::string& where, const std::string& what)
{
    throw ChartFileError(where + " " + what);
}

double ReadNumber(const json& j, const std::string& where)
{
    if (j.is_number())
        return j.get<double>();
    if (j.is_string()) {
        const std::string text = j.get<std::string>();
        if (text == "nan")
            return std::numeric_limits<double>::quiet_NaN();
        if (text == "inf")
            return std::numeric_limits<double>::infinity();
        if (text == "-inf")
            return -std::numeric_limits<double>::infinity();
    }
    Bad(where, "must be a number.");
}

std::int32_t ReadInt(const json& j, const std::string& where)
{
    if (!j.is_number_integer())
        Bad(where, "must be a whole number.");
    if (j.is_number_unsigned() && j.get<unsigned long long>() > static_cast<unsigned long long>(std::numeric_limits<std::int32_t>::max()))
        Bad(where, "is out of range.");
    const long long value = j.get<long long>();
    if (value < std::numeric_limits<std::int32_t>::min() || value > std::numeric_limits<std::int32_t>::max())
        Bad(where, "is out of range.");
    return static_cast<std::int32_t>(value);
}

// The member of an object, or null when the object lacks it.
const json* Member(const json& object, const char* key)
{
    const auto it = object.find(key);
    return it == object.end() ? nullptr : &*it;
}

std::string ReadText(const json& object, const char* key, const std::string& where)
{
    const json* j = Member(object, key);
    if (!j)
        return std::string();
    if (!j->is_string())
        Bad(where + " \"" + key + "\"", "must be a text.");
    return Utf8ToLatin1(j->get<std::string>());
}

bool ReadBool(const json& object, const char* key, bool fallback, const std::string& where)
{
    const json* j = Member(object, key);
    if (!j)
        return fallback;
    if (!j->is_boolean())
        Bad(where + " \"" + key + "\"", "must be true or false.");
    return j->get<bool>();
}

std::int32_t ReadIntMember(const json& object, const char* key, std::int32_t fallback, const std::string& where)
{
    const json* j = Member(object, key);
    return j ? ReadInt(*j, where + " \"" + key + "\"") : fallback;
}

const json& RequireArray(const json& object, const char* key, const std::string& where)
{
    const json* j = Member(object, key);
    if (!j || !j->is_array())
        Bad(where, std::string("needs a list \"") + key + "\".");
    return *j;
}

json GraphJson(const GraphData& graph)
{
    json points = json::array();
    for (const ChartPoint& p : graph.points)
        points.push_back(json::array({Number(p.x), Number(p.y), p.itemIndex}));
    return json{{"name", Latin1ToUtf8(graph.name)},
                {"style",
                 {{"showMarkers", graph.showMarkers},
                  {"colour", graph.colour},
                  {"lineWidth", graph.lineWidth},
                  {"drawOnTop", graph.drawOnTop},
                  {"lineStyle", graph.lineStyle}}},
                {"points", std::move(points)}};
}

std::shared_ptr<GraphData> ReadGraph(const json& j, const std::string& where)
{
    if (!j.is_object())
        Bad(where, "must be an object.");
    auto graph = std::make_shared<GraphData>();
    graph->name = ReadText(j, "name", where);
    if (const json* style = Member(j, "style")) {
        const std::string at = where + " style";
        if (!style->is_object())
            Bad(at, "must be an object.");
        graph->showMarkers = ReadBool(*style, "showMarkers", graph->showMarkers, at);
        graph->colour = ReadIntMember(*style, "colour", graph->colour, at);
        graph->lineWidth = ReadIntMember(*style, "lineWidth", graph->lineWidth, at);
        graph->drawOnTop = ReadBool(*style, "drawOnTop", graph->drawOnTop, at);
        graph->lineStyle = ReadIntMember(*style, "lineStyle", graph->lineStyle, at);
        if (graph->lineStyle < 0 || graph->lineStyle > 5)
            Bad(at + " \"lineStyle\"", "must lie between 0 and 5.");
        if (graph->lineWidth < 0)
            Bad(at + " \"lineWidth\"", "must not be negative.");
    }
    const json& points = RequireArray(j, "points", where);
    graph->points.reserve(points.size());
    for (std::size_t i = 0; i < points.size(); ++i) {
        const std::string at = where + " point " + std::to_string(i + 1);
        const json& p = points[i];
        if (!p.is_array() || p.size() < 2 || p.size() > 3)
            Bad(at, "must be a list [x, y] or [x, y, item index].");
        ChartPoint point;
        point.x = ReadNumber(p[0], at + " x");
        point.y = ReadNumber(p[1], at + " y");
        if (p.size() == 3)
            point.itemIndex = ReadInt(p[2], at + " item index");
        graph->points.push_back(point);
    }
    return graph;
}

std::vector<AxisMark> ReadMarks(const json& marks, const std::string& where)
{
    std::vector<AxisMark> list;
    for (std::size_t i = 0; i < marks.size(); ++i) {
        const std::string at = where + " mark " + std::to_string(i + 1);
        const json& m = marks[i];
        if (!m.is_array() || m.size() != 2 || !m[0].is_number() || !m[1].is_string())
            Bad(at, "must be a list [x, text] with a finite x.");
        list.push_back(AxisMark{m[0].get<double>(), Utf8ToLatin1(m[1].get<std::string>())});
    }
    return list;
}

} // namespace

bool SameGraph(const GraphData& a, const GraphData& b)
{
    if (a.name != b.name || a.showMarkers != b.showMarkers || a.colour != b.colour || a.lineWidth != b.lineWidth ||
        a.drawOnTop != b.drawOnTop || a.lineStyle != b.lineStyle || a.points.size() != b.points.size())
        return false;
    for (std::size_t i = 0; i < a.points.size(); ++i) {
        const ChartPoint& p = a.points[i];
        const ChartPoint& q = b.points[i];
        if (!SameNumber(p.x, q.x) || !SameNumber(p.y, q.y) || p.itemIndex != q.itemIndex)
            return false;
    }
    return true;
}

bool SameChart(const ChartData& a, const ChartData& b)
{
    if (a.title != b.title || a.xAxisTitle != b.xAxisTitle || a.yAxisTitle != b.yAxisTitle ||
        a.autoScale != b.autoScale || a.showLegend != b.showLegend || a.graphs.size() != b.graphs.size() ||
        a.xMarks.size() != b.xMarks.size())
        return false;
    for (std::size_t i = 0; i < a.xMarks.size(); ++i) {
        if (a.xMarks[i].x != b.xMarks[i].x || a.xMarks[i].text != b.xMarks[i].text)
            return false;
    }
    for (std::size_t i = 0; i < a.graphs.size(); ++i) {
        if (!SameGraph(*a.graphs[i], *b.graphs[i]))
            return false;
    }
    return true;
}

bool SameCharts(const ChartList& a, const ChartList& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (!SameChart(*a[i], *b[i]))
            return false;
    }
    return true;
}

std::string ChartFileText(const DocumentHeader& header, const ChartList& charts)
{
    json j;
    j["format"] = FormatName;
    j["version"] = FormatVersion;
    j["name"] = Latin1ToUtf8(header.name);
    j["id"] = Latin1ToUtf8(header.id);
    j["properties"] = json::object();
    for (const auto& [key, value] : header.properties)
        j["properties"][Latin1ToUtf8(key)] = Latin1ToUtf8(value);
    json list = json::array();
    for (const auto& chart : charts) {
        json graphs = json::array();
        for (const auto& graph : chart->graphs)
            graphs.push_back(GraphJson(*graph));
        json c{{"title", Latin1ToUtf8(chart->title)},
               {"xAxisTitle", Latin1ToUtf8(chart->xAxisTitle)},
               {"yAxisTitle", Latin1ToUtf8(chart->yAxisTitle)},
               {"autoScale", chart->autoScale},
               {"showLegend", chart->showLegend},
               {"graphs", std::move(graphs)}};
        // Only a chart with marks says so, so that files without any read as before.
        if (!chart->xMarks.empty()) {
            json marks = json::array();
            for (const AxisMark& mark : chart->xMarks)
                marks.push_back(json::array({mark.x, Latin1ToUtf8(mark.text)}));
            c["xMarks"] = std::move(marks);
        }
        list.push_back(std::move(c));
    }
    j["charts"] = std::move(list);
    return j.dump(2) + "\n";
}

void ReadChartFileText(const std::string& text, DocumentHeader& header, ChartList& charts)
{
    json j;
    try {
        j = json::parse(text);
    } catch (const json::exception& e) {
        throw ChartFileError("is not valid JSON (" + MessageText::Excerpt(e.what()) + ").");
    }
    if (!j.is_object())
        throw ChartFileError("must hold a JSON object.");
    const json* format = Member(j, "format");
    if (!format || !format->is_string() || format->get<std::string>() != FormatName)
        throw ChartFileError(std::string("is not a chart document (\"format\" must be \"") + FormatName + "\").");
    const json* version = Member(j, "version");
    if (!version || !version->is_number_integer() || version->get<long long>() < 1 ||
        version->get<long long>() > FormatVersion)
        throw ChartFileError("has a version this application cannot read.");

    DocumentHeader h;
    h.name = ReadText(j, "name", "The document");
    h.id = ReadText(j, "id", "The document");
    if (const json* properties = Member(j, "properties")) {
        if (!properties->is_object())
            throw ChartFileError("The document \"properties\" must be an object.");
        for (const auto& item : properties->items()) {
            if (!item.value().is_string())
                throw ChartFileError("The document property \"" + MessageText::Excerpt(item.key()) + "\" must be a text.");
            h.properties[Utf8ToLatin1(item.key())] = Utf8ToLatin1(item.value().get<std::string>());
        }
    }

    ChartList list;
    const json& array = RequireArray(j, "charts", "The document");
    for (std::size_t c = 0; c < array.size(); ++c) {
        const std::string where = "Chart " + std::to_string(c + 1);
        const json& cj = array[c];
        if (!cj.is_object())
            Bad(where, "must be an object.");
        auto chart = std::make_shared<ChartData>();
        chart->title = ReadText(cj, "title", where);
        chart->xAxisTitle = ReadText(cj, "xAxisTitle", where);
        chart->yAxisTitle = ReadText(cj, "yAxisTitle", where);
        chart->autoScale = ReadBool(cj, "autoScale", chart->autoScale, where);
        chart->showLegend = ReadBool(cj, "showLegend", chart->showLegend, where);
        const json& graphs = RequireArray(cj, "graphs", where);
        for (std::size_t g = 0; g < graphs.size(); ++g)
            chart->graphs.push_back(ReadGraph(graphs[g], where + " graph " + std::to_string(g + 1)));
        if (Member(cj, "xMarks"))
            chart->xMarks = ReadMarks(RequireArray(cj, "xMarks", where), where);
        list.push_back(std::move(chart));
    }
    header = std::move(h);
    charts = std::move(list);
}

void ReplaceFile(const std::string& path, const std::string& text)
{
    CReplaceFile file(path);
    if (!file.IsOpen())
        throw std::runtime_error("cannot open a file beside \"" + path + "\" for writing: " + file.Error());
    errno = 0;
    file.Stream() << text;
    if (!file.Commit())
        throw std::runtime_error("cannot write \"" + path + "\": " + file.Error());
}

void WriteChartFile(const std::string& path, const DocumentHeader& header, const ChartList& charts)
{
    try {
        ReplaceFile(path, ChartFileText(header, charts));
    } catch (const std::runtime_error& e) {
        throw ChartFileError("Unable to write the chart document \"" + path + "\": " + e.what());
    }
}

void ReadChartFile(const std::string& path, DocumentHeader& header, ChartList& charts)
{
    std::string text;
    std::string why;
    if (!RegularFile::ReadAll(path, text, why, RegularFile::Bound::Document))
        throw ChartFileError(RegularFile::Failure("Unable to open the chart document \"" + path + "\".", path, why));
    try {
        ReadChartFileText(text, header, charts);
    } catch (const ChartFileError& e) {
        throw ChartFileError("The chart document \"" + path + "\" " + e.what());
    }
}

} // namespace HostCharts

// Pictures of chart documents: every chart of a document drawn into one SVG
// file, one chart below the other, with its title (a line per "\n"), axis
// titles, graphs in their colours (0x00BBGGRR; 0 takes a colour of the
// renderer's own palette) and line styles, markers and the legend where the
// chart shows one. A point whose x or y is not finite breaks its graph's
// line. Tick values carry as many digits as tell neighbouring ticks apart.
// A chart with x-axis marks draws each as a dashed line named below
// the axis, which then shows no numbers. Texts are Latin-1 in the document
// and UTF-8 in the picture; a text longer than a picture can show (250
// characters, a title of more than six lines) is drawn shortened. The frame
// leaves room on its left for the longest tick label. The same document
// always gives the same file.
#pragma once

#include "host/charts/ChartFile.h"

#include <string>
#include <vector>

namespace HostCharts {

// Draws the charts into the SVG file at `path`, which is replaced whole
// (ReplaceFileContents). A document without charts gives a picture with one
// empty frame. Returns a warning for each text drawn shortened. Throws
// std::runtime_error naming the file when it cannot be written (a picture
// that was there stays as it was), and naming the chart, before the file is
// touched, when the span of its values is beyond the largest number (values
// near +-1e308 of both signs).
std::vector<std::string> WriteChartSvg(const ChartList& charts, const std::string& path);

} // namespace HostCharts

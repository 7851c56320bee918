#pragma once
// The driver's analysis commands, through the module's "ZelmAnalysis" logic
// on the host over a project:
//   results OUTPUT.gout [--project DIR] [--select CATEGORY=FILE]...
//       every result category of the output's folder with its results, its
//       selection and whether it has results, then each Can... answer;
//   analyse OUTPUT.gout energy | structure DOC.qsd | trajectory DOC.qsd | library
//       [--project DIR] [--select CATEGORY=FILE]...
//       runs the command and lists the project's files it made or changed;
//   chart DOC.qcd --svg OUT.svg
//       draws every chart of a chart document into an SVG picture.

namespace ZelmHost {

class CommandLine;

void AddAnalysisCommands(CommandLine& commandLine);

}  // namespace ZelmHost

// The line protocol between an engine command and the job manager. The
// engine runs in the job's server folder with its standard output read line
// by line; a line that begins with one of these words announces an
// intermediate result, which the job manager delivers to the job object at
// once. Every other line is the engine's own output and is passed over.
//
//   @intermediate-file NAME   NAME (a file of the server folder, by name or
//                             path) is complete and will not change again
//   @intermediate-data TEXT   TEXT (the rest of the line) is a data result
#pragma once

namespace QzHost::EngineProtocol {

inline constexpr const char* IntermediateFile = "@intermediate-file ";
inline constexpr const char* IntermediateData = "@intermediate-data ";

} // namespace QzHost::EngineProtocol

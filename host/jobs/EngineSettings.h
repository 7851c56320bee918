// A project's engine settings: the command that runs each server program's
// engine and the time limit of a run, kept in the project's
// "host-settings.json" ({"engines": {"ZELM": "..."}, "timeLimit": 600}).
#pragma once

#include <map>
#include <string>

namespace QzHost {

inline constexpr const char* EngineSettingsFile = "host-settings.json";

struct EngineSettings {
    std::map<std::string, std::string> commands; // by server program
    double timeLimitSeconds = 3600;               // <= 0: none
};

// The settings of the project folder (defaults when it has no file). Throws
// KelvResult naming the file when it is not such a settings file.
EngineSettings LoadEngineSettings(const std::string& projectFolder);
// Writes them; throws KelvResult when the file cannot be written.
void SaveEngineSettings(const std::string& projectFolder, const EngineSettings& settings);

} // namespace QzHost

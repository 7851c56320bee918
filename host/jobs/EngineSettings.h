// A project's engine settings: the command that runs each server program's
// engine and the time limit of a run, kept in the project's
// "host-settings.json" ({"engines": {"ZELM": "..."}, "timeLimit": 600}).
#pragma once

#include <functional>
#include <map>
#include <string>

namespace QzHost {

inline constexpr const char* EngineSettingsFile = "host-settings.json";

struct EngineSettings {
    std::map<std::string, std::string> commands; // by server program
    double timeLimitSeconds = 3600;               // <= 0: none
};

// The longest time limit, in seconds (about 31 years): the run's deadline is
// kept on the system clock in nanoseconds, a signed 64-bit count that a
// longer limit would overflow.
inline constexpr double MaxTimeLimitSeconds = 1e9;
inline constexpr const char* MaxTimeLimitText = "1000000000";

// Whether a time limit can be kept: a finite number of at most
// MaxTimeLimitSeconds (0 or less: no limit).
bool IsUsableTimeLimit(double seconds);

// The settings of the project folder (defaults when it has no file). Throws
// KelvResult naming the file, and how to reset it, when it is not such a
// settings file.
EngineSettings LoadEngineSettings(const std::string& projectFolder);
// Writes them whole; throws KelvResult naming the file and the reason when
// it cannot be written (the old file then stays as it was).
void SaveEngineSettings(const std::string& projectFolder, const EngineSettings& settings);

// Changes the settings as one read-modify-write under the project's lock
// (ProjectLock): the file is read, `change` edits the settings and they are
// written back, so that concurrent changes never lose each other's values.
// With `resetDamaged`, a file that cannot be read counts as the defaults
// (so that it can be cleared). Returns the settings written.
EngineSettings UpdateEngineSettings(const std::string& projectFolder,
                                    const std::function<void(EngineSettings&)>& change, bool resetDamaged = false);

// Engine commands run only where the user chose them: a command that comes
// with a project's settings (a project received from someone else) runs
// once it was set or accepted on this machine. The accepted commands are the
// user's own, kept outside every project in "accepted-engines.json" of the
// user's settings folder ($QZ_USER_SETTINGS, else $XDG_CONFIG_HOME/qorzelm,
// else ~/.config/qorzelm), by project folder (resolved) and server program.
std::string AcceptedEnginesPath();
// Whether `command` is the accepted command of the server program in the
// project folder. A file that is there and cannot be read (not JSON, not an
// object, unreadable) throws KelvResult naming it and why.
bool IsEngineAccepted(const std::string& projectFolder, const std::string& server, const std::string& command);
// Records `command` as accepted (an empty command removes the entry).
// Throws KelvResult naming the file when it cannot be read (it is then left
// as it is) or written.
void AcceptEngine(const std::string& projectFolder, const std::string& server, const std::string& command);

} // namespace QzHost

#include "host/jobs/EngineSettings.h"

#include "com/regularfile.h"

#include "host/managers/HostCall.h"
#include "host/state/ProjectLock.h"

#include "qorqm/MessageText.h"
#include "qorqm/PathUtilities.h"
#include "qorqm/ReplaceFile.h"

#include <nlohmann/json.hpp>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace QzHost {

namespace {

std::string SettingsPath(const std::string& projectFolder)
{
    return PathUtilities::Join(PathUtilities::ToNative(projectFolder), EngineSettingsFile);
}

// Settings in a regular file can be reset; anything else standing there (a
// folder, a FIFO, a device) is the user's to move away first.
bool CanBeReset(const std::string& path)
{
    std::error_code error;
    return std::filesystem::is_regular_file(path, error);
}

[[noreturn]] void Unreadable(const std::string& path, const std::string& reason)
{
    Fail(E_INVALIDARG, "The engine settings \"" + MessageText::Excerpt(path, 1000) + "\" cannot be read: " +
                           MessageText::Excerpt(reason) +
                           (CanBeReset(path) ? " (reset them with \"zelm-host engine --clear\", or delete the file)."
                                             : " (it is no settings file: move it out of the way, then set the "
                                               "engine again with \"zelm-host engine\")."));
}

} // namespace

bool IsUsableTimeLimit(double seconds)
{
    return std::isfinite(seconds) && seconds <= MaxTimeLimitSeconds;
}

EngineSettings LoadEngineSettings(const std::string& projectFolder)
{
    EngineSettings settings;
    const std::string path = SettingsPath(projectFolder);
    std::string text;
    std::string why;
    if (!RegularFile::ReadAll(path, text, why, RegularFile::Bound::Settings)) {
        if (why == RegularFile::NotThere)
            return settings;
        Unreadable(path, "it " + why);
    }
    try {
        const nlohmann::json j = nlohmann::json::parse(text);
        if (!j.is_object())
            Unreadable(path, "it does not hold an object");
        if (j.contains("engines")) {
            const nlohmann::json& engines = j.at("engines");
            if (!engines.is_object())
                Unreadable(path, "\"engines\" is not an object of commands");
            for (auto it = engines.begin(); it != engines.end(); ++it) {
                if (!it.value().is_string())
                    Unreadable(path, "the command of \"" + it.key() + "\" is not a text");
                settings.commands[it.key()] = it.value().get<std::string>();
            }
        }
        if (j.contains("timeLimit")) {
            const nlohmann::json& limit = j.at("timeLimit");
            if (!limit.is_number() || !IsUsableTimeLimit(limit.get<double>()))
                Unreadable(path, std::string("\"timeLimit\" is not a number of seconds of at most ") +
                                     MaxTimeLimitText);
            settings.timeLimitSeconds = limit.get<double>();
        }
    } catch (const nlohmann::json::exception& e) {
        Unreadable(path, e.what());
    }
    return settings;
}

void SaveEngineSettings(const std::string& projectFolder, const EngineSettings& settings)
{
    const std::string path = SettingsPath(projectFolder);
    if (!IsUsableTimeLimit(settings.timeLimitSeconds))
        Fail(E_INVALIDARG, "The time limit of the engine settings \"" + path +
                               "\" must be a finite number of seconds of at most " + MaxTimeLimitText + ".");
    nlohmann::json j;
    j["engines"] = settings.commands;
    j["timeLimit"] = settings.timeLimitSeconds;
    std::string why;
    if (!ReplaceFileContents(path, j.dump(2) + "\n", &why, PathUtilities::ToNative(projectFolder)))
        Fail(HRESULT_FROM_WIN32(ERROR_CANTWRITE), "The engine settings \"" + path + "\" cannot be written: " + why + ".");
}

EngineSettings UpdateEngineSettings(const std::string& projectFolder,
                                    const std::function<void(EngineSettings&)>& change, bool resetDamaged)
{
    ProjectLock lock(projectFolder);
    EngineSettings settings;
    try {
        settings = LoadEngineSettings(projectFolder);
    } catch (const KelvResult&) {
        if (!resetDamaged || !CanBeReset(SettingsPath(projectFolder)))
            throw;
        settings = EngineSettings();
    }
    change(settings);
    SaveEngineSettings(projectFolder, settings);
    return settings;
}

namespace {

std::string ProjectKey(const std::string& projectFolder)
{
    std::error_code error;
    const std::filesystem::path resolved =
        std::filesystem::weakly_canonical(std::filesystem::absolute(PathUtilities::ToNative(projectFolder)), error);
    return error ? PathUtilities::ToNative(projectFolder) : resolved.string();
}

// The user's accepted commands; none while the file is not there. A file
// that is there and cannot be read is refused, naming it and why: it holds
// the user's earlier acceptances, which a new one must not write over.
nlohmann::json ReadAccepted(const std::string& path)
{
    const auto unreadable = [&](const std::string& why) {
        Fail(E_INVALIDARG, "The accepted engine commands \"" + MessageText::Excerpt(path) + "\" cannot be read: " +
                               MessageText::Excerpt(why) + " (mend or delete the file; it is not replaced).");
    };
    std::string text;
    std::string why;
    if (!RegularFile::ReadAll(path, text, why, RegularFile::Bound::Settings)) {
        if (why == RegularFile::NotThere)
            return nlohmann::json::object();
        unreadable("it " + why);
    }
    const nlohmann::json j = nlohmann::json::parse(text, nullptr, false);
    if (j.is_discarded())
        unreadable("it is not JSON");
    if (!j.is_object())
        unreadable("it does not hold an object of project folders");
    return j;
}

} // namespace

std::string AcceptedEnginesPath()
{
    std::string folder;
    if (const char* own = std::getenv("QZ_USER_SETTINGS"); own && *own)
        folder = own;
    else if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config)
        folder = std::string(config) + "/qorzelm";
    else if (const char* home = std::getenv("HOME"); home && *home)
        folder = std::string(home) + "/.config/qorzelm";
    else
        folder = ".qorzelm";
    return PathUtilities::Join(folder, "accepted-engines.json");
}

bool IsEngineAccepted(const std::string& projectFolder, const std::string& server, const std::string& command)
{
    const nlohmann::json accepted = ReadAccepted(AcceptedEnginesPath());
    const auto project = accepted.find(ProjectKey(projectFolder));
    if (project == accepted.end() || !project->is_object())
        return false;
    const auto entry = project->find(server);
    return entry != project->end() && entry->is_string() && entry->get<std::string>() == command;
}

void AcceptEngine(const std::string& projectFolder, const std::string& server, const std::string& command)
{
    const std::string path = AcceptedEnginesPath();
    std::error_code error;
    const std::string folder = std::filesystem::path(path).parent_path().string();
    std::filesystem::create_directories(folder, error);
    // One read-modify-write at a time, as for a project's own files.
    ProjectLock lock(folder.empty() ? std::string(".") : folder, "user settings folder");
    nlohmann::json accepted = ReadAccepted(path);
    const std::string key = ProjectKey(projectFolder);
    if (command.empty()) {
        if (accepted.contains(key) && accepted[key].is_object())
            accepted[key].erase(server);
    } else {
        if (!accepted[key].is_object())
            accepted[key] = nlohmann::json::object();
        accepted[key][server] = command;
    }
    std::string why;
    if (!ReplaceFileContents(path, accepted.dump(2) + "\n", &why))
        Fail(HRESULT_FROM_WIN32(ERROR_CANTWRITE), "The accepted engine commands \"" + MessageText::Excerpt(path) +
                                                     "\" cannot be written: " +
                                                     (why.empty() ? std::string("the write failed") : why) + ".");
}

} // namespace QzHost

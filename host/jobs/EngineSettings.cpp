#include "host/jobs/EngineSettings.h"

#include "host/managers/HostCall.h"
#include "host/state/ProjectLock.h"

#include "qorqm/MessageText.h"
#include "qorqm/PathUtilities.h"
#include "qorqm/ReplaceFile.h"

#include <nlohmann/json.hpp>

#include <cerrno>
#include <cmath>
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

[[noreturn]] void Unreadable(const std::string& path, const std::string& reason)
{
    Fail(E_INVALIDARG, "The engine settings \"" + path + "\" cannot be read: " + MessageText::Excerpt(reason) +
                           " (reset them with \"zelm-host engine --clear\", or delete the file).");
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
    std::error_code error;
    if (!std::filesystem::exists(path, error))
        return settings;
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    if (!in || in.bad())
        Unreadable(path, std::strerror(errno));
    try {
        const nlohmann::json j = nlohmann::json::parse(text.str());
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
    if (!ReplaceFileContents(path, j.dump(2) + "\n", &why))
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
        if (!resetDamaged)
            throw;
        settings = EngineSettings();
    }
    change(settings);
    SaveEngineSettings(projectFolder, settings);
    return settings;
}

} // namespace QzHost

#include "host/jobs/EngineSettings.h"

#include "host/managers/HostCall.h"

#include "qorqm/PathUtilities.h"

#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>

namespace QzHost {

EngineSettings LoadEngineSettings(const std::string& projectFolder)
{
    EngineSettings settings;
    const std::string path = PathUtilities::Join(PathUtilities::ToNative(projectFolder), EngineSettingsFile);
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error))
        return settings;
    try {
        std::ifstream in(path);
        const nlohmann::json j = nlohmann::json::parse(in);
        if (j.contains("engines")) {
            const nlohmann::json& engines = j.at("engines");
            for (auto it = engines.begin(); it != engines.end(); ++it)
                settings.commands[it.key()] = it.value().get<std::string>();
        }
        settings.timeLimitSeconds = j.value("timeLimit", settings.timeLimitSeconds);
    } catch (const nlohmann::json::exception& e) {
        Fail(E_INVALIDARG, "The engine settings \"" + path + "\" cannot be read: " + e.what());
    }
    return settings;
}

void SaveEngineSettings(const std::string& projectFolder, const EngineSettings& settings)
{
    const std::string path = PathUtilities::Join(PathUtilities::ToNative(projectFolder), EngineSettingsFile);
    nlohmann::json j;
    j["engines"] = settings.commands;
    j["timeLimit"] = settings.timeLimitSeconds;
    std::ofstream out(path, std::ios::trunc);
    out << j.dump(2) << "\n";
    if (!out)
        Fail(HRESULT_FROM_WIN32(ERROR_CANTWRITE), "The engine settings \"" + path + "\" cannot be written.");
}

} // namespace QzHost

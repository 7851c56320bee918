#pragma once
// The driver's job commands: the structure checks and the export and start
// queries (`check`), writing a job's input files (`export`), running a
// calculation (`run`) and starting a saved deck (`start`), each through the
// module's "ZelmLogic" logic as the host's user interface calls it.

#include <optional>
#include <string>

namespace CLI {
class App;
}

namespace ZelmHost {

// Adds the four commands to the application; Run dispatches the parsed one.
class JobCommands {
public:
    explicit JobCommands(CLI::App& app);
    // The exit code of the command that was parsed; none when it was another.
    std::optional<int> Run(bool printLog) const;

private:
    struct Arguments {
        std::string document;
        std::string project;
        std::string task;
        bool makeP1 = false;
    };
    CLI::App* m_check = nullptr;
    CLI::App* m_export = nullptr;
    CLI::App* m_run = nullptr;
    CLI::App* m_start = nullptr;
    Arguments m_checkArguments;
    Arguments m_exportArguments;
    Arguments m_runArguments;
    Arguments m_startArguments;
};

}  // namespace ZelmHost

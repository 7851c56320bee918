#pragma once
// The driver's trajectory commands:
//   trg FILE [--cell] [--module LIB]   reads an engine binary trajectory
//       through the module's two exported functions, loaded with dlopen and
//       dlsym as any other program calls them, and prints its frames;
//   update-structure, import-result and trajectory (ResultCommands.h);
// and the trajectory part of `show` for a ".qtd" document.

#include <iosfwd>
#include <optional>
#include <string>

#include <CLI/CLI.hpp>

namespace HostModel {
class Document;
}

namespace ZelmHost {

class TrajectoryCommands {
public:
    // Adds the commands to the driver.
    explicit TrajectoryCommands(CLI::App& app);
    // The exit code when one of these commands was given on the command line;
    // with printLog the host's operation log follows.
    std::optional<int> Run(bool printLog, std::ostream& out, std::ostream& err) const;

private:
    CLI::App* m_trg = nullptr;
    std::string m_file;
    bool m_cell = false;
    std::string m_module;
    CLI::App* m_update = nullptr;
    CLI::App* m_import = nullptr;
    CLI::App* m_trajectory = nullptr;
    std::string m_document;
    std::string m_archive;
    bool m_surface = false;
    std::string m_base;
    std::string m_kind;
};

// Reads FILE through the module's exports and prints it; throws with a clear
// message when the module or the file cannot be read.
void ReadTrajectoryFile(const std::string& modulePath, const std::string& file, bool cell, std::ostream& out);

// Prints the frames of a trajectory document (nothing for a document
// without frames).
void ShowTrajectory(const HostModel::Document& document, std::ostream& out);

}  // namespace ZelmHost

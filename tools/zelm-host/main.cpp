// zelm-host: a command-line host application for the QorZelm module. It
// loads the module as the host does and drives it, and plays the host's own
// part over a project folder: documents, logic states and the operation log.

#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "HostCommands.h"
#include "ModuleCommands.h"
#include "ReadCommands.h"

int main(int argc, char** argv)
{
    CLI::App app{"zelm-host: drives the QorZelm module as its host application does"};
    app.require_subcommand(1);

    std::string registry;
    app.add_option("--registry", registry, "Class registry file (default: $QZ_REGISTRY_FILE or the user's)");
    bool printLog = false;
    app.add_flag("--log", printLog, "After a host command, print the operation log of the host calls it made");

    std::string modulePath = ZelmHost::DefaultModulePath();
    CLI::App* reg = app.add_subcommand("register", "Load the module and register its classes");
    reg->add_option("module", modulePath, "Path of libQorZelm.so");
    CLI::App* unreg = app.add_subcommand("unregister", "Load the module and remove its classes from the registry");
    unreg->add_option("module", modulePath, "Path of libQorZelm.so");
    CLI::App* classes = app.add_subcommand("classes", "List the registered classes");
    std::vector<std::string> progIds;
    CLI::App* create = app.add_subcommand("create", "Create registered classes through their class factories");
    create->add_option("progid", progIds, "ProgIDs to create (default: every registered class)");

    // Host commands; --log and --registry may also follow the command's own
    // arguments.
    std::string projectFolder;
    CLI::App* project = app.add_subcommand("project", "Create a project folder with the host's default state");
    project->add_option("dir", projectFolder, "The project folder")->required();
    project->fallthrough();

    std::string cifPath;
    std::string importProject = ".";
    std::string documentName;
    CLI::App* import = app.add_subcommand("import", "Import a CIF file into a structure document (.qsd) of a project");
    import->add_option("cif", cifPath, "The CIF file")->required();
    import->add_option("--project", importProject, "The project folder (default: the current folder)");
    import->add_option("--name", documentName, "Name of the new document (default: the CIF file's name)");
    import->fallthrough();

    std::string documentPath;
    std::string showProject;
    CLI::App* show = app.add_subcommand("show", "Show a structure document: lattice, symmetry, atoms and sets");
    show->add_option("document", documentPath, "The .qsd document")->required();
    show->add_option("--project", showProject, "The project folder (default: the document's folder)");
    show->fallthrough();

    std::string stateProject = ".";
    std::string logic;
    std::string stateKey;
    std::string stateValue;
    CLI::App* state = app.add_subcommand("state", "Show a logic's state values, one value, or set one");
    state->add_option("--project", stateProject, "The project folder (default: the current folder)");
    state->add_option("logic", logic, "The logic, e.g. ZelmLogic")->required();
    CLI::Option* keyOption = state->add_option("key", stateKey, "The state key to show or set");
    CLI::Option* valueOption =
        state->add_option("value", stateValue, "The value to set (an array as a list: \"[1, 2]\")");
    state->fallthrough();

    ZelmHost::ReadOptions readOptions;
    CLI::App* read = ZelmHost::AddReadCommand(app, readOptions);

    CLI11_PARSE(app, argc, argv);
    if (!registry.empty()) {
        setenv("QZ_REGISTRY_FILE", registry.c_str(), 1);
    }

    if (reg->parsed()) {
        return ZelmHost::RegisterModule(modulePath, std::cout);
    }
    if (unreg->parsed()) {
        return ZelmHost::UnregisterModule(modulePath, std::cout);
    }
    if (create->parsed()) {
        return ZelmHost::CreateClasses(progIds, std::cout);
    }
    if (classes->parsed()) {
        return ZelmHost::ListClasses(std::cout);
    }
    if (read->parsed()) {
        return ZelmHost::ReadResults(readOptions, std::cout, std::cerr);
    }
    auto run = [&](auto&& command) { return ZelmHost::RunHostCommand(command, printLog, std::cout, std::cerr); };
    if (project->parsed()) {
        return run([&] { ZelmHost::CreateProject(projectFolder, std::cout); });
    }
    if (import->parsed()) {
        return run([&] { ZelmHost::ImportCif(cifPath, importProject, documentName, std::cout); });
    }
    if (show->parsed()) {
        return run([&] { ZelmHost::ShowDocument(documentPath, showProject, std::cout); });
    }
    std::optional<std::string> key;
    std::optional<std::string> value;
    if (keyOption->count() > 0) {
        key = stateKey;
    }
    if (valueOption->count() > 0) {
        value = stateValue;
    }
    return run([&] { ZelmHost::StateCommand(stateProject, logic, key, value, std::cout); });
}

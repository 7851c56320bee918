// zelm-host: a command-line host application for the QorZelm module. It
// loads the module as the host does and drives it.

#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "ModuleCommands.h"

int main(int argc, char** argv)
{
    CLI::App app{"zelm-host: drives the QorZelm module as its host application does"};
    app.require_subcommand(1);

    std::string registry;
    app.add_option("--registry", registry, "Class registry file (default: $QZ_REGISTRY_FILE or the user's)");

    std::string modulePath = ZelmHost::DefaultModulePath();
    CLI::App* reg = app.add_subcommand("register", "Load the module and register its classes");
    reg->add_option("module", modulePath, "Path of libQorZelm.so");
    CLI::App* unreg = app.add_subcommand("unregister", "Load the module and remove its classes from the registry");
    unreg->add_option("module", modulePath, "Path of libQorZelm.so");
    app.add_subcommand("classes", "List the registered classes");
    std::vector<std::string> progIds;
    CLI::App* create = app.add_subcommand("create", "Create registered classes through their class factories");
    create->add_option("progid", progIds, "ProgIDs to create (default: every registered class)");

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
    return ZelmHost::ListClasses(std::cout);
}

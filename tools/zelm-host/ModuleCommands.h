#pragma once
// The driver's module commands: load the module as the host does, register
// and unregister it, list the registered classes and create each of them.

#include <iosfwd>
#include <string>
#include <vector>

namespace ZelmHost {

class CommandLine;

// Adds the module commands: register, unregister, classes, create.
void AddModuleCommands(CommandLine& commandLine);

// The module beside the driver: <prefix>/lib/libQorZelm.so for <prefix>/bin.
std::string DefaultModulePath();

// Each returns the process exit code, prints its outcome to `out` and each
// failure as "zelm-host: <reason>" to `err`. ListClasses fails on a registry file it cannot read.
int RegisterModule(const std::string& modulePath, std::ostream& out, std::ostream& err);
int UnregisterModule(const std::string& modulePath, std::ostream& out, std::ostream& err);
// Lists the registered classes; a class whose factory answers that this
// build does not contain it yet is marked "(not in this build)".
int ListClasses(std::ostream& out, std::ostream& err);
// Creates the registered classes named by ProgID, or all of them, through
// their class factories. A name no registered class has and a class not
// created are failures (exit code 1); the other classes are still created.
int CreateClasses(const std::vector<std::string>& progIds, std::ostream& out, std::ostream& err);

}  // namespace ZelmHost

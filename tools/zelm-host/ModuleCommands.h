#pragma once
// The driver's module commands: load the module as the host does, register
// and unregister it, list the registered classes and create each of them.

#include <iosfwd>
#include <string>
#include <vector>

namespace ZelmHost {

// The module beside the driver: <prefix>/lib/libQorZelm.so for <prefix>/bin.
std::string DefaultModulePath();

// Each returns the process exit code and prints its outcome to `out`.
int RegisterModule(const std::string& modulePath, std::ostream& out);
int UnregisterModule(const std::string& modulePath, std::ostream& out);
int ListClasses(std::ostream& out);
// Creates the registered classes named by ProgID, or all of them, through
// their class factories.
int CreateClasses(const std::vector<std::string>& progIds, std::ostream& out);

}  // namespace ZelmHost

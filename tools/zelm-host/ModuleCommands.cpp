#include "ModuleCommands.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <iomanip>
#include <iostream>
#include <memory>
#include <sstream>

#include "DriverSupport.h"
#include "CommandLine.h"
#include "com/com.h"
#include "kelv/kelv.h"

namespace ZelmHost {
namespace {

using EntryPoint = HRESULT (*)();

std::string HexCode(HRESULT hr)
{
    std::ostringstream text;
    text << "0x" << std::hex << std::setw(8) << std::setfill('0') << static_cast<uint32_t>(hr);
    return text.str();
}

// Calls one exported entry point of the module, loaded as the host loads it.
int CallEntryPoint(const std::string& modulePath, const char* name, const char* done, std::ostream& out,
                   std::ostream& err)
{
    void* module = dlopen(modulePath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
        // The loader's text names the file already.
        err << "zelm-host: cannot load the module: " << dlerror() << "\n";
        return 1;
    }
    auto entry = reinterpret_cast<EntryPoint>(dlsym(module, name));
    if (entry == nullptr) {
        err << "zelm-host: " << modulePath << " does not export " << name << "\n";
        return 1;
    }
    const HRESULT hr = entry();
    if (FAILED(hr)) {
        err << "zelm-host: " << name << " failed (" << HexCode(hr) << "): " << ErrorText(hr) << "\n";
        return 1;
    }
    out << done << " " << modulePath << "\n";
    return 0;
}

struct Created {
    HRESULT hr = S_OK;
    std::string reason;  // when not created
};

// Creates one instance of a registered class through its class factory, as
// the host does, and releases it.
Created CreateThroughFactory(const ComRegistry::ClassEntry& entry)
{
    IClassFactory* factory = nullptr;
    HRESULT hr =
        CoGetClassObject(entry.clsid, CLSCTX_SERVER, nullptr, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    IUnknown* object = nullptr;
    if (SUCCEEDED(hr)) {
        hr = factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&object));
        factory->Release();
    }
    Created created;
    if (SUCCEEDED(hr) && object != nullptr) {
        object->Release();
        // Whatever the factory reported on the way is no longer pending.
        created.hr = S_OK;
        SetErrorInfo(0, nullptr);
        return created;
    }
    created.hr = FAILED(hr) ? hr : E_POINTER;
    created.reason = ErrorText(created.hr);
    return created;
}

}  // namespace

std::string DefaultModulePath()
{
    char buffer[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    std::string exe = length > 0 ? std::string(buffer, static_cast<size_t>(length)) : std::string("./zelm-host");
    std::string bin = exe.substr(0, exe.find_last_of('/'));
    std::string prefix = bin.substr(0, bin.find_last_of('/'));
    return prefix + "/lib/libQorZelm.so";
}

int RegisterModule(const std::string& modulePath, std::ostream& out, std::ostream& err)
{
    return CallEntryPoint(modulePath, "DllRegisterServer", "registered", out, err);
}

int UnregisterModule(const std::string& modulePath, std::ostream& out, std::ostream& err)
{
    return CallEntryPoint(modulePath, "DllUnregisterServer", "unregistered", out, err);
}

int ListClasses(std::ostream& out, std::ostream& err)
{
    // A registry that cannot be read is no empty registry.
    const HRESULT readable = ComRegistry::CheckFile();
    if (FAILED(readable)) {
        err << "zelm-host: " << ErrorText(readable) << "\n";
        return 1;
    }
    const std::vector<ComRegistry::ClassEntry> classes = ComRegistry::Classes();
    out << classes.size() << " registered classes in " << ComRegistry::FilePath() << "\n";
    for (const ComRegistry::ClassEntry& entry : classes) {
        out << GuidToString(entry.clsid) << "  " << entry.progId << "  " << entry.versionedProgId << "  \""
            << entry.description << "\"  " << entry.modulePath;
        if (CreateThroughFactory(entry).hr == CLASS_E_CLASSNOTAVAILABLE) {
            out << "  (not in this build)";
        }
        out << "\n";
    }
    return 0;
}

int CreateClasses(const std::vector<std::string>& progIds, std::ostream& out, std::ostream& err)
{
    const std::vector<ComRegistry::ClassEntry> registered = ComRegistry::Classes();
    std::vector<ComRegistry::ClassEntry> targets;
    for (const ComRegistry::ClassEntry& entry : registered) {
        bool wanted = progIds.empty();
        for (const std::string& name : progIds) {
            wanted = wanted || name == entry.progId || name == entry.versionedProgId;
        }
        if (wanted) {
            targets.push_back(entry);
        }
    }
    int failures = 0;
    for (const std::string& name : progIds) {
        bool known = false;
        for (const ComRegistry::ClassEntry& entry : registered) {
            known = known || name == entry.progId || name == entry.versionedProgId;
        }
        if (!known) {
            err << "zelm-host: no registered class has the ProgID \"" << name << "\" (registry "
                << ComRegistry::FilePath() << ")\n";
            ++failures;
        }
    }
    if (progIds.empty() && targets.empty()) {
        err << "zelm-host: no registered class to create (registry " << ComRegistry::FilePath() << ")\n";
        return 1;
    }
    size_t made = 0;
    for (const ComRegistry::ClassEntry& entry : targets) {
        const Created created = CreateThroughFactory(entry);
        if (created.hr == S_OK) {
            out << entry.progId << ": created\n";
            ++made;
        } else {
            err << "zelm-host: " << entry.progId << ": not created (" << HexCode(created.hr) << "): " << created.reason
                << "\n";
            ++failures;
        }
    }
    if (!targets.empty()) {
        out << made << " of " << targets.size() << " classes created\n";
    }
    return failures == 0 ? 0 : 1;
}

void AddModuleCommands(CommandLine& commandLine)
{
    auto modulePath = std::make_shared<std::string>(DefaultModulePath());
    CLI::App* reg = commandLine.Add("register", "Load the module and register its classes",
                                    [modulePath] { return RegisterModule(*modulePath, std::cout, std::cerr); });
    reg->add_option("module", *modulePath, "Path of libQorZelm.so");
    CLI::App* unreg =
        commandLine.Add("unregister", "Load the module and remove its classes from the registry",
                        [modulePath] { return UnregisterModule(*modulePath, std::cout, std::cerr); });
    unreg->add_option("module", *modulePath, "Path of libQorZelm.so");
    commandLine.Add("classes", "List the registered classes, marking those not in this build",
                    [] { return ListClasses(std::cout, std::cerr); });
    auto progIds = std::make_shared<std::vector<std::string>>();
    CLI::App* create =
        commandLine.Add("create", "Create registered classes through their class factories",
                        [progIds] { return CreateClasses(*progIds, std::cout, std::cerr); });
    create->add_option("progid", *progIds, "ProgIDs to create (default: every registered class)");
}

}  // namespace ZelmHost

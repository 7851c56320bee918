#include "ModuleCommands.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <iomanip>
#include <ostream>
#include <sstream>

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

// The pending error information of this thread, or the code's standard text.
std::string ErrorText(HRESULT hr)
{
    IErrorInfo* info = nullptr;
    std::string text;
    if (GetErrorInfo(0, &info) == S_OK && info != nullptr) {
        BSTR description = nullptr;
        if (SUCCEEDED(info->GetDescription(&description))) {
            text = NarrowFromBSTR(description);
        }
        SysFreeString(description);
        info->Release();
    }
    return text.empty() ? HResultDescription(hr) : text;
}

// Calls one exported entry point of the module, loaded as the host loads it.
int CallEntryPoint(const std::string& modulePath, const char* name, const char* done, std::ostream& out)
{
    void* module = dlopen(modulePath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
        out << "cannot load " << modulePath << ": " << dlerror() << "\n";
        return 1;
    }
    auto entry = reinterpret_cast<EntryPoint>(dlsym(module, name));
    if (entry == nullptr) {
        out << modulePath << " does not export " << name << "\n";
        return 1;
    }
    const HRESULT hr = entry();
    if (FAILED(hr)) {
        out << name << " failed (" << HexCode(hr) << "): " << ErrorText(hr) << "\n";
        return 1;
    }
    out << done << " " << modulePath << "\n";
    return 0;
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

int RegisterModule(const std::string& modulePath, std::ostream& out)
{
    return CallEntryPoint(modulePath, "DllRegisterServer", "registered", out);
}

int UnregisterModule(const std::string& modulePath, std::ostream& out)
{
    return CallEntryPoint(modulePath, "DllUnregisterServer", "unregistered", out);
}

int ListClasses(std::ostream& out)
{
    const std::vector<ComRegistry::ClassEntry> classes = ComRegistry::Classes();
    out << classes.size() << " registered classes in " << ComRegistry::FilePath() << "\n";
    for (const ComRegistry::ClassEntry& entry : classes) {
        out << GuidToString(entry.clsid) << "  " << entry.progId << "  " << entry.versionedProgId << "  \""
            << entry.description << "\"  " << entry.modulePath << "\n";
    }
    return 0;
}

int CreateClasses(const std::vector<std::string>& progIds, std::ostream& out)
{
    std::vector<ComRegistry::ClassEntry> targets;
    for (const ComRegistry::ClassEntry& entry : ComRegistry::Classes()) {
        bool wanted = progIds.empty();
        for (const std::string& name : progIds) {
            wanted = wanted || name == entry.progId || name == entry.versionedProgId;
        }
        if (wanted) {
            targets.push_back(entry);
        }
    }
    if (targets.empty()) {
        out << "no registered class to create\n";
        return 1;
    }
    int failures = 0;
    for (const ComRegistry::ClassEntry& entry : targets) {
        IClassFactory* factory = nullptr;
        HRESULT hr = CoGetClassObject(entry.clsid, CLSCTX_SERVER, nullptr, IID_IClassFactory,
                                      reinterpret_cast<void**>(&factory));
        IUnknown* object = nullptr;
        if (SUCCEEDED(hr)) {
            hr = factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&object));
            factory->Release();
        }
        if (SUCCEEDED(hr) && object != nullptr) {
            out << entry.progId << ": created\n";
            object->Release();
        } else {
            out << entry.progId << ": not created (" << HexCode(hr) << "): " << ErrorText(hr) << "\n";
            ++failures;
        }
    }
    out << (targets.size() - static_cast<size_t>(failures)) << " of " << targets.size() << " classes created\n";
    return 0;
}

}  // namespace ZelmHost

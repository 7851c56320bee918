#include "com/registry.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>

#include <nlohmann/json.hpp>

#include "com/bstr.h"
#include "com/errorinfo.h"
#include "com/lockwait.h"
#include "com/regularfile.h"
#include "com/runtime.h"

namespace
{
using ComRegistry::ClassEntry;
using Json = nlohmann::json;
using ClassMap = std::map<CLSID, ClassEntry>;

const HRESULT kCorrupt = HRESULT_FROM_WIN32(ERROR_BADDB);
const HRESULT kCannotWrite = HRESULT_FROM_WIN32(ERROR_CANTWRITE);

// Publishes an error object for the calling thread and returns hr.
HRESULT Fail(HRESULT hr, const std::string& message)
{
    ICreateErrorInfo* create = nullptr;
    if (SUCCEEDED(CreateErrorInfo(&create)))
    {
        std::u16string description = WideFromNarrow(message);
        std::u16string source = u"ComRuntime";
        create->SetDescription(description.data());
        create->SetSource(source.data());
        create->SetGUID(GUID_NULL);
        IErrorInfo* info = nullptr;
        if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info))))
        {
            SetErrorInfo(0, info);
            info->Release();
        }
        create->Release();
    }
    return hr;
}

// Narrow texts are Latin-1; the file holds UTF-8. Both conversions are
// lossless for every byte string, so any path or description round-trips.
std::string Utf8FromLatin1(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text)
    {
        if (c < 0x80)
            out += static_cast<char>(c);
        else
        {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::string Latin1FromUtf8(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size();)
    {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        uint32_t cp = 0;
        size_t len = 1;
        if (c < 0x80) cp = c;
        else if ((c & 0xE0) == 0xC0) { cp = c & 0x1F; len = 2; }
        else if ((c & 0xF0) == 0xE0) { cp = c & 0x0F; len = 3; }
        else { cp = c & 0x07; len = 4; }
        for (size_t k = 1; k < len && i + k < text.size(); ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        out += cp <= 0xFF ? static_cast<char>(cp) : '?';
        i += len;
    }
    return out;
}

std::string HomeFolder()
{
    if (const char* home = std::getenv("HOME"); home && *home)
        return home;
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir)
        return pw->pw_dir;
    return ".";
}

std::mutex& RegistryMutex()
{
    static std::mutex m;
    return m;
}

struct InProcessClass
{
    DWORD cookie;
    CLSID clsid;
    IUnknown* factory;
};

// Guarded by RegistryMutex().
std::vector<InProcessClass>& InProcessClasses()
{
    static std::vector<InProcessClass> v;
    return v;
}
std::map<std::string, CLSID>& InProcessProgIds()
{
    static std::map<std::string, CLSID> m;
    return m;
}
DWORD g_nextCookie = 1;

// Reads the registry file. A missing or blank file is an empty registry.
HRESULT LoadFile(const std::string& path, ClassMap& classes, bool reportErrors)
{
    classes.clear();
    std::string text;
    std::string why;
    if (!RegularFile::ReadAll(path, text, why, RegularFile::Bound::Settings))
    {
        if (why == RegularFile::NotThere)
            return S_OK;
        return reportErrors ? Fail(E_ACCESSDENIED, "Cannot read the class registry '" + path + "': it " + why + ".")
                            : E_ACCESSDENIED;
    }
    if (text.find_first_not_of(" \t\r\n") == std::string::npos)
        return S_OK;

    auto corrupt = [&](const std::string& why) {
        classes.clear();
        return reportErrors ? Fail(kCorrupt, "The class registry '" + path + "' is corrupt: " + why) : kCorrupt;
    };
    Json doc;
    try
    {
        doc = Json::parse(text);
    }
    catch (const Json::parse_error& e)
    {
        // The parser's own message repeats the file's text: only where.
        return corrupt("it is not valid JSON (at byte " + std::to_string(e.byte) + ")");
    }
    catch (const Json::exception&)
    {
        return corrupt("it is not valid JSON");
    }
    if (!doc.is_object() || !doc.contains("classes") || !doc["classes"].is_array())
        return corrupt("no \"classes\" list");
    for (const Json& item : doc["classes"])
    {
        if (!item.is_object())
            return corrupt("a class entry is not an object");
        auto text_of = [&](const char* key, std::string& out) {
            if (!item.contains(key))
                return true;
            if (!item[key].is_string())
                return false;
            out = Latin1FromUtf8(item[key].get<std::string>());
            return true;
        };
        ClassEntry entry;
        std::string clsid, typeLib;
        if (!text_of("clsid", clsid) || !GuidFromString(clsid, entry.clsid))
            return corrupt("a class entry has no valid \"clsid\"");
        if (!text_of("typeLib", typeLib) || (!typeLib.empty() && !GuidFromString(typeLib, entry.typeLib)))
            return corrupt("class " + clsid + " has an invalid \"typeLib\"");
        if (!text_of("description", entry.description) || !text_of("progId", entry.progId) ||
            !text_of("versionedProgId", entry.versionedProgId) || !text_of("modulePath", entry.modulePath))
            return corrupt("class " + clsid + " has a field that is not text");
        classes[entry.clsid] = entry;
    }
    return S_OK;
}

bool WriteAll(int fd, const std::string& data)
{
    size_t done = 0;
    while (done < data.size())
    {
        ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0)
        {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

// Replaces the file as a whole: write a temporary sibling, then rename.
HRESULT SaveFile(const std::string& path, const ClassMap& classes)
{
    Json list = Json::array();
    for (const auto& [clsid, e] : classes)
    {
        list.push_back({{"clsid", GuidToString(e.clsid)},
                        {"description", Utf8FromLatin1(e.description)},
                        {"progId", Utf8FromLatin1(e.progId)},
                        {"versionedProgId", Utf8FromLatin1(e.versionedProgId)},
                        {"modulePath", Utf8FromLatin1(e.modulePath)},
                        {"typeLib", GuidToString(e.typeLib)}});
    }
    const std::string data = Json{{"classes", list}}.dump(2) + "\n";

    static std::atomic<unsigned> counter{0};
    const std::string temp = path + ".tmp." + std::to_string(getpid()) + "." + std::to_string(++counter);
    std::string why;
    int fd = RegularFile::OpenToWrite(temp, why);
    if (fd < 0)
        return Fail(kCannotWrite, "Cannot write the class registry '" + path + "': " + RegularFile::Refusal(temp, why));
    bool ok = WriteAll(fd, data) && ::fsync(fd) == 0;
    const int writeErrno = errno;
    ok = (::close(fd) == 0) && ok;
    if (!ok || ::rename(temp.c_str(), path.c_str()) != 0)
    {
        const int err = ok ? errno : writeErrno;
        ::unlink(temp.c_str());
        return Fail(kCannotWrite, "Cannot write the class registry '" + path + "': " + std::strerror(err));
    }
    return S_OK;
}

// Serialises read-modify-write cycles of processes sharing one file: the
// flock of "<registry>.lock" beside it. The lock file is opened without
// following a link and without waiting, and only a regular file is locked:
// a link in its place (even to a missing file) is never followed to make or
// lock another file, a FIFO cannot make the open wait. The wait for another
// process's lock is bounded and said (LockWait).
class FileLock
{
public:
    explicit FileLock(const std::string& path) : m_path(path + ".lock")
    {
        m_fd = ::open(m_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY, 0644);
        if (m_fd < 0)
        {
            const int error = errno;
            struct stat there = {};
            if (error == ELOOP && ::lstat(m_path.c_str(), &there) == 0 && S_ISLNK(there.st_mode))
                m_why = "its lock file '" + m_path + "' is a symbolic link, which is not followed (remove the link)";
            else if (error == EISDIR)
                m_why = "its lock file '" + m_path + "' is a folder, not a file (remove the folder)";
            else
                m_why = "its lock file '" + m_path + "' cannot be opened (" + std::strerror(error) + ")";
            return;
        }
        struct stat opened = {};
        const bool looked = ::fstat(m_fd, &opened) == 0;
        if (!looked || !S_ISREG(opened.st_mode))
        {
            m_why = "its lock file '" + m_path + "' " +
                    (looked ? RegularFile::WhatItIs(opened.st_mode) : std::string("cannot be looked at")) +
                    " (remove it)";
            Close();
            return;
        }
        const LockWait::Result taken = LockWait::Take(m_fd, "the class registry '" + path + "'");
        if (taken.outcome == LockWait::Outcome::Held)
            return;
        if (taken.outcome == LockWait::Outcome::BadBound)
            m_why = taken.why;
        else if (taken.outcome == LockWait::Outcome::GivenUp)
            m_why = "it " + LockWait::GivenUpText(taken) +
                    "; nothing was changed in it. If that process is stopped (Ctrl-Z), let it go on (fg, or kill "
                    "-CONT) or end it, then try again";
        else
            m_why = "its lock file '" + m_path + "' cannot be locked (" + std::strerror(taken.error) + ")";
        Close();
    }
    ~FileLock() { Close(); }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    bool Held() const { return m_fd >= 0; }
    // Why it is not held, as the end of a sentence naming the registry.
    const std::string& Why() const { return m_why; }

private:
    void Close()
    {
        if (m_fd >= 0)
            ::close(m_fd); // closing drops the lock
        m_fd = -1;
    }

    std::string m_path;
    std::string m_why;
    int m_fd = -1;
};

template <class Change>
HRESULT ModifyFile(Change change)
{
    const std::string path = ComRegistry::FilePath();
    std::lock_guard<std::mutex> guard(RegistryMutex());
    std::error_code ec;
    const std::filesystem::path parent = std::filesystem::path(path).parent_path();
    if (!parent.empty())
        std::filesystem::create_directories(parent, ec);
    FileLock lock(path);
    if (!lock.Held())
        return Fail(kCannotWrite, "Cannot write the class registry '" + path + "': " + lock.Why() + ".");
    ClassMap classes;
    HRESULT hr = LoadFile(path, classes, true);
    if (FAILED(hr))
        return hr;
    bool changed = false;
    hr = change(classes, changed);
    if (FAILED(hr) || !changed)
        return hr;
    HRESULT saved = SaveFile(path, classes);
    return FAILED(saved) ? saved : hr;
}

std::string NarrowFromZeroTerminated(LPCOLESTR text)
{
    return NarrowFromWide(std::u16string(text));
}

// Loaded modules by path; never unloaded.
std::mutex& ModulesMutex()
{
    static std::mutex m;
    return m;
}
std::map<std::string, void*>& LoadedModules()
{
    static std::map<std::string, void*> m;
    return m;
}

HRESULT ModuleEntryPoint(const std::string& path, DllGetClassObjectFunction& entry)
{
    {
        std::lock_guard<std::mutex> guard(ModulesMutex());
        auto it = LoadedModules().find(path);
        if (it != LoadedModules().end())
        {
            entry = reinterpret_cast<DllGetClassObjectFunction>(dlsym(it->second, "DllGetClassObject"));
            return S_OK;
        }
    }
    // Loaded without the lock held: the module's constructor may call back
    // into this runtime.
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle)
    {
        const char* why = dlerror();
        return Fail(HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND),
                    "Cannot load module '" + path + "': " + (why ? why : "unknown reason"));
    }
    dlerror();
    void* symbol = dlsym(handle, "DllGetClassObject");
    if (!symbol)
    {
        const char* why = dlerror();
        const std::string message = "Module '" + path + "' exports no DllGetClassObject: " +
                                    (why ? why : "symbol is null");
        dlclose(handle);
        return Fail(HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND), message);
    }
    {
        std::lock_guard<std::mutex> guard(ModulesMutex());
        auto [it, inserted] = LoadedModules().emplace(path, handle);
        if (!inserted)
            dlclose(handle); // another thread got there first; drop our extra count
    }
    entry = reinterpret_cast<DllGetClassObjectFunction>(symbol);
    return S_OK;
}
} // namespace

namespace ComRegistry
{
std::string FilePath()
{
    if (const char* file = std::getenv("QZ_REGISTRY_FILE"); file && *file)
        return file;
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config)
        return std::string(config) + "/qorzelm/registry.json";
    return HomeFolder() + "/.config/qorzelm/registry.json";
}

HRESULT RegisterClass(const ClassEntry& entry)
{
    if (entry.clsid == GUID_NULL)
        return Fail(E_INVALIDARG, "Cannot register a class without a class identifier.");
    return ModifyFile([&](ClassMap& classes, bool& changed) {
        for (auto& [clsid, other] : classes)
        {
            if (clsid == entry.clsid)
                continue;
            for (std::string* id : {&other.progId, &other.versionedProgId})
                if (!id->empty() && (*id == entry.progId || *id == entry.versionedProgId))
                    id->clear();
        }
        classes[entry.clsid] = entry;
        changed = true;
        return S_OK;
    });
}

HRESULT UnregisterClass(const CLSID& clsid)
{
    return ModifyFile([&](ClassMap& classes, bool& changed) {
        changed = classes.erase(clsid) > 0;
        return changed ? S_OK : S_FALSE;
    });
}

std::vector<ClassEntry> Classes()
{
    ClassMap classes;
    {
        std::lock_guard<std::mutex> guard(RegistryMutex());
        LoadFile(FilePath(), classes, false);
    }
    std::vector<ClassEntry> out;
    out.reserve(classes.size());
    for (const auto& [clsid, entry] : classes)
        out.push_back(entry);
    return out;
}

bool FindClass(const CLSID& clsid, ClassEntry& entry)
{
    ClassMap classes;
    {
        std::lock_guard<std::mutex> guard(RegistryMutex());
        LoadFile(FilePath(), classes, false);
    }
    auto it = classes.find(clsid);
    if (it == classes.end())
        return false;
    entry = it->second;
    return true;
}

bool FindProgId(const std::string& progId, CLSID& clsid)
{
    if (progId.empty())
        return false;
    ClassMap classes;
    {
        std::lock_guard<std::mutex> guard(RegistryMutex());
        auto it = InProcessProgIds().find(progId);
        if (it != InProcessProgIds().end())
        {
            clsid = it->second;
            return true;
        }
        LoadFile(FilePath(), classes, false);
    }
    for (const auto& [id, entry] : classes)
    {
        if (entry.progId == progId || entry.versionedProgId == progId)
        {
            clsid = id;
            return true;
        }
    }
    return false;
}

HRESULT CheckFile()
{
    ClassMap classes;
    std::lock_guard<std::mutex> guard(RegistryMutex());
    return LoadFile(FilePath(), classes, true);
}

HRESULT RegisterInProcessProgId(const std::string& progId, REFCLSID clsid)
{
    if (progId.empty())
        return E_INVALIDARG;
    std::lock_guard<std::mutex> guard(RegistryMutex());
    InProcessProgIds()[progId] = clsid;
    return S_OK;
}
} // namespace ComRegistry

HRESULT CoRegisterClassObject(REFCLSID rclsid, IUnknown* pUnk, DWORD /*dwClsContext*/, DWORD /*flags*/,
                              DWORD* lpdwRegister)
{
    if (!pUnk || !lpdwRegister)
        return E_INVALIDARG;
    pUnk->AddRef();
    std::lock_guard<std::mutex> guard(RegistryMutex());
    const DWORD cookie = g_nextCookie++;
    if (g_nextCookie == 0)
        g_nextCookie = 1;
    InProcessClasses().push_back({cookie, rclsid, pUnk});
    *lpdwRegister = cookie;
    return S_OK;
}

HRESULT CoRevokeClassObject(DWORD dwRegister)
{
    IUnknown* factory = nullptr;
    {
        std::lock_guard<std::mutex> guard(RegistryMutex());
        auto& classes = InProcessClasses();
        auto it = std::find_if(classes.begin(), classes.end(),
                               [&](const InProcessClass& c) { return c.cookie == dwRegister; });
        if (it == classes.end())
            return E_INVALIDARG;
        factory = it->factory;
        classes.erase(it);
    }
    factory->Release();
    return S_OK;
}

HRESULT CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, void* /*pvReserved*/, REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if ((dwClsContext & CLSCTX_ALL) == 0)
        return E_INVALIDARG;

    IUnknown* factory = nullptr;
    ClassMap classes;
    HRESULT loaded = S_OK;
    const std::string path = ComRegistry::FilePath();
    {
        std::lock_guard<std::mutex> guard(RegistryMutex());
        const auto& registered = InProcessClasses();
        for (auto it = registered.rbegin(); it != registered.rend(); ++it)
        {
            if (it->clsid == rclsid)
            {
                factory = it->factory;
                factory->AddRef();
                break;
            }
        }
        if (!factory)
            loaded = LoadFile(path, classes, true);
    }
    if (factory)
    {
        HRESULT hr = factory->QueryInterface(riid, ppv);
        factory->Release();
        return hr;
    }
    if (FAILED(loaded))
        return loaded;

    auto it = classes.find(rclsid);
    if (it == classes.end() || it->second.modulePath.empty() || !(dwClsContext & CLSCTX_INPROC_SERVER))
        return Fail(REGDB_E_CLASSNOTREG, "Class " + GuidToString(rclsid) + " is not registered.");

    DllGetClassObjectFunction entry = nullptr;
    HRESULT hr = ModuleEntryPoint(it->second.modulePath, entry);
    if (FAILED(hr))
        return hr;
    return entry(rclsid, riid, ppv);
}

HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD dwClsContext, REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (pUnkOuter)
        return CLASS_E_NOAGGREGATION;
    IClassFactory* factory = nullptr;
    HRESULT hr = CoGetClassObject(rclsid, dwClsContext, nullptr, IID_IClassFactory,
                                  reinterpret_cast<void**>(&factory));
    if (FAILED(hr))
        return hr;
    if (!factory)
        return E_UNEXPECTED;
    hr = factory->CreateInstance(nullptr, riid, ppv);
    factory->Release();
    return hr;
}

HRESULT CLSIDFromProgID(LPCOLESTR lpszProgID, CLSID* lpclsid)
{
    if (!lpszProgID || !lpclsid)
        return E_INVALIDARG;
    const std::string progId = NarrowFromZeroTerminated(lpszProgID);
    if (ComRegistry::FindProgId(progId, *lpclsid))
        return S_OK;
    *lpclsid = CLSID_NULL;
    HRESULT hr = ComRegistry::CheckFile();
    return FAILED(hr) ? hr : CO_E_CLASSSTRING;
}

HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* lplpszProgID)
{
    if (!lplpszProgID)
        return E_INVALIDARG;
    *lplpszProgID = nullptr;
    std::string progId;
    {
        std::lock_guard<std::mutex> guard(RegistryMutex());
        for (const auto& [name, id] : InProcessProgIds())
            if (id == clsid)
            {
                progId = name;
                break;
            }
    }
    if (progId.empty())
    {
        ComRegistry::ClassEntry entry;
        if (ComRegistry::FindClass(clsid, entry))
            progId = entry.progId.empty() ? entry.versionedProgId : entry.progId;
    }
    if (progId.empty())
        return REGDB_E_CLASSNOTREG;
    const std::u16string wide = WideFromNarrow(progId);
    auto* out = static_cast<OLECHAR*>(CoTaskMemAlloc((wide.size() + 1) * sizeof(OLECHAR)));
    if (!out)
        return E_OUTOFMEMORY;
    std::copy(wide.begin(), wide.end(), out);
    out[wide.size()] = 0;
    *lplpszProgID = out;
    return S_OK;
}

HRESULT CLSIDFromString(LPCOLESTR lpsz, CLSID* pclsid)
{
    if (!lpsz || !pclsid)
        return E_INVALIDARG;
    if (!GuidFromString(NarrowFromZeroTerminated(lpsz), *pclsid))
    {
        *pclsid = CLSID_NULL;
        return CO_E_CLASSSTRING;
    }
    return S_OK;
}

int StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax)
{
    const std::string text = GuidToString(rguid);
    if (!lpsz || cchMax < static_cast<int>(text.size()) + 1)
        return 0;
    for (size_t i = 0; i < text.size(); ++i)
        lpsz[i] = static_cast<OLECHAR>(text[i]);
    lpsz[text.size()] = 0;
    return static_cast<int>(text.size()) + 1;
}

#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "com/com.h"
#include "com/lockwait.h"
#include "common/TempRegistry.h"
#include "counting_unknown.h"
#include "common/ErrorInfo.h"

namespace fs = std::filesystem;

namespace
{
constexpr CLSID kModuleClass = {0x1b2c3d4e, 0x0001, 0x4000, {0x80, 0, 0, 0, 0, 0, 0, 0x42}};
constexpr CLSID kLogic = {0x5d605a2b, 0xacde, 0x49cd, {0x96, 0x42, 0x7b, 0x26, 0x89, 0x23, 0xac, 0xd9}};
constexpr CLSID kJob = {0x871d8dc2, 0x84a4, 0x4d1f, {0x99, 0xd5, 0x2a, 0x4e, 0x3b, 0xe2, 0xe8, 0x7c}};
constexpr GUID kTypeLib = {0x080f7e03, 0xac50, 0x4949, {0xaa, 0xca, 0xe7, 0x9f, 0x82, 0xd3, 0x09, 0x9f}};

using QzTest::LastErrorText;
using QzTest::ReadFile;

ComRegistry::ClassEntry Entry(const CLSID& clsid, const std::string& name, const std::string& module = "")
{
    ComRegistry::ClassEntry e;
    e.clsid = clsid;
    e.description = "Velomar: " + name + " component";
    e.progId = "QorZelm." + name;
    e.versionedProgId = "QorZelm." + name + ".1";
    e.modulePath = module;
    e.typeLib = kTypeLib;
    return e;
}

class Registry : public ::testing::Test
{
protected:
    void SetUp() override { SetErrorInfo(0, nullptr); }
    void WriteRegistry(const std::string& text)
    {
        fs::create_directories(m_file.parent_path());
        std::ofstream(m_file, std::ios::binary) << text;
    }

    // The registry file lies in a folder that does not exist yet.
    QzTest::TempRegistry m_registry{"config/registry.json"};
    fs::path m_dir{m_registry.Folder()};
    fs::path m_file{m_registry.File()};
};

TEST_F(Registry, RegisterFindAndUnregister)
{
    EXPECT_EQ(ComRegistry::FilePath(), m_file.string());
    EXPECT_TRUE(ComRegistry::Classes().empty()); // missing file: empty registry
    EXPECT_EQ(ComRegistry::CheckFile(), S_OK);

    ComRegistry::ClassEntry job = Entry(kJob, "ZelmJob", "/opt/m\xE9tal/libQorZelm.so");
    job.description = "Velomar: \xC5ngstr\xF6m job";
    ASSERT_EQ(ComRegistry::RegisterClass(job), S_OK);
    ASSERT_EQ(ComRegistry::RegisterClass(Entry(kLogic, "ZelmLogic")), S_OK);

    const auto all = ComRegistry::Classes();
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].clsid, kLogic); // CLSID order
    EXPECT_EQ(all[1].clsid, kJob);

    ComRegistry::ClassEntry found;
    ASSERT_TRUE(ComRegistry::FindClass(kJob, found));
    EXPECT_EQ(found.description, job.description);
    EXPECT_EQ(found.modulePath, job.modulePath);
    EXPECT_EQ(found.progId, "QorZelm.ZelmJob");
    EXPECT_EQ(found.versionedProgId, "QorZelm.ZelmJob.1");
    EXPECT_EQ(found.typeLib, kTypeLib);

    for (const char* progId : {"QorZelm.ZelmLogic", "QorZelm.ZelmLogic.1"})
    {
        CLSID clsid{};
        EXPECT_TRUE(ComRegistry::FindProgId(progId, clsid)) << progId;
        EXPECT_EQ(clsid, kLogic);
        const std::u16string wide = WideFromNarrow(progId);
        EXPECT_EQ(CLSIDFromProgID(wide.c_str(), &clsid), S_OK);
        EXPECT_EQ(clsid, kLogic);
    }
    CLSID none{};
    EXPECT_FALSE(ComRegistry::FindProgId("qorzelm.zelmlogic", none));
    EXPECT_EQ(CLSIDFromProgID(u"QorZelm.Nothing", &none), CO_E_CLASSSTRING);

    LPOLESTR progId = nullptr;
    ASSERT_EQ(ProgIDFromCLSID(kJob, &progId), S_OK);
    EXPECT_EQ(NarrowFromWide(progId), "QorZelm.ZelmJob");
    CoTaskMemFree(progId);

    ASSERT_EQ(ComRegistry::UnregisterClass(kJob), S_OK);
    EXPECT_EQ(ComRegistry::UnregisterClass(kJob), S_FALSE);
    EXPECT_FALSE(ComRegistry::FindClass(kJob, found));
    EXPECT_EQ(ComRegistry::Classes().size(), 1u);
    EXPECT_EQ(ProgIDFromCLSID(kJob, &progId), REGDB_E_CLASSNOTREG);

    // Only the registry and its lock file remain: no temporary files.
    std::vector<std::string> names;
    for (const auto& item : fs::directory_iterator(m_file.parent_path()))
        names.push_back(item.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"registry.json", "registry.json.lock"}));
}

TEST_F(Registry, ReRegistrationReplacesAndProgIdsMove)
{
    ASSERT_EQ(ComRegistry::RegisterClass(Entry(kLogic, "ZelmLogic")), S_OK);
    ComRegistry::ClassEntry changed = Entry(kLogic, "ZelmLogic", "/new/path.so");
    ASSERT_EQ(ComRegistry::RegisterClass(changed), S_OK);
    ASSERT_EQ(ComRegistry::Classes().size(), 1u);
    EXPECT_EQ(ComRegistry::Classes()[0].modulePath, "/new/path.so");

    ASSERT_EQ(ComRegistry::RegisterClass(Entry(kJob, "ZelmLogic")), S_OK); // takes both ProgIDs
    CLSID clsid{};
    ASSERT_TRUE(ComRegistry::FindProgId("QorZelm.ZelmLogic.1", clsid));
    EXPECT_EQ(clsid, kJob);
    ComRegistry::ClassEntry old;
    ASSERT_TRUE(ComRegistry::FindClass(kLogic, old));
    EXPECT_EQ(old.progId, "");
    EXPECT_EQ(old.versionedProgId, "");

    EXPECT_EQ(ComRegistry::RegisterClass(Entry(CLSID_NULL, "Null")), E_INVALIDARG);
}

TEST_F(Registry, CorruptFilesFailClearlyAndAreNotOverwritten)
{
    const std::string valid = "{\"classes\":[{\"clsid\":\"" + GuidToString(kLogic) + "\"}]}";
    const std::string cases[] = {
        "{not json",
        "[]",
        "{\"classes\": 3}",
        "{\"classes\": [7]}",
        "{\"classes\":[{\"clsid\":\"zz\"}]}",
        "{\"classes\":[{\"progId\":\"QorZelm.X\"}]}",
        "{\"classes\":[{\"clsid\":\"" + GuidToString(kLogic) + "\",\"progId\":5}]}",
        "{\"classes\":[{\"clsid\":\"" + GuidToString(kLogic) + "\",\"typeLib\":\"x\"}]}",
        valid.substr(0, valid.size() / 2),
        std::string("\x00\x01\x02", 3),
    };
    const HRESULT corrupt = HRESULT_FROM_WIN32(ERROR_BADDB);
    for (const std::string& text : cases)
    {
        WriteRegistry(text);
        EXPECT_TRUE(ComRegistry::Classes().empty()) << text;
        ComRegistry::ClassEntry e;
        EXPECT_FALSE(ComRegistry::FindClass(kLogic, e)) << text;

        EXPECT_EQ(ComRegistry::CheckFile(), corrupt) << text;
        const std::string why = LastErrorText();
        EXPECT_NE(why.find(m_file.string()), std::string::npos) << why;
        EXPECT_NE(why.find("corrupt"), std::string::npos) << why;

        EXPECT_EQ(ComRegistry::RegisterClass(Entry(kJob, "ZelmJob")), corrupt) << text;
        EXPECT_EQ(ComRegistry::UnregisterClass(kLogic), corrupt) << text;
        EXPECT_EQ(ReadFile(m_file), text) << "the corrupt file must be left for inspection";

        CLSID clsid{};
        EXPECT_EQ(CLSIDFromProgID(u"QorZelm.ZelmJob", &clsid), corrupt) << text;
        IUnknown* object = nullptr;
        EXPECT_EQ(CoCreateInstance(kLogic, nullptr, CLSCTX_SERVER, IID_IUnknown, reinterpret_cast<void**>(&object)),
                  corrupt)
            << text;
        EXPECT_EQ(object, nullptr);
    }

    WriteRegistry("  \n");
    EXPECT_EQ(ComRegistry::CheckFile(), S_OK); // a blank file is an empty registry
    EXPECT_EQ(ComRegistry::RegisterClass(Entry(kJob, "ZelmJob")), S_OK);
}

// The reason of a corrupt registry never repeats the file's text: a huge
// broken entry with terminal escapes gives a short message.
TEST_F(Registry, ACorruptFilesReasonQuotesNoneOfItsText)
{
    WriteRegistry("{\"classes\":[{\"clsid\":\"" + std::string(1 << 20, 'x') + "\x1b[2J");
    EXPECT_EQ(ComRegistry::CheckFile(), HRESULT_FROM_WIN32(ERROR_BADDB));
    const std::string why = LastErrorText();
    EXPECT_NE(why.find("is corrupt: it is not valid JSON (at byte "), std::string::npos) << why.substr(0, 300);
    EXPECT_LT(why.size(), 300u + m_file.string().size());
    EXPECT_EQ(why.find("xxxx"), std::string::npos);
    EXPECT_EQ(why.find('\x1b'), std::string::npos);
}

TEST_F(Registry, DefaultLocationFollowsTheEnvironment)
{
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    const std::string savedXdg = xdg ? xdg : "";
    setenv("QZ_REGISTRY_FILE", "", 1);
    setenv("XDG_CONFIG_HOME", "/somewhere/config", 1);
    EXPECT_EQ(ComRegistry::FilePath(), "/somewhere/config/qorzelm/registry.json");
    unsetenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    if (home && *home)
    {
        EXPECT_EQ(ComRegistry::FilePath(), std::string(home) + "/.config/qorzelm/registry.json");
    }
    if (xdg)
        setenv("XDG_CONFIG_HOME", savedXdg.c_str(), 1);
}

// Creates counting objects and counts its own references.
class TestFactory : public IClassFactory
{
public:
    LONG refs = 1;
    CountingUnknown made;

    HRESULT QueryInterface(REFIID riid, void** ppv) override
    {
        *ppv = nullptr;
        if (riid != IID_IUnknown && riid != IID_IClassFactory)
            return E_NOINTERFACE;
        *ppv = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return static_cast<ULONG>(++refs); }
    ULONG Release() override { return static_cast<ULONG>(--refs); }
    HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override
    {
        if (outer)
            return CLASS_E_NOAGGREGATION;
        return made.QueryInterface(riid, ppv);
    }
    HRESULT LockServer(BOOL) override { return S_OK; }
};

TEST_F(Registry, InProcessClassesAreCreatedAndRevoked)
{
    constexpr CLSID kHostClass = {0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}};
    TestFactory factory;
    DWORD cookie = 0;
    ASSERT_EQ(CoRegisterClassObject(kHostClass, &factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie), S_OK);
    EXPECT_NE(cookie, 0u);
    EXPECT_EQ(factory.refs, 2);
    ASSERT_EQ(ComRegistry::RegisterInProcessProgId("QorQMUtilities.ScopeUtility", kHostClass), S_OK);

    CLSID clsid{};
    ASSERT_EQ(CLSIDFromProgID(u"QorQMUtilities.ScopeUtility", &clsid), S_OK);
    EXPECT_EQ(clsid, kHostClass);
    LPOLESTR progId = nullptr;
    ASSERT_EQ(ProgIDFromCLSID(kHostClass, &progId), S_OK);
    EXPECT_EQ(NarrowFromWide(progId), "QorQMUtilities.ScopeUtility");
    CoTaskMemFree(progId);
    ComRegistry::ClassEntry persisted;
    EXPECT_FALSE(ComRegistry::FindClass(kHostClass, persisted)); // nothing written to the file
    EXPECT_FALSE(fs::exists(m_file));

    IDispatch* object = nullptr;
    ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_SERVER, IID_IDispatch, reinterpret_cast<void**>(&object)), S_OK);
    EXPECT_EQ(object, static_cast<IDispatch*>(&factory.made));
    EXPECT_EQ(factory.made.refs, 2);
    object->Release();
    EXPECT_EQ(factory.refs, 2); // the temporary class-object reference was given back

    CountingUnknown outer;
    IUnknown* aggregated = nullptr;
    EXPECT_EQ(CoCreateInstance(clsid, &outer, CLSCTX_SERVER, IID_IUnknown, reinterpret_cast<void**>(&aggregated)),
              CLASS_E_NOAGGREGATION);
    EXPECT_EQ(aggregated, nullptr);
    EXPECT_EQ(CoCreateInstance(clsid, nullptr, 0, IID_IUnknown, reinterpret_cast<void**>(&aggregated)), E_INVALIDARG);
    EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_SERVER, IID_IUnknown, nullptr), E_POINTER);

    ASSERT_EQ(CoRevokeClassObject(cookie), S_OK);
    EXPECT_EQ(factory.refs, 1);
    EXPECT_EQ(CoRevokeClassObject(cookie), E_INVALIDARG);
    EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_SERVER, IID_IUnknown, reinterpret_cast<void**>(&aggregated)),
              REGDB_E_CLASSNOTREG);
}

TEST_F(Registry, RegisteredModulesAreLoadedAndAsked)
{
    ASSERT_EQ(ComRegistry::RegisterClass(Entry(kModuleClass, "TestModule", QZ_COM_TEST_MODULE)), S_OK);
    CLSID clsid{};
    ASSERT_EQ(CLSIDFromProgID(u"QorZelm.TestModule.1", &clsid), S_OK);
    for (int round = 0; round < 2; ++round) // the second round uses the loaded module
    {
        IDispatch* object = nullptr;
        ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_SERVER, IID_IDispatch, reinterpret_cast<void**>(&object)),
                  S_OK);
        UINT count = 0;
        object->GetTypeInfoCount(&count);
        EXPECT_EQ(count, 42u);
        object->Release();
    }
    IClassFactory* factory = nullptr;
    EXPECT_EQ(CoGetClassObject(clsid, CLSCTX_LOCAL_SERVER, nullptr, IID_IClassFactory,
                               reinterpret_cast<void**>(&factory)),
              REGDB_E_CLASSNOTREG); // a module serves in-process only
    // A class the module does not serve: its own answer comes back.
    ASSERT_EQ(ComRegistry::RegisterClass(Entry(kJob, "ZelmJob", QZ_COM_TEST_MODULE)), S_OK);
    EXPECT_EQ(CoGetClassObject(kJob, CLSCTX_SERVER, nullptr, IID_IClassFactory, reinterpret_cast<void**>(&factory)),
              CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(factory, nullptr);
}

TEST_F(Registry, ModulesThatCannotServeFailWithTheirPathAndReason)
{
    const fs::path notALibrary = m_dir / "not-a-library.so";
    std::ofstream(notALibrary) << "plain text";
    struct Case
    {
        std::string path;
        HRESULT hr;
        std::string mentions;
    } cases[] = {
        {(m_dir / "missing.so").string(), HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND), "No such file"},
        {notALibrary.string(), HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND), "not-a-library.so"},
        {QZ_COM_RUNTIME_LIBRARY, HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND), "DllGetClassObject"},
    };
    for (const Case& c : cases)
    {
        ASSERT_EQ(ComRegistry::RegisterClass(Entry(kLogic, "ZelmLogic", c.path)), S_OK);
        IUnknown* object = nullptr;
        EXPECT_EQ(CoCreateInstance(kLogic, nullptr, CLSCTX_SERVER, IID_IUnknown, reinterpret_cast<void**>(&object)),
                  c.hr)
            << c.path;
        EXPECT_EQ(object, nullptr);
        const std::string why = LastErrorText();
        EXPECT_NE(why.find(c.path), std::string::npos) << why;
        EXPECT_NE(why.find(c.mentions), std::string::npos) << why;
    }

    ASSERT_EQ(ComRegistry::RegisterClass(Entry(kLogic, "ZelmLogic", "")), S_OK);
    IUnknown* object = nullptr;
    EXPECT_EQ(CoCreateInstance(kLogic, nullptr, CLSCTX_SERVER, IID_IUnknown, reinterpret_cast<void**>(&object)),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(CoCreateInstance(kJob, nullptr, CLSCTX_SERVER, IID_IUnknown, reinterpret_cast<void**>(&object)),
              REGDB_E_CLASSNOTREG);
    EXPECT_NE(LastErrorText().find(GuidToString(kJob)), std::string::npos);
}

// What stands at the lock file "registry.json.lock": a link is never
// followed (a dangling one makes no file through it), a folder or a FIFO is
// named as the lock file it is, and a lock another process holds is waited
// for within the bound, said once, and given up on naming the holder. The
// registry stays as it was.
TEST_F(Registry, TheLockFileIsJudgedAsAFileAndItsWaitIsBoundedAndSaid)
{
    ASSERT_EQ(ComRegistry::RegisterClass(Entry(kJob, "ZelmJob")), S_OK);
    const std::string registered = ReadFile(m_file);
    const fs::path lock = m_file.string() + ".lock";
    const fs::path outside = m_dir / "outside-target";
    const struct
    {
        const char* what;
        std::string refusal;
    } rows[] = {
        {"link", "its lock file '" + lock.string() + "' is a symbolic link, which is not followed (remove the link)"},
        {"folder", "its lock file '" + lock.string() + "' is a folder, not a file (remove the folder)"},
        {"fifo", "its lock file '" + lock.string() + "' is a pipe (FIFO), not a regular file (remove it)"},
        {"holder", "it is still locked by process "},     // waits 0.3 s
        {"holder, no wait", "it is locked by process "}, // waits not at all
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.what);
        fs::remove_all(lock);
        pid_t child = -1;
        const std::string what = row.what;
        if (what == "link")
            fs::create_symlink(outside, lock);
        else if (what == "folder")
            fs::create_directory(lock);
        else if (what == "fifo")
            ASSERT_EQ(0, ::mkfifo(lock.c_str(), 0600));
        else // a process holds the lock
        {
            int ready[2];
            ASSERT_EQ(0, ::pipe(ready));
            child = ::fork();
            if (child == 0)
            {
                const int fd = ::open(lock.c_str(), O_RDWR | O_CREAT, 0644);
                if (fd < 0 || ::flock(fd, LOCK_EX) != 0 || ::write(ready[1], "x", 1) != 1)
                    ::_exit(1);
                ::pause();
                ::_exit(0);
            }
            char byte = 0;
            ASSERT_EQ(1, ::read(ready[0], &byte, 1));
            ::close(ready[0]);
            ::close(ready[1]);
        }
        // The bound is the process's for all its waits: 0.3 s beyond those before.
        const std::string bound = what == "holder" ? std::to_string(LockWait::WaitedSeconds() + 0.3) : "0";
        ::setenv("QZ_LOCK_WAIT_SECONDS", bound.c_str(), 1);
        testing::internal::CaptureStderr();
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(ComRegistry::RegisterClass(Entry(kLogic, "ZelmLogic")), HRESULT_FROM_WIN32(ERROR_CANTWRITE));
        EXPECT_EQ(ComRegistry::UnregisterClass(kJob), HRESULT_FROM_WIN32(ERROR_CANTWRITE));
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const std::string said = testing::internal::GetCapturedStderr();
        const std::string why = LastErrorText();
        ::unsetenv("QZ_LOCK_WAIT_SECONDS");
        if (child > 0)
        {
            ::kill(child, SIGKILL);
            ::waitpid(child, nullptr, 0);
        }
        EXPECT_EQ(0u, why.find("Cannot write the class registry '" + m_file.string() + "': " + row.refusal)) << why;
        EXPECT_LT(seconds, 5.0);
        if (what == "holder")
        {
            EXPECT_NE(std::string::npos, why.find("locked by process " + std::to_string(child) + " (")) << why;
            EXPECT_EQ(0u, said.find("waiting for the lock of the class registry '" + m_file.string() +
                                    "', which process " + std::to_string(child)))
                << said;
            EXPECT_GE(seconds, 0.25);
        }
        else
        {
            EXPECT_EQ("", said);
        }
        EXPECT_FALSE(fs::exists(outside)) << "a file made through the link";
        EXPECT_EQ(registered, ReadFile(m_file));
    }
    fs::remove_all(lock);
    EXPECT_EQ(ComRegistry::RegisterClass(Entry(kLogic, "ZelmLogic")), S_OK);
}

CLSID Numbered(uint32_t n)
{
    CLSID c = kLogic;
    c.Data1 = n;
    return c;
}

TEST_F(Registry, ConcurrentWritersLoseNoRegistration)
{
    constexpr int kProcesses = 3, kThreads = 3, kEach = 4;
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p)
    {
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0)
        {
            int failures = 0;
            for (int k = 0; k < kEach; ++k)
                if (ComRegistry::RegisterClass(Entry(Numbered(1000 + p * 100 + k), "P" + std::to_string(p) + "_" +
                                                                                     std::to_string(k))) != S_OK)
                    ++failures;
            _exit(failures);
        }
        children.push_back(pid);
    }
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([t] {
            for (int k = 0; k < kEach; ++k)
                ComRegistry::RegisterClass(Entry(Numbered(5000 + t * 100 + k), "T" + std::to_string(t) + "_" +
                                                                                 std::to_string(k)));
        });
    for (auto& t : threads)
        t.join();
    for (pid_t pid : children)
    {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    EXPECT_EQ(ComRegistry::Classes().size(), static_cast<size_t>((kProcesses + kThreads) * kEach));
    EXPECT_EQ(ComRegistry::CheckFile(), S_OK);
}
} // namespace

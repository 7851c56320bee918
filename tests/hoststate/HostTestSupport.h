// Shared pieces of the host tests: a temporary project folder, text helpers
// and in-process registration of fake classes.
#pragma once

#include "host/HostApplication.h"
#include "host/managers/HostCall.h"
#include "host/model/OperationLog.h"

#include "kelv/KelvInProc.h"
#include "kelv/kelv.h"

#include "common/ErrorInfo.h"
#include "common/TempFolder.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace HostTest {

// A fresh folder for one test; files written without contents hold "x".
class TempFolder : public QzTest::TempFolder {
public:
    TempFolder() : QzTest::TempFolder("qzhost") {}
    std::string operator/(const std::string& name) const { return File(name); }
    std::string Write(const std::string& name, const std::string& contents = "x") const
    {
        return QzTest::TempFolder::Write(name, contents);
    }
};

using QzTest::ReadFile;
inline std::string Read(const std::string& path) { return ReadFile(path); }

inline bool Exists(const std::string& path)
{
    std::error_code error;
    return std::filesystem::exists(path, error);
}

// A BSTR argument that frees itself.
class Text {
public:
    explicit Text(const std::string& text) : m_text(text) {}
    operator BSTR() const { return m_text.Get(); }

private:
    KelvBSTR m_text;
};

// An out BSTR read back as text.
class OutText {
public:
    ~OutText() { SysFreeString(m_value); }
    BSTR* operator&() { return &m_value; }
    std::string str() const { return NarrowFromBSTR(m_value); }
    bool IsNull() const { return m_value == nullptr; }

private:
    BSTR m_value = nullptr;
};

using QzTest::LastErrorText;

// The log entries of one service, formatted "Call(arg, ...)".
inline std::vector<std::string> LogOf(const std::string& service)
{
    std::vector<std::string> lines;
    for (const auto& entry : HostModel::OperationLog::Find(service)) {
        std::string line = entry.call + "(";
        for (std::size_t i = 0; i < entry.arguments.size(); ++i)
            line += (i ? ", " : "") + entry.arguments[i];
        lines.push_back(line + ")");
    }
    return lines;
}

// A class factory for a fake class T (default-constructible, reference
// count starting at one), registered in this process under a ProgID while
// the registration object lives.
template <class T>
class FakeFactory final : public CKelvUnknown, public IClassFactory {
public:
    KELV_DELEGATE_IUNKNOWN
    HRESULT DelegatedQueryInterface(REFIID iid, void** out) override
    {
        if (iid == IID_IClassFactory)
            return FinishQI(static_cast<IClassFactory*>(this), out);
        return CKelvUnknown::DelegatedQueryInterface(iid, out);
    }
    HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** out) override
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        T* object = new T();
        const HRESULT hr = object->QueryInterface(iid, out);
        object->Release();
        return hr;
    }
    HRESULT LockServer(BOOL) override { return S_OK; }
};

template <class T>
class ClassRegistration {
public:
    ClassRegistration(const std::string& progId, REFCLSID clsid)
    {
        KelvComPtr<FakeFactory<T>> factory = KelvComPtr<FakeFactory<T>>::Adopt(new FakeFactory<T>());
        EXPECT_EQ(S_OK, CoRegisterClassObject(clsid, static_cast<IClassFactory*>(factory.get()), CLSCTX_INPROC_SERVER,
                                              REGCLS_MULTIPLEUSE, &m_cookie));
        EXPECT_EQ(S_OK, ComRegistry::RegisterInProcessProgId(progId, clsid));
    }
    ~ClassRegistration() { CoRevokeClassObject(m_cookie); }
    ClassRegistration(const ClassRegistration&) = delete;
    ClassRegistration& operator=(const ClassRegistration&) = delete;

private:
    DWORD m_cookie = 0;
};

inline QzHost::HostConfiguration ProjectIn(const TempFolder& folder, const std::string& sub = "project")
{
    QzHost::HostConfiguration configuration;
    configuration.projectFolder = folder / sub;
    return configuration;
}

} // namespace HostTest

#include "host/managers/HostStream.h"

#include "com/regularfile.h"

#include "host/managers/HostCall.h"
#include "host/managers/HostContext.h"
#include "host/model/ComSupport.h"
#include "qorqm/WrittenFiles.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <fstream>
#include <unistd.h>

namespace QzHost {

KelvComPtr<HostStream> HostStream::Create()
{
    return KelvComPtr<HostStream>::Adopt(new HostStream());
}

HRESULT HostStream::DelegatedQueryInterface(REFIID iid, void** out)
{
    if (iid == IID_ISBStream)
        return FinishQI(static_cast<ISBStream*>(this), out);
    return CKelvUnknown::DelegatedQueryInterface(iid, out);
}

HRESULT HostStream::get_FilePath(BSTR* pPath)
{
    return HostCall(IID_ISBStream, [&] { StoreString(pPath, m_path); });
}

HRESULT HostStream::Open(LONG mode, VARIANT varPath)
{
    return HostCall(IID_ISBStream, [&] {
        Log("Stream", "Open", {std::to_string(mode), DescribeVariant(varPath)});
        if (m_open)
            Fail(E_INVALIDARG, "The stream on \"" + m_path + "\" is open already.");
        if (varPath.vt != VT_BSTR || SysStringLen(varPath.bstrVal) == 0)
            Fail(E_INVALIDARG, "A stream is opened on a file path.");
        const std::string path = HostPaths::Normal(Narrow(varPath.bstrVal));
        if (mode == SBStreamRead) {
            std::string why;
            const int fd = RegularFile::Open(path, why);
            if (fd < 0)
                Fail(STG_E_FILENOTFOUND, "The file \"" + path + "\" " +
                                             (why == RegularFile::NotThere ? std::string("cannot be opened for reading")
                                                                        : why) + ".");
            ::close(fd);
        } else if (mode == SBStreamWrite) {
            // Made when it is not there; an existing file keeps its contents
            // until the save that follows replaces it whole, so that a save
            // that fails does not leave it empty.
            // A file of several hard links is no refusal here: the save
            // replaces it whole, never writing through it.
            std::string why;
            struct stat before {};
            const bool existed = ::lstat(path.c_str(), &before) == 0;
            const int fd = RegularFile::OpenToWrite(path, why, false);
            if (fd < 0 && errno != EMLINK)
                Fail(E_ACCESSDENIED, "The file \"" + path + "\" " + why + ".");
            if (fd >= 0)
                ::close(fd);
            // A file the stream made is the command's own, whatever the
            // save that follows writes into it.
            if (!existed)
                WrittenFiles::Note(path, WrittenFiles::Change::Made);
        } else {
            Fail(E_INVALIDARG, "Unknown stream mode " + std::to_string(mode) + ".");
        }
        m_path = path;
        m_mode = mode;
        m_open = true;
    });
}

HRESULT HostStream::Close()
{
    return HostCall(IID_ISBStream, [&]() -> HRESULT {
        if (!m_open)
            return S_FALSE;
        m_open = false;
        return S_OK;
    });
}

namespace {

// The stream's class object, registered once for the process and revoked at
// exit so that the registry lets it go.
struct StreamRegistration {
    DWORD cookie = 0;
    StreamRegistration()
    {
        const KelvComPtr<IClassFactory> factory = HostModel::MakeClassFactory([](void** out) -> HRESULT {
            *out = HostStream::Create().Detach()->ControllingUnknown();
            return S_OK;
        });
        CoRegisterClassObject(CLSID_SBStream, factory.get(), CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie);
    }
    ~StreamRegistration()
    {
        if (cookie != 0)
            CoRevokeClassObject(cookie);
    }
};

} // namespace

void HostStream::RegisterClass()
{
    static StreamRegistration registration;
}

} // namespace QzHost

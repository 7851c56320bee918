// The in-memory host with the module's logic object, a rock-salt document
// and the example library, and what the requests left behind: the jobs of
// the job manager and the host calls of the operation log.
#pragma once

#include "../deck/DeckHost.h"

#include "setup/Zelm.h"

#include "host/model/OperationLog.h"

#include <filesystem>

namespace LogicTest {

class LogicHost : public DeckTest::DeckHost
{
protected:
    void SetUp() override
    {
        DeckHost::SetUp();
        UseProjectLibrary("rocksalt", DeckTest::RockSaltLibrary());
        Set("ZelmLogic", "Task", int32_t(2));
        document = AddDocument("rocksalt", *RockSalt());
        HostModel::OperationLog::Clear();
    }

    // The logic object itself.
    CZelm* Logic() const { return static_cast<CZelm*>(Zelm().get()); }
    KelvComPtr<ISBManagedJobFiles> JobFiles() const { return Zelm().QueryInterface<ISBManagedJobFiles>(); }

    // The result of a request, with the error text it left.
    struct Outcome
    {
        HRESULT hr;
        std::string message;
    };
    template <class F>
    static Outcome Call(F&& call)
    {
        const HRESULT hr = call();
        return Outcome{hr, FAILED(hr) ? QzTest::LastErrorText() : std::string()};
    }

    const std::vector<KelvComPtr<QzHost::ManagedJob>>& Jobs() const { return host->Jobs().Jobs(); }

    // "service.call" of each logged host call, in order, of the services asked.
    static std::vector<std::string> Calls(const std::vector<std::string>& services)
    {
        std::vector<std::string> calls;
        for (const HostModel::LoggedOperation& entry : HostModel::OperationLog::Entries())
            for (const std::string& service : services)
                if (entry.service == service)
                    calls.push_back(entry.service + "." + entry.call);
        return calls;
    }

    // The file names in a folder, sorted.
    static std::vector<std::string> FileNames(const std::string& folder)
    {
        std::vector<std::string> names;
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(folder, error))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    KelvComPtr<ISBDocumentRoot> document;
};

} // namespace LogicTest

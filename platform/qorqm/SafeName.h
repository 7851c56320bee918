#pragma once
// Safe names for files and jobs. One rule serves the host's disk manager
// (ISBDiskManager::MakeSafeFileName), a job's safe names
// (ISBManagedTask::MakeSafeName, the rule with both flags false) and so
// SafeName below: a job's output files are found under the safe form of its
// name, so every place must agree.

#include "hostapi/jobs.h"
#include "kelv/KelvComPtr.h"

#include <string>

namespace QorQMUtilities {

// The rule. Each character that is not allowed becomes "_":
// - windowsSafeOnly false: allowed are the ASCII letters and digits, "_",
//   "-", "." and the blank;
// - windowsSafeOnly true: allowed is everything but control characters and
//   < > : " / \ | ? *;
// - allowWildCharacters: "*" and "?" are allowed as well.
// A name made of dots only ("." or "..") has its dots replaced too, so a safe
// name never names a folder or its parent. The length never changes; an
// empty name stays empty.
std::string MakeSafeFileName(const std::string& name, bool windowsSafeOnly = false,
                             bool allowWildCharacters = false);

}  // namespace QorQMUtilities

// The name that the host accepts for one job, asked of the job
// (ISBManagedTask::MakeSafeName, which applies the rule above).
class SafeName {
public:
    explicit SafeName(const KelvComPtr<ISBManagedTask>& job);
    explicit SafeName(ISBManagedTask* job);

    // The safe form of name. A failing host call throws KelvResult with the
    // host's error; a null job throws KelvResult E_POINTER.
    std::string operator()(const std::string& name) const;

private:
    KelvComPtr<ISBManagedTask> m_job;
};

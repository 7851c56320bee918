// The host's operation log: every host service records what it was asked
// (service, call and arguments as text), so that tests and the driver can
// see the exact values a caller passed. Process-wide and thread-safe.
#pragma once

#include <string>
#include <vector>

namespace HostModel {

struct LoggedOperation {
    std::string service;                 // e.g. "ScopeManager"
    std::string call;                    // e.g. "ProcessScope"
    std::vector<std::string> arguments;  // each argument as text
    bool operator==(const LoggedOperation& o) const
    {
        return service == o.service && call == o.call && arguments == o.arguments;
    }
};

class OperationLog {
public:
    static void Record(const std::string& service, const std::string& call, std::vector<std::string> arguments = {});
    static std::vector<LoggedOperation> Entries();
    // Entries of one service (and call, when given), in order.
    static std::vector<LoggedOperation> Find(const std::string& service, const std::string& call = "");
    static void Clear();
    // One line per entry: "service.call(arg1, arg2)".
    static std::string Text();
};

// Text of a number as the log shows it (shortest round-trip form).
std::string LogNumber(double value);

} // namespace HostModel

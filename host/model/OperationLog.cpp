#include "host/model/OperationLog.h"

#include <mutex>
#include <sstream>
#include <iomanip>
#include <limits>

namespace HostModel {

namespace {

struct LogState {
    std::mutex mutex;
    std::vector<LoggedOperation> entries;
};

LogState& State()
{
    static LogState state;
    return state;
}

} // namespace

void OperationLog::Record(const std::string& service, const std::string& call, std::vector<std::string> arguments)
{
    LogState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.entries.push_back({service, call, std::move(arguments)});
}

std::vector<LoggedOperation> OperationLog::Entries()
{
    LogState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.entries;
}

std::vector<LoggedOperation> OperationLog::Find(const std::string& service, const std::string& call)
{
    std::vector<LoggedOperation> r;
    for (const LoggedOperation& e : Entries())
        if (e.service == service && (call.empty() || e.call == call))
            r.push_back(e);
    return r;
}

void OperationLog::Clear()
{
    LogState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.entries.clear();
}

std::string OperationLog::Text()
{
    std::string text;
    for (const LoggedOperation& e : Entries()) {
        text += e.service + "." + e.call + "(";
        for (std::size_t i = 0; i < e.arguments.size(); ++i) {
            if (i)
                text += ", ";
            text += e.arguments[i];
        }
        text += ")\n";
    }
    return text;
}

std::string LogNumber(double value)
{
    std::ostringstream s;
    s.imbue(std::locale::classic());
    s << std::setprecision(std::numeric_limits<double>::max_digits10) << value;
    std::string shortest = s.str();
    // Prefer the short form when it reads back to the same value.
    std::ostringstream t;
    t.imbue(std::locale::classic());
    t << std::setprecision(15) << value;
    if (std::stod(t.str()) == value)
        return t.str();
    return shortest;
}

} // namespace HostModel

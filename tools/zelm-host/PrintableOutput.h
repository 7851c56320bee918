#pragma once
// Everything the driver prints goes through a PrintableOutput: a stream's
// output passed on with whatever a terminal should not be given escaped, by
// the rule every message follows (MessageText::AppendPrintable: printable
// UTF-8, line breaks and tabs as they stand, any other byte as "\xNN"). So a
// text from a project that some road forgot to quote still cannot move the
// cursor, retitle the window or reverse the line on the user's terminal.

#include <ostream>
#include <streambuf>
#include <string>
#include <vector>

namespace ZelmHost {

class PrintableOutput : public std::streambuf {
public:
    // From here on `stream` writes through this object to what it wrote to
    // before, until this object is gone.
    explicit PrintableOutput(std::ostream& stream);
    ~PrintableOutput() override;

    PrintableOutput(const PrintableOutput&) = delete;
    PrintableOutput& operator=(const PrintableOutput&) = delete;

protected:
    int_type overflow(int_type c) override;
    int sync() override;

private:
    // Passes on what is held; a character cut short by the end of it waits
    // for its rest unless `whole`.
    bool Pass(bool whole);

    std::ostream& stream_;
    std::streambuf* target_;
    std::vector<char> held_;
    std::string shown_;
};

}  // namespace ZelmHost

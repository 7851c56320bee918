#pragma once
// Small helpers every group of the driver's commands uses.

#include <string>
#include <vector>

#include "com/com.h"
#include "qorqm/ClaimName.h"

namespace ZelmHost {

// Throws the message as a failure of the command.
[[noreturn]] void Fail(const std::string& message);

// Why the path cannot be read as an input file, or "" when it can: it is
// not there, or it is a folder, a pipe, a device or a socket (reading a pipe
// or a device would wait or never end). A link counts as what it names.
std::string NotAnInputFile(const std::string& path);

// Fails with `what` (e.g. "the CIF file"), the path and NotAnInputFile's
// reason unless the path names a regular file.
void RequireInputFile(const std::string& path, const std::string& what);

// The path made absolute and normal (as given when that fails).
std::string Absolute(const std::string& path);

// The task code (1 to 5) of a task name (Energy, GeomOpt, Dynamics, Fit,
// Surface; any letter case) or of its number; another text fails.
long TaskCode(const std::string& task);

// The description of the error information a failed call left on this
// thread, else the code's standard text.
std::string ErrorText(HRESULT hr);

// A failed call becomes a KelvResult with ErrorText's text.
void Require(HRESULT hr);

// The text of a BSTR the caller owns, which is freed.
std::string Take(BSTR text);

// A value of a project (a setting, a command) as a command shows it, by the
// printable rule every message follows (MessageText::Excerpt): printable
// text of at most `longest` bytes as it is, any other escaped ("\xNN", a
// backslash "\\") and cut as a message quotes a file's text.
std::string ShownText(const std::string& text, std::size_t longest = 2000);

// The folders a command made for itself (on the way to a folder it names,
// and those the host claimed for it), removed again when it fails.
using MadeFolders = DiskUtilities::MadeOnDisk;

// A name a project holds (a document's, a type's, a set's, a library's, a
// file's) as a command shows it: ShownText at a message's excerpt length.
std::string ShownName(const std::string& name);

// A word (a path, a name) as advice that prints a command writes it: the
// one rule of MessageText::ShellQuoted (as it stands when plain, else
// single-quoted). The printed advice still passes the printable rule, so a
// control character shows escaped.
std::string ShellQuoted(const std::string& word);

}  // namespace ZelmHost

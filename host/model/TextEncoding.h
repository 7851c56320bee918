#pragma once
// The host keeps text as Latin-1 bytes (as BSTRs convert them); its JSON
// files hold UTF-8. These convert between the two.

#include <string>

namespace HostModel {

// Latin-1 bytes to UTF-8 and back; characters beyond Latin-1 read back as
// '?', and bytes that are not UTF-8 are taken as Latin-1 already.
std::string Latin1ToUtf8(const std::string& text);
std::string Utf8ToLatin1(const std::string& text);

} // namespace HostModel

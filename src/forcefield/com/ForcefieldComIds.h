// Class identifiers of the forcefield editor's six COM objects. They are
// declared in the module's type library but never registered: no wrapper is
// made by class identifier, the identifiers only name the object in the
// error information of its failing calls.
#pragma once

#include "hostapi/hostapi.h"

namespace QorZelm {

inline constexpr CLSID CLSID_ZelmForcefieldEditor = HostApi::MakeGuid("FD5754DA-247F-4889-B6DC-255D0292A0F6");
inline constexpr CLSID CLSID_ZelmForcefield = HostApi::MakeGuid("CCBED99B-B7E5-45A6-92A7-A27499B05F4B");
inline constexpr CLSID CLSID_ZelmServerDescription = HostApi::MakeGuid("ADE0E7C2-CA54-4293-B6DC-3AE90AFBFBCE");
inline constexpr CLSID CLSID_ZelmAtomType = HostApi::MakeGuid("824C59E0-3C0D-4F4D-B71F-582A452BD77D");
inline constexpr CLSID CLSID_ZelmInteraction = HostApi::MakeGuid("87C6E037-1C4F-49D9-AB74-456F99529643");
inline constexpr CLSID CLSID_ZelmParameter = HostApi::MakeGuid("BDCED4FE-C507-4D94-849B-DF503270E7D5");

}  // namespace QorZelm

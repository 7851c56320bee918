// The module's forcefield editor over engine library files.
#pragma once

#include <string>
#include <vector>

#include "qorff/ForcefieldEditor.h"
#include "setup/ZelmLibUtils.h"

class CZelmForcefieldEditor : public CForcefieldEditor {
public:
    // Creates its own CZelmServerDescription.
    CZelmForcefieldEditor();
    ~CZelmForcefieldEditor() override;

    // Reads the library into a new CZelmForcefield and installs it for the
    // path (an earlier forcefield stays alive while others hold it). On a
    // reading error nothing changes and the error passes to the caller.
    CForcefield& Load(const std::string& path) override;

    // MarkAllParametersNoFit of the installed forcefield; nothing without one.
    void MarkAllParametersNoFit();

    // The lines of the loaded library that were kept as text instead of read
    // (line number, line, reason), for the host to tell the user; empty for
    // a clean library and when no library is loaded.
    const std::vector<CZelmLibUtils::Warning>& GetLoadWarnings() const;
};

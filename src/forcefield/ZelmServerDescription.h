// What the engine's forcefields can hold: the five interaction types and the
// resolution of the form keywords written in library files.
#pragma once

#include <string>

#include "qorff/ServerDescription.h"

class CZelmServerDescription : public CServerDescription {
public:
    // Server name "Zelm"; keywords compared exactly.
    CZelmServerDescription();
    ~CZelmServerDescription() override;

    // These resolve the word first; a word that does not resolve throws
    // KelvResult (E_UNEXPECTED) "Unknown or ambiguous functional form".
    const std::string& GetTypeOfFunctionalForm(const std::string& word) const override;
    const std::string& GetFunctionalFormFullName(const std::string& word) const override;
    // False for a word that does not resolve.
    bool HasFunctionalForm(const std::string& word) const override;
    // True.
    bool CanFit() const override;

    // The registered keyword that a library word stands for:
    //  1. "buck4" stands for itself;
    //  2. a word of fewer than three characters stands for nothing;
    //  3. a registered keyword stands for itself;
    //  4. otherwise the longest registered keyword of at least three
    //     characters that begins the word ("buck4" only for itself), so that
    //     "lennard" finds "lenn", "buckingham" "buck", "torsion" "tors",
    //     and "sw2jb" "sw2j" (not "sw2"), "sw3jb" "sw3j".
    // False leaves `resolved` untouched.
    bool ResolveFunctionalFormKeyword(const std::string& word, std::string& resolved) const override;
};

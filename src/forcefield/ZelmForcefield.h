// The engine's forcefield: read from and written to a library file.
#pragma once

#include <list>
#include <ostream>
#include <string>
#include <vector>

#include "qorff/Forcefield.h"
#include "setup/ZelmLibUtils.h"

class CZelmForcefield : public CForcefield {
public:
    using Warning = CZelmLibUtils::Warning;

    // Reads the library at once; reading errors (KelvResult) pass to the
    // caller and no forcefield exists.
    CZelmForcefield(const std::string& path, const CServerDescription& serverDescription);
    // Reads a library from its text (a file not written yet; no path).
    CZelmForcefield(const CServerDescription& serverDescription, const std::string& text,
                    CZelmLibUtils::FromText);
    ~CZelmForcefield() override;

    // The library text: species block, kept lines, interactions by form
    // line (CZelmLibWriter), with the lines kept in form blocks under their
    // form lines.
    void WriteLibrary(std::ostream& stream) const override;
    // Replaces description, kept lines, kept block lines and warnings by the
    // file's and adds its species as atom types ("X core", "X shel") and its
    // interactions.
    void ReadLibrary(const std::string& path) override;

    // Library lines that are neither species nor interactions nor lines of a
    // form block, in file order; written back unchanged.
    const std::list<std::string>& GetKeptLines() const { return m_keptLines; }
    // Whether lines of form blocks were kept as text (forms or interaction
    // lines this build does not read).
    bool HasKeptFormBlocks() const { return !m_keptBlocks.empty(); }
    // How many blocks of forms the reader does not know the library keeps as
    // text, wherever they stand (CZelmLibUtils::GetKeptFormCount).
    int GetKeptFormCount() const { return m_keptForms; }
    // The lines of the library that were kept as text instead of read, with
    // their reasons (CZelmLibUtils::GetWarnings); empty for a clean library.
    const std::vector<Warning>& GetWarnings() const { return m_warnings; }

    // Beyond the base's rules (a name, not taken), a name given by the user
    // must read back from the species block: a species word and "core" or
    // "shel" with one blank between them, the word without blanks, "#" and
    // the texts "core", "shel" and "species" (in any letter case). The
    // names a library itself gives are taken as they come.
    void CheckAtomTypeName(const std::string& name) const override;

private:
    // A line kept in a form block. It is written under `formLine`: right
    // after the first interaction line equal to `after`, else right before
    // the first one equal to `before`, else after the form's interactions.
    // An empty anchor names no interaction line. A block without lines
    // keeps its form line alone.
    struct KeptBlockLine {
        std::string after;
        std::string before;
        std::string text;
        // Which of the equal interaction lines of the form line `after` or
        // `before` is (0: the first), so that a kept line stays in its place
        // among equal interactions.
        std::size_t afterOccurrence = 0;
        std::size_t beforeOccurrence = 0;
        // A kept interaction of a multi-line form ends here that would take a
        // following line beginning with a number as its continuation.
        bool open = false;
        // A line of the block of a form this library's reader does not know.
        bool unknownForm = false;
    };
    struct KeptBlock {
        std::string formLine;
        std::list<KeptBlockLine> lines;
    };

    // The line GetAllInteractions writes for an interaction read from the
    // library (its atom types in canonical order).
    std::string InteractionLine(const CZelmLibUtils::InteractionEntry& entry) const;
    void KeepBlocks(const CZelmLibUtils& reader);
    // Takes what the reader read (ReadLibrary).
    void Take(const CZelmLibUtils& reader);
    // Puts the kept block lines into the interactions to be written.
    void PlaceKeptBlockLines(InteractionMap& interactions) const;

    std::list<std::string> m_keptLines;
    std::list<std::string> m_keptSpeciesLines; // species lines left out, written back as they were
    std::list<KeptBlock> m_keptBlocks;
    std::vector<Warning> m_warnings;
    int m_keptForms = 0;
    bool m_reading = false;
};

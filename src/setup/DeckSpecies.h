// The species of the selected library as a deck and the structure checks
// see them: whether an atom has one, the core and shell lines of an atom,
// and the "Species" block of one structure section. Each build links its
// own form (the current one over the host's species reader, with species
// labels; the earlier one over its own species table).
#pragma once

#include "hostapi/hostapi.h"
#include "kelv/kelv.h"

#include <memory>
#include <ostream>
#include <string>
#include <vector>

class CZelmRunInfo;

class CDeckSpecies
{
public:
    // Reads the species of the run's library for one request or one
    // structure section; the run settings must outlive it.
    static std::unique_ptr<CDeckSpecies> ForRun(CZelmRunInfo& runInfo);
    virtual ~CDeckSpecies() = default;

    // Whether the library holds a species for the atom.
    virtual bool HasSpecies(const KelvComPtr<ISDObject>& atom) const = 0;
    // The core and/or shell line of the atom at (x, y, z): name, word,
    // position, charge, then the position tail and the tail. The species is
    // kept for the species block.
    virtual void WriteAtomLines(std::ostream& deck, const KelvComPtr<ISDObject>& atom, double x, double y, double z,
                                const std::string& positionTail, const std::string& tail) = 0;
    // The "Species" block of the species of the lines written, ending with
    // an empty line.
    virtual void WriteSpeciesBlock(std::ostream& deck) const = 0;
    // The library's species lines that were refused and left their species
    // out, each as "line N: <line>" and the reason on a line of its own (file
    // text excerpted), in file order; none where the build keeps none.
    virtual std::vector<std::string> RefusedLines() const { return {}; }
    // A library that gives no charges where the deck takes the charges from
    // the library: KelvResult E_UNEXPECTED, as writing an atom line would
    // refuse it; nothing where the build keeps no such rule.
    virtual void RefuseMissingCharges() const {}
    // Throws, naming them, when the library has data lines longer than the
    // engine reads (CZelmLibUtils::RefuseCutDataLines); nothing where the
    // build does not look.
    virtual void RefuseCutLines() const {}
};

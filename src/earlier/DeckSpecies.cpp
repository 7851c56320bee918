// The earlier build's species of a deck: each atom under its library type
// name with the library's charges, "core" and "shell" lines by the species
// kind; an atom of no species is a core of charge 0.0 under its element.
// The species block lists each name once, core and "shel" entries with
// their charges.
#include "setup/DeckSpecies.h"

#include "earlier/ZelmLibUtils.h"
#include "setup/ZelmRunInfo.h"

#include <map>

namespace {

class CEarlierDeckSpecies final : public CDeckSpecies
{
public:
    explicit CEarlierDeckSpecies(CZelmRunInfo& runInfo)
        : m_library(runInfo.GetElementDataFile(), runInfo.GetLibraryPath())
    {
    }

    bool HasSpecies(const KelvComPtr<ISDObject>& atom) const override { return m_library.GetSpeciesKind(atom) != 0; }

    void WriteAtomLines(std::ostream& deck, const KelvComPtr<ISDObject>& atom, double x, double y, double z,
                        const std::string& positionTail, const std::string& tail) override
    {
        const std::string name = m_library.GetSpeciesName(atom);
        const int32_t kind = m_library.GetSpeciesKind(atom);
        Entry& entry = m_entries[name];
        if ((kind & 2) != 0 || kind == 0) {
            const double charge = m_library.GetCoreCharge(atom);
            if (!entry.core) {
                entry.core = true;
                entry.coreCharge = charge;
            }
            deck << name << " core " << x << " " << y << " " << z << " " << charge << " " << positionTail << tail
                 << "\n";
        }
        if ((kind & 4) != 0) {
            const double charge = m_library.GetShellCharge(atom);
            if (!entry.shell) {
                entry.shell = true;
                entry.shellCharge = charge;
            }
            deck << name << " shell " << x << " " << y << " " << z << " " << charge << " " << positionTail << tail
                 << "\n";
        }
    }

    void WriteSpeciesBlock(std::ostream& deck) const override
    {
        deck << "Species" << std::endl;
        for (const auto& [name, entry] : m_entries) {
            if (entry.core)
                deck << name << " core " << entry.coreCharge << "\n";
            if (entry.shell)
                deck << name << " shel " << entry.shellCharge << "\n";
        }
        deck << std::endl;
    }

private:
    // The first charges written under one name.
    struct Entry
    {
        bool core = false;
        bool shell = false;
        double coreCharge = 0.0;
        double shellCharge = 0.0;
    };

    const ZelmEarlier::CZelmLibUtils m_library;
    std::map<std::string, Entry> m_entries;
};

} // namespace

std::unique_ptr<CDeckSpecies> CDeckSpecies::ForRun(CZelmRunInfo& runInfo)
{
    return std::make_unique<CEarlierDeckSpecies>(runInfo);
}

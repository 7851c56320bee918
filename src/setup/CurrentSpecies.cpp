// The current build's species of a deck: the host's species reader over the
// selected library, one label per alternative name ("O1", "O2"), the core
// charge by the charge option.
#include "setup/DeckSpecies.h"

#include "setup/ZelmFileWriter.h"
#include "setup/ZelmLibUtils.h"
#include "setup/ZelmRunInfo.h"

#include "qorqm/MessageText.h"

namespace {

// The core charges come from the library unless the charge option takes the
// structure's own (2): a library without charges then has none to give.
void RefuseLibraryWithoutCharges(const CZelmRunInfo& runInfo, const CZelmLibUtils& library)
{
    if (runInfo.GetChargeOption() != 2 && !library.HasCharges())
        throw KelvResult(E_UNEXPECTED, "This forcefield library contains no charges.\nPlease set to use current.");
}

class CCurrentDeckSpecies final : public CDeckSpecies
{
public:
    explicit CCurrentDeckSpecies(CZelmRunInfo& runInfo)
        : m_runInfo(runInfo), m_library(runInfo.IsStandardLibrary(), runInfo.GetLibraryPath())
    {
    }

    bool HasSpecies(const KelvComPtr<ISDObject>& atom) const override { return m_library.HasSpecies(atom); }

    void WriteAtomLines(std::ostream& deck, const KelvComPtr<ISDObject>& atom, double x, double y, double z,
                        const std::string& positionTail, const std::string& tail) override
    {
        const CSpecies species = m_library.Get(atom);
        const std::string label = CZelmFileWriter::GetSpeciesLabel(species, m_labels, m_names);
        if (species.IsCore())
            deck << label << " " << "core" << " " << x << " " << y << " " << z << " "
                 << m_runInfo.GetCoreCharge(atom, m_library) << " " << positionTail << tail << "\n";
        if (species.IsShell())
            deck << label << " " << "shel" << " " << x << " " << y << " " << z << " " << species.GetShellCharge()
                 << " " << positionTail << tail << "\n";
    }

    void WriteSpeciesBlock(std::ostream& deck) const override
    {
        deck << "Species" << std::endl;
        for (const auto& entry : m_labels) {
            const std::string& label = entry.second.first;
            const CSpecies& species = entry.second.second;
            if (species.IsCore())
                deck << label << " " << "core" << " " << species.GetAlternativeName() << "\n";
            if (species.IsShell())
                deck << label << " " << "shel" << " " << species.GetAlternativeName() << "\n";
        }
        deck << std::endl;
    }

    std::vector<std::string> RefusedLines() const override
    {
        std::vector<std::string> lines;
        for (const CZelmLibUtils::Warning& warning : m_library.GetWarnings())
            lines.push_back("line " + std::to_string(warning.lineNumber) + ": " +
                            MessageText::Excerpt(warning.line) + "\n    " + warning.reason);
        return lines;
    }

    void RefuseMissingCharges() const override { RefuseLibraryWithoutCharges(m_runInfo, m_library); }
    void RefuseCutLines() const override { m_library.RefuseCutDataLines(m_runInfo.GetLibraryPath()); }

private:
    CZelmRunInfo& m_runInfo;
    const CZelmLibUtils m_library;
    CZelmFileWriter::LabelTable m_labels;
    CZelmFileWriter::NameCounter m_names;
};

} // namespace

std::unique_ptr<CDeckSpecies> CDeckSpecies::ForRun(CZelmRunInfo& runInfo)
{
    return std::make_unique<CCurrentDeckSpecies>(runInfo);
}

std::string CZelmFileWriter::GetSpeciesLabel(const CSpecies& species, LabelTable& labels, NameCounter& names)
{
    const auto found = labels.find(species.GetAlternativeName());
    if (found != labels.end())
        return found->second.first;
    long& count = names[species.GetName()];
    ++count;
    const std::string label = KelvFormat(species.GetName() + "%1") << count;
    labels.emplace(species.GetAlternativeName(), std::make_pair(label, species));
    return label;
}

double CZelmRunInfo::GetCoreCharge(const KelvComPtr<ISDObject>& atom, const CZelmLibUtils& library) const
{
    if (GetChargeOption() == 2) {
        LONG status = -100;
        KelvVariant value;
        KelvResult::Check(atom->get_PropertyValue(KelvBSTR("Charge").Get(), &status, value.Receive()));
        double charge = value.Double();
        if (library.HasShell())
            charge -= library.GetShellCharge(atom);
        return charge;
    }
    RefuseLibraryWithoutCharges(*this, library);
    return library.GetCoreCharge(atom);
}


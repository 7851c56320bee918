// The deck's header and trailer lines and its structure lines.
#include "setup/ZelmFileWriter.h"

#include "setup/DeckLines.h"
#include "common/ExtractUnknownFromVariant.h"
#include "setup/DeckSpecies.h"
#include "setup/ZelmRunInfo.h"

#include "appfw/AppUtilsDataModel.h"
#include "appfw/AppUtilsDocument.h"
#include "appfw/LogicStateUtilities.h"
#include "qorqm/DMUtilities.h"
#include "qorqm/ReplaceFile.h"
#include "qorvira/QorViraUtilities.h"

#include <cerrno>
#include <cstring>
#include <sstream>

namespace {

const char* const kDeckNotOpen = "Unable to open ZELM input file.";

void Check(HRESULT hr)
{
    KelvResult::Check(hr);
}

// A property of a host object read with the status preset to -100.
KelvVariant ReadProperty(ISDObject* object, const std::string& name, LONG* status = nullptr)
{
    LONG ownStatus = -100;
    LONG* used = status ? status : &ownStatus;
    *used = -100;
    KelvVariant value;
    Check(object->get_PropertyValue(KelvBSTR(name).Get(), used, value.Receive()));
    return value;
}

bool HasValue(LONG status)
{
    return status == 0 || status == 1 || status == 2;
}


} // namespace

// ---------------------------------------------------------------------------
// Write failures

std::string CZelmFileWriter::WriteFailure(const CReplaceFile& file)
{
    if (!file.Error().empty())
        return ": " + file.Error();
    return errno != 0 ? std::string(": ") + std::strerror(errno) : std::string();
}

bool CZelmFileWriter::CommitWithReason(CReplaceFile& file, std::string& reason)
{
    const int failedWrite = file.Stream() ? 0 : errno;
    if (file.Commit())
        return true;
    reason = failedWrite != 0 ? ": writing its new contents failed (" + std::string(std::strerror(failedWrite)) + ")"
                              : WriteFailure(file);
    return false;
}

// ---------------------------------------------------------------------------
// Header and trailer

void CZelmFileWriter::WriteHeader(CReplaceFile& file, const std::string& path)
{
    if (!file.IsOpen())
        throw KelvResult(E_UNEXPECTED,
                         KelvFormat("Unable to open ZELM input file '%1'%2.") << path << WriteFailure(file));
    std::ofstream& deck = file.Stream();
    errno = 0; // a failed write's reason is its own
    ZelmDeckLines::SetDeckFormat(deck);
    WriteKeywordLine(deck);
    WritePropertyKeywords(deck);
    deck << std::endl;
    WriteTaskOptions(deck);
    deck << std::endl;
    WriteFrequencyOptions(deck);
    deck << std::endl;
    WriteTitle(deck);
    if (m_runInfo.WantsPhononDispersion())
        WriteKPointFile(path);
}

void CZelmFileWriter::WriteKeywordLine(std::ofstream& deck)
{
    RequireOpen(deck);
    deck << m_runInfo.GetKeywords();
}

void CZelmFileWriter::WritePropertyKeywords(std::ofstream& deck)
{
    RequireOpen(deck);
    deck << m_runInfo.GetPropertyKeywords(ZelmDeckLines::IsLargeStructure(m_periodicParentAtomCount));
}

void CZelmFileWriter::WriteTaskOptions(std::ofstream& deck)
{
    RequireOpen(deck);
    deck << m_runInfo.GetTaskOptions();
}

void CZelmFileWriter::WriteFrequencyOptions(std::ofstream& deck)
{
    RequireOpen(deck);
    deck << m_runInfo.GetFrequencyRangeLine();
}

void CZelmFileWriter::WritePhononOptions(std::ofstream& deck)
{
    RequireOpen(deck);
    deck << m_runInfo.GetPhononOptions();
}

void CZelmFileWriter::WriteTitle(std::ofstream& deck)
{
    RequireOpen(deck);
    deck << ZelmDeckLines::TitleBlock(m_runInfo.GetJobName().ToTString());
}

void CZelmFileWriter::WriteTrailer(CReplaceFile& file, const std::string& path, const std::string& folder)
{
    std::ofstream& deck = file.Stream();
    WriteLibraryLine(deck);
    WritePhononOptions(deck);
    deck << std::endl;
    WriteOutputLines(deck);
    // A deck that could not be written whole (a full disk) is no deck: the
    // file keeps what it held before.
    std::string reason;
    if (!CommitWithReason(file, reason))
        throw KelvResult(E_UNEXPECTED, "Unable to write file: " + path + reason);
    WriteLibraryNote(folder);
}

void CZelmFileWriter::WriteLibraryLine(std::ofstream& deck)
{
    RequireOpen(deck);
    const std::string library = m_runInfo.GetLibraryName();
    if (!library.empty())
        deck << "library " << library << std::endl << std::endl;
}

void CZelmFileWriter::WriteOutputLines(std::ofstream& deck)
{
    RequireOpen(deck);
    // The engine's outputs go under the base name of the deck itself, so
    // that the job finds them beside it.
    ZelmDeckLines::OutputSettings settings;
    settings.task = m_runInfo.GetTask();
    settings.base = m_runInfo.GetJobFileBase();
    if (settings.task != 4) {
        settings.constantPressureDynamics = settings.task == 3 && m_runInfo.IsConstantPressureDynamics();
        settings.phonon = m_runInfo.IsPhonon();
        settings.optics = settings.phonon && m_runInfo.WantsOptics();
    }
    deck << ZelmDeckLines::OutputLines(settings);
}

void CZelmFileWriter::WriteSurfaceBulkEnergy(std::ofstream& deck,
                                             const KelvComPtr<IQoZelmSurfaceCalculator>& calculator)
{
    const KelvComPtr<ISBState> state = LogicStateUtilities::GetState(calculator.get());
    if (!LogicStateUtilities::GetPropertyValue(state.get(), "CalculateSurfaceEnergy").Bool())
        return;
    const double energy = LogicStateUtilities::GetPropertyValue(state.get(), "BulkEnergy").Double();
    deck << "sbulkenergy " << energy << std::endl << std::endl;
}

// ---------------------------------------------------------------------------
// Structure lines

KelvComPtr<ISDObject> CZelmFileWriter::LatticeObject(bool surface) const
{
    const KelvComPtr<ISBScope> contents = Contents();
    KelvComPtr<IUnknown> lattice;
    if (surface)
        Check(m_scopeUtility->GetLattice2D(contents.get(), lattice.Receive()));
    else
        Check(m_scopeUtility->GetLattice(contents.get(), lattice.Receive()));
    return lattice.QueryInterface<ISDObject>();
}

void CZelmFileWriter::WriteBulkCell(std::ofstream& deck)
{
    const KelvComPtr<ISDObject> lattice = LatticeObject(false);
    const double alpha = ReadProperty(lattice.get(), "AngleAlpha").Double();
    const double beta = ReadProperty(lattice.get(), "AngleBeta").Double();
    const double gamma = ReadProperty(lattice.get(), "AngleGamma").Double();
    const double a = ReadProperty(lattice.get(), "LengthA").Double();
    const double b = ReadProperty(lattice.get(), "LengthB").Double();
    const double c = ReadProperty(lattice.get(), "LengthC").Double();
    const double degrees = QorViraUtilities::DegreesPerRadian();
    deck << "cell" << std::endl;
    deck << a << " " << b << " " << c << " " << alpha * degrees << " " << beta * degrees << " " << gamma * degrees;
    if (m_runInfo.GetTask() != 3)
        deck << " 1 1 1 1 1 1";
    deck << std::endl << std::endl;
}

void CZelmFileWriter::WriteSurfaceCell(std::ofstream& deck)
{
    const KelvComPtr<ISDObject> lattice = LatticeObject(true);
    const double theta = ReadProperty(lattice.get(), "AngleTheta").Double();
    const double u = ReadProperty(lattice.get(), "LengthU").Double();
    const double v = ReadProperty(lattice.get(), "LengthV").Double();
    deck << "scell " << std::endl;
    deck << u << " " << v << " " << theta * QorViraUtilities::DegreesPerRadian();
    const long task = m_runInfo.GetTask();
    if (task != 3 && task != 5)
        deck << " 1 1 1";
    deck << std::endl << std::endl;
}

namespace {

// The atom's "Occupancy" where the host keeps one for it (a partly occupied
// site), else 1.0.
double AtomOccupancy(const KelvComPtr<ISDObject>& atom)
{
    LONG status = -100;
    KelvVariant value;
    if (FAILED(atom->get_PropertyValue(KelvBSTR("Occupancy").Get(), &status, value.Receive())) || status < 0 ||
        status > 2)
        return 1.0;
    VARIANT number;
    VariantInit(&number);
    if (FAILED(VariantChangeType(&number, value.Ptr(), 0, VT_R8)))
        return 1.0;
    const double occupancy = number.dblVal;
    return occupancy > 0.0 && occupancy <= 1.0 ? occupancy : 1.0;
}

}  // namespace

void CZelmFileWriter::WriteAtom(std::ofstream& deck, const VARIANT_BOOL& fractional, CDeckSpecies& species,
                                const KelvComPtr<ISDObject>& atom, const std::string& tail)
{
    const bool isFractional = fractional != VARIANT_FALSE;
    const std::string property = isFractional ? "FractionalXYZ" : "XYZ";

    std::ostringstream positionTail;
    positionTail.flags(deck.flags());
    positionTail.precision(deck.precision());
    positionTail.width(deck.width());
    positionTail << AtomOccupancy(atom) << " 0.0";
    if (isFractional)
        positionTail << (IsFractionalPositionFree(atom) ? " 1 1 1" : " 0 0 0");
    else
        positionTail << ZelmDeckLines::CartesianFlags(GetFixedAxisFlags(atom));

    const KelvVariant value = ReadProperty(atom.get(), property);
    const KelvComPtr<ISDPoint3d> point = ExtractUnknownFromVariant(value.Get()).QueryInterface<ISDPoint3d>();
    double x = 0.0, y = 0.0, z = 0.0;
    Check(point->GetXYZ(&x, &y, &z));
    RequireOpen(deck);
    species.WriteAtomLines(deck, atom, QorViraUtilities::Zero(x), QorViraUtilities::Zero(y), QorViraUtilities::Zero(z),
                           positionTail.str(), tail);
}

bool CZelmFileWriter::ShouldWriteSpaceGroup() const
{
    return WritesSpaceGroup(m_scopeUtility.get(), Contents().get());
}

bool CZelmFileWriter::WritesSpaceGroup(IQoScopeUtility* utility, ISBScope* contents)
{
    VARIANT_BOOL periodic = VARIANT_FALSE;
    Check(utility->IsPeriodic(contents, &periodic));
    if (periodic != VARIANT_TRUE)
        return false;
    VARIANT_BOOL nonStandard = VARIANT_FALSE;
    Check(utility->HasNonStandardSetting(contents, &nonStandard));
    if (nonStandard != VARIANT_FALSE)
        return false;
    VARIANT_BOOL needsConversion = VARIANT_FALSE;
    Check(utility->NeedsPrimitiveConversion(contents, &needsConversion));
    return needsConversion == VARIANT_FALSE;
}

std::string CZelmFileWriter::SpaceGroupSymbol(IQoScopeUtility* utility, ISBScope* contents)
{
    KelvComPtr<IUnknown> lattice;
    Check(utility->GetLattice(contents, lattice.Receive()));
    return ZelmDeckLines::DeckText(ReadProperty(lattice.QueryInterface<ISDObject>().get(), "SpaceGroupLongName").String(),
                                   "space-group symbol");
}

void CZelmFileWriter::RefuseStructureText(IQoScopeUtility* utility, ISBDocumentRoot* document)
{
    Kelv::CheckNullDereference(document);
    KelvComPtr<ISBScope> contents;
    Check(document->get_ContentsAsScope(contents.Receive()));
    Kelv::CheckNullDereference(contents.get());
    if (WritesSpaceGroup(utility, contents.get()))
        SpaceGroupSymbol(utility, contents.get());
}

void CZelmFileWriter::WriteSpaceGroup(std::ofstream& deck)
{
    RequireOpen(deck);
    if (Periodicity() != 3)
        return;
    const KelvComPtr<ISDObject> lattice = LatticeObject(false);
    const std::string longName = SpaceGroupSymbol(m_scopeUtility.get(), Contents().get());
    const long number = ReadProperty(lattice.get(), "SpaceGroupITNumber").Long();
    LONG status = -100;
    const KelvVariant representation = ReadProperty(lattice.get(), "LatticeRepresentation", &status);
    if (!HasValue(status))
        throw KelvResult(E_UNEXPECTED, "Could not get lattice representation.");
    deck << "spacegroup" << std::endl;
    if (const auto line = ZelmDeckLines::SpaceGroupLine(representation.Long(), longName, number))
        deck << *line << std::endl;
    deck << std::endl;
}

void CZelmFileWriter::WriteOrigin(std::ofstream& deck)
{
    RequireOpen(deck);
    if (Periodicity() != 3)
        return;
    const std::string qualifier = ReadProperty(LatticeObject(false).get(), "SpaceGroupQualifier").String();
    if (ZelmDeckLines::OriginChoice(qualifier) == 2)
        deck << "origin" << std::endl << "2" << std::endl << std::endl;
}

void CZelmFileWriter::WriteSymmetryOperators(std::ofstream& deck)
{
    RequireOpen(deck);
    if (Periodicity() != 3)
        return;
    KelvComPtr<IUnknown> symmetry;
    Check(m_scopeUtility->GetSymmetry(Contents().get(), symmetry.Receive()));
    const KelvVariant all = DMUtilities::BasicUtilities::GetValue(symmetry.QueryInterface<ISDObject>(),
                                                                  std::string("AllOperatorElements"));
    const auto operators = ExtractUnknownFromVariant(all.Get()).QueryInterface<ISDVariantDataDimension>();
    const LONG count = DMUtilities::BasicUtilities::GetArraySize(operators);
    if (count <= 1)
        return;
    for (LONG i = 0; i < count; ++i) {
        const KelvVariant item = DMUtilities::BasicUtilities::GetArrayItem(operators, i);
        const auto op = ExtractUnknownFromVariant(item.Get()).QueryInterface<ISDObject>();
        ZelmDeckLines::WriteSymmetryOperator(deck, DMUtilities::SymmetryUtilities::GetOperatorMatrix(op));
    }
    deck << std::endl;
}

bool CZelmFileWriter::IsFractionalPositionFree(const KelvComPtr<ISDObject>& atom) const
{
    return !IsPropertyRestricted(atom, "FractionalXYZ");
}

bool CZelmFileWriter::IsPropertyRestricted(const KelvComPtr<ISDObject>& atom, const std::string& property) const
{
    VARIANT_BOOL restricted = VARIANT_FALSE;
    Check(m_fixedAtomRestriction->IsPropertyRestricted(atom.get(), KelvBSTR(property).Get(), &restricted));
    return restricted != VARIANT_FALSE;
}

void CZelmFileWriter::LoadFixedAtomRestriction()
{
    KelvComPtr<ISBModuleManager> modules;
    Check(m_root->get_ModuleManager(modules.Receive()));
    Kelv::CheckNullDereference(modules.get());
    KelvComPtr<ISBExtension> extension;
    Check(modules->GetExtension(KelvBSTR("QoRestricions.Restrictions").Get(), extension.Receive()));
    Kelv::CheckNullDereference(extension.get());
    KelvComPtr<ISBLogics> logics;
    Check(extension->get_Logics(logics.Receive()));
    Kelv::CheckNullDereference(logics.get());
    KelvComPtr<ISBLogic> logic;
    const KelvVariant name("FixedAtomConstraint");
    Check(logics->Item(name.Get(), logic.Receive()));
    m_fixedAtomRestriction = logic.QueryInterface<IQoFixedAtomRestriction>();
}

void CZelmFileWriter::LookUpPositionProperties()
{
    m_positionProperty = AppUtils::DataModel::GetNamedPropertyTemplate("XYZ");
    m_axisDistanceProperty = AppUtils::DataModel::GetNamedPropertyTemplate("DistanceAlongAxis");
}

long CZelmFileWriter::CountPeriodicParentAtoms(ISBScope* scope) const
{
    const KelvComPtr<ISBScope> parents =
        AppUtils::Document::ProcessScope(scope, "Normalization:Model3d!PeriodicParent", m_root.get());
    const KelvComPtr<ISBScope> atoms = AppUtils::Document::ProcessScope(parents.get(), "Filter:Model3d!Atom", m_root.get());
    return AppUtils::Document::CountScopeObjects(atoms.get());
}

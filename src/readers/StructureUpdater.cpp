#include "readers/StructureUpdater.h"

#include <ext/stdio_filebuf.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <fstream>
#include <memory>
#include <string_view>
#include <vector>

#include "com/regularfile.h"
#include "dravix/dravix.h"
#include "common/RoundToNearest.h"
#include "qorqm/CAutoFileDelete.h"
#include "qorqm/DMUtilities.h"
#include "qorqm/DiskUtilities.h"
#include "qorqm/LatticeUtilities.h"
#include "qorqm/MessageText.h"
#include "qorqm/PathUtilities.h"
#include "qorqm/ReplaceFile.h"
#include "qorvira/QorViraUtilities.h"
#include "qorvira/ScopeUtilityHelper.h"
#include "readers/ArchiveFileReader.h"
#include "readers/EngineLines.h"
#include "readers/TrajectoryArchive.h"
#include "common/ExtractUnknownFromVariant.h"
#include "common/ProjectPaths.h"
#include "setup/ZelmRunInfo.h"

namespace {

const char* const WrongAtomCount = "Model has been modified and cannot be used for analysis: wrong number of atoms.";

// A host call: a failing HRESULT is recorded and thrown with the host's text.
void Host(HRESULT hr)
{
    if (FAILED(hr)) {
        KelvResult::SetLastError(hr);
        throw KelvResult::LastErrorCheckNotS_OK();
    }
}

KelvComPtr<ISBScope> Model(KelvComPtr<ISBDocumentRoot>& document)
{
    KelvComPtr<ISBScope> model;
    Host(document->get_ContentsAsScope(model.Receive()));
    Kelv::CheckNullDereference(model.get());
    return model;
}

KelvComPtr<ISBScope> Process(CScopeUtilityHelper& scopes, const KelvComPtr<ISBScope>& scope, const char* processor)
{
    KelvComPtr<ISBScope> result;
    Host(scopes->ApplyScopeProcessor(scope.get(), KelvBSTR(processor).Get(), result.Receive()));
    Kelv::CheckNullDereference(result.get());
    return result;
}

// The model's atoms after a normalisation, 1-based through Item.
KelvComPtr<ISBScopeObjects> Atoms(CScopeUtilityHelper& scopes, const KelvComPtr<ISBScope>& model,
                                  const char* normalisation, LONG& count)
{
    KelvComPtr<ISBScope> atoms = Process(scopes, Process(scopes, model, normalisation), "Filter:Model3d!Atom");
    KelvComPtr<ISBScopeObjects> objects;
    Host(atoms->get_Objects(objects.Receive()));
    Kelv::CheckNullDereference(objects.get());
    Host(objects->get_Count(&count));
    return objects;
}

KelvComPtr<ISDObject> AtomAt(const KelvComPtr<ISBScopeObjects>& atoms, LONG k)
{
    KelvComPtr<IUnknown> item;
    Host(atoms->Item(k, item.Receive()));
    return item.QueryInterface<ISDObject>();
}

KelvVariant ReadProperty(const KelvComPtr<ISDObject>& atom, const char* name, LONG& hint)
{
    KelvVariant value;
    Host(atom->get_PropertyValue(KelvBSTR(name).Get(), &hint, value.Receive()));
    return value;
}

// Sets the point held by `value` to p and writes it back as `name`.
void WritePoint(const KelvComPtr<ISDObject>& atom, const char* name, KelvVariant& value, const xxPoint3d& p,
                LONG& hint, ISDPointConverter* converter = nullptr)
{
    KelvComPtr<ISDPoint3d> point = ExtractUnknownFromVariant(value.Get()).QueryInterface<ISDPoint3d>();
    Host(point->SetXYZ(p.x, p.y, p.z));
    KelvComPtr<ISDPoint3d> written = point;
    if (converter != nullptr) {
        Host(converter->ConvertPoint(point.get(), written.Receive()));
        Kelv::CheckNullDereference(written.get());
    }
    Host(atom->put_PropertyValue(KelvBSTR(name).Get(), &hint, KelvVariant(static_cast<IUnknown*>(written.get())).Get()));
}

int PositionCount(const TrajectoryArchiveFrame& frame)
{
    if (frame.positions.size() > static_cast<std::size_t>(INT32_MAX))
        throw KelvResult(E_INVALIDARG, WrongAtomCount);
    return static_cast<int>(frame.positions.size());
}

int Nearest(double x)
{
    if (std::isnan(x))
        throw KelvResult(E_UNEXPECTED, "ZELM arc file gives an atom position that is not a number.");
    // An infinite or huge position: more cells away than a count can hold.
    if (!(std::fabs(x) <= 1e9))
        throw KelvResult(E_UNEXPECTED, "ZELM arc file gives an atom position too large to place: "
                                       "more than 1e9 cells from the structure.");
    return QorZelm::RoundToNearest(&x);
}

// The working copy of the last frame could not be made: the message, the
// copy's name, the system's reason and what the user can do about it.
std::string WorkingCopyFailure(const std::string& message, const std::string& target, int error)
{
    const char* advice = "the archive's folder and its disk must allow the file to be written";
    switch (error) {
    case ENOSPC:
    case EDQUOT:
        advice = "make room on the disk that holds the archive's folder and try again";
        break;
    case EFBIG:
        advice = "the file-size limit of this session is too small for it";
        break;
    case EACCES:
    case EPERM:
    case EROFS:
        advice = "the archive's folder must be writable";
        break;
    default:
        break;
    }
    std::string text = message;
    if (!text.empty() && text.back() == '.')
        text.pop_back();
    return text + ": \"" + MessageText::Excerpt(target) + "\" cannot be written (" + std::strerror(error) + "): " +
           advice + ".";
}

}  // namespace

namespace {

// Writes the working copy whole through its folder held beneath `hold`.
void WriteWorkingCopy(const std::string& text, const std::string& target, const std::string& hold)
{
    CReplaceFile out(target, hold);
    if (!out.IsOpen()) {
        const int error = errno;
        throw KelvResult(error == EACCES ? E_ACCESSDENIED : E_UNEXPECTED,
                         "Unable to open ZELM intermediate arc file: \"" + MessageText::Excerpt(target) +
                             "\" cannot be written: " + out.Error() + ".");
    }
    out.Stream().write(text.data(), static_cast<std::streamsize>(text.size()));
    if (!out.Commit()) {
        // No half copy stays behind: the new file is dropped, the name untouched.
        const int error = errno != 0 ? errno : EIO;
        throw KelvResult(E_UNEXPECTED, WorkingCopyFailure("Unable to write ZELM intermediate arc file.", target,
                                                          error));
    }
}

}  // namespace

namespace {

// The archive's last whole frame found as the archive reader finds it, every
// frame judged but none kept, through one open that serves the working
// copy's text too; the frame is the copy's, read by the same reader.
FinalArcFrame ReadLastFrameOnly(const std::string& source)
{
    const std::string native = PathUtilities::ToNative(source);
    std::string why;
    const int fd = RegularFile::Open(native, why);
    if (fd < 0)
        throw KelvResult(E_UNEXPECTED, RegularFile::Failure("Unable to open ZELM arc file.", native, why));
    // Reads of 64 KiB; the buffer closes the descriptor.
    __gnu_cxx::stdio_filebuf<char> buffer(fd, std::ios::in | std::ios::binary, std::size_t{1} << 16);
    std::istream in(&buffer);
    const std::size_t atoms = RunAtomCount(source);
    const CArchiveFileReader archive(in, CAtomicIndexMap(), CArchiveFileReader::Keep::LastFrameText, atoms);
    FinalArcFrame last;
    last.frames = archive.GetWholeFrameCount();
    last.lastFrameCut = archive.IsLastFrameCut();
    last.damagedFrame = archive.DamagedFrame();
    last.periodic2D = archive.Is2DPeriodic();
    last.periodic3D = archive.Is3DPeriodic();
    const CArchiveFileReader::TextExtent extent =
        last.frames == 0 ? CArchiveFileReader::TextExtent() : archive.GetLastFrameText();
    last.copy = ArchiveCopyText(in, extent.begin, extent.end);
    if (last.frames == 0)
        return last;
    std::istringstream copy(last.copy);
    const CArchiveFileReader frame(copy, CAtomicIndexMap(), CArchiveFileReader::Keep::AllFrames, atoms);
    last.hasFrame = frame.GetFrames().size() == 1;
    if (last.hasFrame)
        last.frame = TrajectoryFrameOf(frame.GetFrames().front());
    return last;
}

} // namespace

FinalArcFrame ReadFinalFrame(const std::string& source, const CAtomicIndexMap& map)
{
    // A test's frames stand for the reader's, read with the map as they are
    // given; else the reader's last whole frame, in file order.
    const bool installed = TrajectoryArchiveOpenerInstalled();
    FinalArcFrame last;
    if (installed) {
        const std::unique_ptr<ITrajectoryArchive> archive = OpenTrajectoryArchive(source, map);
        last.frames = archive->GetFrameCount();
        last.lastFrameCut = archive->IsLastFrameCut();
        last.damagedFrame = archive->DamagedFrame();
        last.periodic2D = archive->Is2DPeriodic();
        last.periodic3D = archive->Is3DPeriodic();
        last.copy = archive->WorkingCopyText();
        last.hasFrame = last.frames != 0;
        if (last.hasFrame)
            last.frame = archive->GetFrame(last.frames - 1);
    } else {
        last = ReadLastFrameOnly(source);
    }
    if (!last.hasFrame)
        return last;
    last.mapped = last.frame;
    if (!installed && map.IsInForce()) {
        // In document order, as the reader puts a frame read with the map.
        std::vector<xxPoint3d> positions, mapped;
        positions.reserve(last.frame.positions.size());
        for (const std::array<double, 3>& p : last.frame.positions)
            positions.emplace_back(p[0], p[1], p[2]);
        CArchiveFileReader::ApplyMap(mapped, positions, map);
        last.mapped.positions.clear();
        for (const xxPoint3d& p : mapped)
            last.mapped.positions.push_back({p.x, p.y, p.z});
    }
    return last;
}

StructureUpdatePlan PrepareStructureUpdate(const std::string& archive, const CAtomicIndexMap& map,
                                           const std::string& project)
{
    StructureUpdatePlan plan;
    plan.archive = archive;
    plan.workingCopy = PathUtilities::ExtensionRemoved(archive) + "_TDE_" + CZelmRunInfo::ArchiveFileExtension();
    // The working copy belongs to the run's folder, wherever the run is kept.
    plan.hold = RunFileHold(plan.workingCopy, project);
    plan.map.Copy(map);
    plan.last = ReadFinalFrame(archive, map);
    if (plan.last.frames == 0)
        return plan;
    // Where the copy goes, asked of its writer: what stands there and the
    // way to it, and whether its folder takes a new file.
    const std::string why = CReplaceFile::WhyRefused(plan.workingCopy, plan.hold);
    if (!why.empty())
        throw WorkingCopyRefusal(errno == EACCES ? E_ACCESSDENIED : E_UNEXPECTED,
                         "Unable to open ZELM intermediate arc file: \"" + MessageText::Excerpt(plan.workingCopy) +
                             "\" cannot be written: " + why + ".");
    return plan;
}

void CompleteStructureUpdate(KelvComPtr<ISBContainerRoot>& root, KelvComPtr<ISBDocumentRoot>& document,
                             const StructureUpdatePlan& plan)
{
    if (plan.last.frames == 0)
        return;
    WriteWorkingCopy(plan.last.copy, plan.workingCopy, plan.hold);
    CAutoFileDelete deleteCopy(plan.workingCopy);

    Kelv::CheckNullDereference(root.get());
    Kelv::CheckNullDereference(document.get());
    KelvComPtr<ISBOperationManager> operations;
    Host(root->get_OperationManager(operations.Receive()));
    Kelv::CheckNullDereference(operations.get());
    KelvComPtr<ISBOperation> operation;
    const KelvBSTR name("Update structure");
    Host(operations->CreateOperation(name.Get(), name.Get(), 3, operation.Receive()));

    KelvComPtr<ISBScope> model = Model(document);
    VARIANT_BOOL periodic = VARIANT_FALSE;
    VARIANT_BOOL surface = VARIANT_FALSE;
    {
        CScopeUtilityHelper scopes(root.get());
        Host(scopes->IsPeriodic(model.get(), &periodic));
        Host(scopes->Is2DPeriodic(model.get(), &surface));
    }
    if (periodic != VARIANT_FALSE)
        WriteBackPeriodic3D(root, document, plan.last);
    else if (surface != VARIANT_FALSE)
        WriteBackPeriodic2D(root, document, plan.last);
    else
        WriteBackNonPeriodic(root, document, plan.last);

    KelvComPtr<ISBDiskManager> disk;
    Host(root->get_DiskManager(disk.Receive()));
    Kelv::CheckNullDereference(disk.get());
    Host(disk->DeleteFile(KelvBSTR(plan.workingCopy).Get(), 0));
    KelvComPtr<ISBDocumentManager> documents;
    Host(root->get_DocumentManager(documents.Receive()));
    Kelv::CheckNullDereference(documents.get());
    Host(documents->Synchronize());
}

void UpdateStructureFromOutput(KelvComPtr<ISBContainerRoot>& root, KelvComPtr<ISBDocumentRoot>& document,
                               const std::string& outputPath, CAtomicIndexMap& map)
{
    const std::string arc = CZelmRunInfo::ArchiveFileExtension();
    if (!PathUtilities::MatchesExtension(outputPath, arc) || !DiskUtilities::FileExists(outputPath))
        return;
    const StructureUpdatePlan plan = PrepareStructureUpdate(outputPath, map, ProjectFolderForWrites(root));
    CompleteStructureUpdate(root, document, plan);
}

void UpdateStructureFromOutputWithMap(KelvComPtr<ISBContainerRoot>& root, KelvComPtr<ISBDocumentRoot>& document,
                                      const std::string& outputPath)
{
    CAtomicIndexMap map;
    UpdateStructureFromOutput(root, document, outputPath, map);
}

void ReadFinalArcFrame(const std::string& source, const std::string& target, const std::string& project)
{
    // The structure update's own reading of the archive, then its copy
    // written whole through a descriptor of its folder held beneath
    // `project`: a link or a hard link in its place is never written through.
    WriteWorkingCopy(ReadFinalFrame(source, CAtomicIndexMap()).copy, target, project);
}

std::string RunFileHold(const std::string& file, const std::string& project)
{
    namespace fs = std::filesystem;
    std::error_code error;
    fs::path folder = fs::absolute(PathUtilities::ToNative(file), error).parent_path().lexically_normal();
    if (!project.empty()) {
        const fs::path named = fs::absolute(PathUtilities::ToNative(project), error).lexically_normal();
        const auto within = [](const fs::path& outer, const fs::path& inner) {
            const auto [end, at] = std::mismatch(outer.begin(), outer.end(), inner.begin(), inner.end());
            return end == outer.end() || (std::next(end) == outer.end() && end->empty());
        };
        if (within(named, folder) || within(fs::weakly_canonical(named, error), fs::weakly_canonical(folder, error)))
            return project;
    }
    return folder.string();
}

void CheckModelMatchesOutput(KelvComPtr<ISBContainerRoot>& root, KelvComPtr<ISBScope>& model, int& expected)
{
    CScopeUtilityHelper scopes(root.get());
    LONG count = 0;
    Atoms(scopes, model, "Normalization:Model3d!PeriodicParent", count);
    if (count != expected)
        throw KelvResult(E_INVALIDARG, WrongAtomCount);
}

void WriteBackPeriodic3D(KelvComPtr<ISBContainerRoot>& root, KelvComPtr<ISBDocumentRoot>& document,
                         const FinalArcFrame& last)
{
    KelvComPtr<ISBScope> model = Model(document);
    if (!last.hasFrame || !last.periodic3D)
        return;
    const TrajectoryArchiveFrame& frame = last.frame;
    const CLatticeInfo& lattice = frame.lattice;
    const double degrees = QorViraUtilities::DegreesPerRadian();
    const double alpha = lattice.get_Cell_Alpha() / degrees;
    const double beta = lattice.get_Cell_Beta() / degrees;
    const double gamma = lattice.get_Cell_Gamma() / degrees;
    double u1[3] = {}, u2[3] = {}, u3[3] = {};
    LatticeUtilities::Zelm3DParamToCell(lattice.get_Cell_A(), lattice.get_Cell_B(), lattice.get_Cell_C(), alpha, beta,
                                        gamma, u1, u2, u3);
    // f = M^-1 P with the cell vectors as the columns of M.
    xxMatrix3x3 toFractional(u1[0], u2[0], u3[0], u1[1], u2[1], u3[1], u1[2], u2[2], u3[2]);
    try {
        toFractional.Invert();
    } catch (const std::domain_error&) {
        throw KelvResult(E_UNEXPECTED, "ZELM arc file gives a cell without volume.");
    }

    CScopeUtilityHelper scopes(root.get());
    LONG count = 0;
    KelvComPtr<ISBScopeObjects> atoms = Atoms(scopes, model, "Normalization:Model3d!SymmetryParent", count);
    int positions = PositionCount(frame);
    CheckModelMatchesOutput(root, model, positions);

    // Each parent takes the frame position at the running index, which grows
    // by its multiplicity: all of them are checked before anything changes.
    std::vector<KelvComPtr<ISDObject>> parents;
    std::vector<std::size_t> index;
    std::size_t p = 0;
    for (LONG k = 1; k <= count; ++k) {
        KelvComPtr<ISDObject> atom = AtomAt(atoms, k);
        if (p >= frame.positions.size())
            throw KelvResult(E_INVALIDARG, WrongAtomCount);
        LONG hint = -100;
        const LONG multiplicity = ReadProperty(atom, "SymmetryMultiplicity", hint).Long();
        if (multiplicity < 1)
            throw KelvResult(E_INVALIDARG, WrongAtomCount);
        parents.push_back(atom);
        index.push_back(p);
        p += static_cast<std::size_t>(multiplicity);
    }

    KelvComPtr<IUnknown> latticeObject;
    Host(scopes->GetLattice(model.get(), latticeObject.Receive()));
    Host(latticeObject.QueryInterface<ISDLattice3D>()->SetCellParameters(lattice.get_Cell_A(), lattice.get_Cell_B(),
                                                                          lattice.get_Cell_C(), alpha, beta, gamma));
    KelvComPtr<IUnknown> frameObject;
    Host(scopes->GetLatticeFrame(model.get(), frameObject.Receive()));
    KelvComPtr<ISDPointConverter> converter;
    Host(frameObject.QueryInterface<ISDLatticeFrame>()->GetPointConverter(converter.Receive(), 3));
    Kelv::CheckNullDereference(converter.get());

    for (std::size_t k = 0; k < parents.size(); ++k) {
        const KelvComPtr<ISDObject>& atom = parents[k];
        LONG hint = -100;
        KelvVariant value = ReadProperty(atom, "XYZ", hint);
        const std::array<double, 3>& at = frame.positions[index[k]];
        const xxPoint3d position(at[0], at[1], at[2]);
        const xxPoint3d f = toFractional * position;
        const xxPoint3d o = DMUtilities::AtomUtilities::AtomFracCoord(atom);
        const int n1 = Nearest(o.x - f.x), n2 = Nearest(o.y - f.y), n3 = Nearest(o.z - f.z);
        const xxPoint3d moved(at[0] + n1 * u1[0] + n2 * u2[0] + n3 * u3[0], at[1] + n1 * u1[1] + n2 * u2[1] + n3 * u3[1],
                              at[2] + n1 * u1[2] + n2 * u2[2] + n3 * u3[2]);
        WritePoint(atom, "XYZ", value, moved, hint, converter.get());
    }
}

void WriteBackPeriodic2D(KelvComPtr<ISBContainerRoot>& root, KelvComPtr<ISBDocumentRoot>& document,
                         const FinalArcFrame& last)
{
    KelvComPtr<ISBScope> model = Model(document);
    if (!last.hasFrame || !last.periodic2D)
        return;
    const TrajectoryArchiveFrame& frame = last.mapped;
    const CLatticeInfo& lattice = frame.lattice;
    const double alpha = lattice.get_Cell_Alpha() / QorViraUtilities::DegreesPerRadian();
    double u1[2] = {}, u2[2] = {};
    if (!LatticeUtilities::Zelm2DParamToCell(lattice.get_Cell_A(), lattice.get_Cell_B(), alpha, u1, u2))
        return;

    CScopeUtilityHelper scopes(root.get());
    LONG count = 0;
    KelvComPtr<ISBScopeObjects> atoms = Atoms(scopes, model, "Normalization:Model3d!SymmetryParent", count);
    int positions = PositionCount(frame);
    CheckModelMatchesOutput(root, model, positions);
    if (count > positions)
        throw KelvResult(E_INVALIDARG, WrongAtomCount);

    KelvComPtr<IUnknown> latticeObject;
    Host(scopes->GetLattice(model.get(), latticeObject.Receive()));
    Host(latticeObject.QueryInterface<ISDLattice2D>()->SetCellParameters(lattice.get_Cell_A(), lattice.get_Cell_B(),
                                                                          alpha));
    for (LONG k = 1; k <= count; ++k) {
        KelvComPtr<ISDObject> atom = AtomAt(atoms, k);
        LONG hint = -100;
        KelvVariant value = ReadProperty(atom, "FractionalXYZ", hint);
        const std::array<double, 3>& at = frame.positions[static_cast<std::size_t>(k - 1)];
        double f[3] = {};
        LatticeUtilities::Transform2DCartToFracArc(u1, u2, at.data(), f);
        WritePoint(atom, "FractionalXYZ", value, xxPoint3d(f[0], f[1], f[2]), hint);
    }
}

void WriteBackNonPeriodic(KelvComPtr<ISBContainerRoot>& root, KelvComPtr<ISBDocumentRoot>& document,
                          const FinalArcFrame& last)
{
    KelvComPtr<ISBScope> model = Model(document);
    if (!last.hasFrame)
        return;
    const TrajectoryArchiveFrame& frame = last.frame;
    CScopeUtilityHelper scopes(root.get());
    LONG count = 0;
    KelvComPtr<ISBScopeObjects> atoms = Atoms(scopes, model, "Normalization:Model3d!SymmetryParent", count);
    int positions = PositionCount(frame);
    CheckModelMatchesOutput(root, model, positions);
    if (count > positions)
        throw KelvResult(E_INVALIDARG, WrongAtomCount);
    for (LONG k = 1; k <= count; ++k) {
        KelvComPtr<ISDObject> atom = AtomAt(atoms, k);
        LONG hint = -100;
        KelvVariant value = ReadProperty(atom, "XYZ", hint);
        const std::array<double, 3>& at = frame.positions[static_cast<std::size_t>(k - 1)];
        WritePoint(atom, "XYZ", value, xxPoint3d(at[0], at[1], at[2]), hint);
    }
}

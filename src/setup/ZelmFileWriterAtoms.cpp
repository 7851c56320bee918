// Which atoms the engine sees and under which identity (fixing masks,
// species labels, atom numbers), and the deck's side files.
#include "setup/ZelmFileWriter.h"

#include "common/ExtractUnknownFromVariant.h"
#include "setup/ZelmRunInfo.h"
#include "common/ResultFiles.h"
#include "common/ProjectPaths.h"

#include "qorqm/PathUtilities.h"
#include "qorqm/ReplaceFile.h"

#include <cerrno>
#include <cstring>

namespace {

void Check(HRESULT hr)
{
    KelvResult::Check(hr);
}

// Number of elements over all dimensions.
ULONG ElementCount(SAFEARRAY* array)
{
    KelvSafeArray view(array);
    const ULONG count = view.Count();
    view.Detach();
    return count;
}

// A side file is written beside its place and replaces the file there only
// once written whole; one that cannot be begun or finished fails, and the
// file under its name stays as it was.
std::ofstream& OpenSideFile(CReplaceFile& file, const std::string& path)
{
    if (!file.IsOpen())
        throw KelvResult(E_UNEXPECTED, "Unable to open file: " + path + CZelmFileWriter::WriteFailure(file));
    return file.Stream();
}

void CommitSideFile(CReplaceFile& file, const std::string& path)
{
    std::string reason;
    if (!CZelmFileWriter::CommitWithReason(file, reason))
        throw KelvResult(E_UNEXPECTED, "Unable to write file: " + path + reason);
}

} // namespace

// ---------------------------------------------------------------------------
// Fixing masks

void ZelmDeckAtoms::AddFixedAxisMasks(SAFEARRAY* flagArray, SAFEARRAY* atomArray, std::map<long, long>& masks)
{
    if (!flagArray || !atomArray)
        return;
    const ULONG flagCount = ElementCount(flagArray);
    const ULONG atomCount = ElementCount(atomArray);
    VARTYPE flagType = VT_EMPTY, atomType = VT_EMPTY;
    Check(SafeArrayGetVartype(flagArray, &flagType));
    Check(SafeArrayGetVartype(atomArray, &atomType));
    if (flagType != VT_I4 || (atomType != VT_UNKNOWN && atomType != VT_DISPATCH && atomType != VT_VARIANT))
        throw KelvResult(DISP_E_TYPEMISMATCH, "The fixed-atom restrictions hold values of an unexpected type.");

    void* flagData = nullptr;
    void* atomData = nullptr;
    Check(SafeArrayAccessData(flagArray, &flagData));
    const HRESULT accessed = SafeArrayAccessData(atomArray, &atomData);
    if (FAILED(accessed)) {
        SafeArrayUnaccessData(flagArray);
        Check(accessed);
    }
    try {
        // The two arrays are parallel; an atom array that ends first has no
        // atom for the masks beyond it.
        for (ULONG k = 0; k < flagCount; ++k) {
            if (k >= atomCount)
                throw KelvResult(DISP_E_BADINDEX, "The fixed-atom restrictions list more masks than atoms.");
            const long mask = static_cast<const LONG*>(flagData)[k];
            KelvComPtr<IUnknown> atom;
            if (atomType == VT_VARIANT)
                atom = ExtractUnknownFromVariant(static_cast<const VARIANT*>(atomData)[k]);
            else
                atom = KelvComPtr<IUnknown>(static_cast<IUnknown* const*>(atomData)[k]);
            const auto object = atom.QueryInterface<ISDObject>();
            LONG status = -100;
            KelvVariant id;
            Check(object->get_PropertyValue(KelvBSTR("ID").Get(), &status, id.Receive()));
            masks[id.Long()] |= mask;
        }
    } catch (...) {
        SafeArrayUnaccessData(atomArray);
        SafeArrayUnaccessData(flagArray);
        throw;
    }
    SafeArrayUnaccessData(atomArray);
    SafeArrayUnaccessData(flagArray);
}

// ---------------------------------------------------------------------------
// Atom numbers and side files

void CZelmFileWriter::WriteJobSideFiles(const std::string& folder, const std::string& name)
{
    std::vector<long> ids;
    NumberAtoms(ids);
    WriteAtomIdFile(folder + name, ids);
    if (m_runInfo.WantsPhononDispersion()) {
        KelvComPtr<IUnknown> prepared;
        Check(m_scopeUtility->PrepareKPoints(m_scope.get(), prepared.Receive()));
    }
    Check(m_scopeUtility->SaveStructure(m_scope.get(), KelvBSTR(folder + name + StructureDocumentExtension()).Get()));
}

void CZelmFileWriter::WriteAtomIdFile(const std::string& basePath, const std::vector<long>& ids)
{
    const std::string path = basePath + ".trjaux";
    {
        CReplaceFile replaced(path, ProjectFolderForWrites(m_root));
        std::ofstream& file = OpenSideFile(replaced, path);
        file.setf(std::ios::right, std::ios::adjustfield);
        file.fill(' ');
        file << "# Atom IDs to appear in any .trj file to be generated." << "\n";
        file << "# Correspond to atom IDs which will be used in exported .qlf file" << "\n";
        file << "# required for animation/analysis of trajectory within Ombra2." << "\n";
        for (const long id : ids)
            file << id << "\n";
        CommitSideFile(replaced, path);
    }
    MarkFileHidden(m_root, path);
}

KelvComPtr<IQoAtomNumbering> CZelmFileWriter::NumberingOf(const KelvComPtr<IUnknown>& source)
{
    KelvVariant numberingSource;
    Check(source.QueryInterface<IQoAtomNumberingSource>()->get_NumberingSource(numberingSource.Receive()));
    KelvComPtr<IQoAtomNumbering> numbering;
    Kelv::KelvCreateImpl(CLSID_QoAtomNumbering, nullptr, 0x15, IID_IQoAtomNumbering, numbering.ReceiveVoid(), true);
    Kelv::CheckNullDereference(numbering.get());
    Check(numbering->Initialise(numberingSource.Get(), 1));
    return numbering;
}

void CZelmFileWriter::WriteLibraryNote(const std::string& folder)
{
    const std::string path = folder + CZelmRunInfo::SelectedLibraryFileName();
    const bool standard = m_runInfo.IsStandardLibrary();
    // A library outside the project fails before the note is begun, so that
    // no note naming half a library is left behind.
    const std::string relative = standard ? std::string() : CheckPathInProject(m_runInfo.GetLibraryPath(), m_root);
    {
        CReplaceFile replaced(path, ProjectFolderForWrites(m_root));
        std::ofstream& note = OpenSideFile(replaced, path);
        note << m_runInfo.GetLibraryName() << "\n";
        if (standard) {
            note << CZelmRunInfo::StandardLibraryMarker() << "\n";
        } else {
            note << "Not" << CZelmRunInfo::StandardLibraryMarker() << "\n";
            note << relative << "\n";
        }
        CommitSideFile(replaced, path);
    }
    MarkFileHidden(m_root, path);
}

void CZelmFileWriter::WriteKPointFile(const std::string& deckPath)
{
    const std::string path = PathUtilities::ExtensionReplaced(deckPath, ".kptaux");
    {
        CReplaceFile replaced(path, ProjectFolderForWrites(m_root));
        m_runInfo.WriteKPointFile(OpenSideFile(replaced, path));
        CommitSideFile(replaced, path);
    }
    MarkFileHidden(m_root, path);
}

#include "readers/ZelmGeomOptTrjDataProvider.h"

#include <cmath>

#include "dravix/dravix.h"
#include "common/RoundToNearest.h"
#include "kelv/KelvErrors.h"
#include "qorqm/DMUtilities.h"
#include "qorqm/DiskUtilities.h"
#include "qorqm/LatticeUtilities.h"
#include "qorvira/QorViraUtilities.h"
#include "qorvira/ScopeUtilityHelper.h"
#include "setup/SurfaceRunInfo.h"
#include "setup/ZelmRunInfo.h"

namespace {

const char* const Inconsistent = "Inconsistent number of atoms in frames of ZELM arc file.";

template <class F>
HRESULT Guarded(F&& body)
{
    return Kelv::ComMethod(GUID_NULL, GUID_NULL, std::forward<F>(body));
}

void Host(HRESULT hr)
{
    if (FAILED(hr)) {
        KelvResult::SetLastError(hr);
        throw KelvResult::LastErrorCheckNotS_OK();
    }
}

// A slot's failing result thrown with the text recorded for it.
void Check(HRESULT hr)
{
    Host(hr);
}

KelvComPtr<ISBScope> ModelOf(KelvComPtr<ISBDocumentRoot>& document)
{
    KelvComPtr<IUnknown> model;
    Host(document->get_ModelDocument(model.Receive()));
    return model.QueryInterface<ISBScope>();
}

// The document's symmetry parents in document order.
KelvComPtr<ISBScopeObjects> Parents(CScopeUtilityHelper& scopes, const KelvComPtr<ISBScope>& model, LONG& count)
{
    KelvComPtr<ISBScope> parents;
    Host(scopes->ApplyScopeProcessor(model.get(), KelvBSTR("Normalization:Model3d!SymmetryParent").Get(),
                                     parents.Receive()));
    Kelv::CheckNullDereference(parents.get());
    KelvComPtr<ISBScope> atoms;
    Host(scopes->ApplyScopeProcessor(parents.get(), KelvBSTR("Filter:Model3d!Atom").Get(), atoms.Receive()));
    Kelv::CheckNullDereference(atoms.get());
    KelvComPtr<ISBScopeObjects> objects;
    Host(atoms->get_Objects(objects.Receive()));
    Kelv::CheckNullDereference(objects.get());
    Host(objects->get_Count(&count));
    return objects;
}

KelvComPtr<ISDObject> ParentAt(const KelvComPtr<ISBScopeObjects>& parents, LONG k)
{
    KelvComPtr<IUnknown> item;
    Host(parents->Item(k, item.Receive()));
    return item.QueryInterface<ISDObject>();
}

// A parent's number of images, itself included; below 1 the walk over the
// archive positions would stand still or go back.
int Multiplicity(const KelvComPtr<ISDObject>& parent)
{
    KelvVariant value;
    LONG hint = -100;
    Host(parent->get_PropertyValue(KelvBSTR("SymmetryMultiplicity").Get(), &hint, value.Receive()));
    const LONG multiplicity = value.Long();
    if (multiplicity < 1)
        throw KelvResult(E_UNEXPECTED, "A symmetry parent of the document gives the symmetry multiplicity " +
                                           std::to_string(multiplicity) + ".");
    return static_cast<int>(multiplicity);
}

void RequireRoots(KelvComPtr<ISBContainerRoot>& root, KelvComPtr<ISBDocumentRoot>& document, const char* routine)
{
    if (!root)
        throw KelvResult(E_INVALIDARG, std::string("No value for ContainerRoot passed to ") + routine);
    if (!document)
        throw KelvResult(E_INVALIDARG, std::string("No value for DocumentRoot passed to ") + routine);
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

}  // namespace

CZelmGeomOptTrjDataProvider::CZelmGeomOptTrjDataProvider(const std::string& name, KelvComPtr<ISBContainerRoot>& root,
                                                         KelvComPtr<ISBDocumentRoot>& document, bool surface)
{
    m_name = name;
    if (surface) {
        CSurfaceRunInfo info(root, document);
        m_atomIndexMap.Copy(info.m_atomIndexMap);
    }
    Check(LoadFromArchive(name, root, document));
}

CZelmGeomOptTrjDataProvider::~CZelmGeomOptTrjDataProvider() = default;

double CZelmGeomOptTrjDataProvider::GetCellVolume()
{
    double a[3], b[3], c[3];
    const int periodicity = GetPeriodicity();
    if ((periodicity != 3 && periodicity != 2) || !GetCellVectors(a, b, c))
        return 0.0;
    if (periodicity == 3)
        return std::fabs(LatticeUtilities::VecTripleProduct(a, b, c));
    const xxPoint3d u(a[0], a[1], 0.0), v(b[0], b[1], 0.0);
    return u.Cross(v, true).Length();
}

double CZelmGeomOptTrjDataProvider::GetVolumeFactor()
{
    return 0.0;
}

double CZelmGeomOptTrjDataProvider::GetPressure()
{
    return m_pressure;
}

const std::vector<double>& CZelmGeomOptTrjDataProvider::GetSecondAtomVectors()
{
    return CZelmTrjDataProvider::GetSecondAtomVectors();
}

int CZelmGeomOptTrjDataProvider::GetPeriodicity()
{
    return m_output ? m_output->GetDimensionality() : 0;
}

int CZelmGeomOptTrjDataProvider::QueryOptionA()
{
    return 0;
}

int CZelmGeomOptTrjDataProvider::QueryOptionB()
{
    return 0;
}

HRESULT CZelmGeomOptTrjDataProvider::BeforeRestart()
{
    m_currentFrame = 0;
    return S_OK;
}

HRESULT CZelmGeomOptTrjDataProvider::Reset()
{
    return Guarded([&] {
        Check(CZelmTrjDataProvider::Reset());
        m_output.reset();
        m_pressure = 0.0;
        m_offsetsA.clear();
        m_offsetsB.clear();
        m_offsetsC.clear();
    });
}

HRESULT CZelmGeomOptTrjDataProvider::ReadAtomIds()
{
    return Guarded([&] {
        Check(CZelmTrjDataProvider::ReadAtomIds());
        m_atomIds.reserve(static_cast<std::size_t>(std::max(m_atomCount, 0)));
        while (m_atomIds.size() < static_cast<std::size_t>(std::max(m_atomCount, 0)))
            m_atomIds.push_back(static_cast<std::int32_t>(m_atomIds.size()));
    });
}

HRESULT CZelmGeomOptTrjDataProvider::LoadFromArchive(const std::string& name, KelvComPtr<ISBContainerRoot>& root,
                                                     KelvComPtr<ISBDocumentRoot>& document)
{
    return Guarded([&] {
        const std::string runName = name;  // Reset empties the provider's own name
        Check(Load(runName));
        Check(Reset());
        m_name = runName;
        ReadArchiveFrames(runName, root, document);
        LoadOutputInfo(runName);
        Check(ReadAtomIds());
    });
}

int CZelmGeomOptTrjDataProvider::GetSymmetryImages(KelvComPtr<ISBContainerRoot>& root,
                                                   KelvComPtr<ISBDocumentRoot>& document, std::vector<int>& strides)
{
    RequireRoots(root, document, "GetSymmetryImages");
    CScopeUtilityHelper scopes(root.get());
    KelvComPtr<ISBScope> model = ModelOf(document);
    VARIANT_BOOL symmetry = VARIANT_FALSE;
    Host(scopes->HasSymmetry(model.get(), &symmetry));
    strides.clear();
    if (symmetry == VARIANT_FALSE) {
        const ITrajectoryArchive* archive = GetArchive();
        if (archive == nullptr || archive->GetFrameCount() == 0)
            return 0;
        const std::size_t n = archive->GetFrame(0).positions.size();
        if (n > static_cast<std::size_t>(INT32_MAX))
            throw KelvResult(E_UNEXPECTED, Inconsistent);
        strides.assign(n, 1);
        return static_cast<int>(n);
    }
    LONG count = 0;
    KelvComPtr<ISBScopeObjects> parents = Parents(scopes, model, count);
    strides.assign(static_cast<std::size_t>(std::max<LONG>(count, 0)), -1);
    std::int64_t n = 0;
    for (LONG k = 1; k <= count; ++k) {
        strides[static_cast<std::size_t>(k - 1)] = Multiplicity(ParentAt(parents, k));
        n += strides[static_cast<std::size_t>(k - 1)];
    }
    if (n > INT32_MAX)
        throw KelvResult(E_UNEXPECTED, Inconsistent);
    return static_cast<int>(n);
}

void CZelmGeomOptTrjDataProvider::GetPositionOffsets(KelvComPtr<ISBContainerRoot>& root,
                                                     KelvComPtr<ISBDocumentRoot>& document,
                                                     const std::vector<std::array<double, 3>>& positions,
                                                     const xxMatrix3x3& cell)
{
    RequireRoots(root, document, "GetPositionOffsets");
    CScopeUtilityHelper scopes(root.get());
    KelvComPtr<ISBScope> model = ModelOf(document);
    LONG count = 0;
    KelvComPtr<ISBScopeObjects> parents = Parents(scopes, model, count);
    xxMatrix3x3 toFractional = cell;
    try {
        toFractional.Invert();
    } catch (const std::domain_error&) {
        throw KelvResult(E_UNEXPECTED, "ZELM arc file gives a cell without volume.");
    }
    std::size_t index = 0;
    for (LONG k = 1; k <= count; ++k) {
        KelvComPtr<ISDObject> parent = ParentAt(parents, k);
        if (index >= positions.size())
            throw KelvResult(E_UNEXPECTED, Inconsistent);
        const std::array<double, 3>& p = positions[index];
        const xxPoint3d f = toFractional * xxPoint3d(p[0], p[1], p[2]);
        const xxPoint3d d = DMUtilities::AtomUtilities::AtomFracCoord(parent);
        m_offsetsA.push_back(Nearest(d.x - f.x));
        m_offsetsB.push_back(Nearest(d.y - f.y));
        m_offsetsC.push_back(Nearest(d.z - f.z));
        index += static_cast<std::size_t>(Multiplicity(parent));
    }
}

void CZelmGeomOptTrjDataProvider::ReadArchiveFrames(const std::string& name, KelvComPtr<ISBContainerRoot>& root,
                                                    KelvComPtr<ISBDocumentRoot>& document)
{
    const RunOutputServices output = RunOutput();
    const int runType = output.scanRunType(name + CZelmRunInfo::OutputFileExtension());
    std::vector<int> strides;
    const int n = GetSymmetryImages(root, document, strides);
    m_atomCount = n;
    const std::size_t atoms = static_cast<std::size_t>(n);
    const ITrajectoryArchive* archive = GetArchive();
    const std::size_t frames = archive ? archive->GetFrameCount() : 0;
    if (frames > static_cast<std::size_t>(INT32_MAX))
        throw KelvResult(E_UNEXPECTED, Inconsistent);
    const double degrees = QorViraUtilities::DegreesPerRadian();
    // Room for every frame at once: room made a frame at a time would move
    // all the frames before it each time.
    m_x.reserve(m_x.size() + frames * atoms);
    m_y.reserve(m_y.size() + frames * atoms);
    m_z.reserve(m_z.size() + frames * atoms);
    for (std::size_t index = 0; index < frames; ++index) {
        const TrajectoryArchiveFrame frame = archive->GetFrame(index);
        const CLatticeInfo& lattice = frame.lattice;
        m_auxiliary.push_back(0.0);
        if (frame.positions.size() != atoms)
            throw KelvResult(E_UNEXPECTED, Inconsistent);
        m_time.push_back(frame.time);
        if (runType == 2) {
            m_energyTerm1.push_back(0.0);
            m_energyTerm2.push_back(frame.energy);
        } else {
            m_energyTerm1.push_back(frame.energy * 0.5);
            m_energyTerm2.push_back(frame.energy * 0.5);
        }

        double u[3][3] = {};
        const bool bulk = archive->Is3DPeriodic();
        // When both flags hold the cell lines are three-dimensional.
        if (archive->Is2DPeriodic() && !bulk) {
            double a[2] = {}, b[2] = {};
            LatticeUtilities::Zelm2DParamToCell(lattice.get_Cell_A(), lattice.get_Cell_B(),
                                                lattice.get_Cell_Alpha() / degrees, a, b);
            m_cell.insert(m_cell.end(), {a[0], a[1], 0.0, b[0], b[1], 0.0, 0.0, 0.0, 1.0});
        }
        if (bulk) {
            LatticeUtilities::Zelm3DParamToCell(lattice.get_Cell_A(), lattice.get_Cell_B(), lattice.get_Cell_C(),
                                                lattice.get_Cell_Alpha() / degrees, lattice.get_Cell_Beta() / degrees,
                                                lattice.get_Cell_Gamma() / degrees, u[0], u[1], u[2]);
            for (const double* v : u)
                m_cell.insert(m_cell.end(), v, v + 3);
            if (index == 0) {
                const xxMatrix3x3 cell(u[0][0], u[1][0], u[2][0], u[0][1], u[1][1], u[2][1], u[0][2], u[1][2],
                                       u[2][2]);
                GetPositionOffsets(root, document, frame.positions, cell);
            }
        }
        // Take position 0, then after the k-th taken position move on by
        // strides[k].
        const std::size_t start = m_x.size();
        std::size_t k = 0;
        for (std::size_t at = 0; at < frame.positions.size() && k < strides.size();
             at += static_cast<std::size_t>(strides[k++])) {
            std::array<double, 3> p = frame.positions[at];
            if (bulk) {
                if (k >= m_offsetsA.size())
                    throw KelvResult(E_UNEXPECTED, Inconsistent);
                const int o[3] = {m_offsetsA[k], m_offsetsB[k], m_offsetsC[k]};
                for (int axis = 0; axis < 3; ++axis)
                    p[axis] += o[0] * u[0][axis] + o[1] * u[1][axis] + o[2] * u[2][axis];
            }
            m_x.push_back(p[0]);
            m_y.push_back(p[1]);
            m_z.push_back(p[2]);
        }
        // The parents first, then zeros up to the frame's atom count.
        m_x.resize(start + atoms, 0.0);
        m_y.resize(start + atoms, 0.0);
        m_z.resize(start + atoms, 0.0);
    }
    m_frameCount = static_cast<std::int32_t>(frames);
    m_positions.assign(3 * atoms, 0.0);
}

void CZelmGeomOptTrjDataProvider::LoadOutputInfo(const std::string& name)
{
    const RunOutputServices output = RunOutput();
    const std::string path = name + CZelmRunInfo::OutputFileExtension();
    m_pressure = output.readPressure(path);
    m_output = output.openOptimisationOutput(path);
}

CZelmGeomOptTrjDataProvider* CreateZelmGeomOptTrjDataProvider(const std::string& name,
                                                              KelvComPtr<ISBContainerRoot>& root,
                                                              KelvComPtr<ISBDocumentRoot>& document, bool surface)
{
    if (!DiskUtilities::FileExists(name + CZelmRunInfo::ArchiveFileExtension()) ||
        !DiskUtilities::FileExists(name + CZelmRunInfo::OutputFileExtension()))
        return nullptr;
    return new CZelmGeomOptTrjDataProvider(name, root, document, surface);
}

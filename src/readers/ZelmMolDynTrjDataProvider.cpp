#include "readers/ZelmMolDynTrjDataProvider.h"
#include "qorqm/MessageText.h"

#include <unistd.h>

#include "com/regularfile.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "kelv/KelvErrors.h"
#include "qorqm/DiskUtilities.h"
#include "qorqm/LatticeUtilities.h"
#include "qorvira/QorViraUtilities.h"
#include "readers/ZelmTrajectoryReader.h"
#include "setup/ZelmRunInfo.h"

namespace {

template <class F>
HRESULT Guarded(F&& body)
{
    return Kelv::ComMethod(GUID_NULL, GUID_NULL, std::forward<F>(body));
}

void Check(HRESULT hr)
{
    if (FAILED(hr)) {
        KelvResult::SetLastError(hr);
        throw KelvResult::LastErrorCheckNotS_OK();
    }
}

}  // namespace

int CZelmMolDynTrjDataProvider::WholeCellCoreCount(int cores, int shells, int irreducible, int total)
{
    if (irreducible < 1 || total <= irreducible)
        return cores;
    // Without shells every site of the whole cell is an atom; with a shell
    // on every core the sites pair up. Otherwise the output does not tell
    // how many of the cell's sites are cores.
    if (shells == 0)
        return total;
    if (shells == cores && total % 2 == 0)
        return total / 2;
    throw KelvResult(E_UNEXPECTED, "The ZELM output lists the asymmetric unit (" + std::to_string(irreducible) +
                                       " of " + std::to_string(total) +
                                       " atoms and shells) of a structure whose cores and shells it does not "
                                       "count for the whole cell: the atoms of the ZELM trajectory file cannot "
                                       "be matched to the structure.");
}

CZelmMolDynTrjDataProvider* CZelmMolDynTrjDataProvider::Create(const std::string& name)
{
    if (!DiskUtilities::FileExists(name + CZelmRunInfo::OutputFileExtension()) ||
        !DiskUtilities::FileExists(name + CZelmRunInfo::TrajectoryFileExtension()))
        return nullptr;
    return new CZelmMolDynTrjDataProvider(name);
}

CZelmMolDynTrjDataProvider::CZelmMolDynTrjDataProvider(const std::string& name)
{
    m_name = name;
    Check(Load(name));
}

CZelmMolDynTrjDataProvider::~CZelmMolDynTrjDataProvider() = default;

double CZelmMolDynTrjDataProvider::GetCellVolume()
{
    const std::size_t f = FrameIndex();
    if (m_output) {
        const std::vector<double>& volumes = m_output->GetCellVolumes();
        if (f < volumes.size())
            return volumes[f];
    }
    double a[3], b[3], c[3];
    if (GetPeriodicity() == 3 && GetCellVectors(a, b, c))
        return std::fabs(LatticeUtilities::VecTripleProduct(a, b, c));
    return 0.0;
}

void CZelmMolDynTrjDataProvider::GetSixComponentValueA(double* values)
{
    Kelv::CheckNullDereference(values);
    const std::size_t f = FrameIndex();
    if (!m_output) {
        std::fill_n(values, 6, 0.0);
        return;
    }
    const std::vector<double>& pressures = m_output->GetPressureFileValues();
    for (std::size_t k = 0; k < 6; ++k)
        values[k] = 6 * f + 5 < pressures.size() ? pressures[6 * f + k] : 0.0;
}

double CZelmMolDynTrjDataProvider::GetVolumeFactor()
{
    const std::size_t f = FrameIndex();
    if (!m_output)
        return 0.0;
    const std::vector<double>& pressures = m_output->GetPressures();
    return f < pressures.size() ? pressures[f] : 0.0;
}

double CZelmMolDynTrjDataProvider::GetPressure()
{
    return m_output ? m_output->GetConfigurationPressure() : 0.0;
}

int CZelmMolDynTrjDataProvider::GetPeriodicity()
{
    return m_output ? m_output->GetDimensionality() : 0;
}

int CZelmMolDynTrjDataProvider::QueryOptionA()
{
    return 0;
}

int CZelmMolDynTrjDataProvider::QueryOptionB()
{
    return 0;
}

HRESULT CZelmMolDynTrjDataProvider::Load(const std::string& name)
{
    return Guarded([&] {
        const std::string runName = name;  // Reset empties the provider's own name
        // A run without an archive still has its trajectory.
        CZelmTrjDataProvider::Load(runName);
        Check(Reset());
        m_name = runName;
        m_output = RunOutput().openDynamicsOutput(OutputFilePath());
        Kelv::CheckNullDereference(m_output.get());
        LoadTrajectory();
        Check(ReadAtomIds());
    });
}

HRESULT CZelmMolDynTrjDataProvider::Reset()
{
    return Guarded([&] {
        Check(CZelmTrjDataProvider::Reset());
        m_output.reset();
        m_cellFlag = 0;
    });
}

void CZelmMolDynTrjDataProvider::LoadSecondAtomVectors()
{
    const std::size_t n = static_cast<std::size_t>(std::max(m_atomCount, 0));
    const std::size_t k = AtomOffset();
    m_secondAtomVectors.resize(3 * n);
    for (std::size_t j = 0; j < n; ++j) {
        m_secondAtomVectors[3 * j] = At(m_u, k + j);
        m_secondAtomVectors[3 * j + 1] = At(m_v, k + j);
        m_secondAtomVectors[3 * j + 2] = At(m_w, k + j);
    }
    RealignAtomVectors(m_secondAtomVectors);
}

bool CZelmMolDynTrjDataProvider::FinalCell(double& a, double& b, double& c, double& alpha, double& beta,
                                           double& gamma)
{
    const double none = std::numeric_limits<double>::quiet_NaN();
    a = b = c = alpha = beta = gamma = none;
    if (GetPeriodicity() == 3)
        RunOutput().readCellParameters(a, b, c, alpha, beta, gamma, OutputFilePath());
    else
        RunOutput().readSurfaceCellParameters(a, b, alpha, OutputFilePath());
    if (!std::isnan(a))
        return true;
    const ITrajectoryArchive* archive = GetArchive();
    if (archive == nullptr || archive->GetFrameCount() == 0)
        return false;
    const CLatticeInfo lattice = archive->GetFrame(archive->GetFrameCount() - 1).lattice;
    a = lattice.get_Cell_A();
    b = lattice.get_Cell_B();
    c = lattice.get_Cell_C();
    alpha = lattice.get_Cell_Alpha();
    beta = lattice.get_Cell_Beta();
    gamma = lattice.get_Cell_Gamma();
    return true;
}

CZelmMolDynTrjDataProvider::TrajectoryHeader CZelmMolDynTrjDataProvider::ReadTrajectoryHeader(
    const IDynamicsRunOutput& output, const std::string& path)
{
    TrajectoryHeader header;
    header.cellFlag = output.GetEnsemble() == 3 ? 1 : 0;
    int status = 1;
    Get_Zelm_Trajectory_File_Info(path.c_str(), header.cellFlag, &header.atoms, &header.frames, &header.version,
                                  &status);
    if (status != 0 || header.atoms < 1 || header.frames < 1) {
        // The reader's status says no more than "cannot be read": name what
        // stands in place of the file, if that was why.
        std::string why;
        const int fd = RegularFile::Open(path, why);
        if (fd >= 0)
            ::close(fd);
        throw KelvResult(E_UNEXPECTED, RegularFile::Failure("Failed to read ZELM trajectory file header.", path,
                                                            fd >= 0 ? RegularFile::NotThere : why));
    }
    // The frames are read against the header's format version: one that is
    // no number matches none, and no frame could be read.
    if (std::isnan(header.version))
        throw KelvResult(E_UNEXPECTED, "Failed to read ZELM trajectory file header: \"" + MessageText::Excerpt(path) +
                                           "\" gives a format version that is not a number.");
    header.cores = WholeCellCoreCount(output.GetCoreCount(), output.GetShellCount(), output.GetIrreducibleCount(),
                                      output.GetTotalCount());
    if (header.cores < 1 || header.cores > header.atoms)
        throw KelvResult(E_UNEXPECTED, "The ZELM output gives " + std::to_string(header.cores) +
                                           " atoms, the ZELM trajectory file " + std::to_string(header.atoms) + ".");
    return header;
}

void CZelmMolDynTrjDataProvider::CheckTrajectoryFile(const std::string& name)
{
    const std::unique_ptr<IDynamicsRunOutput> output =
        RunOutput().openDynamicsOutput(name + CZelmRunInfo::OutputFileExtension());
    Kelv::CheckNullDereference(output.get());
    ReadTrajectoryHeader(*output, name + CZelmRunInfo::TrajectoryFileExtension());
}

void CZelmMolDynTrjDataProvider::LoadTrajectory()
{
    const TrajectoryHeader header = ReadTrajectoryHeader(*m_output, TrajectoryFilePath());
    const std::string path = TrajectoryFilePath();
    m_cellFlag = header.cellFlag;
    m_frameCount = header.frames;
    const int n = header.atoms;
    const double version = header.version;
    const int cores = header.cores;
    int status = 0;
    m_atomCount = cores;
    const std::size_t frames = static_cast<std::size_t>(m_frameCount);
    const std::size_t perFrame = static_cast<std::size_t>(n);
    const std::size_t atoms = static_cast<std::size_t>(cores);

    m_time.assign(frames, 0.0);
    m_energyTerm1.assign(frames, 0.0);
    m_energyTerm2.assign(frames, 0.0);
    m_auxiliary.assign(frames, 0.0);
    std::vector<double> arrays[6];
    for (std::vector<double>& array : arrays)
        array.assign(frames * perFrame, 0.0);
    m_cell.assign(9 * frames, 0.0);
    m_cellParameters.assign(6 * frames, 0.0);
    Read_Zelm_Trajectory_File(path.c_str(), m_cellFlag, n, m_frameCount, version, m_time.data(), m_energyTerm1.data(),
                              m_energyTerm2.data(), m_auxiliary.data(), arrays[0].data(), arrays[1].data(),
                              arrays[2].data(), arrays[3].data(), arrays[4].data(), arrays[5].data(), m_cell.data(),
                              m_cellParameters.data(), &status);
    if (status != 0)
        throw KelvResult(E_UNEXPECTED, "Failed to read ZELM trajectory file data.");

    const int periodicity = GetPeriodicity();
    if ((periodicity == 3 || periodicity == 2) && m_cellFlag == 0) {
        double a, b, c, alpha, beta, gamma;
        if (!FinalCell(a, b, c, alpha, beta, gamma))
            throw KelvResult(E_UNEXPECTED, "Neither the ZELM output file nor the ZELM arc file gives the cell of the run.");
        const double degrees = QorViraUtilities::DegreesPerRadian();
        double frameCell[9] = {};
        bool made = false;
        if (periodicity == 3) {
            made = LatticeUtilities::Zelm3DParamToCell(a, b, c, alpha / degrees, beta / degrees, gamma / degrees,
                                                       frameCell, frameCell + 3, frameCell + 6);
        } else {
            double u[2] = {}, v[2] = {};
            made = LatticeUtilities::Zelm2DParamToCell(a, b, alpha / degrees, u, v);
            const double slab[9] = {u[0], u[1], 0.0, v[0], v[1], 0.0, 0.0, 0.0, 1.0};
            std::copy(slab, slab + 9, frameCell);
        }
        if (!made)
            throw KelvResult(E_UNEXPECTED, "The cell parameters of the run describe no cell.");
        m_cell.clear();
        m_cell.reserve(9 * frames);
        for (std::size_t i = 0; i < frames; ++i)
            m_cell.insert(m_cell.end(), frameCell, frameCell + 9);
    }

    m_positions.assign(3 * atoms, 0.0);
    m_secondAtomVectors.assign(3 * atoms, 0.0);
    m_thirdAtomVectors.clear();
    std::vector<double>* series[6] = {&m_x, &m_y, &m_z, &m_u, &m_v, &m_w};
    for (int k = 0; k < 6; ++k) {
        series[k]->assign(frames * atoms, 0.0);
        for (std::size_t i = 0; i < frames; ++i)
            std::copy_n(arrays[k].begin() + static_cast<std::ptrdiff_t>(i * perFrame), atoms,
                        series[k]->begin() + static_cast<std::ptrdiff_t>(i * atoms));
    }
}

#include "readers/ZelmTrjDataProvider.h"

#include <algorithm>
#include <cmath>
#include <fstream>

#include "com/regularfile.h"

#include "kelv/KelvErrors.h"
#include "kelv/KelvResult.h"
#include "qorqm/DiskUtilities.h"
#include "qorqm/LatticeUtilities.h"
#include "qorqm/PathUtilities.h"
#include "common/ParseField.h"
#include "setup/ZelmRunInfo.h"

namespace {

template <class F>
HRESULT Guarded(F&& body)
{
    return Kelv::ComMethod(GUID_NULL, GUID_NULL, std::forward<F>(body));
}

// Throws a failing result with the error text recorded for it.
void ThrowFailure(HRESULT hr)
{
    KelvResult::SetLastError(hr);
    throw KelvResult::LastErrorCheckNotS_OK();
}

}  // namespace

CZelmTrjDataProvider::CZelmTrjDataProvider(TrajectoryArchiveOpener openArchive)
    : m_openArchive(std::move(openArchive))
{
}

CZelmTrjDataProvider::~CZelmTrjDataProvider() = default;

bool CZelmTrjDataProvider::GoToFirstFrame()
{
    if (m_currentFrame > 0) {
        const HRESULT hr = Restart(m_name);
        if (FAILED(hr))
            ThrowFailure(hr);
    }
    return GoToNextFrame();
}

bool CZelmTrjDataProvider::GoToNextFrame()
{
    const HRESULT hr = Step();
    if (FAILED(hr))
        ThrowFailure(hr);
    return hr != S_FALSE;
}

const std::string& CZelmTrjDataProvider::GetName()
{
    return m_name;
}

int CZelmTrjDataProvider::GetCurrentFrame()
{
    return m_currentFrame;
}

int CZelmTrjDataProvider::GetAtomCount()
{
    return m_atomCount;
}

double CZelmTrjDataProvider::GetAuxiliaryValue()
{
    return At(m_auxiliary, FrameIndex());
}

double CZelmTrjDataProvider::GetTimeStep()
{
    const std::size_t f = FrameIndex();
    return f == 0 ? At(m_time, 0) - 0.0 : At(m_time, f) - At(m_time, f - 1);
}

double CZelmTrjDataProvider::GetTime()
{
    return At(m_time, FrameIndex());
}

double CZelmTrjDataProvider::GetEnergySum()
{
    return GetEnergyTerm2() + GetEnergyTerm1();
}

double CZelmTrjDataProvider::GetEnergyTerm1()
{
    return At(m_energyTerm1, FrameIndex());
}

double CZelmTrjDataProvider::GetEnergyTerm2()
{
    return At(m_energyTerm2, FrameIndex());
}

double CZelmTrjDataProvider::GetVolumeProduct()
{
    return GetVolumeFactor() * GetCellVolume();
}

void CZelmTrjDataProvider::GetCell(double* cell)
{
    Kelv::CheckNullDereference(cell);
    const int periodicity = GetPeriodicity();
    if (periodicity == 3)
        GetCell3D(cell);
    else if (periodicity == 2)
        GetCell2D(cell);
}

void CZelmTrjDataProvider::GetSixComponentValueA(double* values)
{
    Kelv::CheckNullDereference(values);
    for (int k = 0; k < 6; ++k)
        values[k] = 0.0;
}

void CZelmTrjDataProvider::GetSixComponentValueB(double* values)
{
    Kelv::CheckNullDereference(values);
    for (int k = 0; k < 6; ++k)
        values[k] = 0.0;
}

const std::vector<double>& CZelmTrjDataProvider::GetPositions()
{
    return m_positions;
}

const std::vector<double>& CZelmTrjDataProvider::GetThirdAtomVectors()
{
    return m_thirdAtomVectors;
}

const std::vector<double>& CZelmTrjDataProvider::GetSecondAtomVectors()
{
    return m_secondAtomVectors;
}

HRESULT CZelmTrjDataProvider::Load(const std::string& name)
{
    return Guarded([&] {
        const std::string path = name + CZelmRunInfo::ArchiveFileExtension();
        std::unique_ptr<ITrajectoryArchive> archive =
            m_openArchive ? m_openArchive(path, m_atomIndexMap) : OpenTrajectoryArchive(path, m_atomIndexMap);
        m_archive = std::move(archive);
    });
}

HRESULT CZelmTrjDataProvider::Restart(const std::string& name)
{
    return Guarded([&] {
        const std::string same = name;  // Load may reset the provider's own name
        HRESULT hr = BeforeRestart();
        if (SUCCEEDED(hr))
            hr = Load(same);
        return hr;
    });
}

HRESULT CZelmTrjDataProvider::BeforeRestart()
{
    return S_OK;
}

HRESULT CZelmTrjDataProvider::Reset()
{
    return Guarded([&] {
        m_name.clear();
        m_currentFrame = 0;
        m_atomIds.clear();
        m_atomCount = 0;
        m_frameCount = 0;
        for (std::vector<double>* series : {&m_time, &m_energyTerm1, &m_energyTerm2, &m_auxiliary, &m_x, &m_y, &m_z,
                                            &m_u, &m_v, &m_w, &m_cell, &m_cellParameters, &m_secondAtomVectors,
                                            &m_positions, &m_thirdAtomVectors})
            series->clear();
    });
}

HRESULT CZelmTrjDataProvider::Step()
{
    return Guarded([&]() -> HRESULT {
        if (m_currentFrame <= m_frameCount)
            ++m_currentFrame;
        if (m_currentFrame > m_frameCount)
            return S_FALSE;
        LoadSecondAtomVectors();
        LoadFramePositions();
        LoadThirdAtomVectors();
        return S_OK;
    });
}

HRESULT CZelmTrjDataProvider::ReadAtomIds()
{
    return Guarded([&] {
        m_atomIds.clear();
        m_atomIds.reserve(static_cast<std::size_t>(std::max(m_atomCount, 0)));
        // The deck writer writes the list as the run's base name + ".trjaux".
        const std::string path = m_name + ".trjaux";
        if (!DiskUtilities::FileExists(path)) {
            for (std::int32_t i = 0; i < m_atomCount; ++i)
                m_atomIds.push_back(i + 1);
            return;
        }
        RegularFile::InputFile file(PathUtilities::ToNative(path));
        if (!file.IsOpen())
            throw KelvResult(E_UNEXPECTED, file.Failure("Unable to open file: " + path));
        std::string line;
        while (std::getline(file, line)) {
            if (!line.empty() && line[0] == '#')
                continue;
            m_atomIds.push_back(ParseField<std::int32_t>(line, 0));
        }
    });
}

void CZelmTrjDataProvider::LoadFramePositions()
{
    const std::size_t n = static_cast<std::size_t>(std::max(m_atomCount, 0));
    const std::size_t k = AtomOffset();
    m_positions.resize(3 * n);
    for (std::size_t i = 0; i < n; ++i) {
        m_positions[3 * i] = At(m_x, k + i);
        m_positions[3 * i + 1] = At(m_y, k + i);
        m_positions[3 * i + 2] = At(m_z, k + i);
    }
    RealignAtomVectors(m_positions);
}

void CZelmTrjDataProvider::LoadSecondAtomVectors()
{
}

void CZelmTrjDataProvider::LoadThirdAtomVectors()
{
}

std::string CZelmTrjDataProvider::ArchiveFilePath() const
{
    return m_name + CZelmRunInfo::ArchiveFileExtension();
}

std::string CZelmTrjDataProvider::TrajectoryFilePath() const
{
    return m_name + CZelmRunInfo::TrajectoryFileExtension();
}

std::string CZelmTrjDataProvider::OutputFilePath() const
{
    return m_name + CZelmRunInfo::OutputFileExtension();
}

void CZelmTrjDataProvider::RealignAtomVectors(std::vector<double>& triples)
{
    const int periodicity = GetPeriodicity();
    double a[3], b[3], c[3];
    if (periodicity == 3) {
        double rotation[3][3];
        if (!GetCellVectorsAndRotation(a, b, c, rotation))
            return;
        for (std::size_t i = 0; i + 2 < triples.size(); i += 3)
            LatticeUtilities::RealignVector(&triples[i], rotation);
    } else if (periodicity == 2) {
        if (!GetCellVectors(a, b, c))
            return;
        // The surface cell's angle; its first vector lies along x.
        const double alpha = std::atan2(a[0] * b[1] - a[1] * b[0], a[0] * b[0] + a[1] * b[1]);
        const double sine = std::sin(alpha);
        const double cosine = std::cos(alpha);
        for (std::size_t i = 0; i + 2 < triples.size(); i += 3) {
            const double x = triples[i], y = triples[i + 1], z = triples[i + 2];
            triples[i] = z;
            triples[i + 1] = x * sine - y * cosine;
            triples[i + 2] = x * cosine + y * sine;
        }
    }
}

bool CZelmTrjDataProvider::GetCellVectors(double a[3], double b[3], double c[3])
{
    for (int k = 0; k < 3; ++k)
        a[k] = b[k] = c[k] = 0.0;
    const std::size_t start = FrameIndex() * 9;
    if (m_cell.size() < start + 9)
        return false;
    for (int k = 0; k < 3; ++k) {
        a[k] = m_cell[start + k];
        b[k] = m_cell[start + 3 + k];
        c[k] = m_cell[start + 6 + k];
    }
    return true;
}

bool CZelmTrjDataProvider::GetCellVectorsAndRotation(double a[3], double b[3], double c[3], double rotation[3][3])
{
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j)
            rotation[i][j] = 0.0;
    }
    if (GetPeriodicity() != 3 || !GetCellVectors(a, b, c)) {
        for (int k = 0; k < 3; ++k)
            a[k] = b[k] = c[k] = 0.0;
        return false;
    }
    LatticeUtilities::GetRotationToStandard(a, b, c, rotation);
    return true;
}

void CZelmTrjDataProvider::GetCell3D(double* cell)
{
    double a[3], b[3], c[3], rotation[3][3];
    if (!GetCellVectorsAndRotation(a, b, c, rotation))
        return;
    LatticeUtilities::RealignCell(a, b, c, rotation);
    const double six[6] = {a[0], b[1], c[2], b[2], a[2], a[1]};
    for (int k = 0; k < 6; ++k)
        cell[k] = six[k];
}

void CZelmTrjDataProvider::GetCell2D(double* cell)
{
    double a[3], b[3], c[3];
    if (!GetCellVectors(a, b, c))
        return;
    const double lengthA = std::sqrt(a[0] * a[0] + a[1] * a[1]);
    const double lengthB = std::sqrt(b[0] * b[0] + b[1] * b[1]);
    if (!(lengthA > 0.0) || !(lengthB > 0.0))
        return;  // surface vectors that make no cell
    const double cosine = (a[0] * b[0] + a[1] * b[1]) / (lengthA * lengthB);
    const double six[6] = {1.0, lengthA * std::sqrt(std::max(0.0, 1.0 - cosine * cosine)), lengthB, lengthA * cosine, 0.0, 0.0};
    for (int k = 0; k < 6; ++k)
        cell[k] = six[k];
}

std::size_t CZelmTrjDataProvider::FrameIndex() const
{
    if (m_currentFrame < 1 || m_currentFrame > m_frameCount)
        throw KelvResult(E_UNEXPECTED, "No trajectory frame is current.");
    return static_cast<std::size_t>(m_currentFrame - 1);
}

double CZelmTrjDataProvider::At(const std::vector<double>& series, std::size_t index)
{
    if (index >= series.size())
        throw KelvResult(E_UNEXPECTED, "The trajectory holds no value for the current frame.");
    return series[index];
}

std::size_t CZelmTrjDataProvider::AtomOffset() const
{
    return FrameIndex() * static_cast<std::size_t>(std::max(m_atomCount, 0));
}

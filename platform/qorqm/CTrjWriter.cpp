#include "qorqm/CTrjWriter.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "kelv/KelvErrors.h"
#include "kelv/KelvResult.h"
#include "qorqm/PathUtilities.h"
#include "qorqm/TrjFile.h"

namespace {

// A temporary file beside the target; removed unless it was renamed.
class TemporaryFile {
public:
    explicit TemporaryFile(const std::string& target)
    {
        std::string pattern = target + ".tmp-XXXXXX";
        const int fd = mkstemp(pattern.data());
        // The file is an ordinary document file, not a private one.
        if (fd >= 0)
            fchmod(fd, 0644);
        if (fd < 0 || (m_file = fdopen(fd, "wb")) == nullptr) {
            if (fd >= 0)
                close(fd);
            throw KelvResult(HRESULT_FROM_WIN32(ERROR_CANTWRITE),
                             "The trajectory file \"" + target + "\" cannot be written.");
        }
        m_path = pattern;
        m_target = target;
    }
    ~TemporaryFile()
    {
        if (m_file != nullptr)
            std::fclose(m_file);
        if (!m_path.empty())
            std::remove(m_path.c_str());
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    void Write(const std::string& bytes)
    {
        if (std::fwrite(bytes.data(), 1, bytes.size(), m_file) != bytes.size())
            Failed();
    }
    void Commit()
    {
        const int closed = std::fclose(m_file);
        m_file = nullptr;
        if (closed != 0 || std::rename(m_path.c_str(), m_target.c_str()) != 0)
            Failed();
        m_path.clear();
    }

private:
    [[noreturn]] void Failed() const
    {
        throw KelvResult(HRESULT_FROM_WIN32(ERROR_CANTWRITE), "The trajectory file \"" + m_target + "\" cannot be written.");
    }
    std::FILE* m_file = nullptr;
    std::string m_path;
    std::string m_target;
};

void CheckList(const std::vector<double>& values, std::size_t expected, bool required, const char* what, int frame)
{
    if (values.size() == expected || (!required && values.empty()))
        return;
    throw KelvResult(E_UNEXPECTED, "Frame " + std::to_string(frame) + " of the trajectory holds " +
                                       std::to_string(values.size()) + " " + what + " values, not " +
                                       std::to_string(expected) + " (three for each atom).");
}

TrjFrame CurrentFrame(CTrjDataProvider& provider, std::size_t values)
{
    TrjFrame f;
    f.frame = provider.GetCurrentFrame();
    f.periodicity = provider.GetPeriodicity();
    f.time = provider.GetTime();
    f.timeStep = provider.GetTimeStep();
    f.auxiliaryValue = provider.GetAuxiliaryValue();
    f.energySum = provider.GetEnergySum();
    f.energyTerm1 = provider.GetEnergyTerm1();
    f.energyTerm2 = provider.GetEnergyTerm2();
    f.volumeProduct = provider.GetVolumeProduct();
    f.cellVolume = provider.GetCellVolume();
    f.volumeFactor = provider.GetVolumeFactor();
    f.pressure = provider.GetPressure();
    provider.GetSixComponentValueA(f.valuesA.data());
    provider.GetSixComponentValueB(f.valuesB.data());
    f.hasCell = f.periodicity == 3 || f.periodicity == 2;
    if (f.hasCell)
        provider.GetCell(f.cell.data());
    f.positions = provider.GetPositions();
    f.secondAtomVectors = provider.GetSecondAtomVectors();
    f.thirdAtomVectors = provider.GetThirdAtomVectors();
    CheckList(f.positions, values, true, "position", f.frame);
    CheckList(f.secondAtomVectors, values, false, "second vector", f.frame);
    CheckList(f.thirdAtomVectors, values, false, "third vector", f.frame);
    return f;
}

}  // namespace

HRESULT CTrjWriter::WriteTrajFile(CTrjDataProvider& provider, const KelvBSTR& name)
{
    return Kelv::ComMethod(GUID_NULL, GUID_NULL, [&] {
        std::string path = PathUtilities::ToNative(name.ToTString());
        if (!PathUtilities::MatchesExtension(path, ".trj"))
            path += ".trj";
        TemporaryFile file(path);

        TrjContents header;
        std::uint32_t frames = 0;
        std::size_t values = 0;
        for (bool more = provider.GoToFirstFrame(); more; more = provider.GoToNextFrame()) {
            if (frames == 0) {
                header.name = provider.GetName();
                header.atomCount = provider.GetAtomCount();
                header.optionA = provider.QueryOptionA();
                header.optionB = provider.QueryOptionB();
                if (header.atomCount < 0)
                    throw KelvResult(E_UNEXPECTED, "The trajectory gives a negative atom count.");
                values = 3 * static_cast<std::size_t>(header.atomCount);
                file.Write(TrjFile::EncodeHeader(header));
            }
            file.Write(TrjFile::EncodeFrame(CurrentFrame(provider, values)));
            ++frames;
        }
        if (frames == 0)
            file.Write(TrjFile::EncodeHeader(header));
        file.Write(TrjFile::EncodeEnd(frames));
        file.Commit();
    });
}

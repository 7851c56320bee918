#include "qorqm/CTrjWriter.h"

#include <string>

#include "kelv/KelvErrors.h"
#include "kelv/KelvResult.h"
#include "qorqm/MessageText.h"
#include "qorqm/PathUtilities.h"
#include "qorqm/ReplaceFile.h"
#include "qorqm/TrjFile.h"

namespace {

std::string TrajFilePath(const KelvBSTR& name)
{
    std::string path = PathUtilities::ToNative(name.ToTString());
    if (!PathUtilities::MatchesExtension(path, ".trj"))
        path += ".trj";
    return path;
}

[[noreturn]] void CannotWrite(const std::string& target, const std::string& why)
{
    throw KelvResult(HRESULT_FROM_WIN32(ERROR_CANTWRITE), "The trajectory file \"" + MessageText::Excerpt(target) +
                                                              "\" cannot be written" +
                                                              (why.empty() ? std::string(".") : ": " + why + "."));
}

// The file under a temporary name beside the target (CReplaceFile): synced
// and renamed into place by Commit, removed on every other way out.
class TemporaryFile {
public:
    TemporaryFile(const std::string& target, const std::string& project) : m_file(target, project), m_target(target)
    {
        if (!m_file.IsOpen())
            Failed();
    }

    void Write(const std::string& bytes)
    {
        if (!m_file.Stream().write(bytes.data(), static_cast<std::streamsize>(bytes.size()))) {
            m_file.Commit();  // fails on the failed stream, with the system's reason
            Failed();
        }
    }
    void Commit()
    {
        if (!m_file.Commit())
            Failed();
    }

private:
    [[noreturn]] void Failed() const { CannotWrite(m_target, m_file.Error()); }
    CReplaceFile m_file;
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

HRESULT CTrjWriter::WriteTrajFile(CTrjDataProvider& provider, const KelvBSTR& name, const std::string& project)
{
    return Kelv::ComMethod(GUID_NULL, GUID_NULL, [&] {
        const std::string path = TrajFilePath(name);
        TemporaryFile file(path, project);

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

void CTrjWriter::CheckTrajFilePlace(const KelvBSTR& name, const std::string& project)
{
    const std::string path = TrajFilePath(name);
    const std::string why = CReplaceFile::WhyRefused(path, project);
    if (!why.empty())
        CannotWrite(path, why);
}

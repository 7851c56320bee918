#include "setup/KeywordLines.h"

#include "kelv/kelv.h"

#include <cmath>

namespace ZelmLines {

bool WantsPhonons(const RunSettingsView& s)
{
    return s.Flag("RequestPhonons") && s.Flag("Phonon") && s.Periodic();
}

bool WantsOptics(const RunSettingsView& s)
{
    return s.Flag("RequestOptics") && s.Flag("Phonon") && s.Periodic();
}

bool IsConstantPressureDynamics(const RunSettingsView& s)
{
    return s.Task() == TaskDynamics && s.Long("ensemble") == 3 && s.Periodic();
}

bool WantsPhononDispersion(const RunSettingsView& s)
{
    if (!WantsPhonons(s))
        return false;
    const long type = s.Long("PhononType");
    return (type == 1 || type == 3) && s.CanDoPhononNonGamma();
}

bool WantsPhononDos(const RunSettingsView& s)
{
    if (!WantsPhonons(s))
        return false;
    const long type = s.Long("PhononType");
    return (type == 2 || type == 3) && s.CanDoPhononNonGamma();
}

std::string Keywords(const RunSettingsView& s)
{
    std::string text;
    const long task = s.Task();
    switch (task) {
    case TaskEnergy:
        text = "grad conv ";
        break;
    case TaskGeomOpt:
        text = "opti ";
        if (s.Periodic()) {
            if (s.Flag("conp"))
                text += "conp ";
            if (s.Flag("conv"))
                text += "conv ";
        }
        break;
    case TaskDynamics: {
        text = "md ";
        if (s.Periodic()) {
            const long ensemble = s.Long("ensemble");
            if (ensemble == 3)
                text += "conp ";
            else if (ensemble == 1 || ensemble == 2)
                text += "conv ";
        }
        break;
    }
    case TaskFit:
        text = "fit libff libd ";
        text += s.Periodic() ? "conp " : "conv ";
        text += s.Flag("RelaxedFit") ? "rela opti " : "simu ";
        break;
    case TaskSurface:
        return "opti conv nomod qok ";
    default:
        text = "grad ";
        break;
    }
    return text + "conse qok nomod ";
}

std::string PropertyKeywords(const RunSettingsView& s, bool spatial)
{
    std::string text = spatial ? "pres spat " : "pres ";
    if (s.Flag("Lattice_properties") && s.Periodic())
        text += "prop ";
    if (s.Flag("Phonon")) {
        text += "phon nodens ";
        if (WantsOptics(s))
            text += "inten ";
        const bool dos = WantsPhononDos(s);
        if (WantsPhononDispersion(s) || dos)
            text += "nofreq ";
        if (dos)
            text += "broa ";
    }
    if (s.Flag("Potentials"))
        text += "pot ";
    if (s.Flag("Electric_field_gradient"))
        text += "efg ";
    const std::string library = s.LibraryName();
    if (library == "dreiding" || library == "uff")
        text += "noauto ";
    return text;
}

std::string EnsembleName(long ensemble)
{
    if (ensemble == 2)
        return "nvt";
    if (ensemble == 3)
        return "npt";
    return "nve";
}

std::string EnsembleParameters(const RunSettingsView& s)
{
    const long ensemble = s.Long("ensemble");
    if (ensemble == 2)
        return KelvFormat(" %1") << s.Double("ensemble_thermostat");
    if (ensemble == 3)
        return std::string(KelvFormat(" %1") << s.Double("ensemble_thermostat")) +
               std::string(KelvFormat(" %1") << s.Double("ensemble_barostat"));
    return std::string();
}

namespace {

std::string GeomOptLine(const RunSettingsView& s)
{
    if (s.Periodic() && s.Flag("conp"))
        return KelvFormat("pressure %1 GPa") << s.Double("geometry_opt_pressure");
    return std::string();
}

std::string DynamicsLines(const RunSettingsView& s)
{
    const long ensemble = s.Long("ensemble");
    std::string text = "ensemble " + EnsembleName(ensemble) + EnsembleParameters(s) + "\n";
    const auto temperature = [&s] {
        return std::string(KelvFormat("temperature %1 K") << std::fixed << s.Double("ensemble_temperature")) + "\n";
    };
    if (ensemble == 1 || ensemble == 2) {
        text += temperature();
    } else if (ensemble == 3) {
        text += std::string(KelvFormat("pressure %1 GPa") << std::fixed << s.Double("dynamics_pressure")) + "\n";
        text += temperature();
    }
    text += "\n";
    const double timestep = s.Double("timestep");
    text += std::string(KelvFormat("equilibration %1 ps") << s.Double("equilibration")) + "\n";
    text += std::string(KelvFormat("timestep %1 fs") << timestep) + "\n";
    const double production = static_cast<double>(s.Long("number_of_steps")) * timestep / 1000.0;
    text += std::string(KelvFormat("production %1 ps") << production) + "\n";
    text += std::string(KelvFormat("write %1") << s.Long("write")) + "\n";
    text += std::string(KelvFormat("sample %1") << s.Long("sample")) + "\n";
    return text;
}

} // namespace

std::string TaskOptions(const RunSettingsView& s)
{
    switch (s.Task()) {
    case TaskGeomOpt:
        return GeomOptLine(s);
    case TaskDynamics:
        return DynamicsLines(s);
    default:
        return std::string();
    }
}

std::string FrequencyRangeLine(const RunSettingsView& s)
{
    if (!(s.Periodic() && s.Flag("Phonon") && WantsOptics(s)))
        return std::string();
    const double initial = s.Double("InitialFrequency");
    const double final = s.Double("FinalFrequency");
    const double step = s.Double("FrequencyStep");
    if (!(step > 0.0))
        throw KelvResult(E_UNEXPECTED, "Negative frequency step is not allowed.");
    const double lower = initial < final ? initial : final;
    // The engine counts its frequency points in a 32-bit integer, and no
    // spectrum needs anywhere near a million of them (the optics charts draw
    // 2001): a range that would take more steps (a tiny step, or a frequency
    // that is no number) is refused before the count can overflow.
    const double count = std::trunc(std::fabs(final - initial) / step);
    if (!(count <= static_cast<double>(kMaxFrequencySteps)))
        throw KelvResult(E_UNEXPECTED, KelvFormat("The frequency step is too small: the frequency range would take "
                                                  "more than %1 steps.")
                                           << kMaxFrequencySteps);
    const long steps = static_cast<long>(count);
    return std::string(KelvFormat("omega %1 %2 %3") << lower << step << steps) + "\n";
}

std::string DispersionBlock(const std::vector<PathPoint>& path)
{
    std::string segments;
    long opened = 0;
    long closed = 0;
    for (const PathPoint& p : path) {
        const std::string coordinates = KelvFormat("%1 %2 %3") << p.x << p.y << p.z;
        switch (p.kind) {
        case 2:
            segments += coordinates + " to ";
            ++opened;
            break;
        case 4:
            segments += coordinates + "\n" + coordinates + " to ";
            ++closed;
            ++opened;
            break;
        case 3:
            segments += coordinates + "\n";
            ++closed;
            break;
        default:
            break;
        }
    }
    if (opened != closed)
        throw KelvResult(E_UNEXPECTED, "Phonon dispersion path is not closed");
    return std::string(KelvFormat("dispersion %1") << opened) + "\n" + segments;
}

std::string DensityOfStatesBlock(long n1, long n2, long n3)
{
    return std::string(KelvFormat("shrink %1 %2 %3") << n1 << n2 << n3) + "\n" + "box density size 0.5 \n" +
           "broaden_dos 0.3 \n";
}

} // namespace ZelmLines

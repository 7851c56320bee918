#include "ReadCommands.h"

#include "CommandLine.h"
#include "DriverSupport.h"
#include "HostCommands.h"
#include "ResultCommands.h"

#include <iostream>
#include <CLI/CLI.hpp>

#include <filesystem>
#include <functional>
#include <iomanip>
#include <memory>
#include <ostream>
#include <sstream>
#include <stdexcept>

#include "analysis/HistoryCharts.h"
#include "host/HostApplication.h"
#include "kelv/kelv.h"
#include "qorqm/DiskUtilities.h"
#include "qorqm/MessageText.h"
#include "qorqm/PathUtilities.h"
#include "readers/ArchiveFileReader.h"
#include "readers/TrajectoryArchive.h"
#include "readers/GeomOptReaders.h"
#include "readers/MolDynFileReader.h"
#include "readers/MolDynOutputFileReader.h"
#include "readers/OutputFileReader.h"
#include "readers/PhononFileReader.h"

namespace ZelmHost {
namespace {

namespace fs = std::filesystem;

const char* const Extensions[] = {".gout", ".arc", ".geomopt", ".mdynam", ".pre",
                                  ".osc", ".dens", ".disp", ".kptaux"};

std::string Number(double value, int decimals = 6)
{
    std::ostringstream text;
    text << std::fixed << std::setprecision(decimals) << value;
    return text.str();
}

std::string RunTypeName(int type)
{
    switch (type) {
    case COutputFileReader::RunGeomOpt:
        return "GeomOpt";
    case COutputFileReader::RunDynamics:
        return "Dynamics";
    case COutputFileReader::RunSurface:
        return "Surface";
    default:
        return "Energy";
    }
}

std::string EnsembleName(int ensemble)
{
    return ensemble == 2 ? "NVT" : ensemble == 3 ? "NPT" : "NVE";
}

// "n values, first .. last" of a series.
std::string Series(const std::vector<double>& values, int offset = 0)
{
    std::string text = std::to_string(values.size()) + " values";
    if (!values.empty()) {
        text += ", first " + Number(values.front()) + ", last " + Number(values.back());
    }
    if (offset != 0) {
        text += ", offset " + std::to_string(offset);
    }
    return text;
}

void Matrix(std::ostream& out, const std::string& indent, const xxMatrix3x3& m)
{
    for (int row = 1; row <= 3; ++row) {
        out << indent << Number(m(row, 1)) << " " << Number(m(row, 2)) << " " << Number(m(row, 3)) << "\n";
    }
}

class Reading {
public:
    Reading(const std::string& base, std::ostream& out, std::ostream& err) : m_base(base), m_out(out), m_err(err) {}

    bool Has(const char* extension) const { return DiskUtilities::FileExists(m_base + extension); }
    std::string File(const char* extension) const { return m_base + extension; }

    // Runs one reader; its failure is reported and remembered.
    void Step(const std::string& what, const std::function<void()>& step)
    {
        try {
            step();
        } catch (...) {
            std::ostringstream message;
            ReportFailure(message);
            std::string text = message.str();
            text.insert(std::string("zelm-host: ").size(), what + ": ");
            m_err << text;
            m_failed = true;
        }
    }
    // Reports a failure that still lets the rest be read.
    void Fail(const std::string& reason)
    {
        m_err << "zelm-host: " << reason << "\n";
        m_failed = true;
    }
    bool Failed() const { return m_failed; }
    std::ostream& Out() { return m_out; }

private:
    std::string m_base;
    std::ostream& m_out;
    std::ostream& m_err;
    bool m_failed = false;
};

void ShowOutput(Reading& run)
{
    std::ostream& out = run.Out();
    const std::string gout = run.File(".gout");
    int type = 1;
    // A dynamics run's reader reads the output's own part too: made once, it
    // serves both steps.
    std::unique_ptr<CMolDynOutputFileReader> dynamics;
    run.Step(gout, [&] {
        // A run stopped by an engine error fails the command; what it wrote
        // is still shown.
        const COutputFileReader::RunCheck check = COutputFileReader::ScanRun(gout);
        if (check.engineError) {
            const std::string reason = MessageText::Excerpt(check.reason);
            out << "Engine error: " << reason << "\n";
            run.Fail("the engine run of \"" + gout + "\" failed: " + reason);
        } else if (!check.problem.empty()) {
            // Opened by the engine and never closed: stopped, or still running.
            out << "Unfinished run: the output ends without the engine's closing lines\n";
            run.Fail("\"" + gout + "\": " + check.problem);
        }
        type = COutputFileReader::ScanRunType(gout);
        out << "Run type: " << type << " (" << RunTypeName(type) << ")\n";
        if (type == COutputFileReader::RunDynamics) {
            try {
                dynamics = std::make_unique<CMolDynOutputFileReader>(gout);
            } catch (...) {
                // The dynamics step reports it; the output's own part is read alone.
            }
        }
        std::unique_ptr<COutputFileReader> alone;
        if (!dynamics) {
            alone = std::make_unique<COutputFileReader>(gout);
        }
        const COutputFileReader& output = dynamics ? *dynamics : *alone;
        out << "Dimensionality: " << output.GetDimensionality() << "\n";
        out << "Cores: " << output.GetCoreCount() << "  shells: " << output.GetShellCount() << "\n";
        const std::vector<double>& modes = output.GetModeFrequencies();
        if (!modes.empty() || run.Has(".osc")) {
            out << "Oscillator strengths (.osc): " << modes.size() << " modes";
            if (!modes.empty()) {
                out << ", frequencies " << Number(modes.front(), 4) << " .. " << Number(modes.back(), 4);
            }
            out << "\n";
            std::string message;
            const bool any = output.CheckOscillatorStrengths(PathUtilities::FileNameFromPath(gout.substr(0, gout.size() - 5)), message);
            out << "  non-zero oscillator strengths: " << (any ? "yes" : "no") << "\n";
            out << "  high-frequency dielectric tensor:\n";
            Matrix(out, "    ", output.GetHighFrequencyDielectricTensor());
        }
        const std::vector<double>& dos = output.GetDosFrequencies();
        if (!dos.empty() || run.Has(".dens")) {
            out << "Density of states (.dens): " << dos.size() << " points";
            if (!dos.empty()) {
                out << ", " << Number(dos.front(), 4) << " .. " << Number(dos.back(), 4);
            }
            out << "\n";
        }
    });
    if (type == COutputFileReader::RunGeomOpt || type == COutputFileReader::RunSurface) {
        run.Step(gout + " (optimisation history)", [&] {
            CGeomOptOutputFileReader history(gout);
            out << "Optimisation history (.gout):\n";
            out << "  energy (eV): " << Series(history.GetSeries1(), history.GetSeries1Offset()) << "\n";
            out << "  energy change: " << Series(history.GetSeries2(), history.GetSeries2Offset()) << "\n";
            out << "  gradient norm: " << Series(history.GetSeries3(), history.GetSeries3Offset()) << "\n";
            out << "  tolerances: function " << history.GetTolerance1() << ", gradient " << history.GetTolerance2()
                << "\n";
            if (history.GetUnreadableValueCount() > 0) {
                out << "  values that could not be read (fields of stars): " << history.GetUnreadableValueCount()
                    << "\n";
            }
            if (history.HasFinalEnergy()) {
                out << "  final energy (eV): " << Number(history.GetFinalEnergy()) << "\n";
            } else if (history.FinalEnergyUnreadable()) {
                out << "  final energy: could not be read (a field of stars)\n";
            }
        });
    }
    if (type == COutputFileReader::RunDynamics) {
        run.Step(gout + " (dynamics)", [&] {
            if (!dynamics) {
                dynamics = std::make_unique<CMolDynOutputFileReader>(gout);
            }
            const CMolDynOutputFileInfo& production = dynamics->GetOutputFileInfo();
            const CMolDynOutputFileCommonInfo& now = production.GetCommonInfo();
            out << "Dynamics (.gout): ensemble " << EnsembleName(dynamics->GetEnsemble()) << "\n";
            out << "  equilibration rows: " << dynamics->GetEquilibrationInfo().GetTime().size() << "\n";
            out << "  production time (ps): " << Series(production.GetTime()) << "\n";
            out << "  total energy (eV): " << Series(now.GetTotalEnergy()) << "\n";
            out << "  temperature (K): " << Series(now.GetTemperature()) << "\n";
            out << "  pressure (GPa): " << Series(now.GetPressure()) << "\n";
            out << "  configuration pressure (GPa): " << Number(production.GetScalarValue()) << "\n";
            if (run.Has(".pre")) {
                out << "  pressure file (.pre): " << now.GetPressureFileSeries().size() / 6 << " steps of 6 values\n";
            }
            double a = 0, b = 0, c = 0, alpha = 0, beta = 0, gamma = 0;
            CMolDynOutputFileReader::ReadCellParameters(a, b, c, alpha, beta, gamma, gout);
            out << "  cell: a=" << Number(a) << " b=" << Number(b) << " c=" << Number(c)
                << " alpha=" << Number(alpha, 4) << " beta=" << Number(beta, 4) << " gamma=" << Number(gamma, 4)
                << "\n";
        });
    }
}

void ShowArchive(Reading& run)
{
    std::ostream& out = run.Out();
    run.Step(run.File(".arc"), [&] {
        CArchiveFileReader archive(run.File(".arc"), CAtomicIndexMap::Default, CArchiveFileReader::Keep::AllFrames,
                                   RunAtomCount(run.File(".arc")));
        const std::vector<CArchiveFrameInfo>& frames = archive.GetFrames();
        out << "Archive (.arc): " << frames.size() << " frames, "
            << (archive.Is3DPeriodic() ? "3D periodic" : archive.Is2DPeriodic() ? "2D periodic" : "not periodic")
            << "\n"
            << ZelmHost::CutFrameNote(run.File(".arc"), archive.IsLastFrameCut(), archive.DamagedFrame(),
                                      frames.size());
        if (frames.empty()) {
            return;
        }
        const CArchiveFrameInfo& last = frames.back();
        const CLatticeInfo& cell = last.GetLattice();
        out << "  final structure: time " << Number(last.GetTime(), 4) << " ps, energy " << Number(last.GetEnergy())
            << " eV\n";
        out << "  cell: a=" << Number(cell.get_Cell_A()) << " b=" << Number(cell.get_Cell_B())
            << " c=" << Number(cell.get_Cell_C()) << " alpha=" << Number(cell.get_Cell_Alpha(), 4)
            << " beta=" << Number(cell.get_Cell_Beta(), 4) << " gamma=" << Number(cell.get_Cell_Gamma(), 4) << "\n";
        const std::vector<xxPoint3d>& atoms = last.GetAtomPositions();
        out << "  atoms (" << atoms.size() << "):\n";
        for (std::size_t i = 0; i < atoms.size(); ++i) {
            out << "    " << std::setw(4) << i + 1 << "  " << Number(atoms[i].x) << " " << Number(atoms[i].y) << " "
                << Number(atoms[i].z) << "\n";
        }
    });
}

void ShowIntermediates(Reading& run)
{
    std::ostream& out = run.Out();
    if (run.Has(".geomopt")) {
        run.Step(run.File(".geomopt"), [&] {
            CGeomOptFileReader history(run.File(".geomopt"));
            out << "Optimisation steps (.geomopt):\n";
            out << "  energy (eV): " << Series(history.GetSeries1(), history.GetSeries1Offset()) << "\n";
            out << "  energy change: " << Series(history.GetSeries2(), history.GetSeries2Offset()) << "\n";
            out << "  gradient norm: " << Series(history.GetSeries3(), history.GetSeries3Offset()) << "\n";
            out << "  tolerances: energy " << history.GetTolerance1() << ", gradient " << history.GetTolerance2()
                << "\n";
        });
    }
    if (run.Has(".mdynam")) {
        run.Step(run.File(".mdynam"), [&] {
            CMolDynFileReader frames(run.File(".mdynam"));
            out << "Dynamics frames (.mdynam):\n";
            out << "  time (ps): " << Series(frames.GetTime()) << "\n";
            out << "  total energy (eV): " << Series(frames.GetTotalEnergy()) << "\n";
            out << "  temperature (K): " << Series(frames.GetTemperature()) << "\n";
            out << "  pressure: " << (frames.HasPressure() ? Series(frames.GetPressure()) : std::string("none"))
                << "\n";
        });
    }
}

void ShowDispersion(Reading& run, const std::string& base)
{
    std::ostream& out = run.Out();
    run.Step(run.File(".disp"), [&] {
        CZelmPhononData data(base);
        CPhononFileReader().Read(data.resultsPath, data);
        out << "Phonon dispersion (.disp): " << data.kPoints.size() << " k-points, " << data.numberOfModes
            << " modes, lowest frequency " << Number(data.minimumFrequency, 4) << "\n";
        out << "  boundaries:";
        for (std::size_t i : CPhononFileReader::BoundaryPositions(data.boundaryTypes)) {
            out << " " << i + 1 << ":" << static_cast<int>(data.boundaryTypes[i]);
        }
        out << "\n  labels:";
        for (const auto& label : data.labels.Labelled()) {
            out << " " << label.first + 1 << "=" << label.second;
        }
        out << "\n  reciprocal lattice:\n";
        Matrix(out, "    ", data.reciprocalLattice);
    });
}

// The chart documents a `read --charts` made, removed again unless it
// ends whole: a failed write (a full disk) leaves no empty chart behind.
struct MadeCharts {
    std::vector<std::string> files;
    bool kept = false;
    ~MadeCharts()
    {
        std::error_code error;
        for (const std::string& file : files)
            if (!kept)
                std::filesystem::remove(file, error);
    }
};

// A new chart document "<name>.qcd" of the project, laid out by `build`.
KelvComPtr<ISDChart2dDocument> NewChart(QzHost::HostApplication& host, const std::string& name,
                                        void (*build)(ISDChart2dDocument*), std::ostream& out, MadeCharts& made)
{
    KelvComPtr<ISBDocumentRoot> document;
    KelvResult::Check(host.Documents().NewProjectDocument(KelvBSTR("SDDocuments.Chart2dDocument").Get(),
                                                          KelvBSTR(name).Get(), 0, KelvVariant().Get(),
                                                          document.Receive()));
    KelvComPtr<ISDChart2dDocument> chart;
    KelvResult::Check(document->QueryInterface(IID_ISDChart2dDocument, reinterpret_cast<void**>(chart.Receive())));
    if (build) {
        build(chart.get());
    }
    // The file the host made for it, under the name it was given (another
    // file of the wanted name makes it "<name>_2.qcd", ...).
    KelvBSTR url;
    KelvResult::Check(document->get_DocumentURL(url.Receive()));
    made.files.push_back(url.ToTString());
    out << "  chart document: " << PathUtilities::FileNameFromPath(url.ToTString()) << "\n";
    return chart;
}

void WriteCharts(Reading& run, const ReadOptions& options, const std::string& seed)
{
    std::ostream& out = run.Out();
    run.Step("charts", [&] {
        const QzHost::HostConfiguration configuration = ProjectConfiguration(options.project, true);
        QzHost::HostApplication host(configuration);
        const bool fromOutput = run.Has(".dens") && run.Has(".gout");
        if (!run.Has(".geomopt") && !run.Has(".mdynam") && !fromOutput) {
            out << "Charts: none: --charts draws the optimisation history of a \".geomopt\", the dynamics history "
                   "of a \".mdynam\" and the phonon density of states of a \".dens\" beside the \".gout\", and "
                   "this run has none of them\n";
            const int type = run.Has(".gout") ? COutputFileReader::ScanRunType(run.File(".gout")) : 1;
            if (type == COutputFileReader::RunGeomOpt || type == COutputFileReader::RunSurface ||
                type == COutputFileReader::RunDynamics) {
                out << "  the history charts of this run come from its main output: zelm-host analyse "
                    << ShellQuoted(run.File(".gout")) << " energy\n";
            }
            return;
        }
        out << "Charts:\n";
        MadeCharts made;
        if (run.Has(".geomopt")) {
            CGeomOptFileReader history(run.File(".geomopt"));
            auto energy = NewChart(host, seed + " Energy", CreateGeomOptEnergyChart, out, made);
            UpdateGeomOptEnergyChart(energy.get(), history.GetSeries1(), history.GetSeries1Offset());
            auto convergence = NewChart(host, seed + " Convergence", CreateOptimizationConvergenceChart, out, made);
            UpdateOptimizationConvergenceChart(convergence.get(), history.GetSeries2(), history.GetSeries2Offset(),
                                               history.GetSeries3(), history.GetSeries3Offset(), true,
                                               history.GetTolerance1(), history.GetTolerance2());
        }
        if (run.Has(".mdynam")) {
            CMolDynFileReader frames(run.File(".mdynam"));
            auto energy = NewChart(host, seed + " Dynamics Energy", CreateDynamicsEnergyChart, out, made);
            UpdateDynamicsHistoryCharts(energy.get(), frames.GetTime(), frames.GetTotalEnergy(),
                                        frames.GetTotalEnergyOffset(), frames.GetKineticEnergy(),
                                        frames.GetKineticEnergyOffset(), frames.GetPotentialEnergy(),
                                        frames.GetPotentialEnergyOffset());
            auto temperature = NewChart(host, seed + " Temperature", CreateDynamicsTemperatureChart, out, made);
            UpdateDynamicsChart(temperature.get(), frames.GetTime(), frames.GetTemperature(),
                                frames.GetTemperatureOffset());
            if (frames.HasPressure()) {
                auto pressure = NewChart(host, seed + " Pressure", CreateDynamicsPressureChart, out, made);
                UpdateDynamicsChart(pressure.get(), frames.GetTime(), frames.GetPressure(),
                                    frames.GetPressureOffset());
            }
            auto motion = NewChart(host, seed + " Constant of Motion", CreateDynamicsConstantOfMotionChart, out, made);
            UpdateDynamicsChart(motion.get(), frames.GetTime(), frames.GetH(), frames.GetHOffset());
        }
        if (fromOutput) {
            COutputFileReader output(run.File(".gout"));
            auto dos = NewChart(host, seed + " Phonon DOS", nullptr, out, made);
            COutputFileReader::PlotDos(dos.get(), u"ZELM Phonon Density of States", u"Frequency (cm-1)");
            COutputFileReader::FillDosChart(dos.get(), output.GetDosFrequencies(), output.GetDosValues());
        }
        KelvResult::Check(host.Documents().Synchronize());
        made.kept = true;
    });
}

} // namespace

void AddReadCommands(CommandLine& commandLine)
{
    auto options = std::make_shared<ReadOptions>();
    CLI::App* read = commandLine.Add(
        "read", "Read the output files of an engine run (folder and seed) and print what they hold",
        [options] { return ReadResults(*options, std::cout, std::cerr); });
    read->add_option("result", options->result, "The run's files without extension, e.g. results/rocksalt")
        ->required();
    read->add_option("--project", options->project, "The project that receives --charts (default: the current folder)");
    read->add_flag("--charts", options->charts, "Write the run's history and DOS charts as chart documents");
    read->fallthrough();
}

int ReadResults(const ReadOptions& options, std::ostream& out, std::ostream& err)
{
    std::string base = options.result;
    const std::string extension = PathUtilities::ExtensionFromPath(base);
    for (const char* known : Extensions) {
        if (!extension.empty() && PathUtilities::MatchesExtension(base, known)) {
            base = PathUtilities::ExtensionRemoved(base);
            break;
        }
    }
    Reading run(base, out, err);
    bool any = false;
    for (const char* known : Extensions) {
        any = any || run.Has(known);
    }
    if (!any) {
        err << "zelm-host: no output file of a run at \"" << base << "\" (looked for " << base << ".gout, .arc, ...)\n";
        return 1;
    }
    for (const char* known : Extensions) {
        const std::string why = run.Has(known) ? NotAnInputFile(run.File(known)) : std::string();
        if (!why.empty()) {
            err << "zelm-host: the output file \"" << run.File(known) << "\" " << why << "\n";
            return 1;
        }
    }
    out << "Result: " << base << "\n";
    if (run.Has(".gout")) {
        ShowOutput(run);
    }
    if (run.Has(".arc")) {
        ShowArchive(run);
    }
    ShowIntermediates(run);
    if (run.Has(".disp")) {
        ShowDispersion(run, base);
    }
    if (options.charts) {
        WriteCharts(run, options, PathUtilities::FileNameFromPath(base));
    }
    return run.Failed() ? 1 : 0;
}

}  // namespace ZelmHost

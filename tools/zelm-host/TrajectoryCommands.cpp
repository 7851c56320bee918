#include "TrajectoryCommands.h"

#include <iostream>
#include <memory>
#include <dlfcn.h>

#include <cmath>
#include <cstdint>
#include <iomanip>
#include <limits>
#include <ostream>
#include <stdexcept>
#include <vector>

#include "CommandLine.h"
#include "DriverSupport.h"
#include "com/regularfile.h"
#include "HostCommands.h"
#include "ModuleCommands.h"
#include "ResultCommands.h"
#include "host/model/Document.h"

namespace ZelmHost {
namespace {

using InfoFunction = void (*)(const char*, int, int*, int*, double*, int*);
using ReadFunction = void (*)(const char*, int, int, int, double, double*, double*, double*, double*, double*,
                              double*, double*, double*, double*, double*, double*, double*, int*);

// The largest number of doubles the command reads into memory (1 GiB).
constexpr std::uint64_t MaximumValues = (std::uint64_t{1} << 30) / sizeof(double);

std::string StatusText(int status)
{
    switch (status) {
    case -1:
        return "the file cannot be opened or a record cannot be read";
    case 1:
        return "the format value changed between the passes";
    case 2:
        return "the atom count changed between the passes";
    case 3:
        return "the frame count changed between the passes";
    default:
        return "status " + std::to_string(status);
    }
}

class LoadedModule {
public:
    explicit LoadedModule(const std::string& path) : m_handle(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL))
    {
        if (m_handle == nullptr)
            throw std::runtime_error("cannot load " + path + ": " + dlerror());
    }
    ~LoadedModule() { dlclose(m_handle); }
    LoadedModule(const LoadedModule&) = delete;
    LoadedModule& operator=(const LoadedModule&) = delete;

    template <class F>
    F Symbol(const char* name, const std::string& path) const
    {
        void* symbol = dlsym(m_handle, name);
        if (symbol == nullptr)
            throw std::runtime_error(path + " does not export " + name);
        return reinterpret_cast<F>(symbol);
    }

private:
    void* m_handle;
};

void Triple(std::ostream& out, double x, double y, double z)
{
    out << std::setw(14) << x << " " << std::setw(14) << y << " " << std::setw(14) << z;
}

}  // namespace

void AddTrajectoryCommands(CommandLine& commandLine)
{
    struct Arguments {
        std::string file;
        bool cell = false;
        std::string module = DefaultModulePath();
        std::string document;
        std::string archive;
        bool surface = false;
        std::string base;
        std::string kind;
    };
    auto a = std::make_shared<Arguments>();
    CLI::App* trg =
        commandLine.Add("trg", "Read an engine binary trajectory (.trg) through the module's exports", [a] {
            return RunHostCommand([&] { ReadTrajectoryFile(a->module, a->file, a->cell, std::cout); }, false,
                                  std::cout, std::cerr);
        });
    trg->add_option("file", a->file, "The .trg file")->required();
    trg->add_flag("--cell", a->cell, "The file holds the cell records of every frame (NPT runs)");
    trg->add_option("--module", a->module, "Path of libQorZelm.so (default: the one beside the driver)");

    CLI::App* update = commandLine.AddHostCommand(
        "update-structure", "Write the last frame of a run's archive into a structure document",
        [a](std::ostream& out) { UpdateStructure(a->document, a->archive, a->surface, out); });
    update->add_option("document", a->document, "The .qsd document")->required();
    update->add_option("archive", a->archive, "The run's .arc archive")->required();
    update->add_flag("--surface", a->surface, "Map the atoms as a surface run numbers them");
    CLI::App* import = commandLine.AddHostCommand(
        "import-result", "Import SEED.qsd through QorZelm.ZelmStructureImporter, which applies SEED.arc",
        [a](std::ostream& out) { ImportResult(a->document, out); });
    import->add_option("document", a->document, "The .qsd document")->required();
    CLI::App* trajectory = commandLine.AddHostCommand(
        "trajectory", "Write a run's trajectory (BASE.trj) and its document BASE.qtd",
        [a](std::ostream& out) { WriteTrajectory(a->base, a->document, a->kind, out); });
    trajectory->add_option("base", a->base, "The run's files without extension")->required();
    trajectory->add_option("--document", a->document, "The run's structure document (.qsd)")->required();
    trajectory->add_option("--kind", a->kind, "geomopt, surface or dynamics (default: from BASE.gout)")
        ->check(CLI::IsMember({"geomopt", "surface", "dynamics"}));
}

void ReadTrajectoryFile(const std::string& modulePath, const std::string& file, bool cell, std::ostream& out)
{
    LoadedModule module(modulePath);
    const auto info = module.Symbol<InfoFunction>("Get_Zelm_Trajectory_File_Info", modulePath);
    const auto read = module.Symbol<ReadFunction>("Read_Zelm_Trajectory_File", modulePath);

    int atoms = 0;
    int frames = 0;
    double version = 0.0;
    int status = 1;
    info(file.c_str(), cell ? 1 : 0, &atoms, &frames, &version, &status);
    if (status == -1)
        if (const std::string why = NotAnInputFile(file); !why.empty() && why != RegularFile::NotThere)
            throw std::runtime_error("the trajectory \"" + file + "\" " + why);
    if (status != 0)
        throw std::runtime_error("the trajectory \"" + file + "\" cannot be read: " + StatusText(status));
    out << file << ": format value " << version << ", " << atoms << " atoms, " << frames << " frames"
        << (cell ? ", with cell records" : "") << "\n";
    // The reader counts whole frames of whatever it is given; a file of no
    // atoms or no whole frame is no trajectory.
    if (!std::isfinite(version) || atoms <= 0)
        throw std::runtime_error("\"" + file + "\" is no engine trajectory: its header gives no atoms");
    if (frames <= 0)
        throw std::runtime_error("the trajectory \"" + file + "\" holds no whole frame");
    const std::uint64_t perAtom = atoms > 0 ? static_cast<std::uint64_t>(atoms) : 0;
    const std::uint64_t frameCount = frames > 0 ? static_cast<std::uint64_t>(frames) : 0;
    if (frameCount > 0 && perAtom > MaximumValues / 6 / frameCount)
        throw std::runtime_error("the trajectory \"" + file + "\" is too large to print");

    std::vector<double> s[4];
    std::vector<double> a[6];
    for (auto& v : s)
        v.assign(frameCount, 0.0);
    for (auto& v : a)
        v.assign(frameCount * perAtom, 0.0);
    std::vector<double> cellVectors(cell ? 9 * frameCount : 0);
    std::vector<double> cellParameters(cell ? 6 * frameCount : 0);
    read(file.c_str(), cell ? 1 : 0, atoms, frames, version, s[0].data(), s[1].data(), s[2].data(), s[3].data(),
         a[0].data(), a[1].data(), a[2].data(), a[3].data(), a[4].data(), a[5].data(),
         cell ? cellVectors.data() : nullptr, cell ? cellParameters.data() : nullptr, &status);
    if (status == -1)
        if (const std::string why = NotAnInputFile(file); !why.empty() && why != RegularFile::NotThere)
            throw std::runtime_error("the trajectory \"" + file + "\" " + why);
    if (status != 0)
        throw std::runtime_error("the trajectory \"" + file + "\" cannot be read: " + StatusText(status));

    out << std::setprecision(8);
    for (std::uint64_t f = 0; f < frameCount; ++f) {
        out << "Frame " << f + 1 << ": time " << s[0][f] << ", energy terms " << s[1][f] << " " << s[2][f]
            << " (sum " << s[1][f] + s[2][f] << "), auxiliary " << s[3][f] << "\n";
        if (cell) {
            for (int v = 0; v < 3; ++v) {
                out << "  cell " << "abc"[v] << " ";
                Triple(out, cellVectors[f * 9 + 3 * v], cellVectors[f * 9 + 3 * v + 1], cellVectors[f * 9 + 3 * v + 2]);
                out << "\n";
            }
            out << "  cell parameters";
            for (int k = 0; k < 6; ++k)
                out << " " << cellParameters[f * 6 + k];
            out << "\n";
        }
        for (std::uint64_t j = 0; j < perAtom; ++j) {
            const std::uint64_t i = f * perAtom + j;
            out << "  atom " << std::setw(5) << j + 1 << " ";
            Triple(out, a[0][i], a[1][i], a[2][i]);
            out << "   ";
            Triple(out, a[3][i], a[4][i], a[5][i]);
            out << "\n";
        }
    }
}

void ShowTrajectory(const HostModel::Document& document, std::ostream& out)
{
    const std::shared_ptr<const TrjContents>& trajectory = document.Trajectory();
    if (!trajectory)
        return;
    out << "Trajectory: " << trajectory->frames.size() << " frames of " << trajectory->atomCount << " atoms";
    if (!trajectory->name.empty())
        out << " (" << ShownName(trajectory->name) << ")";
    out << "\n" << std::setprecision(8);
    for (const TrjFrame& f : trajectory->frames) {
        out << "  Frame " << f.frame << ": time " << f.time << " (step " << f.timeStep << "), energy " << f.energySum
            << " (" << f.energyTerm1 << " + " << f.energyTerm2 << "), auxiliary " << f.auxiliaryValue
            << ", volume " << f.cellVolume << ", pressure " << f.pressure << "\n";
        if (f.hasCell) {
            out << "    cell (a.x, b.y, c.z, b.z, a.z, a.y)";
            for (double v : f.cell)
                out << " " << v;
            out << "\n";
        }
        for (std::size_t i = 0; i + 2 < f.positions.size(); i += 3) {
            out << "    atom " << std::setw(5) << i / 3 + 1 << " ";
            Triple(out, f.positions[i], f.positions[i + 1], f.positions[i + 2]);
            if (i + 2 < f.secondAtomVectors.size()) {
                out << "   ";
                Triple(out, f.secondAtomVectors[i], f.secondAtomVectors[i + 1], f.secondAtomVectors[i + 2]);
            }
            out << "\n";
        }
    }
}

}  // namespace ZelmHost

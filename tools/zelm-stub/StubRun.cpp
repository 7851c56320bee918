#include "StubRun.h"
#include "StubShared.h"
#include "StubPhonons.h"

#include "host/model/Document.h"
#include "host/model/Lattice.h"
#include "host/model/QsdFile.h"
#include "recfile/RecordWriter.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cctype>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace ZelmStub {

namespace {

constexpr double Pi = 3.14159265358979323846;
constexpr double EvToKcalMol = 23.060541945;

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...)
{
    char buffer[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    return buffer;
}

std::string ElementOf(const std::string& label)
{
    std::string element;
    for (char c : label) {
        if (!std::isalpha(static_cast<unsigned char>(c)))
            break;
        element += c;
    }
    return element.empty() ? label : element;
}

void LoadStructure(const std::string& path, Deck& deck)
{
    std::shared_ptr<HostModel::Document> document;
    try {
        document = HostModel::LoadQsd(path);
    } catch (const std::exception& error) {
        throw DeckError("the staged structure \"" + path + "\" cannot be read: " + error.what());
    }
    const HostModel::Lattice3D* lattice = document->Lattice3();
    std::array<std::array<double, 3>, 3> vectors{};
    if (lattice) {
        const HostModel::CellParameters& p = lattice->Parameters();
        deck.cell = {p.a, p.b, p.c, p.alpha * 180 / Pi, p.beta * 180 / Pi, p.gamma * 180 / Pi};
        vectors = CellVectors(deck.cell);
        deck.dimension = Dimension::Bulk3D;
    } else {
        deck.dimension = Dimension::Molecule;
    }
    std::map<std::string, int> counts;
    for (const HostModel::Atom& atom : document->Atoms()) {
        StubAtom out;
        out.element = atom.element;
        out.label = atom.element + std::to_string(++counts[atom.element]);
        out.charge = atom.charge;
        if (lattice) {
            const HostModel::Vec3 f = document->Fractional(atom.handle);
            out.fractional = {f[0], f[1], f[2]};
            for (int k = 0; k < 3; ++k)
                out.cartesian[k] = f[0] * vectors[0][k] + f[1] * vectors[1][k] + f[2] * vectors[2][k];
        } else {
            out.cartesian = document->Cartesian(atom.handle);
        }
        deck.atoms.push_back(out);
    }
    if (deck.atoms.empty())
        throw DeckError("the staged structure \"" + path + "\" holds no atoms");
}

} // namespace

const char* TaskName(Task task)
{
    switch (task) {
    case Task::GeomOpt:
        return "GeomOpt";
    case Task::Dynamics:
        return "Dynamics";
    case Task::Fit:
        return "Fit";
    case Task::Surface:
        return "Surface";
    default:
        return "Energy";
    }
}

Deck ReadDeck(const std::string& folder, const std::string& seed)
{
    Deck deck;
    deck.seed = seed;
    const std::string path = Join(folder, seed + ".gin");
    std::ifstream in(path);
    if (!in)
        throw DeckError("the deck \"" + path + "\" cannot be opened");
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    std::size_t first = 0;
    while (first < lines.size() && Tokens(lines[first]).empty())
        ++first;
    if (first == lines.size())
        throw DeckError("the deck \"" + path + "\" is empty");
    deck.keywordLine = lines[first];
    const std::vector<std::string> words = Tokens(deck.keywordLine);
    const auto has = [&](const char* word) {
        for (const std::string& w : words)
            if (w == word)
                return true;
        return false;
    };
    if (words.size() >= 4 && words[0] == "opti" && words[1] == "conv" && words[2] == "nomod" && words[3] == "qok")
        deck.task = Task::Surface;
    else if (words[0] == "grad")
        deck.task = Task::Energy;
    else if (words[0] == "opti")
        deck.task = Task::GeomOpt;
    else if (words[0] == "md")
        deck.task = Task::Dynamics;
    else if (words[0] == "fit")
        deck.task = Task::Fit;
    else
        throw DeckError("the keyword line \"" + deck.keywordLine + "\" of \"" + path +
                        "\" names no run (grad, opti, md or fit)");
    deck.constantPressure = has("conp");

    bool surfaceCell = false;
    bool inRegion = false;
    bool inFractional = false;
    int region = 1;
    FitStructure* structure = nullptr;
    // The line after a keyword that takes its values from the next line.
    const auto next = [&](std::size_t& i) { return i + 1 < lines.size() ? lines[++i] : std::string(); };
    // The end of a block ("title", "observable") that opens at `i`; none
    // when no "end" line follows.
    const auto blockEnd = [&](std::size_t i) {
        while (++i < lines.size())
            if (Tokens(lines[i]) == std::vector<std::string>{"end"})
                return i;
        return std::size_t{0};
    };
    for (std::size_t i = first + 1; i < lines.size(); ++i) {
        const std::vector<std::string> t = Tokens(lines[i]);
        if (t.empty()) {
            inRegion = inFractional = false;
            continue;
        }
        const bool atomLine = t.size() >= 5 && (t[1] == "core" || t[1] == "shel");
        if (atomLine && (inRegion || inFractional)) {
            if (t[1] == "shel")
                continue;
            double x = 0, y = 0, z = 0;
            if (!IsNumber(t[2], x) || !IsNumber(t[3], y) || !IsNumber(t[4], z))
                throw DeckError("the atom line \"" + lines[i] + "\" of \"" + path + "\" holds no position");
            StubAtom atom;
            atom.region = region;
            atom.label = t[0];
            atom.element = ElementOf(t[0]);
            double q = 0;
            if (t.size() > 5 && IsNumber(t[5], q))
                atom.charge = q;
            // Charge, occupancy and radius, then the three flags.
            for (std::size_t k = 0; k < 3 && t.size() >= 11; ++k)
                atom.free[k] = t[8 + k] == "1";
            if (inFractional) {
                atom.fractional = {x, y, z};
                deck.asymmetricUnit.push_back(atom);
                if (structure)
                    structure->atoms.push_back(lines[i]);
                continue;
            }
            atom.fractional = {x, y, z};
            if (surfaceCell) {
                const double theta = deck.cell[5] * Pi / 180;
                atom.cartesian = {x * deck.cell[0] + y * deck.cell[1] * std::cos(theta),
                                  y * deck.cell[1] * std::sin(theta), z};
            } else {
                atom.cartesian = {x, y, z};
            }
            deck.atoms.push_back(atom);
            continue;
        }
        inRegion = inFractional = false;
        if (t[0] == "library" && t.size() >= 2)
            deck.library = t[1];
        else if (t[0] == "dump" && t.size() >= 2)
            deck.dumpFile = t.back();
        else if (t[0] == "output" && t.size() >= 3 && t[1] == "trajectory")
            deck.trajectoryFile = t[2];
        else if (t[0] == "output" && t.size() >= 3 && t[1] == "pressure")
            deck.pressureFile = t[2];
        else if (t[0] == "ensemble" && t.size() >= 2 && t[1] == "npt")
            deck.constantPressure = true;
        else if (t[0] == "ensemble" && t.size() >= 2 && t[1] == "nvt")
            deck.thermostat = true;
        else if (t[0] == "title" && blockEnd(i) > i) {
            const std::size_t end = blockEnd(i);
            deck.title.assign(lines.begin() + static_cast<std::ptrdiff_t>(i + 1),
                              lines.begin() + static_cast<std::ptrdiff_t>(end));
            i = end;
        } else if (t[0] == "name" && t.size() >= 2) {
            deck.fitStructures.emplace_back();
            structure = &deck.fitStructures.back();
            structure->name = lines[i].substr(lines[i].find("name") + 5);
        } else if (t[0] == "cell") {
            const std::string values = next(i);
            if (structure)
                structure->cell = values;
        } else if (t[0] == "fractional") {
            inFractional = true;
        } else if (t[0] == "spacegroup" || t[0] == "space") {
            const std::vector<std::string> v = Tokens(next(i));
            double group = 0;
            if (v.size() == 1 && IsNumber(v[0], group))
                deck.spaceGroup = static_cast<int>(group);
            if (structure)
                structure->spaceGroup = deck.spaceGroup;
        } else if ((t[0] == "observable" || t[0] == "observables") && blockEnd(i) > i) {
            const std::size_t end = blockEnd(i);
            if (structure)
                structure->observables.assign(lines.begin() + static_cast<std::ptrdiff_t>(i + 1),
                                              lines.begin() + static_cast<std::ptrdiff_t>(end));
            i = end;
        } else if (t[0] == "scell" && i + 1 < lines.size()) {
            const std::vector<std::string> v = Tokens(lines[++i]);
            double u = 0, w = 0, theta = 0;
            if (v.size() < 3 || !IsNumber(v[0], u) || !IsNumber(v[1], w) || !IsNumber(v[2], theta))
                throw DeckError("the surface cell of \"" + path + "\" is not three numbers");
            deck.cell = {u, w, 0, 0, 0, theta};
            surfaceCell = true;
        } else if (t[0] == "sfractional" || t[0] == "scartesian") {
            inRegion = true;
            region = t.size() >= 3 && t[1] == "region" ? std::max(1, std::atoi(t[2].c_str())) : 1;
        }
    }

    if (deck.task == Task::Surface || surfaceCell) {
        if (!surfaceCell)
            throw DeckError("the surface deck \"" + path + "\" has no surface cell (scell)");
        if (deck.atoms.empty())
            throw DeckError("the surface deck \"" + path + "\" has no region atoms");
        deck.dimension = Dimension::Surface2D;
    } else if (deck.task != Task::Fit) {
        deck.atoms.clear();
        LoadStructure(Join(folder, seed + ".qsd"), deck);
    }
    return deck;
}

namespace {

// One written step of the run.
struct Frame {
    double time = 0;
    double energy = 0; // eV
    double gnorm = 0;
    std::array<double, 6> cell{};
    std::vector<std::array<double, 3>> positions;
    std::vector<std::array<double, 3>> velocities;
};

// An unstable optimisation grows by this factor a cycle: by its fourth
// cycle its energy and gradient norm fill their fields, by its fifth they
// overflow them.
constexpr double UnstableGrowth = 163.0;

Frame MakeFrame(const Deck& deck, int step, int steps, bool unstable)
{
    Frame frame;
    frame.time = 0.002 * (step + 1);
    frame.energy = -31.861437 - 0.05 * (1 - std::pow(0.5, step));
    frame.gnorm = 0.4128 * std::pow(0.2, step);
    if (unstable) {
        frame.energy = -31.861437 * std::pow(UnstableGrowth, step);
        frame.gnorm = 0.4128 * std::pow(UnstableGrowth, step);
    }
    frame.cell = deck.cell;
    if (deck.dimension == Dimension::Bulk3D) {
        // A crystal keeps its fractional positions while its cell shrinks,
        // so that atoms on special positions stay there.
        const double factor = 1 - 0.002 * (step + 1) / steps;
        for (int k = 0; k < 3; ++k)
            frame.cell[k] *= factor;
        for (const StubAtom& atom : deck.atoms) {
            const std::array<double, 3>& at = atom.cartesian;
            frame.positions.push_back({at[0] * factor, at[1] * factor, at[2] * factor});
            frame.velocities.push_back({0.01, -0.01, 0.005});
        }
        return frame;
    }
    const double amplitude = 0.02 * (step + 1) / steps;
    for (std::size_t i = 0; i < deck.atoms.size(); ++i) {
        const double dx = amplitude * (static_cast<int>(i % 3) - 1);
        const double dy = amplitude * (static_cast<int>((i + 1) % 3) - 1);
        const double dz = 0.5 * amplitude * (static_cast<int>((i + 2) % 3) - 1);
        const std::array<double, 3>& at = deck.atoms[i].cartesian;
        frame.positions.push_back({at[0] + dx, at[1] + dy, at[2] + dz});
        frame.velocities.push_back({dx * 10, dy * 10, dz * 10});
    }
    return frame;
}

std::string ArchiveHeader(const Deck& deck, const std::string& word)
{
    const char* pbc = deck.dimension == Dimension::Bulk3D ? "PBC=ON"
                      : deck.dimension == Dimension::Surface2D ? "PBC=2D"
                                                               : "PBC=OFF";
    return "!" + word + " archive 3\n" + pbc + "\n";
}

std::string ArchiveFrame(const Deck& deck, const Frame& frame)
{
    std::string text;
    if (deck.task == Task::Dynamics)
        text += Format("%12.4f ps %18.6f\n", frame.time, frame.energy * EvToKcalMol);
    else
        text += Format("%30.6f\n", frame.energy * EvToKcalMol);
    text += "!DATE Tue Dec  8 21:10:00 2026\n";
    if (deck.dimension == Dimension::Bulk3D)
        text += Format("PBC %11.6f %11.6f %11.6f %11.6f %11.6f %11.6f (P1)\n", frame.cell[0], frame.cell[1], frame.cell[2],
                       frame.cell[3], frame.cell[4], frame.cell[5]);
    else if (deck.dimension == Dimension::Surface2D)
        text += Format("PBC %11.6f %11.6f %11.6f\n", frame.cell[0], frame.cell[1], frame.cell[5]);
    for (std::size_t i = 0; i < deck.atoms.size(); ++i) {
        const StubAtom& atom = deck.atoms[i];
        const std::array<double, 3>& p = frame.positions[i];
        text += Format("%-6s %15.9f %15.9f %15.9f CORE %zu %-3s %-3s %8.4f %zu\n", atom.label.c_str(), p[0], p[1], p[2],
                       i + 1, atom.element.c_str(), atom.element.c_str(), atom.charge, i + 1);
    }
    return text + "end\nend\n";
}

std::string MdynamFrame(const Deck& deck, const Frame& frame, int number)
{
    std::string text = Format("Frame number: %d\n", number);
    const double temperature = 300.0 + 10.0 * std::sin(number);
    const double kinetic = 0.31 + 0.01 * std::sin(number);
    text += Format("t : %.5f\n", frame.time);
    text += Format("T : %.4f\n", temperature);
    if (deck.constantPressure || deck.thermostat)
        text += Format("P : %.6f\n", 0.17 - 0.01 * number);
    text += Format("Ek : %.6f\n", kinetic);
    text += Format("Ep : %.6f\n", frame.energy - kinetic);
    text += Format("Et : %.6f\n", frame.energy);
    text += Format("H : %.6f\n", -31.64 + 0.0001 * number);
    return text;
}

// The atom table of the main output: between rules of dashes. A bulk
// table gives fractional coordinates, of the asymmetric unit alone when
// `asymmetric`. A surface's is split into its regions, each opened by its
// region line and closed by a rule (the second region's line carries words
// after the colon), and marks with "*" the coordinates of region 1 that move;
// a slab that is all region 1 has a plain table, without region line.
std::string AtomTable(const Deck& deck, bool asymmetric)
{
    const std::string dashes(80, '-');
    const bool surface = deck.dimension == Dimension::Surface2D;
    const bool bulk = deck.dimension == Dimension::Bulk3D;
    std::string text;
    if (bulk)
        text += "  Fractional coordinates of asymmetric unit :\n\n";
    text += dashes + "\n   No.  Atomic       x           y          z         Charge      Occupancy\n" +
            (bulk      ? "        Label      (Frac)      (Frac)     (Frac)        (e)         (Frac)\n"
             : surface ? "        Label      (Frac)      (Frac)     (Angs)        (e)         (Frac)\n"
                       : "        Label      (Angs)      (Angs)     (Angs)        (e)         (Frac)\n") +
            dashes + "\n";
    const auto row = [&](std::size_t number, const StubAtom& atom, const std::array<double, 3>& at) {
        std::string line = Format("%7zu %-4s  c ", number, atom.element.c_str());
        for (int k = 0; k < 3; ++k) {
            // A surface's heights are lengths, written to four decimals.
            line += surface && k == 2 ? Format("%11.4f", at[k]) : Format("%11.6f", at[k]);
            line += surface && atom.region == 1 && atom.free[k] ? " *" : "  ";
        }
        return line + Format("%10.5f %10.6f\n", atom.charge, 1.0);
    };
    if (!surface) {
        const std::vector<StubAtom>& atoms = asymmetric ? deck.asymmetricUnit : deck.atoms;
        for (std::size_t i = 0; i < atoms.size(); ++i)
            text += row(i + 1, atoms[i], bulk ? atoms[i].fractional : atoms[i].cartesian);
        return text + dashes + "\n";
    }
    int last = 1;
    for (const StubAtom& atom : deck.atoms)
        last = std::max(last, atom.region);
    for (int region = 1; region <= last; ++region) {
        if (last > 1) {
            text += Format("  Region %d :", region);
            if (region == 2)
                text += "  Rigid translation fixed in xyz";
            else if (region > 2)
                text += "  Rigid translation fixed in xy";
            text += "\n" + dashes + "\n";
        }
        for (std::size_t i = 0; i < deck.atoms.size(); ++i)
            if (deck.atoms[i].region == region)
                text += row(i + 1, deck.atoms[i], deck.atoms[i].fractional);
        text += dashes + "\n";
    }
    return text;
}

// The notes the engine writes after cycle `cycle` of `cycles`: the Hessian
// notes, the 8-word resets, and the "satisfied" notes before the last cycle.
std::string CycleNotes(std::size_t cycle, std::size_t cycles)
{
    std::string text;
    if (cycle == 0)
        text += "  ** Hessian calculated **\n";
    if (cycle == 1)
        text += "  ** Hess reset due to cos < rst\n  ** Cosine =   0.982311\n  ** Trying steepest descent method\n"
                "  ** Hess reset due to lnstop\n";
    if (cycles >= 2 && cycle + 2 == cycles)
        text += "  **** Gmax satisfied in optimiser ****\n  **** Gtol satisfied in optimiser ****\n";
    if (cycle + 1 == cycles)
        text += "  **** Ftol satisfied in optimiser ****\n  **** Xtol satisfied in optimiser ****\n";
    return text;
}

// A number in a field of `width` as the engine prints it: a value too
// large for the field is a run of "*".
std::string Field(double value, int width, int precision)
{
    const std::string text = Format("%*.*f", width, precision, value);
    return static_cast<int>(text.size()) > width ? std::string(static_cast<std::size_t>(width), '*') : text;
}

// How the main output ends.
enum class Ending {
    Finished, // the run's last section, then the closing lines
    Stopped,  // stopped by the engine or crashed: what the run had written
    CutOff,   // killed: right after the last cycle line written
};

const char* const JobDate = " 8th December   2026";

// A heading as the engine frames it: between stars, 80 characters wide.
std::string Framed(const std::string& heading)
{
    std::string line = "*  " + heading;
    if (line.size() < 79)
        line.resize(79, ' ');
    return line + "*\n";
}

// The formula of the atoms: each element with its count, in the order the
// elements first appear ("Na4Cl4").
std::string Formula(const std::vector<StubAtom>& atoms)
{
    std::vector<std::pair<std::string, int>> counts;
    for (const StubAtom& atom : atoms) {
        auto found = std::find_if(counts.begin(), counts.end(),
                                  [&](const std::pair<std::string, int>& c) { return c.first == atom.element; });
        if (found == counts.end())
            counts.emplace_back(atom.element, 1);
        else
            ++found->second;
    }
    std::string formula;
    for (const auto& [element, count] : counts)
        formula += element + std::to_string(count);
    return formula;
}

// The main output up to its closing lines (which ClosingText gives), in the
// engine's order: the keyword echo, the start line, the configuration block
// (formula, counts, dimensionality, cell and the atom table with its region
// lines), then the general input information, then the output for the
// configuration.
std::string OutputText(const Deck& deck, const std::vector<Frame>& frames, const Script& script, Ending ending)
{
    const bool finished = ending == Ending::Finished;
    const std::string stars(80, '*');
    std::string text = stars + "\n" +
                       "*                                  ZELM                                        *\n" + stars +
                       "\n\n";
    text += stars + "\n" + Framed("Keywords :") + Framed("");
    switch (deck.task) {
    case Task::GeomOpt:
    case Task::Surface:
        text += Framed("opti         - perform optimisation run");
        break;
    case Task::Dynamics:
        text += Framed("md           - perform molecular dynamics run");
        break;
    case Task::Fit:
        text += Framed("fit          - perform fitting run");
        break;
    default:
        text += Framed("grad         - calculate first derivatives");
    }
    text += stars + "\n\n";
    text += std::string("  Job Started  at 21:10.00 ") + JobDate + "\n\n";
    text += "  Number of CPUs = 1\n\n";
    text += "  Total number of configurations input =   1\n\n";
    text += stars + "\n" + Framed("Input for Configuration =   1") + stars + "\n\n";
    const bool asymmetric =
        deck.dimension == Dimension::Bulk3D && deck.spaceGroup > 0 && !deck.asymmetricUnit.empty();
    const int dimension = deck.dimension == Dimension::Bulk3D ? 3 : deck.dimension == Dimension::Surface2D ? 2 : 0;
    text += "  Formula = " + Formula(deck.atoms) + "\n\n";
    text += Format("  Number of irreducible atoms/shells = %7zu\n",
                   asymmetric ? deck.asymmetricUnit.size() : deck.atoms.size());
    text += Format("  Total number atoms/shells = %7zu\n", deck.atoms.size());
    text += Format("  Dimensionality = %d               :  %s\n\n", dimension,
                   dimension == 3 ? "Bulk" : dimension == 2 ? "Surface" : "Cluster");
    if (deck.dimension == Dimension::Bulk3D) {
        text += "  Cell parameters (Angstroms/Degrees):\n\n";
        text += Format("  a = %12.4f    alpha = %8.4f\n", deck.cell[0], deck.cell[3]);
        text += Format("  b = %12.4f    beta  = %8.4f\n", deck.cell[1], deck.cell[4]);
        text += Format("  c = %12.4f    gamma = %8.4f\n\n", deck.cell[2], deck.cell[5]);
    } else if (deck.dimension == Dimension::Surface2D) {
        text += "  Surface cell parameters (Angstroms/Degrees):\n\n";
        text += Format("  a = %12.4f    alpha = %8.4f\n", deck.cell[0], deck.cell[5]);
        text += Format("  b = %12.4f\n\n", deck.cell[1]);
        text += "  Mixed fractional/Cartesian coordinates of surface :\n\n";
    }
    text += AtomTable(deck, asymmetric) + "\n";
    text += stars + "\n" + Framed("General input information") + stars + "\n\n";
    text += stars + "\n" + Framed("Output for configuration   1") + stars + "\n\n";

    if (deck.task == Task::GeomOpt || deck.task == Task::Surface) {
        text += "  Maximum parameter tolerance     =   0.000010000\n"
                "  Maximum function  tolerance     =   0.000010000\n"
                "  Maximum gradient  tolerance     =   0.001000000\n\n";
        text += deck.task == Task::Surface ? "  Start of surface optimisation :\n\n" : "  Start of bulk optimisation :\n\n";
        for (std::size_t i = 0; i < frames.size(); ++i) {
            text += "  Cycle: " + Format("%6zu", i) + " Energy:" + Field(frames[i].energy, 17, 6) +
                    "  Gnorm:" + Field(frames[i].gnorm, 14, 6) + Format("  CPU: %8.3f\n", 0.01 * (i + 1));
            if (finished && !script.unstable)
                text += CycleNotes(i, frames.size());
        }
        if (finished && !frames.empty()) {
            const Frame& last = frames.back();
            const std::string energy = Field(last.energy, 16, 8);
            text += script.unstable ? "\n\n  **** Too many failed attempts to optimise ****\n\n\n"
                                    : "\n\n  **** Optimisation achieved ****\n\n\n";
            text += energy[0] == '*' ? "  Final energy =  ******************** eV\n"
                                     : "  Final energy = " + energy + " eV\n";
            text += "  Final Gnorm  = " + Field(last.gnorm, 16, 8) + "\n\n";
        }
    } else if (deck.task == Task::Dynamics) {
        text += "  Molecular Dynamics :\n\n";
        text += deck.constantPressure ? "  Isothermal/baric ensemble (NPT) to be used\n\n"
                : deck.thermostat     ? "  Canonical ensemble (NVT) to be used\n\n"
                                      : "  Microcanonical ensemble (NVE) to be used\n\n";
        text += "  Molecular dynamics equilibration :\n\n  Molecular dynamics production :\n\n";
        for (std::size_t i = 0; i < frames.size(); ++i) {
            const Frame& f = frames[i];
            const double kinetic = 0.31 + 0.01 * std::sin(i + 1);
            text += Format("  ** Time : %12.5f ps **\n", f.time);
            text += Format("  Kinetic energy    (eV) = %12.6f %12.6f\n", kinetic, 0.31);
            text += Format("  Potential energy  (eV) = %12.6f %12.6f\n", f.energy - kinetic, f.energy - 0.31);
            text += Format("  Total energy      (eV) = %12.6f %12.6f\n", f.energy, f.energy);
            text += Format("  Conserved quantity(eV) = %12.6f %12.6f\n", -31.64 + 0.0001 * (i + 1), -31.64);
            text += Format("  Temperature       (K) = %12.4f %12.4f\n", 300.0 + 10.0 * std::sin(i + 1), 300.0);
            text += Format("  Pressure        (GPa) = %12.6f %12.6f\n", 0.17 - 0.01 * (i + 1), 0.12);
            if (deck.constantPressure && deck.dimension == Dimension::Bulk3D) {
                // The cell rows of a constant-pressure run, with the engine's
                // own spacing of their labels.
                const auto v = CellVectors(f.cell);
                const double volume = v[0][0] * (v[1][1] * v[2][2] - v[1][2] * v[2][1]) -
                                      v[0][1] * (v[1][0] * v[2][2] - v[1][2] * v[2][0]) +
                                      v[0][2] * (v[1][0] * v[2][1] - v[1][1] * v[2][0]);
                text += Format("       Cell parameter : a (A)   = %14.6f %17.6f\n", f.cell[0], f.cell[0]);
                text += Format("       Cell parameter : b (A)   = %14.6f %17.6f\n", f.cell[1], f.cell[1]);
                text += Format("       Cell parameter : c (A)   = %14.6f %17.6f\n", f.cell[2], f.cell[2]);
                text += Format("       Cell angle : alpha (o) = %14.6f %17.6f\n", f.cell[3], f.cell[3]);
                text += Format("       Cell angle : beta  (o) = %14.6f %17.6f\n", f.cell[4], f.cell[4]);
                text += Format("       Cell angle : gamma (o) = %14.6f %17.6f\n", f.cell[5], f.cell[5]);
                text += Format("       Cell volume :   (A**3) = %14.6f %17.6f\n", volume, volume);
            }
            text += "\n";
        }
        if (finished)
            text += "  Pressure of configuration = 0.120000 GPa\n\n";
    } else if (deck.task == Task::Fit) {
        for (std::size_t i = 0; i < frames.size(); ++i)
            text += Format("  Cycle: %6zu  Sum sqs: %14.6f  Gnorm: %14.6f\n", i, 10.0 * frames[i].gnorm,
                           frames[i].gnorm);
        if (finished)
            text += "\n  **** Fit completed successfully ****\n\n";
    } else if (!frames.empty() && ending != Ending::CutOff) {
        text += Format("  Total lattice energy = %16.8f eV\n\n", frames.back().energy);
    }
    return text;
}

// The closing lines of a run that ended normally: the timing table and the
// line of its end.
std::string ClosingText()
{
    return std::string("  Timing analysis for Zelm :\n\n  Total CPU time  0.0600\n\n\n  Job Finished at 21:10.01 ") +
           JobDate + "\n";
}

// The line the engine writes last when it stops a run, named after the
// routine that stopped it.
std::string ProgramTerminated(const std::string& routine)
{
    return Format("\n Program terminated by processor%6d in %20s\n", 0, routine.c_str());
}

// The engine's report of an error that stopped the run.
std::string EngineErrorText(const std::string& reason)
{
    const std::string frame(80, '!');
    return "\n" + frame + "\n!! ERROR : " + reason + "\n" + frame + "\n" + ProgramTerminated("errorhandler");
}

// The engine's stop without an error line: its reasons framed by "****",
// the cell it had reached, and the line of the routine that stopped it.
std::string TerminationText(const Deck& deck, const std::vector<Frame>& frames, const std::vector<std::string>& reasons)
{
    std::string text = "\n";
    for (const std::string& reason : reasons)
        text += "  **** " + reason + " ****\n";
    if (deck.dimension == Dimension::Bulk3D && !frames.empty()) {
        const std::array<double, 6>& c = frames.back().cell;
        text += "\n  Current cell parameters :\n\n";
        text += Format("    a = %8.4f    alpha = %8.4f\n", c[0], c[3]);
        text += Format("    b = %8.4f    beta  = %8.4f\n", c[1], c[4]);
        text += Format("    c = %8.4f    gamma = %8.4f\n", c[2], c[5]);
    }
    return text + ProgramTerminated("kindex");
}

void WriteTrajectory(const std::string& path, const Deck& deck, const std::vector<Frame>& frames)
{
    using RecordFile::Record;
    RecordFile::RecordWriter out(path);
    out.Write(Record().Real(1.0));
    out.Write(Record().Integer(static_cast<std::int32_t>(deck.atoms.size())));
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const Frame& f = frames[i];
        const double kinetic = 0.31 + 0.01 * std::sin(i + 1);
        out.Write(Record().Reals({f.time, kinetic, f.energy - kinetic, 300.0 + 10.0 * std::sin(i + 1)}));
        for (int k = 0; k < 6; ++k) {
            std::vector<double> column;
            for (std::size_t a = 0; a < f.positions.size(); ++a)
                column.push_back(k < 3 ? f.positions[a][k] : f.velocities[a][k - 3]);
            out.Write(Record().Reals(column));
        }
        if (deck.constantPressure) {
            const auto v = CellVectors(f.cell);
            out.Write(Record().Reals({v[0][0], v[0][1], v[0][2], v[1][0], v[1][1], v[1][2], v[2][0], v[2][1], v[2][2]}));
            out.Write(Record().Reals({f.cell[0], f.cell[1], f.cell[2], f.cell[3], f.cell[4], f.cell[5]}));
        }
    }
    out.Close();
}

bool IsSpeciesLine(const std::vector<std::string>& t)
{
    double value = 0;
    if (t.size() == 2)
        return IsNumber(t[1], value);
    return t.size() >= 3 && (t[1] == "core" || t[1].rfind("shel", 0) == 0) && IsNumber(t[2], value);
}

// An interaction line with its values changed where the fit flags at its
// end ask for it: the flags are the trailing run of "0" and "1", one for
// each of the first values (never more flags than values before them); a
// value flagged 1 grows by 5 per cent, every other value and a line without
// flags stay as written.
std::string FittedLine(const std::string& line)
{
    const std::vector<std::string> t = Tokens(line);
    std::size_t firstValue = 0;
    double value = 0;
    while (firstValue < t.size() && !IsNumber(t[firstValue], value))
        ++firstValue;
    std::size_t flags = 0;
    while (flags < t.size() - firstValue && (t[t.size() - 1 - flags] == "0" || t[t.size() - 1 - flags] == "1"))
        ++flags;
    flags = std::min(flags, (t.size() - firstValue) / 2);
    const std::size_t firstFlag = t.size() - flags;
    bool changed = false;
    std::vector<std::string> out = t;
    for (std::size_t k = 0; k < flags; ++k) {
        if (t[firstFlag + k] == "1" && IsNumber(t[firstValue + k], value)) {
            out[firstValue + k] = Format("%.6f", value * 1.05);
            changed = true;
        }
    }
    if (!changed)
        return line;
    std::string text;
    for (std::size_t k = 0; k < out.size(); ++k)
        text += (k ? " " : "") + out[k];
    return text;
}

// The dump of a fitting run, in the engine's layout: the keyword line and
// the comment lines that repeat it, the title, each structure of the deck
// with its space group, energy and observables, then the species block and
// the potentials of the staged library (comments left out, the values
// flagged for fitting changed), and last "dump <file>".
std::string DumpText(const Deck& deck, const std::string& library, double energy, const std::string& dumpName)
{
    std::string text = deck.keywordLine + "\n#  \n#  Keywords:\n#  \n#  " + deck.keywordLine + "\n#  \n";
    if (!deck.title.empty()) {
        text += "title\n";
        for (const std::string& line : deck.title)
            text += line + "\n";
        text += "end\n";
    }
    for (const FitStructure& structure : deck.fitStructures) {
        text += "name " + structure.name + "\n";
        if (!structure.cell.empty())
            text += "cell\n" + structure.cell + "\n";
        text += "fractional  1\n";
        for (const std::string& atom : structure.atoms)
            text += atom + "\n";
        if (structure.spaceGroup > 0)
            text += Format("space\n%d\n", structure.spaceGroup);
        text += Format("totalenergy      %20.10f eV\n", energy);
        if (!structure.observables.empty()) {
            text += "observables\n";
            for (const std::string& line : structure.observables)
                text += line + "\n";
            text += "end\n";
        }
    }

    std::istringstream in(library);
    std::vector<std::string> species;
    std::vector<std::string> potentials;
    bool inSpecies = false;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const std::vector<std::string> t = Tokens(line);
        if (t.empty() || t[0][0] == '#')
            continue;
        // "species" or an abbreviation of it of four letters or more.
        if (t.size() <= 2 && t[0].size() >= 4 && std::string("species").rfind(t[0], 0) == 0) {
            inSpecies = true;
            continue;
        }
        if (inSpecies && IsSpeciesLine(t)) {
            species.push_back(line);
            continue;
        }
        inSpecies = false;
        potentials.push_back(FittedLine(line));
    }
    text += Format("species %3zu\n", species.size());
    for (const std::string& line : species)
        text += line + "\n";
    for (const std::string& line : potentials)
        text += line + "\n";
    return text + "dump " + dumpName + "\n";
}

} // namespace

int Run(const std::string& folder, const Deck& deck, const Script& script, std::ostream& announce,
        std::ostream& errors)
{
    const std::string seed = deck.seed;
    const auto path = [&](const std::string& name) { return Join(folder, name); };
    const auto snapshot = [&](const std::string& name, const std::string& text) {
        WriteFile(path(name), text);
        announce << "@intermediate-file " << name << std::endl;
    };
    const int steps = deck.task == Task::Energy ? 1 : script.steps;
    const PhononRequest phonons = ReadPhononRequest(folder, seed);
    const bool optimisation = deck.task == Task::GeomOpt || deck.task == Task::Surface;

    std::vector<Frame> frames;
    std::string arc = ArchiveHeader(deck, script.archiveWord);
    std::string history = deck.task == Task::Dynamics ? "" : "Tolerances energy:0.00001 gradient:0.00100\n";
    std::string pressure;
    const auto summaryText = [&](int step, const char* status) {
        return Format("ZELM stand-in run\nSeed: %s\nTask: %s\nStep: %d of %d\nEnergy (eV): %.6f\nStatus: %s\n",
                      seed.c_str(), TaskName(deck.task), step, steps, frames.empty() ? 0.0 : frames.back().energy,
                      status);
    };
    // The run's files as they stand when it ends; `tail` ends the main output.
    const auto finish = [&](Ending ending, const std::string& tail) {
        std::string output = OutputText(deck, frames, script, ending);
        if (ending == Ending::Finished)
            output += PhononOutputText(deck, phonons) + ClosingText();
        WriteFile(path(seed + ".gout"), output + tail);
        if (ending == Ending::Finished)
            WritePhononFiles(folder, deck, phonons);
        if (deck.task != Task::Fit)
            WriteFile(path(seed + ".arc"), arc);
        if (optimisation)
            WriteFile(path(seed + ".geomopt"), history);
        if (deck.task == Task::Dynamics) {
            WriteFile(path(seed + ".mdynam"), history);
            WriteFile(path(deck.pressureFile.empty() ? seed + ".pre" : deck.pressureFile), pressure);
            WriteTrajectory(path(deck.trajectoryFile.empty() ? seed + ".trg" : deck.trajectoryFile), deck, frames);
        }
    };
    const bool stops = !script.engineError.empty() || !script.terminate.empty() || script.cutOffAfter >= 0 ||
                       (script.failAfter >= 0 && script.failAfter <= steps);

    if (script.cutOffAfter == 0) {
        finish(Ending::CutOff, "");
        WriteFile(path(seed + ".summary"), summaryText(0, "killed"));
        return 0;
    }
    for (int step = 0; step < steps; ++step) {
        const Frame frame = MakeFrame(deck, step, steps, script.unstable && optimisation);
        frames.push_back(frame);
        if (deck.task != Task::Fit)
            arc += ArchiveFrame(deck, frame);
        if (optimisation) {
            history += step == 0 ? Format("%.6f %.6f\n", frame.energy, frame.gnorm)
                                 : Format("%.6f %.6f %.6f\n", frame.energy, frame.gnorm,
                                          frame.energy - frames[frames.size() - 2].energy);
        } else if (deck.task == Task::Dynamics) {
            history += MdynamFrame(deck, frame, step + 1);
            for (const char* kind : {"Instant:", "Average:"})
                pressure += Format("%s %d %.6f %.6f %.6f %.6f %.6f %.6f\n", kind, step + 1, 0.12 + 0.001 * step,
                                   0.13, 0.14, 0.15, 0.16, 0.17);
        }

        // The snapshots of this step, each under a name of its own.
        const std::string tag = seed + "-step" + std::to_string(step + 1);
        // The last snapshot of a run that goes on to its end says so: it is the
        // status text the job keeps.
        const bool lastStep = step + 1 == steps && !stops;
        snapshot(tag + ".summary", summaryText(step + 1, lastStep ? "finished" : "running"));
        if (optimisation)
            snapshot(tag + ".geomopt", history);
        if (deck.task == Task::Dynamics)
            snapshot(tag + ".mdynam", history + Format("Frame number: %d\n", step + 2));
        if (deck.task != Task::Fit && deck.task != Task::Energy)
            snapshot(tag + ".arc", arc);

        if (!script.engineError.empty()) {
            finish(Ending::Stopped, EngineErrorText(script.engineError));
            WriteFile(path(seed + ".summary"), summaryText(step + 1, "stopped by an engine error"));
            return 0;
        }
        if (!script.terminate.empty()) {
            finish(Ending::Stopped, TerminationText(deck, frames, script.terminate));
            WriteFile(path(seed + ".summary"), summaryText(step + 1, "stopped by the engine"));
            return 0;
        }
        if (script.cutOffAfter >= 0 && (step + 1 >= script.cutOffAfter || step + 1 == steps)) {
            finish(Ending::CutOff, "");
            WriteFile(path(seed + ".summary"), summaryText(step + 1, "killed"));
            return 0;
        }
        if (script.failAfter >= 0 && step + 1 >= script.failAfter) {
            finish(Ending::Stopped, "");
            WriteFile(path(seed + ".summary"), summaryText(step + 1, "failed"));
            errors << "zelm-stub: scripted failure after step " << step + 1 << " of " << steps << "\n";
            errors << "zelm-stub: the run of \"" << seed << "\" stops here\n";
            return 1;
        }
        if (script.hangAfter >= 0 && step + 1 >= script.hangAfter) {
            errors << "zelm-stub: scripted hang after step " << step + 1 << "\n";
            errors.flush();
            for (;;)
                pause();
        }
        if (script.delaySeconds > 0)
            std::this_thread::sleep_for(std::chrono::duration<double>(script.delaySeconds));
    }
    if (deck.task == Task::Dynamics)
        history += Format("Frame number: %d\n", steps + 1);

    std::string dump;
    if (deck.task == Task::Fit) {
        const std::string libraryName = deck.library.empty() ? std::string() : deck.library + ".lib";
        std::ifstream in(path(libraryName));
        if (libraryName.empty() || !in) {
            finish(Ending::Finished, "");
            WriteFile(path(seed + ".summary"), summaryText(steps, "finished"));
            errors << "zelm-stub: the library \"" << libraryName << "\" of the fit is missing; no dump written\n";
            return 1;
        }
        std::ostringstream library;
        library << in.rdbuf();
        const std::string dumpName = deck.dumpFile.empty() ? seed + ".res" : deck.dumpFile;
        dump = DumpText(deck, library.str(), frames.back().energy, dumpName);
        WriteFile(path(dumpName), dump);
    }
    finish(Ending::Finished, "");
    WriteFile(path(seed + ".summary"), summaryText(steps, "finished"));
    return 0;
}

} // namespace ZelmStub

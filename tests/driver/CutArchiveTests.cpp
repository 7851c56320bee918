// An archive whose last frame the end of the file cuts, at every line of that
// frame and inside its lines, driven through every command that reads the
// archive: each takes the same whole frames (those of the archive cut back
// to its last whole frame), each tells the cut with the same note, and each
// answer of `results` is yes exactly where its command succeeds.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "DriverRun.h"

namespace {

namespace fs = std::filesystem;

const std::string Examples = std::string(QZ_TEST_DATA) + "/../../examples/";

// The archive's text before its last frame, and that frame's lines (with
// their breaks).
struct Split {
    std::string before;
    std::vector<std::string> last;
};

Split LastFrameLines(const std::string& text, const std::string& lineBreak)
{
    // The break that ends the line before the last frame's header line.
    const std::size_t header = text.rfind(lineBreak, text.rfind("!DATE") - lineBreak.size() - 1);
    Split split{text.substr(0, header + lineBreak.size()), {}};
    for (std::size_t at = split.before.size(); at < text.size();) {
        const std::size_t end = text.find(lineBreak, at) + lineBreak.size();
        split.last.push_back(text.substr(at, end - at));
        at = end;
    }
    return split;
}

// The bundled optimisation's archive: as it is (periodic), without its cell
// lines (not periodic), or with CR LF line breaks.
std::string Variant(const std::string& kind)
{
    std::string text = QzTest::ReadFile(Examples + "results/geomopt/rocksalt.arc");
    if (kind == "crlf") {
        std::string crlf;
        for (char c : text)
            crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
        return crlf;
    }
    if (kind == "non-periodic") {
        std::string plain;
        for (std::size_t at = 0; at < text.size();) {
            const std::size_t end = text.find('\n', at) + 1;
            const std::string line = text.substr(at, end - at);
            if (line.rfind("PBC=", 0) == 0)
                plain += "PBC=OFF\n";
            else if (line.rfind("PBC ", 0) != 0)
                plain += line;
            at = end;
        }
        return plain;
    }
    return text;
}

struct Cut {
    std::string what;
    std::string text;
    std::size_t frames;       // whole frames
    bool cut;                 // the note is due
    std::size_t damaged = 0;  // the damaged frame the note names (0: the note on a cut)
};

// The archive's header and its first `frames` frames.
std::string FirstFrames(const std::string& text, std::size_t frames)
{
    std::size_t date = 0;
    for (std::size_t frame = 0; frame <= frames; ++frame)
        if ((date = text.find("!DATE", date + 1)) == std::string::npos)
            return text;
    return text.substr(0, text.rfind('\n', text.rfind('\n', date) - 1) + 1);
}

// The archive with the atom lines of frame `frame` (from 1) changed by
// `change` (the frame's atom lines in, the lines to write out).
template <class Change>
std::string ChangeAtomLines(const std::string& text, std::size_t frame, Change change)
{
    std::string out;
    std::size_t seen = 0;
    std::vector<std::string> atoms;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = text.find('\n', at) + 1;
        const std::string line = text.substr(at, end - at);
        at = end;
        if (line.rfind("!DATE", 0) == 0)
            ++seen;
        const bool atom = line.find(" CORE ") != std::string::npos;
        if (atom && (frame == 0 || seen == frame)) {
            atoms.push_back(line);
            continue;
        }
        if (!atoms.empty()) {
            for (const std::string& kept : change(atoms))
                out += kept;
            atoms.clear();
        }
        out += line;
    }
    return out;
}

// Which places of the last frame a test cuts at.
enum class Places { AfterEveryLine, InsideEveryLine, Some };

// The places the end of the file can fall in the last frame: after each of
// its lines and inside each of them, and its last line without its break.
std::vector<Cut> Cuts(const std::string& kind, Places places)
{
    const std::string lineBreak = kind == "crlf" ? "\r\n" : "\n";
    const std::string text = Variant(kind);
    const Split split = LastFrameLines(text, lineBreak);
    const std::size_t lines = split.last.size();
    std::vector<Cut> cuts;
    std::string prefix = split.before;
    for (std::size_t i = 0; i <= lines; ++i) {
        // The file ends after i lines of the last frame; right after its
        // atom lines (the two "end" lines are the last two) the frame is
        // whole. Before the frame and after all of it the archive is one of
        // the two whole ones that the cuts are held against.
        const bool whole = i == lines - 2;
        const bool some = i == 1 || i == 3 || i == lines - 2 || i == lines - 1;
        if (i != 0 && i != lines && (places == Places::AfterEveryLine || (places == Places::Some && some)))
            cuts.push_back({"after line " + std::to_string(i) + " of the last frame", prefix, whole ? 5u : 4u, !whole});
        if (i == lines)
            break;
        const std::string& line = split.last[i];
        const std::string content = line.substr(0, line.size() - lineBreak.size());
        // Inside its words: blanks alone are no text of the frame.
        const bool someInside = i == 0 || i == 4 || i == lines - 1;
        if (places == Places::InsideEveryLine || (places == Places::Some && someInside))
            cuts.push_back({"inside line " + std::to_string(i + 1) + " of the last frame",
                            prefix + content.substr(0, content.size() > 2 ? content.size() - 2 : 1), 4, true});
        prefix += line;
    }
    if (places != Places::AfterEveryLine)
        cuts.push_back({"without the final line break", text.substr(0, text.size() - lineBreak.size()), 4, true});
    // Under the sanitizers every command runs about ten times slower: two
    // places a table there (one among the atom lines, the last one); the
    // reader's own test still cuts at every byte.
    if (QzTest::UnderAddressSanitizer() && cuts.size() > 2)
        cuts = {cuts[cuts.size() / 2], cuts.back()};
    return cuts;
}

// The text with each document's identity ("{" 8-4-4-4-12 hex digits "}"),
// which a new document draws anew, taken out.
std::string WithoutIds(std::string text)
{
    for (std::size_t at = 0; (at = text.find('{', at)) != std::string::npos; ++at) {
        const std::size_t end = text.find('}', at);
        if (end == at + 37)
            text.replace(at, 38, "{id}");
    }
    return text;
}

// What the commands say, without the note on the cut frame; and how many
// notes they gave.
struct Said {
    std::map<std::string, std::string> out;
    std::map<std::string, int> code;
    std::map<std::string, int> notes;
};

class CutArchive : public QzTest::DriverTest {
protected:
    CutArchive() : DriverTest("driver-cut-archive") {}

    void SetUp() override
    {
        Step("register " + std::string(QZ_LIB_DIR) + "/libQorZelm.so");
        Step("project p");
        Step("import " + Examples + "rocksalt.cif --project p");
        // A molecule of the archive's atoms for the archive without cells.
        const std::string first = QzTest::ReadFile(Examples + "results/geomopt/rocksalt.arc");
        std::string xyz = "8\nsalt cluster\n";
        std::istringstream lines(first.substr(first.find("\nNa1") + 1));
        for (int atom = 0; atom < 8; ++atom) {
            std::string line, label, x, y, z;
            std::getline(lines, line);
            std::istringstream(line) >> label >> x >> y >> z;
            xyz += label.substr(0, 2) + " " + x + " " + y + " " + z + "\n";
        }
        QzTest::WriteFile(folder.File("cluster.xyz"), xyz);
        Step("import cluster.xyz --project p --name cluster");
    }

    void Prepare(const std::string& kind)
    {
        fs::create_directories(folder.File("p/cut"));
        fs::copy_file(Examples + "results/geomopt/rocksalt.gout", folder.File("p/cut/rocksalt.gout"));
        fs::copy_file(folder.File(kind == "non-periodic" ? "p/cluster.qsd" : "p/rocksalt.qsd"),
                      folder.File("p/cut/rocksalt.qsd"));
        fs::copy(folder.File("p"), folder.File("saved"), fs::copy_options::recursive);
    }

    // The project as it was before the commands.
    void Restore() const
    {
        fs::remove_all(folder.File("p"));
        fs::copy(folder.File("saved"), folder.File("p"), fs::copy_options::recursive);
    }

    // The note the commands give on an archive whose frames a cut or a
    // damaged frame ends.
    std::string Note(const Cut& cut) const
    {
        const std::string arc = folder.File("p/cut/rocksalt.arc");
        const std::string taken = "the " + std::to_string(cut.frames) +
                                  (cut.frames == 1 ? " whole frame before it is taken\n" : " whole frames before it are taken\n");
        if (cut.damaged != 0)
            return "note: frame " + std::to_string(cut.damaged) + " of \"" + arc + "\" is damaged: " + taken;
        return "note: the last frame of \"" + arc + "\" is cut short: " + taken;
    }

    Said RunAll(const std::string& archive, const std::string& note = std::string("no note")) const
    {
        const std::string arc = folder.File("p/cut/rocksalt.arc");
        const std::vector<std::pair<std::string, std::string>> commands = {
            {"results", "results p/cut/rocksalt.gout"},
            {"read", "read " + folder.File("p/cut/rocksalt")},
            {"trajectory", "trajectory p/cut/rocksalt --document p/cut/rocksalt.qsd"},
            {"analyse energy", "analyse p/cut/rocksalt.gout energy"},
            {"analyse structure", "analyse p/cut/rocksalt.gout structure p/cut/rocksalt.qsd"},
            {"analyse trajectory", "analyse p/cut/rocksalt.gout trajectory p/cut/rocksalt.qsd"},
            {"update-structure", "update-structure p/cut/rocksalt.qsd p/cut/rocksalt.arc"},
            {"import-result", "import-result p/cut/rocksalt.qsd"},
        };
        Said said;
        for (const auto& [name, arguments] : commands) {
            Restore();
            QzTest::WriteFile(arc, archive);
            QzTest::DriverOutcome outcome = Run(arguments);
            EXPECT_TRUE(outcome.exited) << name;
            std::string text = WithoutIds(outcome.out);
            int notes = 0;
            for (std::size_t at; (at = text.find(note)) != std::string::npos; ++notes)
                text.erase(at, note.size());
            // The state the trajectory document shows its frames from.
            if (name == "analyse trajectory" && outcome.code == 0)
                text += Run("show p/cut/rocksalt.qtd").out;
            said.out[name] = text + outcome.err;
            said.code[name] = outcome.code;
            said.notes[name] = notes;
        }
        Restore();
        return said;
    }

    // The answer `results` gives to a question.
    static std::string Answer(const Said& said, const std::string& question)
    {
        const std::string& out = said.out.at("results");
        const std::size_t at = out.find("\n" + question + ": ");
        if (at == std::string::npos)
            return "not answered";
        const std::size_t from = at + question.size() + 3;
        return out.substr(from, out.find('\n', from) - from);
    }

    // Each cut or damaged archive gives what its whole frames alone give,
    // with the note; each answer is yes exactly where its command succeeds.
    void ExpectTheWholeFramesOf(const std::vector<Cut>& cuts, const std::string& text)
    {
        std::map<std::size_t, Said> whole;
        for (const Cut& cut : cuts)
            if (whole.count(cut.frames) == 0)
                whole.emplace(cut.frames, RunAll(FirstFrames(text, cut.frames)));
        for (const auto& [frames, reference] : whole) {
            for (const auto& [name, code] : reference.code)
                EXPECT_EQ(code, frames == 0 ? code : 0) << frames << " frames: " << name << "\n" << reference.out.at(name);
            EXPECT_NE(reference.out.at("read").find("Archive (.arc): " + std::to_string(frames) + " frames"),
                      std::string::npos) << reference.out.at("read");
        }
        for (const Cut& cut : cuts) {
            SCOPED_TRACE(cut.what);
            const Said said = RunAll(cut.text, Note(cut));
            const Said& expected = whole.at(cut.frames);
            for (const auto& [name, out] : said.out) {
                EXPECT_EQ(out, expected.out.at(name)) << name;
                EXPECT_EQ(said.code.at(name), expected.code.at(name)) << name;
                // The note comes with every command that takes frames, and
                // with one that fails for want of any.
                EXPECT_EQ(said.notes.at(name), cut.cut && (said.code.at(name) == 0 || cut.frames == 0) ? 1 : 0)
                    << name << "\n" << out;
            }
            const std::pair<const char*, const char*> questions[] = {{"CanViewEnergyEvolution", "analyse energy"},
                                                                     {"CanUpdateStructure", "analyse structure"},
                                                                     {"CanCreateTrajectory", "analyse trajectory"}};
            for (const auto& [question, command] : questions)
                EXPECT_EQ(Answer(said, question) == "yes", said.code.at(command) == 0) << question;
        }
    }

    void ExpectTheSameFramesEverywhere(const std::string& kind, Places places)
    {
        Prepare(kind);
        const std::vector<Cut> cuts = Cuts(kind, places);
        ExpectTheWholeFramesOf(cuts, Variant(kind));
        bool five = false;
        for (const Cut& cut : cuts)
            five = five || cut.frames == 5;
        if (five) {
            EXPECT_NE(RunAll(Variant(kind)).out.at("trajectory").find("Trajectory: 5 frames"), std::string::npos);
        }
    }
};

TEST_F(CutArchive, PeriodicAfterEveryLine)
{
    ExpectTheSameFramesEverywhere("periodic", Places::AfterEveryLine);
}

TEST_F(CutArchive, PeriodicInsideEveryLine)
{
    ExpectTheSameFramesEverywhere("periodic", Places::InsideEveryLine);
}

TEST_F(CutArchive, NonPeriodic)
{
    ExpectTheSameFramesEverywhere("non-periodic", Places::Some);
}

TEST_F(CutArchive, CrLfLines)
{
    ExpectTheSameFramesEverywhere("crlf", Places::Some);
}

// A frame that is not whole though the file goes on ends the frames as a cut
// does: the whole frames before it are taken by every command, with a note
// that names it. The run and its document have 8 atoms.
TEST_F(CutArchive, ADamagedFrameEndsTheFrames)
{
    Prepare("periodic");
    const std::string text = Variant("periodic");
    using Lines = std::vector<std::string>;
    const auto oneFewer = [](Lines atoms) { atoms.pop_back(); return atoms; };
    const auto oneMore = [](Lines atoms) { atoms.push_back(atoms.back()); return atoms; };
    const auto none = [](const Lines&) { return Lines(); };
    const auto six = [](Lines atoms) { atoms.resize(6); return atoms; };
    const std::vector<Cut> rows = {
        {"frame 3 lacks an atom line", ChangeAtomLines(text, 3, oneFewer), 2, true, 3},
        {"frame 3 has an atom line too many", ChangeAtomLines(text, 3, oneMore), 2, true, 3},
        {"frame 3 is empty", ChangeAtomLines(text, 3, none), 2, true, 3},
        {"the last frame, closed, lacks an atom line", ChangeAtomLines(text, 5, oneFewer), 4, true, 5},
        {"the last frame, closed, has an atom line too many", ChangeAtomLines(text, 5, oneMore), 4, true, 5},
        {"every frame has 6 atoms", ChangeAtomLines(text, 0, six), 0, true, 1},
        {"the first frame lacks an atom line", ChangeAtomLines(text, 1, oneFewer), 0, true, 1},
        {"the only frame is cut short", FirstFrames(text, 1).substr(0, FirstFrames(text, 1).size() - 18), 0, true},
    };
    ExpectTheWholeFramesOf(rows, text);
}

// A disk that takes no more (a file-size limit stands for it): the working
// copy of the last frame cannot be written, and both roads to the update say
// the system's reason; no half copy stays and the document is as it was.
TEST_F(CutArchive, AFullDiskIsToldWithTheSystemsReason)
{
    Prepare("periodic");
    QzTest::WriteFile(folder.File("p/cut/rocksalt.arc"), Variant("periodic"));
    const std::string document = QzTest::ReadFile(folder.File("p/cut/rocksalt.qsd"));
    const std::string copy = folder.File("p/cut/rocksalt_TDE_.arc");
    for (const std::string arguments :
         {"update-structure p/cut/rocksalt.qsd p/cut/rocksalt.arc", "analyse p/cut/rocksalt.gout structure p/cut/rocksalt.qsd"}) {
        SCOPED_TRACE(arguments);
        // Only the command runs under the limit; its messages come through a pipe.
        const std::string command = "cd '" + folder.Path() + "' && (trap '' XFSZ && ulimit -f 0 && QZ_USER_SETTINGS='" +
                                    folder.File("user-settings") + "' exec '" + QzTest::DriverPath() +
                                    "' --registry '" + folder.File("registry.json") + "' " + arguments +
                                    " 2>&1 >/dev/null)";
        FILE* pipe = popen(command.c_str(), "r");
        ASSERT_NE(pipe, nullptr);
        std::string said;
        char buffer[4096];
        for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            said.append(buffer, n);
        const int status = pclose(pipe);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 1);
        EXPECT_NE(said.find("Unable to write ZELM intermediate arc file: \"" + copy + "\" cannot be written (" +
                            std::strerror(EFBIG) + "): the file-size limit of this session is too small for it."),
                  std::string::npos)
            << said;
        EXPECT_FALSE(fs::exists(copy));
        EXPECT_EQ(QzTest::ReadFile(folder.File("p/cut/rocksalt.qsd")), document);
    }
}

}  // namespace

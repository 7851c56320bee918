// zelm-stub: the engine stand-in. Configured as the job manager's "ZELM"
// command, it runs in the job's server folder, reads "<seed>.gin" and writes
// scripted outputs in the engine's formats, announcing its intermediate
// files on standard output.
//
//   zelm-stub SEED [--steps N] [--delay SECONDS] [--fail-after N] [--hang-after N]
//             [--engine-error TEXT] [--terminate TEXT]... [--cut-off N] [--unstable]
//             [--archive-word WORD]
//
// A run that goes to its end opens its main output with "Job Started" and
// closes it with the timing table ("Total CPU time") and "Job Finished". A
// deck given with its asymmetric unit and a space group gets the engine's
// table of the asymmetric unit alone, while its trajectory and archive hold
// the whole cell. Archives open with "!ZELM archive 3".
// The scripted ways a run goes wrong:
// --fail-after N   ends the process with status 1 after N steps (a crashed
//                  engine); its main output has no closing lines.
// --engine-error TEXT  stops the run after its first step the way the engine
//                  does when it meets an error: its main output ends with the
//                  framed line "!! ERROR : TEXT" and "Program terminated by
//                  processor 0 in ..."; status 0.
// --terminate TEXT stops the run after its first step without an error line:
//                  the main output ends with "**** TEXT ****" (one framed line
//                  for each --terminate), the current cell and "Program
//                  terminated by processor 0 in ..."; status 0.
// --cut-off N      the run is killed after N cycles (steps): its main output
//                  ends right after that cycle line, without closing lines;
//                  status 0, so that only the output tells.
// --unstable       an optimisation that blows up: energies and gradient norms
//                  grow until they fill their fields ("Gnorm:1290544.318702")
//                  and then overflow them (stars) from the fifth cycle on; its
//                  "Final energy" is stars. Optimisation decks only.
// The layout of another writer:
// --archive-word WORD  the archives open with "!WORD archive 3" (the word
//                  names the writer: the engine's is ZELM, the default here;
//                  the module writes its own, KORVEX).

#include "StubRun.h"

#include <cstdlib>
#include <iostream>
#include <string>

namespace {

const char* const Usage =
    "usage: zelm-stub SEED [--steps N] [--delay SECONDS] [--fail-after N] [--hang-after N] "
    "[--engine-error TEXT] [--terminate TEXT]... [--cut-off N] [--unstable] [--archive-word WORD]\n";

const char* const Help =
    "The engine stand-in: run in a job's folder, it reads SEED.gin (and the staged SEED.qsd) and\n"
    "writes scripted outputs in the engine's formats, announcing its intermediate files.\n"
    "A run that goes to its end opens its main output with \"Job Started\" and closes it with the\n"
    "timing table (\"Total CPU time\") and \"Job Finished\". A deck given with its asymmetric unit\n"
    "and a space group gets the table of the asymmetric unit alone; its trajectory and archive keep\n"
    "the whole cell.\n"
    "  --steps N             cycles or steps of the run (5)\n"
    "  --delay SECONDS       a pause after each step\n"
    "  --fail-after N        crash after N steps: status 1, no closing lines\n"
    "  --hang-after N        stop answering after N steps\n"
    "  --engine-error TEXT   stop after the first step with \"!! ERROR : TEXT\" and \"Program\n"
    "                        terminated by processor 0 in ...\"; status 0\n"
    "  --terminate TEXT      stop after the first step without an error line: \"**** TEXT ****\"\n"
    "                        (one line for each --terminate), the current cell, \"Program terminated\n"
    "                        by processor 0 in ...\"; status 0\n"
    "  --cut-off N           a run killed after N cycles: the main output ends right after that\n"
    "                        cycle line, without closing lines; status 0\n"
    "  --unstable            an optimisation whose energies and gradient norms fill their fields\n"
    "                        (\"Gnorm:1787732.361600\") and then overflow them (stars); its final\n"
    "                        energy is stars (optimisation decks only)\n"
    "  --archive-word WORD   archives open with \"!WORD archive 3\" (default: ZELM, the engine's\n"
    "                        word; the module writes its own, KORVEX)\n";

bool IsWord(const std::string& text)
{
    if (text.empty())
        return false;
    for (const char c : text)
        if (c <= ' ' || c == 0x7f)
            return false;
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    std::string seed;
    ZelmStub::Script script;
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        const auto value = [&](const char* what) {
            if (i + 1 >= argc) {
                std::cerr << "zelm-stub: " << what << " needs a value\n";
                std::exit(2);
            }
            return std::string(argv[++i]);
        };
        try {
            if (word == "--help" || word == "-h") {
                std::cout << Usage << "\n" << Help;
                return 0;
            } else if (word == "--steps")
                script.steps = std::stoi(value("--steps"));
            else if (word == "--delay")
                script.delaySeconds = std::stod(value("--delay"));
            else if (word == "--fail-after")
                script.failAfter = std::stoi(value("--fail-after"));
            else if (word == "--hang-after")
                script.hangAfter = std::stoi(value("--hang-after"));
            else if (word == "--engine-error")
                script.engineError = value("--engine-error");
            else if (word == "--terminate")
                script.terminate.push_back(value("--terminate"));
            else if (word == "--cut-off") {
                script.cutOffAfter = std::stoi(value("--cut-off"));
                if (script.cutOffAfter < 0) {
                    std::cerr << "zelm-stub: --cut-off needs a number of cycles, 0 or more\n";
                    return 2;
                }
            } else if (word == "--unstable")
                script.unstable = true;
            else if (word == "--archive-word") {
                script.archiveWord = value("--archive-word");
                if (!IsWord(script.archiveWord)) {
                    std::cerr << "zelm-stub: --archive-word needs one word without blanks\n";
                    return 2;
                }
            } else if (!word.empty() && word[0] == '-') {
                std::cerr << "zelm-stub: unknown option " << word << "\n";
                return 2;
            } else
                seed = word;
        } catch (const std::exception&) {
            std::cerr << "zelm-stub: " << word << " needs a number\n";
            return 2;
        }
    }
    if (seed.empty() || script.steps < 1) {
        std::cerr << Usage;
        return 2;
    }
    try {
        const ZelmStub::Deck deck = ZelmStub::ReadDeck(".", seed);
        if (script.unstable && deck.task != ZelmStub::Task::GeomOpt && deck.task != ZelmStub::Task::Surface) {
            std::cerr << "zelm-stub: --unstable needs an optimisation deck, \"" << seed << ".gin\" is a "
                      << ZelmStub::TaskName(deck.task) << " deck\n";
            return 2;
        }
        return ZelmStub::Run(".", deck, script, std::cout, std::cerr);
    } catch (const std::exception& error) {
        std::cerr << "zelm-stub: " << error.what() << "\n";
        return 2;
    }
}

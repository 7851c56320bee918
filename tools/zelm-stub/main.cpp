// zelm-stub: the engine stand-in. Configured as the job manager's "ZELM"
// command, it runs in the job's server folder, reads "<seed>.gin" and writes
// scripted outputs in the engine's formats, announcing its intermediate
// files on standard output.
//
//   zelm-stub SEED [--steps N] [--delay SECONDS] [--fail-after N] [--hang-after N]
//             [--engine-error TEXT]
//
// --fail-after N ends the process with status 1 after N steps (a crashed
// engine); --engine-error TEXT stops the run after its first step the way
// the engine does when it meets an error: its main output ends with the
// framed line "!! ERROR : TEXT" and the process ends with status 0.

#include "StubRun.h"

#include <cstdlib>
#include <iostream>
#include <string>

int main(int argc, char** argv)
{
    std::string seed;
    ZelmStub::Script script;
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        const auto number = [&](const char* what) {
            if (i + 1 >= argc) {
                std::cerr << "zelm-stub: " << what << " needs a value\n";
                std::exit(2);
            }
            return std::string(argv[++i]);
        };
        try {
            if (word == "--steps")
                script.steps = std::stoi(number("--steps"));
            else if (word == "--delay")
                script.delaySeconds = std::stod(number("--delay"));
            else if (word == "--fail-after")
                script.failAfter = std::stoi(number("--fail-after"));
            else if (word == "--hang-after")
                script.hangAfter = std::stoi(number("--hang-after"));
            else if (word == "--engine-error")
                script.engineError = number("--engine-error");
            else if (!word.empty() && word[0] == '-') {
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
        std::cerr << "usage: zelm-stub SEED [--steps N] [--delay SECONDS] [--fail-after N] [--hang-after N] "
                     "[--engine-error TEXT]\n";
        return 2;
    }
    try {
        const ZelmStub::Deck deck = ZelmStub::ReadDeck(".", seed);
        return ZelmStub::Run(".", deck, script, std::cout, std::cerr);
    } catch (const std::exception& error) {
        std::cerr << "zelm-stub: " << error.what() << "\n";
        return 2;
    }
}

// The generated library of the benchmarks that load a large forcefield.
#pragma once

#include <random>
#include <sstream>
#include <string>

namespace QzBench {

// A library of `species` species, each with a core and a shell (2 x species
// atom types), and their springs, then `each` interactions of each of three
// forms in shuffled order: Buckingham pairs between shells, three-body and
// torsion terms between cores. The same arguments give the same text.
inline std::string ShuffledLibrary(int species, int each)
{
    std::mt19937 random(4242);
    std::uniform_int_distribution<int> pick(0, species - 1);
    std::ostringstream text;
    text << "# generated benchmark library\nspecies\n";
    for (int i = 0; i < species; ++i) {
        text << "X" << i << " core " << 0.5 + i * 0.001 << "\n";
        text << "X" << i << " shel " << -1.5 - i * 0.001 << "\n";
    }
    text << "spring\n";
    for (int i = 0; i < species; ++i)
        text << "X" << i << " core X" << i << " shel " << 20.0 + i << "\n";
    text << "buckingham\n";
    for (int n = 0; n < each; ++n)
        text << "X" << pick(random) << " shel X" << pick(random) << " shel " << 1000.0 + n << " 0.3 10.0 0.0 12.0\n";
    text << "three bond\n";
    for (int n = 0; n < each; ++n)
        text << "X" << pick(random) << " core X" << pick(random) << " core X" << pick(random) << " core "
             << 1.0 + n * 0.001 << " 109.5 1.4 1.4 2.2\n";
    text << "torsion bond\n";
    for (int n = 0; n < each; ++n)
        text << "X" << pick(random) << " core X" << pick(random) << " core X" << pick(random) << " core X"
             << pick(random) << " core " << 0.1 + n * 0.001 << " 3.0 0.0 1.4 1.8 1.4 3.0\n";
    return text.str();
}

}  // namespace QzBench

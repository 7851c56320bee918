// Libraries with three-body, four-body and many-body interactions read,
// written and read again through the forcefield.
#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>

#include "common/TempFolder.h"
#include "forcefield/ZelmForcefield.h"
#include "manyatom/Support.h"

namespace {

std::string Written(const CZelmForcefield& forcefield)
{
    std::ostringstream text;
    forcefield.WriteLibrary(text);
    return text.str();
}

// One line per interaction: form, atom types, parameters with units and
// fit marks, options.
std::multiset<std::string> Model(const CForcefield& forcefield)
{
    std::multiset<std::string> lines;
    for (const CForcefield::InteractionEntry& entry : forcefield.GetInteractionEntries()) {
        std::ostringstream text;
        text.precision(17);
        const CInteraction& interaction = *entry.interaction;
        text << interaction.GetFunctionalFormKeyword();
        for (const AtomTypePtr& atomType : entry.atomTypes)
            text << " [" << atomType->GetName() << "]";
        for (const CParameter& parameter : interaction.GetParameters())
            text << " " << parameter.GetName() << "=" << parameter.GetValue() << parameter.GetUnit()
                 << (parameter.IsToBeFitted() ? "*" : "");
        for (const CBooleanOption& option : interaction.GetBooleanOptions())
            text << (option.GetValue() ? " +" + option.GetName() : "");
        for (const CIntegerOption& option : interaction.GetIntegerOptions())
            text << " " << option.GetName() << "=" << option.GetValue();
        lines.insert(text.str());
    }
    return lines;
}

// Reads, writes, reads back: the same model, and the second text is the first.
std::multiset<std::string> RoundTrip(const std::string& path, std::size_t interactions)
{
    const CZelmForcefield first(path, manyatom::Server());
    EXPECT_EQ(first.GetInteractionEntries().size(), interactions);
    for (const auto& warning : first.GetWarnings())
        ADD_FAILURE() << path << ":" << warning.lineNumber << ": " << warning.line << ": " << warning.reason;
    const std::string text = Written(first);
    QzTest::TempFolder folder("manyatom");
    const CZelmForcefield second(folder.Write("again.lib", text), manyatom::Server());
    EXPECT_EQ(Model(second), Model(first));
    EXPECT_EQ(Written(second), text);
    EXPECT_EQ(second.GetKeptLines(), first.GetKeptLines());
    return Model(first);
}

}  // namespace

TEST(ManyAtomRoundTrip, EveryFormReadsWritesAndReadsBackTheSame)
{
    const std::string path = std::string(QZ_TEST_DATA) + "/manyatom/all-forms.lib";
    const std::multiset<std::string> model = RoundTrip(path, 32);
    std::set<std::string> keywords;
    for (const std::string& line : model)
        keywords.insert(line.substr(0, line.find(' ')));
    EXPECT_EQ(keywords.size(), 25u);

    // Only the comment is kept: the coefficient line went to its interaction.
    const CZelmForcefield library(path, manyatom::Server());
    EXPECT_EQ(library.GetKeptLines().size(), 1u);
    const std::string text = Written(library);
    for (const char* expected : {
             "tors [C core] [C core] [C core] [C core] k1=1.5kcal* k2=-0.5kcal n=3 phi0=180degrees ",
             "thre [C core] [C core] [O core] k=200kJ/mol/rad^2* k3=-15kJ/mol/rad^3 theta0=120degrees* ",
             " +vessal +mol", "inve [N core] [H core] [H core] [C core] k=0.29999999999999999eV* k0=10degrees",
             "hydro [H core] [O core] [N core] A=5000kcal*" AA "^m* B=1200kcal*" AA "^n theta_min=90degrees ",
             "coefficient1=12.16eV* coefficient2=-13.119999999999999eV coefficient3=-3.0600000000000001eV norder=3",
             "ryck [C core] [C core] [C core] [H core] k0=0.20000000000000001eV* rmax(1-2)=1.7",
             "coefficient0=2.5eV coefficient1=-1.5eV coefficient2=0.75eV norder=2",
             "eam_f [Fe core] A=2.5eV* +power n=3", "b3_0=12kcal +glue +kcal n=1"}) {
        bool found = false;
        for (const std::string& line : model)
            found = found || line.find(expected) != std::string::npos;
        EXPECT_TRUE(found) << expected;
    }
    for (const char* line :
         {"\ntors kcal esff\nC core C core C core C core 1.5 -0.5 3.0 180.0 1.7 1.7 1.7 3.0 1 0\n",
          "\nthre vessal mol\n", "\ninve squared mol\n", "\nhydro kcal taper 12 10 4\n",
          "\nryck 2\nC core C core C core H core 0.2 1.7 1.7 1.7 3.0 2.5 -1.5 0.75 1 0 0 0\n",
          "\neam_f power 3\nFe core 2.5000000000 1 \n",
          "\neam_d glue kcal 1\nNi core 2.0000000000 3.5000000000 4.5000000000 \n1.0000000000 ",
          "\neam_f glue\nNi core 0.5000000000 1.5000000000 \n1.0000000000 2.0000000000 3.0000000000 & \n",
          "\nlin3 intra\nSi core O core Si core 0.5 -1.0 2.0 0.0 2.0 0.0 2.0 0.0 3.0 1\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line << "\nin\n" << text;
}

TEST(ManyAtomRoundTrip, ExampleLibrariesSaveStably)
{
    RoundTrip(std::string(QZ_TEST_DATA) + "/../../examples/eam-metal.lib", 7);
    RoundTrip(std::string(QZ_TEST_DATA) + "/../../examples/molecular.lib", 13);
}

// The engine's form base (unit conversion, option groups) and keyword
// resolution of the server description.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <boost/make_shared.hpp>

#include "common/TestForms.h"
#include "forcefield/ZelmFunctionalForm.h"
#include "forcefield/ZelmServerDescription.h"
#include "kelv/kelv.h"

using testforms::Boolean;
using testforms::Parameter;

namespace {

std::vector<CBooleanOption> Options(int count)
{
    std::vector<CBooleanOption> options;
    for (int i = 0; i < count; ++i)
        options.emplace_back(Boolean("o" + std::to_string(i)));
    return options;
}

std::vector<bool> Values(const std::vector<CBooleanOption>& options)
{
    std::vector<bool> values;
    for (const CBooleanOption& option : options)
        values.push_back(option.GetValue());
    return values;
}

}  // namespace

TEST(ExclusiveOptions, SetsOneAndClearsTheRestOfTheGroupOnly)
{
    std::vector<CBooleanOption> options = Options(6);
    for (CBooleanOption& option : options)
        option.SetValue(true);
    CZelmFunctionalForm::SetExclusiveBooleanOption(options, 2, true, 1, 3);
    EXPECT_EQ((std::vector<bool>{true, false, true, false, true, true}), Values(options));
    CZelmFunctionalForm::SetExclusiveBooleanOption(options, 2, false, 1, 3);
    EXPECT_EQ((std::vector<bool>{true, false, false, false, true, true}), Values(options));
    CZelmFunctionalForm::SetExclusiveBooleanOption(options, 5, true, 4, 9);  // stops at the end
    EXPECT_EQ((std::vector<bool>{true, false, false, false, false, true}), Values(options));
    CZelmFunctionalForm::SetExclusiveBooleanOption(options, 0, false, 3, 1);  // first > last: nothing
    EXPECT_EQ((std::vector<bool>{true, false, false, false, false, true}), Values(options));
}

TEST(EnergyUnits, ConversionFactorsAndLabels)
{
    EXPECT_EQ(0, CZelmFunctionalForm::EnergyUnitFromFlags(false, false));
    EXPECT_EQ(1, CZelmFunctionalForm::EnergyUnitFromFlags(true, true));
    EXPECT_EQ(2, CZelmFunctionalForm::EnergyUnitFromFlags(false, true));
    EXPECT_DOUBLE_EQ(1.0 / 0.010364348, CZelmFunctionalForm::ConvertEnergyUnits(1.0, 0, 1));
    EXPECT_DOUBLE_EQ(2.0 * 0.010364348 / 0.043393453, CZelmFunctionalForm::ConvertEnergyUnits(2.0, 1, 2));
    EXPECT_DOUBLE_EQ(0.043393453, CZelmFunctionalForm::ConvertEnergyUnits(1.0, 2, 0));
    EXPECT_EQ(3.5, CZelmFunctionalForm::ConvertEnergyUnits(3.5, 7, 0));  // unknown index counts as eV
    EXPECT_EQ("kcal*\xC5^6", CZelmFunctionalForm::ReplaceUnitLabel("eV*\xC5^6", "eV", "kcal"));
    EXPECT_EQ("1/\xC5", CZelmFunctionalForm::ReplaceUnitLabel("1/\xC5", "eV", "kcal"));
    EXPECT_EQ("eV/\xC5^4 ", CZelmFunctionalForm::ReplaceUnitLabel("kJ/mol/\xC5^4 ", "kJ/mol", "eV"));
}

TEST(EnergyUnits, SwitchingThePairConvertsListedParametersThereAndBack)
{
    const CZelmFunctionalForm form("Unit test (unit)", "unit",
                                   {Parameter("A", "eV", 0.0, true, false), Parameter("rho", "\xC5", 0.0, true, false)},
                                   {Boolean("intra"), Boolean("kjmol"), Boolean("kcal")}, {}, {});
    std::vector<CBooleanOption> options;
    std::vector<CParameter> parameters;
    form.Init(options);
    form.Init(parameters);
    parameters[0].SetValue(1.0);
    parameters[1].SetValue(0.3);

    EXPECT_FALSE(form.ChangeUnits(parameters[0], options, 0, true, 1, 2));
    EXPECT_FALSE(options[0].GetValue());

    ASSERT_TRUE(form.ChangeUnits(parameters[0], options, 1, true, 1, 2));
    EXPECT_NEAR(96.485, parameters[0].GetValue(), 1e-3);
    EXPECT_EQ("kJ/mol", parameters[0].GetUnit());
    ASSERT_TRUE(form.ChangeUnits(parameters[0], options, 2, true, 1, 2));
    EXPECT_FALSE(options[1].GetValue());
    EXPECT_TRUE(options[2].GetValue());
    EXPECT_NEAR(1.0 / 0.043393453, parameters[0].GetValue(), 1e-9);
    EXPECT_EQ("kcal", parameters[0].GetUnit());
    ASSERT_TRUE(form.ChangeUnits(parameters[0], options, 2, false, 1, 2));
    EXPECT_NEAR(1.0, parameters[0].GetValue(), 1e-12);
    EXPECT_EQ("eV", parameters[0].GetUnit());
    EXPECT_EQ(0.3, parameters[1].GetValue());

    // Unchanged unit: value and text stay.
    ASSERT_TRUE(form.ConvertParameterUnits({&parameters[0], &parameters[1]}, options, 1, false, 1, 2));
    EXPECT_NEAR(1.0, parameters[0].GetValue(), 1e-12);
    EXPECT_EQ("\xC5", parameters[1].GetUnit());
}

TEST(KeywordResolution, ResolvesWordsOfALibraryToRegisteredKeywords)
{
    CZelmServerDescription description;
    testforms::RegisterTestTypes(description);
    const struct {
        const char* word;
        const char* resolved;  // nullptr: does not resolve
    } cases[] = {
        {"buck4", "buck4"},   {"buck", "buck"},   {"buckingham", "buck"}, {"buck4x", "buck"},
        {"sw2", "sw2"},       {"sw2j", "sw2j"},   {"sw2jb", "sw2j"},      {"sw2x", "sw2"},
        {"lennard", "lenn"},  {"lenn", "lenn"},   {"len", nullptr},       {"bu", nullptr},
        {"sw", nullptr},      {"", nullptr},      {"xyz", nullptr},       {"BUCK", nullptr},
        {"bocharge", "boch"}, {"spring", "spri"},
        // The test forms: the longest registered keyword that begins a word.
        {"xsw2jb", "xsw2j"},  {"xsw2", "xsw2"},   {"xbuc4x", "xbuc4"},    {"xlennard", "xlen"},
    };
    for (const auto& c : cases) {
        std::string resolved = "untouched";
        const bool found = description.ResolveFunctionalFormKeyword(c.word, resolved);
        EXPECT_EQ(c.resolved != nullptr, found) << c.word;
        EXPECT_EQ(c.resolved ? c.resolved : "untouched", resolved) << c.word;
        EXPECT_EQ(found, description.HasFunctionalForm(c.word)) << c.word;
    }
    EXPECT_EQ("Two-body", description.GetTypeOfFunctionalForm("sw2jb"));
    EXPECT_EQ("Jiang-Brown variant of Stillinger Weber (sw2jb)", description.GetFunctionalFormFullName("sw2jb"));
    EXPECT_EQ("Core-Shell", description.GetTypeOfFunctionalForm("spring"));
    EXPECT_EQ("Test pair", description.GetTypeOfFunctionalForm("xsw2jb"));
    for (const char* word : {"len", "xyz", "bu"}) {
        try {
            description.GetFunctionalFormFullName(word);
            ADD_FAILURE() << word;
        } catch (const KelvResult& error) {
            EXPECT_EQ(E_UNEXPECTED, error.GetHRESULT());
            EXPECT_EQ("Unknown or ambiguous functional form", error.GetMessage());
        }
        EXPECT_THROW(description.GetTypeOfFunctionalForm(word), KelvResult);
    }
}

// A word of a megabyte made of one piece over and over: resolved by its
// first characters, as a short word is (the time of a lookup does not grow
// with the square of the word's length).
TEST(KeywordResolution, AMegabyteWordResolvesByItsFirstCharacters)
{
    CZelmServerDescription description;
    testforms::RegisterTestTypes(description);
    const struct {
        const char* piece;
        const char* resolved;  // nullptr: does not resolve
    } cases[] = {
        {"buck", "buck"}, {"sw2j", "sw2j"}, {"lenn", "lenn"}, {"xsw2j", "xsw2j"}, {"ab", nullptr}, {"bu4", nullptr},
    };
    for (const auto& c : cases) {
        std::string word;
        while (word.size() < (1u << 20))
            word += c.piece;
        std::string resolved = "untouched";
        EXPECT_EQ(c.resolved != nullptr, description.ResolveFunctionalFormKeyword(word, resolved)) << c.piece;
        EXPECT_EQ(c.resolved ? c.resolved : "untouched", resolved) << c.piece;
        EXPECT_EQ(c.resolved != nullptr, description.HasFunctionalForm(word)) << c.piece;
    }
}

TEST(KeywordResolution, ShortRegisteredKeywordsNeverResolve)
{
    CZelmServerDescription description;
    auto type = boost::make_shared<CInteractionType>("Test", 1);
    type->AddFunctionalForm(boost::make_shared<CZelmFunctionalForm>(
        "ab", ParameterDescriptionList{}, BooleanOptionDescriptionList{}, IntegerOptionDescriptionList{},
        DoubleOptionDescriptionList{}));
    description.AddInteractionType(type);
    std::string resolved;
    EXPECT_FALSE(description.ResolveFunctionalFormKeyword("ab", resolved));
    EXPECT_FALSE(description.HasFunctionalForm("ab"));
    EXPECT_THROW(description.GetTypeOfFunctionalForm("ab"), KelvResult);
    EXPECT_EQ("Zelm", description.GetServerName());
    EXPECT_TRUE(description.CanFit());
}

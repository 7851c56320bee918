#include "forcefield/ManyBodyForms.h"

#include <cstddef>
#include <stdexcept>

#include <boost/make_shared.hpp>

#include "forcefield/FormRules.h"

namespace {

std::size_t At(int position)
{
    return static_cast<std::size_t>(position);
}

bool IsOn(const std::vector<CBooleanOption>& booleans, int position)
{
    return position >= 0 && At(position) < booleans.size() && booleans[At(position)].GetValue();
}

// A variant's parameters by name; "name|unit" where two descriptions share
// a name.
struct Variant {
    const char* option;
    std::vector<const char*> parameters;
};

const std::vector<Variant> kFunctionalVariants = {
    {"square_root", {"A"}},
    {"power", {"A"}},
    {"banerjea_smith", {"F0", "F1", "rho0"}},
    {"johnson", {"F0", "F1", "rho0", "alpha", "beta", "gamma"}},
    {"glue", {"rho1", "rho2", "c1_4", "c1_3", "c1_2", "c1_1", "c1_0", "c2_4", "c2_3", "c2_2", "c2_1", "c2_0", "c3_3",
              "c3_2", "c3_1", "c3_0"}},
    {"foiles", {"F0", "F1", "F2", "F3"}},
};

const std::vector<Variant> kDensityVariants = {
    {"power", {"C"}},
    {"exponential", {"A", "B|1/\xC5", "r0"}},
    {"gaussian", {"A", "B|1/\xC5^2", "r0"}},
    {"cubic", {"A", "r0"}},
    {"quadratic", {"A", "r0"}},
    {"quartic", {"A", "r0"}},
    {"voter", {"A", "beta"}},
    {"evoter", {"A", "beta"}},
    {"glue", {"r1", "r2", "rm", "b1_3", "b1_2", "b1_1", "b1_0", "b2_3", "b2_2", "b2_1", "b2_0", "b3_3", "b3_2",
              "b3_1", "b3_0"}},
};

// The variants as positions in the form's lists; each variant's option must
// stand at its place in the group.
VariantParameters ResolveVariants(const CFunctionalForm& form, const std::vector<Variant>& variants)
{
    VariantParameters positions;
    const ParameterDescriptionList& descriptions = form.GetParameterDescriptions();
    for (std::size_t v = 0; v < variants.size(); ++v) {
        if (form.IndexOfBooleanOption(variants[v].option) != static_cast<int>(v))
            throw std::logic_error("The variants of \"" + form.GetKeyword() + "\" are not in its option order");
        std::vector<int> list;
        for (const std::string wanted : variants[v].parameters) {
            const std::string::size_type bar = wanted.find('|');
            const std::string name = wanted.substr(0, bar);
            int found = CFunctionalForm::NotFound;
            for (std::size_t i = 0; i < descriptions.size() && found == CFunctionalForm::NotFound; ++i) {
                if (descriptions[i]->GetName() == name &&
                    (bar == std::string::npos || descriptions[i]->GetUnit() == wanted.substr(bar + 1)))
                    found = static_cast<int>(i);
            }
            if (found == CFunctionalForm::NotFound)
                throw std::logic_error("The form \"" + form.GetKeyword() + "\" has no parameter " + wanted);
            list.push_back(found);
        }
        positions.push_back(list);
    }
    return positions;
}

void Rebuild(const CFunctionalForm& form, const std::vector<int>& variant, std::vector<CParameter>& parameters)
{
    std::vector<CParameter> made;
    for (int position : variant)
        made.emplace_back(form.GetParameterDescriptions().at(At(position)));
    parameters.swap(made);
}

// Values, each followed by one blank, with a line break (after "& " where
// `continued` says so) after the values counted in `breaks`; then one flag
// per fittable parameter; then a line break.
template <class Breaks>
std::string WriteFixedLine(const std::vector<CParameter>& parameters, bool glue, Breaks breakAfter)
{
    std::string text;
    std::size_t count = 0;
    for (const CParameter& parameter : parameters) {
        text += COptionRulesFunctionalForm::FixedDecimalText(parameter.GetValue()) + " ";
        if (glue)
            text += breakAfter(++count);
    }
    for (const CParameter& parameter : parameters) {
        if (parameter.IsFittable())
            text += parameter.IsToBeFitted() ? "1 " : "0 ";
    }
    return text + "\n";
}

}  // namespace

// ---------------------------------------------------------------------------
// CFunctionalFunctionalForm

CFunctionalFunctionalForm::CFunctionalFunctionalForm(const std::string& displayName, const std::string& keyword,
                                                     const ParameterDescriptionList& parameters,
                                                     const BooleanOptionDescriptionList& booleans,
                                                     const IntegerOptionDescriptionList& integers,
                                                     const DoubleOptionDescriptionList& doubles)
    : COptionRulesFunctionalForm(displayName, keyword, parameters, booleans, integers, doubles),
      m_variants(ResolveVariants(*this, kFunctionalVariants)),
      m_glue(BooleanPosition("glue"))
{
}

void CFunctionalFunctionalForm::Init(std::vector<CParameter>& parameters) const
{
    CFunctionalForm::Init(parameters);
    parameters.erase(parameters.begin() + 1, parameters.end());
}

void CFunctionalFunctionalForm::Init(std::vector<CIntegerOption>& integers) const
{
    integers.clear();
}

bool CFunctionalFunctionalForm::SetBooleanOption(int index, bool value, std::vector<CIntegerOption>& integers,
                                                 std::vector<CBooleanOption>& booleans,
                                                 std::vector<CParameter>& parameters) const
{
    if (index < 0 || At(index) >= booleans.size())
        return false;
    if (booleans[At(index)].GetValue() == value)
        return true;
    const int last = static_cast<int>(m_variants.size()) - 1;
    parameters.clear();
    integers.clear();
    SetExclusiveBooleanOption(booleans, index, value, 0, last);
    int selected = index;
    if (!value) {
        selected = 0;
        booleans[0].SetValue(true);
    }
    Rebuild(*this, m_variants.at(At(selected)), parameters);
    const std::string& name = GetBooleanOptionDescriptions().at(At(selected))->GetName();
    if (name == "power" || name == "banerjea_smith")
        integers.emplace_back(boost::make_shared<CIntegerOptionDescription>("n", 1), true);
    return true;
}

bool CFunctionalFunctionalForm::SetIntegerOption(int index, int value, std::vector<CIntegerOption>& integers,
                                                 std::vector<CBooleanOption>&, std::vector<CParameter>&) const
{
    return FormRules::SetIntegerOptionOnly(index, value, integers);
}

std::string CFunctionalFunctionalForm::WriteInteractionLine(const std::vector<CParameter>& parameters,
                                                            const std::vector<CBooleanOption>& booleans,
                                                            const std::vector<CIntegerOption>&) const
{
    return WriteFixedLine(parameters, IsOn(booleans, m_glue), [](std::size_t k) -> std::string {
        if (k == 2 || k == 7 || k == 12)
            return "\n";
        if (k == 5 || k == 10)
            return "& \n";
        return "";
    });
}

// ---------------------------------------------------------------------------
// CDensityFunctionalForm

CDensityFunctionalForm::CDensityFunctionalForm(const std::string& displayName, const std::string& keyword,
                                               const ParameterDescriptionList& parameters,
                                               const BooleanOptionDescriptionList& booleans,
                                               const IntegerOptionDescriptionList& integers,
                                               const DoubleOptionDescriptionList& doubles)
    : COptionRulesFunctionalForm(displayName, keyword, parameters, booleans, integers, doubles),
      m_variants(ResolveVariants(*this, kDensityVariants)),
      m_glue(BooleanPosition("glue"))
{
    AddEnergyUnits();
}

void CDensityFunctionalForm::Init(std::vector<CParameter>& parameters) const
{
    Rebuild(*this, m_variants.front(), parameters);
}

bool CDensityFunctionalForm::SetBooleanOption(int index, bool value, std::vector<CIntegerOption>& integers,
                                              std::vector<CBooleanOption>& booleans,
                                              std::vector<CParameter>& parameters) const
{
    if (index < 0 || At(index) >= booleans.size())
        return false;
    if (booleans[At(index)].GetValue() == value)
        return true;
    const int last = static_cast<int>(m_variants.size()) - 1;
    if (index > last) {
        // "kjmol", "kcal": the rule converts the variant's energy-bearing
        // parameters ("C", "A", or the twelve "b" of "glue").
        return COptionRulesFunctionalForm::SetBooleanOption(index, value, integers, booleans, parameters);
    }
    ClearEnergyUnits(booleans);
    SetExclusiveBooleanOption(booleans, index, value, 0, last);
    if (!value)
        booleans[At(index)].SetValue(true);
    Rebuild(*this, m_variants[At(index)], parameters);
    return true;
}

std::string CDensityFunctionalForm::WriteInteractionLine(const std::vector<CParameter>& parameters,
                                                         const std::vector<CBooleanOption>& booleans,
                                                         const std::vector<CIntegerOption>&) const
{
    return WriteFixedLine(parameters, IsOn(booleans, m_glue),
                          [](std::size_t k) -> std::string { return (k == 3 || k == 7 || k == 11) ? "\n" : ""; });
}

// The registry of an interaction type written as data: one row per functional
// form with its keyword, display name, form class and the ordered lists of
// parameter and option descriptions. An interaction type's constructor hands
// its table to RegisterForms, which creates the descriptions and the forms.
//
// Sharing. A description row names a share key. Rows with the same key
// within one pool stand for one description object, held by every form that
// lists it; an empty key gives the form a description of its own. Rows that
// share a key must agree in every field (a table fault otherwise, reported as
// std::logic_error when the type is built).
#pragma once

#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include <boost/make_shared.hpp>
#include <boost/shared_ptr.hpp>

#include "qorff/FunctionalForm.h"
#include "qorff/InteractionType.h"

// "Å" as the single Latin-1 byte, for unit texts in the tables.
#define QZ_ANGSTROM "\xC5"

namespace FormTable {

// Flags of a parameter description.
enum ParameterFlags : unsigned {
    Neither = 0,  // neither fittable nor optional
    F = 1,        // fittable: takes a fit flag on an interaction line
    O = 2,        // optional: may be left out of an interaction line
    FO = F | O
};

struct ParameterRow {
    std::string name;
    std::string unit;
    double defaultValue;
    unsigned flags;
    std::string share;  // "" = the form's own description
};

struct BooleanRow {
    std::string name;
    std::string share;  // "" = the form's own description
    bool defaultValue = false;
};

struct IntegerRow {
    std::string name;
    int defaultValue;
    std::string share;
};

struct DoubleRow {
    std::string name;
    double defaultValue;
    std::string share;
};

// A parameter description of the form's own.
inline ParameterRow Own(const std::string& name, const std::string& unit, double defaultValue, unsigned flags)
{
    return ParameterRow{name, unit, defaultValue, flags, std::string()};
}

// A parameter description shared under `key`.
inline ParameterRow Shared(const std::string& key, const std::string& name, const std::string& unit,
                           double defaultValue, unsigned flags)
{
    return ParameterRow{name, unit, defaultValue, flags, key};
}

// A boolean option (default false) shared by name with every form that
// lists it.
inline BooleanRow Opt(const std::string& name)
{
    return BooleanRow{name, name};
}

// A boolean option (default false) of the form's own.
inline BooleanRow OwnOpt(const std::string& name)
{
    return BooleanRow{name, std::string()};
}

// A boolean option (default false) shared under an explicit key.
inline BooleanRow KeyedOpt(const std::string& name, const std::string& key)
{
    return BooleanRow{name, key};
}

// Concatenation of option lists, for tables that name recurring runs of
// options.
std::vector<BooleanRow> operator+(std::vector<BooleanRow> left, const std::vector<BooleanRow>& right);

template <class FormClass>
struct FormRow {
    std::string keyword;
    std::string displayName;
    FormClass formClass;
    std::vector<ParameterRow> parameters;
    std::vector<BooleanRow> booleans;
    std::vector<IntegerRow> integers;
    std::vector<DoubleRow> doubles;
};

// The four description lists of one form, in the table's order.
struct DescriptionLists {
    ParameterDescriptionList parameters;
    BooleanOptionDescriptionList booleans;
    IntegerOptionDescriptionList integers;
    DoubleOptionDescriptionList doubles;
};

// Creates each shared description once, on its first use.
class CDescriptionPool {
public:
    // Makes `description` the object of the integer key `key` (for integer
    // options of a class of their own); rows under that key must match its
    // name and default.
    void AddInteger(const std::string& key, const IntegerOptionDescriptionPtr& description);

    DescriptionLists Make(const std::vector<ParameterRow>& parameters, const std::vector<BooleanRow>& booleans,
                          const std::vector<IntegerRow>& integers, const std::vector<DoubleRow>& doubles);

private:
    ParameterDescriptionPtr Parameter(const ParameterRow& row);
    BooleanOptionDescriptionPtr Boolean(const BooleanRow& row);
    IntegerOptionDescriptionPtr Integer(const IntegerRow& row);
    DoubleOptionDescriptionPtr Double(const DoubleRow& row);

    std::map<std::string, ParameterDescriptionPtr> m_parameters;
    std::map<std::string, BooleanOptionDescriptionPtr> m_booleans;
    std::map<std::string, IntegerOptionDescriptionPtr> m_integers;
    std::map<std::string, DoubleOptionDescriptionPtr> m_doubles;
};

// Constructs the form object of class `Form` for a row of the table.
template <class Form, class FormClass>
FunctionalFormPtr MakeFormOfClass(const FormRow<FormClass>& row, const DescriptionLists& lists)
{
    return boost::make_shared<Form>(row.displayName, row.keyword, lists.parameters, lists.booleans, lists.integers,
                                    lists.doubles);
}

// Builds every form of the table in order and registers it with the type.
// `make` constructs the form object of a row's class from the row and its
// description lists.
template <class FormClass, class Factory>
void RegisterForms(CInteractionType& type, const std::vector<FormRow<FormClass>>& rows, CDescriptionPool& pool,
                   Factory make)
{
    for (const FormRow<FormClass>& row : rows) {
        const DescriptionLists lists = pool.Make(row.parameters, row.booleans, row.integers, row.doubles);
        const FunctionalFormPtr form = make(row, lists);
        type.AddFunctionalForm(form);
    }
}

}  // namespace FormTable

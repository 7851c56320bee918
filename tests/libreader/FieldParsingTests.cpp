#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "common/FieldParsing.h"
#include "common/ParseField.h"

namespace {

void ExpectInvalidField(const std::function<void()>& call, const std::string& text)
{
    try {
        call();
        ADD_FAILURE() << "no error for \"" << text << "\"";
    } catch (const KelvResult& error) {
        EXPECT_EQ(error.GetHRESULT(), E_UNEXPECTED);
        EXPECT_EQ(error.GetMessage(), "Found invalid field in the string " + text);
    }
}

}  // namespace

TEST(FieldParsing, GetFieldAsDoubleReadsNumbers)
{
    const struct
    {
        const char* text;
        int field;
        double value;
    } cases[] = {
        {"12.5", 0, 12.5},      {"  -3e2 ", 0, -300.0}, {"1.5abc", 0, 1.5},
        {"1 2.25 3", 1, 2.25},  {"1 2 3", 2, 3.0},      {".5", 0, 0.5},
        {"+4", 0, 4.0},         {"7\t8", 1, 8.0},       {"0.0000000001", 0, 1e-10},
    };
    for (const auto& c : cases) {
        EXPECT_DOUBLE_EQ(GetFieldAsDouble(c.text, c.field), c.value) << c.text;
    }
}

TEST(FieldParsing, GetFieldAsDoubleRejectsWhatIsNoNumber)
{
    const std::pair<const char*, int> cases[] = {
        {"C1", 0}, {"", 0}, {"   ", 0}, {"&", 0}, {"1 x 3", 2}, {"1 2", 2}, {"1", -1}, {"1e999", 0},
    };
    for (const auto& [text, field] : cases) {
        ExpectInvalidField([&] { GetFieldAsDouble(text, field); }, text);
    }
}

TEST(FieldParsing, ParseFieldReadsIntegers)
{
    EXPECT_EQ(ParseField<int>("5", 0), 5);
    EXPECT_EQ(ParseField<int>(" -12 ", 0), -12);
    EXPECT_EQ(ParseField<int>("12abc", 0), 12);
    EXPECT_EQ(ParseField<int>("3.7", 0), 3);
    EXPECT_EQ(ParseField<int>("1 2 3", 2), 3);
    EXPECT_DOUBLE_EQ(ParseField<double>("2.5", 0), 2.5);
}

TEST(FieldParsing, ParseFieldRejectsWhatIsNoInteger)
{
    const std::pair<const char*, int> cases[] = {
        {"buck", 0}, {"", 0}, {".5", 0}, {"99999999999", 0}, {"1 2", 5}, {"4", -2},
    };
    for (const auto& [text, field] : cases) {
        ExpectInvalidField([&] { ParseField<int>(text, field); }, text);
    }
}

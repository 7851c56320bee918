// The atoms of a ".qsd" are checked as they are loaded: IDs that fit the
// 32-bit "ID" property, positive and distinct, and known elements; each
// failure names the atom and the reason.
#include "host/model/QsdFile.h"

#include <gtest/gtest.h>

#include <string>

using namespace HostModel;

TEST(QsdAtomCheck, BadIdsAndElementsNameTheAtom)
{
    const std::string head = R"({"format": "QorZelm structure document", "version": 1, "atoms": [)"
                             R"({"element": "Na", "position": [0, 0, 0], "id": 1}, )";
    const struct {
        const char* atom;
        const char* reason;
    } cases[] = {
        {R"({"element": "Cl", "position": [1, 0, 0], "id": 1099511627776})",
         "Atom 2 (Cl): the id 1099511627776 is not a whole number from 1 to 2147483647."},
        {R"({"element": "Cl", "position": [1, 0, 0], "id": -4})", "Atom 2 (Cl): the id -4 is not a whole number"},
        {R"({"element": "Cl", "position": [1, 0, 0], "id": 0})", "Atom 2 (Cl): the id 0 is not a whole number"},
        {R"({"element": "Cl", "position": [1, 0, 0], "id": 2.5})", "Atom 2 (Cl): the id 2.5 is not a whole number"},
        {R"({"element": "Cl", "position": [1, 0, 0], "id": 1})", "Atom 2 (Cl): the id 1 is the id of atom 1 too."},
        {R"({"element": "Xx", "position": [1, 0, 0], "id": 2})", "Atom 2 (Xx): \"Xx\" is not an element symbol."},
    };
    for (const auto& c : cases) {
        const std::string text = head + c.atom + "]}";
        try {
            DocumentFromQsdText(text);
            ADD_FAILURE() << "accepted: " << text;
        } catch (const FileError& error) {
            EXPECT_NE(std::string(error.what()).find(c.reason), std::string::npos) << error.what();
        }
    }
    const auto good = DocumentFromQsdText(head + R"({"element": "Cl", "position": [1, 0, 0], "id": 2147483647}]})");
    ASSERT_EQ(good->Atoms().size(), 2u);
    EXPECT_EQ(good->Atoms()[1].id, 2147483647);
}

// An element symbol in another letter case is read as the symbol; text
// that merely begins with one ("Na1", "Nab") is no element.
TEST(QsdAtomCheck, ElementSymbolsAreNormalisedOrRefused)
{
    const std::string head = R"({"format": "QorZelm structure document", "version": 1, "atoms": [)";
    const auto read = DocumentFromQsdText(head + R"({"element": "na", "position": [0, 0, 0], "id": 1}, )"
                                                 R"({"element": "CL", "position": [1, 0, 0], "id": 2}]})");
    ASSERT_EQ(read->Atoms().size(), 2u);
    EXPECT_EQ(read->Atoms()[0].element, "Na");
    EXPECT_EQ(read->Atoms()[1].element, "Cl");
    for (const char* element : {"Na1", "Nab", "N a", ""}) {
        const std::string text = head + R"({"element": ")" + element + R"(", "position": [0, 0, 0], "id": 1}]})";
        try {
            DocumentFromQsdText(text);
            ADD_FAILURE() << "accepted: " << element;
        } catch (const FileError& error) {
            EXPECT_NE(std::string(error.what()).find("\" is not an element symbol."), std::string::npos) << error.what();
        }
    }
}


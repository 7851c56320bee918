// The forcefield's interaction index against a plain model of its rules: a
// new interaction takes the lowest id free among the interactions of its
// form between the same atom types, and every listing keeps the order of
// addition, whatever was added and removed before.

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include <boost/make_shared.hpp>

#include "common/TestForms.h"
#include "kelv/kelv.h"
#include "qorff/qorff.h"

namespace {

using Names = std::list<std::string>;

class CIndexedForcefield : public CForcefield {
public:
    explicit CIndexedForcefield(const CServerDescription& serverDescription)
        : CForcefield("index.lib", serverDescription)
    {
    }
    void WriteLibrary(std::ostream&) const override {}
    void ReadLibrary(const std::string&) override {}
};

// What the forcefield must hold, kept the simple way: a list in order of
// addition, searched from the start.
struct Held {
    std::string type;
    std::string form;
    Names atomTypes;  // canonical order
    int id;
    const CInteraction* object;
};

class ForcefieldIndex : public ::testing::Test {
protected:
    ForcefieldIndex() : description(boost::make_shared<CServerDescription>("Test", false))
    {
        testforms::RegisterTestTypes(*description);
        forcefield.reset(new CIndexedForcefield(*description));
        for (const std::string& name : atomNames)
            forcefield->AddAtomType(name, 0.0);
    }

    // The pair type orders its atom types by their ids.
    Names Canonical(Names names) const
    {
        names.sort([&](const std::string& a, const std::string& b) {
            return forcefield->GetAtomType(a).GetId() < forcefield->GetAtomType(b).GetId();
        });
        return names;
    }

    int LowestFreeId(const std::string& type, const std::string& form, const Names& atomTypes) const
    {
        std::vector<bool> taken(held.size() + 1, false);
        for (const Held& h : held) {
            if (h.type == type && h.form == form && h.atomTypes == atomTypes && h.id < static_cast<int>(taken.size()))
                taken[static_cast<std::size_t>(h.id)] = true;
        }
        return static_cast<int>(std::find(taken.begin(), taken.end(), false) - taken.begin());
    }

    void Add(const std::string& type, const std::string& form, const Names& given, bool asCopy, double value)
    {
        const Names canonical = Canonical(given);
        const int expected = LowestFreeId(type, form, canonical);
        CInteraction* added = nullptr;
        if (asCopy) {
            CInteraction copy(description->GetInteractionType(type)->GetFunctionalForm(form));
            copy.SetId(12345);
            copy.GetParameter(0).SetValue(value);
            added = &forcefield->AddInteraction(copy, given);
        } else {
            added = &forcefield->AddInteraction(type, form, given);
            added->GetParameter(0).SetValue(value);
        }
        ASSERT_EQ(expected, added->GetId()) << form << " " << value;
        held.push_back(Held{type, form, canonical, added->GetId(), added});
    }

    void Remove(std::size_t index)
    {
        const Held h = held[index];
        Names reversed(h.atomTypes.rbegin(), h.atomTypes.rend());
        forcefield->RemoveInteraction(h.type, h.form, reversed, h.id);
        held.erase(held.begin() + static_cast<std::ptrdiff_t>(index));
    }

    void RemoveAtomType(const std::string& name)
    {
        forcefield->RemoveAtomType(name);
        held.erase(std::remove_if(held.begin(), held.end(),
                                  [&](const Held& h) {
                                      return std::find(h.atomTypes.begin(), h.atomTypes.end(), name) !=
                                             h.atomTypes.end();
                                  }),
                   held.end());
    }

    // Every view of the forcefield agrees with the plain model.
    void ExpectSameAsModel(const std::vector<Names>& pairs) const
    {
        std::vector<const CInteraction*> entries;
        for (const CForcefield::InteractionEntry& entry : forcefield->GetInteractionEntries())
            entries.push_back(entry.interaction.get());
        std::vector<const CInteraction*> expectedEntries;
        CForcefield::InteractionMap expectedAll;
        for (const Held& h : held) {
            expectedEntries.push_back(h.object);
            std::string line;
            for (const std::string& name : h.atomTypes)
                line += name + " ";
            expectedAll[h.object->WriteFunctionalFormLine()].push_back(line + h.object->WriteInteractionLine());
            const Names reversed(h.atomTypes.rbegin(), h.atomTypes.rend());
            EXPECT_EQ(h.object, &forcefield->GetInteraction(h.type, h.form, reversed, h.id));
        }
        ASSERT_EQ(expectedEntries, entries);
        EXPECT_EQ(expectedAll, forcefield->GetAllInteractions());

        for (const Names& pair : pairs) {
            const Names canonical = Canonical(pair);
            std::vector<const CInteraction*> expected;
            for (const Held& h : held) {
                if (h.type == "Test pair" && h.atomTypes == canonical)
                    expected.push_back(h.object);
            }
            std::vector<const CInteraction*> found;
            for (const InteractionPtr& interaction : forcefield->GetInteractions("Test pair", pair))
                found.push_back(interaction.get());
            EXPECT_EQ(expected, found);
            Names used;
            for (const std::string& form : description->GetInteractionType("Test pair")->GetFunctionalFormNames()) {
                const std::string keyword = description->GetInteractionType("Test pair")->GetFunctionalForm(form)->GetKeyword();
                if (std::any_of(held.begin(), held.end(), [&](const Held& h) {
                        return h.type == "Test pair" && h.form == keyword && h.atomTypes == canonical;
                    }))
                    used.push_back(form);
            }
            EXPECT_EQ(used, forcefield->GetInteractionNamesOfType("Test pair", pair));
        }
    }

    const std::vector<std::string> atomNames{"Si core", "O core", "O shel", "Na core", "Mg core", "Al core"};
    boost::shared_ptr<CServerDescription> description;
    boost::shared_ptr<CIndexedForcefield> forcefield;
    std::vector<Held> held;
};

TEST_F(ForcefieldIndex, ManyInteractionsOfOneKindReuseTheLowestFreeIds)
{
    for (int i = 0; i < 2000; ++i)
        Add("Test pair", "xbuc", {"O shel", "Si core"}, i % 2 == 0, i);
    ASSERT_EQ(1999, held.back().id);
    // Free 1000, 5 and 3, in that order: they come back lowest first, then
    // the ids continue after the highest.
    for (int id : {1000, 5, 3}) {
        const auto at = std::find_if(held.begin(), held.end(), [id](const Held& h) { return h.id == id; });
        Remove(static_cast<std::size_t>(at - held.begin()));
    }
    EXPECT_THROW(forcefield->GetInteraction("Test pair", "xbuc", {"Si core", "O shel"}, 5), KelvResult);
    for (int expected : {3, 5, 1000, 2000}) {
        Add("Test pair", "xbuc", {"Si core", "O shel"}, false, 5000 + expected);
        EXPECT_EQ(expected, held.back().id);
    }
    // Other forms and atom types count their ids on their own.
    Add("Test pair", "xsw2", {"Si core", "O shel"}, false, 1);
    Add("Test pair", "xbuc", {"Si core", "O core"}, true, 2);
    EXPECT_EQ(0, held[held.size() - 2].id);
    EXPECT_EQ(0, held.back().id);
    ExpectSameAsModel({{"Si core", "O shel"}, {"O core", "Si core"}, {"Na core", "Na core"}});

    // The last one of a kind removed: its ids start again at 0.
    while (held.size() > 2)
        Remove(0);
    Add("Test pair", "xbuc", {"Si core", "O shel"}, false, 3);
    EXPECT_EQ(0, held.back().id);
    ExpectSameAsModel({{"Si core", "O shel"}});
}

TEST_F(ForcefieldIndex, RenamedAtomTypesAreFoundByTheirNewName)
{
    Add("Test pair", "xbuc", {"O shel", "Si core"}, false, 1.0);
    forcefield->GetAtomType("O shel").SetName("O2 shel");
    EXPECT_FALSE(forcefield->HasAtomType("O shel"));
    EXPECT_THROW(forcefield->GetAtomType("O shel"), KelvResult);
    EXPECT_EQ(held.back().object, &forcefield->GetInteraction("Test pair", "xbuc", {"O2 shel", "Si core"}, 0));
    // The old name is free again; the first atom type of a name is the one
    // found by it.
    forcefield->AddAtomType("O shel", 3.0);
    const CAtomType* renamed = &forcefield->GetAtomType("O2 shel");
    CAtomType* sodium = &forcefield->GetAtomType("Na core");
    sodium->SetName("O2 shel");
    EXPECT_EQ(renamed, &forcefield->GetAtomType("O2 shel"));
    EXPECT_EQ(3.0, forcefield->GetAtomType("O shel").GetCharge());
    forcefield->RemoveAtomType("O2 shel");
    EXPECT_TRUE(forcefield->GetInteractionEntries().empty());
    EXPECT_EQ(forcefield->GetAtomTypeNames().back(), "O shel");
    EXPECT_EQ(sodium, &forcefield->GetAtomType("O2 shel"));
}

TEST_F(ForcefieldIndex, MixedAddingAndRemovingAgreesWithThePlainRules)
{
    std::mt19937 random(20);
    const std::vector<std::string> pairForms{"xbuc", "xsw2", "xlen"};
    std::vector<Names> pairs;
    for (const std::string& a : atomNames) {
        for (const std::string& b : atomNames)
            pairs.push_back({a, b});
    }
    const auto pick = [&](std::size_t size) { return std::uniform_int_distribution<std::size_t>(0, size - 1)(random); };

    for (int step = 0; step < 3000; ++step) {
        SCOPED_TRACE(step);
        if (step == 1500) {
            // An atom type leaves with its interactions and comes back as a
            // new atom type.
            RemoveAtomType("O shel");
            forcefield->AddAtomType("O shel", -2.0);
            ExpectSameAsModel(pairs);
        }
        if (!held.empty() && pick(10) < 4) {
            Remove(pick(held.size()));
        } else if (pick(5) == 0) {
            Add("Test core", "xspr", {atomNames[pick(3)]}, pick(2) == 0, step);
        } else {
            // Few atom types, so that the kinds fill up and free ids recur.
            Add("Test pair", pairForms[pick(pairForms.size())], pairs[pick(8)], pick(2) == 0, step);
        }
        if (HasFatalFailure())
            return;
        if (step % 100 == 99)
            ExpectSameAsModel(pairs);
    }
    EXPECT_GT(held.size(), 300u);
    ExpectSameAsModel(pairs);
}

}  // namespace

// Ids freed below and at the top of a kind: the next interactions of the kind
// take the lowest ids no interaction of it holds.
TEST_F(ForcefieldIndex, FreedIdsComeBackLowestFirstWhereverTheyWere)
{
    const struct {
        std::vector<int> removed;  // ids, in order, out of 0..4
        std::vector<int> next;     // the ids the next additions get
    } rows[] = {
        {{4}, {4, 5}},
        {{2, 4}, {2, 4, 5}},
        {{3, 4}, {3, 4, 5}},
        {{4, 3}, {3, 4, 5}},
        {{1, 2, 4, 3}, {1, 2, 3, 4, 5}},
        {{0, 1, 2, 3, 4}, {0, 1}},
        {{4, 0}, {0, 4, 5}},
        {{3, 4, 2}, {2, 3, 4, 5}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(::testing::PrintToString(row.removed));
        while (!held.empty())
            Remove(0);
        for (int i = 0; i < 5; ++i)
            Add("Test pair", "xbuc", {"O shel", "Si core"}, false, i);
        for (int id : row.removed) {
            const auto at = std::find_if(held.begin(), held.end(), [id](const Held& h) { return h.id == id; });
            ASSERT_NE(at, held.end());
            Remove(static_cast<std::size_t>(at - held.begin()));
        }
        for (int expected : row.next) {
            Add("Test pair", "xbuc", {"Si core", "O shel"}, false, 10.0 + expected);
            EXPECT_EQ(expected, held.back().id);
        }
        ExpectSameAsModel({{"Si core", "O shel"}});
    }
}

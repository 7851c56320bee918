// The type library's record of the forcefield editor's interfaces against
// the interfaces as declared: each member at the position, with the kind and
// name, that the declaration gives it, and one member id per property.
#include "forcefield/com/ForcefieldTypeLibrary.h"

#include "hostapi/hostapi.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

using namespace ForcefieldTypeLibrary;

// The virtual-table position encoded in a pointer to a virtual member
// function (Itanium C++ ABI; -1 for a non-virtual member).
template <class C, class F>
std::ptrdiff_t Slot(F C::*member)
{
    struct Representation {
        std::uintptr_t ptr;
        std::ptrdiff_t adj;
    } repr;
    static_assert(sizeof(member) == sizeof(Representation), "unexpected member-pointer layout");
    std::memcpy(&repr, &member, sizeof(repr));
#if defined(__arm__) || defined(__aarch64__)
    if ((repr.adj & 1) == 0)
        return -1;
    return static_cast<std::ptrdiff_t>(repr.ptr / sizeof(void*));
#else
    if ((repr.ptr & 1) == 0)
        return -1;
    return static_cast<std::ptrdiff_t>((repr.ptr - 1) / sizeof(void*));
#endif
}

struct Declared {
    std::string interfaceName;
    std::string member; // as declared: "get_Name", "put_Name", "Save"
    std::ptrdiff_t slot;
};

#define DECLARED(I, member) Declared{#I, #member, Slot(&I::member)}

const std::vector<Declared>& Declarations()
{
    static const std::vector<Declared> declared{
        DECLARED(IQoForcefieldEditor, get_Load), DECLARED(IQoForcefieldEditor, get_Forcefield),
        DECLARED(IQoForcefieldEditor, Save), DECLARED(IQoForcefieldEditor, SaveAs),
        DECLARED(IQoForcefieldEditor, get_ServerDescription), DECLARED(IQoForcefieldEditor, get_LoadedFilePath),
        DECLARED(IQoForcefield, AddAtomType), DECLARED(IQoForcefield, RemoveAtomType),
        DECLARED(IQoForcefield, get_AtomType), DECLARED(IQoForcefield, get_AtomTypes),
        DECLARED(IQoForcefield, get_HasAtomType), DECLARED(IQoForcefield, get_UnusedInteractionsOfType),
        DECLARED(IQoForcefield, get_Interaction), DECLARED(IQoForcefield, get_AddInteraction),
        DECLARED(IQoForcefield, get_Interactions), DECLARED(IQoForcefield, RemoveInteraction),
        DECLARED(IQoForcefield, get_Description), DECLARED(IQoForcefield, put_Description),
        DECLARED(IQoServerDescription, get_InteractionTypeNames),
        DECLARED(IQoServerDescription, get_FunctionalFormNamesOfType),
        DECLARED(IQoServerDescription, get_NumberOfAtomsOfType), DECLARED(IQoServerDescription, get_ServerName),
        DECLARED(IQoServerDescription, get_CanFit),
        DECLARED(IQoAtomType, get_Name), DECLARED(IQoAtomType, put_Name), DECLARED(IQoAtomType, get_Description),
        DECLARED(IQoAtomType, put_Charge), DECLARED(IQoAtomType, get_Charge),
        DECLARED(IQoInteraction, get_FunctionalForm), DECLARED(IQoInteraction, get_Id),
        DECLARED(IQoInteraction, get_ParameterCount), DECLARED(IQoInteraction, get_Parameter),
        DECLARED(IQoInteraction, get_IntegerOptionCount), DECLARED(IQoInteraction, get_IntegerOption),
        DECLARED(IQoInteraction, get_IntegerOptionNames), DECLARED(IQoInteraction, get_IntegerOptionName),
        DECLARED(IQoInteraction, get_IsIntegerOptionEnabled), DECLARED(IQoInteraction, put_IntegerOption),
        DECLARED(IQoInteraction, get_BooleanOptionCount), DECLARED(IQoInteraction, get_BooleanOptionNames),
        DECLARED(IQoInteraction, get_BooleanOption), DECLARED(IQoInteraction, put_BooleanOption),
        DECLARED(IQoInteraction, get_IsBooleanOptionEnabled), DECLARED(IQoInteraction, get_BooleanOptionName),
        DECLARED(IQoInteraction, get_DoubleOptionCount), DECLARED(IQoInteraction, get_DoubleOptionNames),
        DECLARED(IQoInteraction, get_DoubleOption), DECLARED(IQoInteraction, put_DoubleOption),
        DECLARED(IQoInteraction, get_IsDoubleOptionEnabled), DECLARED(IQoInteraction, get_DoubleOptionName),
        DECLARED(IQoParameter, get_Name), DECLARED(IQoParameter, get_Unit), DECLARED(IQoParameter, get_IsFittable),
        DECLARED(IQoParameter, get_IsHidden), DECLARED(IQoParameter, get_IsToBeFitted),
        DECLARED(IQoParameter, put_IsToBeFitted), DECLARED(IQoParameter, SetToDefaultValue),
        DECLARED(IQoParameter, get_DefaultValue), DECLARED(IQoParameter, get_Value), DECLARED(IQoParameter, put_Value),
        DECLARED(IQoParameter, get_Quality), DECLARED(IQoParameter, put_Quality),
        DECLARED(IQoEditedForcefieldConsumer, get_ForcefieldEditor),
        DECLARED(IQoEditedForcefieldConsumer, ForcefieldSavedTo),
        DECLARED(IQoEditedForcefieldConsumer, SuggestSavePath)};
    return declared;
}

const std::map<std::string, const IID*> kIids{
    {"IQoForcefieldEditor", &IID_IQoForcefieldEditor}, {"IQoForcefield", &IID_IQoForcefield},
    {"IQoServerDescription", &IID_IQoServerDescription}, {"IQoAtomType", &IID_IQoAtomType},
    {"IQoInteraction", &IID_IQoInteraction}, {"IQoParameter", &IID_IQoParameter},
    {"IQoEditedForcefieldConsumer", &IID_IQoEditedForcefieldConsumer}};

// The member's name as its declaration spells it.
std::string DeclaredName(const Member& member)
{
    switch (member.kind) {
    case MemberKind::PropGet:
        return std::string("get_") + member.name;
    case MemberKind::PropPut:
        return std::string("put_") + member.name;
    case MemberKind::Method:
        break;
    }
    return member.name;
}

} // namespace

TEST(TypeLibrary, InterfaceTableMatchesTheDeclarations)
{
    ASSERT_EQ(Interfaces().size(), kIids.size());
    std::size_t members = 0;
    for (const Interface& table : Interfaces()) {
        SCOPED_TRACE(table.name);
        ASSERT_EQ(kIids.count(table.name), 1u);
        EXPECT_EQ(*table.iid, *kIids.at(table.name));
        std::map<std::string, DISPID> idOfProperty;
        std::map<DISPID, std::string> propertyOfId;
        for (const Member& member : table.members) {
            const std::string name = DeclaredName(member);
            bool found = false;
            for (const Declared& declared : Declarations()) {
                if (declared.interfaceName == table.name && declared.member == name) {
                    EXPECT_EQ(declared.slot, member.slot) << name;
                    found = true;
                }
            }
            EXPECT_TRUE(found) << name << " is not declared";
            // A property's get and put share one id, which no other member has.
            const auto known = idOfProperty.emplace(member.name, member.id);
            EXPECT_EQ(known.first->second, member.id) << name;
            const auto owner = propertyOfId.emplace(member.id, member.name);
            EXPECT_EQ(owner.first->second, member.name) << name;
        }
        members += table.members.size();
    }
    EXPECT_EQ(members, Declarations().size()) << "every declared member has its row";
}

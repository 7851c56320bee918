// Positions of members in the interface tables. Callers and implementers
// that were built separately agree only through these positions, so a member
// moved in a declaration is a fault even when everything compiles.

#include "hostapi/hostapi.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <vector>

namespace {

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

struct SlotCase {
    const char* member;
    std::ptrdiff_t actual;
    std::ptrdiff_t expected;
};

#define SLOT(cls, member, position) SlotCase{#cls "::" #member, Slot(&cls::member), position}

void ExpectSlots(const std::vector<SlotCase>& cases)
{
    for (const SlotCase& c : cases)
        EXPECT_EQ(c.actual, c.expected) << c.member;
}

TEST(HostInterfaceSlots, SlotDecodingSeesTheBaseInterfaces)
{
    ExpectSlots({
        SLOT(IUnknown, QueryInterface, 0),
        SLOT(IUnknown, Release, 2),
        SLOT(IDispatch, GetTypeInfoCount, 3),
        SLOT(IDispatch, Invoke, 6),
    });
}

TEST(HostInterfaceSlots, LogicAndJobInterfacesFollowIDispatch)
{
    ExpectSlots({
        SLOT(ISBLogic, get_State, 7),
        SLOT(ISBLogic, OnConnect, 8),
        SLOT(ISBLogic, get_Extension, 9),
        SLOT(ISBManagedJobEvents, OnAttach, 7),
        SLOT(ISBManagedJobEvents, OnDetach, 8),
        SLOT(ISBManagedJobEvents, OnJobStart, 9),
        SLOT(ISBManagedJobEvents, OnJobComplete, 10),
        SLOT(ISBManagedJobEvents, OnIntermediateFileResult, 11),
        SLOT(ISBManagedJobEvents, OnIntermediateDataResult, 12),
        SLOT(ISBManagedJobEvents, OnJobPrepareComplete, 13),
        SLOT(ISBManagedJobEvents, OnJobDisconnect, 14),
        SLOT(ISBManagedJobEvents, OnJobReconnect, 15),
        SLOT(ISBManagedJobFiles, StartFiles, 7),
        SLOT(ISBManagedJobFiles, ExportFiles, 8),
        SLOT(ISBManagedJobFiles, CanStartFiles, 9),
        SLOT(ISBManagedJobFiles, CanExportFiles, 10),
        SLOT(ISBManagedJobFiles, ShouldStartFiles, 11),
    });
}

TEST(HostInterfaceSlots, PositionalCallsOnPointsMatricesAndCharts)
{
    ExpectSlots({
        SLOT(ISDPoint3d, SetXYZ, 14),
        SLOT(ISDMatrix3d, SetElements, 10),
        SLOT(ISDChart2dDocument, SetUpdating, 7),
        SLOT(ISDChart2dDocument, SetModified, 9),
        SLOT(ISDChart2dDocument, EndUpdate, 10),
        SLOT(ISDChart2dDocument, get_Charts, 11),
        SLOT(ISDChart2dCollection, Item, 7),
        SLOT(IQoPhononDispersionGenerator, put_FrequencyUnits, 7),
        SLOT(IQoPhononDispersionGenerator, putref_DataProvider, 8),
        SLOT(IQoPhononDispersionGenerator, PlotPhononDispersion, 9),
    });
}

TEST(HostInterfaceSlots, AnalysisInterfacesFollowIUnknown)
{
    ExpectSlots({
        SLOT(IQoQMAnalysisScope, Refresh, 3),
        SLOT(IQoQMAnalysisScope, put_ResultsID, 4),
        SLOT(IQoQMAnalysisScope, get_ResultsID, 5),
        SLOT(IQoQMAnalysisScope, put_ResultsIDForProperty, 6),
        SLOT(IQoQMAnalysisScope, get_ResultsIDForProperty, 7),
        SLOT(IQoQMAnalysisScope, get_AvailableResultsIDsForProperty, 8),
        SLOT(IQoQMAnalysisScope, get_ContainsResultsForProperty, 9),
        SLOT(IQoQMAnalysisEvents, DataChanged, 3),
        SLOT(IQoQMAnalysisEvents, AvailableDataChanged, 4),
        SLOT(IQoQMDataProvider, get_PropertyProvider, 3),
        SLOT(IQoPhononDispersionData, get_NumKPoints, 3),
        SLOT(IQoPhononDispersionData, GetKPoint, 4),
        SLOT(IQoPhononDispersionData, GetKPointBoundaryType, 5),
        SLOT(IQoPhononDispersionData, HasKPointLabel, 6),
        SLOT(IQoPhononDispersionData, GetKPointLabel, 7),
        SLOT(IQoPhononDispersionData, GetReciprocalLattice, 8),
        SLOT(IQoPhononDispersionData, GetFrequencies, 9),
        SLOT(IQoPhononDispersionData, get_FrequencyUnits, 10),
    });
}

TEST(HostInterfaceSlots, ForcefieldEditorInterfaces)
{
    ExpectSlots({
        SLOT(IQoEditedForcefieldConsumer, get_ForcefieldEditor, 3),
        SLOT(IQoEditedForcefieldConsumer, ForcefieldSavedTo, 4),
        SLOT(IQoEditedForcefieldConsumer, SuggestSavePath, 5),
        SLOT(IQoForcefieldEditor, get_Load, 3),
        SLOT(IQoForcefieldEditor, get_Forcefield, 4),
        SLOT(IQoForcefieldEditor, Save, 5),
        SLOT(IQoForcefieldEditor, SaveAs, 6),
        SLOT(IQoForcefieldEditor, get_ServerDescription, 7),
        SLOT(IQoForcefieldEditor, get_LoadedFilePath, 8),
        SLOT(IQoForcefield, AddAtomType, 3),
        SLOT(IQoForcefield, RemoveAtomType, 4),
        SLOT(IQoForcefield, get_AtomType, 5),
        SLOT(IQoForcefield, get_AtomTypes, 6),
        SLOT(IQoForcefield, get_HasAtomType, 7),
        SLOT(IQoForcefield, get_UnusedInteractionsOfType, 8),
        SLOT(IQoForcefield, get_Interaction, 9),
        SLOT(IQoForcefield, get_AddInteraction, 10),
        SLOT(IQoForcefield, get_Interactions, 11),
        SLOT(IQoForcefield, RemoveInteraction, 12),
        SLOT(IQoForcefield, get_Description, 13),
        SLOT(IQoForcefield, put_Description, 14),
        SLOT(IQoServerDescription, get_InteractionTypeNames, 3),
        SLOT(IQoServerDescription, get_FunctionalFormNamesOfType, 4),
        SLOT(IQoServerDescription, get_NumberOfAtomsOfType, 5),
        SLOT(IQoServerDescription, get_ServerName, 6),
        SLOT(IQoServerDescription, get_CanFit, 7),
        SLOT(IQoAtomType, get_Name, 3),
        SLOT(IQoAtomType, put_Name, 4),
        SLOT(IQoAtomType, get_Description, 5),
        SLOT(IQoAtomType, put_Charge, 6),
        SLOT(IQoAtomType, get_Charge, 7),
        SLOT(IQoInteraction, get_FunctionalForm, 3),
        SLOT(IQoInteraction, get_Id, 4),
        SLOT(IQoInteraction, get_ParameterCount, 5),
        SLOT(IQoInteraction, get_Parameter, 6),
        SLOT(IQoInteraction, get_IntegerOptionCount, 7),
        SLOT(IQoInteraction, get_IntegerOption, 8),
        SLOT(IQoInteraction, get_IntegerOptionNames, 9),
        SLOT(IQoInteraction, get_IntegerOptionName, 10),
        SLOT(IQoInteraction, get_IsIntegerOptionEnabled, 11),
        SLOT(IQoInteraction, put_IntegerOption, 12),
        SLOT(IQoInteraction, get_BooleanOptionCount, 13),
        SLOT(IQoInteraction, get_BooleanOptionNames, 14),
        SLOT(IQoInteraction, get_BooleanOption, 15),
        SLOT(IQoInteraction, put_BooleanOption, 16),
        SLOT(IQoInteraction, get_IsBooleanOptionEnabled, 17),
        SLOT(IQoInteraction, get_BooleanOptionName, 18),
        SLOT(IQoInteraction, get_DoubleOptionCount, 19),
        SLOT(IQoInteraction, get_DoubleOptionNames, 20),
        SLOT(IQoInteraction, get_DoubleOption, 21),
        SLOT(IQoInteraction, put_DoubleOption, 22),
        SLOT(IQoInteraction, get_IsDoubleOptionEnabled, 23),
        SLOT(IQoInteraction, get_DoubleOptionName, 24),
        SLOT(IQoParameter, get_Name, 3),
        SLOT(IQoParameter, get_Unit, 4),
        SLOT(IQoParameter, get_IsFittable, 5),
        SLOT(IQoParameter, get_IsHidden, 6),
        SLOT(IQoParameter, get_IsToBeFitted, 7),
        SLOT(IQoParameter, put_IsToBeFitted, 8),
        SLOT(IQoParameter, SetToDefaultValue, 9),
        SLOT(IQoParameter, get_DefaultValue, 10),
        SLOT(IQoParameter, get_Value, 11),
        SLOT(IQoParameter, put_Value, 12),
        SLOT(IQoParameter, get_Quality, 13),
        SLOT(IQoParameter, put_Quality, 14),
    });
}

TEST(HostInterfaceSlots, TrajectoryProviderHasTwentyFourSlotsBeforeItsDestructor)
{
    static_assert(std::is_abstract_v<CTrjDataProvider>);
    static_assert(std::has_virtual_destructor_v<CTrjDataProvider>);
    ExpectSlots({
        SLOT(CTrjDataProvider, GoToFirstFrame, 0),
        SLOT(CTrjDataProvider, GoToNextFrame, 1),
        SLOT(CTrjDataProvider, GetName, 2),
        SLOT(CTrjDataProvider, GetCurrentFrame, 3),
        SLOT(CTrjDataProvider, GetAtomCount, 4),
        SLOT(CTrjDataProvider, GetAuxiliaryValue, 5),
        SLOT(CTrjDataProvider, GetTimeStep, 6),
        SLOT(CTrjDataProvider, GetTime, 7),
        SLOT(CTrjDataProvider, GetEnergySum, 8),
        SLOT(CTrjDataProvider, GetEnergyTerm1, 9),
        SLOT(CTrjDataProvider, GetEnergyTerm2, 10),
        SLOT(CTrjDataProvider, GetVolumeProduct, 11),
        SLOT(CTrjDataProvider, GetCellVolume, 12),
        SLOT(CTrjDataProvider, GetCell, 13),
        SLOT(CTrjDataProvider, GetSixComponentValueA, 14),
        SLOT(CTrjDataProvider, GetSixComponentValueB, 15),
        SLOT(CTrjDataProvider, GetVolumeFactor, 16),
        SLOT(CTrjDataProvider, GetPressure, 17),
        SLOT(CTrjDataProvider, GetPositions, 18),
        SLOT(CTrjDataProvider, GetThirdAtomVectors, 19),
        SLOT(CTrjDataProvider, GetSecondAtomVectors, 20),
        SLOT(CTrjDataProvider, GetPeriodicity, 21),
        SLOT(CTrjDataProvider, QueryOptionA, 22),
        SLOT(CTrjDataProvider, QueryOptionB, 23),
    });
}

// A provider written against the declaration: overriding every slot makes it
// concrete, and destruction through the base reaches the derived destructor.
class CountingProvider : public CTrjDataProvider {
public:
    explicit CountingProvider(int* destroyed) : m_destroyed(destroyed) {}
    ~CountingProvider() override { ++*m_destroyed; }
    bool GoToFirstFrame() override { return true; }
    bool GoToNextFrame() override { return false; }
    const std::string& GetName() override { return m_name; }
    int GetCurrentFrame() override { return 1; }
    int GetAtomCount() override { return 0; }
    double GetAuxiliaryValue() override { return 0; }
    double GetTimeStep() override { return 0; }
    double GetTime() override { return 0; }
    double GetEnergySum() override { return 0; }
    double GetEnergyTerm1() override { return 0; }
    double GetEnergyTerm2() override { return 0; }
    double GetVolumeProduct() override { return 0; }
    double GetCellVolume() override { return 0; }
    void GetCell(double*) override {}
    void GetSixComponentValueA(double*) override {}
    void GetSixComponentValueB(double*) override {}
    double GetVolumeFactor() override { return 1; }
    double GetPressure() override { return 0; }
    const std::vector<double>& GetPositions() override { return m_empty; }
    const std::vector<double>& GetThirdAtomVectors() override { return m_empty; }
    const std::vector<double>& GetSecondAtomVectors() override { return m_empty; }
    int GetPeriodicity() override { return 3; }
    int QueryOptionA() override { return 0; }
    int QueryOptionB() override { return 0; }

private:
    int* m_destroyed;
    std::string m_name = "run";
    std::vector<double> m_empty;
};

TEST(HostInterfaceSlots, TrajectoryProviderDeletesThroughTheBase)
{
    int destroyed = 0;
    CTrjDataProvider* provider = new CountingProvider(&destroyed);
    EXPECT_EQ(provider->GetName(), "run");
    delete provider;
    EXPECT_EQ(destroyed, 1);
}

} // namespace

// Identifiers of the host interfaces and classes: every one distinct, the
// published ones equal to their registry text, the table consistent.

#include "hostapi/hostapi.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace {

struct NamedGuid {
    std::string name;
    GUID guid;
};

std::vector<NamedGuid> AllClassIds()
{
    return {
        {"CLSID_SDVariantDataDimension", CLSID_SDVariantDataDimension},
        {"CLSID_SDPoint3d", CLSID_SDPoint3d},
        {"CLSID_SDMatrix3d", CLSID_SDMatrix3d},
        {"CLSID_SBStream", CLSID_SBStream},
        {"CLSID_SDPropertyService", CLSID_SDPropertyService},
        {"CLSID_QoAtomNumbering", CLSID_QoAtomNumbering},
        {"CLSID_QoScopeHolder", CLSID_QoScopeHolder},
        {"CLSID_QoScopeUtility", CLSID_QoScopeUtility},
    };
}

std::vector<NamedGuid> AllIds()
{
    std::vector<NamedGuid> ids;
    for (const HostApi::InterfaceEntry& entry : HostApi::KnownInterfaces())
        ids.push_back({entry.name, *entry.iid});
    for (const NamedGuid& clsid : AllClassIds())
        ids.push_back(clsid);
    // The standard interfaces share the table's identifier space.
    ids.push_back({"IUnknown", IID_IUnknown});
    ids.push_back({"IDispatch", IID_IDispatch});
    ids.push_back({"ISupportErrorInfo", IID_ISupportErrorInfo});
    ids.push_back({"IConnectionPointContainer", IID_IConnectionPointContainer});
    ids.push_back({"IConnectionPoint", IID_IConnectionPoint});
    ids.push_back({"IEnumConnections", IID_IEnumConnections});
    return ids;
}

TEST(HostInterfaceIds, EveryInterfaceAndClassIdIsDistinctAndNotNull)
{
    const std::vector<NamedGuid> ids = AllIds();
    for (std::size_t i = 0; i < ids.size(); ++i) {
        EXPECT_NE(ids[i].guid, GUID_NULL) << ids[i].name;
        for (std::size_t j = i + 1; j < ids.size(); ++j)
            EXPECT_NE(ids[i].guid, ids[j].guid) << ids[i].name << " and " << ids[j].name;
    }
}

TEST(HostInterfaceIds, TableNamesAreUniqueAndFoundByIdentifier)
{
    std::set<std::string> names;
    for (const HostApi::InterfaceEntry& entry : HostApi::KnownInterfaces()) {
        EXPECT_TRUE(names.insert(entry.name).second) << entry.name << " listed twice";
        EXPECT_EQ(HostApi::InterfaceName(*entry.iid), entry.name);
    }
    EXPECT_EQ(HostApi::InterfaceName(IID_IUnknown), "");
    EXPECT_EQ(HostApi::InterfaceName(GUID_NULL), "");
}

template <class I>
void ExpectTableEntry(const char* name)
{
    EXPECT_EQ(uuidof<I>(), I::Iid()) << name;
    EXPECT_EQ(HostApi::InterfaceName(uuidof<I>()), name);
}

TEST(HostInterfaceIds, UuidofMatchesTheTable)
{
    ExpectTableEntry<ISBLogic>("ISBLogic");
    ExpectTableEntry<ISBState>("ISBState");
    ExpectTableEntry<ISBContainerRoot>("ISBContainerRoot");
    ExpectTableEntry<ISBContainerRootConsumer>("ISBContainerRootConsumer");
    ExpectTableEntry<ISBManagedJob>("ISBManagedJob");
    ExpectTableEntry<ISBManagedTask>("ISBManagedTask");
    ExpectTableEntry<ISDObject>("ISDObject");
    ExpectTableEntry<ISDChart2dDocument>("ISDChart2dDocument");
    ExpectTableEntry<IQoScopeUtility>("IQoScopeUtility");
    ExpectTableEntry<IQoPhononDispersionGenerator>("IQoPhononDispersionGenerator");
    ExpectTableEntry<IQoEditedForcefieldConsumer>("IQoEditedForcefieldConsumer");
    // A derived interface answers its own identifier, not its base's.
    EXPECT_NE(uuidof<ISBManagedJob>(), uuidof<ISBManagedTask>());
}

// Identifiers that other components publish; they must equal the registry
// text exactly, as read by the runtime's own parser.
TEST(HostInterfaceIds, PublishedIdentifiersMatchTheirText)
{
    const std::vector<std::pair<GUID, const char*>> published = {
        {IID_ISBLogic, "{80A35F54-96A7-4A6C-B1D0-75AC7537A69C}"},
        {IID_ISBContainerRootConsumer, "c1fd5914-2a89-4ea5-b893-bf0cd6bb0e57"},
        {IID_ISBManagedJobEvents, "fa716ef6-bb7f-4f50-be8b-1695477bd4a2"},
        {IID_ISBManagedJobFiles, "177e723d-5472-4488-b759-0f4320ff6e13"},
        {IID_ISBImporter, "1335a2e8-3429-4c3e-8161-7a6a503ccd40"},
        {IID_ISBStream, "20844f08-4532-477b-a9fa-46d9e4217902"},
        {IID_ISBPersistable, "bd4b3c6f-cf81-4e73-92e3-fc906b1d8a81"},
        {IID_ISBDocumentServiceProvider, "{600BBED3-2529-4664-BC94-F588F8958F8B}"},
        {IID_ISDVariantDataDimension, "{4A18DEDB-926B-4FF8-9681-3B5D7E8A0D28}"},
        {IID_ISDPoint3d, "{EBD4573B-48EB-4393-8CDB-3C3A13BECB08}"},
        {IID_ISDMatrix3d, "{2EF2BE3D-1D4B-4E09-A845-1E9EE65DD876}"},
        {IID_ISDFraction, "{1a18325b-5afc-41f6-b68a-e64458f64f44}"},
        {IID_ISDSurfaceDescription, "4c4ca6e5-53df-4170-a8d5-3a93ec2a4872"},
        {IID_ISDChart2dDocument, "{CE2FED1C-A7A4-4D46-90C0-7DDDA8985B5E}"},
        {IID_IQoQMAnalysisScope, "{7B533E1F-9490-4E99-AE7B-CDCC393A4A10}"},
        {IID_IQoQMAnalysisEvents, "{DC64D484-8583-4129-83FE-4688C5A02245}"},
        {IID_IQoQMDataProvider, "{626F2B73-1FF1-4B03-94C1-DBB200044005}"},
        {IID_IQoPhononDispersionData, "{5EF697BB-7B49-45AD-8F0C-357153B00BCA}"},
        {IID_IQoPhononDispersionGenerator, "{17F6D6CA-388C-489D-80F5-E256F327953A}"},
        {IID_IQoForcefieldEditor, "83b31654-67db-4bc7-9b00-acf62467541f"},
        {IID_IQoForcefield, "c8ad96c4-5407-4d30-b37e-7beecf3373b9"},
        {IID_IQoServerDescription, "4e0ba080-2888-4d05-bd6d-496886166536"},
        {IID_IQoAtomType, "7070e40d-aa39-4a37-aae3-8e27934fcde5"},
        {IID_IQoInteraction, "36539084-1d06-4975-bba5-940f2a6acb35"},
        {IID_IQoParameter, "0a3c2c94-160b-4ded-8ba7-3e258a89746a"},
        {IID_IQoEditedForcefieldConsumer, "72499e50-11fa-4f7c-b1de-c06fd973ec23"},
        {IID_IQoScopeUtility, "b9bff2ca-04ad-4f60-9e32-a55d0f788d42"},
        {IID_IQoForcefieldChooser, "b616c29f-97f4-4c83-915c-89f5c6fe67ac"},
        {IID_IQoKPointSetGenerator, "30087e57-d3ae-437d-a737-af75bb00b297"},
        {IID_IQoDispersionPathGenerator, "07c8dc35-2bb9-48ef-9a4d-0e6d1611db84"},
        {IID_IQoDispersionPathPointKinds, "01af4f8c-3f16-494e-8152-999d694b1a94"},
        {IID_IQoAtomNumbering, "{4779d745-b8f4-404d-af5c-8edc2b5f395c}"},
        {IID_IQoAtomNumberingSource, "{f0e4e63a-aaa9-4442-ac5f-fac09bb14ee7}"},
        {IID_IQoScopeHolder, "{04d71226-9981-4640-b173-7931df6dbaee}"},
        {CLSID_SDVariantDataDimension, "d9ad6106-be47-4f95-b4c1-7e68bc8dc766"},
        {CLSID_SDPoint3d, "{3ADC3240-F7EC-41C7-8A4B-94A005E8EBB0}"},
        {CLSID_SDMatrix3d, "{6F88575E-E7AF-4EA7-9E42-EFD551EB05F4}"},
        {CLSID_SBStream, "23A6FEEA-2293-4255-AD8C-656A24CA2CA8"},
        {CLSID_QoAtomNumbering, "{376CCD2D-56C8-4A33-AC0D-A108076E5769}"},
        {CLSID_QoScopeHolder, "{5f31a6d5-dcc8-4992-a41f-1f603df06e60}"},
    };
    for (const auto& [guid, text] : published) {
        GUID parsed{};
        ASSERT_TRUE(GuidFromString(text, parsed)) << text;
        EXPECT_EQ(guid, parsed) << text << " declared as " << GuidToString(guid);
    }
}

TEST(HostInterfaceIds, MakeGuidReadsEveryFieldInEitherCase)
{
    constexpr GUID upper = HostApi::MakeGuid("0123ABCD-EF01-2345-6789-ABCDEF012345");
    constexpr GUID lower = HostApi::MakeGuid("0123abcd-ef01-2345-6789-abcdef012345");
    static_assert(upper.Data1 == 0x0123ABCDu && upper.Data2 == 0xEF01 && upper.Data3 == 0x2345);
    EXPECT_EQ(upper, lower);
    const uint8_t tail[8] = {0x67, 0x89, 0xAB, 0xCD, 0xEF, 0x01, 0x23, 0x45};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(upper.Data4[i], tail[i]) << "byte " << i;
    constexpr GUID all = HostApi::MakeGuid("FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF");
    EXPECT_EQ(all.Data1, 0xFFFFFFFFu);
    EXPECT_EQ(all.Data4[7], 0xFF);
}

TEST(HostInterfaceIds, MakeGuidRefusesMalformedTextOutsideConstantExpressions)
{
    // In a constant expression these are compile errors; evaluated at run
    // time the same checks throw.
    const char badDigit[37] = "0123ABCG-EF01-2345-6789-ABCDEF012345";
    const char badDash[37] = "0123ABCD+EF01-2345-6789-ABCDEF012345";
    EXPECT_ANY_THROW(HostApi::MakeGuid(badDigit));
    EXPECT_ANY_THROW(HostApi::MakeGuid(badDash));
}

} // namespace

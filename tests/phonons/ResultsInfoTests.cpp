// The phonon results component on a hand-written run: the lazy load, every
// data method, its index checks and the retry after a failed load.
#include "analysis/ZelmResultsInfo.h"

#include "frame/ClassTable.h"
#include "common/ModuleIds.h"

#include "host/model/ModelClasses.h"

#include "common/ErrorInfo.h"
#include "common/HostFakes.h"
#include "common/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

std::string Fixture(const std::string& name)
{
    return std::string(QZ_TEST_DATA) + "/phonons/" + name;
}

class ResultsInfo : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(SUCCEEDED(HostModel::RegisterModelClasses()));
        void* object = nullptr;
        ASSERT_EQ(S_OK, CZelmResultsInfo::CreateZelmResultsInfo(&object));
        ASSERT_EQ(S_OK, KelvCreateInstanceImpl(object, unknown.ReceiveVoid()));
        info = static_cast<CZelmResultsInfo*>(static_cast<IDelegatedUnknown*>(unknown.get()));
        data = unknown.QueryInterface<IQoPhononDispersionData>();
    }
    // Copies the run's files into the temporary folder and points at its output.
    void Stage(std::initializer_list<const char*> extensions)
    {
        for (const char* extension : extensions)
            std::filesystem::copy_file(Fixture(std::string("nacl") + extension),
                                       folder.File(std::string("nacl") + extension));
        info->SetResultsPath(folder.File("nacl.gout"));
    }
    LONG Count()
    {
        LONG count = -1;
        EXPECT_EQ(S_OK, data->get_NumKPoints(&count)) << QzTest::LastErrorText();
        return count;
    }

    QzTest::TempFolder folder{"phonons"};
    KelvComPtr<IUnknown> unknown;
    CZelmResultsInfo* info = nullptr;
    KelvComPtr<IQoPhononDispersionData> data;
};

TEST_F(ResultsInfo, CreatesThroughItsClassFactory)
{
    KelvComPtr<IClassFactory> factory;
    ASSERT_EQ(S_OK, DllGetClassObject(QorZelm::CLSID_ZelmResultsInfo, IID_IClassFactory, factory.ReceiveVoid()));
    KelvComPtr<IQoQMDataProvider> provider;
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IQoQMDataProvider, provider.ReceiveVoid()));
    auto support = provider.QueryInterface<ISupportErrorInfo>();
    EXPECT_EQ(S_OK, support->InterfaceSupportsErrorInfo(IID_IQoPhononDispersionData));
    EXPECT_EQ(S_FALSE, support->InterfaceSupportsErrorInfo(IID_IDispatch));
    EXPECT_EQ(E_POINTER, CZelmResultsInfo::CreateZelmResultsInfo(nullptr));
}

TEST_F(ResultsInfo, ServesTheRunsPointsLabelsAndFrequencies)
{
    Stage({".gout", ".disp", ".kptaux"});
    auto provider = unknown.QueryInterface<IQoQMDataProvider>();
    for (const char* name : {"", "PhononDispersion", "anything"}) {
        KelvVariant value;
        ASSERT_EQ(S_OK, provider->get_PropertyProvider(KelvBSTR(name).Get(), value.Receive()));
        ASSERT_EQ(VT_UNKNOWN, value.Type());
        EXPECT_EQ(static_cast<IUnknown*>(data.get()), value.Get().punkVal);
    }
    ASSERT_EQ(6, Count());
    LONG kpoints = 0;
    EXPECT_EQ(S_OK, info->KPointCount(&kpoints));
    EXPECT_EQ(6, kpoints);

    KelvComPtr<ISDPoint3d> point;
    ASSERT_EQ(S_OK, data->GetKPoint(2, point.Receive()));
    double x = 0, y = 0, z = 0;
    point->GetXYZ(&x, &y, &z);
    EXPECT_DOUBLE_EQ(0.25, x);
    EXPECT_EQ(0.0, y);

    const LONG types[] = {2, 1, 4, 4, 1, 3};
    const char* labels[] = {"G", "", "X", "X", "", "M"};
    for (LONG i = 1; i <= 6; ++i) {
        SCOPED_TRACE(i);
        LONG type = 0;
        EXPECT_EQ(S_OK, data->GetKPointBoundaryType(i, &type));
        EXPECT_EQ(types[i - 1], type);
        VARIANT_BOOL has = VARIANT_TRUE;
        EXPECT_EQ(S_OK, data->HasKPointLabel(i, &has));
        EXPECT_EQ(*labels[i - 1] ? VARIANT_TRUE : VARIANT_FALSE, has);
        KelvBSTR label;
        EXPECT_EQ(S_OK, data->GetKPointLabel(i, label.Receive()));
        EXPECT_EQ(labels[i - 1], label.ToTString());
    }

    KelvComPtr<ISDVariantDataDimension> frequencies;
    ASSERT_EQ(S_OK, data->GetFrequencies(6, frequencies.Receive()));
    LONG count = 0;
    frequencies->get_Count(&count);
    ASSERT_EQ(2, count);
    KelvVariant second;
    frequencies->Item(2, second.Receive());
    EXPECT_EQ(VT_R8, second.Type());
    EXPECT_EQ(130.0, second.Double());

    KelvComPtr<ISDMatrix3d> lattice;
    ASSERT_EQ(S_OK, data->GetReciprocalLattice(lattice.Receive()));
    double m[9];
    lattice->GetElements(m);
    EXPECT_DOUBLE_EQ(0.2, m[0]);
    EXPECT_DOUBLE_EQ(0.2, m[4]);
    EXPECT_EQ(0.0, m[1]);
}

TEST_F(ResultsInfo, EveryIndexedMethodRefusesIndicesOutsideTheList)
{
    Stage({".gout", ".disp", ".kptaux"});
    for (const LONG bad : {0L, 7L, -1L}) {
        SCOPED_TRACE(bad);
        KelvComPtr<ISDPoint3d> point;
        LONG type = 0;
        VARIANT_BOOL has = VARIANT_FALSE;
        KelvBSTR label;
        KelvComPtr<ISDVariantDataDimension> frequencies;
        const HRESULT results[] = {data->GetKPoint(bad, point.Receive()),
                                   data->GetKPointBoundaryType(bad, &type),
                                   data->HasKPointLabel(bad, &has),
                                   data->GetKPointLabel(bad, label.Receive()),
                                   data->GetFrequencies(bad, frequencies.Receive())};
        for (const HRESULT hr : results)
            EXPECT_EQ(E_FAIL, hr);
        EXPECT_EQ("invalid vector<T> subscript", QzTest::LastErrorText());
        EXPECT_FALSE(point);
        EXPECT_FALSE(frequencies);
    }
}

TEST_F(ResultsInfo, MissingFilesFailEachDataMethodUntilTheyArrive)
{
    LONG unit = 0;
    EXPECT_EQ(S_OK, data->get_FrequencyUnits(&unit));
    EXPECT_EQ(5, unit);
    // The property provider is there without any file; the data come later.
    info->SetResultsPath(folder.File("nacl.gout"));
    KelvVariant provider;
    EXPECT_EQ(S_OK, unknown.QueryInterface<IQoQMDataProvider>()->get_PropertyProvider(nullptr, provider.Receive()));
    EXPECT_EQ(VT_UNKNOWN, provider.Type());
    LONG count = 0;
    EXPECT_EQ(E_UNEXPECTED, data->get_NumKPoints(&count));
    EXPECT_EQ("Unable to read phonon information from this file", QzTest::LastErrorText());
    Stage({".gout"});
    EXPECT_EQ(E_UNEXPECTED, data->get_NumKPoints(&count));
    EXPECT_EQ("Failed to open ZELM dispersion file.", QzTest::LastErrorText());
    Stage({".disp", ".kptaux"});
    EXPECT_EQ(6, Count());
    // An empty path keeps the one set.
    info->SetResultsPath("");
    EXPECT_EQ(folder.File("nacl"), info->ResultsPath());
}

// A host matrix that refuses to be set.
class RefusingMatrix final : public QzTest::Fake<QzTest::NoDispatch<ISDMatrix3d>>
{
public:
    HRESULT get_Element(LONG, LONG, double*) override { return E_NOTIMPL; }
    HRESULT put_Element(LONG, LONG, double) override { return E_NOTIMPL; }
    HRESULT GetElements(double*) override { return E_NOTIMPL; }
    HRESULT SetElements(double, double, double, double, double, double, double, double, double) override
    {
        return QzTest::HostError(E_ACCESSDENIED, "The matrix is read-only.");
    }
};

TEST_F(ResultsInfo, AReciprocalLatticeTheMatrixRefusesIsReported)
{
    Stage({".gout", ".disp", ".kptaux"});
    ClassRegistration<RefusingMatrix> refusing(CLSID_SDMatrix3d, "");
    KelvComPtr<ISDMatrix3d> lattice;
    EXPECT_EQ(E_ACCESSDENIED, data->GetReciprocalLattice(lattice.Receive()));
    EXPECT_EQ("The matrix is read-only.", QzTest::LastErrorText());
    EXPECT_FALSE(lattice);
}

} // namespace

// What the earlier build's logic object refuses or leaves out, and its
// library check over its own species table.
#include "EarlierHost.h"

#include "forcefield/DumpToLibraryConverter.h"

using namespace EarlierTest;

namespace {

class EarlierLogic : public EarlierHost
{
protected:
    KelvComPtr<ISBScope> RockSaltScope()
    {
        return Contents(AddDocument("rocksalt", *HostModel::ImportCif(std::string(QZ_TEST_DATA) +
                                                                       "/../../examples/rocksalt.cif")));
    }
};

} // namespace

TEST_F(EarlierLogic, FitAndSurfaceRequestsAreRefused)
{
    struct Case
    {
        int32_t task;
        bool exportFiles;
        const char* message;
    };
    const char* const standard = "\nCannot run or save files for a Fit Forcefield task when using a standard library.";
    for (const Case& c : {Case{4, true, standard}, Case{4, false, standard},
                          Case{5, false, "A Surface deck needs the logic \"SurfaceCalculator\", which this "
                                         "application does not hold."}}) {
        SCOPED_TRACE(c.task);
        Set("ZelmLogic", "Task", c.task);
        const auto scope = RockSaltScope();
        HRESULT hr = S_OK;
        if (c.exportFiles) {
            hr = Zelm().QueryInterface<ISBManagedJobFiles>()->ExportFiles(scope.get());
            failure = QzTest::LastErrorText();
        } else {
            hr = Save(scope);
        }
        EXPECT_TRUE(FAILED(hr));
        EXPECT_EQ(failure, c.message);
    }
}

TEST_F(EarlierLogic, NoForcefieldEditorAndNoObservables)
{
    const KelvComPtr<IZelm> zelm = Zelm();
    ASSERT_TRUE(zelm);
    EXPECT_FALSE(zelm.TryQueryInterface<IQoEditedForcefieldConsumer>());
    EXPECT_EQ(zelm.QueryInterface<ISupportErrorInfo>()->InterfaceSupportsErrorInfo(IID_IQoEditedForcefieldConsumer),
              S_FALSE);
    IQoZelmObservableData* observables = reinterpret_cast<IQoZelmObservableData*>(zelm.get());
    EXPECT_EQ(zelm->get_ObservableData(&observables), E_NOTIMPL);
    EXPECT_EQ(observables, nullptr);
    EXPECT_EQ(QzTest::LastErrorText(), "This build of QorZelm has no observables.");
    // A fitting dump is never turned into a library.
    try {
        CDumpToLibraryConverter converter(out + "/fit.res", out + "/fit.lib");
        ADD_FAILURE() << "converted a dump";
    } catch (const KelvResult& error) {
        EXPECT_EQ(error.GetHRESULT(), E_NOTIMPL);
        EXPECT_EQ(error.GetMessage(), "This build of QorZelm has no forcefield model: no library '" + out +
                                          "/fit.lib' can be made from the fitting dump '" + out + "/fit.res'.");
    }
    EXPECT_FALSE(std::filesystem::exists(out + "/fit.lib"));
}

TEST_F(EarlierLogic, LibraryCheckNamesTheElementsOfNoSpecies)
{
    HostModel::Document molecule;
    molecule.AddAtom("Na", {0.0, 0.0, 0.0});
    molecule.AddAtom("Ar", {2.0, 0.0, 0.0});
    molecule.AddAtom("Xe", {4.0, 0.0, 0.0});
    molecule.AddAtom("Cl", {6.0, 0.0, 0.0});
    const auto scope = Contents(AddDocument("molecule", molecule));
    SAFEARRAY* missing = nullptr;
    VARIANT_BOOL all = VARIANT_TRUE;
    ASSERT_EQ(Zelm()->AllAtomicChargesInLibrary2(scope.get(), &missing, &all), S_OK) << QzTest::LastErrorText();
    EXPECT_EQ(all, VARIANT_FALSE);
    ASSERT_NE(missing, nullptr);
    KelvSafeArray names(missing);
    ASSERT_EQ(names.Count(), 2u);
    EXPECT_EQ(names.GetString(0), "Ar");
    EXPECT_EQ(names.GetString(1), "Xe");

    Set("ZelmLogic", "library", "absent");
    EXPECT_EQ(Zelm()->AllAtomicChargesInLibrary2(scope.get(), &missing, &all), E_UNEXPECTED);
    EXPECT_EQ(QzTest::LastErrorText(), "Unable to open ZELM library file.");
}

#include "ComFixtures.h"

#include "hostapi/atomisticmodel.h"
#include "qorqm/ScopeUtility.h"

using namespace HostModelTest;

namespace {

KelvComPtr<ISBScope> Contents(const std::shared_ptr<Document>& d)
{
    KelvComPtr<ISBScope> scope;
    EXPECT_EQ(DocumentRootFor(d)->get_ContentsAsScope(scope.Receive()), S_OK);
    return scope;
}

KelvComPtr<ISDAtomisticModel> ModelOf(const std::shared_ptr<Document>& d)
{
    KelvComPtr<IUnknown> model;
    EXPECT_EQ(DocumentRootFor(d)->get_ModelDocument(model.Receive()), S_OK);
    return Query<ISDAtomisticModel>(model);
}

bool Flag(HRESULT (ISDAtomisticModel::*query)(VARIANT_BOOL*), const KelvComPtr<ISDAtomisticModel>& model)
{
    VARIANT_BOOL answer = 7;
    EXPECT_EQ((model.get()->*query)(&answer), S_OK);
    EXPECT_TRUE(answer == VARIANT_TRUE || answer == VARIANT_FALSE);
    return answer == VARIANT_TRUE;
}

} // namespace

TEST(AtomisticModel, LatticeObjectsByPeriodicity)
{
    auto salt = RockSalt();
    auto slab = std::make_shared<Document>();
    slab->SetSurfaceCell({3.0, 4.0, Radians(120)});
    auto molecule = std::make_shared<Document>();

    KelvComPtr<IUnknown> lattice;
    ASSERT_EQ(ModelOf(salt)->get_Lattice(lattice.Receive()), S_OK);
    EXPECT_TRUE(lattice.TryQueryInterface<ISDLattice3D>());
    EXPECT_FALSE(lattice.TryQueryInterface<ISDLattice2D>());
    ASSERT_EQ(ModelOf(slab)->get_Lattice(lattice.Receive()), S_OK);
    EXPECT_TRUE(lattice.TryQueryInterface<ISDLattice2D>());
    EXPECT_EQ(ModelOf(molecule)->get_Lattice(lattice.Receive()), S_FALSE);
    EXPECT_EQ(lattice.get(), nullptr);
    KelvComPtr<IUnknown> none;
    EXPECT_EQ(ModelOf(molecule)->get_Symmetry(none.Receive()), S_FALSE);
    EXPECT_EQ(ModelOf(molecule)->get_LatticeFrame(none.Receive()), S_FALSE);
}

TEST(AtomisticModel, LatticePropertiesAndSetCellParameters)
{
    auto d = std::make_shared<Document>();
    d->SetName("Si");
    d->SetCell(Cubic(20.0));
    d->SetSymmetry(Symmetry::FromName("F d -3 m:2"));
    d->AddAtomAt("Si", {0.125, 0.125, 0.125});
    KelvComPtr<IUnknown> lattice;
    ASSERT_EQ(ModelOf(d)->get_Lattice(lattice.Receive()), S_OK);
    EXPECT_DOUBLE_EQ(Read(lattice.get(), "LengthA").value.Double(), 20.0);
    EXPECT_DOUBLE_EQ(Read(lattice.get(), "AngleGamma").value.Double(), Radians(90));
    EXPECT_EQ(Read(lattice.get(), "SpaceGroupLongName").value.String(), "F d -3 m");
    EXPECT_EQ(Read(lattice.get(), "SpaceGroupITNumber").value.Long(), 227);
    EXPECT_EQ(Read(lattice.get(), "SpaceGroupQualifier").value.String(), "Origin 2");
    PropertyRead representation = Read(lattice.get(), "LatticeRepresentation");
    EXPECT_EQ(representation.value.Long(), RepresentationCubic);
    EXPECT_TRUE(representation.status >= 0 && representation.status <= 2);
    EXPECT_EQ(Read(lattice.get(), "LengthU").hr, E_INVALIDARG);
    EXPECT_EQ(Write(lattice.get(), "LengthA", KelvVariant(3.0)), E_ACCESSDENIED);

    OperationLog::Clear();
    KelvComPtr<ISDLattice3D> cell = Query<ISDLattice3D>(lattice);
    EXPECT_EQ(cell->SetCellParameters(5.43, 5.43, 5.43, Radians(90), Radians(90), Radians(90)), S_OK);
    EXPECT_DOUBLE_EQ(d->Lattice3()->Parameters().a, 5.43);
    EXPECT_TRUE(Near(d->Atoms()[0].position, {0.125, 0.125, 0.125})) << "atoms keep fractional positions";
    const auto log = OperationLog::Find("Lattice3D", "SetCellParameters");
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].arguments[0], "5.43");
    EXPECT_EQ(log[0].arguments[3], LogNumber(Radians(90)));
    EXPECT_EQ(cell->SetCellParameters(-1, 5, 5, 1, 1, 1), E_INVALIDARG);
    EXPECT_DOUBLE_EQ(d->Lattice3()->Parameters().a, 5.43);

    // A lattice object outlives the periodicity it was made for.
    d->RemoveLattice();
    EXPECT_EQ(Read(lattice.get(), "LengthA").hr, E_UNEXPECTED);

    auto slab = std::make_shared<Document>();
    slab->SetSurfaceCell({3.0, 4.0, Radians(120)});
    ASSERT_EQ(ModelOf(slab)->get_Lattice(lattice.Receive()), S_OK);
    EXPECT_DOUBLE_EQ(Read(lattice.get(), "LengthV").value.Double(), 4.0);
    EXPECT_DOUBLE_EQ(Read(lattice.get(), "AngleTheta").value.Double(), Radians(120));
    EXPECT_EQ(Query<ISDLattice2D>(lattice)->SetCellParameters(3.5, 4.0, Radians(120)), S_OK);
    EXPECT_DOUBLE_EQ(slab->Lattice2()->Parameters().u, 3.5);
}

TEST(AtomisticModel, SymmetryOperatorsAsTransforms)
{
    auto d = std::make_shared<Document>();
    d->SetCell({5.1, 6.2, 7.3, Radians(90), Radians(101.5), Radians(90)});
    d->SetSymmetry(Symmetry::FromName("P 21/c"));
    KelvComPtr<IUnknown> symmetry;
    ASSERT_EQ(ModelOf(d)->get_Symmetry(symmetry.Receive()), S_OK);
    KelvComPtr<ISDVariantDataDimension> operators =
        Query<ISDVariantDataDimension>(Read(symmetry.get(), "AllOperatorElements").value.ExtractUnknown());
    LONG count = 0;
    operators->get_Count(&count);
    ASSERT_EQ(count, 4);
    bool screw = false;
    for (LONG i = 1; i <= count; ++i) {
        KelvVariant item;
        operators->Item(i, item.Receive());
        double t[12];
        ASSERT_EQ(Query<ISDSymmetryOperator>(item.ExtractUnknown())->GetTransform(t), S_OK);
        if (i == 1) {
            EXPECT_EQ(std::vector<double>(t, t + 12), (std::vector<double>{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0}));
        }
        // -x, y+1/2, -z+1/2
        screw |= t[0] == -1 && t[5] == 1 && t[10] == -1 && t[7] == 0.5 && t[11] == 0.5;
    }
    EXPECT_TRUE(screw);
}

TEST(AtomisticModel, LatticeFrameConvertsPoints)
{
    auto d = RockSalt();
    KelvComPtr<IUnknown> frame;
    ASSERT_EQ(ModelOf(d)->get_LatticeFrame(frame.Receive()), S_OK);
    KelvComPtr<ISDLatticeFrame> f = Query<ISDLatticeFrame>(frame);
    KelvComPtr<ISDPointConverter> toCartesian, toFractional, standard;
    ASSERT_EQ(f->GetPointConverter(toCartesian.Receive(), SDConvertFractionalToCartesian), S_OK);
    ASSERT_EQ(f->GetPointConverter(toFractional.Receive(), SDConvertCartesianToFractional), S_OK);
    EXPECT_EQ(f->GetPointConverter(standard.Receive(), 9), E_INVALIDARG);
    ASSERT_EQ(f->GetPointConverter(standard.Receive(), SDConvertStandardToModel), S_OK);
    KelvComPtr<ISDPoint3d> in = MakePoint({0.5, 0.25, 0}), out, back;
    ASSERT_EQ(toCartesian->ConvertPoint(in.get(), out.Receive()), S_OK);
    EXPECT_TRUE(Near(PointValue(out.get()), {2.8201, 1.41005, 0}, 1e-12));
    ASSERT_EQ(toFractional->ConvertPoint(out.get(), back.Receive()), S_OK);
    EXPECT_TRUE(Near(PointValue(back.get()), {0.5, 0.25, 0}, 1e-12));
    ASSERT_EQ(standard->ConvertPoint(in.get(), out.Receive()), S_OK);
    EXPECT_TRUE(Near(PointValue(out.get()), {0.5, 0.25, 0}));
    EXPECT_EQ(standard->ConvertPoint(nullptr, out.Receive()), E_POINTER);
}

TEST(AtomisticModel, ConversionsAndSettingQuestions)
{
    auto salt = RockSalt();
    KelvComPtr<ISDAtomisticModel> model = ModelOf(salt);
    EXPECT_FALSE(Flag(&ISDAtomisticModel::get_NeedsPrimitiveConversion, model));
    EXPECT_FALSE(Flag(&ISDAtomisticModel::get_HasNonStandardSetting, model));
    EXPECT_EQ(model->ConvertToPrimitive(), S_OK);
    EXPECT_EQ(salt->Atoms().size(), 2u);
    EXPECT_TRUE(Flag(&ISDAtomisticModel::get_HasNonStandardSetting, model)) << "no table entry: operators";
    EXPECT_EQ(model->ConvertToPrimitive(), S_FALSE);
    EXPECT_EQ(model->MakeP1(), S_OK);
    EXPECT_TRUE(salt->IsP1());
    EXPECT_EQ(model->MakeP1(), S_FALSE);

    auto monoclinic = std::make_shared<Document>();
    monoclinic->SetCell({5, 6, 7, Radians(90), Radians(90), Radians(100)});
    monoclinic->SetSymmetry(Symmetry::FromName("P 1 1 21/a"));
    EXPECT_TRUE(Flag(&ISDAtomisticModel::get_HasNonStandardSetting, ModelOf(monoclinic)));
}

namespace {

// A scope manager that runs the model's processors.
class ModelScopeManager final : public CKelvUnknown, public ISBScopeManager {
public:
    KELV_DELEGATE_IUNKNOWN
    HRESULT DelegatedQueryInterface(REFIID iid, void** out) override
    {
        if (iid == IID_ISBScopeManager)
            return FinishQI(static_cast<ISBScopeManager*>(this), out);
        return CKelvUnknown::DelegatedQueryInterface(iid, out);
    }
    HRESULT ProcessScope(ISBScope* scope, BSTR processor, ISBScope** result) override
    {
        return Kelv::ComMethod(GUID_NULL, IID_ISBScopeManager, [&] {
            *result = ProcessScopeObject(scope, NarrowFromBSTR(processor)).Detach();
        });
    }
    HRESULT get_DefaultScope(ISBScope**) override { return E_NOTIMPL; }
    HRESULT get_ActiveScope(ISBScope**) override { return E_NOTIMPL; }
};

class RootWithScopeManager final : public CKelvUnknown, public ISBContainerRoot {
public:
    KELV_DELEGATE_IUNKNOWN
    HRESULT DelegatedQueryInterface(REFIID iid, void** out) override
    {
        if (iid == IID_ISBContainerRoot)
            return FinishQI(static_cast<ISBContainerRoot*>(this), out);
        return CKelvUnknown::DelegatedQueryInterface(iid, out);
    }
    HRESULT get_ScopeManager(ISBScopeManager** manager) override
    {
        *manager = new ModelScopeManager();
        return S_OK;
    }
    HRESULT get_DiskManager(ISBDiskManager**) override { return E_NOTIMPL; }
    HRESULT get_FolderManager(ISBFolderManager**) override { return E_NOTIMPL; }
    HRESULT get_DocumentManager(ISBDocumentManager**) override { return E_NOTIMPL; }
    HRESULT get_StateManager(ISBStateManager**) override { return E_NOTIMPL; }
    HRESULT get_JobManager(ISBJobManager**) override { return E_NOTIMPL; }
    HRESULT get_OperationManager(ISBOperationManager**) override { return E_NOTIMPL; }
    HRESULT get_ModuleManager(ISBModuleManager**) override { return E_NOTIMPL; }
    HRESULT get_Extensions(ISBExtensions**) override { return E_NOTIMPL; }
    HRESULT get_DocumentService(ISBDocumentService**) override { return E_NOTIMPL; }
    HRESULT get_PathService(ISBPathService**) override { return E_NOTIMPL; }
};

class ScopeUtilityOverModel : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(SUCCEEDED(QorQMUtilities::RegisterScopeUtility()));
        KelvResult created = Kelv::KelvCreateImpl(QorQMUtilities::ScopeUtilityProgId, nullptr, CLSCTX_SERVER,
                                                  IID_IQoScopeUtility, m_utility.ReceiveVoid(), false);
        ASSERT_TRUE(created.Succeeded()) << created.GetMessage();
        m_root = KelvComPtr<ISBContainerRoot>::Adopt(new RootWithScopeManager());
        ASSERT_EQ(m_utility->Initialise(m_root.get()), S_OK);
    }
    void TearDown() override
    {
        if (m_utility)
            m_utility->Shutdown();
    }
    KelvComPtr<ISBScope> Apply(ISBScope* scope, const char* processor)
    {
        KelvComPtr<ISBScope> result;
        KelvBSTR name(processor);
        EXPECT_EQ(m_utility->ApplyScopeProcessor(scope, name.Get(), result.Receive()), S_OK) << processor;
        return result;
    }
    bool Ask(HRESULT (IQoScopeUtility::*query)(ISBScope*, VARIANT_BOOL*), ISBScope* scope)
    {
        VARIANT_BOOL answer = VARIANT_FALSE;
        EXPECT_EQ((m_utility.get()->*query)(scope, &answer), S_OK);
        return answer == VARIANT_TRUE;
    }

    KelvComPtr<IQoScopeUtility> m_utility;
    KelvComPtr<ISBContainerRoot> m_root;
};

} // namespace

// The questions a run asks, through the scope utility, over models of this host.
TEST_F(ScopeUtilityOverModel, AnswersForBulkSlabAndMolecule)
{
    auto salt = RockSalt();
    auto slab = std::make_shared<Document>();
    slab->SetSurfaceCell({4, 4, Radians(90)});
    auto molecule = std::make_shared<Document>();
    molecule->AddAtom("O", {0, 0, 0});

    EXPECT_TRUE(Ask(&IQoScopeUtility::IsPeriodic, Contents(salt).get()));
    EXPECT_TRUE(Ask(&IQoScopeUtility::Is2DPeriodic, Contents(slab).get()));
    EXPECT_FALSE(Ask(&IQoScopeUtility::IsPeriodic, Contents(molecule).get()));
    EXPECT_FALSE(Ask(&IQoScopeUtility::IsP1, Contents(salt).get()));
    EXPECT_TRUE(Ask(&IQoScopeUtility::HasSymmetry, Contents(salt).get()));
    EXPECT_TRUE(Ask(&IQoScopeUtility::IsP1, Contents(molecule).get()));
    EXPECT_TRUE(Ask(&IQoScopeUtility::IsP1, Contents(slab).get()));

    KelvComPtr<ISBScope> parents = Apply(Apply(Contents(salt).get(), ProcessorSymmetryParent).get(), ProcessorAtom);
    EXPECT_EQ(Items(parents.get()).size(), 2u);

    KelvComPtr<ISBScope> model;
    ASSERT_EQ(m_utility->GetScopeObject(Contents(molecule).get(), model.Receive()), S_OK);
    PropertyRead representation = Read(model.get(), "LatticeRepresentation");
    EXPECT_EQ(representation.hr, S_OK);
    EXPECT_EQ(representation.value.Long(), RepresentationTriclinic);

    auto copper = Copper();
    EXPECT_EQ(m_utility->ConvertToPrimitive(Contents(copper).get()), S_OK);
    EXPECT_EQ(copper->Atoms().size(), 1u);
}

TEST_F(ScopeUtilityOverModel, FixedAxesBecomeRestrictionArrays)
{
    auto d = RockSalt();
    SAFEARRAY* masks = nullptr;
    SAFEARRAY* atoms = nullptr;
    EXPECT_EQ(m_utility->GetFixedAtomRestrictions(Contents(d).get(), &masks, &atoms), S_OK);
    EXPECT_EQ(masks, nullptr);
    EXPECT_EQ(atoms, nullptr);

    const auto items = Items(Contents(d).get());
    EXPECT_EQ(Write(items[0].get(), "FixedAxes", KelvVariant(int32_t(FixedZ))), S_OK);
    EXPECT_EQ(d->Atoms()[3].fixedMask, FixedZ) << "the whole orbit is fixed";
    d->SetFixedMask(d->Atoms()[4].handle, FixedAll);
    KelvComPtr<ISBScope> parents = Apply(Contents(d).get(), ProcessorSymmetryParent);
    ASSERT_EQ(m_utility->GetFixedAtomRestrictions(parents.get(), &masks, &atoms), S_OK);
    KelvSafeArray m(masks), a(atoms);
    ASSERT_EQ(m.Count(), 2u);
    ASSERT_EQ(a.Count(), 2u);
    EXPECT_EQ(m.GetLong(0), FixedZ);
    EXPECT_EQ(m.GetLong(1), FixedAll);
    IUnknown* second = nullptr;
    LONG index = 1;
    ASSERT_EQ(SafeArrayGetElement(a.Get(), &index, &second), S_OK);
    EXPECT_EQ(Read(second, "ElementSymbol").value.String(), "Cl");
    second->Release();

    ASSERT_EQ(m_utility->GetAxisConstraints(parents.get(), &masks, &atoms), S_OK);
    KelvSafeArray partial(masks), partialAtoms(atoms);
    ASSERT_EQ(partial.Count(), 1u);
    EXPECT_EQ(partial.GetLong(0), FixedZ);
}

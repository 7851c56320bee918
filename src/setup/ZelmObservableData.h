// COM class ZelmObservableData ("QorZelm.ZelmObservableData"): the logic in
// whose state the host keeps the observable rows of a fitting run. The
// module reads that state (CZelmObservableInfo) and never writes it.
#pragma once

#include "common/ModuleIds.h"
#include "common/ZelmInterfaces.h"

#include "kelv/KelvLogicImpl.h"

template <>
struct KelvDispatchNames<IQoZelmObservableData>
{
    static const std::vector<KelvDispatchName>& Names()
    {
        static const std::vector<KelvDispatchName> names{{u"State", ZelmDispatchIds::State},
                                                         {u"OnConnect", ZelmDispatchIds::OnConnect},
                                                         {u"Extension", ZelmDispatchIds::Extension},
                                                         {u"ObservableRunCheck", ZelmDispatchIds::ObservableRunCheck}};
        return names;
    }
};

class CZelmObservableData final
    : public ISupportErrorInfo,
      public IKelvLogicImpl<&QorZelm::CLSID_ZelmObservableData, IQoZelmObservableData, &IID_IQoZelmObservableData,
                            &QorZelm::LIBID_QorZelm, 0, 1, 0>
{
public:
    // Class-table create function: a null out pointer gives E_POINTER;
    // allocation failure throws std::bad_alloc.
    static HRESULT CreateInstance(void** out);

    KELV_DELEGATE_IUNKNOWN
    HRESULT DelegatedQueryInterface(REFIID iid, void** out) override;

    // ISupportErrorInfo: S_OK for the interfaces of the object.
    HRESULT InterfaceSupportsErrorInfo(REFIID iid) override;

    // Always allows the run: VARIANT_TRUE.
    HRESULT ObservableRunCheck(VARIANT_BOOL* canRun) override;

private:
    CZelmObservableData() = default;
};

#include "setup/ZelmObservableData.h"

#include "setup/Zelm.h"
#include "setup/ZelmMessages.h"

HRESULT CZelmObservableData::CreateInstance(void** out)
{
    if (!out)
        return E_POINTER;
    *out = static_cast<IDelegatedUnknown*>(new CZelmObservableData);
    return S_OK;
}

HRESULT CZelmObservableData::DelegatedQueryInterface(REFIID iid, void** out)
{
    if (iid == IID_ISupportErrorInfo)
        return FinishQI(static_cast<ISupportErrorInfo*>(this), out);
    return IKelvLogicImpl::DelegatedQueryInterface(iid, out);
}

HRESULT CZelmObservableData::InterfaceSupportsErrorInfo(REFIID iid)
{
    return iid == IID_IQoZelmObservableData || iid == IID_ISBLogic || iid == IID_IDispatch ||
                   iid == IID_ISupportErrorInfo || iid == IID_ISBContainerRootConsumer
               ? S_OK
               : S_FALSE;
}

HRESULT CZelmObservableData::ObservableRunCheck(VARIANT_BOOL* canRun)
{
    return Kelv::ComMethod(QorZelm::CLSID_ZelmObservableData, IID_IQoZelmObservableData, [&] {
        if (!canRun)
            throw KelvResult(E_POINTER, "No pointer supplied for output argument.");
        *canRun = VARIANT_TRUE;
    });
}

// The logic object's observables property: S_OK and no object.
HRESULT CZelm::get_ObservableData(IQoZelmObservableData** ppObservableData)
{
    return Request([&] {
        if (!ppObservableData)
            throw KelvResult(E_POINTER, ZelmMessages::NoOutput);
        *ppObservableData = nullptr;
    });
}

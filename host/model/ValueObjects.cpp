#include "host/model/ValueObjects.h"

namespace HostModel {

namespace {

class CPoint3d final : public CKelvUnknown, public IKelvDispatchImpl<ISDPoint3d> {
public:
    explicit CPoint3d(const Vec3& v) : m_v(v) {}
    KELV_DELEGATE_IUNKNOWN

    HRESULT DelegatedQueryInterface(REFIID iid, void** out) override
    {
        if (iid == IID_ISDPoint3d || iid == IID_IDispatch)
            return FinishQI(static_cast<ISDPoint3d*>(this), out);
        return CKelvUnknown::DelegatedQueryInterface(iid, out);
    }

    HRESULT get_X(double* p) override { return Get(p, 0); }
    HRESULT put_X(double v) override { return Put(v, 0); }
    HRESULT get_Y(double* p) override { return Get(p, 1); }
    HRESULT put_Y(double v) override { return Put(v, 1); }
    HRESULT get_Z(double* p) override { return Get(p, 2); }
    HRESULT put_Z(double v) override { return Put(v, 2); }
    HRESULT GetXYZ(double* x, double* y, double* z) override
    {
        return ModelCall(IID_ISDPoint3d, [&] {
            RequireOut(x);
            RequireOut(y);
            RequireOut(z);
            *x = m_v[0];
            *y = m_v[1];
            *z = m_v[2];
        });
    }
    HRESULT SetXYZ(double x, double y, double z) override
    {
        m_v = {x, y, z};
        return S_OK;
    }

private:
    HRESULT Get(double* p, int i)
    {
        return ModelCall(IID_ISDPoint3d, [&] {
            RequireOut(p);
            *p = m_v[static_cast<std::size_t>(i)];
        });
    }
    HRESULT Put(double v, int i)
    {
        m_v[static_cast<std::size_t>(i)] = v;
        return S_OK;
    }
    Vec3 m_v;
};

class CMatrix3d final : public CKelvUnknown, public IKelvDispatchImpl<ISDMatrix3d> {
public:
    explicit CMatrix3d(const Mat3& m) : m_m(m) {}
    KELV_DELEGATE_IUNKNOWN

    HRESULT DelegatedQueryInterface(REFIID iid, void** out) override
    {
        if (iid == IID_ISDMatrix3d || iid == IID_IDispatch)
            return FinishQI(static_cast<ISDMatrix3d*>(this), out);
        return CKelvUnknown::DelegatedQueryInterface(iid, out);
    }
    HRESULT get_Element(LONG row, LONG column, double* value) override
    {
        return ModelCall(IID_ISDMatrix3d, [&] {
            RequireOut(value);
            *value = m_m[Index(row)][Index(column)];
        });
    }
    HRESULT put_Element(LONG row, LONG column, double value) override
    {
        return ModelCall(IID_ISDMatrix3d, [&] { m_m[Index(row)][Index(column)] = value; });
    }
    HRESULT GetElements(double* e) override
    {
        return ModelCall(IID_ISDMatrix3d, [&] {
            RequireOut(e);
            for (int i = 0; i < 3; ++i)
                for (int j = 0; j < 3; ++j)
                    e[3 * i + j] = m_m[static_cast<std::size_t>(i)][static_cast<std::size_t>(j)];
        });
    }
    HRESULT SetElements(double e11, double e12, double e13, double e21, double e22, double e23, double e31,
                        double e32, double e33) override
    {
        m_m = {{{e11, e12, e13}, {e21, e22, e23}, {e31, e32, e33}}};
        return S_OK;
    }

private:
    static std::size_t Index(LONG i)
    {
        if (i < 1 || i > 3)
            Fail(DISP_E_BADINDEX, "Matrix rows and columns are numbered 1 to 3.");
        return static_cast<std::size_t>(i - 1);
    }
    Mat3 m_m;
};

class CFraction final : public CKelvUnknown, public ISDFraction {
public:
    explicit CFraction(const Fraction& f) : m_f(f) {}
    KELV_DELEGATE_IUNKNOWN

    HRESULT DelegatedQueryInterface(REFIID iid, void** out) override
    {
        if (iid == IID_ISDFraction)
            return FinishQI(static_cast<ISDFraction*>(this), out);
        return CKelvUnknown::DelegatedQueryInterface(iid, out);
    }
    HRESULT GetNumeratorDenominator(LONG* numerator, LONG* denominator) override
    {
        return ModelCall(IID_ISDFraction, [&] {
            RequireOut(numerator);
            RequireOut(denominator);
            *numerator = m_f.numerator;
            *denominator = m_f.denominator;
        });
    }

private:
    Fraction m_f;
};

class CVariantDataDimension final : public CKelvUnknown, public ISDVariantDataDimension {
public:
    explicit CVariantDataDimension(std::vector<KelvVariant> values) : m_values(std::move(values)) {}
    KELV_DELEGATE_IUNKNOWN

    HRESULT DelegatedQueryInterface(REFIID iid, void** out) override
    {
        if (iid == IID_ISDVariantDataDimension)
            return FinishQI(static_cast<ISDVariantDataDimension*>(this), out);
        return CKelvUnknown::DelegatedQueryInterface(iid, out);
    }
    HRESULT Add(VARIANT value, LONG* index) override
    {
        return ModelCall(IID_ISDVariantDataDimension, [&] {
            m_values.emplace_back(value);
            if (index)
                *index = static_cast<LONG>(m_values.size());
        });
    }
    HRESULT get_Count(LONG* count) override
    {
        return ModelCall(IID_ISDVariantDataDimension, [&] {
            RequireOut(count);
            *count = static_cast<LONG>(m_values.size());
        });
    }
    HRESULT Item(LONG index, VARIANT* value) override
    {
        return ModelCall(IID_ISDVariantDataDimension, [&] {
            RequireOut(value);
            VariantInit(value);
            if (index < 1 || static_cast<std::size_t>(index) > m_values.size())
                Fail(DISP_E_BADINDEX, "The collection has no item " + std::to_string(index) + ".");
            KelvVariant copy(m_values[static_cast<std::size_t>(index - 1)]);
            *value = copy.Detach();
        });
    }

private:
    std::vector<KelvVariant> m_values;
};

} // namespace

KelvComPtr<ISDPoint3d> MakePoint(const Vec3& value)
{
    return KelvComPtr<ISDPoint3d>::Adopt(new CPoint3d(value));
}

Vec3 PointValue(ISDPoint3d* point)
{
    Kelv::CheckNullDereference(point);
    Vec3 v{};
    KelvResult::Check(point->GetXYZ(&v[0], &v[1], &v[2]));
    return v;
}

Vec3 PointFromVariant(const VARIANT& value)
{
    IUnknown* object = nullptr;
    if (value.vt == VT_UNKNOWN)
        object = value.punkVal;
    else if (value.vt == VT_DISPATCH)
        object = value.pdispVal;
    if (!object)
        Fail(DISP_E_TYPEMISMATCH, "A position must be given as a point object.");
    KelvComPtr<ISDPoint3d> point;
    if (FAILED(object->QueryInterface(IID_ISDPoint3d, point.ReceiveVoid())) || !point)
        Fail(DISP_E_TYPEMISMATCH, "A position must be given as a point object.");
    return PointValue(point.get());
}

KelvComPtr<ISDMatrix3d> MakeMatrix(const Mat3& value)
{
    return KelvComPtr<ISDMatrix3d>::Adopt(new CMatrix3d(value));
}

KelvComPtr<ISDFraction> MakeFraction(const Fraction& value)
{
    return KelvComPtr<ISDFraction>::Adopt(new CFraction(value));
}

KelvComPtr<ISDVariantDataDimension> MakeCollection(const std::vector<KelvVariant>& values)
{
    return KelvComPtr<ISDVariantDataDimension>::Adopt(new CVariantDataDimension(values));
}

HRESULT CreatePoint(void** out)
{
    if (!out)
        return E_POINTER;
    *out = static_cast<IDelegatedUnknown*>(new CPoint3d(Vec3{}));
    return S_OK;
}

HRESULT CreateMatrix(void** out)
{
    if (!out)
        return E_POINTER;
    *out = static_cast<IDelegatedUnknown*>(new CMatrix3d(Mat3{}));
    return S_OK;
}

HRESULT CreateCollection(void** out)
{
    if (!out)
        return E_POINTER;
    *out = static_cast<IDelegatedUnknown*>(new CVariantDataDimension({}));
    return S_OK;
}

} // namespace HostModel

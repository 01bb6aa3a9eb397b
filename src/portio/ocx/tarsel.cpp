// TARSEL.OCX: an in-process ActiveX control that reads and writes the I/O
// port space for its host. The host sets `address` and `bitsize` (8 or 16)
// and reads or writes the port through `value` (also the default property)
// or, always 16 bits wide, `USValue`. The control keeps no state across
// property exchanges: every load, save or reset puts `address`, `bitsize`
// and `value` back to 888, 8 and 0. It is invisible at run time; at design
// time it draws its face bitmap.
//
// Written directly on COM: a class factory per class, the dispatch interface
// by hand over the type library's names, and the site, view, persistence and
// property-page interfaces a container asks for.
#include "ports.h"
#include "tarsel_h.h"
#include "tarsel_res.h"

#include <initguid.h>
#include <ocidl.h>
#include <olectl.h>
#include <windows.h>

#include <atomic>
#include <cwchar>
#include <new>
#include <string>

// {6E1F3A56-9C4B-4D7E-8A21-3F5B7C9D0E11}
DEFINE_GUID(CLSID_TarselPropPage, 0x6e1f3a56, 0x9c4b, 0x4d7e, 0x8a, 0x21, 0x3f, 0x5b, 0x7c, 0x9d, 0x0e, 0x11);

namespace {

HINSTANCE module = nullptr;
std::atomic<long> liveObjects{0};
std::atomic<long> serverLocks{0};

constexpr DWORD kMiscStatus = OLEMISC_SETCLIENTSITEFIRST | OLEMISC_INVISIBLEATRUNTIME |
                              OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_INSIDEOUT | OLEMISC_CANTLINKINSIDE |
                              OLEMISC_RECOMPOSEONRESIZE;
static_assert(kMiscStatus == 0x20591);

constexpr short kDefaultAddress = 888;
constexpr short kDefaultBitsize = 8;
constexpr DWORD kPersistVersion = 0x00010000; // 1.0
constexpr int kInitialSizePixels = 50;

enum Dispid : DISPID {
    kValueDefault = DISPID_VALUE,
    kAddress = 1,
    kValue = 2,
    kBitsize = 3,
    kUSValue = 4,
    kAboutBox = DISPID_ABOUTBOX,
};

struct Name {
    const wchar_t* text;
    DISPID id;
};
constexpr Name kNames[] = {{L"_value", kValueDefault}, {L"address", kAddress}, {L"value", kValue},
                           {L"bitsize", kBitsize},     {L"USValue", kUSValue}, {L"AboutBox", kAboutBox}};

std::wstring loadString(UINT id)
{
    wchar_t buf[512] = {};
    LoadStringW(module, id, buf, 512);
    return buf;
}

std::wstring modulePath()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(module, path, MAX_PATH);
    return path;
}

std::wstring guidText(REFGUID g)
{
    wchar_t buf[64] = {};
    StringFromGUID2(g, buf, 64);
    return buf;
}

HRESULT typeInfo(REFGUID guid, ITypeInfo** out)
{
    *out = nullptr;
    ITypeLib* lib = nullptr;
    HRESULT hr = LoadRegTypeLib(LIBID_TARSELLib, 1, 0, LOCALE_NEUTRAL, &lib);
    if (FAILED(hr)) hr = LoadTypeLibEx(modulePath().c_str(), REGKIND_NONE, &lib);
    if (FAILED(hr)) return hr;
    hr = lib->GetTypeInfoOfGuid(guid, out);
    lib->Release();
    return hr;
}

// A failed port access, as the host sees it.
HRESULT portDenied(EXCEPINFO* info, short address)
{
    if (info) {
        *info = {};
        wchar_t text[64];
        std::swprintf(text, 64, L"I/O port access to 0x%X denied", unsigned(std::uint16_t(address)));
        info->bstrSource = SysAllocString(L"TARSEL.TarselCtrl.1");
        info->bstrDescription = SysAllocString(text);
        info->scode = E_ACCESSDENIED;
    }
    return DISP_E_EXCEPTION;
}

// ---- the face: an owner-drawn push button in a window of our own, which
// takes the button's draw requests ----

constexpr wchar_t kFaceClass[] = L"TarselFace";

void drawFace(HDC dc, const RECT& r)
{
    // Loaded and freed on each draw: the face is only ever seen at design time.
    HBITMAP bitmap = LoadBitmapW(module, MAKEINTRESOURCEW(IDB_TARSEL_FACE));
    if (!bitmap) return;
    BITMAP info{};
    GetObjectW(bitmap, sizeof info, &info);
    HDC memory = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(memory, bitmap);
    SetStretchBltMode(dc, COLORONCOLOR);
    StretchBlt(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, memory, 0, 0, info.bmWidth,
               info.bmHeight, SRCCOPY);
    SelectObject(memory, old);
    DeleteDC(memory);
    DeleteObject(bitmap);
}

LRESULT CALLBACK faceProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_CREATE: {
        RECT r;
        GetClientRect(hwnd, &r);
        CreateWindowExW(0, L"BUTTON", L"", WS_CHILD | WS_VISIBLE | BS_OWNERDRAW, 0, 0, r.right, r.bottom,
                        hwnd, nullptr, module, nullptr);
        return 0;
    }
    case WM_SIZE:
        if (HWND button = GetWindow(hwnd, GW_CHILD)) MoveWindow(button, 0, 0, LOWORD(lp), HIWORD(lp), TRUE);
        return 0;
    case WM_DRAWITEM: {
        const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lp);
        drawFace(item->hDC, item->rcItem);
        return TRUE;
    }
    default: return DefWindowProcW(hwnd, msg, wp, lp);
    }
}

void registerFaceClass()
{
    WNDCLASSW wc{};
    wc.lpfnWndProc = faceProc;
    wc.hInstance = module;
    wc.lpszClassName = kFaceClass;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    RegisterClassW(&wc);
}

INT_PTR CALLBACK aboutProc(HWND dlg, UINT msg, WPARAM wp, LPARAM)
{
    if (msg == WM_INITDIALOG) return TRUE;
    if (msg == WM_COMMAND && (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL)) {
        EndDialog(dlg, LOWORD(wp));
        return TRUE;
    }
    return FALSE;
}

// ---- the event interface's connection point: it has no events, but a
// container may advise it ----

class ConnectionPoint : public IConnectionPoint {
public:
    explicit ConnectionPoint(IConnectionPointContainer* owner) : owner_(owner) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** out) override
    {
        if (riid == IID_IUnknown || riid == IID_IConnectionPoint) {
            *out = static_cast<IConnectionPoint*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    // Lives as long as its control.
    STDMETHODIMP_(ULONG) AddRef() override { return owner_->AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return owner_->Release(); }
    STDMETHODIMP GetConnectionInterface(IID* iid) override
    {
        *iid = DIID__DTarselEvents;
        return S_OK;
    }
    STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** out) override
    {
        *out = owner_;
        owner_->AddRef();
        return S_OK;
    }
    STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override
    {
        if (!sink || !cookie) return E_POINTER;
        if (sink_) return CONNECT_E_ADVISELIMIT;
        sink_ = sink;
        sink_->AddRef();
        *cookie = 1;
        return S_OK;
    }
    STDMETHODIMP Unadvise(DWORD cookie) override
    {
        if (cookie != 1 || !sink_) return CONNECT_E_NOCONNECTION;
        sink_->Release();
        sink_ = nullptr;
        return S_OK;
    }
    STDMETHODIMP EnumConnections(IEnumConnections**) override { return E_NOTIMPL; }

    void drop()
    {
        if (sink_) sink_->Release();
        sink_ = nullptr;
    }

private:
    IConnectionPointContainer* owner_;
    IUnknown* sink_ = nullptr;
};

// ---- the control ----

class TarselCtrl : public IDispatch,
                   public IProvideClassInfo2,
                   public IConnectionPointContainer,
                   public IPersistStreamInit,
                   public IPersistPropertyBag,
                   public IOleObject,
                   public IOleInPlaceObject,
                   public IOleControl,
                   public IViewObject2,
                   public ISpecifyPropertyPages {
public:
    TarselCtrl() : events_(this)
    {
        ++liveObjects;
        extent_ = pixelsToHimetric(kInitialSizePixels, kInitialSizePixels);
    }
    virtual ~TarselCtrl()
    {
        destroyWindow();
        events_.drop();
        if (site_) site_->Release();
        if (adviseHolder_) adviseHolder_->Release();
        if (viewSink_) viewSink_->Release();
        --liveObjects;
    }

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** out) override
    {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == DIID__DTarsel)
            *out = static_cast<IDispatch*>(this);
        else if (riid == IID_IProvideClassInfo || riid == IID_IProvideClassInfo2)
            *out = static_cast<IProvideClassInfo2*>(this);
        else if (riid == IID_IConnectionPointContainer)
            *out = static_cast<IConnectionPointContainer*>(this);
        else if (riid == IID_IPersist || riid == IID_IPersistStreamInit)
            *out = static_cast<IPersistStreamInit*>(this);
        else if (riid == IID_IPersistPropertyBag)
            *out = static_cast<IPersistPropertyBag*>(this);
        else if (riid == IID_IOleObject)
            *out = static_cast<IOleObject*>(this);
        else if (riid == IID_IOleWindow || riid == IID_IOleInPlaceObject)
            *out = static_cast<IOleInPlaceObject*>(this);
        else if (riid == IID_IOleControl)
            *out = static_cast<IOleControl*>(this);
        else if (riid == IID_IViewObject || riid == IID_IViewObject2)
            *out = static_cast<IViewObject2*>(this);
        else if (riid == IID_ISpecifyPropertyPages)
            *out = static_cast<ISpecifyPropertyPages*>(this);
        else
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ULONG(++refs_); }
    STDMETHODIMP_(ULONG) Release() override
    {
        const long n = --refs_;
        if (n == 0) delete this;
        return ULONG(n);
    }

    // IDispatch
    STDMETHODIMP GetTypeInfoCount(UINT* n) override
    {
        *n = 1;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT index, LCID, ITypeInfo** out) override
    {
        if (index != 0) return DISP_E_BADINDEX;
        return typeInfo(DIID__DTarsel, out);
    }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override
    {
        HRESULT hr = S_OK;
        for (UINT i = 0; i < count; ++i)
            ids[i] = DISPID_UNKNOWN;
        if (count == 0) return S_OK;
        for (const Name& n : kNames)
            if (_wcsicmp(names[0], n.text) == 0) ids[0] = n.id;
        if (ids[0] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
        // The members take no named arguments.
        if (count > 1) hr = DISP_E_UNKNOWNNAME;
        return hr;
    }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* info, UINT* argError) override
    {
        const bool get = (flags & (DISPATCH_PROPERTYGET | DISPATCH_METHOD)) != 0 && params->cArgs == 0;
        const bool put =
            (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0 && params->cArgs == 1;
        if (id == kAboutBox) {
            if (!(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
            DialogBoxParamW(module, MAKEINTRESOURCEW(IDD_ABOUTBOX_TARSEL), activeWindow(), aboutProc, 0);
            return S_OK;
        }
        if (!get && !put) return params->cArgs > 1 ? DISP_E_BADPARAMCOUNT : DISP_E_MEMBERNOTFOUND;
        VARIANT arg;
        VariantInit(&arg);
        if (put) {
            const VARTYPE type = id == kUSValue ? VT_I4 : VT_I2;
            const HRESULT hr = VariantChangeType(&arg, &params->rgvarg[0], 0, type);
            if (FAILED(hr)) {
                if (argError) *argError = 0;
                return hr;
            }
        }
        switch (id) {
        case kAddress:
            if (put) {
                address_ = arg.iVal;
                modified();
                return S_OK;
            }
            return returnShort(result, address_);
        case kBitsize:
            if (put) {
                bitsize_ = arg.iVal == 16 ? short(16) : short(8);
                modified();
                return S_OK;
            }
            return returnShort(result, bitsize_);
        case kValue:
        case kValueDefault: return put ? putValue(arg.iVal, info) : getValue(result, info);
        case kUSValue: return put ? putUSValue(arg.lVal, info) : getUSValue(result, info);
        default: return DISP_E_MEMBERNOTFOUND;
        }
    }

    // IProvideClassInfo2
    STDMETHODIMP GetClassInfo(ITypeInfo** out) override { return typeInfo(CLSID_Tarsel, out); }
    STDMETHODIMP GetGUID(DWORD kind, GUID* out) override
    {
        if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) return E_INVALIDARG;
        *out = DIID__DTarselEvents;
        return S_OK;
    }

    // IConnectionPointContainer
    STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints**) override { return E_NOTIMPL; }
    STDMETHODIMP FindConnectionPoint(REFIID riid, IConnectionPoint** out) override
    {
        *out = nullptr;
        if (riid != DIID__DTarselEvents) return CONNECT_E_NOCONNECTION;
        *out = &events_;
        events_.AddRef();
        return S_OK;
    }

    // IPersist, IPersistStreamInit
    STDMETHODIMP GetClassID(CLSID* out) override
    {
        *out = CLSID_Tarsel;
        return S_OK;
    }
    STDMETHODIMP IsDirty() override { return dirty_ ? S_OK : S_FALSE; }
    STDMETHODIMP Load(IStream* stream) override
    {
        DWORD version = 0;
        ULONG read = 0;
        const HRESULT hr = stream->Read(&version, sizeof version, &read);
        resetProperties();
        if (FAILED(hr) || read != sizeof version) return E_FAIL;
        return S_OK;
    }
    STDMETHODIMP Save(IStream* stream, BOOL clearDirty) override
    {
        const DWORD version = kPersistVersion;
        ULONG written = 0;
        const HRESULT hr = stream->Write(&version, sizeof version, &written);
        resetProperties();
        if (clearDirty) dirty_ = false;
        return FAILED(hr) ? hr : S_OK;
    }
    STDMETHODIMP GetSizeMax(ULARGE_INTEGER* size) override
    {
        size->QuadPart = sizeof(DWORD);
        return S_OK;
    }
    STDMETHODIMP InitNew() override
    {
        resetProperties();
        return S_OK;
    }

    // IPersistPropertyBag
    STDMETHODIMP Load(IPropertyBag* bag, IErrorLog* log) override
    {
        VARIANT v;
        VariantInit(&v);
        v.vt = VT_I4;
        bag->Read(L"_Version", &v, log); // missing in a bag from elsewhere: taken as 1.0
        VariantClear(&v);
        resetProperties();
        return S_OK;
    }
    STDMETHODIMP Save(IPropertyBag* bag, BOOL clearDirty, BOOL) override
    {
        VARIANT v;
        VariantInit(&v);
        v.vt = VT_I4;
        v.lVal = LONG(kPersistVersion);
        HRESULT hr = bag->Write(L"_Version", &v);
        v.lVal = extent_.cx;
        if (SUCCEEDED(hr)) hr = bag->Write(L"_ExtentX", &v);
        v.lVal = extent_.cy;
        if (SUCCEEDED(hr)) hr = bag->Write(L"_ExtentY", &v);
        resetProperties();
        if (clearDirty) dirty_ = false;
        return hr;
    }

    // IOleObject
    STDMETHODIMP SetClientSite(IOleClientSite* site) override
    {
        if (site_) site_->Release();
        site_ = site;
        if (site_) site_->AddRef();
        return S_OK;
    }
    STDMETHODIMP GetClientSite(IOleClientSite** out) override
    {
        *out = site_;
        if (site_) site_->AddRef();
        return S_OK;
    }
    STDMETHODIMP SetHostNames(LPCOLESTR, LPCOLESTR) override { return S_OK; }
    STDMETHODIMP Close(DWORD) override
    {
        InPlaceDeactivate();
        return S_OK;
    }
    STDMETHODIMP SetMoniker(DWORD, IMoniker*) override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
    STDMETHODIMP InitFromData(IDataObject*, BOOL, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP GetClipboardData(DWORD, IDataObject**) override { return E_NOTIMPL; }
    STDMETHODIMP DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND parent, LPCRECT rect) override
    {
        switch (verb) {
        case OLEIVERB_SHOW:
        case OLEIVERB_INPLACEACTIVATE:
        case OLEIVERB_UIACTIVATE:
        case OLEIVERB_PRIMARY: return activate(site ? site : site_, parent, rect);
        case OLEIVERB_HIDE:
            if (window_) ShowWindow(window_, SW_HIDE);
            return S_OK;
        default: return OLEOBJ_S_INVALIDVERB;
        }
    }
    STDMETHODIMP EnumVerbs(IEnumOLEVERB** out) override { return OleRegEnumVerbs(CLSID_Tarsel, out); }
    STDMETHODIMP Update() override { return S_OK; }
    STDMETHODIMP IsUpToDate() override { return S_OK; }
    STDMETHODIMP GetUserClassID(CLSID* out) override
    {
        *out = CLSID_Tarsel;
        return S_OK;
    }
    STDMETHODIMP GetUserType(DWORD form, LPOLESTR* out) override
    {
        return OleRegGetUserType(CLSID_Tarsel, form, out);
    }
    STDMETHODIMP SetExtent(DWORD aspect, SIZEL* size) override
    {
        if (aspect != DVASPECT_CONTENT) return E_INVALIDARG;
        extent_ = *size;
        return S_OK;
    }
    STDMETHODIMP GetExtent(DWORD aspect, SIZEL* size) override
    {
        if (aspect != DVASPECT_CONTENT) return E_INVALIDARG;
        *size = extent_;
        return S_OK;
    }
    STDMETHODIMP Advise(IAdviseSink* sink, DWORD* cookie) override
    {
        if (!adviseHolder_ && FAILED(CreateOleAdviseHolder(&adviseHolder_))) return E_OUTOFMEMORY;
        return adviseHolder_->Advise(sink, cookie);
    }
    STDMETHODIMP Unadvise(DWORD cookie) override
    {
        return adviseHolder_ ? adviseHolder_->Unadvise(cookie) : OLE_E_NOCONNECTION;
    }
    STDMETHODIMP EnumAdvise(IEnumSTATDATA** out) override
    {
        *out = nullptr;
        return adviseHolder_ ? adviseHolder_->EnumAdvise(out) : S_OK;
    }
    STDMETHODIMP GetMiscStatus(DWORD aspect, DWORD* status) override
    {
        *status = aspect == DVASPECT_CONTENT ? kMiscStatus : 0;
        return S_OK;
    }
    STDMETHODIMP SetColorScheme(LOGPALETTE*) override { return E_NOTIMPL; }

    // IOleWindow, IOleInPlaceObject
    STDMETHODIMP GetWindow(HWND* out) override
    {
        *out = window_;
        return window_ ? S_OK : E_FAIL;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP InPlaceDeactivate() override
    {
        destroyWindow();
        return S_OK;
    }
    STDMETHODIMP UIDeactivate() override { return S_OK; }
    STDMETHODIMP SetObjectRects(LPCRECT pos, LPCRECT) override
    {
        if (window_ && pos)
            MoveWindow(window_, pos->left, pos->top, pos->right - pos->left, pos->bottom - pos->top, TRUE);
        return S_OK;
    }
    STDMETHODIMP ReactivateAndUndo() override { return E_NOTIMPL; }

    // IOleControl
    STDMETHODIMP GetControlInfo(CONTROLINFO* ci) override
    {
        if (!ci) return E_POINTER;
        ci->cb = sizeof *ci;
        ci->hAccel = nullptr;
        ci->cAccel = 0;
        ci->dwFlags = 0;
        return S_OK;
    }
    STDMETHODIMP OnMnemonic(LPMSG) override { return E_NOTIMPL; }
    STDMETHODIMP OnAmbientPropertyChange(DISPID) override { return S_OK; }
    STDMETHODIMP FreezeEvents(BOOL) override { return S_OK; }

    // IViewObject, IViewObject2
    STDMETHODIMP Draw(DWORD aspect, LONG, void*, DVTARGETDEVICE*, HDC, HDC dc, LPCRECTL bounds, LPCRECTL,
                      BOOL(STDMETHODCALLTYPE*)(ULONG_PTR), ULONG_PTR) override
    {
        if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
        if (!dc || !bounds) return E_INVALIDARG;
        const RECT r{bounds->left, bounds->top, bounds->right, bounds->bottom};
        drawFace(dc, r);
        return S_OK;
    }
    STDMETHODIMP GetColorSet(DWORD, LONG, void*, DVTARGETDEVICE*, HDC, LOGPALETTE**) override
    {
        return E_NOTIMPL;
    }
    STDMETHODIMP Freeze(DWORD, LONG, void*, DWORD*) override { return E_NOTIMPL; }
    STDMETHODIMP Unfreeze(DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP SetAdvise(DWORD, DWORD, IAdviseSink* sink) override
    {
        if (viewSink_) viewSink_->Release();
        viewSink_ = sink;
        if (viewSink_) viewSink_->AddRef();
        return S_OK;
    }
    STDMETHODIMP GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) override
    {
        if (aspects) *aspects = DVASPECT_CONTENT;
        if (flags) *flags = 0;
        if (sink) {
            *sink = viewSink_;
            if (viewSink_) viewSink_->AddRef();
        }
        return S_OK;
    }
    STDMETHODIMP GetExtent(DWORD aspect, LONG, DVTARGETDEVICE*, LPSIZEL size) override
    {
        return static_cast<IOleObject*>(this)->GetExtent(aspect, size);
    }

    // ISpecifyPropertyPages
    STDMETHODIMP GetPages(CAUUID* pages) override
    {
        if (!pages) return E_POINTER;
        pages->pElems = static_cast<GUID*>(CoTaskMemAlloc(sizeof(GUID)));
        if (!pages->pElems) return E_OUTOFMEMORY;
        pages->cElems = 1;
        pages->pElems[0] = CLSID_TarselPropPage;
        return S_OK;
    }

private:
    static SIZEL pixelsToHimetric(int cx, int cy)
    {
        HDC screen = GetDC(nullptr);
        const int dpiX = screen ? GetDeviceCaps(screen, LOGPIXELSX) : 96;
        const int dpiY = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
        if (screen) ReleaseDC(nullptr, screen);
        return SIZEL{MulDiv(cx, 2540, dpiX ? dpiX : 96), MulDiv(cy, 2540, dpiY ? dpiY : 96)};
    }

    static HRESULT returnShort(VARIANT* result, short v)
    {
        if (result) {
            VariantInit(result);
            result->vt = VT_I2;
            result->iVal = v;
        }
        return S_OK;
    }

    HRESULT getValue(VARIANT* result, EXCEPINFO* info)
    {
        const auto port = std::uint16_t(address_);
        if (bitsize_ == 16) {
            std::uint16_t w = 0;
            if (!tarsel::in16(port, w)) return portDenied(info, address_);
            value_ = short(w);
        }
        else {
            std::uint8_t b = 0;
            if (!tarsel::in8(port, b)) return portDenied(info, address_);
            value_ = short(b);
        }
        return returnShort(result, value_);
    }

    HRESULT putValue(short v, EXCEPINFO* info)
    {
        const auto port = std::uint16_t(address_);
        const bool ok = bitsize_ == 16 ? tarsel::out16(port, std::uint16_t(v))
                                       : tarsel::out8(port, std::uint8_t(v & 0xFF));
        if (!ok) return portDenied(info, address_);
        modified();
        return S_OK;
    }

    HRESULT getUSValue(VARIANT* result, EXCEPINFO* info)
    {
        std::uint16_t w = 0;
        if (!tarsel::in16(std::uint16_t(address_), w)) return portDenied(info, address_);
        usvalue_ = long(w);
        if (result) {
            VariantInit(result);
            result->vt = VT_I4;
            result->lVal = usvalue_;
        }
        return S_OK;
    }

    HRESULT putUSValue(long v, EXCEPINFO* info)
    {
        if (!tarsel::out16(std::uint16_t(address_), std::uint16_t(v & 0xFFFF)))
            return portDenied(info, address_);
        modified();
        return S_OK;
    }

    void modified() { dirty_ = true; }

    // Every property exchange ends here: nothing saved survives a reload.
    void resetProperties()
    {
        address_ = kDefaultAddress;
        bitsize_ = kDefaultBitsize;
        value_ = 0;
    }

    HWND activeWindow() const { return window_ ? window_ : GetActiveWindow(); }

    HRESULT activate(IOleClientSite* site, HWND parent, LPCRECT rect)
    {
        if (window_) return S_OK;
        RECT pos{0, 0, kInitialSizePixels, kInitialSizePixels};
        if (rect) pos = *rect;
        IOleInPlaceSite* inPlace = nullptr;
        if (site &&
            SUCCEEDED(site->QueryInterface(IID_IOleInPlaceSite, reinterpret_cast<void**>(&inPlace)))) {
            if (inPlace->CanInPlaceActivate() == S_OK) {
                inPlace->OnInPlaceActivate();
                HWND siteWindow = nullptr;
                if (SUCCEEDED(inPlace->GetWindow(&siteWindow)) && siteWindow) parent = siteWindow;
            }
            inPlace->Release();
        }
        if (!parent) return S_OK; // nowhere to show: a script host uses the control without a window
        window_ =
            CreateWindowExW(0, kFaceClass, L"", WS_CHILD | WS_VISIBLE, pos.left, pos.top,
                            pos.right - pos.left, pos.bottom - pos.top, parent, nullptr, module, nullptr);
        return window_ ? S_OK : E_FAIL;
    }

    void destroyWindow()
    {
        if (window_) DestroyWindow(window_);
        window_ = nullptr;
    }

    std::atomic<long> refs_{1};
    // The control's four fields.
    long usvalue_ = 0;
    short value_ = 0;
    short bitsize_ = kDefaultBitsize;
    short address_ = kDefaultAddress;

    bool dirty_ = false;
    SIZEL extent_{};
    IOleClientSite* site_ = nullptr;
    IOleAdviseHolder* adviseHolder_ = nullptr;
    IAdviseSink* viewSink_ = nullptr;
    HWND window_ = nullptr;
    ConnectionPoint events_;
};

// ---- the property page: the control's description, nothing to edit ----

class TarselPropPage : public IPropertyPage {
public:
    TarselPropPage() { ++liveObjects; }
    virtual ~TarselPropPage()
    {
        Deactivate();
        if (site_) site_->Release();
        --liveObjects;
    }

    STDMETHODIMP QueryInterface(REFIID riid, void** out) override
    {
        if (riid == IID_IUnknown || riid == IID_IPropertyPage) {
            *out = static_cast<IPropertyPage*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ULONG(++refs_); }
    STDMETHODIMP_(ULONG) Release() override
    {
        const long n = --refs_;
        if (n == 0) delete this;
        return ULONG(n);
    }

    STDMETHODIMP SetPageSite(IPropertyPageSite* site) override
    {
        if (site_) site_->Release();
        site_ = site;
        if (site_) site_->AddRef();
        return S_OK;
    }
    STDMETHODIMP Activate(HWND parent, LPCRECT rect, BOOL) override
    {
        Deactivate();
        const std::wstring text = loadString(IDS_TARSEL_DESCRIPTION);
        window_ = CreateWindowExW(0, L"STATIC", text.c_str(), WS_CHILD | WS_VISIBLE | SS_LEFT, rect->left + 8,
                                  rect->top + 8, rect->right - rect->left - 16, rect->bottom - rect->top - 16,
                                  parent, nullptr, module, nullptr);
        return window_ ? S_OK : E_FAIL;
    }
    STDMETHODIMP Deactivate() override
    {
        if (window_) DestroyWindow(window_);
        window_ = nullptr;
        return S_OK;
    }
    STDMETHODIMP GetPageInfo(PROPPAGEINFO* info) override
    {
        if (!info) return E_POINTER;
        const std::wstring title = loadString(IDS_TARSEL_PPG_CAPTION);
        info->cb = sizeof *info;
        info->pszTitle = static_cast<LPOLESTR>(CoTaskMemAlloc((title.size() + 1) * sizeof(wchar_t)));
        if (info->pszTitle) std::wcscpy(info->pszTitle, title.c_str());
        info->size = SIZE{250, 62};
        info->pszDocString = nullptr;
        info->pszHelpFile = nullptr;
        info->dwHelpContext = 0;
        return S_OK;
    }
    STDMETHODIMP SetObjects(ULONG, IUnknown**) override { return S_OK; }
    STDMETHODIMP Show(UINT cmd) override
    {
        if (window_) ShowWindow(window_, int(cmd));
        return S_OK;
    }
    STDMETHODIMP Move(LPCRECT rect) override
    {
        if (window_)
            MoveWindow(window_, rect->left + 8, rect->top + 8, rect->right - rect->left - 16,
                       rect->bottom - rect->top - 16, TRUE);
        return S_OK;
    }
    STDMETHODIMP IsPageDirty() override { return S_FALSE; }
    STDMETHODIMP Apply() override { return S_OK; }
    STDMETHODIMP Help(LPCOLESTR) override { return E_NOTIMPL; }
    STDMETHODIMP TranslateAccelerator(LPMSG) override { return S_FALSE; }

private:
    std::atomic<long> refs_{1};
    IPropertyPageSite* site_ = nullptr;
    HWND window_ = nullptr;
};

// ---- class factories ----

template <typename T> class Factory : public IClassFactory {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** out) override
    {
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *out = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    // Static objects: the server's lock count keeps the module.
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** out) override
    {
        *out = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        T* object = new (std::nothrow) T;
        if (!object) return E_OUTOFMEMORY;
        const HRESULT hr = object->QueryInterface(riid, out);
        object->Release();
        return hr;
    }
    STDMETHODIMP LockServer(BOOL lock) override
    {
        serverLocks += lock ? 1 : -1;
        return S_OK;
    }
};

Factory<TarselCtrl> controlFactory;
Factory<TarselPropPage> pageFactory;

// ---- registration ----

bool setKey(const std::wstring& key, const wchar_t* name, const std::wstring& value)
{
    HKEY h = nullptr;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &h, nullptr) !=
        ERROR_SUCCESS)
        return false;
    const LONG r = RegSetValueExW(h, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                  DWORD((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(h);
    return r == ERROR_SUCCESS;
}

bool registerClass(REFCLSID clsid, const std::wstring& name, const wchar_t* progId, bool control)
{
    const std::wstring path = modulePath();
    const std::wstring key = L"CLSID\\" + guidText(clsid);
    bool ok = setKey(key, nullptr, name) && setKey(key + L"\\InprocServer32", nullptr, path) &&
              setKey(key + L"\\InprocServer32", L"ThreadingModel", L"Apartment") &&
              setKey(key + L"\\ProgID", nullptr, progId) && setKey(progId, nullptr, name) &&
              setKey(std::wstring(progId) + L"\\CLSID", nullptr, guidText(clsid));
    if (ok && control) {
        const std::wstring misc = std::to_wstring(kMiscStatus);
        ok = setKey(key + L"\\Control", nullptr, L"") && setKey(key + L"\\MiscStatus", nullptr, L"0") &&
             setKey(key + L"\\MiscStatus\\1", nullptr, misc) &&
             setKey(key + L"\\ToolboxBitmap32", nullptr, path + L", " + std::to_wstring(IDB_TARSEL)) &&
             setKey(key + L"\\TypeLib", nullptr, guidText(LIBID_TARSELLib)) &&
             setKey(key + L"\\Version", nullptr, L"1.0");
    }
    return ok;
}

void unregisterClass(REFCLSID clsid, const wchar_t* progId)
{
    RegDeleteTreeW(HKEY_CLASSES_ROOT, (L"CLSID\\" + guidText(clsid)).c_str());
    RegDeleteTreeW(HKEY_CLASSES_ROOT, progId);
}

} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        module = instance;
        DisableThreadLibraryCalls(instance);
        tarsel::initPorts();
        registerFaceClass();
    }
    else if (reason == DLL_PROCESS_DETACH) {
        tarsel::shutdownPorts();
        UnregisterClassW(kFaceClass, module);
    }
    return TRUE;
}

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID riid, void** out)
{
    if (clsid == CLSID_Tarsel) return controlFactory.QueryInterface(riid, out);
    if (clsid == CLSID_TarselPropPage) return pageFactory.QueryInterface(riid, out);
    *out = nullptr;
    return CLASS_E_CLASSNOTAVAILABLE;
}

extern "C" HRESULT WINAPI DllCanUnloadNow()
{
    return liveObjects == 0 && serverLocks == 0 ? S_OK : S_FALSE;
}

extern "C" HRESULT WINAPI DllRegisterServer()
{
    ITypeLib* lib = nullptr;
    HRESULT hr = LoadTypeLibEx(modulePath().c_str(), REGKIND_REGISTER, &lib);
    if (FAILED(hr)) return SELFREG_E_TYPELIB;
    lib->Release();
    if (!registerClass(CLSID_Tarsel, loadString(IDS_TARSEL), L"TARSEL.TarselCtrl.1", true) ||
        !registerClass(CLSID_TarselPropPage, loadString(IDS_TARSEL_PPG), L"TARSEL.TarselPropPage.1", false))
        return SELFREG_E_CLASS;
    return S_OK;
}

extern "C" HRESULT WINAPI DllUnregisterServer()
{
    unregisterClass(CLSID_Tarsel, L"TARSEL.TarselCtrl.1");
    unregisterClass(CLSID_TarselPropPage, L"TARSEL.TarselPropPage.1");
    // A type library already gone is no failure.
    UnRegisterTypeLib(LIBID_TARSELLib, 1, 0, LOCALE_NEUTRAL, SYS_WIN64);
    return S_OK;
}

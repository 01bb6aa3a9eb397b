// A host for the I/O port control, run under Wine: it creates the control by
// its ProgID and drives it through IDispatch by name, as a script host does.
//   tarsel_host mem   the in-memory ports (TARSEL_PORTS): the width, sign,
//                     default-property and persistence rules
//   tarsel_host real  the processor's ports: the denied access is an error
//                     the host survives
// Prints a line per failed check; exit status 0 when all pass.
#include <ocidl.h>
#include <olectl.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>

namespace {

int failures = 0;

void check(bool ok, const char* what)
{
    if (!ok) {
        std::printf("FAIL: %s\n", what);
        ++failures;
    }
}

class Control {
public:
    explicit Control(IDispatch* d) : d_(d) {}
    ~Control() { d_->Release(); }
    IDispatch* get() const { return d_; }

    DISPID id(const wchar_t* name)
    {
        DISPID id = DISPID_UNKNOWN;
        LPOLESTR n = const_cast<LPOLESTR>(name);
        d_->GetIDsOfNames(IID_NULL, &n, 1, LOCALE_USER_DEFAULT, &id);
        return id;
    }
    HRESULT get(DISPID id, VARIANT& out, EXCEPINFO* info = nullptr)
    {
        DISPPARAMS none{};
        VariantInit(&out);
        return d_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, &out, info,
                          nullptr);
    }
    long getLong(const wchar_t* name)
    {
        VARIANT v;
        if (FAILED(get(id(name), v))) return -99999;
        VARIANT l;
        VariantInit(&l);
        VariantChangeType(&l, &v, 0, VT_I4);
        return l.lVal;
    }
    // The type the member returns.
    VARTYPE typeOf(const wchar_t* name)
    {
        VARIANT v;
        return SUCCEEDED(get(id(name), v)) ? v.vt : VARTYPE(VT_EMPTY);
    }
    HRESULT put(DISPID id, long value, EXCEPINFO* info = nullptr)
    {
        VARIANT arg;
        VariantInit(&arg);
        arg.vt = VT_I4;
        arg.lVal = value;
        DISPID named = DISPID_PROPERTYPUT;
        DISPPARAMS params{&arg, &named, 1, 1};
        return d_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &params, nullptr, info,
                          nullptr);
    }
    HRESULT put(const wchar_t* name, long value) { return put(id(name), value); }

private:
    IDispatch* d_;
};

IDispatch* create()
{
    CLSID clsid;
    if (FAILED(CLSIDFromProgID(L"TARSEL.TarselCtrl.1", &clsid))) return nullptr;
    IDispatch* d = nullptr;
    if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                reinterpret_cast<void**>(&d))))
        return nullptr;
    return d;
}

void memoryChecks(Control& c)
{
    check(c.id(L"address") == 1 && c.id(L"value") == 2 && c.id(L"bitsize") == 3 && c.id(L"USValue") == 4,
          "the members' DISPIDs are 1-4");
    check(c.id(L"AboutBox") == DISPID_ABOUTBOX && c.id(L"_value") == DISPID_VALUE,
          "AboutBox is -552, _value 0");
    check(c.id(L"ADDRESS") == 1, "names are found in any case");
    check(c.id(L"nothing") == DISPID_UNKNOWN, "an unknown name is refused");
    check(c.getLong(L"address") == 888, "address starts at 888");
    check(c.getLong(L"bitsize") == 8, "bitsize starts at 8");
    check(c.typeOf(L"value") == VT_I2 && c.typeOf(L"USValue") == VT_I4, "value is a short, USValue a long");

    c.put(L"bitsize", 32);
    check(c.getLong(L"bitsize") == 8, "bitsize 32 stores 8");
    c.put(L"bitsize", 16);
    check(c.getLong(L"bitsize") == 16, "bitsize 16 stores 16");

    // Seeded: 0x300 = F0, 0x302 = FFFF, 0x310 = AB00.
    c.put(L"address", 0x300);
    c.put(L"bitsize", 8);
    check(c.getLong(L"value") == 240, "8 bits of F0 read 240, not -16");
    check(c.getLong(L"_value") == 240, "the default property reads the port too");
    c.put(L"address", 0x302);
    c.put(L"bitsize", 16);
    check(c.getLong(L"value") == -1, "16 bits of FFFF read -1 through value");
    check(c.getLong(L"USValue") == 65535, "and 65535 through USValue");
    c.put(L"bitsize", 8);
    check(c.getLong(L"USValue") == 65535, "USValue reads 16 bits whatever bitsize says");

    c.put(L"address", 0x310);
    c.put(L"bitsize", 8);
    c.put(L"value", 0x1234);
    c.put(L"bitsize", 16);
    check(c.getLong(L"value") == short(0xAB34), "0x1234 written with bitsize 8 outputs 0x34 only");
    c.put(L"value", 0x5678);
    check(c.getLong(L"USValue") == 0x5678, "16-bit writes reach both bytes");
    c.put(DISPID(DISPID_VALUE), 0x0042L);
    check(c.getLong(L"value") == 0x42, "the default property writes the port");
    c.put(L"USValue", 0x1FFFF);
    check(c.getLong(L"USValue") == 0xFFFF, "USValue writes its low 16 bits");

    // Persistence: save and load both reset address and bitsize; USValue stays.
    IPersistStreamInit* persist = nullptr;
    check(SUCCEEDED(c.get()->QueryInterface(IID_IPersistStreamInit, reinterpret_cast<void**>(&persist))),
          "IPersistStreamInit");
    if (persist) {
        IStream* stream = nullptr;
        CreateStreamOnHGlobal(nullptr, TRUE, &stream);
        c.put(L"address", 0x300);
        c.put(L"bitsize", 16);
        check(persist->Save(stream, TRUE) == S_OK, "Save");
        check(c.getLong(L"address") == 888 && c.getLong(L"bitsize") == 8,
              "a save resets address and bitsize");
        c.put(L"address", 0x302);
        c.put(L"bitsize", 16);
        c.getLong(L"USValue");
        LARGE_INTEGER zero{};
        stream->Seek(zero, STREAM_SEEK_SET, nullptr);
        check(persist->Load(stream) == S_OK, "Load");
        check(c.getLong(L"address") == 888, "a load resets address to 888");
        check(c.getLong(L"bitsize") == 8, "a load resets bitsize to 8");
        check(persist->InitNew() == S_OK && c.getLong(L"address") == 888, "InitNew resets");
        stream->Release();
        persist->Release();
    }

    // What a container asks of it.
    IOleObject* ole = nullptr;
    DWORD misc = 0;
    check(SUCCEEDED(c.get()->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&ole))) &&
              SUCCEEDED(ole->GetMiscStatus(DVASPECT_CONTENT, &misc)) && misc == 0x20591,
          "IOleObject, MiscStatus 0x20591");
    if (ole) ole->Release();
    ISpecifyPropertyPages* pages = nullptr;
    CAUUID uuids{};
    check(SUCCEEDED(c.get()->QueryInterface(IID_ISpecifyPropertyPages, reinterpret_cast<void**>(&pages))) &&
              SUCCEEDED(pages->GetPages(&uuids)) && uuids.cElems == 1,
          "one property page");
    if (uuids.pElems) {
        IPropertyPage* page = nullptr;
        PROPPAGEINFO info{};
        check(SUCCEEDED(CoCreateInstance(uuids.pElems[0], nullptr, CLSCTX_INPROC_SERVER, IID_IPropertyPage,
                                         reinterpret_cast<void**>(&page))) &&
                  SUCCEEDED(page->GetPageInfo(&info)) && info.pszTitle &&
                  std::wcscmp(info.pszTitle, L"General") == 0,
              "the property page is \"General\"");
        if (info.pszTitle) CoTaskMemFree(info.pszTitle);
        if (page) page->Release();
        CoTaskMemFree(uuids.pElems);
    }
    if (pages) pages->Release();
    IProvideClassInfo2* classInfo = nullptr;
    GUID events{};
    check(SUCCEEDED(c.get()->QueryInterface(IID_IProvideClassInfo2, reinterpret_cast<void**>(&classInfo))) &&
              SUCCEEDED(classInfo->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &events)),
          "IProvideClassInfo2 names the event interface");
    if (classInfo) classInfo->Release();
    IConnectionPointContainer* points = nullptr;
    IConnectionPoint* point = nullptr;
    check(SUCCEEDED(
              c.get()->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&points))) &&
              SUCCEEDED(points->FindConnectionPoint(events, &point)),
          "the event interface has a connection point");
    if (point) point->Release();
    if (points) points->Release();
    ITypeInfo* type = nullptr;
    check(SUCCEEDED(c.get()->GetTypeInfo(0, LOCALE_USER_DEFAULT, &type)), "the type library describes it");
    if (type) type->Release();
}

void realPortChecks(Control& c)
{
    EXCEPINFO info{};
    VARIANT v;
    const HRESULT hr = c.get(2, v, &info);
    check(hr == DISP_E_EXCEPTION, "a denied port read is DISP_E_EXCEPTION");
    check(info.bstrDescription && std::wcscmp(info.bstrDescription, L"I/O port access to 0x378 denied") == 0,
          "its description names the port");
    SysFreeString(info.bstrDescription);
    SysFreeString(info.bstrSource);
    EXCEPINFO writeInfo{};
    check(c.put(DISPID(4), 5L, &writeInfo) == DISP_E_EXCEPTION, "a denied port write is DISP_E_EXCEPTION");
    SysFreeString(writeInfo.bstrDescription);
    SysFreeString(writeInfo.bstrSource);
    // The host lives on and the control still answers.
    check(c.getLong(L"address") == 888, "the control answers after the fault");
}

} // namespace

int main(int argc, char** argv)
{
    const bool memory = argc > 1 && std::strcmp(argv[1], "mem") == 0;
    if (FAILED(CoInitialize(nullptr))) return 3;
    IDispatch* d = create();
    if (!d) {
        std::printf("FAIL: TARSEL.TarselCtrl.1 cannot be created\n");
        return 2;
    }
    {
        Control c(d);
        if (memory)
            memoryChecks(c);
        else
            realPortChecks(c);
    }
    CoUninitialize();
    std::printf("%s: %d failed\n", memory ? "mem" : "real", failures);
    return failures == 0 ? 0 : 1;
}

#include "forms/accessible.h"

// Defines the identifiers of oleacc.h in this file: the program links no oleacc library.
#include <initguid.h>
#include <oleacc.h>

#include "runtime/facilities.h"

namespace tq::forms {

namespace {

// oleacc, ole32 and oleaut32 are looked up when a screen reader first asks: start-up and a
// machine without one never load them.
struct AccessibilityLibrary {
    HRESULT(WINAPI* create_standard_object)(HWND, LONG, REFIID, void**);
    LRESULT(WINAPI* result_from_object)(REFIID, WPARAM, IUnknown*);
    BSTR(WINAPI* allocate_string)(const OLECHAR*, UINT);
    HRESULT(WINAPI* create_instance)(REFCLSID, IUnknown*, DWORD, REFIID, void**);
    bool usable;
};

const AccessibilityLibrary& Library() {
    static const AccessibilityLibrary library = [] {
        AccessibilityLibrary l{};
        l.create_standard_object = LibraryFunction<decltype(l.create_standard_object)>(
            L"oleacc.dll", "CreateStdAccessibleObject");
        l.result_from_object =
            LibraryFunction<decltype(l.result_from_object)>(L"oleacc.dll", "LresultFromObject");
        l.allocate_string =
            LibraryFunction<decltype(l.allocate_string)>(L"oleaut32.dll", "SysAllocStringLen");
        l.create_instance =
            LibraryFunction<decltype(l.create_instance)>(L"ole32.dll", "CoCreateInstance");
        // The object is handed over by COM's marshalling, which the thread must have joined;
        // the user-interface thread is a single-threaded apartment, as the shell's dialogs
        // expect it to be.
        const auto initialise =
            LibraryFunction<HRESULT(WINAPI*)(void*, DWORD)>(L"ole32.dll", "CoInitializeEx");
        const HRESULT joining = initialise ? initialise(nullptr, COINIT_APARTMENTTHREADED) : E_FAIL;
        // A thread already in the multithreaded apartment marshals as well.
        const bool joined = SUCCEEDED(joining) || joining == RPC_E_CHANGED_MODE;
        l.usable = joined && l.create_standard_object && l.result_from_object &&
                   l.allocate_string && l.create_instance;
        return l;
    }();
    return library;
}

// The annotation service, made on first use and kept for the run; null where the platform
// has none.
IAccPropServices* AnnotationService(bool make) {
    static IAccPropServices* service = nullptr;
    static bool made = false;
    if (!made && make) {
        made = true;
        const AccessibilityLibrary& library = Library();
        if (library.usable && FAILED(library.create_instance(CLSID_AccPropServices, nullptr,
                                                             CLSCTX_SERVER, IID_IAccPropServices,
                                                             reinterpret_cast<void**>(&service)))) {
            service = nullptr;
        }
    }
    return service;
}

// The system's object for a control, passed through but for its own name. Other interfaces
// that readers ask for (the window behind the object, its children as a list) are the system
// object's; COM's own marshalling interfaces are not handed on, so that the object that
// crosses to the reader is this one.
class NamedAccessible final : public IAccessible {
public:
    NamedAccessible(IAccessible* system, std::wstring name)
        : system_(system), name_(std::move(name)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (iid == __uuidof(IUnknown) || iid == __uuidof(IDispatch) ||
            iid == __uuidof(IAccessible)) {
            *out = static_cast<IAccessible*>(this);
            AddRef();
            return S_OK;
        }
        if (iid == __uuidof(IOleWindow) || iid == __uuidof(IEnumVARIANT)) {
            return system_->QueryInterface(iid, out);
        }
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&references_); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = InterlockedDecrement(&references_);
        if (left == 0) delete this;
        return left;
    }

    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
        if (child.vt != VT_I4 || child.lVal != CHILDID_SELF)
            return system_->get_accName(child, name);
        if (!name) return E_POINTER;
        *name = Library().allocate_string(name_.c_str(), static_cast<UINT>(name_.size()));
        return *name ? S_OK : E_OUTOFMEMORY;
    }

    // Everything else is the system object's.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        return system_->GetTypeInfoCount(count);
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override {
        return system_->GetTypeInfo(index, locale, info);
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                                            DISPID* ids) override {
        return system_->GetIDsOfNames(iid, names, count, locale, ids);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID locale, WORD flags,
                                     DISPPARAMS* parameters, VARIANT* result, EXCEPINFO* exception,
                                     UINT* argument_error) override {
        return system_->Invoke(id, iid, locale, flags, parameters, result, exception,
                               argument_error);
    }
    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override {
        return system_->get_accParent(parent);
    }
    HRESULT STDMETHODCALLTYPE get_accChildCount(LONG* count) override {
        return system_->get_accChildCount(count);
    }
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** object) override {
        return system_->get_accChild(child, object);
    }
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override {
        return system_->get_accValue(child, value);
    }
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* text) override {
        return system_->get_accDescription(child, text);
    }
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override {
        return system_->get_accRole(child, role);
    }
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override {
        return system_->get_accState(child, state);
    }
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* help) override {
        return system_->get_accHelp(child, help);
    }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, LONG* topic) override {
        return system_->get_accHelpTopic(file, child, topic);
    }
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* shortcut) override {
        return system_->get_accKeyboardShortcut(child, shortcut);
    }
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* child) override {
        return system_->get_accFocus(child);
    }
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* children) override {
        return system_->get_accSelection(children);
    }
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override {
        return system_->get_accDefaultAction(child, action);
    }
    HRESULT STDMETHODCALLTYPE accSelect(LONG flags, VARIANT child) override {
        return system_->accSelect(flags, child);
    }
    HRESULT STDMETHODCALLTYPE accLocation(LONG* left, LONG* top, LONG* width, LONG* height,
                                          VARIANT child) override {
        return system_->accLocation(left, top, width, height, child);
    }
    HRESULT STDMETHODCALLTYPE accNavigate(LONG direction, VARIANT start, VARIANT* end) override {
        return system_->accNavigate(direction, start, end);
    }
    HRESULT STDMETHODCALLTYPE accHitTest(LONG left, LONG top, VARIANT* child) override {
        return system_->accHitTest(left, top, child);
    }
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override {
        return system_->accDoDefaultAction(child);
    }
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT child, BSTR name) override {
        return system_->put_accName(child, name);
    }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT child, BSTR value) override {
        return system_->put_accValue(child, value);
    }

private:
    ~NamedAccessible() { system_->Release(); }

    LONG references_ = 1;
    IAccessible* system_;
    std::wstring name_;
};

}  // namespace

std::wstring NameFromCaption(const std::wstring& caption) {
    std::wstring name;
    for (const wchar_t c : caption) {
        const bool blank = c == L' ' || c == L'\t' || c == L'\r' || c == L'\n' || c == 0x3000;
        if (!blank) {
            name += c;
        } else if (!name.empty() && name.back() != L' ') {
            name += L' ';
        }
    }
    if (!name.empty() && name.back() == L' ') name.pop_back();
    return name;
}

bool AnnotateAccessibleName(HWND control, const std::wstring& name) {
    if (name.empty()) return false;
    if (annotate_name_for_tests) return annotate_name_for_tests(control, name);
    IAccPropServices* service = AnnotationService(true);
    // Only S_OK is taken as done: Wine's annotation answers E_NOTIMPL and keeps nothing.
    return service && service->SetHwndPropStr(control, static_cast<DWORD>(OBJID_CLIENT),
                                              CHILDID_SELF, PROPID_ACC_NAME, name.c_str()) == S_OK;
}

void ClearAccessibleName(HWND control) {
    if (IAccPropServices* service = AnnotationService(false)) {
        const MSAAPROPID names[] = {PROPID_ACC_NAME};
        service->ClearHwndProps(control, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF, names,
                                ARRAYSIZE(names));
    }
}

LRESULT NamedAccessibleObject(HWND control, WPARAM wparam, const std::wstring& name) {
    const AccessibilityLibrary& library = Library();
    if (!library.usable) return 0;
    IAccessible* system = nullptr;
    if (FAILED(library.create_standard_object(control, OBJID_CLIENT, __uuidof(IAccessible),
                                              reinterpret_cast<void**>(&system))) ||
        !system) {
        return 0;
    }
    auto* named = new NamedAccessible(system, name);
    // The result holds its own reference to the object until the reader takes it.
    const LRESULT result = library.result_from_object(__uuidof(IAccessible), wparam, named);
    named->Release();
    return result > 0 ? result : 0;
}

}  // namespace tq::forms

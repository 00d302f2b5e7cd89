#include "viewer/browser/browser_host.h"

#include <new>
#include <string>

#include "viewer/archive/entry_stream.h"
#include "viewer/texts.h"

namespace vellumo {
namespace {

const CLSID kClsidWebBrowser = {0x8856F961, 0x340A, 0x11D0,
                                {0xA9, 0x6B, 0x00, 0xC0, 0x4F, 0xD7, 0x05, 0xA2}};
const IID kIidWebBrowser2 = {0xD30C1661, 0xCDAF, 0x11D0,
                             {0x8A, 0x3E, 0x00, 0xC0, 0x4F, 0xC9, 0xE2, 0x6E}};
const IID kIidPersistStreamInit = {0x7FD52380, 0x4E07, 0x101B,
                                   {0xAE, 0x2D, 0x08, 0x00, 0x2B, 0x2E, 0xC7, 0x13}};
const IID kIidDocHostUIHandler = {0xBD3F23C0, 0xD43E, 0x11CF,
                                  {0x89, 0x3B, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x1A}};
const IID kIidDocHostShowUI = {0xC4D244B0, 0xD43E, 0x11CF,
                               {0x89, 0x3B, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x1A}};

constexpr char kContainerClass[] = "VellumoBrowserHost";
constexpr LONG kReadyStateComplete = 4;
DWORD g_default_blank_page_timeout_ms = 10000;
constexpr DWORD kIdleWithoutDocumentMs = 1000;

void RegisterContainerClass(WNDPROC proc) {
  static bool registered = false;
  if (registered) return;
  WNDCLASSA wc{};
  wc.lpfnWndProc = proc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = kContainerClass;
  registered = RegisterClassA(&wc) != 0;
}

// Nothing may unwind into the control: an event that throws gives a failure status instead.
template <class Call>
HRESULT Guarded(Call call) {
  try {
    return call();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

const CLSID kClsidHtmlDocument = {0x25336920, 0x03F9, 0x11CF,
                                  {0x8F, 0xD0, 0x00, 0xAA, 0x00, 0x68, 0x6F, 0x13}};

// The definite sign of an HTML engine: its document class can be created.
bool CreateHtmlDocumentProbe() {
  IUnknown* document = nullptr;
  HRESULT hr = CoCreateInstance(kClsidHtmlDocument, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                reinterpret_cast<void**>(&document));
  if (document) document->Release();
  // Running out of memory says nothing about the engine.
  return SUCCEEDED(hr) || hr == E_OUTOFMEMORY;
}
bool (*g_html_engine_probe)() = &CreateHtmlDocumentProbe;

// Keeps VARIANT cleanup in one place.
struct Variant {
  VARIANT v;
  Variant() { VariantInit(&v); }
  ~Variant() { VariantClear(&v); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// TBrowserControl

TBrowserControl::TBrowserControl(HWND parent, const RECT& bounds, int control_id) {
  RegisterContainerClass(ContainerProc);
  container_ = CreateWindowExA(0, kContainerClass, "", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN |
                                   WS_TABSTOP,
                               bounds.left, bounds.top, bounds.right - bounds.left,
                               bounds.bottom - bounds.top, parent,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(control_id)),
                               GetModuleHandleA(nullptr), nullptr);
  SetWindowLongPtrA(container_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

TBrowserControl::~TBrowserControl() {
  DestroyControl();
  if (container_) {
    SetWindowLongPtrA(container_, GWLP_USERDATA, 0);
    DestroyWindow(container_);
  }
}

void TBrowserControl::CreateControl(IOleClientSite* site) {
  site_ = site;
  if (!container_) return;
  win::ComPtr<IOleObject> object;
  if (FAILED(CoCreateInstance(kClsidWebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                              object.put_void())))
    return;
  if (FAILED(object->SetClientSite(site))) return;
  RECT rc;
  GetClientRect(container_, &rc);
  if (FAILED(object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site, 0, container_, &rc))) {
    object->SetClientSite(nullptr);
    return;
  }
  win::ComPtr<IWebBrowser2> browser;
  if (FAILED(object->QueryInterface(kIidWebBrowser2, browser.put_void()))) {
    object->Close(OLECLOSE_NOSAVE);
    object->SetClientSite(nullptr);
    return;
  }
  ole_object_ = std::move(object);
  web_browser_ = std::move(browser);
}

void TBrowserControl::DestroyControl() {
  web_browser_.reset();
  if (ole_object_) {
    win::ComPtr<IOleInPlaceObject> in_place;
    if (SUCCEEDED(ole_object_->QueryInterface(IID_IOleInPlaceObject, in_place.put_void())))
      in_place->InPlaceDeactivate();
    ole_object_->Close(OLECLOSE_NOSAVE);
    ole_object_->SetClientSite(nullptr);
    ole_object_.reset();
  }
}

void TBrowserControl::SetBounds(const RECT& bounds) {
  if (!container_) return;
  MoveWindow(container_, bounds.left, bounds.top, bounds.right - bounds.left,
             bounds.bottom - bounds.top, TRUE);
}

HWND TBrowserControl::BrowserWindow() const {
  if (ole_object_) {
    win::ComPtr<IOleInPlaceObject> in_place;
    HWND wnd = nullptr;
    if (SUCCEEDED(ole_object_->QueryInterface(IID_IOleInPlaceObject, in_place.put_void())) &&
        SUCCEEDED(in_place->GetWindow(&wnd)) && wnd)
      return wnd;
  }
  return container_;
}

bool TBrowserControl::GetProperty(DISPID id, VARIANT* result) const {
  if (!web_browser_) return false;
  DISPPARAMS none{};
  return SUCCEEDED(web_browser_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET,
                                        &none, result, nullptr, nullptr));
}

win::ComPtr<IDispatch> TBrowserControl::Document() const {
  win::ComPtr<IDispatch> doc;
  Variant v;
  if (GetProperty(kDispidDocument, &v.v) && (v.v.vt == VT_DISPATCH) && v.v.pdispVal) {
    v.v.pdispVal->AddRef();
    doc.attach(v.v.pdispVal);
  }
  return doc;
}

win::ComPtr<IDispatch> TBrowserControl::Application() const {
  win::ComPtr<IDispatch> app;
  Variant v;
  if (GetProperty(kDispidApplication, &v.v) && v.v.vt == VT_DISPATCH && v.v.pdispVal) {
    v.v.pdispVal->AddRef();
    app.attach(v.v.pdispVal);
  }
  return app;
}

bool TBrowserControl::Busy() const {
  Variant v;
  if (!GetProperty(kDispidBusy, &v.v)) return false;
  if (FAILED(VariantChangeType(&v.v, &v.v, 0, VT_BOOL))) return false;
  return v.v.boolVal != VARIANT_FALSE;
}

long TBrowserControl::ReadyState() const {
  Variant v;
  if (!GetProperty(kDispidReadyState, &v.v)) return 0;
  if (FAILED(VariantChangeType(&v.v, &v.v, 0, VT_I4))) return 0;
  return v.v.lVal;
}

HRESULT TBrowserControl::Navigate2(const wchar_t* address) {
  if (!web_browser_) return E_NOINTERFACE;
  Variant url, zero1, zero2, zero3, zero4;
  url.v.vt = VT_BSTR;
  url.v.bstrVal = SysAllocString(address);
  for (Variant* z : {&zero1, &zero2, &zero3, &zero4}) {
    z->v.vt = VT_I4;
    z->v.lVal = 0;
  }
  return web_browser_->Navigate2(&url.v, &zero1.v, &zero2.v, &zero3.v, &zero4.v);
}

LRESULT CALLBACK TBrowserControl::ContainerProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto* self = reinterpret_cast<TBrowserControl*>(GetWindowLongPtrA(wnd, GWLP_USERDATA));
  if (msg == WM_SIZE && self) {
    // A window procedure: nothing may unwind into the system's dispatch.
    try {
      self->Resized(lp);
    } catch (...) {
    }
  }
  return DefWindowProcA(wnd, msg, wp, lp);
}

void TBrowserControl::Resized(LPARAM lp) {
  {
    RECT rc{0, 0, LOWORD(lp), HIWORD(lp)};
    if (ole_object_) {
      win::ComPtr<IOleInPlaceObject> in_place;
      if (SUCCEEDED(ole_object_->QueryInterface(IID_IOleInPlaceObject, in_place.put_void())))
        in_place->SetObjectRects(&rc, &rc);
    }
    ContainerResized();
  }
}

// ---------------------------------------------------------------------------------------------
// TBrowserSite

STDMETHODIMP TBrowserSite::QueryInterface(REFIID riid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (riid == IID_IUnknown || riid == IID_IOleClientSite)
    *out = static_cast<IOleClientSite*>(this);
  else if (riid == IID_IOleWindow || riid == IID_IOleInPlaceSite)
    *out = static_cast<IOleInPlaceSite*>(this);
  else if (riid == IID_IOleInPlaceUIWindow || riid == IID_IOleInPlaceFrame)
    *out = static_cast<IOleInPlaceFrame*>(this);
  else if (riid == kIidDocHostUIHandler)
    *out = static_cast<IDocHostUIHandler*>(this);
  else if (riid == kIidDocHostShowUI)
    *out = static_cast<IDocHostShowUI*>(this);
  else if (riid == IID_IDispatch)
    *out = static_cast<IDispatch*>(this);
  else
    return E_NOINTERFACE;
  AddRef();
  return S_OK;
}

STDMETHODIMP TBrowserSite::GetMoniker(DWORD, DWORD, IMoniker** mk) {
  if (mk) *mk = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP TBrowserSite::GetContainer(IOleContainer** container) {
  if (container) *container = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP TBrowserSite::GetWindow(HWND* wnd) {
  if (!wnd) return E_POINTER;
  *wnd = host_->Handle();
  return S_OK;
}

STDMETHODIMP TBrowserSite::GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc,
                                            LPRECT pos, LPRECT clip,
                                            LPOLEINPLACEFRAMEINFO info) {
  if (frame) {
    *frame = static_cast<IOleInPlaceFrame*>(this);
    AddRef();
  }
  if (doc) *doc = nullptr;
  RECT rc{};
  if (host_->Handle()) GetClientRect(host_->Handle(), &rc);
  if (pos) *pos = rc;
  if (clip) *clip = rc;
  if (info) {
    info->fMDIApp = FALSE;
    info->hwndFrame = GetAncestor(host_->Handle(), GA_ROOT);
    info->haccel = nullptr;
    info->cAccelEntries = 0;
  }
  return S_OK;
}

// Each document-host method gives its event's answer when one is assigned, else the fixed one.
STDMETHODIMP TBrowserSite::ShowContextMenu(DWORD id, POINT* pt, IUnknown* target, IDispatch* obj) {
  auto& e = host_->events_.OnShowContextMenu;
  return e ? Guarded([&] { return e(id, pt, target, obj); }) : S_FALSE;
}
STDMETHODIMP TBrowserSite::GetHostInfo(DOCHOSTUIINFO* info) {
  auto& e = host_->events_.OnGetHostInfo;
  return e ? Guarded([&] { return e(info); }) : S_FALSE;
}
STDMETHODIMP TBrowserSite::ShowUI(DWORD id, IOleInPlaceActiveObject* active,
                                  IOleCommandTarget* target, IOleInPlaceFrame* frame,
                                  IOleInPlaceUIWindow* doc) {
  auto& e = host_->events_.OnShowUI;
  return e ? Guarded([&] { return e(id, active, target, frame, doc); }) : S_FALSE;
}
STDMETHODIMP TBrowserSite::HideUI() {
  auto& e = host_->events_.OnHideUI;
  return e ? Guarded([&] { return e(); }) : S_FALSE;
}
STDMETHODIMP TBrowserSite::UpdateUI() {
  auto& e = host_->events_.OnUpdateUI;
  return e ? Guarded([&] { return e(); }) : S_FALSE;
}
HRESULT TBrowserSite::DocHostEnableModeless(BOOL enable) {
  auto& e = host_->events_.OnEnableModeless;
  return e ? Guarded([&] { return e(enable); }) : S_FALSE;
}
STDMETHODIMP TBrowserSite::OnDocWindowActivate(BOOL activate) {
  auto& e = host_->events_.OnOnDocWindowActivate;
  return e ? Guarded([&] { return e(activate); }) : S_FALSE;
}
STDMETHODIMP TBrowserSite::OnFrameWindowActivate(BOOL activate) {
  auto& e = host_->events_.OnOnFrameWindowActivate;
  return e ? Guarded([&] { return e(activate); }) : S_FALSE;
}
STDMETHODIMP TBrowserSite::ResizeBorder(LPCRECT border, IOleInPlaceUIWindow* window,
                                        BOOL frame_window) {
  auto& e = host_->events_.OnResizeBorder;
  return e ? Guarded([&] { return e(border, window, frame_window); }) : S_FALSE;
}
STDMETHODIMP TBrowserSite::TranslateAccelerator(LPMSG msg, const GUID* group, DWORD cmd) {
  auto& e = host_->events_.OnTranslateAccelerator;
  return e ? Guarded([&] { return e(msg, group, cmd); }) : S_FALSE;
}
STDMETHODIMP TBrowserSite::GetOptionKeyPath(LPOLESTR* key, DWORD reserved) {
  auto& e = host_->events_.OnGetOptionKeyPath;
  if (e) return Guarded([&] { return e(key, reserved); });
  if (key) *key = nullptr;
  return S_FALSE;
}
STDMETHODIMP TBrowserSite::GetDropTarget(IDropTarget* drop_target, IDropTarget** replacement) {
  auto& e = host_->events_.OnGetDropTarget;
  if (e) return Guarded([&] { return e(drop_target, replacement); });
  if (replacement) *replacement = nullptr;
  return S_OK;
}
STDMETHODIMP TBrowserSite::GetExternal(IDispatch** external) {
  auto& e = host_->events_.OnGetExternal;
  if (e) return Guarded([&] { return e(external); });
  if (external) *external = nullptr;
  return S_FALSE;
}
STDMETHODIMP TBrowserSite::TranslateUrl(DWORD translate, LPWSTR url, LPWSTR* translated) {
  auto& e = host_->events_.OnTranslateUrl;
  if (e) return Guarded([&] { return e(translate, url, translated); });
  if (translated) *translated = nullptr;
  return S_FALSE;
}
STDMETHODIMP TBrowserSite::FilterDataObject(IDataObject* object, IDataObject** replacement) {
  auto& e = host_->events_.OnFilterDataObject;
  if (e) return Guarded([&] { return e(object, replacement); });
  if (replacement) *replacement = nullptr;
  return S_FALSE;
}

STDMETHODIMP TBrowserSite::ShowMessage(HWND wnd, LPOLESTR text, LPOLESTR caption, DWORD type,
                                       LPOLESTR help_file, DWORD help_context, LRESULT* result) {
  auto& e = host_->events_.OnShowMessage;
  return e ? Guarded([&] { return e(wnd, text, caption, type, help_file, help_context, result); }) : S_FALSE;
}

STDMETHODIMP TBrowserSite::ShowHelp(HWND wnd, LPOLESTR help_file, UINT command, DWORD data,
                                    POINT pt, IDispatch* hit) {
  auto& e = host_->events_.OnShowHelp;
  if (e) return Guarded([&] { return e(wnd, help_file, command, data, pt, hit); });
  if (host_->help_file_.empty()) return S_FALSE;
  // The HTML help function lives in hhctrl.ocx; load it only when help is asked for.
  using HtmlHelpFn = HWND(WINAPI*)(HWND, LPCSTR, UINT, DWORD_PTR);
  win::Library help(LoadLibraryA("hhctrl.ocx"));
  if (help) {
    auto fn = reinterpret_cast<HtmlHelpFn>(
        reinterpret_cast<void*>(GetProcAddress(help.get(), "HtmlHelpA")));
    if (fn) fn(wnd, host_->help_file_.c_str(), command, data);
  }
  return S_OK;
}

STDMETHODIMP TBrowserSite::GetTypeInfoCount(UINT* count) {
  auto& e = host_->events_.OnGetTypeInfoCount;
  if (e) return Guarded([&] { return e(count); });
  if (count) *count = 0;
  return E_NOTIMPL;
}
STDMETHODIMP TBrowserSite::GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) {
  auto& e = host_->events_.OnGetTypeInfo;
  if (e) return Guarded([&] { return e(index, lcid, info); });
  if (info) *info = nullptr;
  return E_NOTIMPL;
}
STDMETHODIMP TBrowserSite::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid,
                                         DISPID* ids) {
  auto& e = host_->events_.OnGetIDsOfNames;
  return e ? Guarded([&] { return e(riid, names, count, lcid, ids); }) : E_NOTIMPL;
}

STDMETHODIMP TBrowserSite::Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags,
                                  DISPPARAMS* params, VARIANT* result, EXCEPINFO* error,
                                  UINT* arg_error) {
  if (id == kDispidAmbientDownloadControl && (flags & DISPATCH_PROPERTYGET) && result) {
    VariantClear(result);
    result->vt = VT_I4;
    result->lVal = static_cast<LONG>(host_->download_options_);
    return S_OK;
  }
  auto& e = host_->events_.OnInvoke;
  if (e) return Guarded([&] { return e(id, riid, lcid, flags, params, result, error, arg_error); });
  return DISP_E_MEMBERNOTFOUND;
}

// ---------------------------------------------------------------------------------------------
// TBrowserHost

TBrowserHost::TBrowserHost(HWND parent, const RECT& bounds, int control_id)
    : TBrowserControl(parent, bounds, control_id),
      blank_page_timeout_ms_(g_default_blank_page_timeout_ms) {
  CreateControl(static_cast<IOleClientSite*>(&site_));
  previous_hook_ = SetApplicationMessageHook({&TBrowserHost::HookThunk, this});
}

TBrowserHost::~TBrowserHost() {
  SetApplicationMessageHook(previous_hook_);
  DestroyControl();
}

void TBrowserHost::SetDefaultBlankPageTimeout(DWORD ms) { g_default_blank_page_timeout_ms = ms; }

void TBrowserHost::HookThunk(void* context, MSG& msg, bool* /*handled*/) {
  // The hook leaves every message to the normal dispatch; its failures are swallowed.
  try {
    static_cast<TBrowserHost*>(context)->KeyboardHook(msg);
  } catch (...) {
  }
}

void TBrowserHost::OpenBlankPage() {
  ++blank_page_openings_;
  blank_page_refused_ = FAILED(Navigate2(L"about:blank"));
  if (blank_page_refused_) return;
  // Bounded: a control that never completes must not freeze the window. A control that is
  // neither busy nor has a document for a while is loading nothing (no HTML engine): it stops
  // the wait early.
  const DWORD start = GetTickCount();
  DWORD idle_since = start;
  while (ReadyState() != kReadyStateComplete) {
    const DWORD now = GetTickCount();
    if (now - start >= blank_page_timeout_ms_) break;
    if (Busy() || Document()) idle_since = now;
    else if (now - idle_since >= kIdleWithoutDocumentMs) break;
    if (!ProcessPendingMessages()) break;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
  }
}

HRESULT TBrowserHost::LoadPage(TEntryStream& page) { return LoadPage(page, std::string()); }

HRESULT TBrowserHost::LoadPage(TEntryStream& page, const std::string& entry_name) {
  // The blank-page wait lets messages through, so a click can ask for another page meanwhile:
  // the waiting call shows the latest one when the wait is over.
  if (opening_blank_page_) {
    pending_page_ = &page;
    pending_page_name_ = entry_name;
    return S_FALSE;
  }
  page_name_ = entry_name;
  if (no_html_engine_) return ShowAsText(page);
  TEntryStream* latest = &page;
  if (!Document()) {
    opening_blank_page_ = true;
    pending_page_ = &page;
    pending_page_name_ = entry_name;
    OpenBlankPage();
    opening_blank_page_ = false;
    latest = pending_page_;
    page_name_ = pending_page_name_;
    pending_page_ = nullptr;
  }
  TEntryStream& stream = *latest;
  stream.Seek(0, SeekOrigin::Begin);
  win::ComPtr<IDispatch> doc = Document();
  if (!doc) {
    // From now on every page goes to the text view only on a definite sign that there is no
    // HTML engine. A wait that merely ran out (a first start of a real engine on a busy
    // machine) shows this page as text and lets the next page try the document again.
    if (!ControlCreated() || blank_page_refused_ || !g_html_engine_probe()) no_html_engine_ = true;
    return ShowAsText(stream);
  }
  SetTextViewVisible(false);
  win::ComPtr<IPersistStreamInit> persist;
  if (FAILED(doc->QueryInterface(kIidPersistStreamInit, persist.put_void()))) {
    HWND owner = GetAncestor(Handle(), GA_ROOT);
    MessageBoxA(owner, texts::kInterfaceNotSupported, texts::kApplicationTitle,
                MB_OK | MB_ICONERROR);
    return E_NOINTERFACE;
  }
  auto* adapter = new TEntryStreamAdapter(stream);
  HRESULT hr = persist->Load(adapter);
  adapter->Release();
  return hr;
}

void TBrowserHost::SetPageArchive(const TPageArchive& archive) {
  page_archive_ = archive;
  if (page_view_) page_view_->SetArchive(archive);
}

HRESULT TBrowserHost::ShowAsText(TEntryStream& stream) {
  if (!page_view_) {
    RECT rc;
    GetClientRect(Handle(), &rc);
    page_view_ = std::make_unique<TPageView>(Handle(), rc);
    if (!page_view_->RichEdit()) {
      page_view_.reset();
      return E_FAIL;
    }
    page_view_->SetArchive(page_archive_);
    SetWindowPos(page_view_->Handle(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    if (OnTextViewShown) OnTextViewShown();
  }
  SetTextViewVisible(true);
  stream.Seek(0, SeekOrigin::Begin);
  page_view_->Show(page_name_, static_cast<const uint8_t*>(stream.Memory()),
                   static_cast<size_t>(stream.Size()));
  return S_OK;
}

void TBrowserHost::SetTextViewVisible(bool visible) {
  if (!page_view_) return;
  HWND view = page_view_->Handle();
  if ((IsWindowVisible(view) != FALSE) == visible) return;
  ShowWindow(view, visible ? SW_SHOW : SW_HIDE);
  if (OnTextViewShown) OnTextViewShown();
}

bool TBrowserHost::ShowingText() const {
  return no_html_engine_ || (page_view_ && IsWindowVisible(page_view_->Handle()));
}

void TBrowserHost::SetHtmlEngineProbe(bool (*probe)()) {
  g_html_engine_probe = probe ? probe : &CreateHtmlDocumentProbe;
}

void TBrowserHost::ContainerResized() {
  if (!page_view_) return;
  RECT rc;
  GetClientRect(Handle(), &rc);
  page_view_->SetBounds(rc);
}

void TBrowserHost::UIActivate() {
  if (!Document()) return;
  win::ComPtr<IDispatch> app = Application();
  if (!app) return;
  win::ComPtr<IOleObject> object;
  if (FAILED(app->QueryInterface(IID_IOleObject, object.put_void()))) return;
  HWND wnd = BrowserWindow();
  RECT rc;
  GetClientRect(wnd, &rc);
  object->DoVerb(OLEIVERB_UIACTIVATE, nullptr, ClientSite(), 0, wnd, &rc);
}

void TBrowserHost::KeyboardHook(MSG& msg) {
  // Only messages for the browser's window and its children concern it. (Checked directly:
  // handing them to IsDialogMessage here would dispatch them a second time.)
  HWND browser = BrowserWindow();
  if (!browser || !msg.hwnd) return;
  if (msg.hwnd != browser && !IsChild(browser, msg.hwnd)) return;
  if (page_view_ && (msg.hwnd == page_view_->Handle() || IsChild(page_view_->Handle(), msg.hwnd)))
    return;
  if (!ControlCreated() || Busy()) return;
  const bool key = msg.message == WM_KEYDOWN || msg.message == WM_KEYUP;
  if (key && msg.wParam == VK_TAB) UIActivate();
  if (key && (msg.wParam == VK_BACK || msg.wParam == VK_LEFT || msg.wParam == VK_RIGHT)) return;
  win::ComPtr<IDispatch> app = Application();
  if (!app) return;
  win::ComPtr<IOleInPlaceActiveObject> active;
  if (FAILED(app->QueryInterface(IID_IOleInPlaceActiveObject, active.put_void()))) return;
  active->TranslateAccelerator(&msg);
}

// ---------------------------------------------------------------------------------------------
// TEntryStreamAdapter

STDMETHODIMP TEntryStreamAdapter::QueryInterface(REFIID riid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (riid == IID_IUnknown || riid == IID_IStream || riid == IID_ISequentialStream) {
    *out = static_cast<IStream*>(this);
    AddRef();
    return S_OK;
  }
  return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) TEntryStreamAdapter::AddRef() {
  return static_cast<ULONG>(InterlockedIncrement(&refs_));
}

STDMETHODIMP_(ULONG) TEntryStreamAdapter::Release() {
  LONG left = InterlockedDecrement(&refs_);
  if (left == 0) delete this;  // the entry stream is not ours: it stays
  return static_cast<ULONG>(left);
}

STDMETHODIMP TEntryStreamAdapter::Read(void* buffer, ULONG count, ULONG* read) {
  if (read) *read = 0;
  if (!buffer && count) return STG_E_INVALIDPOINTER;
  size_t got = stream_.Read(buffer, count);
  if (read) *read = static_cast<ULONG>(got);
  return got < count ? S_FALSE : S_OK;
}

STDMETHODIMP TEntryStreamAdapter::Write(const void*, ULONG, ULONG* written) {
  if (written) *written = 0;
  return STG_E_ACCESSDENIED;
}

STDMETHODIMP TEntryStreamAdapter::Seek(LARGE_INTEGER move, DWORD origin,
                                       ULARGE_INTEGER* position) {
  const int64_t size = static_cast<int64_t>(stream_.Size());
  int64_t base;
  switch (origin) {
    case STREAM_SEEK_SET: base = 0; break;
    case STREAM_SEEK_CUR: base = static_cast<int64_t>(stream_.Position()); break;
    case STREAM_SEEK_END: base = size; break;
    default: return STG_E_INVALIDFUNCTION;
  }
  const int64_t offset = move.QuadPart;
  // Overflow-safe: a target before the start is refused and leaves the position unchanged.
  if ((offset < 0 && base < -offset) || (offset > 0 && offset > INT64_MAX - base))
    return STG_E_INVALIDFUNCTION;
  const int64_t target = base + offset;
  stream_.Seek(target, SeekOrigin::Begin);
  if (position) position->QuadPart = static_cast<uint64_t>(stream_.Position());
  return S_OK;
}

STDMETHODIMP TEntryStreamAdapter::CopyTo(IStream* target, ULARGE_INTEGER count,
                                         ULARGE_INTEGER* read, ULARGE_INTEGER* written) {
  if (read) read->QuadPart = 0;
  if (written) written->QuadPart = 0;
  if (!target) return STG_E_INVALIDPOINTER;
  char buffer[16384];
  uint64_t left = count.QuadPart, total_read = 0, total_written = 0;
  while (left > 0) {
    ULONG chunk = static_cast<ULONG>(left < sizeof buffer ? left : sizeof buffer);
    size_t got = stream_.Read(buffer, chunk);
    if (got == 0) break;
    total_read += got;
    ULONG put = 0;
    HRESULT hr = target->Write(buffer, static_cast<ULONG>(got), &put);
    total_written += put;
    if (FAILED(hr)) {
      if (read) read->QuadPart = total_read;
      if (written) written->QuadPart = total_written;
      return hr;
    }
    left -= got;
  }
  if (read) read->QuadPart = total_read;
  if (written) written->QuadPart = total_written;
  return S_OK;
}

STDMETHODIMP TEntryStreamAdapter::Stat(STATSTG* stat, DWORD /*flags*/) {
  if (!stat) return STG_E_INVALIDPOINTER;
  ZeroMemory(stat, sizeof *stat);
  stat->pwcsName = nullptr;  // no name, whatever the flags ask: nothing for the caller to free
  stat->type = STGTY_STREAM;
  stat->cbSize.QuadPart = static_cast<uint64_t>(stream_.Size());
  stat->grfMode = STGM_READ;
  return S_OK;
}

STDMETHODIMP TEntryStreamAdapter::Clone(IStream** clone) {
  if (clone) *clone = nullptr;
  return E_NOTIMPL;
}

}  // namespace vellumo

// The web-browser control hosted in place in Vellumo's main window, and the host side of its
// OLE conversation: client site, in-place site and frame, the ambient download-control
// property and the document-host interfaces. Pages are loaded straight from a memory stream.
// When the platform has no HTML engine (the control gives no document), pages are shown as
// plain text in a read-only edit control in the browser's place.
#pragma once
#include <windows.h>
#include <ole2.h>
#include <exdisp.h>
#include <mshtmhst.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "common/win/handles.h"
#include "viewer/browser/application.h"
#include "viewer/page/win/page_view.h"

namespace vellumo {

class TEntryStream;

// The download-control flags, in set order, with the value each adds to the answer.
namespace download {
inline constexpr uint32_t kImages = 0x10, kVideos = 0x20, kBackgroundSounds = 0x40,
                          kNoScripts = 0x80, kNoJava = 0x100, kNoRunActiveX = 0x200,
                          kNoDownloadActiveX = 0x400, kDownloadOnly = 0x800,
                          kNoFrameDownload = 0x1000, kResynchronize = 0x2000,
                          kPragmaNoCache = 0x4000, kNoBehaviors = 0x8000,
                          kNoMetaCharset = 0x10000, kUrlEncodingDisableUtf8 = 0x20000,
                          kUrlEncodingEnableUtf8 = 0x40000, kForceOffline = 0x10000000,
                          kNoClientPull = 0x20000000, kSilent = 0x40000000,
                          kOffline = 0x80000000u;
// The 19 flags together: a set cannot hold anything else.
inline constexpr uint32_t kAllFlags = 0x7FFF0 | 0xF0000000u;
inline constexpr uint32_t kViewerDefault = kImages | kVideos | kBackgroundSounds;
}  // namespace download

// Dispatch ids of the control's properties that the host reads.
inline constexpr DISPID kDispidApplication = 200;
inline constexpr DISPID kDispidDocument = 203;
inline constexpr DISPID kDispidBusy = 212;
inline constexpr DISPID kDispidReadyState = -525;
inline constexpr DISPID kDispidAmbientDownloadControl = -5512;

// Wraps the platform's web-browser ActiveX control: creates it in place inside a container
// window and reads its properties through their dispatch ids.
class TBrowserControl {
 public:
  TBrowserControl(HWND parent, const RECT& bounds, int control_id);
  virtual ~TBrowserControl();
  TBrowserControl(const TBrowserControl&) = delete;
  TBrowserControl& operator=(const TBrowserControl&) = delete;

  // The container window: the browser's window (or the text view) fills it.
  HWND Handle() const { return container_; }
  void SetBounds(const RECT& bounds);
  // True when the control object was created and activated in place.
  bool ControlCreated() const { return static_cast<bool>(web_browser_); }
  // The browser's own window, or the container when the control has none.
  HWND BrowserWindow() const;

  win::ComPtr<IDispatch> Document() const;
  win::ComPtr<IDispatch> Application() const;
  bool Busy() const;
  long ReadyState() const;
  HRESULT Navigate2(const wchar_t* address);
  IWebBrowser2* WebBrowser() const { return web_browser_.get(); }
  IOleClientSite* ClientSite() const { return site_; }

 protected:
  // Called by the derived host before any other use: gives the control its site.
  void CreateControl(IOleClientSite* site);
  void DestroyControl();
  bool GetProperty(DISPID id, VARIANT* result) const;
  static LRESULT CALLBACK ContainerProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp);
  void Resized(LPARAM size);
  virtual void ContainerResized() {}

  HWND container_ = nullptr;
  IOleClientSite* site_ = nullptr;
  win::ComPtr<IOleObject> ole_object_;
  win::ComPtr<IWebBrowser2> web_browser_;
};

class TBrowserHost;

// The host's COM face: one object answering every interface the control asks its site for.
// It lives inside the host and is not freed by reference counting: the host outlives the
// control, which drops its site before the host goes.
// IOleInPlaceFrame and IDocHostUIHandler both have EnableModeless(BOOL) with different
// answers; these shims give each its own name.
struct TInPlaceFrameShim : public IOleInPlaceFrame {
  STDMETHODIMP EnableModeless(BOOL enable) final { return FrameEnableModeless(enable); }
  virtual HRESULT FrameEnableModeless(BOOL enable) = 0;
};
struct TDocHostUIHandlerShim : public IDocHostUIHandler {
  STDMETHODIMP EnableModeless(BOOL enable) final { return DocHostEnableModeless(enable); }
  virtual HRESULT DocHostEnableModeless(BOOL enable) = 0;
};

class TBrowserSite : public IOleClientSite,
                     public IOleInPlaceSite,
                     public TInPlaceFrameShim,
                     public TDocHostUIHandlerShim,
                     public IDocHostShowUI,
                     public IDispatch {
 public:
  explicit TBrowserSite(TBrowserHost* host) : host_(host) {}

  // IUnknown
  STDMETHODIMP QueryInterface(REFIID riid, void** out) override;
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
  STDMETHODIMP_(ULONG) Release() override { return refs_ > 1 ? --refs_ : 1; }

  // IOleClientSite
  STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
  STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** mk) override;
  STDMETHODIMP GetContainer(IOleContainer** container) override;
  STDMETHODIMP ShowObject() override { return S_OK; }
  STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
  STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

  // IOleWindow (shared by the in-place site and frame)
  STDMETHODIMP GetWindow(HWND* wnd) override;
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

  // IOleInPlaceSite
  STDMETHODIMP CanInPlaceActivate() override { return S_OK; }
  STDMETHODIMP OnInPlaceActivate() override { return S_OK; }
  STDMETHODIMP OnUIActivate() override { return S_OK; }
  STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc,
                                LPRECT pos, LPRECT clip, LPOLEINPLACEFRAMEINFO info) override;
  STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
  STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
  STDMETHODIMP OnInPlaceDeactivate() override { return S_OK; }
  STDMETHODIMP DiscardUndoState() override { return E_NOTIMPL; }
  STDMETHODIMP DeactivateAndUndo() override { return E_NOTIMPL; }
  STDMETHODIMP OnPosRectChange(LPCRECT) override { return S_OK; }

  // IOleInPlaceUIWindow / IOleInPlaceFrame: the host has no menus or tool space.
  STDMETHODIMP GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
  STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
  STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
  STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override { return S_OK; }
  STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return S_OK; }
  STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
  STDMETHODIMP RemoveMenus(HMENU) override { return S_OK; }
  STDMETHODIMP SetStatusText(LPCOLESTR) override { return S_OK; }
  HRESULT FrameEnableModeless(BOOL) override { return S_OK; }
  STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

  // IDocHostUIHandler
  STDMETHODIMP ShowContextMenu(DWORD id, POINT* pt, IUnknown* target, IDispatch* obj) override;
  STDMETHODIMP GetHostInfo(DOCHOSTUIINFO* info) override;
  STDMETHODIMP ShowUI(DWORD id, IOleInPlaceActiveObject* active, IOleCommandTarget* target,
                      IOleInPlaceFrame* frame, IOleInPlaceUIWindow* doc) override;
  STDMETHODIMP HideUI() override;
  STDMETHODIMP UpdateUI() override;
  HRESULT DocHostEnableModeless(BOOL enable) override;
  STDMETHODIMP OnDocWindowActivate(BOOL activate) override;
  STDMETHODIMP OnFrameWindowActivate(BOOL activate) override;
  STDMETHODIMP ResizeBorder(LPCRECT border, IOleInPlaceUIWindow* window,
                            BOOL frame_window) override;
  STDMETHODIMP TranslateAccelerator(LPMSG msg, const GUID* group, DWORD cmd) override;
  STDMETHODIMP GetOptionKeyPath(LPOLESTR* key, DWORD reserved) override;
  STDMETHODIMP GetDropTarget(IDropTarget* drop_target, IDropTarget** replacement) override;
  STDMETHODIMP GetExternal(IDispatch** external) override;
  STDMETHODIMP TranslateUrl(DWORD translate, LPWSTR url, LPWSTR* translated) override;
  STDMETHODIMP FilterDataObject(IDataObject* object, IDataObject** replacement) override;

  // IDocHostShowUI
  STDMETHODIMP ShowMessage(HWND wnd, LPOLESTR text, LPOLESTR caption, DWORD type,
                           LPOLESTR help_file, DWORD help_context, LRESULT* result) override;
  STDMETHODIMP ShowHelp(HWND wnd, LPOLESTR help_file, UINT command, DWORD data, POINT pt,
                        IDispatch* hit) override;

  // IDispatch: the ambient properties.
  STDMETHODIMP GetTypeInfoCount(UINT* count) override;
  STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
  STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid,
                             DISPID* ids) override;
  STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params,
                      VARIANT* result, EXCEPINFO* error, UINT* arg_error) override;

 private:
  TBrowserHost* host_;
  ULONG refs_ = 1;
};

// Optional replacements for the fixed answers, one per host method; the viewer sets none.
struct TBrowserHostEvents {
  std::function<HRESULT(DWORD, POINT*, IUnknown*, IDispatch*)> OnShowContextMenu;
  std::function<HRESULT(DOCHOSTUIINFO*)> OnGetHostInfo;
  std::function<HRESULT(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*, IOleInPlaceFrame*,
                        IOleInPlaceUIWindow*)>
      OnShowUI;
  std::function<HRESULT()> OnHideUI;
  std::function<HRESULT()> OnUpdateUI;
  std::function<HRESULT(BOOL)> OnEnableModeless;
  std::function<HRESULT(BOOL)> OnOnDocWindowActivate;
  std::function<HRESULT(BOOL)> OnOnFrameWindowActivate;
  std::function<HRESULT(LPCRECT, IOleInPlaceUIWindow*, BOOL)> OnResizeBorder;
  std::function<HRESULT(LPMSG, const GUID*, DWORD)> OnTranslateAccelerator;
  std::function<HRESULT(LPOLESTR*, DWORD)> OnGetOptionKeyPath;
  std::function<HRESULT(IDropTarget*, IDropTarget**)> OnGetDropTarget;
  std::function<HRESULT(IDispatch**)> OnGetExternal;
  std::function<HRESULT(DWORD, LPWSTR, LPWSTR*)> OnTranslateUrl;
  std::function<HRESULT(IDataObject*, IDataObject**)> OnFilterDataObject;
  std::function<HRESULT(HWND, LPOLESTR, LPOLESTR, DWORD, LPOLESTR, DWORD, LRESULT*)>
      OnShowMessage;
  std::function<HRESULT(HWND, LPOLESTR, UINT, DWORD, POINT, IDispatch*)> OnShowHelp;
  std::function<HRESULT(UINT*)> OnGetTypeInfoCount;
  std::function<HRESULT(UINT, LCID, ITypeInfo**)> OnGetTypeInfo;
  std::function<HRESULT(REFIID, LPOLESTR*, UINT, LCID, DISPID*)> OnGetIDsOfNames;
  std::function<HRESULT(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*)>
      OnInvoke;
};

class TBrowserHost : public TBrowserControl {
 public:
  TBrowserHost(HWND parent, const RECT& bounds, int control_id);
  ~TBrowserHost() override;

  uint32_t DownloadOptions() const { return download_options_; }
  // Keeps only the 19 known flags.
  void SetDownloadOptions(uint32_t flags) { download_options_ = flags & download::kAllFlags; }
  const std::string& HelpFile() const { return help_file_; }
  void SetHelpFile(const std::string& file) { help_file_ = file; }
  TBrowserHostEvents& Events() { return events_; }
  TBrowserSite& Site() { return site_; }

  // Shows the stream's bytes as the page; the stream stays owned by its owner. Returns the
  // status of the document's Load, or of the text view when there is no HTML engine.
  HRESULT LoadPage(TEntryStream& stream);
  // The same, naming the entry (as listed) so that the built-in view can place its links.
  HRESULT LoadPage(TEntryStream& stream, const std::string& entry_name);
  // Opens "about:blank" and waits until it is complete, at most BlankPageTimeout().
  void OpenBlankPage();
  void UIActivate();
  // Runs for every message the application's loop takes from its queue.
  void KeyboardHook(MSG& msg);

  // How long OpenBlankPage waits for the blank page (about 10 s by default).
  DWORD BlankPageTimeout() const { return blank_page_timeout_ms_; }
  void SetBlankPageTimeout(DWORD ms) { blank_page_timeout_ms_ = ms; }
  // The bound that new hosts start with (tests shorten it).
  static void SetDefaultBlankPageTimeout(DWORD ms);
  // True while pages go to the built-in view: for good once there is a definite sign of no
  // HTML engine, or for the one page whose blank-page wait ran out.
  bool ShowingText() const;
  // True once a definite sign said there is no HTML engine (the control could not be made,
  // Navigate2 refused the blank page, or the HTML document class cannot be created).
  bool NoHtmlEngine() const { return no_html_engine_; }
  // Replaces the test for the HTML document class (tests); nullptr puts the real one back.
  static void SetHtmlEngineProbe(bool (*probe)());
  // The built-in view's rich-edit control, once created.
  HWND TextView() const { return page_view_ ? page_view_->RichEdit() : nullptr; }
  TPageView* PageView() const { return page_view_.get(); }
  // The archive the built-in view reads pictures from and shows linked entries of.
  void SetPageArchive(const TPageArchive& archive);
  // Called whenever the host switches to or from the built-in view.
  std::function<void()> OnTextViewShown;
  // Number of OpenBlankPage runs so far (one per host when the engine works).
  int BlankPageOpenings() const { return blank_page_openings_; }

 private:
  friend class TBrowserSite;
  static void HookThunk(void* context, MSG& msg, bool* handled);
  HRESULT ShowAsText(TEntryStream& stream);
  void SetTextViewVisible(bool visible);
  void ContainerResized() override;

  TBrowserSite site_{this};
  TBrowserHostEvents events_;
  uint32_t download_options_ = download::kViewerDefault;
  std::string help_file_;
  TApplicationHook previous_hook_;
  DWORD blank_page_timeout_ms_;
  bool no_html_engine_ = false;
  bool blank_page_refused_ = false;  // Navigate2 failed for the blank page
  bool opening_blank_page_ = false;
  TEntryStream* pending_page_ = nullptr;  // the latest page asked for during the blank-page wait
  std::string page_name_, pending_page_name_;
  std::unique_ptr<TPageView> page_view_;
  TPageArchive page_archive_;
  int blank_page_openings_ = 0;
};

// Reads a TEntryStream for the document without owning it: releasing the adapter never frees
// the stream. Positions and sizes are those of the stream itself.
class TEntryStreamAdapter : public IStream {
 public:
  explicit TEntryStreamAdapter(TEntryStream& stream) : stream_(stream) {}
  virtual ~TEntryStreamAdapter() = default;

  STDMETHODIMP QueryInterface(REFIID riid, void** out) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  STDMETHODIMP Read(void* buffer, ULONG count, ULONG* read) override;
  STDMETHODIMP Write(const void*, ULONG, ULONG* written) override;
  STDMETHODIMP Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) override;
  STDMETHODIMP SetSize(ULARGE_INTEGER) override { return STG_E_ACCESSDENIED; }
  STDMETHODIMP CopyTo(IStream* target, ULARGE_INTEGER count, ULARGE_INTEGER* read,
                      ULARGE_INTEGER* written) override;
  STDMETHODIMP Commit(DWORD) override { return S_OK; }
  STDMETHODIMP Revert() override { return S_OK; }
  STDMETHODIMP LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
    return STG_E_INVALIDFUNCTION;
  }
  STDMETHODIMP UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
    return STG_E_INVALIDFUNCTION;
  }
  STDMETHODIMP Stat(STATSTG* stat, DWORD flags) override;
  STDMETHODIMP Clone(IStream** clone) override;

 private:
  TEntryStream& stream_;
  LONG refs_ = 1;
};

}  // namespace vellumo

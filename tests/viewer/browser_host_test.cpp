// The browser host's answers to the control, called as the control calls them, the stream
// adapter it hands to the document, and page loading into a real host window.
#include "viewer/browser/browser_host.h"

#include <gtest/gtest.h>

#include <string>

#include "viewer/archive/entry_stream.h"
#include "viewer/browser/application.h"
#include "viewer/browser/page_text.h"

namespace vellumo {
namespace {

const IID kIidDocHostUIHandler = {0xBD3F23C0, 0xD43E, 0x11CF,
                                  {0x89, 0x3B, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x1A}};
const IID kIidDocHostShowUI = {0xC4D244B0, 0xD43E, 0x11CF,
                               {0x89, 0x3B, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x1A}};

class OleEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { OleInitialize(nullptr); }
  void TearDown() override { OleUninitialize(); }
};
const auto* const kOle = ::testing::AddGlobalTestEnvironment(new OleEnvironment);

// A top-level window to host the control in, destroyed with the fixture.
class HostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    parent_ = CreateWindowExA(0, "STATIC", "host test", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                              400, 300, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(parent_, nullptr);
    host_ = std::make_unique<TBrowserHost>(parent_, RECT{0, 0, 400, 260}, 10);
    host_->SetBlankPageTimeout(3000);
  }
  void TearDown() override {
    host_.reset();
    DestroyWindow(parent_);
  }
  IDispatch* Ambient() { return static_cast<IDispatch*>(&host_->Site()); }

  HRESULT InvokeGet(DISPID id, WORD flags, VARIANT* result) {
    DISPPARAMS none{};
    return Ambient()->Invoke(id, IID_NULL, 0, flags, &none, result, nullptr, nullptr);
  }

  HWND parent_ = nullptr;
  std::unique_ptr<TBrowserHost> host_;
};

TEST_F(HostTest, DownloadControlAnswerIsTheSumOfTheFlags) {
  struct Case {
    uint32_t options;
    LONG answer;
  } cases[] = {
      {download::kViewerDefault, 0x70},
      {0, 0},
      {download::kNoScripts | download::kSilent, 0x40000080},
      {download::kAllFlags, static_cast<LONG>(0xF007FFF0u)},
      {0xFFFFFFFFu, static_cast<LONG>(0xF007FFF0u)},  // bits that are no flag are dropped
  };
  EXPECT_EQ(host_->DownloadOptions(), 0x70u) << "default";
  for (const Case& c : cases) {
    host_->SetDownloadOptions(c.options);
    VARIANT v;
    VariantInit(&v);
    EXPECT_EQ(InvokeGet(-5512, DISPATCH_PROPERTYGET, &v), S_OK);
    EXPECT_EQ(v.vt, VT_I4);
    EXPECT_EQ(v.lVal, c.answer) << std::hex << c.options;
  }
}

TEST_F(HostTest, OtherAmbientCallsAreNotMembers) {
  VARIANT v;
  VariantInit(&v);
  EXPECT_EQ(InvokeGet(-5513, DISPATCH_PROPERTYGET, &v), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(InvokeGet(-5512, DISPATCH_METHOD, &v), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(InvokeGet(-5512, DISPATCH_PROPERTYGET, nullptr), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(v.vt, VT_EMPTY);

  UINT count = 7;
  EXPECT_EQ(Ambient()->GetTypeInfoCount(&count), E_NOTIMPL);
  EXPECT_EQ(count, 0u);
  ITypeInfo* info = reinterpret_cast<ITypeInfo*>(1);
  EXPECT_EQ(Ambient()->GetTypeInfo(0, 0, &info), E_NOTIMPL);
  EXPECT_EQ(info, nullptr);
  LPOLESTR name = const_cast<LPOLESTR>(L"x");
  DISPID id = 0;
  EXPECT_EQ(Ambient()->GetIDsOfNames(IID_NULL, &name, 1, 0, &id), E_NOTIMPL);

  // An assigned event replaces the fixed answer.
  host_->Events().OnInvoke = [](DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* r,
                                EXCEPINFO*, UINT*) {
    r->vt = VT_I4;
    r->lVal = id;
    return S_OK;
  };
  EXPECT_EQ(InvokeGet(-5513, DISPATCH_PROPERTYGET, &v), S_OK);
  EXPECT_EQ(v.lVal, -5513);
}

TEST_F(HostTest, SiteAnswersTheInterfacesTheControlAsksFor) {
  IUnknown* site = static_cast<IOleClientSite*>(&host_->Site());
  const IID* wanted[] = {&IID_IUnknown,        &IID_IOleClientSite,  &IID_IOleWindow,
                         &IID_IOleInPlaceSite, &IID_IOleInPlaceFrame, &IID_IOleInPlaceUIWindow,
                         &kIidDocHostUIHandler, &kIidDocHostShowUI,  &IID_IDispatch};
  for (const IID* iid : wanted) {
    void* p = nullptr;
    EXPECT_EQ(site->QueryInterface(*iid, &p), S_OK);
    ASSERT_NE(p, nullptr);
    static_cast<IUnknown*>(p)->Release();
  }
  void* p = reinterpret_cast<void*>(1);
  EXPECT_EQ(site->QueryInterface(IID_IStream, &p), E_NOINTERFACE);
  EXPECT_EQ(p, nullptr);

  IOleInPlaceSite* in_place = nullptr;
  ASSERT_EQ(site->QueryInterface(IID_IOleInPlaceSite, reinterpret_cast<void**>(&in_place)), S_OK);
  HWND wnd = nullptr;
  EXPECT_EQ(in_place->GetWindow(&wnd), S_OK);
  EXPECT_EQ(wnd, host_->Handle());
  IOleInPlaceFrame* frame = nullptr;
  IOleInPlaceUIWindow* doc = reinterpret_cast<IOleInPlaceUIWindow*>(1);
  RECT pos{}, clip{};
  OLEINPLACEFRAMEINFO info{sizeof info};
  EXPECT_EQ(in_place->GetWindowContext(&frame, &doc, &pos, &clip, &info), S_OK);
  EXPECT_NE(frame, nullptr);
  EXPECT_EQ(doc, nullptr);
  EXPECT_EQ(pos.right, 400);
  EXPECT_EQ(pos.bottom, 260);
  EXPECT_EQ(info.hwndFrame, parent_);
  if (frame) frame->Release();
  in_place->Release();
}

TEST_F(HostTest, DocHostUIHandlerFixedAnswers) {
  IDocHostUIHandler* h = nullptr;
  ASSERT_EQ(host_->Site().QueryInterface(kIidDocHostUIHandler, reinterpret_cast<void**>(&h)), S_OK);
  POINT pt{};
  DOCHOSTUIINFO info{};
  info.cbSize = sizeof info;
  RECT rc{};
  MSG msg{};
  LPOLESTR key = reinterpret_cast<LPOLESTR>(1);
  IDropTarget* drop = reinterpret_cast<IDropTarget*>(1);
  IDispatch* external = reinterpret_cast<IDispatch*>(1);
  LPWSTR url_out = reinterpret_cast<LPWSTR>(1);
  IDataObject* data_out = reinterpret_cast<IDataObject*>(1);
  wchar_t url[] = L"about:blank";
  struct Row {
    const char* method;
    HRESULT got, expected;
  } rows[] = {
      {"ShowContextMenu", h->ShowContextMenu(0, &pt, nullptr, nullptr), S_FALSE},
      {"GetHostInfo", h->GetHostInfo(&info), S_FALSE},
      {"ShowUI", h->ShowUI(0, nullptr, nullptr, nullptr, nullptr), S_FALSE},
      {"HideUI", h->HideUI(), S_FALSE},
      {"UpdateUI", h->UpdateUI(), S_FALSE},
      {"EnableModeless", h->EnableModeless(TRUE), S_FALSE},
      {"OnDocWindowActivate", h->OnDocWindowActivate(TRUE), S_FALSE},
      {"OnFrameWindowActivate", h->OnFrameWindowActivate(TRUE), S_FALSE},
      {"ResizeBorder", h->ResizeBorder(&rc, nullptr, TRUE), S_FALSE},
      {"TranslateAccelerator", h->TranslateAccelerator(&msg, nullptr, 0), S_FALSE},
      {"GetOptionKeyPath", h->GetOptionKeyPath(&key, 0), S_FALSE},
      {"GetDropTarget", h->GetDropTarget(nullptr, &drop), S_OK},
      {"GetExternal", h->GetExternal(&external), S_FALSE},
      {"TranslateUrl", h->TranslateUrl(0, url, &url_out), S_FALSE},
      {"FilterDataObject", h->FilterDataObject(nullptr, &data_out), S_FALSE},
  };
  for (const Row& r : rows) EXPECT_EQ(r.got, r.expected) << r.method;
  EXPECT_EQ(key, nullptr);
  EXPECT_EQ(drop, nullptr);
  EXPECT_EQ(external, nullptr);
  EXPECT_EQ(url_out, nullptr);
  EXPECT_EQ(data_out, nullptr);

  host_->Events().OnShowContextMenu = [](DWORD, POINT*, IUnknown*, IDispatch*) { return S_OK; };
  EXPECT_EQ(h->ShowContextMenu(0, &pt, nullptr, nullptr), S_OK);
  h->Release();
}

TEST_F(HostTest, DocHostShowUIAnswers) {
  IDocHostShowUI* s = nullptr;
  ASSERT_EQ(host_->Site().QueryInterface(kIidDocHostShowUI, reinterpret_cast<void**>(&s)), S_OK);
  LRESULT result = 0;
  wchar_t text[] = L"t";
  EXPECT_EQ(s->ShowMessage(parent_, text, text, MB_OK, nullptr, 0, &result), S_FALSE);
  EXPECT_EQ(s->ShowHelp(parent_, nullptr, 0, 0, POINT{}, nullptr), S_FALSE);
  host_->SetHelpFile("Z:\\nowhere\\vellumo.chm");
  const UINT kCloseAll = 0x12;  // asks the help function to open nothing
  EXPECT_EQ(s->ShowHelp(parent_, nullptr, kCloseAll, 0, POINT{}, nullptr), S_OK);
  s->Release();
}

TEST(EntryStreamAdapter, ReadSeekStatFollowTheStream) {
  TEntryStream stream;
  ASSERT_TRUE(stream.SetSize(10));
  memcpy(stream.Memory(), "0123456789", 10);
  stream.Seek(0, SeekOrigin::Begin);
  const void* block = stream.Memory();
  auto* adapter = new TEntryStreamAdapter(stream);
  IStream* s = adapter;

  char buf[16] = {};
  ULONG got = 0;
  EXPECT_EQ(s->Read(buf, 4, &got), S_OK);
  EXPECT_EQ(got, 4u);
  EXPECT_EQ(std::string(buf, 4), "0123");
  EXPECT_EQ(stream.Position(), 4u);

  struct SeekCase {
    LONGLONG move;
    DWORD origin;
    HRESULT hr;
    ULONGLONG position;
  } seeks[] = {
      {2, STREAM_SEEK_CUR, S_OK, 6},
      {-3, STREAM_SEEK_END, S_OK, 7},
      {0, STREAM_SEEK_SET, S_OK, 0},
      {-1, STREAM_SEEK_SET, STG_E_INVALIDFUNCTION, 0},  // before the start: refused, unmoved
      {5, STREAM_SEEK_SET, S_OK, 5},
      {-6, STREAM_SEEK_CUR, STG_E_INVALIDFUNCTION, 5},
      {INT64_MAX, STREAM_SEEK_END, STG_E_INVALIDFUNCTION, 5},
      {1, 7, STG_E_INVALIDFUNCTION, 5},  // no such origin
      {6, STREAM_SEEK_SET, S_OK, 6},
  };
  for (const SeekCase& c : seeks) {
    LARGE_INTEGER move;
    move.QuadPart = c.move;
    ULARGE_INTEGER pos;
    pos.QuadPart = 999;
    EXPECT_EQ(s->Seek(move, c.origin, &pos), c.hr) << c.move << " from " << c.origin;
    if (c.hr == S_OK) EXPECT_EQ(pos.QuadPart, c.position);
    EXPECT_EQ(stream.Position(), c.position);
  }
  // A read past the end gives what is left and says so.
  EXPECT_EQ(s->Read(buf, 10, &got), S_FALSE);
  EXPECT_EQ(got, 4u);
  EXPECT_EQ(std::string(buf, 4), "6789");
  EXPECT_EQ(s->Read(buf, 10, &got), S_FALSE);
  EXPECT_EQ(got, 0u);

  STATSTG st;
  EXPECT_EQ(s->Stat(&st, STATFLAG_DEFAULT), S_OK);
  EXPECT_EQ(st.type, static_cast<DWORD>(STGTY_STREAM));
  EXPECT_EQ(st.cbSize.QuadPart, 10u);
  EXPECT_EQ(st.pwcsName, nullptr);

  ULONG written = 5;
  EXPECT_EQ(s->Write("x", 1, &written), STG_E_ACCESSDENIED);
  EXPECT_EQ(written, 0u);
  IStream* clone = reinterpret_cast<IStream*>(1);
  EXPECT_EQ(s->Clone(&clone), E_NOTIMPL);
  EXPECT_EQ(clone, nullptr);

  ISequentialStream* seq = nullptr;
  EXPECT_EQ(s->QueryInterface(IID_ISequentialStream, reinterpret_cast<void**>(&seq)), S_OK);
  seq->Release();
  // The last reference frees the adapter, never the stream under it.
  EXPECT_EQ(s->Release(), 0u);
  EXPECT_EQ(stream.Size(), 10u);
  EXPECT_EQ(stream.Memory(), block);
  EXPECT_EQ(memcmp(stream.Memory(), "0123456789", 10), 0);
}

TEST(EntryStreamAdapter, EmptyStreamReadsNothing) {
  TEntryStream stream;
  auto* adapter = new TEntryStreamAdapter(stream);
  char buf[4];
  ULONG got = 9;
  EXPECT_EQ(adapter->Read(buf, sizeof buf, &got), S_FALSE);
  EXPECT_EQ(got, 0u);
  STATSTG st;
  EXPECT_EQ(adapter->Stat(&st, STATFLAG_NONAME), S_OK);
  EXPECT_EQ(st.cbSize.QuadPart, 0u);
  adapter->Release();
}

std::string WindowText(HWND wnd) {
  std::string text(static_cast<size_t>(GetWindowTextLengthA(wnd)) + 1, '\0');
  text.resize(static_cast<size_t>(GetWindowTextA(wnd, &text[0], static_cast<int>(text.size()))));
  return text;
}

void Fill(TEntryStream& stream, const std::string& bytes) {
  stream.Clear();
  if (!bytes.empty()) {
    stream.SetSize(bytes.size());
    memcpy(stream.Memory(), bytes.data(), bytes.size());
  }
  stream.Seek(static_cast<int64_t>(bytes.size()), SeekOrigin::Begin);  // LoadPage rewinds
}

// Wine has no HTML engine here: the host must see that no document comes and show the bytes
// as text. With a working engine the page goes to the document instead.
TEST_F(HostTest, PagesReachTheDocumentOrTheTextView) {
  TEntryStream stream;
  const std::string pages[] = {"<html><body>first page</body></html>\n", "",
                               std::string("plain\ntext\0with nul", 19)};
  // Without an HTML engine, the built-in view: the page formatted, text as it is.
  const std::string shown[] = {"first page", "", TextForDisplay(pages[2].data(), pages[2].size())};
  const DWORD start = GetTickCount();
  for (size_t i = 0; i < 3; ++i) {
    const std::string& page = pages[i];
    Fill(stream, page);
    const HRESULT hr = host_->LoadPage(stream);
    EXPECT_EQ(host_->BlankPageOpenings(), 1) << "only the first page opens the blank page";
    if (host_->ShowingText()) {
      EXPECT_EQ(hr, S_OK);
      ASSERT_NE(host_->TextView(), nullptr);
      EXPECT_EQ(WindowText(host_->TextView()), shown[i]);
      LONG style = GetWindowLongA(host_->TextView(), GWL_STYLE);
      EXPECT_TRUE(style & ES_READONLY);
    } else {
      EXPECT_TRUE(host_->Document());
    }
    EXPECT_EQ(stream.Size(), page.size()) << "the host leaves the stream as it was";
  }
  // The wait for the blank page is bounded; a control that loads nothing ends it early.
  EXPECT_LT(GetTickCount() - start, 3000u + 1000u);
  printf("browser control created: %d, text view: %d, three pages in %lu ms\n",
         host_->ControlCreated(), host_->ShowingText(),
         static_cast<unsigned long>(GetTickCount() - start));
}

TBrowserHost* g_host_in_wait = nullptr;
TEntryStream* g_second_page = nullptr;
void CALLBACK AskForSecondPage(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  if (g_host_in_wait) g_host_in_wait->LoadPage(*g_second_page);
}

// A page asked for while the first one waits for the blank page (a click let through by the
// wait) is the one shown when the wait is over; the blank page is opened once.
TEST_F(HostTest, PageAskedForDuringTheBlankPageWaitIsShownAfterIt) {
  TEntryStream first, second;
  Fill(first, "first");
  Fill(second, "second");
  g_host_in_wait = host_.get();
  g_second_page = &second;
  SetTimer(nullptr, 0, 50, AskForSecondPage);
  host_->LoadPage(first);
  g_host_in_wait = nullptr;
  EXPECT_EQ(host_->BlankPageOpenings(), 1);
  if (!host_->ShowingText()) GTEST_SKIP() << "an HTML engine is installed";
  EXPECT_EQ(WindowText(host_->TextView()), "second");
}

bool EnginePresent() { return true; }

// A blank-page wait that runs out is no sign that the engine is missing (a real engine may
// start slowly): that page is shown as text, and the next page tries the document again.
// Under Wine the document class cannot be created, which is the definite sign.
TEST_F(HostTest, OnlyADefiniteSignSwitchesToTextForGood) {
  TEntryStream first, second;
  Fill(first, "first");
  Fill(second, "second");
  host_->SetBlankPageTimeout(200);
  TBrowserHost::SetHtmlEngineProbe(&EnginePresent);
  host_->LoadPage(first);
  const bool document = static_cast<bool>(host_->Document());
  host_->LoadPage(second);
  TBrowserHost::SetHtmlEngineProbe(nullptr);
  if (document) GTEST_SKIP() << "an HTML engine is installed";
  EXPECT_FALSE(host_->NoHtmlEngine());
  EXPECT_EQ(host_->BlankPageOpenings(), 2) << "the second page tried the document again";
  EXPECT_TRUE(host_->ShowingText());
  EXPECT_EQ(WindowText(host_->TextView()), "second");

  // The real test of the document class decides at the next page, for good.
  host_->LoadPage(first);
  EXPECT_EQ(host_->BlankPageOpenings(), 3);
  EXPECT_TRUE(host_->NoHtmlEngine());
  host_->LoadPage(second);
  EXPECT_EQ(host_->BlankPageOpenings(), 3);
  EXPECT_EQ(WindowText(host_->TextView()), "second");
}

TEST_F(HostTest, BlankPageWaitEndsAtItsBound) {
  host_->SetBlankPageTimeout(200);
  const DWORD start = GetTickCount();
  host_->OpenBlankPage();
  EXPECT_LT(GetTickCount() - start, 800u);
}

TEST_F(HostTest, TextViewFollowsTheHostSize) {
  TEntryStream stream;
  Fill(stream, "x");
  host_->LoadPage(stream);
  if (!host_->ShowingText()) GTEST_SKIP() << "an HTML engine is installed";
  host_->SetBounds(RECT{0, 0, 300, 200});
  RECT rc;
  GetWindowRect(host_->TextView(), &rc);
  EXPECT_EQ(rc.right - rc.left, 300);
  EXPECT_EQ(rc.bottom - rc.top, 200);
}

void CountingHook(void* context, MSG&, bool*) { ++*static_cast<int*>(context); }

TEST(BrowserHostHook, InstalledForItsLifeAndPreviousPutBack) {
  int previous_calls = 0;
  SetApplicationMessageHook({&CountingHook, &previous_calls});
  HWND parent = CreateWindowExA(0, "STATIC", "", WS_OVERLAPPEDWINDOW, 0, 0, 200, 200, nullptr,
                                nullptr, GetModuleHandleA(nullptr), nullptr);
  {
    TBrowserHost host(parent, RECT{0, 0, 200, 200}, 10);
    EXPECT_EQ(ApplicationMessageHook().context, &host);
    // Keys for the browser area are never marked handled, and the hook it replaced is not called.
    for (UINT key : {UINT(VK_TAB), UINT(VK_BACK), UINT(VK_LEFT), UINT(VK_RIGHT), UINT('A')}) {
      MSG msg{};
      msg.hwnd = host.BrowserWindow();
      msg.message = WM_KEYDOWN;
      msg.wParam = key;
      EXPECT_FALSE(CallApplicationMessageHook(msg)) << key;
      MSG other{};
      other.hwnd = parent;
      other.message = WM_KEYUP;
      other.wParam = key;
      EXPECT_FALSE(CallApplicationMessageHook(other)) << key;
    }
    EXPECT_EQ(previous_calls, 0);
  }
  EXPECT_EQ(ApplicationMessageHook().context, &previous_calls);
  MSG msg{};
  msg.hwnd = parent;
  CallApplicationMessageHook(msg);
  EXPECT_EQ(previous_calls, 1);
  SetApplicationMessageHook({});
  DestroyWindow(parent);
}

}  // namespace
}  // namespace vellumo

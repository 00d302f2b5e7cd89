// Vellumo's main window for real under Wine: command lines, the sorted list, the arrow
// buttons, passwords, the open dialog, the credit box and the layout. Archives are made by
// make-fixtures.sh with Info-ZIP zip; VUnzip.dll sits next to this program (or, for the
// missing-library build, does not).
#include "viewer/form1.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <new>
#include <memory>
#include <string>
#include <vector>

#include "box_watcher.h"
#include "viewer/archive/win/archive.h"
#include "viewer/browser/application.h"
#include "viewer/browser/page_text.h"
#include "viewer/form_logic.h"
#include "viewer/list_fill.h"
#include "viewer/page/page_document.h"
#include "viewer/page/win/page_view.h"
#include "viewer/texts.h"
#include <richedit.h>

// While nonzero, every allocation of at least this many bytes fails as when memory runs out.
static size_t g_fail_allocations_from = 0;

void* operator new(size_t size) {
  if (g_fail_allocations_from != 0 && size >= g_fail_allocations_from) throw std::bad_alloc();
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }

namespace vellumo {
namespace {

test::BoxWatcher* g_boxes = nullptr;

class Environment : public ::testing::Environment {
 public:
  void SetUp() override {
    OleInitialize(nullptr);
    SetApplicationTitle(texts::kApplicationTitle);
    TBrowserHost::SetDefaultBlankPageTimeout(3000);
    g_boxes = new test::BoxWatcher;
  }
  void TearDown() override {
    delete g_boxes;
    OleUninitialize();
  }
};
const auto* const kEnv = ::testing::AddGlobalTestEnvironment(new Environment);

// Fixture archives as the program sees them: Z:\ followed by the Unix path.
std::string Fixture(const std::string& name) {
  const char* dir = getenv("VELLUMO_BINARY_DIR");
  std::string path = std::string("Z:") + (dir ? dir : "") + "/tests/viewer/fixtures/" + name;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

std::string Text(HWND wnd) {
  std::string text(static_cast<size_t>(GetWindowTextLengthA(wnd)) + 1, '\0');
  text.resize(static_cast<size_t>(GetWindowTextA(wnd, &text[0], static_cast<int>(text.size()))));
  return text;
}

void Pump(DWORD ms = 50) {
  const DWORD start = GetTickCount();
  do {
    ProcessPendingMessages();
    Sleep(5);
  } while (GetTickCount() - start < ms);
}

struct Window {
  explicit Window(const std::string& command_line) {
    g_boxes->Take();
    form = std::make_unique<TForm1>(command_line, false);
    ShowWindow(form->Handle(), SW_SHOWNORMAL);
    Pump();
  }
  std::vector<std::string> Items() const {
    std::vector<std::string> items;
    int count = static_cast<int>(SendMessageA(form->ComboBox1, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
      char buf[1024] = "";
      SendMessageA(form->ComboBox1, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(buf));
      items.push_back(buf);
    }
    return items;
  }
  int Selected() const {
    return static_cast<int>(SendMessageA(form->ComboBox1, CB_GETCURSEL, 0, 0));
  }
  std::string Caption() const { return Text(form->Handle()); }
  // What the page area shows: the text view's text, or "" when nothing was shown yet.
  std::string Shown() const {
    HWND view = form->BrowserHost1 ? form->BrowserHost1->TextView() : nullptr;
    return view ? Text(view) : std::string();
  }
  void MarkShown(const char* marker) {
    if (form->BrowserHost1->TextView()) SetWindowTextA(form->BrowserHost1->TextView(), marker);
  }
  void Click(HWND button) {
    SendMessageA(button, BM_CLICK, 0, 0);
    Pump();
  }
  // The user picks item `index` in the list.
  void Pick(int index) {
    SendMessageA(form->ComboBox1, CB_SETCURSEL, index, 0);
    SendMessageA(form->Panel1, WM_COMMAND, MAKEWPARAM(kIdComboBox1, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(form->ComboBox1));
    Pump();
  }
  // The user types `text` over the combo box's text.
  void Type(const std::string& text) {
    SetWindowTextA(form->ComboBox1, text.c_str());
    SendMessageA(form->Panel1, WM_COMMAND, MAKEWPARAM(kIdComboBox1, CBN_EDITCHANGE),
                 reinterpret_cast<LPARAM>(form->ComboBox1));
    Pump();
  }
  std::unique_ptr<TForm1> form;
};

std::string Display(const std::string& bytes) { return TextForDisplay(bytes.data(), bytes.size()); }

// The caption is the same whichever view shows the page.
std::string ShownCaption(const Window&, const std::string& caption) { return caption; }

const std::vector<std::string> kPlainSorted = {"alpha.txt", "Beta.txt", "delta.txt", "Gamma.html",
                                               "sub\\Echo.txt"};
const char* const kPlainBytes[] = {"alpha line 1\nalpha line 2\n", "Beta, with CR LF\r\nsecond\r\n",
                                   "delta", "<html><body><p>Gamma page</p></body></html>\n",
                                   "echo inside a folder\n"};

// What the view shows for each entry: text as it is, the page formatted (no HTML engine here).
std::string PlainShown(int index) {
  return index == 3 ? "Gamma page" : Display(kPlainBytes[index]);
}

#ifndef VELLUMO_NO_UNZIP_DLL

TEST(Form, CommandLines) {
  struct Case {
    std::string name, line, caption;
    std::vector<std::string> items;
    std::string edit1, shown;
  } cases[] = {
      {"no argument", "vellumo.exe", texts::kCaptionAtRest, {}, "", ""},
      {"other extension", "vellumo.exe book.rar pw", texts::kCaptionAtRest, {}, "", ""},
      {"extension of a folder", "vellumo.exe " + Fixture("") + "x.zip\\book pw",
       texts::kCaptionAtRest, {}, "", ""},
      {"missing file", "vellumo.exe " + Fixture("absent.zip") + " pw", Fixture("absent.zip"), {},
       "pw", ""},
      {"plain", "vellumo.exe " + Fixture("plain.zip"), Fixture("plain.zip"), kPlainSorted, "",
       PlainShown(0)},
      {"capital extension", "vellumo.exe " + Fixture("PLAIN-UPPER.ZIP"),
       Fixture("PLAIN-UPPER.ZIP"), kPlainSorted, "", PlainShown(0)},
      {"quoted blanks", "\"C:\\a b\\vellumo.exe\" \"" + Fixture("with blanks.zip") + "\" \"p w\"",
       Fixture("with blanks.zip"), kPlainSorted, "p w", PlainShown(0)},
      {"empty archive", "vellumo.exe " + Fixture("empty.zip"), Fixture("empty.zip"), {}, "", ""},
      {"folders only", "vellumo.exe " + Fixture("folders.zip"), Fixture("folders.zip"), {}, "",
       ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Window w(c.line);
    EXPECT_EQ(w.Caption(), ShownCaption(w, c.caption));
    EXPECT_EQ(w.form->BaseCaption(), c.caption);
    EXPECT_EQ(w.Items(), c.items);
    EXPECT_EQ(Text(w.form->Edit1), c.edit1);
    EXPECT_EQ(w.Shown(), c.shown);
    EXPECT_EQ(w.Selected(), c.items.empty() ? -1 : 0);
    EXPECT_EQ(g_boxes->TakeTexts(), std::vector<std::string>{});
  }
}

TEST(Form, UnreadableArchiveIsReportedAndLeavesTheCaptionEmpty) {
  Window w("vellumo.exe " + Fixture("broken.zip"));
  std::vector<test::SeenBox> boxes = g_boxes->Take();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, "Vellumo");
  EXPECT_EQ(boxes[0].text, w.form->Archive1.LastMessage());
  EXPECT_FALSE(boxes[0].text.empty());
  EXPECT_EQ(w.form->BaseCaption(), "");
  EXPECT_TRUE(w.Items().empty());
}

TEST(Form, ArrowButtonsWrapAroundTheSortedList) {
  Window w("vellumo.exe " + Fixture("plain.zip"));
  ASSERT_EQ(w.Items(), kPlainSorted);
  // ">>>" walks the list and wraps to the first; each step shows that entry.
  for (int step = 1; step <= 6; ++step) {
    w.Click(w.form->Button2);
    int expected = step % 5;
    EXPECT_EQ(w.Selected(), expected);
    EXPECT_EQ(w.Shown(), PlainShown(expected)) << step;
  }
  // "<<<" from the first wraps to the last.
  w.Pick(0);
  EXPECT_EQ(w.Shown(), PlainShown(0));
  w.Click(w.form->Button1);
  EXPECT_EQ(w.Selected(), 4);
  EXPECT_EQ(w.Shown(), PlainShown(4));
  w.Click(w.form->Button1);
  EXPECT_EQ(w.Selected(), 3);
  // Nothing selected: "<<<" takes the last item, ">>>" the first.
  SendMessageA(w.form->ComboBox1, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
  w.Click(w.form->Button1);
  EXPECT_EQ(w.Selected(), 4);
  SendMessageA(w.form->ComboBox1, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
  w.Click(w.form->Button2);
  EXPECT_EQ(w.Selected(), 0);
  EXPECT_EQ(w.Shown(), PlainShown(0));
  // A pick from the list shows the picked entry.
  w.Pick(3);
  EXPECT_EQ(w.Shown(), PlainShown(3));
  EXPECT_EQ(w.Caption(), ShownCaption(w, Fixture("plain.zip")));
  EXPECT_EQ(g_boxes->TakeTexts(), std::vector<std::string>{});
}

TEST(Form, OneEntryIsShownAgainByBothArrows) {
  Window w("vellumo.exe " + Fixture("one.zip"));
  ASSERT_EQ(w.Items(), std::vector<std::string>{"only.txt"});
  for (HWND button : {w.form->Button1, w.form->Button2}) {
    w.MarkShown("stale");
    w.Click(button);
    EXPECT_EQ(w.Selected(), 0);
    EXPECT_EQ(w.Shown(), Display("the only entry\n"));  // extracted again
  }
}

TEST(Form, EncryptedEntryWaitsForASelectionAndUsesThePassword) {
  Window w("vellumo.exe " + Fixture("encrypted.zip"));
  EXPECT_EQ(w.form->BaseCaption(), Fixture("encrypted.zip") + " encrypted,please enter pass");
  EXPECT_EQ(w.Items(), (std::vector<std::string>{"open.txt", "secret.txt"}));
  EXPECT_TRUE(w.form->AutoShowSuppressed());
  EXPECT_EQ(w.Selected(), -1);
  EXPECT_EQ(w.Shown(), "");
  EXPECT_EQ(w.form->CurrentPage()->Size(), 0u);

  // The plain entry needs no password.
  w.Pick(0);
  EXPECT_EQ(w.Shown(), Display("open text\n"));
  // A password typed after opening takes effect at the next selection.
  SetWindowTextA(w.form->Edit1, "s3cret");
  w.Pick(1);
  EXPECT_EQ(w.Shown(), Display("the secret text\n"));
  EXPECT_EQ(g_boxes->TakeTexts(), std::vector<std::string>{});
  EXPECT_EQ(w.Caption(),
            ShownCaption(w, Fixture("encrypted.zip") + " encrypted,please enter pass"));
}

TEST(Form, WrongPasswordAsksThePromptAndCancelKeepsThePreviousPage) {
  Window w("vellumo.exe " + Fixture("encrypted.zip") + " wrong");
  EXPECT_EQ(Text(w.form->Edit1), "wrong");
  w.Pick(0);
  ASSERT_EQ(w.Shown(), Display("open text\n"));
  // The prompt gets the right password.
  g_boxes->QueueAnswer({"s3cret", IDOK});
  w.Pick(1);
  EXPECT_EQ(w.Shown(), Display("the secret text\n"));
  std::vector<test::SeenBox> boxes = g_boxes->Take();
  ASSERT_FALSE(boxes.empty());
  EXPECT_EQ(boxes[0].caption, "Password");
  // Cancelled prompts: no stream; the previous page stays and the buttons keep working.
  w.Pick(0);
  w.MarkShown("previous page");
  g_boxes->ClearAnswers();
  for (int i = 0; i < 20; ++i) g_boxes->QueueAnswer({"", IDCANCEL});
  w.Pick(1);
  EXPECT_EQ(w.Shown(), "previous page");
  g_boxes->ClearAnswers();
  g_boxes->Take();
  w.Click(w.form->Button1);
  EXPECT_EQ(w.Selected(), 0);
  EXPECT_EQ(w.Shown(), Display("open text\n"));
}

TEST(Form, AesEncryptedPageShownAfterThePasswordPrompt) {
  Window w("vellumo.exe " + Fixture("aes.zip"));
  EXPECT_EQ(w.form->BaseCaption(), Fixture("aes.zip") + " encrypted,please enter pass");
  EXPECT_EQ(w.Items(), std::vector<std::string>{"aes-page.html"});
  EXPECT_EQ(w.Shown(), "");
  // A wrong answer first: the verifier refuses it and the prompt comes again.
  g_boxes->QueueAnswer({"wrong", IDOK});
  g_boxes->QueueAnswer({"s3cret", IDOK});
  w.Pick(0);
  EXPECT_EQ(w.Shown(), "AES page");  // the built-in view formats the page
  std::vector<test::SeenBox> boxes = g_boxes->Take();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].caption, "Password");
  EXPECT_EQ(boxes[1].caption, "Password");
}

TEST(Form, CommandLinePasswordOpensTheEncryptedEntry) {
  Window w("vellumo.exe " + Fixture("encrypted.zip") + " s3cret");
  w.Pick(1);
  EXPECT_EQ(w.Shown(), Display("the secret text\n"));
  EXPECT_EQ(w.form->Archive1.Password(), "s3cret");
  EXPECT_EQ(g_boxes->TakeTexts(), std::vector<std::string>{});
}

TEST(Form, PasswordIsCutTo255Characters) {
  Window w("vellumo.exe " + Fixture("one.zip"));
  std::string long_password(300, 'p');
  SetWindowTextA(w.form->Edit1, long_password.c_str());
  w.Click(w.form->Button2);
  EXPECT_EQ(w.form->Archive1.Password(), std::string(255, 'p'));
}

TEST(Form, TypedNamesAreExtractedAndAnEmptyNameIsReported) {
  Window w("vellumo.exe " + Fixture("plain.zip"));
  w.Type("DELTA.TXT");  // the component finds names without regard to case
  EXPECT_EQ(w.Shown(), Display("delta"));
  w.Type("no such entry");
  EXPECT_EQ(w.Shown(), Display("delta"));
  EXPECT_EQ(g_boxes->TakeTexts(), std::vector<std::string>{});
  w.Type("");
  EXPECT_EQ(g_boxes->TakeTexts(),
            std::vector<std::string>{"Fatal Error in VUNZIP.DLL: abort exception"});
  EXPECT_EQ(w.Shown(), Display("delta"));
  // The buttons still work; typing leaves the list's selection where the platform keeps it.
  const int next = NextIndex(w.Selected(), 5);
  w.Click(w.form->Button2);
  EXPECT_EQ(w.Selected(), next);
  EXPECT_EQ(w.Shown(), PlainShown(next));
}

TEST(Form, OpenButtonListsTheChosenArchiveOrTheCurrentOneAgain) {
  Window w("vellumo.exe " + Fixture("plain.zip"));
  SetWindowTextA(w.form->Edit1, "kept");
  std::string chosen = Fixture("one.zip");
  w.form->OnChooseArchive = [&](std::string* path) {
    *path = chosen;
    return true;
  };
  w.Click(w.form->Button3);
  EXPECT_EQ(w.Items(), std::vector<std::string>{"only.txt"});
  EXPECT_EQ(w.form->BaseCaption(), Fixture("one.zip"));
  EXPECT_EQ(w.Shown(), Display("the only entry\n"));
  EXPECT_EQ(Text(w.form->Edit1), "kept");

  // A cancel lists the open archive again and shows its first entry again.
  w.form->OnChooseArchive = [](std::string*) { return false; };
  w.MarkShown("stale");
  w.Click(w.form->Button3);
  EXPECT_EQ(w.Items(), std::vector<std::string>{"only.txt"});
  EXPECT_EQ(w.Shown(), Display("the only entry\n"));
}

TEST(Form, RealOpenDialogCancelled) {
  Window w("vellumo.exe " + Fixture("one.zip"));
  g_boxes->QueueAnswer({"", IDCANCEL});
  w.MarkShown("stale");
  w.Click(w.form->Button3);
  std::vector<test::SeenBox> boxes = g_boxes->Take();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].window_class, "#32770");
  EXPECT_EQ(w.Items(), std::vector<std::string>{"only.txt"});
  EXPECT_EQ(w.Shown(), Display("the only entry\n"));
}

TEST(Form, CloseDuringTheFirstPageWaitsForItsEnd) {
  Window w("vellumo.exe");
  HWND wnd = w.form->Handle();
  w.form->OnChooseArchive = [&](std::string* path) {
    *path = Fixture("plain.zip");
    PostMessageA(wnd, WM_CLOSE, 0, 0);  // handled while the entry is extracted and shown
    return true;
  };
  SendMessageA(w.form->Button3, BM_CLICK, 0, 0);
  Pump(500);
  EXPECT_FALSE(IsWindow(wnd));
  EXPECT_EQ(w.form->Handle(), nullptr);
  EXPECT_FALSE(TArchive::UnzipLibraryLoaded());
  EXPECT_EQ(g_boxes->TakeTexts(), std::vector<std::string>{});
}

// The fast fill lists names as adding each one with CB_ADDSTRING does: names its byte-wise
// stand-in orders right, names it gets wrong (ignored hyphens and apostrophes, accents, the
// sharp s against "ss"), and so many wrong ones that it sorts everything the slow way.
// Names that compare equal (letter case only) come in the order the control's own insertion
// gives them, which depends on the order they are added in.
TEST(Form, FastFillListsNamesInTheControlsOwnOrder) {
  auto make_combo = [] {
    return CreateWindowA("COMBOBOX", "", WS_VSCROLL | CBS_DROPDOWN | CBS_SORT, 0, 0, 200, 200,
                         nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  };
  auto items = [](HWND combo) {
    std::vector<std::string> out;
    int count = static_cast<int>(SendMessageA(combo, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
      char buf[256] = "";
      SendMessageA(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(buf));
      out.push_back(buf);
    }
    return out;
  };
  const std::vector<std::string> tricky = {
      "co-op.txt", "coop.txt", "co op.txt", "co_op.txt", "it's.txt", "its.txt", "Zeta.txt",
      "zeta2.txt", "\xE9t\xE9.txt", "ete.txt", "\xC9te.txt", "f\xFC\xDF.txt", "fuss.txt",
      "file10.txt", "file9.txt", "file-10.txt", "[x].txt", "~x.txt", "!x.txt", "sub\\a.txt",
      "sub-a.txt", "suba.txt", "Sub\\B.txt", "1.txt", "_1.txt", "\xE6on.txt", "aeoo.txt"};
  std::vector<std::string> plain = tricky, misplaced;
  static const char* const kWords[] = {"Report", "index", "docs\\", "2020", "img", "a_b", "x-y", "Q"};
  unsigned seed = 12345;
  auto next = [&seed] { return (seed = seed * 1103515245u + 12345u) >> 8; };
  for (int i = 0; i < 3000; ++i) {
    std::string name;
    for (int part = 0; part < 4; ++part) name += kWords[next() % 8];
    plain.push_back(name + std::to_string(i) + ".htm");
  }
  for (int i = 0; i < 300; ++i) {
    misplaced.push_back("\xDF" + std::to_string(i % 10) + "b" + std::to_string(i));
    misplaced.push_back("ss" + std::to_string(i % 10) + "a" + std::to_string(i));
  }
  // Equal names: pairs, a run of many variants of one name, and variants among plain names.
  std::vector<std::string> equal = {"Readme.txt", "README.TXT"};
  std::vector<std::string> variants, mixed = plain;
  for (int i = 0; i < 200; ++i) {
    std::string name = "readme-file.txt";
    for (char& ch : name)
      if (next() % 2 && ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
    variants.push_back(name);
    if (i % 3 == 0) mixed.push_back(name);
    if (i % 5 == 0) mixed.push_back(plain[static_cast<size_t>(i)]);  // the same name twice
  }
  struct Case {
    const char* name;
    std::vector<std::string> names;
    bool shuffle;
  } cases[] = {{"tricky", tricky, true},
               {"mostly plain", plain, true},
               {"many misplaced", misplaced, true},
               {"case pair in directory order", equal, false},
               {"case pair reversed", {equal[1], equal[0]}, false},
               {"one name in many letter cases", variants, true},
               {"equal names among plain ones", mixed, true}};
  for (Case& c : cases) {
    for (size_t i = c.names.size(); c.shuffle && i > 1; --i)
      std::swap(c.names[i - 1], c.names[next() % i]);
    HWND added = make_combo(), filled = make_combo();
    ASSERT_TRUE(added && filled);
    std::vector<const char*> names;
    for (const std::string& name : c.names) {
      SendMessageA(added, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
      names.push_back(name.c_str());
    }
    FillSortedList(filled, &names);
    EXPECT_EQ(items(filled), items(added)) << c.name;
    DestroyWindow(added);
    DestroyWindow(filled);
  }
}

// The window lists an archive's case-only-differing names as the platform's sorted combo box
// does when they are added one by one in directory order, and shows the first of them in
// directory order for either.
TEST(Form, CaseOnlyDifferingNamesKeepTheOneByOneOrder) {
  Window w("vellumo.exe " + Fixture("casepair.zip"));
  HWND added = CreateWindowA("COMBOBOX", "", WS_VSCROLL | CBS_DROPDOWN | CBS_SORT, 0, 0, 200, 200,
                             nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  for (const char* name : {"Readme.txt", "README.TXT"})
    SendMessageA(added, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
  std::vector<std::string> one_by_one;
  for (int i = 0; i < 2; ++i) {
    char buf[64] = "";
    SendMessageA(added, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(buf));
    one_by_one.push_back(buf);
  }
  DestroyWindow(added);
  EXPECT_EQ(w.Items(), one_by_one);
  EXPECT_EQ(w.Selected(), 0);
  EXPECT_EQ(Text(w.form->ComboBox1), one_by_one[0]);
  for (int index : {0, 1}) {
    w.MarkShown("stale");
    w.Pick(index);
    EXPECT_EQ(w.Shown(), Display("first in the directory\n")) << index;
  }
  EXPECT_EQ(g_boxes->TakeTexts(), std::vector<std::string>{});
}

// Python's zipfile writes 65,535 entries with the count 0xFFFF and no Zip64 records: the
// window lists them all and the library shows the first.
TEST(Form, ArchiveWithExactly65535EntriesIsShown) {
  Window w("vellumo.exe " + Fixture("count65535.zip"));
  EXPECT_EQ(SendMessageA(w.form->ComboBox1, CB_GETCOUNT, 0, 0), 65535);
  EXPECT_EQ(w.Shown(), Display("entry 0\n"));
  w.Pick(65534);
  EXPECT_EQ(w.Shown(), Display("entry 65534\n"));
  EXPECT_EQ(g_boxes->TakeTexts(), std::vector<std::string>{});
}

// An entry whose size field claims 512 MiB in a 200-byte archive is refused as damaged before
// any memory is taken for it; the window goes on.
TEST(Form, SizeClaimThatTheDataCannotFillIsRefusedAsDamaged) {
  Window w("vellumo.exe " + Fixture("claim.zip"));
  EXPECT_EQ(g_boxes->TakeTexts(),
            std::vector<std::string>{"The entry is damaged: its size field claims more than its "
                                     "compressed data can hold\nhuge.txt"});
  EXPECT_EQ(w.form->Archive1.Stream().Size(), 0u);
  EXPECT_EQ(w.Shown(), "");
}

// A failure that only the library sees (a CRC error in data the listing cannot check) is told
// in the library's own words, not in silence.
TEST(Form, LibraryFailureWithoutABoxIsReportedInItsOwnWords) {
  Window w("vellumo.exe " + Fixture("badcrc.zip"));
  ASSERT_EQ(w.Shown(), Display("good bytes\n"));
  EXPECT_EQ(g_boxes->TakeTexts(), std::vector<std::string>{});
  w.Pick(1);
  EXPECT_EQ(g_boxes->TakeTexts(), std::vector<std::string>{"VUnzip: CRC error in spoilt.txt"});
  EXPECT_EQ(w.Shown(), Display("good bytes\n"));
}

// Long extractions: commands sent while the library writes big.txt into the component's block.
// Runs `during` once, from inside the extraction of big.txt (its first callback), and lets
// everything it posted be handled by the extraction's own message pump.
void DuringLongExtraction(Window& w, const std::function<void()>& during) {
  bool fired = false;
  w.form->Archive1.OnProgress = [&](TProgressType type, const std::string& name, int64_t) {
    if (type != NewFile || fired || name != "big.txt") return;
    fired = true;
    during();
  };
  w.Pick(1);  // big.txt
  Pump(300);
  w.form->Archive1.OnProgress = nullptr;
  EXPECT_TRUE(fired);
}

HWND ComboEdit(const Window& w) { return FindWindowExA(w.form->ComboBox1, nullptr, "Edit", nullptr); }

void PostTyped(HWND edit, const std::string& text) {
  PostMessageA(edit, EM_SETSEL, 0, -1);
  for (char c : text) PostMessageA(edit, WM_CHAR, static_cast<unsigned char>(c), 1);
}

TEST(FormDuringExtraction, EachCommandWaitsIsIgnoredOrIsSafe) {
  const std::string big = [] {
    Window quiet("vellumo.exe " + Fixture("long.zip"));
    quiet.Pick(1);
    const TEntryStream& s = quiet.form->Archive1.Stream();
    return std::string(static_cast<const char*>(s.Memory()), static_cast<size_t>(s.Size()));
  }();
  ASSERT_GT(big.size(), 2u << 20);
  const std::string a = "small entry a\n", c = "small entry c\n";
  const std::string big_shown = Display(big);
  struct Case {
    const char* command;
    std::function<void(Window&)> send;
    int selected;          // afterwards; -2: where the platform keeps it
    std::string shown;     // afterwards
    std::vector<std::string> boxes;
  } cases[] = {
      {">>>", [](Window& w) { PostMessageA(w.form->Button2, BM_CLICK, 0, 0); }, 1, big, {}},
      {">>> twice (a quick double click)",
       [](Window& w) {
         PostMessageA(w.form->Button2, BM_CLICK, 0, 0);
         PostMessageA(w.form->Button2, BM_CLICK, 0, 0);
       },
       1, big, {}},
      {"<<<", [](Window& w) { PostMessageA(w.form->Button1, BM_CLICK, 0, 0); }, 1, big, {}},
      {"...",
       [](Window& w) {
         w.form->OnChooseArchive = [](std::string* path) {
           ADD_FAILURE() << "the open dialog was shown during an extraction";
           *path = Fixture("one.zip");
           return true;
         };
         PostMessageA(w.form->Button3, BM_CLICK, 0, 0);
       },
       1, big, {}},
      {"typing a name in the combo box", [](Window& w) { PostTyped(ComboEdit(w), "c.txt"); }, -2, c,
       {}},
      {"picking from the list",
       [](Window& w) {
         SendMessageA(w.form->ComboBox1, CB_SETCURSEL, 0, 0);
         PostMessageA(w.form->Panel1, WM_COMMAND, MAKEWPARAM(kIdComboBox1, CBN_SELCHANGE),
                      reinterpret_cast<LPARAM>(w.form->ComboBox1));
       },
       0, a, {}},
      {"Enter in the combo box",
       [](Window& w) {
         PostMessageA(ComboEdit(w), WM_KEYDOWN, VK_RETURN, 1);
         PostMessageA(ComboEdit(w), WM_CHAR, VK_RETURN, 1);
         PostMessageA(ComboEdit(w), WM_KEYUP, VK_RETURN, 0xC0000001);
       },
       1, big, {}},
      {"typing the password", [](Window& w) { PostTyped(w.form->Edit1, "pw"); }, 1, big, {}},
      {"Credit from the system menu",
       [](Window& w) { PostMessageA(w.form->Handle(), WM_SYSCOMMAND, kCreditCommand, 0); }, 1, big,
       {"credit"}},
  };
  for (Case& k : cases) {
    SCOPED_TRACE(k.command);
    Window w("vellumo.exe " + Fixture("long.zip"));
    ASSERT_EQ(w.Shown(), Display(a));
    DuringLongExtraction(w, [&] { k.send(w); });
    Pump(300);
    if (k.selected != -2) EXPECT_EQ(w.Selected(), k.selected);
    const std::string shown = w.Shown();
    EXPECT_TRUE(shown == (k.shown == big ? big_shown : Display(k.shown)))
        << "shown: " << shown.substr(0, 40);
    EXPECT_TRUE(w.form->CurrentPage()->Size() == k.shown.size());
    std::vector<std::string> boxes = g_boxes->TakeTexts();
    if (!k.boxes.empty() && boxes.size() == 1 && boxes[0].find("Vellumo 2.0") == 0)
      boxes[0] = "credit";
    EXPECT_EQ(boxes, k.boxes);
    EXPECT_FALSE(w.form->Working());
  }
}

// The text view copies the whole entry; running out of memory there (or in any handler) is
// reported through the component's messages, and the window goes on.
TEST(Form, AllocationFailureInAHandlerIsReportedNotFatal) {
  Window w("vellumo.exe " + Fixture("long.zip"));
  ASSERT_EQ(w.Shown(), Display("small entry a\n"));
  g_fail_allocations_from = 1u << 20;
  w.Pick(1);  // big.txt: 2.5 MiB for the text view
  g_fail_allocations_from = 0;
  EXPECT_EQ(g_boxes->TakeTexts(), std::vector<std::string>{"Requested memory not available"});
  w.Pick(2);
  EXPECT_EQ(w.Shown(), Display("small entry c\n"));
  EXPECT_EQ(g_boxes->TakeTexts(), std::vector<std::string>{});
}

TEST(FormDuringExtraction, CloseWaitsForTheExtractionAndThenCloses) {
  Window w("vellumo.exe " + Fixture("long.zip"));
  HWND wnd = w.form->Handle();
  bool still_open_after_post = false;
  DuringLongExtraction(w, [&] {
    PostMessageA(wnd, WM_CLOSE, 0, 0);
    ProcessPendingMessages();  // the close arrives now, in the middle of the extraction
    still_open_after_post = IsWindow(wnd) != FALSE;
  });
  Pump(300);
  EXPECT_TRUE(still_open_after_post);
  EXPECT_FALSE(IsWindow(wnd));
  EXPECT_FALSE(TArchive::UnzipLibraryLoaded());
  EXPECT_EQ(g_boxes->TakeTexts(), std::vector<std::string>{});
}

// Whoever asks, the block the library writes into is neither released nor moved meanwhile:
// the component refuses a second extraction and its stream refuses to change.
TEST(FormDuringExtraction, ComponentBlockIsHeldWhileTheLibraryWrites) {
  Window w("vellumo.exe " + Fixture("long.zip"));
  TEntryStream& stream = w.form->Archive1.Stream();
  void* block = nullptr;
  uint64_t size = 0;
  DuringLongExtraction(w, [&] {
    block = stream.Memory();
    size = stream.Size();
    EXPECT_EQ(w.form->Archive1.ExtractEntryToStream("a.txt"), nullptr);
    stream.Clear();
    EXPECT_FALSE(stream.SetSize(5));
    EXPECT_FALSE(stream.SetSizeForOverwrite(5));
    EXPECT_EQ(stream.Write("x", 1), 1u);  // in place, at position 0: the library overwrites it
    EXPECT_EQ(stream.Memory(), block);
    EXPECT_EQ(stream.Size(), size);
    stream.Seek(0, SeekOrigin::Begin);
  });
  EXPECT_GT(size, 2u << 20);
  EXPECT_EQ(w.form->CurrentPage(), &stream);
  EXPECT_EQ(stream.Size(), size);
  EXPECT_NE(static_cast<const char*>(stream.Memory())[0], 'x');  // the library's bytes
  EXPECT_EQ(g_boxes->TakeTexts(), std::vector<std::string>{});
}

// ---- The built-in view (no HTML engine under Wine) inside the window.

std::string SampleArchive() {
  const char* dir = getenv("VELLUMO_BINARY_DIR");
  std::string path = std::string("Z:") + (dir ? dir : "") + "/sample/vellumo-sample.zip";
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

int ItemIndex(const Window& w, const std::string& name) {
  std::vector<std::string> items = w.Items();
  for (size_t i = 0; i < items.size(); ++i) {
    if (items[i] == name) return static_cast<int>(i);
  }
  ADD_FAILURE() << name << " is not listed";
  return -1;
}

std::u16string ViewText(HWND edit) {
  std::u16string text(1 << 16, u'\0');
  GETTEXTEX get{};
  get.cb = static_cast<DWORD>(text.size() * 2);
  get.codepage = 1200;
  LRESULT got = SendMessageW(edit, EM_GETTEXTEX, reinterpret_cast<WPARAM>(&get),
                             reinterpret_cast<LPARAM>(&text[0]));
  text.resize(static_cast<size_t>(got));
  return text;
}

// Screen position of character `position` of the view, a little inside it.
POINT ScreenPointOf(HWND edit, LONG position) {
  POINTL p{};
  SendMessageW(edit, EM_POSFROMCHAR, reinterpret_cast<WPARAM>(&p), position);
  POINT screen{p.x + 3, p.y + 5};
  ClientToScreen(edit, &screen);
  return screen;
}

void RealClick(POINT screen) {
  SetCursorPos(screen.x, screen.y);
  INPUT input[3] = {};
  input[0].type = input[1].type = input[2].type = INPUT_MOUSE;
  input[0].mi.dwFlags = MOUSEEVENTF_MOVE;
  input[1].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
  input[2].mi.dwFlags = MOUSEEVENTF_LEFTUP;
  SendInput(3, input, sizeof(INPUT));
  Pump(500);
}

int LinkTo(const PageDocument& doc, const std::string& target) {
  for (size_t i = 0; i < doc.links.size(); ++i) {
    if (doc.links[i].target == target) return static_cast<int>(i);
  }
  ADD_FAILURE() << "no link to " << target;
  return -1;
}

TEST(FormBuiltInView, SampleHelpSetReadsAsPagesWithPicturesAndWorkingLinks) {
  Window w("vellumo.exe " + SampleArchive());
  ShowWindow(w.form->Handle(), SW_MAXIMIZE);
  SetForegroundWindow(w.form->Handle());
  Pump(200);
  // The first entry in the list is the logo: shown as a picture.
  TPageView* view = w.form->BrowserHost1->PageView();
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(w.Items()[0], "images\\logo.png");
  EXPECT_EQ(view->Kind(), PageKind::Picture);
  EXPECT_EQ(w.Caption(), SampleArchive());

  w.Pick(ItemIndex(w, "index.html"));
  ASSERT_EQ(view->Kind(), PageKind::Html);
  HWND edit = view->RichEdit();
  std::u16string text = ViewText(edit);
  EXPECT_EQ(text.find(u"<p>"), std::u16string::npos);
  EXPECT_NE(text.find(u"Vellumo sample help"), std::u16string::npos);
  EXPECT_NE(text.find(u"\u2022 Opening an archive"), std::u16string::npos);

  // A real click on the link "Passwords" shows that entry as a pick in the list does.
  const int link = LinkTo(view->Document(), "passwords.html");
  ASSERT_GE(link, 0);
  RealClick(ScreenPointOf(edit, static_cast<LONG>(view->Document().links[link].start)));
  EXPECT_EQ(Text(w.form->ComboBox1), "passwords.html");
  EXPECT_EQ(w.Selected(), ItemIndex(w, "passwords.html"));
  EXPECT_EQ(w.Caption(), SampleArchive());
  EXPECT_EQ(view->EntryName(), "passwords.html");
  text = ViewText(edit);
  EXPECT_NE(text.find(u"Type the password into the pass: field"), std::u16string::npos);
  // Its logo is drawn inside the page: the picture's top-left colour at the object.
  ASSERT_FALSE(view->Document().pictures.empty());
  ASSERT_TRUE(view->Document().pictures[0].shown_inline);
  POINT logo = ScreenPointOf(edit, static_cast<LONG>(view->Document().pictures[0].position));
  HDC screen = GetDC(nullptr);
  const COLORREF seen = GetPixel(screen, logo.x, logo.y);
  ReleaseDC(nullptr, screen);
  EXPECT_LT(std::abs(GetRValue(seen) - 52), 16) << std::hex << seen;
  EXPECT_LT(std::abs(GetGValue(seen) - 105), 20) << std::hex << seen;
  EXPECT_LT(std::abs(GetBValue(seen) - 200), 16) << std::hex << seen;
  EXPECT_EQ(g_boxes->TakeTexts(), std::vector<std::string>{});
  // The credit box says why pages look as they do.
  SendMessageA(w.form->Handle(), WM_SYSCOMMAND, kCreditCommand, 0);
  std::vector<std::string> credit = g_boxes->TakeTexts();
  ASSERT_EQ(credit.size(), 1u);
  EXPECT_NE(credit[0].find("no HTML engine: pages are shown by Vellumo's built-in view"),
            std::string::npos) << credit[0];
}

TEST(FormBuiltInView, PicturesAreReadQuietlyAndLeaveThePageStreamAlone) {
  Window w("vellumo.exe " + Fixture("pages.zip"));
  EXPECT_EQ(g_boxes->TakeTexts(), std::vector<std::string>{});
  w.Pick(ItemIndex(w, "index.html"));
  TPageView* view = w.form->BrowserHost1->PageView();
  ASSERT_NE(view, nullptr);
  ASSERT_EQ(view->Kind(), PageKind::Html);
  // An encrypted picture and a missing one: markers, no prompt, no box.
  EXPECT_EQ(g_boxes->TakeTexts(), std::vector<std::string>{});
  const std::u16string text = ViewText(view->RichEdit());
  EXPECT_NE(text.find(u"[locked]"), std::u16string::npos);
  EXPECT_NE(text.find(u"[absent]"), std::u16string::npos);
  ASSERT_EQ(view->Document().pictures.size(), 3u);
  EXPECT_TRUE(view->Document().pictures[0].shown_inline);
  // The page's stream still holds the page, not the last picture read.
  TEntryStream* page = w.form->CurrentPage();
  ASSERT_NE(page, nullptr);
  const std::string bytes(static_cast<const char*>(page->Memory()), static_cast<size_t>(page->Size()));
  EXPECT_EQ(bytes.rfind("<html><head><title>Pages</title>", 0), 0u);
  // A typed password makes the encrypted picture readable.
  SetWindowTextA(w.form->Edit1, "s3cret");
  w.Pick(ItemIndex(w, "index.html"));
  EXPECT_TRUE(view->Document().pictures[1].shown_inline);
  EXPECT_EQ(g_boxes->TakeTexts(), std::vector<std::string>{});
}

// A link is a pick of the linked entry: one clicked while an extraction runs waits as a pick
// does, and is shown once the extraction is over.
TEST(FormBuiltInView, LinkClickArrivingDuringAnExtractionWaits) {
  Window w("vellumo.exe " + Fixture("pages.zip"));
  w.Pick(ItemIndex(w, "index.html"));
  TPageView* view = w.form->BrowserHost1->PageView();
  ASSERT_NE(view, nullptr);
  const int link = LinkTo(view->Document(), "sub/second.html#part");
  ASSERT_GE(link, 0);
  // The click's follow-up waits in the queue; the next pick's password prompt (the component
  // is Busy meanwhile) lets it through. The page stream is not touched then; the link's entry
  // is shown when the prompt's extraction is over.
  view->FollowLink(link);
  for (int i = 0; i < 20; ++i) g_boxes->QueueAnswer({"", IDCANCEL});
  w.Pick(ItemIndex(w, "locked.txt"));
  g_boxes->ClearAnswers();
  Pump(300);
  std::vector<test::SeenBox> boxes = g_boxes->Take();
  ASSERT_FALSE(boxes.empty());
  EXPECT_EQ(boxes[0].caption, "Password");
  EXPECT_EQ(Text(w.form->ComboBox1), "sub\\second.html");
  EXPECT_EQ(w.Selected(), ItemIndex(w, "sub\\second.html"));
  EXPECT_EQ(view->EntryName(), "sub\\second.html");
  // Not Busy: a link is followed at once, and its fragment scrolled to.
  w.Pick(ItemIndex(w, "index.html"));
  ASSERT_EQ(view->EntryName(), "index.html");
  view->FollowLink(LinkTo(view->Document(), "sub/second.html#part"));
  Pump(300);
  EXPECT_EQ(Text(w.form->ComboBox1), "sub\\second.html");
  EXPECT_EQ(view->EntryName(), "sub\\second.html");
  EXPECT_GT(SendMessageW(view->RichEdit(), EM_GETFIRSTVISIBLELINE, 0, 0), 10);
  // "../INDEX.HTML" names index.html in another letter case.
  view->FollowLink(LinkTo(view->Document(), "../INDEX.HTML"));
  Pump(300);
  EXPECT_EQ(Text(w.form->ComboBox1), "index.html");
  EXPECT_EQ(g_boxes->TakeTexts(), std::vector<std::string>{});
}

#else  // VUnzip.dll is not next to this program

TEST(FormWithoutUnzipLibrary, ReportedAtStartAndAtEachExtraction) {
  const std::string not_found = "VUNZIP.DLL not found!";
  Window w("vellumo.exe " + Fixture("plain.zip"));
  // Start-up load and the first entry's extraction both report it; the list is still filled.
  EXPECT_EQ(g_boxes->TakeTexts(), (std::vector<std::string>{not_found, not_found}));
  EXPECT_EQ(w.Items(), kPlainSorted);
  EXPECT_EQ(w.form->BaseCaption(), Fixture("plain.zip"));
  EXPECT_EQ(w.Shown(), "");
  for (HWND button : {w.form->Button2, w.form->Button1}) {
    w.Click(button);
    EXPECT_EQ(g_boxes->TakeTexts(), std::vector<std::string>{not_found});
  }
  EXPECT_EQ(w.Selected(), 0);
  w.Pick(2);
  EXPECT_EQ(g_boxes->TakeTexts(), std::vector<std::string>{not_found});
  EXPECT_EQ(w.Selected(), 2);
}

TEST(FormWithoutUnzipLibrary, WindowWithoutArchiveStillReportsTheLibrary) {
  Window w("vellumo.exe");
  EXPECT_EQ(g_boxes->TakeTexts(), std::vector<std::string>{"VUNZIP.DLL not found!"});
  EXPECT_EQ(w.Caption(), texts::kCaptionAtRest);
}

#endif

// Layout, menu and credit do not depend on the library; boxes from it are dropped here.
TEST(FormWindow, ControlsSitWhereDesignedAndFollowResizing) {
  Window w("vellumo.exe");
  g_boxes->Take();
  RECT client;
  GetClientRect(w.form->Handle(), &client);
  EXPECT_EQ(client.right, kDesignClientWidth);
  EXPECT_EQ(client.bottom, kDesignClientHeight);
  auto rect_in_parent = [](HWND wnd) {
    RECT rc;
    GetWindowRect(wnd, &rc);
    MapWindowPoints(nullptr, GetParent(wnd), reinterpret_cast<POINT*>(&rc), 2);
    return std::vector<LONG>{rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top};
  };
  struct Row {
    const char* name;
    HWND wnd;
    HWND parent;
    std::vector<LONG> rect;
  } rows[] = {
      {"BrowserHost1", w.form->BrowserHost1->Handle(), w.form->Handle(), {0, 0, 721, 501}},
      {"Panel1", w.form->Panel1, w.form->Handle(), {0, 501, 721, 37}},
      {"Panel2", w.form->Panel2, w.form->Panel1, {344, 1, 376, 35}},
      {"Label1", w.form->Label1, w.form->Panel2, {7, 8, 33, 16}},
      {"Edit1", w.form->Edit1, w.form->Panel2, {39, 8, 97, 21}},
      {"Button3", w.form->Button3, w.form->Panel2, {136, 8, 75, 25}},
      {"Button1", w.form->Button1, w.form->Panel2, {214, 8, 75, 25}},
      {"Button2", w.form->Button2, w.form->Panel2, {294, 8, 75, 25}},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(GetParent(r.wnd), r.parent) << r.name;
    EXPECT_EQ(rect_in_parent(r.wnd), r.rect) << r.name;
  }
  std::vector<LONG> combo = rect_in_parent(w.form->ComboBox1);
  EXPECT_EQ(combo[0], 0);
  EXPECT_EQ(combo[1], 8);
  EXPECT_EQ(combo[2], 345);
  EXPECT_EQ(SendMessageA(w.form->ComboBox1, CB_GETITEMHEIGHT, 0, 0), 13);
  EXPECT_TRUE(GetWindowLongA(w.form->ComboBox1, GWL_STYLE) & CBS_SORT);
  EXPECT_EQ(Text(w.form->Button1), "<<<");
  EXPECT_EQ(Text(w.form->Button2), ">>>");
  EXPECT_EQ(Text(w.form->Button3), "...");
  EXPECT_EQ(Text(w.form->Label1), "pass:");
  EXPECT_EQ(Text(w.form->Edit1), "");

  // Alignment after a resize: Panel1 stays at the bottom, Panel2 at its right, the browser
  // fills the rest.
  RECT wr{0, 0, 1000, 700};
  AdjustWindowRect(&wr, GetWindowLongA(w.form->Handle(), GWL_STYLE), FALSE);
  SetWindowPos(w.form->Handle(), nullptr, 0, 0, wr.right - wr.left, wr.bottom - wr.top,
               SWP_NOMOVE | SWP_NOZORDER);
  Pump();
  EXPECT_EQ(rect_in_parent(w.form->Panel1), (std::vector<LONG>{0, 663, 1000, 37}));
  EXPECT_EQ(rect_in_parent(w.form->Panel2), (std::vector<LONG>{623, 1, 376, 35}));
  EXPECT_EQ(rect_in_parent(w.form->BrowserHost1->Handle()), (std::vector<LONG>{0, 0, 1000, 663}));

  // Fonts: "MS Sans Serif" 8 points, the label 10 points in red.
  auto font_of = [](HWND wnd) {
    LOGFONTA lf{};
    GetObjectA(reinterpret_cast<HFONT>(SendMessageA(wnd, WM_GETFONT, 0, 0)), sizeof lf, &lf);
    return lf;
  };
  EXPECT_STREQ(font_of(w.form->Button1).lfFaceName, "MS Sans Serif");
  EXPECT_EQ(font_of(w.form->Button1).lfHeight, -11);
  EXPECT_EQ(font_of(w.form->Label1).lfHeight, -13);
  HDC dc = GetDC(w.form->Panel2);
  SendMessageA(w.form->Panel2, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
               reinterpret_cast<LPARAM>(w.form->Label1));
  EXPECT_EQ(GetTextColor(dc), RGB(255, 0, 0));
  ReleaseDC(w.form->Panel2, dc);

  // Tab order: combo box, then "<<<", ">>>", "...", the password field.
  HWND order[] = {w.form->ComboBox1, w.form->Button1, w.form->Button2, w.form->Button3,
                  w.form->Edit1};
  HWND at = order[0];
  for (size_t i = 1; i < sizeof order / sizeof order[0]; ++i) {
    at = GetNextDlgTabItem(w.form->Handle(), at, FALSE);
    EXPECT_EQ(at, order[i]) << i;
  }
}

// Tab pressed in the window goes through the application's loop to the next control.
TEST(FormWindow, TabKeyMovesAlongTheTabOrder) {
  Window w("vellumo.exe");
  g_boxes->Take();
  SetForegroundWindow(w.form->Handle());
  SetFocus(w.form->Button1);
  Pump();
  ASSERT_EQ(GetFocus(), w.form->Button1);
  HWND expected[] = {w.form->Button2, w.form->Button3, w.form->Edit1};
  for (HWND next : expected) {
    PostMessageA(GetFocus(), WM_KEYDOWN, VK_TAB, 0);
    PostMessageA(GetFocus(), WM_KEYUP, VK_TAB, 0xC0000000);
    Pump();
    EXPECT_EQ(GetFocus(), next);
  }
}

TEST(FormWindow, CreditIsInTheSystemMenuAndShowsItsText) {
  Window w("vellumo.exe");
  g_boxes->Take();
  HMENU menu = GetSystemMenu(w.form->Handle(), FALSE);
  int count = GetMenuItemCount(menu);
  ASSERT_GE(count, 2);
  char label[64] = "";
  GetMenuStringA(menu, count - 1, label, sizeof label, MF_BYPOSITION);
  EXPECT_STREQ(label, "Credit");
  EXPECT_EQ(GetMenuItemID(menu, count - 1), 100u);
  EXPECT_TRUE(GetMenuState(menu, count - 2, MF_BYPOSITION) & MF_SEPARATOR);

  SendMessageA(w.form->Handle(), WM_SYSCOMMAND, 100, 0);
  std::vector<test::SeenBox> boxes = g_boxes->Take();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, "Vellumo");
  // The box shows the text with its line breaks; compare without them.
  std::string expected = texts::kCreditText, got = boxes[0].text;
  for (std::string* s : {&expected, &got}) {
    std::string flat;
    for (char c : *s)
      if (c != '\n' && c != '\r') flat += c;
    *s = flat;
  }
  EXPECT_EQ(got, expected);
  // Any other command goes to the default handling.
  EXPECT_FALSE(w.form->user_sysmenu(SC_RESTORE + 1));
}

}  // namespace
}  // namespace vellumo

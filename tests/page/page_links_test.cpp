// Where a page's links lead.
#include "viewer/page/page_links.h"

#include <gtest/gtest.h>

namespace vellumo {
namespace {

TEST(ResolveLink, RelativeRootEscapesQueriesAndOutside) {
  struct Case {
    const char* current;
    const char* href;
    LinkKind kind;
    const char* path;
    const char* fragment;
  } cases[] = {
      {"index.html", "opening.html", LinkKind::Entry, "opening.html", ""},
      {"docs\\a\\page.html", "b.html", LinkKind::Entry, "docs\\a\\b.html", ""},
      {"docs\\a\\page.html", "./b.html", LinkKind::Entry, "docs\\a\\b.html", ""},
      {"docs\\a\\page.html", "../images/x.png", LinkKind::Entry, "docs\\images\\x.png", ""},
      {"docs\\a\\page.html", "../../../../top.html", LinkKind::Entry, "top.html", ""},
      {"docs\\a\\page.html", "/root.html", LinkKind::Entry, "root.html", ""},
      {"docs\\a\\page.html", "\\root\\x.html", LinkKind::Entry, "root\\x.html", ""},
      {"docs/a/page.html", "sub\\c.html", LinkKind::Entry, "docs\\a\\sub\\c.html", ""},
      {"index.html", "my%20page.html?x=1#sec%202", LinkKind::Entry, "my page.html", "sec 2"},
      {"index.html", "caf%C3%A9.html", LinkKind::Entry, "caf\xC3\xA9.html", ""},
      {"index.html", "bad%zzescape%4.html", LinkKind::Entry, "bad%zzescape%4.html", ""},
      {"index.html", "  spaced.html  ", LinkKind::Entry, "spaced.html", ""},
      {"index.html", "a//b/./c.html", LinkKind::Entry, "a\\b\\c.html", ""},
      {"index.html", "#part", LinkKind::SamePage, "", "part"},
      {"index.html", "?q#p", LinkKind::SamePage, "", "p"},
      {"index.html", "", LinkKind::SamePage, "", ""},
      {"index.html", "http://example.com/a.html", LinkKind::Outside, "", ""},
      {"index.html", "HTTPS://x", LinkKind::Outside, "", ""},
      {"index.html", "mailto:a@b.c", LinkKind::Outside, "", ""},
      {"index.html", "javascript:alert(1)", LinkKind::Outside, "", ""},
      {"index.html", "file:///c:/x", LinkKind::Outside, "", ""},
      {"index.html", "C:\\windows\\x.html", LinkKind::Outside, "", ""},
      {"index.html", "//server/share/x.html", LinkKind::Outside, "", ""},
      {"index.html", "\\\\server\\x", LinkKind::Outside, "", ""},
      {"index.html", "/", LinkKind::Outside, "", ""},
      {"sub\\index.html", "..", LinkKind::Outside, "", ""},
  };
  for (const Case& c : cases) {
    LinkTarget t = ResolveLink(c.current, c.href);
    EXPECT_EQ(t.kind, c.kind) << c.href;
    EXPECT_EQ(t.path, c.path) << c.href;
    EXPECT_EQ(t.fragment, c.fragment) << c.href;
  }
}

}  // namespace
}  // namespace vellumo

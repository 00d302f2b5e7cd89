// Methods One and Second: tag removal and the entity pass, case by case.
#include <gtest/gtest.h>

#include <string>

#include "installer/ui/html_to_text.h"

namespace hollin {
namespace {

using namespace std::string_literals;

struct Case {
  const char* name;
  std::string input;
  std::string expected;
};

class MethodOneTest : public ::testing::TestWithParam<Case> {};

TEST_P(MethodOneTest, RemovesTags) {
  EXPECT_EQ(ConvertMethodOne(GetParam().input), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MethodOneTest,
    ::testing::Values(
        Case{"page", "<html><body>Hi</body></html>", "\r\rHi\r\r"},
        Case{"inline_tag", "a<b>c", "a\rc"},
        Case{"empty_tag", "<>", "\r"},
        Case{"open_without_close", "a < b", "a \r"},
        Case{"lone_close_copied", "a > b", "a > b"},
        Case{"close_before_open", "x>y<z>w", "x>y\rw"},
        Case{"nested_open_ends_at_first_close", "a<b<c>d>e", "a\rd>e"},
        Case{"tag_spanning_lines", "a<p\nclass=x>b", "a\rb"},
        Case{"script_text_stays", "<script>var x=1;</script>", "\rvar x=1;\r"},
        Case{"no_whitespace_collapse", "  a  \n  b  ", "  a  \n  b  "},
        Case{"entities_untouched", "&amp;<i>&lt;</i>", "&amp;\r&lt;\r"},
        Case{"nul_cuts", "ab\0<c>d"s, "ab"},
        Case{"nul_inside_tag", "a<b\0>c"s, "a\r"},
        Case{"high_bytes_kept", "\xb9\xfa<b>\xc7\xb0", "\xb9\xfa\r\xc7\xb0"},
        Case{"empty", "", ""}),
    [](const auto& info) { return std::string(info.param.name); });

class MethodSecondTest : public ::testing::TestWithParam<Case> {};

TEST_P(MethodSecondTest, RemovesTagsThenDecodesEntities) {
  EXPECT_EQ(ConvertMethodSecond(GetParam().input), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MethodSecondTest,
    ::testing::Values(
        Case{"one_level_only", "x &amp;amp; y", "x &amp; y"},
        Case{"amp_upper", "&AMP;", "&"},
        Case{"numeric_unchanged", "&#169;", "&#169;"},
        Case{"copy", "&copy;", "@"},
        Case{"copy_mixed_case", "&CoPy; 2026", "@ 2026"},
        Case{"euro_unknown_first_letter", "&euro;", "&euro;"},
        Case{"nbsp_without_semicolon", "&nbspx", "&nbspx"},
        Case{"nbsp", "a&nbsp;b", "a b"},
        Case{"quot_two_apostrophes", "&quot;hi&QUOT;", "''hi''"},
        Case{"lt_gt", "&lt;b&gt;", "<b>"},
        Case{"decoded_lt_is_not_a_tag", "&lt;i&gt;x", "<i>x"},
        Case{"lt_without_semicolon_keeps_five", "&ltxyz rest", "&ltxyz rest"},
        Case{"five_taken_swallow_next_amp", "&a&lt;", "&a&lt;"},
        Case{"ends_in_am_dropped", "text &am", "text "},
        Case{"ends_after_amp", "a&", "a"},
        Case{"ends_after_unknown_letter", "a&z", "a&z"},
        Case{"ends_inside_four", "a&amp", "a"},
        Case{"ends_inside_five", "a&quot", "a"},
        Case{"ends_exactly_after_three", "a&lt;", "a<"},
        Case{"gt_third_char_wrong_then_short", "&gtx", ""},
        Case{"tags_then_entities", "<p>&copy;</p>&nbsp;", "\r@\r "},
        Case{"entity_split_by_tag_runs_out", "&l<b>t;", ""},
        Case{"cr_after_amp_from_tag", "&<b>x", "&\rx"},
        Case{"nul_cuts", "&lt;\0&gt;"s, "<"},
        Case{"empty", "", ""}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace hollin

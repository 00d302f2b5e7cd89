#include "viewer/list_fill.h"

#include <algorithm>
#include <cstring>

namespace vellumo {
namespace {

// The control's comparison: its locale, letter case ignored. Slow under Wine (microseconds
// a call), so the fill below calls it about once per name.
struct ListOrder {
  LCID locale;
  int Compare(const char* a, const char* b) const {
    return CompareStringA(locale, NORM_IGNORECASE, a, -1, b, -1);
  }
};

// A byte-wise stand-in for that comparison, learnt from it: each single-byte character's
// rank among all of them, 0 for those it passes over (the hyphen and apostrophe of a word
// sort). It orders plain names as the control does; where it errs the exact pass fixes it.
class ApproximateOrder {
 public:
  explicit ApproximateOrder(const ListOrder& order);
  bool Less(const char* a, const char* b) const {
    for (;;) {
      while (*a && rank_[static_cast<unsigned char>(*a)] == 0) ++a;
      while (*b && rank_[static_cast<unsigned char>(*b)] == 0) ++b;
      unsigned char x = rank_[static_cast<unsigned char>(*a)];
      unsigned char y = rank_[static_cast<unsigned char>(*b)];
      if (x != y || x == 0) return x < y;
      ++a;
      ++b;
    }
  }

 private:
  unsigned char rank_[256] = {};
};

// One comparison type for every sort and search here: the exact order when `exact` is set,
// else the stand-in (one instantiation of each algorithm keeps the program small).
struct NameLess {
  const ListOrder* exact;
  const ApproximateOrder* approximate;
  bool operator()(const char* a, const char* b) const {
    return exact ? exact->Compare(a, b) == CSTR_LESS_THAN : approximate->Less(a, b);
  }
};

ApproximateOrder::ApproximateOrder(const ListOrder& order) {
  char text[256][2] = {};
  std::vector<const char*> chars;
  for (int c = 1; c < 256; ++c) {
    text[c][0] = static_cast<char>(c);
    chars.push_back(text[c]);
  }
  std::sort(chars.begin(), chars.end(), NameLess{&order, nullptr});
  unsigned rank = 1;
  for (size_t i = 0; i < chars.size(); ++i) {
    if (i > 0 && order.Compare(chars[i - 1], chars[i]) != CSTR_EQUAL && rank < 255) ++rank;
    rank_[static_cast<unsigned char>(chars[i][0])] = static_cast<unsigned char>(rank);
  }
  const unsigned char letter_a = rank_['a'];
  for (int c = 1; c < 256; ++c) {
    // Ranked below the letters, yet "x?b" sorts after "xa": the character was passed over.
    const char probe[4] = {'x', static_cast<char>(c), 'b', 0};
    if (rank_[c] < letter_a && order.Compare(probe, "xa") == CSTR_GREATER_THAN) rank_[c] = 0;
  }
}

// Sorts `names` exactly by `order`: first by the byte-wise stand-in, then an insertion pass
// with the real comparison, which costs one call per name when the stand-in was right and
// a binary search for each name it misplaced. Too many misplaced names (another code page's
// rules): a full sort with the real comparison.
void SortForList(const ListOrder& order, std::vector<const char*>* names) {
  ApproximateOrder approximate(order);
  std::sort(names->begin(), names->end(), NameLess{nullptr, &approximate});
  const NameLess less{&order, nullptr};
  const size_t allowed = names->size() / 64 + 16;
  size_t misplaced = 0;
  for (auto it = names->begin() + (names->empty() ? 0 : 1); it < names->end(); ++it) {
    if (!less(*it, *(it - 1))) continue;
    if (++misplaced > allowed) {
      std::sort(names->begin(), names->end(), less);
      return;
    }
    auto place = std::upper_bound(names->begin(), it, *it, less);
    std::rotate(place, it, it + 1);
  }
}

}  // namespace

// Adding a string makes the control search its place with its comparison and move every
// item after it: in archive order, half the list per name. Sorted beforehand with the same
// comparison, the names are inserted at the end with no search (CB_INSERTSTRING keeps the
// order it is given). Drawing is off while the list fills, the storage reserved once.
void FillSortedList(HWND combo, std::vector<const char*>* names) {
  size_t text_bytes = 0;
  for (const char* name : *names) text_bytes += std::strlen(name) + 1;
  SortForList(ListOrder{static_cast<LCID>(SendMessageA(combo, CB_GETLOCALE, 0, 0))}, names);
  SendMessageA(combo, WM_SETREDRAW, FALSE, 0);
  SendMessageA(combo, CB_INITSTORAGE, names->size(), text_bytes);
  for (const char* name : *names) {
    SendMessageA(combo, CB_INSERTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(name));
  }
  SendMessageA(combo, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(combo, nullptr, TRUE);
}

}  // namespace vellumo

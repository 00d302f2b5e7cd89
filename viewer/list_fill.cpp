#include "viewer/list_fill.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace vellumo {
namespace {

// One name on its way into the list: the control's own text of it (converted with the ANSI
// code page, as the control converts what it is given), and the byte-wise stand-in's key.
struct Item {
  uint64_t prefix;         // the first 8 ranks, most significant first; 0 past the end
  const char* ranks;       // all ranks, zero-terminated (no rank is 0)
  const wchar_t* wide;
  const char* name;
  size_t index;            // place in the order the names were given (directory order)
};

// The control's comparison: its locale, letter case ignored. Slow under Wine (a microsecond
// or more a call), so the fill below calls it about once per name.
struct ExactLess {
  LCID locale;
  bool operator()(const Item& a, const Item& b) const {
    return CompareStringW(locale, NORM_IGNORECASE, a.wide, -1, b.wide, -1) == CSTR_LESS_THAN;
  }
};

struct ApproximateLess {
  bool operator()(const Item& a, const Item& b) const {
    if (a.prefix != b.prefix) return a.prefix < b.prefix;
    // Equal prefixes with a zero byte in them are equal, shorter ranks: nothing follows.
    if ((a.prefix & 0xFF) == 0) return false;
    return std::strcmp(a.ranks + 8, b.ranks + 8) < 0;
  }
};

// Wide copies of `names` in one block (the items point into it).
std::vector<wchar_t> WideTexts(const std::vector<const char*>& names, std::vector<Item>* items) {
  size_t total = 0;
  for (const char* name : names) {
    total += static_cast<size_t>(std::max(MultiByteToWideChar(CP_ACP, 0, name, -1, nullptr, 0), 1));
  }
  std::vector<wchar_t> wide(total + 1);
  size_t at = 0;
  items->resize(names.size());
  for (size_t i = 0; i < names.size(); ++i) {
    int n = MultiByteToWideChar(CP_ACP, 0, names[i], -1, &wide[at], static_cast<int>(wide.size() - at));
    (*items)[i].wide = &wide[at];
    (*items)[i].name = names[i];
    (*items)[i].index = i;
    at += static_cast<size_t>(n > 0 ? n : 1);
  }
  return wide;
}

// The byte-wise stand-in for the control's comparison, learnt from it: each single-byte
// character's rank among all of them, 0 for those it passes over (the hyphen and apostrophe
// of a word sort). It orders plain names as the control does; where it errs the exact pass
// fixes it.
void LearnRanks(const ExactLess& exact, unsigned char rank[256]) {
  std::vector<const char*> chars;
  char text[256][2] = {};
  for (int c = 1; c < 256; ++c) {
    text[c][0] = static_cast<char>(c);
    chars.push_back(text[c]);
  }
  std::vector<Item> items;
  std::vector<wchar_t> wide = WideTexts(chars, &items);
  std::sort(items.begin(), items.end(), exact);
  unsigned next = 1;
  rank[0] = 0;
  for (size_t i = 0; i < items.size(); ++i) {
    if (i > 0 && exact(items[i - 1], items[i]) && next < 255) ++next;  // sorted: less or equal
    rank[static_cast<unsigned char>(items[i].name[0])] = static_cast<unsigned char>(next);
  }
  for (int c = 1; c < 256; ++c) {
    // Ranked below the letters, yet "x?b" sorts after "xa": the character was passed over.
    const char probe[4] = {'x', static_cast<char>(c), 'b', 0};
    if (rank[c] < rank['a'] &&
        CompareStringA(exact.locale, NORM_IGNORECASE, probe, -1, "xa", -1) == CSTR_GREATER_THAN) {
      rank[c] = 0;
    }
  }
}

// Counts per group rank, with prefix sums in O(log n) (a Fenwick tree).
class GroupCounts {
 public:
  explicit GroupCounts(size_t groups) : tree_(groups + 1, 0) {}
  void Add(size_t group) {
    for (size_t i = group + 1; i < tree_.size(); i += i & (~i + 1)) ++tree_[i];
  }
  // How many were added with a group below `group`.
  size_t Below(size_t group) const {
    size_t sum = 0;
    for (size_t i = group; i > 0; i -= i & (~i + 1)) sum += tree_[i];
    return sum;
  }

 private:
  std::vector<size_t> tree_;
};

// Names that compare equal (Readme.txt and README.TXT) end up in whatever order the
// control's insertion gives them. Adding a name, the control bisects its list between
// min = 0 and max = count - 1: it compares with the item at (min + max) / 2, stops at an
// equal one and inserts the name before it, else narrows. The path of that search depends only
// on how many items lie below, inside and above the name's group of equal names, so it is
// replayed here with counts instead of texts, name by name in the given order: no call to
// the comparison, O(log n) a name. `items` is sorted; its groups are reordered in place.
void OrderEqualNames(const ExactLess& exact, std::vector<Item>* items) {
  const size_t n = items->size();
  if (n < 2) return;
  std::vector<size_t> group_of(n);  // by given index
  std::vector<size_t> group_start;
  size_t group = 0;
  bool any_equal = false;
  for (size_t i = 0; i < n; ++i) {
    if (i > 0 && exact((*items)[i - 1], (*items)[i])) ++group;
    else if (i > 0) any_equal = true;
    if (group_start.size() == group) group_start.push_back(i);
    group_of[(*items)[i].index] = group;
  }
  if (!any_equal) return;
  std::vector<Item> by_index(n);
  for (const Item& item : *items) by_index[item.index] = item;
  std::vector<std::vector<size_t>> members(group + 1);  // given indexes, in list order
  GroupCounts counts(group + 1);
  for (size_t t = 0; t < n; ++t) {
    const size_t g = group_of[t];
    const size_t below = counts.Below(g);
    const size_t inside = members[g].size();
    // Bounds as the control keeps them: signed, the upper one inclusive.
    long long min = 0, max = static_cast<long long>(t) - 1;
    size_t at = std::string::npos;
    while (min <= max) {
      const long long probe = (min + max) / 2;
      const size_t p = static_cast<size_t>(probe);
      if (p < below) {
        min = probe + 1;
      } else if (p >= below + inside) {
        max = probe - 1;
      } else {
        at = p - below;
        break;
      }
    }
    if (at == std::string::npos) at = inside;  // no equal name yet: it joins at the end
    members[g].insert(members[g].begin() + static_cast<std::ptrdiff_t>(at), t);
    counts.Add(g);
  }
  for (size_t g = 0; g <= group; ++g) {
    for (size_t k = 0; k < members[g].size(); ++k)
      (*items)[group_start[g] + k] = by_index[members[g][k]];
  }
}

// Sorts `names` exactly by the control's comparison: first by the byte-wise stand-in (keys
// in the items, so most comparisons touch no text), then an insertion pass with the real
// comparison, one call per name when the stand-in was right and a binary search for each
// name it misplaced. Too many misplaced names (another code page's rules): a full sort
// with the real comparison.
void SortForList(LCID locale, std::vector<const char*>* names) {
  const ExactLess exact{locale};
  unsigned char rank[256];
  LearnRanks(exact, rank);
  std::vector<Item> items;
  std::vector<wchar_t> wide = WideTexts(*names, &items);
  size_t total = 0;
  for (const char* name : *names) total += std::strlen(name) + 9;
  std::string ranks(total, '\0');
  size_t at = 0;
  for (Item& item : items) {
    item.ranks = &ranks[at];
    item.prefix = 0;
    size_t length = 0;
    for (const char* p = item.name; *p; ++p) {
      unsigned char r = rank[static_cast<unsigned char>(*p)];
      if (r) ranks[at + length++] = static_cast<char>(r);
    }
    for (size_t i = 0; i < 8; ++i) item.prefix = item.prefix << 8 | static_cast<unsigned char>(item.ranks[i]);
    at += std::max<size_t>(length + 1, 9);
  }
  std::sort(items.begin(), items.end(), ApproximateLess());

  const size_t allowed = items.size() / 64 + 16;
  size_t misplaced = 0;
  for (auto it = items.begin() + (items.empty() ? 0 : 1); it < items.end(); ++it) {
    if (!exact(*it, *(it - 1))) continue;
    if (++misplaced > allowed) {
      std::sort(items.begin(), items.end(), exact);
      break;
    }
    std::rotate(std::upper_bound(items.begin(), it, *it, exact), it, it + 1);
  }
  OrderEqualNames(exact, &items);
  for (size_t i = 0; i < items.size(); ++i) (*names)[i] = items[i].name;
}

}  // namespace

// Adding a string makes the control search its place with its comparison and move every
// item after it: in archive order, half the list per name. Sorted beforehand with the same
// comparison, the names are inserted at the end with no search (CB_INSERTSTRING keeps the
// order it is given). Drawing is off while the list fills, the storage reserved once.
void FillSortedList(HWND combo, std::vector<const char*>* names) {
  size_t text_bytes = 0;
  for (const char* name : *names) text_bytes += std::strlen(name) + 1;
  SortForList(static_cast<LCID>(SendMessageA(combo, CB_GETLOCALE, 0, 0)), names);
  SendMessageA(combo, WM_SETREDRAW, FALSE, 0);
  SendMessageA(combo, CB_INITSTORAGE, names->size(), text_bytes);
  for (const char* name : *names) {
    SendMessageA(combo, CB_INSERTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(name));
  }
  SendMessageA(combo, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(combo, nullptr, TRUE);
}

}  // namespace vellumo

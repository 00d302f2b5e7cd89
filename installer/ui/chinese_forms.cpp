#include "installer/ui/chinese_forms.h"

#include <algorithm>

namespace hollin {

uint16_t MapChineseCharacter(uint16_t unit, ChineseForm form) {
  const ChineseFormPair* begin =
      form == ChineseForm::kSimplified ? kToSimplifiedPairs : kToTraditionalPairs;
  const ChineseFormPair* end =
      begin + (form == ChineseForm::kSimplified ? kToSimplifiedPairsCount
                                                : kToTraditionalPairsCount);
  const ChineseFormPair* at = std::lower_bound(
      begin, end, unit, [](const ChineseFormPair& p, uint16_t u) { return p.from < u; });
  return (at != end && at->from == unit) ? at->to : unit;
}

void MapChineseForm(uint16_t* units, size_t count, ChineseForm form) {
  for (size_t i = 0; i < count; ++i) units[i] = MapChineseCharacter(units[i], form);
}

}  // namespace hollin

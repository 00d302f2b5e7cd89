// Simplified and traditional forms of Chinese characters, for systems whose national-
// language services do not map between them. The tables are generated at build time from
// Unicode's Unihan variants data.
#pragma once
#include <cstddef>
#include <cstdint>

namespace hollin {

struct ChineseFormPair {
  uint16_t from;
  uint16_t to;
};
// Sorted by `from`; defined in the generated source.
extern const ChineseFormPair kToSimplifiedPairs[];
extern const size_t kToSimplifiedPairsCount;
extern const ChineseFormPair kToTraditionalPairs[];
extern const size_t kToTraditionalPairsCount;

enum class ChineseForm { kSimplified, kTraditional };

// The other form of one UTF-16 unit, or the unit itself when it has none.
uint16_t MapChineseCharacter(uint16_t unit, ChineseForm form);
// Maps `count` UTF-16 units in place.
void MapChineseForm(uint16_t* units, size_t count, ChineseForm form);

}  // namespace hollin

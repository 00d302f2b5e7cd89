// Watches every operator new of the test binary: records the largest request and refuses
// (bad_alloc) any request above a ceiling, so a size taken from a hostile file shows up as a
// test failure in every build, not only where the allocation happens to fail.
#pragma once
#include <cstddef>

namespace hostile {

// Requests above this are refused.
constexpr size_t kAllocationCeiling = size_t(256) << 20;

// Starts a new watch: the largest request and the refusals since then.
void ResetAllocationWatch();
size_t LargestAllocationRequest();
int RefusedAllocations();

}  // namespace hostile

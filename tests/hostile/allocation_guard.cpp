#include "tests/hostile/allocation_guard.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace hostile {
namespace {
std::atomic<size_t> g_largest{0};
std::atomic<int> g_refused{0};

void* Allocate(size_t n) {
  size_t seen = g_largest.load();
  while (n > seen && !g_largest.compare_exchange_weak(seen, n)) {
  }
  if (n > kAllocationCeiling) {
    ++g_refused;
    return nullptr;
  }
  return std::malloc(n ? n : 1);
}
}  // namespace

void ResetAllocationWatch() {
  g_largest = 0;
  g_refused = 0;
}
size_t LargestAllocationRequest() { return g_largest; }
int RefusedAllocations() { return g_refused; }

}  // namespace hostile

void* operator new(size_t n) {
  void* p = hostile::Allocate(n);
  if (!p) throw std::bad_alloc();
  return p;
}
void* operator new[](size_t n) { return operator new(n); }
void* operator new(size_t n, const std::nothrow_t&) noexcept { return hostile::Allocate(n); }
void* operator new[](size_t n, const std::nothrow_t&) noexcept { return hostile::Allocate(n); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete[](void* p, size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

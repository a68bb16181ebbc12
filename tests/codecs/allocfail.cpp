#include "allocfail.h"

#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

size_t gFailFrom = 0;      // size from which allocations fail; 0 = none
size_t gCountdown = 0;     // allocations left before the one that fails; 0 = none
bool gFailLater = false;   // after the counted one fails, every later one does too
bool gFailingAll = false;  // the counted one has failed and gFailLater holds
bool gRefused = false;
// Blocks handed out by operator new and not yet deleted; allocations may come from any
// thread.
std::atomic<size_t> gLive{0};

bool Refuse(size_t n) {
  bool refuse = gFailingAll || (gFailFrom != 0 && n >= gFailFrom);
  if (!refuse && gCountdown != 0 && --gCountdown == 0) {
    refuse = true;
    gFailingAll = gFailLater;
  }
  if (refuse) gRefused = true;
  return refuse;
}

}  // namespace

void* operator new(size_t n) {
  if (Refuse(n)) throw std::bad_alloc();
  if (void* p = std::malloc(n ? n : 1)) {
    gLive.fetch_add(1, std::memory_order_relaxed);
    return p;
  }
  throw std::bad_alloc();
}
// The non-throwing form too: its blocks come back through the plain delete below, so
// both sides must be ours (the standard library's temporary buffers and libpng use it).
void* operator new(size_t n, const std::nothrow_t&) noexcept {
  if (Refuse(n)) return nullptr;
  void* p = std::malloc(n ? n : 1);
  if (p) gLive.fetch_add(1, std::memory_order_relaxed);
  return p;
}
// Kept out of line: the compiler would otherwise pair our malloc with free at each call
// site and call it a mismatch.
[[gnu::noinline]] void operator delete(void* p) noexcept {
  if (p) gLive.fetch_sub(1, std::memory_order_relaxed);
  std::free(p);
}
[[gnu::noinline]] void operator delete(void* p, size_t) noexcept {
  if (p) gLive.fetch_sub(1, std::memory_order_relaxed);
  std::free(p);
}

namespace vxtest {

void FailAllocationsFrom(size_t bytes) {
  gFailFrom = bytes;
  gRefused = false;
}

void FailAllocationNumber(size_t n, bool andLater) {
  gCountdown = n;
  gFailLater = andLater;
  gFailingAll = false;
  gRefused = false;
}

void StopFailingAllocations() {
  gFailFrom = 0;
  gCountdown = 0;
  gFailLater = false;
  gFailingAll = false;
}

bool AllocationWasRefused() {
  return gRefused;
}

size_t LiveAllocations() {
  return gLive.load(std::memory_order_relaxed);
}

size_t HeapInUse() {
  const struct mallinfo2 m = mallinfo2();
  return m.uordblks + m.hblkhd;
}

}  // namespace vxtest

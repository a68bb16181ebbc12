#pragma once
// Refused allocations on demand, for the codec tests: test_codecs replaces the global
// operator new (throwing and non-throwing) with one that can be told to fail.
#include <cstddef>

namespace vxtest {

// Every allocation of at least this many bytes fails; 0 stops it.
void FailAllocationsFrom(size_t bytes);
// The nth allocation from now on fails (1 = the next one), and with andLater every one
// after it as well; 0 stops it.
void FailAllocationNumber(size_t n, bool andLater);
// Ends every kind of failing.
void StopFailingAllocations();
// Whether an allocation was refused since the last Fail... call.
bool AllocationWasRefused();

// Blocks operator new has handed out and operator delete not yet taken back.
size_t LiveAllocations();
// Bytes the heap has handed out and not taken back (malloc and operator new alike).
size_t HeapInUse();

// Stops failing when it goes out of scope, whatever ends the test.
struct AllocationFailureScope {
  AllocationFailureScope() = default;
  AllocationFailureScope(const AllocationFailureScope&) = delete;
  AllocationFailureScope& operator=(const AllocationFailureScope&) = delete;
  ~AllocationFailureScope() { StopFailingAllocations(); }
};

}  // namespace vxtest

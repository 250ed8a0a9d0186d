#include "failing_allocations.h"

#include <cstdlib>
#include <new>

namespace {
bool failAllocations = false;
}

void* operator new(std::size_t size) {
  if (failAllocations) throw std::bad_alloc();
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace lomar::testing {

void FailAllocations(bool failing) { failAllocations = failing; }

}  // namespace lomar::testing

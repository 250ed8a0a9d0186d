// A test program that links failing_allocations.cpp has its operator new replaced: while failing, every
// allocation through it throws std::bad_alloc.
#pragma once

namespace lomar::testing {

void FailAllocations(bool failing);

}  // namespace lomar::testing

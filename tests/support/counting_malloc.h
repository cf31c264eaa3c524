// Counts every heap allocation of the process: the C library's malloc
// family is replaced by counting versions (operator new and the shared
// libraries end there too). Link counting_malloc.cpp into a test program to
// use it.
#pragma once

#include <cstddef>

namespace countingmalloc {

// Allocations made so far.
size_t Allocations();

// Allocations made while `work` runs.
template <typename Work>
size_t During(Work&& work) {
  const size_t before = Allocations();
  work();
  return Allocations() - before;
}

}  // namespace countingmalloc

#include "support/counting_malloc.h"

#include <atomic>
#include <cstddef>

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* p, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
void __libc_free(void* p);
}

namespace {
std::atomic<size_t> g_allocations{0};
}

namespace countingmalloc {
size_t Allocations() { return g_allocations.load(); }
}  // namespace countingmalloc

// These replace the C library's functions for the whole process.
extern "C" {
void* malloc(size_t size) noexcept {
  ++g_allocations;
  return __libc_malloc(size);
}
void* calloc(size_t count, size_t size) noexcept {
  ++g_allocations;
  return __libc_calloc(count, size);
}
void* realloc(void* p, size_t size) noexcept {
  ++g_allocations;
  return __libc_realloc(p, size);
}
void* memalign(size_t alignment, size_t size) noexcept {
  ++g_allocations;
  return __libc_memalign(alignment, size);
}
void* aligned_alloc(size_t alignment, size_t size) noexcept {
  ++g_allocations;
  return __libc_memalign(alignment, size);
}
int posix_memalign(void** out, size_t alignment, size_t size) noexcept {
  ++g_allocations;
  void* p = __libc_memalign(alignment, size);
  if (!p) return 12;  // ENOMEM
  *out = p;
  return 0;
}
void free(void* p) noexcept { __libc_free(p); }
}

#ifndef RELMERGE_RELATIONS_PREFETCH_H_
#define RELMERGE_RELATIONS_PREFETCH_H_

#include <cstddef>

#include "relations/records.h"

// Asks for the cache line that holds `address` ahead of its use. The compiler takes the bare
// builtin for a statement without effect and drops a loop made of nothing else, which is the
// very loop that asks for a whole block of rows at once; this form it keeps.
inline void prefetch(const void* address) {
#if defined(__x86_64__) || defined(__i386__)
  asm volatile("prefetcht0 %0" : : "m"(*static_cast<const char*>(address)));
#else
  __builtin_prefetch(address);
  asm volatile("" : : "r"(address) : "memory");
#endif
}

// Rows of a relation joined on later levels lie anywhere in the script, each found through
// its entry in the row list: two cache misses in a row. Asks for the rows idAt(0) to
// idAt(count - 1), the entries of all first, so that the misses of each pass overlap.
template <typename IdAt>
void prefetchRows(const rowVec& rows, size_t count, IdAt&& idAt) {
  for (size_t k = 0; k < count; ++k) prefetch(&rows.packed[idAt(k)]);
  for (size_t k = 0; k < count; ++k) prefetch(rows[idAt(k)].data());
}

#endif  // RELMERGE_RELATIONS_PREFETCH_H_

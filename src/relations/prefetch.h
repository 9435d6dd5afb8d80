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
// its entry in the row list: two cache misses in a row. Rows used one after another have the
// entry of a later row asked for kEntriesAhead rows before its use and its bytes kBytesAhead
// rows before, so that each arrives about when it is wanted while only a few dozen misses
// wait at once. Asking for a whole block up front overruns the misses the processor keeps
// track of, and the first rows asked for may be gone from the cache before their turn.
inline constexpr size_t kEntriesAhead = 24;
inline constexpr size_t kBytesAhead = 12;

// Calls use(k) for k from 0 to count - 1, with askEntries(j) and askBytes(j) called ahead of
// use(j) as above; askBytes may read the entry that askEntries asked for.
template <typename AskEntries, typename AskBytes, typename Use>
void useRowsInTurn(size_t count, AskEntries&& askEntries, AskBytes&& askBytes, Use&& use) {
  for (size_t k = 0; k < count && k < kEntriesAhead; ++k) askEntries(k);
  for (size_t k = 0; k < count && k < kBytesAhead; ++k) askBytes(k);
  for (size_t k = 0; k < count; ++k) {
    if (k + kEntriesAhead < count) askEntries(k + kEntriesAhead);
    if (k + kBytesAhead < count) askBytes(k + kBytesAhead);
    use(k);
  }
}

// useRowsInTurn for uses that each read a few rows: forEachRow(k, visit) calls
// visit(rows, row) for every row that use(k) reads, which is asked for ahead of it.
template <typename ForEachRow, typename Use>
void useRowsInTurn(size_t count, ForEachRow&& forEachRow, Use&& use) {
  useRowsInTurn(
      count,
      [&](size_t k) {
        forEachRow(k, [](const rowVec& rows, size_t row) { prefetch(&rows.packed[row]); });
      },
      [&](size_t k) {
        forEachRow(k, [](const rowVec& rows, size_t row) { prefetch(rows[row].data()); });
      },
      use);
}

#endif  // RELMERGE_RELATIONS_PREFETCH_H_

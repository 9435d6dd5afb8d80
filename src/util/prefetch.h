#ifndef RELMERGE_UTIL_PREFETCH_H_
#define RELMERGE_UTIL_PREFETCH_H_

#include <cstddef>

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

// Data found through an entry of a list (a row of a relation through its entry in the row
// list) costs two cache misses in a row. Items used one after another have the entry of a
// later item asked for kEntriesAhead items before its use and its bytes kBytesAhead items
// before, so that each arrives about when it is wanted while only a few dozen misses
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

#endif  // RELMERGE_UTIL_PREFETCH_H_

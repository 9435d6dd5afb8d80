#ifndef RELMERGE_RELATIONS_SCAN_H_
#define RELMERGE_RELATIONS_SCAN_H_

#include <cstddef>
#include <cstring>

// The first `byte` in [from, end), or `end`. Most lines and values are a few bytes long, where
// a library call costs more than the search, so the first bytes are looked at in place and
// only a longer run is left to memchr.
inline const char* findByte(const char* from, const char* end, char byte) {
  constexpr ptrdiff_t kInPlace = 16;
  const char* stop = end - from > kInPlace ? from + kInPlace : end;
  for (; from != stop; ++from) {
    if (*from == byte) return from;
  }
  if (from == end) return end;
  const void* found = std::memchr(from, byte, static_cast<size_t>(end - from));
  return found == nullptr ? end : static_cast<const char*>(found);
}

#endif  // RELMERGE_RELATIONS_SCAN_H_

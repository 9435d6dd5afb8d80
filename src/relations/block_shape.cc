#include "relations/block_shape.h"

#include <bit>
#include <cstdint>

#include "util/scan.h"

namespace {

// Line feeds, commas and blanks, in this order.
constexpr char kScanned[] = {'\n', ',', ' '};

// The number of set bits: with `kPopcount` the processor's instruction, which baseline x86-64
// lacks and for which the compiler would otherwise call the library, once per row.
template <bool kPopcount>
[[gnu::always_inline]] inline size_t countBits(uint64_t bits) {
  if constexpr (kPopcount) {
    return static_cast<size_t>(__builtin_popcountll(bits));
  } else {
    bits -= (bits >> 1) & 0x5555555555555555;
    bits = (bits & 0x3333333333333333) + ((bits >> 2) & 0x3333333333333333);
    bits = (bits + (bits >> 4)) & 0x0f0f0f0f0f0f0f0f;
    return static_cast<size_t>((bits * 0x0101010101010101) >> 56);
  }
}

void addRow(blockShapeStruct& shape, size_t commas) {
  size_t items = commas + 1;
  if (shape.rows == 0) {
    shape.rowItems = items;
  } else if (items != shape.rowItems) {
    shape.rowItems = 0;
  }
  ++shape.rows;
}

// The text is looked at 64 bytes at a time, its line feeds, commas and blanks as bits: a row
// of a few bytes then costs a count of trailing zeros and a count of bits, not a walk. Built
// twice, with and without the popcount instruction, for the processor to pick.
template <bool kPopcount>
[[gnu::always_inline]] inline blockShapeStruct measureBlockWith(std::string_view text) {
  blockShapeStruct shape;
  const char* start = text.data();
  const char* end = start + text.size();
  size_t lineStart = 0;
  size_t commasBefore = 0;  // in the windows before the one looked at
  size_t commasToLine = 0;  // before lineStart
  uint64_t carry = 0;       // whether the byte before the window is a comma
  for (size_t window = 0; window < text.size(); window += kWindowBytes) {
    uint64_t masks[3];
    windowMasks(start + window, end, kScanned, masks);
    uint64_t commas = masks[1];
    // Bytes that follow a comma and are no blank.
    uint64_t unspaced = (commas << 1 | carry) & ~masks[2];
    carry = commas >> 63;
    for (uint64_t feeds = masks[0]; feeds != 0; feeds &= feeds - 1) {
      size_t feed = window + static_cast<size_t>(std::countr_zero(feeds));
      size_t length = feed - lineStart;
      if (length > 0 && start[feed - 1] == '\r') --length;
      if (length == 0) {
        // The bytes from the empty line on are not the rows'. Should that line start before
        // this window, no byte of the window is theirs.
        unspaced &= lineStart > window ? lowBits(lineStart - window) : 0;
        shape.commasSpaced = shape.commasSpaced && unspaced == 0;
        return shape;
      }
      size_t commasToFeed = commasBefore + countBits<kPopcount>(commas & lowBits(feed - window));
      addRow(shape, commasToFeed - commasToLine);
      commasToLine = commasToFeed;
      lineStart = feed + 1;
    }
    shape.commasSpaced = shape.commasSpaced && unspaced == 0;
    commasBefore += countBits<kPopcount>(commas);
  }
  if (lineStart < text.size()) {
    // The last line, with no line feed after it. Its last byte has no byte after it that
    // could be a blank.
    addRow(shape, commasBefore - commasToLine);
    shape.commasSpaced = shape.commasSpaced && text.back() != ',';
  }
  return shape;
}

#if defined(__x86_64__)
__attribute__((target("popcnt"))) blockShapeStruct measureBlockWithPopcount(std::string_view text) {
  return measureBlockWith<true>(text);
}
#endif

}  // namespace

blockShapeStruct measureBlock(std::string_view text) {
#if defined(__x86_64__)
  if (__builtin_cpu_supports("popcnt")) return measureBlockWithPopcount(text);
#endif
  return measureBlockPortably(text);
}

blockShapeStruct measureBlockPortably(std::string_view text) {
  return measureBlockWith<false>(text);
}

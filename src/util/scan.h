#ifndef RELMERGE_UTIL_SCAN_H_
#define RELMERGE_UTIL_SCAN_H_

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// The sizeof(Word) bytes at `p` as one number, whatever their alignment.
template <typename Word>
inline Word loadWord(const char* p) {
  Word word;
  std::memcpy(&word, p, sizeof word);
  return word;
}

// The first `byte` in [from, end), or `end`. Most lines and values are a few bytes long, where
// a library call costs more than the search, so the first bytes are looked at in place, eight
// at a time, and only a longer run is left to memchr.
inline const char* findByte(const char* from, const char* end, char byte) {
  constexpr ptrdiff_t kInPlace = 32;
  constexpr uint64_t kOnes = 0x0101010101010101ULL;
  constexpr uint64_t kHighs = 0x8080808080808080ULL;
  const char* stop = end - from > kInPlace ? from + kInPlace : end;
  uint64_t wanted = kOnes * static_cast<unsigned char>(byte);
  // The lowest byte of a word loaded from memory must be its first.
  constexpr bool kWords = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__;
  for (; kWords && stop - from >= 8; from += 8) {
    uint64_t word = loadWord<uint64_t>(from) ^ wanted;
    // A byte of `word` is zero where `byte` stands; the lowest flagged byte is always a true
    // one, as a false flag only follows a true one.
    uint64_t zeros = (word - kOnes) & ~word & kHighs;
    if (zeros != 0) return from + __builtin_ctzll(zeros) / 8;
  }
  for (; from != stop; ++from) {
    if (*from == byte) return from;
  }
  if (from == end) return end;
  const void* found = std::memchr(from, byte, static_cast<size_t>(end - from));
  return found == nullptr ? end : static_cast<const char*>(found);
}

// Whether `a` and `b` hold the same bytes. Values are mostly a few bytes long, where a library
// call costs more than the comparison: up to 16 bytes are compared as two words read at both
// ends, which may overlap.
inline bool sameBytes(std::string_view a, std::string_view b) {
  size_t size = a.length();
  if (size != b.length()) return false;
  const char* p = a.data();
  const char* q = b.data();
  // The bits in which the words at `at` of both differ.
  auto differ64 = [p, q](size_t at) {
    return loadWord<uint64_t>(p + at) ^ loadWord<uint64_t>(q + at);
  };
  auto differ32 = [p, q](size_t at) {
    return loadWord<uint32_t>(p + at) ^ loadWord<uint32_t>(q + at);
  };
  if (size >= 8 && size <= 16) return (differ64(0) | differ64(size - 8)) == 0;
  if (size >= 4 && size < 8) return (differ32(0) | differ32(size - 4)) == 0;
  if (size > 16) return std::memcmp(p, q, size) == 0;
  for (size_t at = 0; at < size; ++at) {
    if (p[at] != q[at]) return false;
  }
  return true;
}

// A text looked at 64 bytes at a time, one bit per byte: a walk over many short lines or
// values then finds the next one with a count of trailing zeros instead of a search.
constexpr size_t kWindowBytes = 64;

// The lowest `count` bits set; every bit from 64 on.
constexpr uint64_t lowBits(size_t count) {
  return count >= kWindowBytes ? ~uint64_t{0} : (uint64_t{1} << count) - 1;
}

// Bit i is set when window[i] equals `byte`; all 64 bytes must lie in the text.
inline uint64_t fullWindowMask(const char* window, char byte) {
#if defined(__SSE2__)
  const __m128i wanted = _mm_set1_epi8(byte);
  uint64_t mask = 0;
  for (size_t part = 0; part < kWindowBytes / 16; ++part) {
    __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(window + 16 * part));
    auto bits = static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, wanted)));
    mask |= uint64_t{bits} << (16 * part);
  }
  return mask;
#else
  uint64_t mask = 0;
  for (size_t at = 0; at < kWindowBytes; ++at) mask |= uint64_t{window[at] == byte} << at;
  return mask;
#endif
}

// fullWindowMask of each of `bytes`, into `masks`; each 16 bytes of the window are loaded once.
template <size_t N>
inline void fullWindowMasks(const char* window, const char (&bytes)[N], uint64_t (&masks)[N]) {
#if defined(__SSE2__)
  for (uint64_t& mask : masks) mask = 0;
  for (size_t part = 0; part < kWindowBytes / 16; ++part) {
    __m128i loaded = _mm_loadu_si128(reinterpret_cast<const __m128i*>(window + 16 * part));
    for (size_t i = 0; i < N; ++i) {
      __m128i wanted = _mm_set1_epi8(bytes[i]);
      auto bits = static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(loaded, wanted)));
      masks[i] |= uint64_t{bits} << (16 * part);
    }
  }
#else
  for (size_t i = 0; i < N; ++i) masks[i] = fullWindowMask(window, bytes[i]);
#endif
}

// Bit i is set when window[i] equals `byte`, for the bytes of [window, end) among the first 64;
// the bits from `end` on are clear. Nothing at or past `end` is read: the last, shorter window
// of a text is copied to zeros first.
inline uint64_t windowMask(const char* window, const char* end, char byte) {
  auto size = static_cast<size_t>(end - window);
  if (size >= kWindowBytes) return fullWindowMask(window, byte);
  char copy[kWindowBytes] = {};
  // The text may be empty with no buffer at all, and memcpy takes no null pointer.
  if (size > 0) std::memcpy(copy, window, size);
  return fullWindowMask(copy, byte) & lowBits(size);
}

// windowMask of each of `bytes`, into `masks`.
template <size_t N>
inline void windowMasks(const char* window, const char* end, const char (&bytes)[N],
                        uint64_t (&masks)[N]) {
  auto size = static_cast<size_t>(end - window);
  if (size >= kWindowBytes) {
    fullWindowMasks(window, bytes, masks);
    return;
  }
  char copy[kWindowBytes] = {};
  if (size > 0) std::memcpy(copy, window, size);
  fullWindowMasks(copy, bytes, masks);
  for (uint64_t& mask : masks) mask &= lowBits(size);
}

#endif  // RELMERGE_UTIL_SCAN_H_

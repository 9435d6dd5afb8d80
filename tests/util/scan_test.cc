#include "util/scan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>

namespace {

// Every length across the word-wise and the library parts of the search, the sought byte at
// every place or nowhere, among bytes that trip up word tricks: zero, one, the sought byte
// plus or minus one, and bytes with the high bit set.
TEST(FindByte, AgreesWithPlainSearch) {
  const char kSought[] = {',', '\n', '\0', '\x80', '\xFF'};
  std::mt19937 random(7);
  for (char sought : kSought) {
    const char kNeighbours[] = {
        '\0',   '\x01', static_cast<char>(sought + 1), static_cast<char>(sought - 1), '\x7F',
        '\x81', 'a'};
    for (size_t length = 0; length <= 80; ++length) {
      for (size_t place = 0; place <= length; ++place) {
        // Exactly `length` bytes, so that a read past the end shows under AddressSanitizer.
        std::unique_ptr<char[]> text(new char[length]);
        for (size_t i = 0; i < length; ++i) {
          char byte = kNeighbours[random() % std::size(kNeighbours)];
          text[i] = byte == sought ? 'a' : byte;
        }
        if (place < length) text[place] = sought;
        if (place + 3 < length && random() % 2 == 0) text[place + 3] = sought;
        const char* begin = text.get();
        const char* end = begin + length;
        EXPECT_EQ(std::find(begin, end, sought), findByte(begin, end, sought))
            << "length " << length << " place " << place << " byte " << int(sought);
      }
    }
  }
}

// Values of every length across the word-wise and the library parts, equal or differing in one
// byte at every place, each in a buffer of exactly its size.
TEST(SameBytes, AgreesWithPlainComparison) {
  for (size_t length = 0; length <= 40; ++length) {
    std::unique_ptr<char[]> a(new char[length]);
    std::unique_ptr<char[]> b(new char[length]);
    for (size_t i = 0; i < length; ++i) a[i] = b[i] = static_cast<char>('a' + i % 26);
    std::string_view left(a.get(), length);
    std::string_view right(b.get(), length);
    EXPECT_TRUE(sameBytes(left, right)) << length;
    for (size_t place = 0; place < length; ++place) {
      b[place] = '\x80';
      EXPECT_FALSE(sameBytes(left, right)) << length << " differs at " << place;
      b[place] = a[place];
    }
    if (length > 0) {
      EXPECT_FALSE(sameBytes(left, right.substr(1))) << length;
    }
  }
}

}  // namespace

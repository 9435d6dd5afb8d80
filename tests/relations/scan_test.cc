#include "relations/scan.h"

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

}  // namespace

#include "util/big_count.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

__extension__ typedef unsigned __int128 wideUnsigned;

std::string decimalOfWide(wideUnsigned value) {
  std::string text;
  do {
    text.insert(text.begin(), static_cast<char>('0' + static_cast<int>(value % 10)));
    value /= 10;
  } while (value != 0);
  return text;
}

bigCountStruct bigOfWide(wideUnsigned value) {
  bigCountStruct count = bigCountOf(static_cast<uint64_t>(value >> 64));
  multiplyBy(count, uint64_t{1} << 32);
  multiplyBy(count, uint64_t{1} << 32);
  addTo(count, static_cast<uint64_t>(value));
  return count;
}

TEST(BigCount, Decimals) {
  struct Case {
    bigCountStruct count;
    std::string decimal;
  } cases[] = {
      {bigCountOf(0), "0"},
      {bigCountOf(7), "7"},
      {bigCountOf(1000000000), "1000000000"},
      {bigCountOf(UINT64_MAX), "18446744073709551615"},
      {productOf(bigCountOf(UINT64_MAX), bigCountOf(UINT64_MAX)),
       "340282366920938463426481119284349108225"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.decimal, decimalOf(c.count));
}

TEST(BigCount, FitsIn64) {
  uint64_t value = 0;
  EXPECT_TRUE(fitsIn64(bigCountOf(UINT64_MAX), value));
  EXPECT_EQ(UINT64_MAX, value);
  bigCountStruct past = bigCountOf(UINT64_MAX);
  addTo(past, 1);
  EXPECT_FALSE(fitsIn64(past, value));
  EXPECT_EQ("18446744073709551616", decimalOf(past));
  subtractFrom(past, bigCountOf(2));
  EXPECT_TRUE(fitsIn64(past, value));
  EXPECT_EQ(UINT64_MAX - 1, value);
}

// Sums, differences and products that fit in 128 bits, against the compiler's own.
TEST(BigCount, AgreesWithWideIntegers) {
  std::mt19937_64 rng(42);
  for (int i = 0; i < 5000; ++i) {
    // Now and then a value of few bits, so that carries and borrows run through zeros.
    uint64_t a = i % 4 == 0 ? rng() >> (rng() % 64) : rng();
    uint64_t b = i % 3 == 0 ? rng() >> (rng() % 64) : rng();
    wideUnsigned product = static_cast<wideUnsigned>(a) * b;
    EXPECT_EQ(decimalOfWide(product), decimalOf(productOf(bigCountOf(a), bigCountOf(b))));
    bigCountStruct sum = bigOfWide(product);
    wideUnsigned addend = static_cast<wideUnsigned>(rng()) << (rng() % 60);
    addTo(sum, bigOfWide(addend));
    if (product + addend < product) continue;  // past 128 bits
    EXPECT_EQ(decimalOfWide(product + addend), decimalOf(sum));
    subtractFrom(sum, bigOfWide(product));
    EXPECT_EQ(decimalOfWide(addend), decimalOf(sum));
  }
}

}  // namespace

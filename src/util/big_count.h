#ifndef RELMERGE_UTIL_BIG_COUNT_H_
#define RELMERGE_UTIL_BIG_COUNT_H_

#include <cstdint>
#include <string>
#include <vector>

// A count of any size. The rows of a product of many relations outgrow every fixed width, and
// a count that wrapped around would be a wrong number.
struct bigCountStruct {
  // Base 2^32 digits, least significant first, with no zero digit at the top: 0 has none.
  std::vector<uint32_t> digits;
};

bigCountStruct bigCountOf(uint64_t value);

void addTo(bigCountStruct& sum, const bigCountStruct& addend);
void addTo(bigCountStruct& sum, uint64_t addend);

// Takes `subtrahend` away from `count`, which must be at least as large.
void subtractFrom(bigCountStruct& count, const bigCountStruct& subtrahend);

void multiplyBy(bigCountStruct& count, uint64_t factor);
bigCountStruct productOf(const bigCountStruct& a, const bigCountStruct& b);

// Sets `value` and answers true when the count fits in 64 bits.
bool fitsIn64(const bigCountStruct& count, uint64_t& value);

// The count in decimal digits, "0" for zero.
std::string decimalOf(const bigCountStruct& count);

#endif  // RELMERGE_UTIL_BIG_COUNT_H_

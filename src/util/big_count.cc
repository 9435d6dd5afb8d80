#include "util/big_count.h"

#include <algorithm>

namespace {

constexpr uint64_t kDigitBase = uint64_t{1} << 32;

void dropLeadingZeros(bigCountStruct& count) {
  while (!count.digits.empty() && count.digits.back() == 0) count.digits.pop_back();
}

// The remainder of dividing `count` by `divisor`, which must be below 2^32; `count` becomes the
// quotient.
uint32_t divideBy(bigCountStruct& count, uint32_t divisor) {
  uint64_t remainder = 0;
  for (size_t i = count.digits.size(); i-- > 0;) {
    uint64_t part = remainder * kDigitBase + count.digits[i];
    count.digits[i] = static_cast<uint32_t>(part / divisor);
    remainder = part % divisor;
  }
  dropLeadingZeros(count);
  return static_cast<uint32_t>(remainder);
}

}  // namespace

bigCountStruct bigCountOf(uint64_t value) {
  bigCountStruct count;
  for (; value != 0; value >>= 32) count.digits.push_back(static_cast<uint32_t>(value));
  return count;
}

void addTo(bigCountStruct& sum, const bigCountStruct& addend) {
  std::vector<uint32_t>& digits = sum.digits;
  if (digits.size() < addend.digits.size()) digits.resize(addend.digits.size(), 0);
  uint64_t carry = 0;
  for (size_t i = 0; i < digits.size() && (i < addend.digits.size() || carry != 0); ++i) {
    uint64_t part = uint64_t{digits[i]} + carry;
    if (i < addend.digits.size()) part += addend.digits[i];
    digits[i] = static_cast<uint32_t>(part);
    carry = part >> 32;
  }
  if (carry != 0) digits.push_back(static_cast<uint32_t>(carry));
}

void addTo(bigCountStruct& sum, uint64_t addend) {
  if (addend != 0) addTo(sum, bigCountOf(addend));
}

void subtractFrom(bigCountStruct& count, const bigCountStruct& subtrahend) {
  std::vector<uint32_t>& digits = count.digits;
  uint64_t borrow = 0;
  for (size_t i = 0; i < digits.size() && (i < subtrahend.digits.size() || borrow != 0); ++i) {
    uint64_t taken = borrow + (i < subtrahend.digits.size() ? subtrahend.digits[i] : 0);
    borrow = taken > digits[i] ? 1 : 0;
    digits[i] = static_cast<uint32_t>(borrow * kDigitBase + digits[i] - taken);
  }
  dropLeadingZeros(count);
}

void multiplyBy(bigCountStruct& count, uint64_t factor) {
  count = productOf(count, bigCountOf(factor));
}

bigCountStruct productOf(const bigCountStruct& a, const bigCountStruct& b) {
  bigCountStruct product;
  if (a.digits.empty() || b.digits.empty()) return product;
  product.digits.assign(a.digits.size() + b.digits.size(), 0);
  for (size_t i = 0; i < a.digits.size(); ++i) {
    uint64_t carry = 0;
    for (size_t j = 0; j < b.digits.size(); ++j) {
      // At most (2^32 - 1)^2 + 2 (2^32 - 1), which is 2^64 - 1: no overflow.
      uint64_t part = uint64_t{a.digits[i]} * b.digits[j] + product.digits[i + j] + carry;
      product.digits[i + j] = static_cast<uint32_t>(part);
      carry = part >> 32;
    }
    product.digits[i + b.digits.size()] = static_cast<uint32_t>(carry);
  }
  dropLeadingZeros(product);
  return product;
}

bool fitsIn64(const bigCountStruct& count, uint64_t& value) {
  if (count.digits.size() > 2) return false;
  value = 0;
  for (size_t i = count.digits.size(); i-- > 0;) value = value << 32 | count.digits[i];
  return true;
}

std::string decimalOf(const bigCountStruct& count) {
  bigCountStruct rest = count;
  std::string text;
  // Nine decimal digits at a time: 10^9 is below 2^32.
  constexpr uint32_t kNineDigits = 1000000000;
  while (!rest.digits.empty()) {
    uint32_t group = divideBy(rest, kNineDigits);
    for (int i = 0; i < 9 && (group != 0 || !rest.digits.empty()); ++i) {
      text.push_back(static_cast<char>('0' + group % 10));
      group /= 10;
    }
  }
  if (text.empty()) text.push_back('0');
  std::reverse(text.begin(), text.end());
  return text;
}

#ifndef RELMERGE_RELATIONS_RECORDS_H_
#define RELMERGE_RELATIONS_RECORDS_H_

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "util/large_allocator.h"

// Every text below is a view into the script buffer: the buffer must outlive the records.

// One attribute. Two attributes are the same attribute when both texts are equal.
struct fieldStruct {
  std::string_view name;
  std::string_view type;
};

// The rows of a relation, each kept as its data line; a row's values are the line's items
// (relations/items.h). A script of millions of short rows would be outweighed by 16-byte
// views, so a row takes 8 bytes: where its line starts, counted from `base`, and its length.
// A line that does not fit those bits keeps a whole view in `unpacked`.
struct rowVec {
  class iterator {
   public:
    iterator(const rowVec* rows, size_t at) : rows_(rows), at_(at) {}
    std::string_view operator*() const { return (*rows_)[at_]; }
    iterator& operator++() {
      ++at_;
      return *this;
    }
    bool operator!=(const iterator& other) const { return at_ != other.at_; }

   private:
    const rowVec* rows_;
    size_t at_;
  };

  static constexpr int kLengthBits = 24;
  static constexpr uint64_t kLengthMask = (uint64_t{1} << kLengthBits) - 1;
  static constexpr uint64_t kOffsetLimit = uint64_t{1} << (64 - kLengthBits);

  const char* base = nullptr;  // where the script starts; set before the first row is added
  std::vector<uint64_t, largeAllocator<uint64_t>> packed;
  std::vector<std::string_view> unpacked;

  size_t size() const { return packed.size(); }
  bool empty() const { return packed.empty(); }
  iterator begin() const { return {this, 0}; }
  iterator end() const { return {this, packed.size()}; }

  std::string_view operator[](size_t row) const {
    uint64_t entry = packed[row];
    uint64_t length = entry & kLengthMask;
    if (length == kLengthMask) return unpacked[entry >> kLengthBits];
    return {base + (entry >> kLengthBits), length};
  }

  void reserve(size_t rows) { packed.reserve(rows); }

  // Kept inline: a script of millions of short rows calls it once per row.
  [[gnu::always_inline]] inline void push_back(std::string_view line) {
    if (base == nullptr) base = line.data();
    // Compared as integers: a line before `base` must not form a pointer difference. Its
    // offset wraps around to a number past the limit.
    uint64_t offset = reinterpret_cast<uintptr_t>(line.data()) - reinterpret_cast<uintptr_t>(base);
    if (offset < kOffsetLimit && line.size() < kLengthMask) [[likely]] {
      packed.push_back((offset << kLengthBits) | line.size());
    } else {
      pushUnpacked(line);
    }
  }

 private:
  void pushUnpacked(std::string_view line) {
    packed.push_back((uint64_t{unpacked.size()} << kLengthBits) | kLengthMask);
    unpacked.push_back(line);
  }
};

// One relation. A row may hold fewer or more values than `fields`.
struct mainStruct {
  std::string_view name;
  std::vector<fieldStruct> fields;
  rowVec rows;
  // The number of items every row holds, or 0 when the rows hold different numbers or there
  // are none (a row's item count is its number of commas plus one; see items.h).
  size_t rowItems = 0;
  // Whether every comma in the rows is followed by a blank: a row's items written with ", "
  // between them are then the row itself.
  bool commasSpaced = false;
};

#endif  // RELMERGE_RELATIONS_RECORDS_H_

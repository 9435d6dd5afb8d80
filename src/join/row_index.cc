#include "join/row_index.h"

#include <algorithm>
#include <cstring>

#include "join/plan.h"
#include "relations/items.h"
#include "relations/prefetch.h"
#include "relations/scan.h"

namespace {

__extension__ typedef unsigned __int128 uint128;

using slotStruct = rowIndexStruct::slotStruct;

uint64_t mix(uint64_t a, uint64_t b) {
  uint128 product = static_cast<uint128>(a) * b;
  return static_cast<uint64_t>(product) ^ static_cast<uint64_t>(product >> 64);
}

// Values are mostly a few bytes long: one of up to 16 bytes is taken in as two words read at
// both its ends, which may overlap, so that no length costs a loop or a library call. Equal
// bytes always give equal words; the length tells apart values that the overlap would not.
uint64_t hashBytes(std::string_view bytes, uint64_t seed) {
  const char* p = bytes.data();
  size_t size = bytes.size();
  uint64_t a = 0;
  uint64_t b = 0;
  if (size > 16) {
    size_t left = size;
    for (; left > 16; left -= 16, p += 16) {
      seed = mix(loadWord<uint64_t>(p) ^ 0xA0761D6478BD642FULL, loadWord<uint64_t>(p + 8) ^ seed);
    }
    a = loadWord<uint64_t>(p + left - 16);
    b = loadWord<uint64_t>(p + left - 8);
  } else if (size >= 4) {
    size_t middle = (size >> 3) << 2;  // 0 below 8 bytes, else 4
    auto half = [](const char* at) { return uint64_t{loadWord<uint32_t>(at)}; };
    a = half(p) << 32 | half(p + middle);
    b = half(p + size - 4) << 32 | half(p + size - 4 - middle);
  } else if (size > 0) {
    auto byteAt = [p](size_t at) { return uint64_t{static_cast<unsigned char>(p[at])}; };
    a = byteAt(0) << 16 | byteAt(size >> 1) << 8 | byteAt(size - 1);
  }
  return mix(mix(a ^ 0xE7037ED1A0B428DBULL, b ^ seed ^ 0x8EBC6AF09C88C6E3ULL),
             size ^ 0x9E3779B97F4A7C15ULL);
}

uint64_t hashKey(const std::string_view* key, size_t width) {
  uint64_t hash = 0;
  for (size_t k = 0; k < width; ++k) hash = hashBytes(key[k], hash);
  return hash;
}

void hashKeys(keyBlockStruct& keys) {
  // The usual key of one value skips the loop over a key's values: 4% of a whole join.
  if (keys.width == 1) {
    for (size_t k = 0; k < keys.size; ++k) {
      keys.hashes[k] = keys.present[k] ? hashBytes(keys.values[k], 0) : 0;
    }
    return;
  }
  for (size_t k = 0; k < keys.size; ++k) {
    keys.hashes[k] = keys.present[k] ? hashKey(&keys.values[k * keys.width], keys.width) : 0;
  }
}

// Puts the row's values at `positions` in key[0..]; false when the row is too short to hold
// one of them.
bool keyOfRow(std::string_view row, const std::vector<int32_t>& positions,
              std::vector<std::string_view>& items, std::string_view* key) {
  if (positions.size() == 1) return itemAt(row, static_cast<size_t>(positions[0]), key[0]);
  // Several positions: one pass over the row, not one per position, and only as far as the
  // last position compared.
  splitItems(row, items, valuesNeeded(positions));
  for (size_t k = 0; k < positions.size(); ++k) {
    size_t position = static_cast<size_t>(positions[k]);
    if (position >= items.size()) return false;
    key[k] = items[position];
  }
  return true;
}

bool rowHasKey(std::string_view row, const std::vector<int32_t>& positions,
               const std::string_view* key, std::vector<std::string_view>& items) {
  if (positions.size() == 1) {
    return holdsItemAt(row, static_cast<size_t>(positions[0]), key[0]);
  }
  splitItems(row, items, valuesNeeded(positions));
  for (size_t k = 0; k < positions.size(); ++k) {
    size_t position = static_cast<size_t>(positions[k]);
    if (position >= items.size() || !sameBytes(items[position], key[k])) return false;
  }
  return true;
}

constexpr uint32_t kMoreRows = 1;

// The slot comes mostly from the high bits of the hash, so the tag takes the low ones.
uint32_t tagOf(uint64_t hash) { return static_cast<uint32_t>(hash) & ~kMoreRows; }

bool holdsTag(const slotStruct& slot, uint32_t tag) { return (slot.hashTag & ~kMoreRows) == tag; }

// Half of the slots stay free: a key without a match, the usual lookup where few rows match,
// then walks two or three slots on average rather than five at a third free. No rounding up
// to a power of two, which could double the table again.
size_t slotCountFor(size_t rows) { return 2 * rows + 16; }

size_t firstSlot(uint64_t hash, size_t slotCount) {
  return static_cast<size_t>((static_cast<uint128>(hash) * slotCount) >> 64);
}

size_t nextSlot(size_t slot, size_t slotCount) { return slot + 1 == slotCount ? 0 : slot + 1; }

const slotStruct& homeSlot(const rowIndexStruct& index, uint64_t hash) {
  return index.slots[firstSlot(hash, index.slots.size())];
}

// The first slot from the key's home on whose tag matches, or the free slot that ends the
// search. The slots before it hold other keys for good, as slots are only ever filled, so a
// lookup made later may start there.
size_t likelySlot(const rowIndexStruct& index, uint64_t hash) {
  uint32_t tag = tagOf(hash);
  size_t slotCount = index.slots.size();
  for (size_t slot = firstSlot(hash, slotCount);; slot = nextSlot(slot, slotCount)) {
    const slotStruct& found = index.slots[slot];
    if (found.firstRow == kNoRow || holdsTag(found, tag)) return slot;
  }
}

// The slot from `likely` on that holds the key with `tag` and values `key`, or the free slot
// that ends the walk when none does.
[[gnu::always_inline]] inline size_t slotOfKey(const rowIndexStruct& index, const rowVec& rows,
                                               size_t likely, uint32_t tag,
                                               const std::string_view* key,
                                               std::vector<std::string_view>& items) {
  size_t slotCount = index.slots.size();
  for (size_t slot = likely;; slot = nextSlot(slot, slotCount)) {
    const slotStruct& found = index.slots[slot];
    if (found.firstRow == kNoRow) return slot;
    if (holdsTag(found, tag) && rowHasKey(rows[found.firstRow], index.positions, key, items)) {
      return slot;
    }
  }
}

// A few keys ahead of the one being handled, the memory its lookup will read is asked for in
// stages: the slot, then the row whose tag matches, then that row's bytes. Without this every
// lookup waits on three cache misses in a row; asking only for rows whose tag matches keeps
// keys without a match from filling the memory bus with rows nobody reads. The keys go
// through the stages a group at a time, so that each stage is a plain loop.
constexpr size_t kStage = 12;
constexpr size_t kAhead = 3 * kStage;

// Calls handle(k, slot) for every present key, in key order or backwards, where `slot` is the
// key's likely slot.
template <typename Handle>
void lookUpInTurn(const rowIndexStruct& index, const rowVec& rows, keyBlockStruct& keys,
                  bool backwards, Handle&& handle) {
  size_t count = keys.size;
  std::vector<size_t>& likely = keys.likelySlots;
  likely.resize(count);
  // Calls visit(k) for each present key of the steps [from, from + kStage), as far as
  // there are keys.
  auto stage = [&](size_t from, auto&& visit) {
    size_t to = std::min(from + kStage, count);
    for (size_t step = from; step < to; ++step) {
      size_t k = backwards ? count - 1 - step : step;
      if (keys.present[k]) visit(k);
    }
  };
  for (size_t group = 0; group < count + kAhead; group += kStage) {
    stage(group, [&](size_t k) { prefetch(&homeSlot(index, keys.hashes[k])); });
    if (group < kStage) continue;
    stage(group - kStage, [&](size_t k) {
      likely[k] = likelySlot(index, keys.hashes[k]);
      const slotStruct& found = index.slots[likely[k]];
      if (found.firstRow != kNoRow) {
        prefetch(&rows.packed[found.firstRow]);
        if ((found.hashTag & kMoreRows) != 0) prefetch(&index.nextRow[found.firstRow]);
      }
    });
    if (group < 2 * kStage) continue;
    stage(group - 2 * kStage, [&](size_t k) {
      uint32_t row = index.slots[likely[k]].firstRow;
      if (row != kNoRow) prefetch(rows[row].data());
    });
    if (group < kAhead) continue;
    stage(group - kAhead, [&](size_t k) { handle(k, likely[k]); });
  }
}

// Rows are indexed a block at a time, so that their keys are taken out in one pass and then
// looked up together; a block of keys of many values holds fewer rows.
constexpr size_t kIndexBlock = 4096;
constexpr size_t kIndexBlockValues = size_t{1} << 20;

}  // namespace

void resetKeys(keyBlockStruct& keys, size_t width, size_t size) {
  keys.width = width;
  keys.size = size;
  keys.values.resize(width * size);
  keys.present.resize(size);
  keys.hashes.resize(size);
}

rowIndexStruct buildRowIndex(const mainStruct& relation, const std::vector<int32_t>& positions) {
  rowIndexStruct index;
  index.positions = positions;
  const rowVec& rows = relation.rows;
  index.nextRow.assign(rows.size(), kNoRow);
  index.slots.assign(slotCountFor(rows.size()), {0, kNoRow});
  std::vector<std::string_view> items;
  keyBlockStruct keys;
  size_t width = positions.size();
  auto insert = [&](size_t row, const std::string_view* key, uint64_t hash, size_t likely) {
    ++index.indexedRows;
    uint32_t tag = tagOf(hash);
    slotStruct& found = index.slots[slotOfKey(index, rows, likely, tag, key, items)];
    if (found.firstRow == kNoRow) {
      found = {tag, static_cast<uint32_t>(row)};
      return;
    }
    bool firstIsLast = (found.hashTag & kMoreRows) == 0;
    index.nextRow[row] = found.firstRow | (firstIsLast ? kLastRow : 0);
    found.firstRow = static_cast<uint32_t>(row);
    found.hashTag |= kMoreRows;
  };
  // Walking backwards and putting each row in front of its key's chain leaves every chain in
  // row order.
  size_t blockRows = std::clamp<size_t>(kIndexBlockValues / width, 1, kIndexBlock);
  for (size_t end = rows.size(); end > 0;) {
    size_t begin = end > blockRows ? end - blockRows : 0;
    resetKeys(keys, width, end - begin);
    for (size_t k = 0; k < keys.size; ++k) {
      keys.present[k] = keyOfRow(rows[begin + k], positions, items, &keys.values[k * width]);
    }
    hashKeys(keys);
    lookUpInTurn(index, rows, keys, true, [&](size_t k, size_t likely) {
      insert(begin + k, &keys.values[k * width], keys.hashes[k], likely);
    });
    end = begin;
  }
  return index;
}

void findFirstMatches(const rowIndexStruct& index, const mainStruct& relation, keyBlockStruct& keys,
                      std::span<matchStruct> matches) {
  std::fill_n(matches.begin(), keys.size, matchStruct{});
  hashKeys(keys);
  std::vector<std::string_view> items;
  lookUpInTurn(index, relation.rows, keys, false, [&](size_t k, size_t likely) {
    const std::string_view* key = &keys.values[k * keys.width];
    const slotStruct& found =
        index.slots[slotOfKey(index, relation.rows, likely, tagOf(keys.hashes[k]), key, items)];
    if (found.firstRow != kNoRow) matches[k] = {found.firstRow, (found.hashTag & kMoreRows) != 0};
  });
}

#include "join/row_index.h"

#include <algorithm>
#include <cstring>

#include "relations/items.h"

namespace {

__extension__ typedef unsigned __int128 uint128;

uint64_t mix(uint64_t a, uint64_t b) {
  uint128 product = static_cast<uint128>(a) * b;
  return static_cast<uint64_t>(product) ^ static_cast<uint64_t>(product >> 64);
}

uint64_t hashBytes(std::string_view bytes, uint64_t seed) {
  const char* p = bytes.data();
  size_t left = bytes.size();
  uint64_t hash = mix(seed ^ left, 0x9E3779B97F4A7C15ULL);
  while (left >= 8) {
    uint64_t word;
    std::memcpy(&word, p, 8);
    hash = mix(hash ^ word, 0xA0761D6478BD642FULL);
    p += 8;
    left -= 8;
  }
  uint64_t tail = 0;
  if (left > 0) std::memcpy(&tail, p, left);
  return mix(hash ^ tail, 0xE7037ED1A0B428DBULL);
}

uint64_t hashKey(const std::vector<std::string_view>& key) {
  uint64_t hash = 0;
  for (std::string_view value : key) hash = hashBytes(value, hash);
  return hash;
}

size_t itemsNeeded(const std::vector<int32_t>& positions) {
  return static_cast<size_t>(*std::max_element(positions.begin(), positions.end())) + 1;
}

// The row's values at `positions`; false when the row is too short to hold one of them.
bool keyOfRow(std::string_view row, const std::vector<int32_t>& positions,
              std::vector<std::string_view>& items, std::vector<std::string_view>& key) {
  key.resize(positions.size());
  if (positions.size() == 1) return itemAt(row, static_cast<size_t>(positions[0]), key[0]);
  // Several positions: one pass over the row, not one per position, and only as far as the
  // last position compared.
  splitItems(row, items, itemsNeeded(positions));
  for (size_t k = 0; k < positions.size(); ++k) {
    size_t position = static_cast<size_t>(positions[k]);
    if (position >= items.size()) return false;
    key[k] = items[position];
  }
  return true;
}

bool rowHasKey(std::string_view row, const std::vector<int32_t>& positions,
               const std::vector<std::string_view>& key, std::vector<std::string_view>& items) {
  if (positions.size() == 1) {
    std::string_view value;
    return itemAt(row, static_cast<size_t>(positions[0]), value) && value == key[0];
  }
  splitItems(row, items, itemsNeeded(positions));
  for (size_t k = 0; k < positions.size(); ++k) {
    size_t position = static_cast<size_t>(positions[k]);
    if (position >= items.size() || items[position] != key[k]) return false;
  }
  return true;
}

// The slot comes mostly from the high bits of the hash, so the tag takes the low ones.
uint32_t tagOf(uint64_t hash) { return static_cast<uint32_t>(hash); }

// A third of the slots stays free, so probes stay short, without rounding up to a power of
// two that could double the table.
size_t slotCountFor(size_t rows) { return rows + rows / 2 + 16; }

size_t firstSlot(uint64_t hash, size_t slotCount) {
  return static_cast<size_t>((static_cast<uint128>(hash) * slotCount) >> 64);
}

size_t nextSlot(size_t slot, size_t slotCount) { return slot + 1 == slotCount ? 0 : slot + 1; }

}  // namespace

namespace {

const rowIndexStruct::slotStruct& homeSlot(const rowIndexStruct& index, uint64_t hash) {
  return index.slots[firstSlot(hash, index.slots.size())];
}

// Rows are hashed a few steps before they are handled, and meanwhile the memory a probe will
// read is asked for in stages: the slot, then the first row it names, then that row's bytes.
// Without this every probe waits on three cache misses in a row.
constexpr size_t kAhead = 16;

// Walks rows [first, first + count), or backwards from the last of them.
template <typename Handle>
void walkKeys(const rowVec& rows, size_t first, size_t count, const std::vector<int32_t>& positions,
              bool backwards, const rowIndexStruct& index, const rowVec& indexedRows,
              Handle&& handle) {
  uint64_t hashes[kAhead];
  bool keyed[kAhead];
  std::vector<std::string_view> items;
  std::vector<std::string_view> key;
  auto rowAt = [first, count, backwards](size_t step) {
    return first + (backwards ? count - 1 - step : step);
  };
  for (size_t step = 0; step < count + kAhead; ++step) {
    // The oldest row goes first: the newest takes its place in the ring.
    if (step >= kAhead && keyed[step % kAhead]) handle(rowAt(step - kAhead), hashes[step % kAhead]);
    if (step < count) {
      bool has = keyOfRow(rows[rowAt(step)], positions, items, key);
      hashes[step % kAhead] = has ? hashKey(key) : 0;
      keyed[step % kAhead] = has;
      if (has) __builtin_prefetch(&homeSlot(index, hashes[step % kAhead]));
    }
    size_t middle = step - kAhead / 2;
    if (step >= kAhead / 2 && middle < count && keyed[middle % kAhead]) {
      const rowIndexStruct::slotStruct& slot = homeSlot(index, hashes[middle % kAhead]);
      if (slot.firstRow != kNoRow) {
        __builtin_prefetch(&indexedRows.packed[slot.firstRow]);
        __builtin_prefetch(&index.nextRow[slot.firstRow]);
      }
    }
    size_t late = step - (kAhead - 4);
    if (step >= kAhead - 4 && late < count && keyed[late % kAhead]) {
      const rowIndexStruct::slotStruct& slot = homeSlot(index, hashes[late % kAhead]);
      if (slot.firstRow != kNoRow) __builtin_prefetch(indexedRows[slot.firstRow].data());
    }
  }
}

uint32_t firstMatchHashed(const rowIndexStruct& index, const mainStruct& relation,
                          const std::vector<std::string_view>& key, uint64_t hash,
                          std::vector<std::string_view>& scratch) {
  uint32_t tag = tagOf(hash);
  size_t slotCount = index.slots.size();
  for (size_t slot = firstSlot(hash, slotCount);; slot = nextSlot(slot, slotCount)) {
    const rowIndexStruct::slotStruct& found = index.slots[slot];
    if (found.firstRow == kNoRow) return kNoRow;
    if (found.hashTag == tag &&
        rowHasKey(relation.rows[found.firstRow], index.positions, key, scratch)) {
      return found.firstRow;
    }
  }
}

}  // namespace

rowIndexStruct buildRowIndex(const mainStruct& relation, const std::vector<int32_t>& positions) {
  rowIndexStruct index;
  index.positions = positions;
  index.nextRow.assign(relation.rows.size(), kNoRow);
  index.slots.assign(slotCountFor(relation.rows.size()), {0, kNoRow});
  size_t slotCount = index.slots.size();
  std::vector<std::string_view> items;
  std::vector<std::string_view> key;
  // Walking backwards and putting each row in front of its key's chain leaves every chain in
  // row order.
  walkKeys(relation.rows, 0, relation.rows.size(), positions, true, index, relation.rows,
           [&](size_t row, uint64_t hash) {
             keyOfRow(relation.rows[row], positions, items, key);
             ++index.indexedRows;
             uint32_t tag = tagOf(hash);
             for (size_t slot = firstSlot(hash, slotCount);; slot = nextSlot(slot, slotCount)) {
               rowIndexStruct::slotStruct& found = index.slots[slot];
               if (found.firstRow == kNoRow) {
                 found = {tag, static_cast<uint32_t>(row)};
                 return;
               }
               if (found.hashTag == tag &&
                   rowHasKey(relation.rows[found.firstRow], positions, key, items)) {
                 index.nextRow[row] = found.firstRow;
                 found.firstRow = static_cast<uint32_t>(row);
                 return;
               }
             }
           });
  return index;
}

uint32_t firstMatch(const rowIndexStruct& index, const mainStruct& relation,
                    const std::vector<std::string_view>& key,
                    std::vector<std::string_view>& scratch) {
  return firstMatchHashed(index, relation, key, hashKey(key), scratch);
}

void findFirstMatches(const rowIndexStruct& index, const mainStruct& relation,
                      const rowVec& probeRows, const std::vector<int32_t>& probePositions,
                      size_t firstProbe, std::vector<uint32_t>& matches) {
  std::vector<std::string_view> items;
  std::vector<std::string_view> key;
  std::fill(matches.begin(), matches.end(), kNoRow);
  walkKeys(probeRows, firstProbe, matches.size(), probePositions, false, index, relation.rows,
           [&](size_t row, uint64_t hash) {
             keyOfRow(probeRows[row], probePositions, items, key);
             matches[row - firstProbe] = firstMatchHashed(index, relation, key, hash, items);
           });
}

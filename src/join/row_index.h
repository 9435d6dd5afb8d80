#ifndef RELMERGE_JOIN_ROW_INDEX_H_
#define RELMERGE_JOIN_ROW_INDEX_H_

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "relations/records.h"
#include "util/large_allocator.h"
#include "util/worker_pool.h"

inline constexpr uint32_t kNoRow = UINT32_MAX;

// The rows of one relation grouped by their values at `positions`. Rows of one key are
// chained in row order, so a probe yields its matches in the order of the relation.
struct rowIndexStruct {
  // One key per used slot: its first row, and 31 bits of its hash to pass over other keys
  // without reading their rows. The tag's lowest bit tells whether the key has more than one
  // row, so that a key of one row is looked up without reading its chain.
  struct slotStruct {
    uint32_t hashTag;
    uint32_t firstRow;  // kNoRow in a free slot
  };
  std::vector<int32_t> positions;
  // Seeds the hash of the keys. Drawn afresh for every run, it keeps keys from being made to
  // share a hash; the rows a key finds never depend on it.
  uint64_t seed = 0;
  size_t indexedRows = 0;  // rows that hold a value at every position
  std::vector<slotStruct, largeAllocator<slotStruct>> slots;
  // The next row of the same key, with kLastRow set when that row is the key's last; read only
  // for a row that has a next one, so that a chain ends without a look at its last entry.
  std::vector<uint32_t, largeAllocator<uint32_t>> nextRow;
};

inline constexpr uint32_t kLastRow = uint32_t{1} << 31;

// The keys of a run of rows, looked up together so that many lookups wait on memory at once.
struct keyBlockStruct {
  size_t width = 0;                      // values per key
  size_t size = 0;                       // keys
  std::vector<std::string_view> values;  // key k at [k * width, (k + 1) * width)
  std::vector<uint8_t> present;          // 0 for a row that lacks a value the key needs
  std::vector<uint64_t> hashes;          // working space
  std::vector<size_t> likelySlots;       // working space
};

// Makes room for `size` keys of `width` values; the caller fills values and present.
void resetKeys(keyBlockStruct& keys, size_t width, size_t size);

// Indexes every row of `relation` that holds a value at each of `positions`, with keys hashed
// under `seed`; a row without one matches nothing and is left out.
rowIndexStruct buildRowIndex(const mainStruct& relation, const std::vector<int32_t>& positions,
                             uint64_t seed);

// buildRowIndex with the workers of `pool` sharing each chunk of rows: the same index.
rowIndexStruct buildRowIndexShared(const mainStruct& relation,
                                   const std::vector<int32_t>& positions, uint64_t seed,
                                   workerPoolStruct& pool);

// A row of a key, and whether further rows of the key follow it.
struct matchStruct {
  uint32_t row = kNoRow;
  bool more = false;
};

// Sets matches[k], for each of the keys.size keys, to the first row of `relation` whose values
// at the index positions equal key k byte for byte; its row is kNoRow when there is none.
void findFirstMatches(const rowIndexStruct& index, const mainStruct& relation, keyBlockStruct& keys,
                      std::span<matchStruct> matches);

// The row of the key after `row`, which must have one (its match says `more`).
inline matchStruct nextMatch(const rowIndexStruct& index, uint32_t row) {
  uint32_t next = index.nextRow[row];
  return {next & ~kLastRow, (next & kLastRow) == 0};
}

#endif  // RELMERGE_JOIN_ROW_INDEX_H_

#ifndef RELMERGE_JOIN_ROW_INDEX_H_
#define RELMERGE_JOIN_ROW_INDEX_H_

#include <cstdint>
#include <string_view>
#include <vector>

#include "relations/large_allocator.h"
#include "relations/records.h"

inline constexpr uint32_t kNoRow = UINT32_MAX;

// The rows of one relation grouped by their values at `positions`. Rows of one key are
// chained in row order, so a probe yields its matches in the order of the relation.
struct rowIndexStruct {
  // One key per used slot: its first row, and 32 bits of its hash to pass over other keys
  // without reading their rows.
  struct slotStruct {
    uint32_t hashTag;
    uint32_t firstRow;  // kNoRow in a free slot
  };
  std::vector<int32_t> positions;
  size_t indexedRows = 0;  // rows that hold a value at every position
  std::vector<slotStruct, largeAllocator<slotStruct>> slots;
  std::vector<uint32_t, largeAllocator<uint32_t>>
      nextRow;  // the next row of the same key, or kNoRow
};

// Indexes every row of `relation` that holds a value at each of `positions`; a row without
// one matches nothing and is left out.
rowIndexStruct buildRowIndex(const mainStruct& relation, const std::vector<int32_t>& positions);

// First row whose values at the index positions equal `key` byte for byte, or kNoRow.
// `scratch` is working space, so that a probe allocates nothing once it has grown.
uint32_t firstMatch(const rowIndexStruct& index, const mainStruct& relation,
                    const std::vector<std::string_view>& key,
                    std::vector<std::string_view>& scratch);

// Sets matches[k] to firstMatch for the key at `probePositions` of probe row firstProbe + k,
// kNoRow where that row lacks one, for every k of `matches`: one pass that keeps many probes
// in flight.
void findFirstMatches(const rowIndexStruct& index, const mainStruct& relation,
                      const rowVec& probeRows, const std::vector<int32_t>& probePositions,
                      size_t firstProbe, std::vector<uint32_t>& matches);

inline uint32_t nextMatch(const rowIndexStruct& index, uint32_t row) { return index.nextRow[row]; }

#endif  // RELMERGE_JOIN_ROW_INDEX_H_

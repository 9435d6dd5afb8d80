#include "join/row_index.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <type_traits>
#include <utility>

#include "join/plan.h"
#include "relations/items.h"
#include "util/prefetch.h"
#include "util/scan.h"
#include "util/seeded_hash.h"
#include "util/worker_pool.h"

namespace {

__extension__ typedef unsigned __int128 uint128;

using slotStruct = rowIndexStruct::slotStruct;

// A key of several values is hashed value by value, each hash seeding the next.
uint64_t hashKey(const std::string_view* key, size_t width, uint64_t seed) {
  uint64_t hash = seed;
  for (size_t k = 0; k < width; ++k) hash = hashBytes(key[k], hash);
  return hash;
}

void hashKeys(keyBlockStruct& keys, uint64_t seed) {
  // The usual key of one value skips the loop over a key's values: 4% of a whole join.
  if (keys.width == 1) {
    for (size_t k = 0; k < keys.size; ++k) {
      keys.hashes[k] = keys.present[k] ? hashBytes(keys.values[k], seed) : 0;
    }
    return;
  }
  for (size_t k = 0; k < keys.size; ++k) {
    keys.hashes[k] = keys.present[k] ? hashKey(&keys.values[k * keys.width], keys.width, seed) : 0;
  }
}

// Puts the row's values at `positions` in key[0..]; false when the row is too short to hold
// one of them.
[[gnu::always_inline]] inline bool keyOfRow(std::string_view row,
                                            const std::vector<int32_t>& positions,
                                            std::vector<std::string_view>& items,
                                            std::string_view* key) {
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

// A walk over the slots from a key's home goes on past the last slot to the first, unless it
// is bounded: it then ends at `end` without wrapping, and yields `end` when it gets there.
constexpr size_t kUnbounded = SIZE_MAX;

size_t nextSlot(size_t slot, size_t slotCount) { return slot + 1 == slotCount ? 0 : slot + 1; }

const slotStruct& homeSlot(const rowIndexStruct& index, uint64_t hash) {
  return index.slots[firstSlot(hash, index.slots.size())];
}

// Calls stop(slot) on the slots from `from` on until it answers true, and yields that slot,
// or `end` when the walk reaches it.
template <typename Stop>
[[gnu::always_inline]] inline size_t walkSlots(const rowIndexStruct& index, size_t from, size_t end,
                                               Stop&& stop) {
  if (end == kUnbounded) {
    for (size_t slot = from;; slot = nextSlot(slot, index.slots.size())) {
      if (stop(index.slots[slot])) return slot;
    }
  }
  for (size_t slot = from; slot < end; ++slot) {
    if (stop(index.slots[slot])) return slot;
  }
  return end;
}

// The first slot from the key's home on whose tag matches, or the free slot that ends the
// search. The slots before it hold other keys for good, as slots are only ever filled, so a
// lookup made later may start there.
[[gnu::always_inline]] inline size_t likelySlot(const rowIndexStruct& index, uint64_t hash,
                                                size_t end) {
  uint32_t tag = tagOf(hash);
  return walkSlots(index, firstSlot(hash, index.slots.size()), end, [tag](const slotStruct& slot) {
    return slot.firstRow == kNoRow || holdsTag(slot, tag);
  });
}

// The slot from `likely` on that holds the key with `tag` for which holdsKey(row) answers
// true of the key's first row, or the free slot that ends the walk when none does.
template <typename HoldsKey>
[[gnu::always_inline]] inline size_t slotOfKey(const rowIndexStruct& index, size_t likely,
                                               size_t end, uint32_t tag, HoldsKey&& holdsKey) {
  return walkSlots(index, likely, end, [&](const slotStruct& slot) {
    return slot.firstRow == kNoRow || (holdsTag(slot, tag) && holdsKey(slot.firstRow));
  });
}

// A few keys ahead of the one being handled, the memory its lookup will read is asked for in
// stages: the slot, then the row whose tag matches, then that row's bytes. Without this every
// lookup waits on three cache misses in a row; asking only for rows whose tag matches keeps
// keys without a match from filling the memory bus with rows nobody reads.

// What the stages of the lookups of a block of keys share: the key block's columns are held
// here, as a stage that calls the handler would otherwise read them afresh for every key.
template <typename Handle>
struct lookUpStruct {
  const rowIndexStruct& index;
  const rowVec& rows;
  size_t count;
  const uint8_t* present;
  const uint64_t* hashes;
  size_t* likelySlots;
  size_t end;               // where a bounded walk over the slots ends, or kUnbounded
  const uint32_t* keyRows;  // the row of each key, or null
  Handle& handle;
};

// The first row of key k's likely slot; kNoRow where there is none.
template <typename Lookup>
uint32_t likelyRow(const Lookup& lookup, size_t k) {
  size_t slot = lookup.likelySlots[k];
  return slot == lookup.end ? kNoRow : lookup.index.slots[slot].firstRow;
}

template <typename Lookup>
[[gnu::always_inline]] inline void askHomeSlot(Lookup& lookup, size_t k) {
  prefetch(&homeSlot(lookup.index, lookup.hashes[k]));
}

// Finds the key's likely slot and asks for the entry of its row, of the row after it where
// the key has more, and of the key's own row, which is taken apart only if a tag matches.
template <typename Lookup>
[[gnu::always_inline]] inline void findLikelyRow(Lookup& lookup, size_t k) {
  size_t likely = likelySlot(lookup.index, lookup.hashes[k], lookup.end);
  lookup.likelySlots[k] = likely;
  uint32_t row = likelyRow(lookup, k);
  if (row == kNoRow) return;
  prefetch(&lookup.rows.packed[row]);
  if ((lookup.index.slots[likely].hashTag & kMoreRows) != 0) prefetch(&lookup.index.nextRow[row]);
  if (lookup.keyRows != nullptr) prefetch(&lookup.rows.packed[lookup.keyRows[k]]);
}

template <typename Lookup>
[[gnu::always_inline]] inline void askRowBytes(Lookup& lookup, size_t k) {
  uint32_t row = likelyRow(lookup, k);
  if (row == kNoRow) return;
  prefetch(lookup.rows[row].data());
  if (lookup.keyRows != nullptr) prefetch(lookup.rows[lookup.keyRows[k]].data());
}

template <typename Lookup>
[[gnu::always_inline]] inline void handleKey(Lookup& lookup, size_t k) {
  lookup.handle(k, lookup.likelySlots[k]);
}

template <typename Lookup>
using lookUpStageFn = void (*)(Lookup&, size_t);

// The stages a key goes through, in order. Each runs kStageKeys keys behind the one before
// it, over a group of that many keys at a time, so that each stage is a plain loop.
constexpr size_t kStageKeys = 12;
template <typename Lookup>
constexpr lookUpStageFn<Lookup> kLookUpStages[] = {askHomeSlot<Lookup>, findLikelyRow<Lookup>,
                                                   askRowBytes<Lookup>, handleKey<Lookup>};

// Runs stage `Stage` on the present keys it has reached when the first stage stands at the
// group from key `group` on; false while it has reached none.
template <size_t Stage, typename Lookup>
[[gnu::always_inline]] inline bool runStage(Lookup& lookup, size_t group) {
  if (group < Stage * kStageKeys) return false;
  size_t from = group - Stage * kStageKeys;
  size_t to = std::min(from + kStageKeys, lookup.count);
  for (size_t k = from; k < to; ++k) {
    if (lookup.present[k]) kLookUpStages<Lookup>[Stage](lookup, k);
  }
  return true;
}

// Moves the keys through the stages a group at a time. The stages are a pack rather than a
// loop over the table, so that every call goes straight to its stage.
template <typename Lookup, size_t... Stage>
[[gnu::always_inline]] inline void runStages(Lookup& lookup, std::index_sequence<Stage...>) {
  size_t groupsEnd = lookup.count + (sizeof...(Stage) - 1) * kStageKeys;
  for (size_t group = 0; group < groupsEnd; group += kStageKeys) {
    (runStage<Stage>(lookup, group) && ...);
  }
}

// Calls handle(k, slot) for every present key in key order, where `slot` is the key's likely
// slot, or `end` when the key's walk is bounded there and reaches it. `keyRows`, if given,
// names the row of each key, which is then asked for too where a tag matches: such a key is
// taken out of its row only to be compared.
template <typename Handle>
[[gnu::always_inline]] inline void lookUpInTurn(const rowIndexStruct& index, const rowVec& rows,
                                                keyBlockStruct& keys, size_t end,
                                                const uint32_t* keyRows, Handle&& handle) {
  using lookUp = lookUpStruct<std::remove_reference_t<Handle>>;
  keys.likelySlots.resize(keys.size);
  lookUp shared{.index = index,
                .rows = rows,
                .count = keys.size,
                .present = keys.present.data(),
                .hashes = keys.hashes.data(),
                .likelySlots = keys.likelySlots.data(),
                .end = end,
                .keyRows = keyRows,
                .handle = handle};
  runStages(shared, std::make_index_sequence<std::size(kLookUpStages<lookUp>)>());
}

// Rows are indexed a chunk at a time: the keys of all its rows are hashed, by all workers
// each on a share of the rows, and then each worker adds the rows whose keys have their home
// in its own part of the slots. Chains are only ever extended within a part, so workers need
// no locks, and a key keeps all its rows in one part, so chains stay in row order. A key
// whose walk would leave its part is added after all parts are done; its walk would leave it
// for every one of its rows, as slots are only ever filled.
constexpr size_t kChunkRows = size_t{1} << 18;
// A worker that hashes and adds fewer rows than this costs more to start than it saves.
constexpr size_t kRowsPerWorker = size_t{1} << 16;
// The rows of a part that are looked up together: their keys wait on memory at once.
constexpr size_t kIndexBlock = 4096;

struct rowHashStruct {
  uint32_t row;
  uint64_t hash;
};

// What one worker uses while it adds rows.
struct alignas(64) partWorkStruct {
  size_t begin = 0;  // its part of the slots
  size_t end = 0;
  keyBlockStruct keys;
  std::vector<uint32_t> rowsOfKeys;
  std::vector<std::string_view> key;
  std::vector<std::string_view> items;
  std::vector<rowHashStruct> deferred;  // rows whose walk leaves the part, in the order met
  size_t indexed = 0;                   // rows with a key among those it hashed
};

// Puts `row`, which comes before every row added so far, in front of the chain of its key,
// whose slot (or the free slot that ends the key's walk) is `at`.
void addRow(rowIndexStruct& index, uint32_t row, uint64_t hash, size_t at) {
  slotStruct& found = index.slots[at];
  if (found.firstRow == kNoRow) {
    found = {tagOf(hash), row};
    return;
  }
  bool firstIsLast = (found.hashTag & kMoreRows) == 0;
  index.nextRow[row] = found.firstRow | (firstIsLast ? kLastRow : 0);
  found.firstRow = row;
  found.hashTag |= kMoreRows;
}

// addRow for a row whose key is only taken out of the row when a slot's tag matches. False,
// with nothing added, when the walk from `likely` reaches `end` first.
bool addRowWithKeyFound(rowIndexStruct& index, const rowVec& rows, uint32_t row, uint64_t hash,
                        size_t likely, size_t end, partWorkStruct& work) {
  bool keyTaken = false;
  auto holdsKey = [&](uint32_t first) {
    if (!keyTaken) {
      work.key.resize(index.positions.size());
      keyOfRow(rows[row], index.positions, work.items, work.key.data());
      keyTaken = true;
    }
    return rowHasKey(rows[first], index.positions, work.key.data(), work.items);
  };
  size_t at = slotOfKey(index, likely, end, tagOf(hash), holdsKey);
  if (at == end) return false;
  addRow(index, row, hash, at);
  return true;
}

// Adds the rows [begin, end) whose keys have their home in the worker's part, last row first.
void addRowsOfPart(rowIndexStruct& index, const rowVec& rows, size_t begin, size_t end,
                   const uint64_t* hashes, const uint8_t* present, partWorkStruct& work) {
  size_t slotCount = index.slots.size();
  for (size_t row = end; row > begin;) {
    std::vector<uint32_t>& rowsOfKeys = work.rowsOfKeys;
    rowsOfKeys.clear();
    for (; row > begin && rowsOfKeys.size() < kIndexBlock; --row) {
      size_t at = row - 1 - begin;
      size_t home = firstSlot(hashes[at], slotCount);
      if (present[at] && home >= work.begin && home < work.end) rowsOfKeys.push_back(row - 1);
    }
    keyBlockStruct& keys = work.keys;
    resetKeys(keys, 0, rowsOfKeys.size());
    for (size_t k = 0; k < keys.size; ++k) {
      keys.hashes[k] = hashes[rowsOfKeys[k] - begin];
      keys.present[k] = 1;
    }
    lookUpInTurn(index, rows, keys, work.end, rowsOfKeys.data(), [&](size_t k, size_t likely) {
      if (!addRowWithKeyFound(index, rows, rowsOfKeys[k], keys.hashes[k], likely, work.end, work)) {
        work.deferred.push_back({rowsOfKeys[k], keys.hashes[k]});
      }
    });
  }
}

// Rows are indexed a block at a time, so that their keys are taken out in one pass and then
// looked up together; a block of keys of many values holds fewer rows.
constexpr size_t kIndexBlockValues = size_t{1} << 20;

void addRowsAlone(rowIndexStruct& index, const rowVec& rows) {
  const std::vector<int32_t>& positions = index.positions;
  size_t width = positions.size();
  std::vector<std::string_view> items;
  keyBlockStruct keys;
  // Walking backwards and putting each row in front of its key's chain leaves every chain in
  // row order: key k of a block is that of its row end - 1 - k.
  size_t blockRows = std::clamp<size_t>(kIndexBlockValues / width, 1, kIndexBlock);
  for (size_t end = rows.size(); end > 0;) {
    size_t begin = end > blockRows ? end - blockRows : 0;
    resetKeys(keys, width, end - begin);
    for (size_t k = 0; k < keys.size; ++k) {
      keys.present[k] = keyOfRow(rows[end - 1 - k], positions, items, &keys.values[k * width]);
      index.indexedRows += keys.present[k];
    }
    hashKeys(keys, index.seed);
    lookUpInTurn(index, rows, keys, kUnbounded, nullptr, [&](size_t k, size_t likely) {
      const std::string_view* key = &keys.values[k * width];
      auto holdsKey = [&](uint32_t first) { return rowHasKey(rows[first], positions, key, items); };
      addRow(index, static_cast<uint32_t>(end - 1 - k), keys.hashes[k],
             slotOfKey(index, likely, kUnbounded, tagOf(keys.hashes[k]), holdsKey));
    });
    end = begin;
  }
}

// Hashes the keys of rows [begin, begin + count), each part a share of them, which counts the
// rows that have a key; a row without one gets no hash.
void hashChunk(const rowIndexStruct& index, const rowVec& rows, size_t begin, size_t count,
               std::vector<partWorkStruct>& work, std::vector<uint64_t>& hashes,
               std::vector<uint8_t>& present, workerPoolStruct& pool) {
  const std::vector<int32_t>& positions = index.positions;
  size_t parts = work.size();
  forEachTask(pool, parts, [&](size_t part) {
    partWorkStruct& own = work[part];
    own.key.resize(positions.size());
    size_t found = 0;
    for (size_t at = count * part / parts; at < count * (part + 1) / parts; ++at) {
      bool has = keyOfRow(rows[begin + at], positions, own.items, own.key.data());
      present[at] = has;
      hashes[at] = has ? hashKey(own.key.data(), positions.size(), index.seed) : 0;
      found += has;
    }
    own.indexed += found;
  });
}

// Indexes the rows with a part of the slots for each worker of `pool`, a chunk at a time as
// said above.
void addRowsShared(rowIndexStruct& index, const rowVec& rows, size_t parts,
                   workerPoolStruct& pool) {
  std::vector<partWorkStruct> work(parts);
  size_t slotCount = index.slots.size();
  for (size_t part = 0; part < parts; ++part) {
    work[part].begin = slotCount * part / parts;
    work[part].end = slotCount * (part + 1) / parts;
  }
  std::vector<uint64_t> hashes(std::min(kChunkRows, rows.size()));
  std::vector<uint8_t> present(hashes.size());
  // Walking backwards and putting each row in front of its key's chain leaves every chain in
  // row order.
  for (size_t end = rows.size(); end > 0;) {
    size_t begin = end > kChunkRows ? end - kChunkRows : 0;
    hashChunk(index, rows, begin, end - begin, work, hashes, present, pool);
    forEachTask(pool, parts, [&](size_t part) {
      addRowsOfPart(index, rows, begin, end, hashes.data(), present.data(), work[part]);
    });
    end = begin;
  }
  // Deferred rows were met last row first, within a part as across parts' distinct keys.
  for (partWorkStruct& own : work) {
    for (const rowHashStruct& deferred : own.deferred) {
      size_t likely = likelySlot(index, deferred.hash, kUnbounded);
      addRowWithKeyFound(index, rows, deferred.row, deferred.hash, likely, kUnbounded, own);
    }
    index.indexedRows += own.indexed;
  }
}

rowIndexStruct emptyIndexOf(const mainStruct& relation, const std::vector<int32_t>& positions,
                            uint64_t seed) {
  rowIndexStruct index;
  index.positions = positions;
  index.seed = seed;
  index.nextRow.assign(relation.rows.size(), kNoRow);
  index.slots.assign(slotCountFor(relation.rows.size()), {0, kNoRow});
  return index;
}

}  // namespace

void resetKeys(keyBlockStruct& keys, size_t width, size_t size) {
  keys.width = width;
  keys.size = size;
  keys.values.resize(width * size);
  keys.present.resize(size);
  keys.hashes.resize(size);
}

rowIndexStruct buildRowIndex(const mainStruct& relation, const std::vector<int32_t>& positions,
                             uint64_t seed) {
  rowIndexStruct index = emptyIndexOf(relation, positions, seed);
  addRowsAlone(index, relation.rows);
  return index;
}

rowIndexStruct buildRowIndexShared(const mainStruct& relation,
                                   const std::vector<int32_t>& positions, uint64_t seed,
                                   workerPoolStruct& pool) {
  rowIndexStruct index = emptyIndexOf(relation, positions, seed);
  size_t parts = std::clamp<size_t>(relation.rows.size() / kRowsPerWorker, 1, poolWorkers(pool));
  if (parts == 1) {
    addRowsAlone(index, relation.rows);
  } else {
    addRowsShared(index, relation.rows, parts, pool);
  }
  return index;
}

void findFirstMatches(const rowIndexStruct& index, const mainStruct& relation, keyBlockStruct& keys,
                      std::span<matchStruct> matches) {
  std::fill_n(matches.begin(), keys.size, matchStruct{});
  hashKeys(keys, index.seed);
  std::vector<std::string_view> items;
  lookUpInTurn(index, relation.rows, keys, kUnbounded, nullptr, [&](size_t k, size_t likely) {
    const std::string_view* key = &keys.values[k * keys.width];
    auto holdsKey = [&](uint32_t first) {
      return rowHasKey(relation.rows[first], index.positions, key, items);
    };
    const slotStruct& found =
        index.slots[slotOfKey(index, likely, kUnbounded, tagOf(keys.hashes[k]), holdsKey)];
    if (found.firstRow != kNoRow) matches[k] = {found.firstRow, (found.hashTag & kMoreRows) != 0};
  });
}

#include "output/writer.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "output/ordered_output.h"
#include "relations/items.h"
#include "relations/rows_in_turn.h"
#include "util/scan.h"
#include "util/worker_pool.h"

namespace {

void writeHeading(sinkStruct& sink, const std::vector<fieldStruct>& fields) {
  writeByte(sink, '\n');
  writeText(sink, kResultName);
  writeByte(sink, '(');
  for (size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) writeText(sink, ", ");
    writeText(sink, fields[i].name);
    writeByte(sink, ' ');
    writeText(sink, fields[i].type);
  }
  writeText(sink, ")\n");
}

// Writes the items of a line with ", " between them. A comma already followed by a blank
// stays as it stands, so a line written the usual way goes out in one copy.
void writeAllItems(sinkStruct& sink, std::string_view line) {
  const char* start = line.data();
  const char* end = start + line.size();
  const char* from = start;
  while (from != end) {
    const char* comma = findByte(from, end, ',');
    if (comma == end) break;
    from = comma + 1;
    if (from != end && *from == ' ') continue;
    writeText(sink, std::string_view(start, static_cast<size_t>(from - start)));
    writeByte(sink, ' ');
    start = from;
  }
  writeText(sink, std::string_view(start, static_cast<size_t>(end - start)));
}

// writeAllItems for a piece of a row of `relation`; in rows whose every comma is followed by a
// blank, that is the piece as it stands.
void writeItemsOf(sinkStruct& sink, const mainStruct& relation, std::string_view piece) {
  if (relation.commasSpaced) {
    writeText(sink, piece);
  } else {
    writeAllItems(sink, piece);
  }
}

// Writes ", " and the values in [from, to) of a row of `relation`, as the one piece of the
// line they make.
void writeRun(sinkStruct& sink, const mainStruct& relation, const char* from, const char* to) {
  writeText(sink, ", ");
  writeItemsOf(sink, relation, std::string_view(from, static_cast<size_t>(to - from)));
}

// Writes what follows the comma after a value of `row` that ends at `valueEnd`, less one
// blank: the next value onwards.
void writeRestAfter(sinkStruct& sink, const mainStruct& relation, std::string_view row,
                    const char* valueEnd) {
  const char* rowEnd = row.data() + row.size();
  if (valueEnd == rowEnd) return;
  const char* rest = valueEnd + 1;
  if (rest != rowEnd && *rest == ' ') ++rest;
  writeRun(sink, relation, rest, rowEnd);
}

// Writes ", " and the values of `row` of `relation` but those at `skipped`, ascending. Values
// that stand side by side in the line go out as one piece of it, and after the last skipped
// value the rest of the line does.
void writeCopiedValues(sinkStruct& sink, const std::vector<int32_t>& skipped,
                       const mainStruct& relation, std::string_view row) {
  if (skipped.empty()) {
    writeRun(sink, relation, row.data(), row.data() + row.size());
    return;
  }
  if (skipped.size() == 1 && skipped[0] == 0) {
    // The usual step compares the first value alone: the rest goes out with no walk over
    // the values.
    writeRestAfter(sink, relation, row, findByte(row.data(), row.data() + row.size(), ','));
    return;
  }
  const char* runStart = nullptr;  // the run of kept values so far; null when there is none
  const char* runEnd = nullptr;
  size_t position = 0;
  size_t skip = 0;
  forEachItem(row, [&](std::string_view value) {
    const char* valueEnd = value.data() + value.size();
    if (static_cast<size_t>(skipped[skip]) != position++) {
      if (runStart == nullptr) runStart = value.data();
      runEnd = valueEnd;
      return true;
    }
    if (runStart != nullptr) writeRun(sink, relation, runStart, runEnd);
    runStart = nullptr;
    if (++skip < skipped.size()) return true;
    writeRestAfter(sink, relation, row, valueEnd);
    return false;
  });
  if (runStart != nullptr) writeRun(sink, relation, runStart, runEnd);
}

void writeRow(sinkStruct& sink, const joinStruct& join, const resultBlockStruct& block, size_t k) {
  writeItemsOf(sink, relationOfLevel(join, 0), rowOf(join, block, 0, k));
  for (size_t s = 0; s < join.plan.steps.size(); ++s) {
    const stepStruct& step = join.plan.steps[s];
    std::string_view row = rowOf(join, block, s + 1, k);
    writeCopiedValues(sink, step.skippedPositions, relationOfLevel(join, s + 1), row);
  }
  writeByte(sink, '\n');
}

size_t rowLength(const joinStruct& join, const resultBlockStruct& block, size_t k) {
  size_t length = countItems(rowOf(join, block, 0, k));
  for (size_t s = 0; s < join.plan.steps.size(); ++s) {
    length += copiedValueCount(join.plan.steps[s], countItems(rowOf(join, block, s + 1, k)));
  }
  return length;
}

// Rows of one length in every relation make result rows of one length: nothing to trim.
bool resultMayBeRagged(const joinStruct& join) {
  return std::any_of(join.levelItems.begin(), join.levelItems.end(),
                     [](size_t items) { return items == 0; });
}

size_t longestRowLength(const joinStruct& join) {
  size_t longest = 0;
  forEachResultBlock(join, [&](const resultBlockStruct& block) {
    for (size_t k = 0; k < block.size; ++k) longest = std::max(longest, rowLength(join, block, k));
    return true;
  });
  return longest;
}

// Calls use(k) for every row of the block, having asked for the rows of later ones; the first
// relation's rows are read in order, which the processor foresees.
template <typename Use>
void useBlockRows(const joinStruct& join, const resultBlockStruct& block, Use&& use) {
  auto forEachRow = [&](size_t k, auto&& visit) {
    for (size_t level = 1; level < block.rowIds.size(); ++level) {
      visit(relationOfLevel(join, level).rows, block.rowIds[level][k]);
    }
  };
  useRowsInTurn(block.size, forEachRow, use);
}

// Writes every row of a block, until the sink fails.
bool writeBlock(sinkStruct& sink, const joinStruct& join, const resultBlockStruct& block) {
  useBlockRows(join, block, [&](size_t k) { writeRow(sink, join, block, k); });
  // Once a write has failed nothing more reaches the file, so the rest is not worked out.
  return !sink.failed;
}

// Hands out runs of the first relation's rows in order, each about as many as make
// kChunkBytes of output at the rate of the runs done so far: a chunk small enough for a worker
// to run ahead of the one whose output goes out, and large enough to start cheaply.
struct chunkerStruct {
  std::mutex mutex;
  size_t firstRows = 0;
  size_t nextChunk = 0;
  size_t nextRow = 0;
  size_t rowsDone = 0;
  size_t bytesDone = 0;
};

struct chunkStruct {
  size_t number = 0;
  size_t begin = 0;
  size_t end = 0;
};

constexpr size_t kChunkBytes = kPieceBufferCapacity / 4;
constexpr size_t kFirstChunkRows = 16;
constexpr size_t kMostChunkRows = 16 * kResultBlockRows;

bool takeChunk(chunkerStruct& chunker, chunkStruct& chunk) {
  std::lock_guard<std::mutex> lock(chunker.mutex);
  if (chunker.nextRow == chunker.firstRows) return false;
  size_t rows = kFirstChunkRows;
  if (chunker.rowsDone > 0) {
    rows = chunker.bytesDone == 0
               ? kMostChunkRows
               : std::clamp<size_t>(kChunkBytes * chunker.rowsDone / chunker.bytesDone, 1,
                                    kMostChunkRows);
  }
  chunk = {chunker.nextChunk++, chunker.nextRow,
           chunker.nextRow + std::min(rows, chunker.firstRows - chunker.nextRow)};
  chunker.nextRow = chunk.end;
  return true;
}

void countChunk(chunkerStruct& chunker, const chunkStruct& chunk, size_t bytes) {
  std::lock_guard<std::mutex> lock(chunker.mutex);
  chunker.rowsDone += chunk.end - chunk.begin;
  chunker.bytesDone += bytes;
}

// The rows, none of which is trimmed, made a chunk at a time by each worker and written in
// chunk order.
void writeRowsInParallel(sinkStruct& sink, const joinStruct& join, workerPoolStruct& pool) {
  chunkerStruct chunker;
  chunker.firstRows = relationOfLevel(join, 0).rows.size();
  orderedOutputStruct ordered;
  size_t workers = poolWorkers(pool);
  openOrderedOutput(ordered, sink, workers);
  forEachTask(pool, workers, [&](size_t worker) {
    // On the worker's own stack: sinks side by side would share the cache line that each
    // worker writes with every value.
    sinkStruct piece = pieceSink(ordered, worker);
    // Once the output has failed no worker takes another chunk; the chunks taken still end,
    // so that none waits for a piece that never comes.
    for (chunkStruct chunk; !piece.failed && takeChunk(chunker, chunk);) {
      beginChunk(piece, chunk.number);
      if (!piece.failed) {
        forEachResultBlockFrom(join, chunk.begin, chunk.end, [&](const resultBlockStruct& block) {
          return writeBlock(piece, join, block);
        });
      }
      countChunk(chunker, chunk, endChunk(piece));
    }
  });
  closeOrderedOutput(ordered);
}

}  // namespace

void writeResult(sinkStruct& sink, const joinStruct& join, workerPoolStruct& pool) {
  writeHeading(sink, join.plan.fields);
  bool ragged = resultMayBeRagged(join) && !join.resultIsEmpty;
  // The echo and the heading may still sit in the buffer. Handed on before the pass that
  // measures every result row, they show an output that has failed before that pass, not
  // after it; past a failed write nothing more reaches the file, so no row is made.
  if (ragged) flushSink(sink);
  if (sink.failed) return;
  size_t longest = ragged ? longestRowLength(join) : 0;
  // The first chunk is all of a short first relation: nothing to share.
  bool shared = poolWorkers(pool) > 1 && relationOfLevel(join, 0).rows.size() > kFirstChunkRows;
  if (longest == 0 && shared && !join.resultIsEmpty) {
    writeRowsInParallel(sink, join, pool);
    writeByte(sink, '\n');
    return;
  }
  bool trimming = longest > 0;
  forEachResultBlock(join, [&](const resultBlockStruct& block) {
    if (!trimming) return writeBlock(sink, join, block);
    useBlockRows(join, block, [&](size_t k) {
      // Only the leading run of short rows goes; a short row after a longest one stays.
      if (trimming && rowLength(join, block, k) < longest) return;
      trimming = false;
      writeRow(sink, join, block, k);
    });
    return !sink.failed;
  });
  writeByte(sink, '\n');
}

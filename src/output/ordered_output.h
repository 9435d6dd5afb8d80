#ifndef RELMERGE_OUTPUT_ORDERED_OUTPUT_H_
#define RELMERGE_OUTPUT_ORDERED_OUTPUT_H_

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <map>
#include <mutex>
#include <string_view>
#include <vector>

#include "output/sink.h"

// Output made by several workers at once, each a numbered chunk at a time, goes to one sink in
// chunk order without any chunk being held whole in memory.
//
// A worker writes its chunks one after another into a buffer of its own; a chunk's bytes in a
// buffer are a piece. Pieces are written in chunk order, several in one request, when a
// buffer fills up or a worker waits for one, and at the end. A worker has two buffers; a full
// one comes free once all its pieces are written. A worker ahead of the others may have to
// wait for that; the worker of the earliest unwritten chunk never does, as the pieces that
// hold its buffers are all due and it writes them itself. So every chunk gets written, as
// long as chunks are handed out in their order and each worker ends one before it takes the
// next: the worker of the chunk whose turn it is is then always at work.
struct orderedOutputStruct {
  struct pieceStruct {
    size_t buffer = 0;
    size_t from = 0;
    size_t size = 0;
    bool last = false;  // the chunk's last piece
  };
  struct bufferStruct {
    sinkBufferPtr memory;
    size_t worker = 0;
    size_t unwritten = 0;  // pieces in it not written yet
    bool full = false;     // its worker has gone on to another buffer
  };
  // What a worker's sink is writing: the sink itself holds no more than its buffer.
  struct writerStruct {
    orderedOutputStruct* ordered = nullptr;
    size_t worker = 0;
    size_t buffer = 0;  // of `buffers`, the one the sink fills
    size_t chunk = 0;
    size_t pieceStart = 0;  // where the chunk's bytes in the buffer begin
    size_t chunkBytes = 0;  // of the chunk, handed over so far
  };
  sinkStruct* out = nullptr;
  size_t capacity = 0;
  std::mutex mutex;
  std::condition_variable bufferFreed;
  size_t turn = 0;       // the chunk whose pieces go out next
  bool writing = false;  // a worker is handing pieces to `out`
  size_t waitingWorkers = 0;
  bool failed = false;  // `out` has failed; read here, as `out` is only the writer's
  std::map<size_t, std::deque<pieceStruct>> pieces;  // by chunk, not written yet
  std::vector<bufferStruct> buffers;
  std::vector<writerStruct> writers;             // by worker
  std::vector<std::vector<size_t>> freeBuffers;  // by worker
  std::vector<pieceStruct> due;                  // working space of the writer
  std::vector<std::string_view> dueBytes;
};

inline constexpr size_t kPieceBufferCapacity = size_t{1} << 17;

// Readies `ordered` for `workers` workers whose output goes to `out` after what it holds.
void openOrderedOutput(orderedOutputStruct& ordered, sinkStruct& out, size_t workers,
                       size_t capacity = kPieceBufferCapacity);

// The sink through which `worker` writes its chunks.
sinkStruct pieceSink(orderedOutputStruct& ordered, size_t worker);

// Makes what the sink receives from now on part of `chunk`.
void beginChunk(sinkStruct& sink, size_t chunk);

// Ends the sink's chunk and answers the number of bytes it received. Every chunk begun must be
// ended, even one that received nothing.
size_t endChunk(sinkStruct& sink);

// Writes what is left once every chunk has been ended.
void closeOrderedOutput(orderedOutputStruct& ordered);

#endif  // RELMERGE_OUTPUT_ORDERED_OUTPUT_H_

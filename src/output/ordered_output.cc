#include "output/ordered_output.h"

#include <utility>

namespace {

constexpr size_t kBuffersPerWorker = 2;

using lockStruct = std::unique_lock<std::mutex>;

// Takes out the pieces whose turn has come, in order, as far as the first chunk that has not
// been ended yet.
void takeDuePieces(orderedOutputStruct& ordered) {
  ordered.due.clear();
  for (auto found = ordered.pieces.find(ordered.turn); found != ordered.pieces.end();
       found = ordered.pieces.find(ordered.turn)) {
    std::deque<orderedOutputStruct::pieceStruct>& chunk = found->second;
    bool ended = false;
    while (!chunk.empty() && !ended) {
      ended = chunk.front().last;
      ordered.due.push_back(chunk.front());
      chunk.pop_front();
    }
    if (chunk.empty()) ordered.pieces.erase(found);
    if (!ended) return;
    ++ordered.turn;
  }
}

void releasePiece(orderedOutputStruct& ordered, const orderedOutputStruct::pieceStruct& piece) {
  orderedOutputStruct::bufferStruct& buffer = ordered.buffers[piece.buffer];
  if (--buffer.unwritten == 0 && buffer.full) {
    buffer.full = false;
    ordered.freeBuffers[buffer.worker].push_back(piece.buffer);
    ordered.bufferFreed.notify_all();
  }
}

// Writes the pieces that are due, unless another worker is already doing so; that one then
// writes these too, as it looks for more before it stops.
void writeDuePieces(orderedOutputStruct& ordered, lockStruct& lock) {
  if (ordered.writing) return;
  ordered.writing = true;
  for (takeDuePieces(ordered); !ordered.due.empty(); takeDuePieces(ordered)) {
    ordered.dueBytes.clear();
    for (const orderedOutputStruct::pieceStruct& piece : ordered.due) {
      const char* memory = ordered.buffers[piece.buffer].memory.get();
      if (piece.size > 0) ordered.dueBytes.emplace_back(memory + piece.from, piece.size);
    }
    lock.unlock();
    writeUnbuffered(*ordered.out, ordered.dueBytes);
    lock.lock();
    ordered.failed = ordered.out->failed;
    for (const orderedOutputStruct::pieceStruct& piece : ordered.due) releasePiece(ordered, piece);
  }
  ordered.writing = false;
}

void addPiece(orderedOutputStruct& ordered, sinkStruct& sink, bool last) {
  size_t size = sink.used - sink.pieceStart;
  ordered.pieces[sink.chunk].push_back({sink.bufferId, sink.pieceStart, size, last});
  ++ordered.buffers[sink.bufferId].unwritten;
  sink.chunkBytes += size;
  sink.pieceStart = sink.used;
}

void takeFreeBuffer(orderedOutputStruct& ordered, sinkStruct& sink) {
  std::vector<size_t>& free = ordered.freeBuffers[sink.worker];
  sink.bufferId = free.back();
  free.pop_back();
  sink.buffer = ordered.buffers[sink.bufferId].memory.get();
  sink.used = 0;
  sink.pieceStart = 0;
}

}  // namespace

void openOrderedOutput(orderedOutputStruct& ordered, sinkStruct& out, size_t workers,
                       size_t capacity) {
  flushSink(out);
  ordered.out = &out;
  ordered.capacity = capacity;
  ordered.failed = out.failed;
  ordered.freeBuffers.resize(workers);
  for (size_t worker = 0; worker < workers; ++worker) {
    for (size_t b = 0; b < kBuffersPerWorker; ++b) {
      ordered.freeBuffers[worker].push_back(ordered.buffers.size());
      ordered.buffers.push_back({sinkBuffer(capacity), worker, 0, false});
    }
  }
}

sinkStruct pieceSink(orderedOutputStruct& ordered, size_t worker) {
  lockStruct lock(ordered.mutex);
  sinkStruct sink;
  sink.ordered = &ordered;
  sink.worker = worker;
  sink.capacity = ordered.capacity;
  sink.failed = ordered.failed;
  takeFreeBuffer(ordered, sink);
  return sink;
}

void beginChunk(sinkStruct& sink, size_t chunk) {
  sink.chunk = chunk;
  sink.chunkBytes = 0;
  sink.pieceStart = sink.used;
}

size_t endChunk(sinkStruct& sink) {
  orderedOutputStruct& ordered = *sink.ordered;
  lockStruct lock(ordered.mutex);
  addPiece(ordered, sink, true);
  // Ended chunks are written along with a full buffer, so that requests stay large; but a
  // worker waiting for a buffer may be waiting for this very chunk.
  if (ordered.waitingWorkers > 0) writeDuePieces(ordered, lock);
  sink.failed = ordered.failed;
  return sink.chunkBytes;
}

void passFullBuffer(orderedOutputStruct& ordered, sinkStruct& sink) {
  lockStruct lock(ordered.mutex);
  addPiece(ordered, sink, false);
  ordered.buffers[sink.bufferId].full = true;
  writeDuePieces(ordered, lock);
  std::vector<size_t>& free = ordered.freeBuffers[sink.worker];
  if (free.empty()) {
    ++ordered.waitingWorkers;
    ordered.bufferFreed.wait(lock, [&free] { return !free.empty(); });
    --ordered.waitingWorkers;
  }
  takeFreeBuffer(ordered, sink);
  sink.failed = ordered.failed;
}

void closeOrderedOutput(orderedOutputStruct& ordered) {
  lockStruct lock(ordered.mutex);
  writeDuePieces(ordered, lock);
}

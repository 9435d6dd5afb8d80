#include "output/ordered_output.h"

#include <algorithm>
#include <cstring>

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
    flushSink(*ordered.out, ordered.dueBytes);
    lock.lock();
    ordered.failed = ordered.out->failed;
    for (const orderedOutputStruct::pieceStruct& piece : ordered.due) releasePiece(ordered, piece);
  }
  ordered.writing = false;
}

using writerStruct = orderedOutputStruct::writerStruct;

writerStruct& writerOf(const sinkStruct& sink) {
  return *static_cast<writerStruct*>(sink.drain.place);
}

void addPiece(writerStruct& writer, const sinkStruct& sink, bool last) {
  orderedOutputStruct& ordered = *writer.ordered;
  size_t size = sink.used - writer.pieceStart;
  ordered.pieces[writer.chunk].push_back({writer.buffer, writer.pieceStart, size, last});
  ++ordered.buffers[writer.buffer].unwritten;
  writer.chunkBytes += size;
  writer.pieceStart = sink.used;
}

void takeFreeBuffer(writerStruct& writer, sinkStruct& sink) {
  orderedOutputStruct& ordered = *writer.ordered;
  std::vector<size_t>& free = ordered.freeBuffers[writer.worker];
  writer.buffer = free.back();
  free.pop_back();
  sink.buffer = ordered.buffers[writer.buffer].memory.get();
  sink.used = 0;
  writer.pieceStart = 0;
}

// Hands over the sink's full buffer and gives it an empty one, waiting for one if need be.
void passFullBuffer(writerStruct& writer, sinkStruct& sink) {
  orderedOutputStruct& ordered = *writer.ordered;
  lockStruct lock(ordered.mutex);
  addPiece(writer, sink, false);
  ordered.buffers[writer.buffer].full = true;
  writeDuePieces(ordered, lock);
  std::vector<size_t>& free = ordered.freeBuffers[writer.worker];
  if (free.empty()) {
    ++ordered.waitingWorkers;
    ordered.bufferFreed.wait(lock, [&free] { return !free.empty(); });
    --ordered.waitingWorkers;
  }
  takeFreeBuffer(writer, sink);
  sink.failed = ordered.failed;
}

// A piece is a buffer: a long text goes through as many as it fills.
void drainPieces(sinkStruct& sink, std::span<const std::string_view> after) {
  writerStruct& writer = writerOf(sink);
  if (after.empty()) passFullBuffer(writer, sink);
  for (std::string_view text : after) {
    while (!text.empty()) {
      if (sink.used == sink.capacity) passFullBuffer(writer, sink);
      size_t part = std::min(text.size(), sink.capacity - sink.used);
      std::memcpy(sink.buffer + sink.used, text.data(), part);
      sink.used += part;
      text.remove_prefix(part);
    }
  }
}

}  // namespace

void openOrderedOutput(orderedOutputStruct& ordered, sinkStruct& out, size_t workers,
                       size_t capacity) {
  flushSink(out);
  ordered.out = &out;
  ordered.capacity = capacity;
  ordered.failed = out.failed;
  ordered.freeBuffers.resize(workers);
  ordered.writers.resize(workers);
  for (size_t worker = 0; worker < workers; ++worker) {
    ordered.writers[worker] = {.ordered = &ordered, .worker = worker};
    for (size_t b = 0; b < kBuffersPerWorker; ++b) {
      ordered.freeBuffers[worker].push_back(ordered.buffers.size());
      ordered.buffers.push_back({sinkBuffer(capacity), worker, 0, false});
    }
  }
}

sinkStruct pieceSink(orderedOutputStruct& ordered, size_t worker) {
  lockStruct lock(ordered.mutex);
  writerStruct& writer = ordered.writers[worker];
  sinkStruct sink;
  sink.capacity = ordered.capacity;
  sink.failed = ordered.failed;
  sink.drain = {.take = drainPieces, .place = &writer};
  takeFreeBuffer(writer, sink);
  return sink;
}

void beginChunk(sinkStruct& sink, size_t chunk) {
  writerStruct& writer = writerOf(sink);
  writer.chunk = chunk;
  writer.chunkBytes = 0;
  writer.pieceStart = sink.used;
}

size_t endChunk(sinkStruct& sink) {
  writerStruct& writer = writerOf(sink);
  orderedOutputStruct& ordered = *writer.ordered;
  lockStruct lock(ordered.mutex);
  addPiece(writer, sink, true);
  // Ended chunks are written along with a full buffer, so that requests stay large; but a
  // worker waiting for a buffer may be waiting for this very chunk.
  if (ordered.waitingWorkers > 0) writeDuePieces(ordered, lock);
  sink.failed = ordered.failed;
  return writer.chunkBytes;
}

void closeOrderedOutput(orderedOutputStruct& ordered) {
  lockStruct lock(ordered.mutex);
  writeDuePieces(ordered, lock);
}

#ifndef RELMERGE_OUTPUT_WRITER_H_
#define RELMERGE_OUTPUT_WRITER_H_

#include "join/join.h"
#include "output/sink.h"
#include "util/worker_pool.h"

// Writes the result block: an empty line, the heading of "result", the rows from the first
// row of the longest length on (a leading run of shorter rows is dropped), an empty line.
// Rows of one length are made by the workers of `pool` at once; the bytes are the same.
// Once a write has failed, no further row is made, by any worker.
void writeResult(sinkStruct& sink, const joinStruct& join, workerPoolStruct& pool);

#endif  // RELMERGE_OUTPUT_WRITER_H_

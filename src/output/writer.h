#ifndef RELMERGE_OUTPUT_WRITER_H_
#define RELMERGE_OUTPUT_WRITER_H_

#include "join/join.h"
#include "output/sink.h"

// Writes the result block: an empty line, the heading of "result", the rows from the first
// row of the longest length on (a leading run of shorter rows is dropped), an empty line.
// Rows of one length are made by up to `workers` threads at once; the bytes are the same.
// Once a write has failed, no further row is made, by any thread.
void writeResult(sinkStruct& sink, const joinStruct& join, size_t workers = 1);

#endif  // RELMERGE_OUTPUT_WRITER_H_

#ifndef RELMERGE_RELATIONS_BLOCK_SHAPE_H_
#define RELMERGE_RELATIONS_BLOCK_SHAPE_H_

#include <bit>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "util/scan.h"

// What the rows of a block hold, known before they are stored: counting them first lets them
// be stored once, at their size, where a growing list would copy them again and again and hold
// up to twice the room it needs.
struct blockShapeStruct {
  size_t rows = 0;
  size_t rowItems = 0;       // as mainStruct::rowItems
  bool commasSpaced = true;  // as mainStruct::commasSpaced
};

// The shape of the block at the start of `text`. Its rows are the lines up to the first line
// of zero characters, or to the text's end.
blockShapeStruct measureBlock(std::string_view text);

// measureBlock as a processor without a popcount instruction runs it.
blockShapeStruct measureBlockPortably(std::string_view text);

// Calls take(row) for each row of the block at the start of `text`, in order, and answers how
// many bytes the block takes with the empty line that closes it. Its line feeds are found 64
// bytes at a time, as in measureBlock, rather than line by line.
template <typename Take>
size_t forEachBlockRow(std::string_view text, Take&& take) {
  const char* start = text.data();
  const char* end = start + text.size();
  size_t lineStart = 0;
  for (size_t window = 0; window < text.size(); window += kWindowBytes) {
    for (uint64_t feeds = windowMask(start + window, end, '\n'); feeds != 0; feeds &= feeds - 1) {
      size_t feed = window + static_cast<size_t>(std::countr_zero(feeds));
      size_t length = feed - lineStart;
      if (length > 0 && start[feed - 1] == '\r') --length;
      if (length == 0) return feed + 1;
      take(std::string_view(start + lineStart, length));
      lineStart = feed + 1;
    }
  }
  // The last line, with no line feed after it: a CR at its end is an ordinary byte.
  if (lineStart < text.size()) take(text.substr(lineStart));
  return text.size();
}

#endif  // RELMERGE_RELATIONS_BLOCK_SHAPE_H_

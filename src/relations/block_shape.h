#ifndef RELMERGE_RELATIONS_BLOCK_SHAPE_H_
#define RELMERGE_RELATIONS_BLOCK_SHAPE_H_

#include <cstddef>
#include <string_view>

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

#endif  // RELMERGE_RELATIONS_BLOCK_SHAPE_H_

#ifndef RELMERGE_CHECK_LINE_INDEX_H_
#define RELMERGE_CHECK_LINE_INDEX_H_

#include <cstddef>
#include <string_view>
#include <vector>

// The lines of a script, for telling on which line a view into it stands. Every name, value
// and row is a view into the script buffer, so its line is the number of line feeds before it
// plus one.
struct lineIndexStruct {
  std::string_view text;
  // Where every kSampledLines-th line starts, from line 1 on: a line is found by a binary
  // search among these and a scan of at most that many lines, and the index takes a byte
  // or less per line of a script of millions.
  std::vector<size_t> sampledStarts;
};

inline constexpr size_t kSampledLines = 16;

lineIndexStruct indexLines(std::string_view text);

// The line, from 1, on which the byte at `offset` stands; the end of the text counts as part
// of its last line.
size_t lineAt(const lineIndexStruct& index, size_t offset);

// lineAt for a view into the text; views that point elsewhere are not allowed.
size_t lineOf(const lineIndexStruct& index, std::string_view view);

// The line that holds the byte at `offset`, without its line end (a CR right before the line
// feed belongs to the line end).
std::string_view lineAround(std::string_view text, size_t offset);

#endif  // RELMERGE_CHECK_LINE_INDEX_H_

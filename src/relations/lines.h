#ifndef RELMERGE_RELATIONS_LINES_H_
#define RELMERGE_RELATIONS_LINES_H_

#include <string_view>

// Cuts lines off the front of a script. A line ends at a line feed; one CR right before the
// line feed belongs to the line end, a CR anywhere else is an ordinary byte. The text after
// the last line feed is one more line, empty when the script ends with a line feed, so a
// script always holds one line more than it holds line feeds.
struct lineCursorStruct {
  std::string_view rest;
  bool done = false;
};

// Sets `line` to the next line and answers true, or answers false when none is left.
bool nextLine(lineCursorStruct& cursor, std::string_view& line);

#endif  // RELMERGE_RELATIONS_LINES_H_

#include "relations/lines.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

std::string linesOf(std::string_view text) {
  std::string out;
  lineCursorStruct cursor{text};
  std::string_view line;
  while (nextLine(cursor, line)) out.append("<").append(line).append(">");
  return out;
}

struct LineCase {
  std::string_view text;
  std::string_view lines;
};

const LineCase kLineCases[] = {
    {"", "<>"},
    {"a", "<a>"},
    {"a\n", "<a><>"},
    {"a\nb", "<a><b>"},
    {"a\r\nb\r\n", "<a><b><>"},
    {"a\rb\n", "<a\rb><>"},
    {"a\r", "<a\r>"},
    {"a\r\r\n", "<a\r><>"},
    {"\n\n", "<><><>"},
    {std::string_view("a\0b\n", 4), std::string_view("<a\0b><>", 7)},
    {"\r\n", "<><>"},
};

TEST(Lines, OneMoreLineThanLineFeeds) {
  for (const LineCase& c : kLineCases) EXPECT_EQ(c.lines, linesOf(c.text)) << c.text;
}

using spanVec = std::vector<std::pair<size_t, size_t>>;  // where each line starts, its length

// Lines are found 64 bytes at a time; this splitter looks at one byte at a time.
spanVec referenceLines(std::string_view text) {
  spanVec lines;
  size_t start = 0;
  for (size_t at = 0; at < text.size(); ++at) {
    if (text[at] != '\n') continue;
    lines.emplace_back(start, (at > start && text[at - 1] == '\r' ? at - 1 : at) - start);
    start = at + 1;
  }
  lines.emplace_back(start, text.size() - start);
  return lines;
}

// After every line a copy of the cursor must cut what the cursor cuts next: the reader looks
// ahead with a copy.
spanVec cutLines(std::string_view text) {
  spanVec lines;
  lineCursorStruct cursor{text};
  std::string_view line;
  std::string_view copied;
  for (;;) {
    lineCursorStruct copy = cursor;
    bool copyCut = nextLine(copy, copied);
    if (!nextLine(cursor, line)) {
      EXPECT_FALSE(copyCut);
      return lines;
    }
    EXPECT_TRUE(copyCut && copied.data() == line.data() && copied.size() == line.size());
    lines.emplace_back(static_cast<size_t>(line.data() - text.data()), line.size());
  }
}

// Every text size up to past four windows, each text in a buffer of exactly its size, so that
// a read past its end shows under AddressSanitizer. The patterns put line feeds at every place
// in a window, a CR at the end of a window with its line feed opening the next ("\r\nx" at 63,
// "x\r\n" at 127), lone CRs, and lines longer than one and than two windows, one with its line
// feed right after the two windows past the last one.
TEST(Lines, AgreeWithReferenceAtEveryWindowPlace) {
  const std::string patterns[] = {
      "x",
      "\n",
      "x\n",
      "\r\nx",
      "x\r\n",
      "a,b\r",
      "\r",
      "\n\r",
      std::string(70, 'x') + "\n",
      std::string(127, 'x') + "\n",
      std::string(130, 'y') + "\r\n",
  };
  for (const std::string& pattern : patterns) {
    for (size_t size = 0; size <= 300; ++size) {
      std::vector<char> buffer(size);
      for (size_t at = 0; at < size; ++at) buffer[at] = pattern[at % pattern.size()];
      std::string_view text(buffer.data(), size);
      EXPECT_EQ(referenceLines(text), cutLines(text)) << pattern.substr(0, 8) << " @" << size;
    }
  }
}

}  // namespace

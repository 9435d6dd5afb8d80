#include "relations/lines.h"

#include <gtest/gtest.h>

#include <string>

#include "output/echo.h"

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

// The echo is written in bulk for speed; it must equal every line followed by "\n".
TEST(Echo, EqualsEveryLineFollowedByLineFeed) {
  for (const LineCase& c : kLineCases) {
    std::string expected;
    lineCursorStruct cursor{c.text};
    std::string_view line;
    while (nextLine(cursor, line)) expected.append(line).append("\n");
    std::string echo;
    sinkStruct sink = textSink(echo);
    writeEcho(sink, c.text);
    flushSink(sink);
    EXPECT_EQ(expected, echo) << c.text;
  }
}

TEST(Echo, LargerThanTheBuffer) {
  std::string text;
  while (text.size() < 3 * kSinkCapacity) text += "1, x\r\n2, y\rz\n";
  std::string expected;
  lineCursorStruct cursor{text};
  std::string_view line;
  while (nextLine(cursor, line)) expected.append(line).append("\n");
  std::string echo;
  sinkStruct sink = textSink(echo);
  writeText(sink, "head");
  writeEcho(sink, text);
  flushSink(sink);
  EXPECT_EQ("head" + expected, echo);
}

}  // namespace

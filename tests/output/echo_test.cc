#include "output/echo.h"

#include <gtest/gtest.h>

#include <string>

#include "relations/lines.h"

namespace {

std::string echoOf(std::string_view prefix, std::string_view script) {
  std::string echo;
  sinkStruct sink = textSink(echo);
  writeText(sink, prefix);
  writeEcho(sink, script);
  flushSink(sink);
  return echo;
}

// Every line of `text` followed by "\n", line by line.
std::string linesWithLineFeeds(std::string_view text) {
  std::string expected;
  lineCursorStruct cursor{text};
  std::string_view line;
  while (nextLine(cursor, line)) expected.append(line).append("\n");
  return expected;
}

// The echo is written in bulk for speed; it must equal every line followed by "\n".
TEST(Echo, EqualsEveryLineFollowedByLineFeed) {
  struct Case {
    std::string_view text;
    std::string_view echo;
  } cases[] = {
      {"", "\n"},
      {"a", "a\n"},
      {"a\n", "a\n\n"},
      {"a\nb", "a\nb\n"},
      {"a\r\nb\r\n", "a\nb\n\n"},
      {"a\rb\n", "a\rb\n\n"},
      {"a\r", "a\r\n"},
      {"a\r\r\n", "a\r\n\n"},
      {"\n\n", "\n\n\n"},
      {std::string_view("a\0b\n", 4), std::string_view("a\0b\n\n", 5)},
      {"\r\n", "\n\n"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.echo, linesWithLineFeeds(c.text)) << c.text;
    EXPECT_EQ(c.echo, echoOf("", c.text)) << c.text;
  }
}

TEST(Echo, LargerThanTheBuffer) {
  std::string text;
  while (text.size() < 3 * kSinkCapacity) text += "1, x\r\n2, y\rz\n";
  EXPECT_EQ("head" + linesWithLineFeeds(text), echoOf("head", text));
}

}  // namespace

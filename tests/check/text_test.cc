#include <gtest/gtest.h>

#include <random>
#include <string>

#include "check/line_index.h"
#include "check/read_json.h"
#include "check/text_forms.h"

namespace {

TEST(LineIndex, LineOfEveryByte) {
  std::mt19937 rng(7);
  for (int round = 0; round < 200; ++round) {
    // Texts of every size around the samples of the index, with runs of empty lines.
    std::string text;
    size_t size = rng() % 3000;
    for (size_t i = 0; i < size; ++i) text += rng() % (1 + round % 9) == 0 ? '\n' : 'x';
    lineIndexStruct index = indexLines(text);
    size_t line = 1;
    for (size_t offset = 0; offset <= text.size(); ++offset) {
      ASSERT_EQ(line, lineAt(index, offset)) << "round " << round << " @" << offset;
      if (offset < text.size() && text[offset] == '\n') ++line;
    }
  }
}

TEST(LineIndex, LineAround) {
  struct Case {
    std::string_view text;
    size_t offset;
    std::string_view line;
  } cases[] = {
      {"ab\ncd\n", 0, "ab"}, {"ab\ncd\n", 2, "ab"}, {"ab\ncd\n", 3, "cd"},
      {"ab\r\ncd", 5, "cd"}, {"ab\r\ncd", 1, "ab"}, {"ab\rcd", 4, "ab\rcd"},
      {"ab\n\ncd", 3, ""},   {"", 0, ""},           {"ab\ncd\r", 4, "cd\r"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.line, lineAround(c.text, c.offset)) << c.text;
}

TEST(TextForms, Utf8) {
  struct Case {
    std::string_view bytes;
    std::string_view utf8;
  } cases[] = {
      {"plain", "plain"},
      {"\xC3\xA1gy", "\xC3\xA1gy"},                              // well formed: as it stands
      {"\xE1gy", "\xC3\xA1gy"},                                  // Latin-1 / Windows-1250 byte E1
      {"\xF5r", "\xC3\xB5r"},                                    // Windows-1250 F5
      {"\xC0\xAF", "\xC3\x80\xC2\xAF"},                          // overlong
      {"\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xC2\x80"},              // surrogate
      {"\xE2\x82", "\xC3\xA2\xC2\x82"},                          // cut short
      {"\xF4\x90\x80\x80", "\xC3\xB4\xC2\x90\xC2\x80\xC2\x80"},  // past U+10FFFF
      {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},                  // four bytes, well formed
      {std::string_view("a\0b", 3), std::string_view("a\0b", 3)},
  };
  for (const Case& c : cases) EXPECT_EQ(c.utf8, utf8Of(c.bytes)) << c.bytes;
}

TEST(TextForms, AnyBytesMakeValidJson) {
  std::mt19937 rng(11);
  for (int round = 0; round < 5000; ++round) {
    std::string bytes;
    for (size_t i = rng() % 12; i > 0; --i) bytes += static_cast<char>(rng());
    std::string utf8 = utf8Of(bytes);
    // A strict dump refuses invalid UTF-8; the text must come back as it went in.
    std::string dumped;
    EXPECT_NO_THROW(dumped = nlohmann::json(utf8).dump());
    EXPECT_EQ(utf8, readJson(dumped).get<std::string>());
    for (size_t at = 0; at < utf8.size(); at += utf8SequenceAt(std::string_view(utf8).substr(at))) {
      ASSERT_NE(0U, utf8SequenceAt(std::string_view(utf8).substr(at))) << round;
    }
  }
}

TEST(TextForms, Quoted) {
  struct Case {
    std::string_view bytes;
    std::string_view shown;
  } cases[] = {
      {"R", "\"R\""},        {"R ", "\"R \""},
      {"\tb", "\"\\tb\""},   {"a\"b\\", "\"a\\\"b\\\\\""},
      {"\xE1", "\"\\xE1\""}, {"\xC3\xA1", "\"\xC3\xA1\""},
      {"x\r", "\"x\\r\""},   {std::string_view("\0", 1), "\"\\x00\""},
  };
  for (const Case& c : cases) EXPECT_EQ(c.shown, quoted(c.bytes)) << c.bytes;
}

}  // namespace

#include "relations/block_shape.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "relations/items.h"
#include "relations/lines.h"

namespace {

// The shape of a block worked out line by line.
blockShapeStruct plainShape(std::string_view text) {
  blockShapeStruct shape;
  lineCursorStruct cursor{text};
  std::string_view line;
  while (nextLine(cursor, line) && !line.empty()) {
    size_t items = countItems(line);
    shape.rowItems = shape.rows == 0 || items == shape.rowItems ? items : 0;
    for (size_t at = 0; at < line.size(); ++at) {
      if (line[at] == ',' && (at + 1 == line.size() || line[at + 1] != ' ')) {
        shape.commasSpaced = false;
      }
    }
    ++shape.rows;
  }
  return shape;
}

// The rows of a block cut line by line, and the bytes they take with their closing line.
std::vector<std::string_view> plainRows(std::string_view text, size_t& used) {
  std::vector<std::string_view> rows;
  lineCursorStruct cursor{text};
  std::string_view line;
  while (nextLine(cursor, line) && !line.empty()) rows.push_back(line);
  used = text.size() - cursor.rest.size();
  return rows;
}

void expectShape(const blockShapeStruct& expected, std::string_view original) {
  // A buffer of exactly the text's size, so that a read past its end shows under
  // AddressSanitizer.
  std::vector<char> buffer(original.begin(), original.end());
  std::string_view text(buffer.data(), buffer.size());
  for (blockShapeStruct shape : {measureBlock(text), measureBlockPortably(text)}) {
    EXPECT_EQ(expected.rows, shape.rows) << original;
    EXPECT_EQ(expected.rowItems, shape.rowItems) << original;
    EXPECT_EQ(expected.commasSpaced, shape.commasSpaced) << original;
  }
  size_t expectedUsed = 0;
  std::vector<std::string_view> expectedRows = plainRows(text, expectedUsed);
  std::vector<std::string_view> rows;
  size_t used = forEachBlockRow(text, [&rows](std::string_view row) { rows.push_back(row); });
  EXPECT_EQ(expectedRows, rows) << original;
  EXPECT_EQ(expectedUsed, used) << original;
}

TEST(BlockShape, Examples) {
  struct Case {
    std::string_view text;
    blockShapeStruct shape;
  } cases[] = {
      {"", {0, 0, true}},
      {"\n1, 2\n", {0, 0, true}},
      {"1, 2\n3, 4", {2, 2, true}},
      {"1, 2\n3,4\n", {2, 2, false}},
      {"1, 2\n3\n\n4,5\n", {2, 0, true}},
      {"1, 2\r\n\r\nx,y", {1, 2, true}},
      {"1,\r\n", {1, 2, false}},
      {"1,", {1, 2, false}},
      {"1,  2\n", {1, 2, true}},
      {"1,\n 2\n", {2, 0, false}},
      {"a\rb, c\r\r\n", {1, 2, true}},
  };
  for (const Case& c : cases) expectShape(c.shape, c.text);
}

// Texts of line feeds, CRs, commas, blanks and letters, long enough to cross several windows,
// with an empty line rare enough that most blocks reach far.
TEST(BlockShape, AgreesWithLineByLineAnywhereInAWindow) {
  std::mt19937 random(7);
  const std::string alphabet = "aaaaaaaaaaaaaaaaaaaaaaa,,,,,  \n\r";
  for (int round = 0; round < 4000; ++round) {
    std::string text;
    size_t size = random() % 400;
    for (size_t i = 0; i < size; ++i) text += alphabet[random() % alphabet.size()];
    // Most rows alike, so that the count of items is seldom lost at once.
    if (round % 2 == 0) {
      text.clear();
      for (size_t row = random() % 30; row > 0; --row) {
        text += std::string(random() % 70, 'x') + (random() % 9 == 0 ? ",x" : ", x");
        text += random() % 4 == 0 ? "\r\n" : "\n";
      }
      if (random() % 2 == 0) text += ",";
    }
    expectShape(plainShape(text), text);
  }
}

}  // namespace

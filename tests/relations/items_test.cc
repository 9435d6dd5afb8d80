#include "relations/items.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

std::string joined(std::string_view text) {
  std::string out;
  forEachItem(text, [&out](std::string_view item) { out.append("<").append(item).append(">"); });
  return out;
}

TEST(Items, SplitAtEveryCommaDroppingOneBlank) {
  struct Case {
    std::string_view text;
    std::string_view items;
  } cases[] = {
      {"", "<>"},
      {"a", "<a>"},
      {"a, b", "<a><b>"},
      {"a,b", "<a><b>"},
      {"a,  b", "<a>< b>"},
      {"a ,b", "<a ><b>"},
      {" a, b ", "< a><b >"},
      {"a,,b", "<a><><b>"},
      {"a,", "<a><>"},
      {"a, ", "<a><>"},
      {"a,  ", "<a>< >"},
      {",", "<><>"},
      {"a,\tb", "<a><\tb>"},
      {"(x, y)", "<(x><y)>"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.items, joined(c.text)) << c.text;
    EXPECT_EQ(std::count(c.items.begin(), c.items.end(), '<'),
              static_cast<long>(countItems(c.text)))
        << c.text;
  }
}

// Every piece of each text, counted by one counter walking forward, one walking backward and a
// fresh one, against the plain count. Each text sits in a buffer of exactly its size, so that a
// read past its end shows under AddressSanitizer; commas stand at every place in a window.
TEST(Items, CounterAgreesWithPlainCount) {
  std::string edges(200, 'v');
  for (size_t at : {0, 62, 63, 64, 65, 127, 128, 129, 199}) edges[at] = ',';
  for (const std::string& source : {std::string(140, ','), edges, std::string("ab,,c\r\n,")}) {
    std::vector<char> buffer(source.begin(), source.end());
    std::string_view text(buffer.data(), buffer.size());
    itemCounterStruct forward{text};
    itemCounterStruct backward{text};
    for (size_t from = 0; from <= text.size(); ++from) {
      for (size_t length = 0; from + length <= text.size(); ++length) {
        std::string_view piece = text.substr(from, length);
        std::string_view backPiece = text.substr(text.size() - from - length, length);
        itemCounterStruct fresh{text};
        EXPECT_EQ(countItems(piece), countItems(forward, piece)) << from << "+" << length;
        EXPECT_EQ(countItems(piece), countItems(fresh, piece)) << from << "+" << length;
        EXPECT_EQ(countItems(backPiece), countItems(backward, backPiece)) << from << "+" << length;
      }
    }
  }
}

TEST(Items, ItemAtAgreesWithSplitting) {
  std::string_view texts[] = {"", "a", "a, b,c,  d", ",,", "x, ", " , ,"};
  std::vector<std::string_view> items;
  for (std::string_view text : texts) {
    splitItems(text, items);
    for (size_t p = 0; p <= items.size(); ++p) {
      std::string_view item = "untouched";
      bool found = itemAt(text, p, item);
      EXPECT_EQ(p < items.size(), found) << text << " @" << p;
      if (found) {
        EXPECT_EQ(items[p], item) << text << " @" << p;
      }
    }
  }
}

TEST(Items, BracketText) {
  struct Case {
    std::string_view line;
    std::string_view text;
  } cases[] = {
      {"R(a, b)", "a, b"},
      {"R()", ""},
      {"R(a, b", "a, b"},
      {"R(a, b) trailing", "a, b"},
      {"R(a (x), b)", "a (x), b"},
      {"R(a) b)", "a) b"},
      {"no brackets", "no brackets"},
      {") before (x", "x"},
      {"only ) close", "only "},
      {"(", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(c.text, bracketText(c.line)) << c.line;
}

TEST(Items, AttributeSplitsAtFirstBlank) {
  struct Case {
    std::string_view item;
    std::string_view name;
    std::string_view type;
  } cases[] = {
      {"a int", "a", "int"}, {"a  int", "a", " int"},  {"a varchar (10) x", "a", "varchar (10) x"},
      {" int", "", "int"},   {"bare", "bare", "bare"}, {"a\tint", "a\tint", "a\tint"},
      {"", "", ""},          {"a ", "a", ""},
  };
  for (const Case& c : cases) {
    fieldStruct field = attributeOf(c.item);
    EXPECT_EQ(c.name, field.name) << c.item;
    EXPECT_EQ(c.type, field.type) << c.item;
  }
}

}  // namespace

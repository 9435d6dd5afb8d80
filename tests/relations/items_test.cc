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

// Each item found by position, and each asked for by value against values that are the item,
// part of it, longer than it, or the item next to it.
TEST(Items, ItemAtAgreesWithSplitting) {
  std::string_view texts[] = {"",    "a",    "a, b,c,  d", ",,",
                              "x, ", " , ,", "ab, abc, a", "123456789012, 12345678901"};
  std::vector<std::string_view> items;
  for (std::string_view text : texts) {
    // Exactly the text's bytes, so that a read past its end shows under AddressSanitizer.
    std::vector<char> buffer(text.begin(), text.end());
    text = std::string_view(buffer.data(), buffer.size());
    splitItems(text, items);
    std::vector<std::string> values = {"",   "a",           "ab",           "abc",          "b",
                                       " d", "12345678901", "123456789012", "1234567890123"};
    for (size_t p = 0; p <= items.size(); ++p) {
      std::string_view item = "untouched";
      bool found = itemAt(text, p, item);
      EXPECT_EQ(p < items.size(), found) << text << " @" << p;
      if (found) {
        EXPECT_EQ(items[p], item) << text << " @" << p;
      }
      for (const std::string& value : values) {
        EXPECT_EQ(found && item == value, holdsItemAt(text, p, value))
            << text << " @" << p << " =" << value;
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

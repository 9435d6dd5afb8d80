#include "relations/lookup.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr uint64_t kSeed = 0x5EED;

mainStruct relationNamed(std::string_view name) {
  mainStruct relation;
  relation.name = name;
  return relation;
}

TEST(FindTable, FirstMatchByExactBytes) {
  std::vector<mainStruct> catalogue = {relationNamed("R"), relationNamed("S"),  relationNamed("R"),
                                       relationNamed("r"), relationNamed("S "), relationNamed("")};
  struct Case {
    std::string_view name;
    int32_t position;
  } cases[] = {{"R", 0}, {"S", 1}, {"r", 3}, {"S ", 4}, {"", 5}, {" S", -1}, {"T", -1}};
  for (const Case& c : cases) {
    EXPECT_EQ(c.position, findTable(c.name, catalogue)) << "[" << c.name << "]";
    EXPECT_EQ(c.position, findTables({c.name}, catalogue, kSeed)[0]) << "[" << c.name << "]";
  }
  EXPECT_EQ(-1, findTable("R", {}));
}

// The seed only places names in the table: every seed gives the lookup's answers.
TEST(FindTable, ManyNamesInOnePassAgreeWithTheLookup) {
  std::vector<mainStruct> catalogue = {relationNamed("A"), relationNamed("B"), relationNamed("A"),
                                       relationNamed("C")};
  std::vector<std::string_view> names = {"C", "A", "X", "A", "B", "C"};
  for (uint64_t seed : {uint64_t{0}, kSeed, ~uint64_t{0}}) {
    std::vector<int32_t> positions = findTables(names, catalogue, seed);
    ASSERT_EQ(names.size(), positions.size());
    for (size_t i = 0; i < names.size(); ++i) {
      EXPECT_EQ(findTable(names[i], catalogue), positions[i]) << names[i] << " " << seed;
    }
  }
}

TEST(FindField, NameAndTypeMustBothMatch) {
  std::vector<fieldStruct> fields = {{"a", "integer"}, {"a", "int"}, {"", ""}, {"a", "int"}};
  struct Case {
    fieldStruct field;
    int32_t position;
  } cases[] = {{{"a", "int"}, 1},  {{"a", "integer"}, 0}, {{"", ""}, 2},
               {{"a", "INT"}, -1}, {{"a ", "int"}, -1},   {{"b", "int"}, -1}};
  for (const Case& c : cases) {
    EXPECT_EQ(c.position, findField(c.field, fields)) << c.field.name << " " << c.field.type;
    EXPECT_EQ(c.position >= 0, hasField(c.field, fields)) << c.field.name << " " << c.field.type;
  }
  EXPECT_EQ(-1, findField({"a", "int"}, {{"a", "integer"}}));
}

TEST(IsCommonPosition, OnlyTheFirstPositionOfACommonAttribute) {
  std::vector<fieldStruct> fields = {{"a", "int"}, {"b", "char"}, {"b", "char"}};
  std::vector<fieldStruct> common = {{"b", "char"}};
  struct Case {
    int32_t position;
    bool common;
  } cases[] = {{0, false}, {1, true}, {2, false}, {5, false}};
  for (const Case& c : cases) {
    EXPECT_EQ(c.common, isCommonPosition(c.position, common, fields)) << c.position;
    EXPECT_FALSE(isCommonPosition(c.position, {}, fields)) << c.position;
  }
  // A common attribute missing from the list is "found" at -1.
  EXPECT_TRUE(isCommonPosition(-1, {{"z", "int"}}, fields));
}

TEST(ContainsText, SubstringOfBytes) {
  struct Case {
    std::string_view needle;
    std::string_view text;
    bool found;
  } cases[] = {{"join", "join(R, S)", true},
               {"join", "R(joined int)", true},
               {"join", "JOIN(R, S)", false},
               {"join", "jo in", false},
               {"(", "R(a int)", true},
               {"(", "no bracket", false},
               {"", "", true},
               {"", "text", true},
               {"join", "", false}};
  for (const Case& c : cases) {
    EXPECT_EQ(c.found, containsText(c.needle, c.text)) << c.needle << " in " << c.text;
  }
}

}  // namespace

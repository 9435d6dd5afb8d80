#include "join/row_index.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "relations/items.h"
#include "relations/reader.h"

namespace {

// Keys are looked up a group at a time, each stage of a lookup some groups behind the one
// before it: counts about those group ends must answer every key, the last ones too.
TEST(FindFirstMatches, AnswersEveryKeyWhateverTheirCount) {
  // Values 0 to 49, each in two rows; row 7 lacks its value.
  std::string text = "R(k t, v t)\n";
  for (size_t row = 0; row < 100; ++row) {
    text += row == 7 ? "x\n" : "x, " + std::to_string(row % 50) + "\n";
  }
  scriptStruct script = readScript(text);
  const mainStruct& relation = script.mainVec[0];
  rowIndexStruct index = buildRowIndex(relation, {1}, 1, 0x5EED);
  std::vector<std::string> values;
  for (size_t n = 0; n < 80; ++n) values.push_back(std::to_string(n));
  for (size_t count : {0, 1, 11, 12, 13, 35, 36, 37, 48, 49, 200}) {
    keyBlockStruct keys;
    resetKeys(keys, 1, count);
    // Every seventh key is missing; keys from 50 on match no row.
    for (size_t k = 0; k < count; ++k) {
      keys.present[k] = k % 7 == 3 ? 0 : 1;
      keys.values[k] = values[(k * 13) % values.size()];
    }
    std::vector<matchStruct> matches(count);
    findFirstMatches(index, relation, keys, matches);
    for (size_t k = 0; k < count; ++k) {
      uint32_t expected = kNoRow;
      std::string_view value;
      for (size_t row = 0; keys.present[k] && row < relation.rows.size(); ++row) {
        if (itemAt(relation.rows[row], 1, value) && value == keys.values[k]) {
          expected = static_cast<uint32_t>(row);
          break;
        }
      }
      EXPECT_EQ(expected, matches[k].row) << count << " keys, key " << k;
      EXPECT_EQ(expected != kNoRow && expected != 57, matches[k].more)
          << count << " keys, key " << k;
    }
  }
}

}  // namespace

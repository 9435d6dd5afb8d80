#include "join/result_cursor.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "join/oracle.h"
#include "relations/lookup.h"
#include "relations/reader.h"
#include "util/worker_pool.h"

namespace {

constexpr uint64_t kSeed = 0x5EED;

joinStruct joinOf(const scriptStruct& script) {
  workerPoolStruct solo(1);
  return prepareJoin(script.mainVec, findTables(script.joinVec, script.mainVec, kSeed), kSeed,
                     solo);
}

// Row k of `block` as the values it is made of, each followed by ";".
std::string valuesOfRow(const joinStruct& join, const resultBlockStruct& block, size_t k) {
  std::string text;
  auto append = [&text](std::string_view value) { text.append(value).append(";"); };
  forEachItem(rowOf(join, block, 0, k), [&](std::string_view value) {
    append(value);
    return true;
  });
  for (size_t level = 1; level < block.rowIds.size(); ++level) {
    forEachCopiedValue(join.plan.steps[level - 1], rowOf(join, block, level, k), append);
  }
  return text;
}

// Every result row, pulled from a cursor in blocks of `blockRows`.
std::vector<std::string> pulledRows(const joinStruct& join, size_t blockRows) {
  std::vector<std::string> rows;
  resultCursorStruct cursor;
  openResultCursor(cursor, join, 0, relationOfLevel(join, 0).rows.size(), blockRows);
  while (nextResultBlock(cursor)) {
    for (size_t k = 0; k < cursor.result.size; ++k)
      rows.push_back(valuesOfRow(join, cursor.result, k));
  }
  // A cursor that has run out stays out.
  EXPECT_FALSE(nextResultBlock(cursor));
  return rows;
}

std::vector<std::string> oracleRows(const scriptStruct& script) {
  std::vector<std::string> rows;
  for (const std::vector<std::string>& row : oracleJoin(script.mainVec, script.joinVec).rows) {
    rows.emplace_back();
    for (const std::string& value : row) rows.back().append(value).append(";");
  }
  return rows;
}

TEST(ResultCursor, KeysOfEveryShapeMatchTheOracle) {
  struct Case {
    const char* what;
    std::string_view script;
  } cases[] = {
      {"one value, from the first level",
       "R(a t, b t)\n1, x\n2, y\n1, z\n\nS(b t, c t)\nx, 1\nz, 2\nx, 3\n\njoin(R, S)\n"},
      {"one value, from a level below the first",
       "R(a t)\n1\n2\n\nS(b t)\nx\ny\n\nT(b t, c t)\ny, 1\nx, 2\ny, 3\n\njoin(R, S, T)\n"},
      {"several values from one row, named out of order",
       "R(a t, b t, c t)\n1, 2, 3\n1, 2, 4\n3, 2, 1\n\nS(c t, a t)\n3, 1\n1, 3\n4, 1\n3, 1\n\n"
       "join(R, S)\n"},
      {"several values from two levels, named in order",
       "R(a t)\n1\n2\n\nS(b t)\nx\ny\n\nT(a t, b t)\n1, y\n2, x\n1, x\n\njoin(R, S, T)\n"},
      {"several values from three levels, named from the last up",
       "R(a t)\n1\n2\n\nS(b t)\nx\ny\n\nT(c t, d t)\np, 7\nq, 8\n\n"
       "U(d t, c t, b t, a t)\n7, p, x, 1\n8, q, y, 2\n7, p, y, 1\n\njoin(R, S, T, U)\n"},
      // Not even an empty value equals a missing one.
      {"a value every row above lacks", "R(a t, b t)\n1\n2\n\nS(b t, c t)\n, 1\n\njoin(R, S)\n"},
      {"rows that vary in length, values named from the last back",
       "R(a t, b t)\n1, x\n2, y, extra\n3\n1, y\n\nS(c t)\np\nq, r\n\n"
       "T(c t, b t, a t)\np, x, 1\nq, y, 1\np, y, 2\nq, x, 1\n\njoin(R, S, T)\n"},
  };
  for (const Case& c : cases) {
    scriptStruct script = readScript(c.script);
    joinStruct join = joinOf(script);
    std::vector<std::string> expected = oracleRows(script);
    for (size_t blockRows : {1, 2, 3, 1024}) {
      EXPECT_EQ(expected, pulledRows(join, blockRows)) << c.what << ", blocks of " << blockRows;
    }
  }
}

// A key of more values than a block of keys holds room for at once is looked up a few rows
// at a time; every row must still find its match, whatever run it falls in.
TEST(ResultCursor, KeysOfManyValuesFindTheirRowsInEveryRun) {
  constexpr size_t kRows = 1000;
  constexpr size_t kValues = 300;
  std::string heading = "(";
  for (size_t v = 0; v < kValues; ++v) heading += (v > 0 ? ", a" : "a") + std::to_string(v) + " t";
  heading += ")\n";
  // Row r of R holds the values r, r + 1, ...; row r of S those of R's row kRows - 1 - r.
  auto rowText = [](size_t r, size_t values) {
    std::string text;
    for (size_t v = 0; v < values; ++v) text += (v > 0 ? ", " : "") + std::to_string(r + v);
    return text + "\n";
  };
  struct Case {
    const char* what;
    size_t longRow;   // a row of R with a value more, or kRows for none
    size_t shortRow;  // a row of R with a value fewer, which matches nothing, or kRows
  } cases[] = {{"rows of one length", kRows, kRows}, {"rows that vary", 0, 877}};
  for (const Case& c : cases) {
    std::string text = "R" + heading;
    for (size_t r = 0; r < kRows; ++r) {
      text += rowText(r, kValues + (r == c.longRow) - (r == c.shortRow));
    }
    text += "\nS" + heading;
    for (size_t r = kRows; r-- > 0;) text += rowText(r, kValues);
    text += "\njoin(R, S)\n";
    scriptStruct script = readScript(text);
    joinStruct join = joinOf(script);
    std::vector<std::vector<uint32_t>> expected;
    std::vector<std::vector<uint32_t>> got;
    for (uint32_t r = 0; r < kRows; ++r) {
      if (r != c.shortRow) expected.push_back({r, static_cast<uint32_t>(kRows - 1 - r)});
    }
    forEachResultBlock(join, [&got](const resultBlockStruct& block) {
      for (size_t k = 0; k < block.size; ++k)
        got.push_back({block.rowIds[0][k], block.rowIds[1][k]});
      return true;
    });
    EXPECT_EQ(expected, got) << c.what;
  }
}

}  // namespace

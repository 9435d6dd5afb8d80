#include "relations/reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "relations/items.h"
#include "test_util.h"

namespace {

struct ReaderCase {
  std::string_view script;
  std::string_view catalogue;  // dump() of the whole script
};

void expectReads(const ReaderCase* begin, const ReaderCase* end) {
  for (const ReaderCase* c = begin; c != end; ++c) {
    EXPECT_EQ(c->catalogue, dump(readScript(c->script))) << c->script;
  }
}

TEST(ScriptReader, LineKinds) {
  const ReaderCase cases[] = {
      {"", "join[]"},
      {"R(a int, b int)\n1, 2\n3, 4\n\nS(b int, c int)\n2, 5\n\njoin(R, S)\n",
       "R(a int,b int)[1,2][3,4] S(b int,c int)[2,5] join[R,S]"},
      {"comment\nR(a int)\n1\n", "R(a int)[1] join[]"},
      // "join" wins over "(": the header becomes a join line and its rows are ignored lines.
      {"R(joined int)\n1\n\njoin(R, R)", "join[joined int,R,R]"},
      {"JOIN(a int)\n1\n", "JOIN(a int)[1] join[]"},
      // Inside a block nothing but a line of zero characters has a meaning.
      {"R(a int)\n1\njoin(R, R)\nS(b int)\n\n", "R(a int)[1][join(R,R)][S(b int)] join[]"},
      {"R(a int)\n1\n   \n2\n", "R(a int)[1][   ][2] join[]"},
      {"join(R, S)\njoin(T)\n", "join[R,S,T]"},
      {"R(a)", "R(a a) join[]"},
      {"R(a)\n", "R(a a) join[]"},
      {"R(a int)\n\n\n1\n", "R(a int) join[]"},
      {"R(a int)\nS(b int)\n", "R(a int)[S(b int)] join[]"},
  };
  expectReads(std::begin(cases), std::end(cases));
}

TEST(ScriptReader, JoinLists) {
  const ReaderCase cases[] = {
      {"join(R, S)", "join[R,S]"},         {"join(R,S)", "join[R,S]"},
      {"join(R,  S)", "join[R, S]"},       {"join(R , S)", "join[R ,S]"},
      {"join( R, S)", "join[ R,S]"},       {"join()", "join[]"},
      {"join(R, S,)", "join[R,S,]"},       {"join R, S", "join[join R,S]"},
      {"  xjoin(R, S) tail", "join[R,S]"},
  };
  expectReads(std::begin(cases), std::end(cases));
}

TEST(ScriptReader, HeadersAndAttributes) {
  const ReaderCase cases[] = {
      {"R (a int)", "R (a int) join[]"},
      {"  R(a int)", "  R(a int) join[]"},
      {"R(a  int)", "R(a  int) join[]"},
      {"R(a int,  b int)", "R(a int, b int) join[]"},
      {"R( a int)", "R( a int) join[]"},
      {"R()", "R( ) join[]"},
      {"R(a int", "R(a int) join[]"},
      {"R(a int) tail", "R(a int) join[]"},
      {"R(a dec(5,2), b int)", "R(a dec(5,2) 2),b int) join[]"},
      {"R(a\tint, b)", "R(a\tint a\tint,b b) join[]"},
      {"R(a int,)", "R(a int, ) join[]"},
  };
  expectReads(std::begin(cases), std::end(cases));
}

TEST(ScriptReader, DataLines) {
  const ReaderCase cases[] = {
      {"R(a int)\n1,,2\n", "R(a int)[1,,2] join[]"},
      {"R(a int)\n1,\n", "R(a int)[1,] join[]"},
      {"R(a int)\n 1 , 2 \n", "R(a int)[ 1 ,2 ] join[]"},
      {"R(a int)\n1,  2\n", "R(a int)[1, 2] join[]"},
      {"R(a int)\nsolo\n", "R(a int)[solo] join[]"},
      {"R(a int)\r\n1, 2\r\n\r\njoin(R, R)\r\n", "R(a int)[1,2] join[R,R]"},
      {"R(a int)\n1\r2\n", "R(a int)[1\r2] join[]"},
      {"R(a int)\n1\r", "R(a int)[1\r] join[]"},
  };
  expectReads(std::begin(cases), std::end(cases));
}

std::vector<size_t> rowItemsOf(std::string_view script) {
  std::vector<size_t> found;
  for (const mainStruct& relation : readScript(script).mainVec) found.push_back(relation.rowItems);
  return found;
}

TEST(ScriptReader, RowItemsOfEachRelation) {
  struct Case {
    std::string_view script;
    std::vector<size_t> rowItems;  // one per relation
  } cases[] = {
      {"R(a, b)\n1, 2\n3, 4\n5, 6\n", {2}},
      {"R(a)\n1\n", {1}},
      {"R(a)\n,\n,,\n", {0}},
      {"R(a)\n1, 2\n3, 4\n5, 6,", {0}},
      {"R(a)\r\n1, 2\r\n3, 4\r\n\r\nS(b)\r\n1\r\n", {2, 1}},
      {"R(a)\n1,\r2\n\r,3\n", {2}},
      {"R(a)\n", {0}},
      {"R(a)", {0}},
      // A block ends at its empty line: the rows after it, and the relations around it, do not
      // count.
      {"R(a)\n1, 2\n\n3\nS(b)\n1, 2, 3\n\nT(c)\n\n", {2, 3, 0}},
      {"R(a)\n1, 2\n\r\n3\n", {2}},
  };
  for (const Case& c : cases) EXPECT_EQ(c.rowItems, rowItemsOf(c.script)) << c.script;
}

// Rows of 3 items and of every length up to past two windows, so that their commas and ends
// fall at every place in a window, some ending in CR LF; then one row holds an item more or
// less, at the start, in the middle or at the end.
TEST(ScriptReader, RowItemsWhereCommasCrossWindows) {
  const size_t kRows = 150;
  for (size_t changed : {size_t{0}, kRows / 2, kRows - 1, kRows}) {
    for (std::string_view changedTail : {",z,", ""}) {
      std::string script = "R(a, b, c)\n";
      for (size_t i = 0; i < kRows; ++i) {
        script.append(i, 'x').append(",").append(i % 7, 'y');
        script += i == changed ? changedTail : ",z";
        script += i % 3 == 0 ? "\r\n" : "\n";
      }
      std::vector<char> buffer(script.begin(), script.end());
      scriptStruct read = readScript(std::string_view(buffer.data(), buffer.size()));
      ASSERT_EQ(1u, read.mainVec.size());
      EXPECT_EQ(changed == kRows ? 3u : 0u, read.mainVec[0].rowItems) << changed << changedTail;
    }
  }
}

TEST(ScriptReader, RelationsOfOneNameAreKeptApart) {
  scriptStruct script = readScript("R(a int)\n1\n\nR(b int)\n2\n");
  ASSERT_EQ(2u, script.mainVec.size());
  EXPECT_EQ("R(a int)[1]", dump(script.mainVec[0]));
  EXPECT_EQ("R(b int)[2]", dump(script.mainVec[1]));
}

// dump() with what the reader measures of each relation's rows.
std::string dumpMeasured(const scriptStruct& script) {
  std::string text = dump(script);
  for (const mainStruct& relation : script.mainVec) {
    text.append(" ").append(std::to_string(relation.rowItems));
    text.append(relation.commasSpaced ? "s" : "-");
  }
  return text;
}

scriptStruct joined(scriptStruct first, scriptStruct second) {
  for (mainStruct& relation : second.mainVec) first.mainVec.push_back(std::move(relation));
  first.joinVec.insert(first.joinVec.end(), second.joinVec.begin(), second.joinVec.end());
  return first;
}

TEST(ScriptReader, PiecesCutNearAnyPlaceReadAsTheWhole) {
  const std::string_view scripts[] = {
      "R(a int)\n1\n\nS(b int)\n2, 3\n\njoin(R, S)\n",
      "R(a int)\r\n1\r\n\r\nS(b int)\r\n2\r\n\r\njoin(R, S)",
      // A CR that is not the line end's, blocks without rows, lines with a meaning only
      // outside a block, and empty lines at both ends.
      "\nR(a)\n1\r\r\n\r\nS(b)\n\njoin(R)\nT(c)\nx(\njoin(T)\n\n\n\rU(d)\n\r",
      "R(a int)\n1\n2\n3\n",
      "\n\n\n",
      "join(R)\n\nR(a)\n\r\n\r\nS(a)\n1,2\n\n",
  };
  for (std::string_view script : scripts) {
    std::string whole = dumpMeasured(readScript(script));
    for (size_t near = 0; near <= script.size(); ++near) {
      size_t cut = cutNear(script, near);
      ASSERT_LE(cut, script.size());
      EXPECT_EQ(whole, dumpMeasured(joined(readScript(script.substr(0, cut)),
                                           readScript(script.substr(cut)))))
          << script << " cut at " << cut;
    }
  }
  // A place is found wherever one is; none is at the very end.
  EXPECT_EQ(12u, cutNear("R(a int)\n1\n\nS(b int)\n2\n", 0));
  EXPECT_EQ(12u, cutNear("R(a int)\n1\n\nS(b int)\n2\n", 20));
  EXPECT_EQ(15u, cutNear("R(a int)\r\n1\r\n\r\nS", 3));
  EXPECT_EQ(15u, cutNear("R(a int)\r\n1\r\n\r\n", 3));
}

TEST(ScriptReader, WorkersReadAsOneDoes) {
  // Several relations, of a size that workers share, with CR LF line ends in some.
  std::string script;
  for (size_t relation = 0; relation < 7; ++relation) {
    std::string_view end = relation % 3 == 1 ? "\r\n" : "\n";
    std::string name = std::to_string(relation);
    script.append("R").append(name).append("(a int, b int)").append(end);
    for (size_t row = 0; row < 40000 * (relation % 4 + 1); ++row) {
      script.append(std::to_string(row)).append(", ").append(std::to_string(row * relation));
      script.append(end);
    }
    script.append(end).append("join(R").append(name).append(")\n\n");
  }
  ASSERT_GT(script.size(), size_t{4} << 20);
  std::string whole = dumpMeasured(readScript(script));
  for (size_t workers : {2, 3, 8}) {
    std::string_view text = script;
    std::vector<size_t> cuts = scriptCuts(text, workers);
    std::vector<scriptStruct> pieces;
    for (size_t piece = 0; piece + 1 < cuts.size(); ++piece) {
      pieces.push_back(readScript(text.substr(cuts[piece], cuts[piece + 1] - cuts[piece])));
    }
    EXPECT_TRUE(whole == dumpMeasured(joinPieces(pieces))) << workers << " workers";
  }
}

}  // namespace

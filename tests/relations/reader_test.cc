#include "relations/reader.h"

#include <gtest/gtest.h>

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

TEST(ScriptReader, RelationsOfOneNameAreKeptApart) {
  scriptStruct script = readScript("R(a int)\n1\n\nR(b int)\n2\n");
  ASSERT_EQ(2u, script.mainVec.size());
  EXPECT_EQ("R(a int)[1]", dump(script.mainVec[0]));
  EXPECT_EQ("R(b int)[2]", dump(script.mainVec[1]));
}

}  // namespace

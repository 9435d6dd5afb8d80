#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include "check/check_with.h"
#include "check/read_json.h"
#include "check/report_strings.h"
#include "check/script_check.h"

namespace {

TEST(CheckReport, WholeText) {
  struct Case {
    std::string_view script;
    std::string_view text;
  } cases[] = {
      {"Staff(name text, room int)\nEva, 101\nFinn, 204\n\nRooms(room text, floor int)\n101, 1\n"
       "204, 2\n\njoin(Staff, Rooms)\n",
       "s.txt:5: warning: attribute \"room text\" of \"Rooms\" has the name of attribute \"room "
       "int\" of \"Staff\" (line 1) but another type, so the two are not common: \"Rooms\" is "
       "joined by a Cartesian product [type-mismatch]\n"
       "\n"
       "relation \"Staff\", line 1: (\"name text\", \"room int\"), 2 rows\n"
       "relation \"Rooms\", line 5: (\"room text\", \"floor int\"), 2 rows\n"
       "join request, line 9: \"Staff\", \"Rooms\"\n"
       "  \"Rooms\" (line 5): Cartesian product\n"
       "result: (\"name text\", \"room int\", \"room text\", \"floor int\"), 4 rows; "
       "trimming drops no row\n"},
      {"R(a int, b int)\n1, 2\n3, 4, 5\n\nS(b int)\n2\n4\n\njoin(R)\njoin(S)",
       "relation \"R\", line 1: (\"a int\", \"b int\"), 2 rows, 1 longer than its heading\n"
       "relation \"S\", line 5: (\"b int\"), 2 rows\n"
       "join request, lines 9, 10: \"R\", \"S\"\n"
       "  \"S\" (line 5): natural join on \"b int\"\n"
       "result: (\"a int\", \"b int\"), 1 row; trimming drops 1 leading short row\n"},
      {"\xC1rak(a\tb)\n1\n",
       "s.txt:1: warning: declaration \"a\\tb\" holds a tab, which "
       "separates nothing: it declares attribute \"a\\tb\" of type "
       "\"a\\tb\" [tab-in-declaration]\n"
       "s.txt:1: error: the script has no join line: relmerge writes no "
       "result, only its join-structure message [join-structure]\n"
       "\n"
       "relation \"\\xC1rak\", line 1: (\"a\\tb\"), 1 row\n"
       "join request: none\n"
       "result: none; relmerge writes its join-structure message "
       "instead\n"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.text, textReport(checkWith(c.script), {"s.txt", false, false})) << c.script;
  }
}

TEST(CheckReport, ColoursOnlyTheDiagnostics) {
  checkReportStruct report = checkWith("R(a int)\n1\n");
  EXPECT_EQ(
      "\x1b[1ms.txt:1:\x1b[0m \x1b[1;31merror:\x1b[0m the script has no join line: relmerge "
      "writes no result, only its join-structure message [join-structure]\n",
      textReport(report, {"s.txt", true, true}));
}

TEST(CheckReport, JsonDocument) {
  // A name in a single-byte encoding, and a product too large for 64 bits.
  std::string script = "\xC1rak(\xE1r int)\n1\n2\n\n";
  std::string join = "join(\xC1rak";
  for (int i = 0; i < 64; ++i) {
    std::string number = std::to_string(i);
    script.append("R").append(number).append("(c").append(number).append(" int)\n1\n2\n\n");
    join.append(", R").append(number);
  }
  script += join + ")\n";
  nlohmann::json document = readJson(jsonReport(checkWith(script)));
  EXPECT_EQ("result", document["outcome"]);
  nlohmann::json first = {{"name", "\xC3\x81rak"},
                          {"line", 1},
                          {"attributes", {{{"name", "\xC3\xA1r"}, {"type", "int"}}}},
                          {"rows", 2},
                          {"shorter", 0},
                          {"longer", 0}};
  EXPECT_EQ(first, document["relations"][0]);
  EXPECT_EQ(65U, document["relations"].size());
  EXPECT_EQ(nlohmann::json({261}), document["join"]["lines"]);
  EXPECT_EQ("product", document["steps"][63]["kind"]);
  EXPECT_EQ(nlohmann::json::array(), document["steps"][63]["common"]);
  // 2^65 rows, as a decimal string past 2^64 - 1.
  EXPECT_EQ("36893488147419103232", document["result"]["rows"]);
  EXPECT_EQ(0, document["result"]["trimmed"]);
  EXPECT_EQ(nlohmann::json::array(), document["diagnostics"]);
}

TEST(CheckReport, JsonWithoutResult) {
  nlohmann::json document = readJson(jsonReport(checkWith("R(a int)\n1\n\njoin(R, X)\n")));
  EXPECT_EQ("unknown-relation", document["outcome"]);
  EXPECT_TRUE(document["result"].is_null());
  EXPECT_EQ(nlohmann::json::array(), document["steps"]);
  EXPECT_EQ("error", document["diagnostics"][0]["severity"]);
  EXPECT_EQ(4, document["diagnostics"][0]["line"]);
}

// Scripts of the bytes that mean something to the reader, and of odd ones, in any order.
TEST(CheckReport, AnyBytesMakeAReport) {
  static const char* const kPieces[] = {"(", ")", ",", " ",   "\t",   "\n",   "\n", "\r\n",  "join",
                                        "R", "S", "a", "int", "\xE1", "\xC3", "1",  "(8,2)", ""};
  std::mt19937 rng(5);
  for (int round = 0; round < 1000; ++round) {
    std::string script;
    for (size_t i = rng() % 60; i > 0; --i) script += kPieces[rng() % std::size(kPieces)];
    checkReportStruct report = checkWith(script, round % 4 == 0 ? 2 : 1);
    size_t lines = 1 + static_cast<size_t>(std::count(script.begin(), script.end(), '\n'));
    for (const diagnosticStruct& d : report.diagnostics) {
      EXPECT_TRUE(d.line >= 1 && d.line <= lines) << d.code << " on line " << d.line;
    }
    nlohmann::json document = readJson(jsonReport(report));
    EXPECT_EQ(report.script.mainVec.size(), document["relations"].size());
    EXPECT_FALSE(textReport(report, {"s", false, false}).empty());
  }
}

}  // namespace

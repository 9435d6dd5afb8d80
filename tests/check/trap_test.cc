#include <gtest/gtest.h>

#include <charconv>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "check/check_with.h"
#include "check/read_json.h"
#include "check/report_strings.h"
#include "check/script_check.h"

namespace {

// A diagnostic as the tests name it: line, code and how many more lines hold the same.
struct foundStruct {
  size_t line;
  std::string code;
  size_t more = 0;
  bool operator==(const foundStruct& other) const {
    return line == other.line && code == other.code && more == other.more;
  }
};

std::ostream& operator<<(std::ostream& out, const foundStruct& found) {
  return out << found.line << ":" << found.code << "+" << found.more;
}

struct trapCaseStruct {
  const char* what;
  std::string_view script;
  std::vector<foundStruct> found;  // every diagnostic, in line order
  std::string_view hint = {};      // a text that some message holds
};

bool isError(std::string_view code) {
  return code == "join-structure" || code == "unknown-relation";
}

// Each trap written as a user would write it.
const trapCaseStruct kTrapCases[] = {
    {"attribute name holds join",
     "Members(id int, joined date)\n1, 2021-03-04\n\nFees(id int, paid int)\n1, 40\n\n"
     "join(Members, Fees)\n",
     {{1, "join-in-header"},
      {1, "unknown-relation"},
      {1, "unknown-relation"},
      {7, "unknown-relation"}}},
    {"line of blanks in a block",
     "R(a int)\n1\n  \nS(a int)\n1\n\njoin(R, S)\n",
     {{3, "blank-line-in-block"}, {4, "header-as-row"}, {7, "unknown-relation"}}},
    {"header right under the rows",
     "R(a int)\n1\nS(a int)\n1\n\njoin(R, S)\n",
     {{3, "header-as-row"}, {6, "unknown-relation"}},
     "relation \"S\" is not defined"},
    {"join line right under the rows",
     "Students(sid int, name text)\n1, Anna\n\nEnrolments(sid int, course text)\n"
     "1, databases\njoin(Students, Enrolments)\n",
     {{1, "join-structure"}, {6, "join-as-row"}},
     "the join line on line 6 is a row"},
    {"blank before the bracket",
     "R (a int)\n1\n\nS(a int)\n1\n\njoin(R, S)\n",
     {{1, "blank-in-relation-name"}, {7, "unknown-relation"}},
     "did you mean \"R \" (line 1)?"},
    {"trailing blank in the join list",
     "R(a int)\n1\n\nS(a int)\n1\n\njoin(R, S )\n",
     {{7, "blank-in-join-name"}, {7, "unknown-relation"}},
     "did you mean \"S\" (line 4)?"},
    {"two blanks after a comma in the join list",
     "R(a int)\n1\n\nS(a int)\n1\n\njoin(R,  S)\n",
     {{7, "blank-in-join-name"}, {7, "unknown-relation"}}},
    {"name in other case",
     "R(a int)\n1\n\nStaff(a int)\n1\n\njoin(R, STAFF)\n",
     {{7, "unknown-relation"}},
     "did you mean \"Staff\""},
    {"second definition",
     "R(a int)\n1\n\nR(a int)\n2\n\nS(a int)\n1\n2\n\njoin(R, S)\n",
     {{4, "duplicate-relation"}},
     "first definition, on line 1"},
    {"two blanks after a comma in a row",
     "R(a int, b text)\n1,  x\n2, y\n\nS(b text, c int)\nx, 10\ny, 20\n\njoin(R, S)\n",
     {{2, "blank-after-comma"}}},
    {"tab after a comma in a row",
     "R(a int, b text)\n1,\tx\n\nS(b text)\nx\n\njoin(R, S)\n",
     {{2, "blank-after-comma"}}},
    {"trailing blank and tab in rows",
     "R(a int, b text)\n1, x \n2, y\t\n3, z\n\nS(b text)\nx\n\njoin(R, S)\n",
     {{2, "trailing-blank", 1}}},
    {"blank before a comma",
     "R(a int, b text)\n1 , x\n\nS(b text)\nx\n\njoin(R, S)\n",
     {{2, "trailing-blank"}}},
    {"indented row", "R(a int)\n 1\n\nS(a int)\n1\n\njoin(R, S)\n", {{2, "leading-blank"}}},
    {"tab after a comma in a heading",
     "R(a int, b text)\n1, x\n\nS(c int,\tb text)\n10, x\n\njoin(R, S)\n",
     {{4, "tab-in-declaration"}}},
    {"tab between name and type",
     "R(a int)\n1\n\nS(a\tint)\n1\n\njoin(R, S)\n",
     {{4, "tab-in-declaration"}}},
    {"two blanks after a comma in a heading",
     "R(a int, b text)\n1, x\n\nS(c int,  b text)\n10, x\n\njoin(R, S)\n",
     {{4, "blank-after-comma"}}},
    {"trailing blank in a type",
     "R(a int )\n1\n\nS(a int)\n1\n\njoin(R, S)\n",
     {{1, "trailing-blank"}, {4, "type-mismatch"}}},
    {"comma in a type",
     "Products(sku text, price decimal(8,2))\nA1, 10.50\n\nSales(sku text, qty int)\nA1, 3\n\n"
     "join(Products, Sales)\n",
     {{1, "comma-in-type"}},
     "\"price decimal(8\" and \"2)\""},
    {"same name, other type",
     "Staff(name text, room int)\nEva, 101\n\nRooms(room text, floor int)\n101, 1\n\n"
     "join(Staff, Rooms)\n",
     {{4, "type-mismatch"}},
     "Cartesian product"},
    {"same name, other type, beside a common attribute",
     "R(a int, b int)\n1, 2\n\nS(a int, b text)\n1, 2\n\njoin(R, S)\n",
     {{4, "type-mismatch"}},
     "not compared"},
    {"row without the compared value",
     "R(a int, b int)\n1\n2, 5\n\nS(b int, c int)\n5, 9\n\njoin(R, S)\n",
     {{2, "missing-compared-value"}}},
    {"comment that holds join",
     "-- join students with their courses\nR(a int)\n1\n\nS(a int)\n1\n\njoin(R, S)\n",
     {{1, "join-in-comment"}, {1, "unknown-relation"}},
     "the whole line is the list of names"},
    {"join names without a comma",
     "R(a int)\n1\n\nS(a int)\n1\n\njoin(R S)\n",
     {{7, "join-names-without-comma"}, {7, "join-structure"}}},
    {"no join line", "R(a int)\n1\n", {{1, "join-structure"}}, "no join line"},
    {"join in capitals",
     "R(a int)\n1\n\nS(a int)\n1\n\nJoin(R, S)\n",
     {{1, "join-structure"}},
     "line 7 defines a relation named \"Join\", as a join line needs \"join\" in lower case"},
    {"one name", "R(a int)\n1\n\njoin(R)\n", {{4, "join-structure"}}, "names one relation"},
    {"many rows, one finding",
     "R(a int, b text)\n1, x \n2, y \n3, z \n4, w \n\nS(b text)\nx\n\njoin(R, S)\n",
     {{2, "trailing-blank", 3}}},
};

std::vector<foundStruct> foundIn(const checkReportStruct& report) {
  std::vector<foundStruct> found;
  for (const diagnosticStruct& d : report.diagnostics) {
    found.push_back({d.line, std::string(d.code), d.moreLines});
    EXPECT_EQ(isError(d.code), d.severity == severityKind::error) << d.code;
  }
  return found;
}

// Cuts `suffix` off the end of `text` and answers true, or answers false when it does not end so.
bool cutSuffix(std::string_view& text, std::string_view suffix) {
  if (!text.ends_with(suffix)) return false;
  text.remove_suffix(suffix.size());
  return true;
}

// A line of the text report: "script.txt:LINE: SEVERITY: MESSAGE[ (and N more line[s] like
// it)] [CODE]". False when the line is not of that form.
bool readReportLine(std::string_view line, foundStruct& found, std::string& severity) {
  size_t codeAt = line.rfind(" [");
  constexpr std::string_view kFile = "script.txt:";
  if (!line.starts_with(kFile) || codeAt == std::string_view::npos) return false;
  std::string_view rest = line.substr(0, codeAt);
  found.code = std::string(line.substr(codeAt + 2));
  if (!found.code.ends_with(']')) return false;
  found.code.pop_back();
  found.more = 0;
  size_t moreAt = rest.rfind(" (and ");
  if (moreAt != std::string_view::npos) {
    std::string_view more = rest.substr(moreAt + 6);
    if (cutSuffix(more, " more lines like it)") || cutSuffix(more, " more line like it)")) {
      const char* end = more.data() + more.size();
      auto [stop, error] = std::from_chars(more.data(), end, found.more);
      if (error != std::errc() || stop != end) return false;
      rest = rest.substr(0, moreAt);
    }
  }
  std::istringstream head{std::string(rest.substr(kFile.size()))};
  char colon = 0;
  if (!(head >> found.line >> colon >> severity) || colon != ':') return false;
  if (severity != "warning:" && severity != "error:") return false;
  severity.pop_back();
  return true;
}

// The diagnostics as the text report writes them, read back from its lines.
std::vector<foundStruct> foundInText(const std::string& text) {
  std::vector<foundStruct> found;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    foundStruct diagnostic{};
    std::string severity;
    bool read = readReportLine(line, diagnostic, severity);
    EXPECT_TRUE(read) << line;
    if (!read) continue;
    found.push_back(diagnostic);
    EXPECT_EQ(isError(diagnostic.code), severity == "error") << line;
  }
  return found;
}

std::vector<foundStruct> foundInJson(const std::string& text) {
  nlohmann::json document = readJson(text);
  std::vector<foundStruct> found;
  for (const nlohmann::json& d : document["diagnostics"]) {
    found.push_back(
        {d["line"].get<size_t>(), d["code"].get<std::string>(), d["more"].get<size_t>()});
    EXPECT_EQ(isError(d["code"].get<std::string>()), d["severity"] == "error");
  }
  return found;
}

TEST(ScriptCheck, EveryTrapOnItsLine) {
  textReportOptionsStruct options{"script.txt", false, true};
  for (const trapCaseStruct& c : kTrapCases) {
    checkReportStruct report = checkWith(c.script);
    EXPECT_EQ(c.found, foundIn(report)) << c.what;
    EXPECT_EQ(c.found, foundInText(textReport(report, options))) << c.what;
    EXPECT_EQ(c.found, foundInJson(jsonReport(report))) << c.what;
    if (c.hint.empty()) continue;
    bool hinted = false;
    for (const diagnosticStruct& d : report.diagnostics) {
      hinted = hinted || d.message.find(c.hint) != std::string::npos;
    }
    EXPECT_TRUE(hinted) << c.what << ": no message holds " << c.hint;
  }
}

TEST(ScriptCheck, ScriptsWithoutTrapsAreClean) {
  const std::string_view scripts[] = {
      "R(a int, b text)\n1, x\n2, y\n\nS(b text, c int)\nx, 10\n\njoin(R, S)\n",
      "R(a int, b text)\r\n1, x\r\n\r\nS(b text)\r\nx\r\n\r\njoin(R, S)\r\n",
      "Books(isbn text, title text)\n1, Design Patterns (2nd ed)\n\nLoans(isbn text)\n1\n\n"
      "join(Books, Loans)",
      "A directory of staff\n\nR(a int)\n1\n\nS(b int)\n2\n\njoin(R)\njoin(S)\n",
      "R(a int)\nf(x)\n\nS(a int)\nf(x)\n\njoin(R, S, R)\n",
  };
  for (std::string_view script : scripts) {
    checkReportStruct report = checkWith(script);
    EXPECT_EQ(outcomeKind::result, report.outcome) << script;
    EXPECT_EQ(std::vector<foundStruct>{}, foundIn(report)) << script;
  }
}

}  // namespace

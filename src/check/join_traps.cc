#include "check/join_traps.h"

#include <algorithm>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "check/row_traps.h"
#include "check/text_forms.h"

namespace {

// A line holds "join" for one of three reasons: it requests a join, it was meant as a header,
// or it is a note whose words happen to hold "join".
enum class joinLineKind { request, header, comment };

joinLineKind kindOf(std::string_view line) {
  if (looksLikeJoinLine(line)) return joinLineKind::request;
  return looksLikeHeader(line) ? joinLineKind::header : joinLineKind::comment;
}

// The names of a join line as a list for a message; a long list is cut short.
std::string listOfNames(const joinLineStruct& joinLine,
                        const std::vector<std::string_view>& joinVec) {
  constexpr size_t kShown = 3;
  std::string list;
  for (size_t i = 0; i < joinLine.names && i < kShown; ++i) {
    if (i > 0) list += ", ";
    list += quoted(joinVec[joinLine.firstName + i]);
  }
  if (joinLine.names > kShown) list += " and " + std::to_string(joinLine.names - kShown) + " more";
  return list;
}

std::string misreadLineMessage(joinLineKind kind, const joinLineStruct& joinLine,
                               const std::vector<std::string_view>& joinVec) {
  std::string names = listOfNames(joinLine, joinVec);
  bool one = joinLine.names == 1;
  if (kind == joinLineKind::header) {
    std::string_view line = joinLine.text;
    return "this header holds \"join\", so it is read as a join line: relation " +
           quoted(line.substr(0, line.find('('))) + " is not defined, and " + names +
           (one ? " is" : " are") + " added to the join request as " + (one ? "a name" : "names");
  }
  bool bracketed = joinLine.text.find('(') != std::string_view::npos;
  return "this line holds \"join\", so it is read as a join line: it adds " + names +
         " to the join request" +
         (bracketed ? "" : " (without brackets the whole line is the list of names)");
}

// Why a name of a join request that no relation carries may not be what it looks like.
void checkName(std::string_view name, size_t line, std::vector<std::string_view>& codes,
               std::vector<diagnosticStruct>& diagnostics) {
  auto report = [&](std::string_view code, std::string message) {
    if (std::find(codes.begin(), codes.end(), code) != codes.end()) return;
    codes.push_back(code);
    diagnostics.push_back({line, severityKind::warning, code, std::move(message), 0});
  };
  std::string_view core = withoutEdgeBlanks(name);
  if (core.size() != name.size() && !core.empty()) {
    bool leading = isBlankOrTab(name.front());
    char blank = leading ? name.front() : name.back();
    report(kBlankInJoinName,
           "join name " + quoted(name) + (leading ? " starts" : " ends") + " with " +
               (blank == '\t' ? "a tab" : "a blank") + ", which belongs to the name" +
               (leading ? " (one blank after a comma is dropped, the next one is kept)" : ""));
  }
  if (core.find_first_of(" \t") != std::string_view::npos) {
    report(kJoinNamesWithoutComma, quoted(name) +
                                       " is one name: the names of a join request are "
                                       "separated by commas");
  }
}

}  // namespace

std::vector<joinLineStruct> joinLinesOf(const std::vector<std::string_view>& joinVec,
                                        const lineIndexStruct& lines) {
  std::vector<joinLineStruct> joinLines;
  for (size_t i = 0; i < joinVec.size(); ++i) {
    size_t line = lineOf(lines, joinVec[i]);
    if (joinLines.empty() || joinLines.back().line != line) {
      auto offset = static_cast<size_t>(joinVec[i].data() - lines.text.data());
      joinLines.push_back({line, lineAround(lines.text, offset), i, 0});
    }
    ++joinLines.back().names;
  }
  return joinLines;
}

void checkJoinLines(const std::vector<joinLineStruct>& joinLines,
                    const std::vector<std::string_view>& joinVec,
                    const std::vector<int32_t>& tables,
                    std::vector<diagnosticStruct>& diagnostics) {
  for (const joinLineStruct& joinLine : joinLines) {
    joinLineKind kind = kindOf(joinLine.text);
    if (kind != joinLineKind::request) {
      diagnostics.push_back({joinLine.line, severityKind::warning,
                             kind == joinLineKind::header ? kJoinInHeader : kJoinInComment,
                             misreadLineMessage(kind, joinLine, joinVec), 0});
      continue;
    }
    std::vector<std::string_view> codes;
    for (size_t i = joinLine.firstName; i < joinLine.firstName + joinLine.names; ++i) {
      // A name that a relation carries is what it looks like, blanks or not.
      bool found = i < tables.size() && tables[i] >= 0;
      if (!found) checkName(joinVec[i], joinLine.line, codes, diagnostics);
    }
  }
}

namespace {

// A name as it is compared for a suggestion: without blanks or tabs, in ASCII lower case.
std::string foldedName(std::string_view name) {
  std::string folded;
  for (char byte : name) {
    if (isBlankOrTab(byte)) continue;
    folded += byte >= 'A' && byte <= 'Z' ? static_cast<char>(byte - 'A' + 'a') : byte;
  }
  return folded;
}

// Where the join line that a script lacks may have gone: into the rows of a relation, or into
// a header, as "Join(R, S)" defines a relation named Join.
std::string missingJoinLineHint(const std::vector<mainStruct>& mainVec,
                                const std::vector<diagnosticStruct>& diagnostics,
                                const lineIndexStruct& lines) {
  auto rowJoin = std::find_if(diagnostics.begin(), diagnostics.end(),
                              [](const diagnosticStruct& d) { return d.code == kJoinAsRow; });
  if (rowJoin != diagnostics.end()) {
    return "; the join line on line " + std::to_string(rowJoin->line) +
           " is a row of the relation above it";
  }
  for (const mainStruct& relation : mainVec) {
    if (foldedName(relation.name) != "join") continue;
    return "; line " + std::to_string(lineOf(lines, relation.name)) + " defines a relation named " +
           quoted(relation.name) + ", as a join line needs \"join\" in lower case";
  }
  return "";
}

std::string joinStructureMessage(const std::vector<mainStruct>& mainVec,
                                 const std::vector<std::string_view>& joinVec,
                                 const std::vector<diagnosticStruct>& diagnostics,
                                 const lineIndexStruct& lines) {
  std::string outcome = "relmerge writes no result, only its join-structure message";
  if (joinVec.size() == 1) {
    return "the join request names one relation, " + quoted(joinVec[0]) +
           ", and a join needs two: " + outcome;
  }
  return "the script has no join line: " + outcome +
         missingJoinLineHint(mainVec, diagnostics, lines);
}

// The first relation whose name folds as each name does.
std::unordered_map<std::string, size_t> relationsByFoldedName(
    const std::vector<mainStruct>& mainVec) {
  std::unordered_map<std::string, size_t> byFoldedName;
  for (size_t i = 0; i < mainVec.size(); ++i) byFoldedName.emplace(foldedName(mainVec[i].name), i);
  return byFoldedName;
}

}  // namespace

void checkJoinSize(const std::vector<joinLineStruct>& joinLines,
                   std::vector<diagnosticStruct>& diagnostics) {
  diagnostics.push_back({joinLines.empty() ? 1 : joinLines.back().line, severityKind::error,
                         kJoinTooLarge,
                         "the join holds more rows or attributes than relmerge can number: it "
                         "writes no result, and tells in error.log that memory ran out",
                         0});
}

void checkJoinRequest(const std::vector<mainStruct>& mainVec,
                      const std::vector<std::string_view>& joinVec,
                      const std::vector<int32_t>& tables,
                      const std::vector<joinLineStruct>& joinLines, const lineIndexStruct& lines,
                      std::vector<diagnosticStruct>& diagnostics) {
  if (joinVec.size() < 2) {
    size_t line = joinLines.empty() ? 1 : joinLines.back().line;
    diagnostics.push_back({line, severityKind::error, kJoinStructure,
                           joinStructureMessage(mainVec, joinVec, diagnostics, lines), 0});
    return;
  }
  std::unordered_map<std::string, size_t> byFoldedName;
  std::unordered_set<std::string_view> reported;
  for (size_t i = 0; i < joinVec.size(); ++i) {
    std::string_view name = joinVec[i];
    if (tables[i] >= 0 || reported.count(name) > 0) continue;
    std::string message = "no relation is named " + quoted(name) +
                          (reported.empty() ? ", so relmerge writes no result but a message "
                                              "that names it"
                                            : " either");
    reported.insert(name);
    if (byFoldedName.empty()) byFoldedName = relationsByFoldedName(mainVec);
    auto meant = byFoldedName.find(foldedName(name));
    if (meant != byFoldedName.end()) {
      const mainStruct& relation = mainVec[meant->second];
      message += "; did you mean " + quoted(relation.name) + " (line " +
                 std::to_string(lineOf(lines, relation.name)) + ")?";
    }
    diagnostics.push_back(
        {lineOf(lines, name), severityKind::error, kUnknownRelation, std::move(message), 0});
  }
}

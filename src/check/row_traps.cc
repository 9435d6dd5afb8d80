#include "check/row_traps.h"

#include <string>

#include "check/text_forms.h"
#include "relations/items.h"
#include "util/scan.h"

namespace {

bool isBlankLine(std::string_view row) {
  for (char byte : row) {
    if (!isBlankOrTab(byte)) return false;
  }
  return true;
}

// The traps one row holds, as bits of rowTrapKind, with the value that shows each.
struct rowFindingsStruct {
  unsigned kinds = 0;
  std::array<std::string_view, kRowTrapKinds> examples;
};

void note(rowFindingsStruct& findings, rowTrapKind kind, std::string_view example) {
  if ((findings.kinds & (1U << kind)) != 0) return;
  findings.kinds |= 1U << kind;
  findings.examples[kind] = example;
}

// Looks at the blanks around each value of `row`, and answers how many values it holds.
size_t scanValues(std::string_view row, rowFindingsStruct& findings) {
  const char* end = row.data() + row.size();
  const char* valueStart = row.data();
  if (isBlankOrTab(*valueStart)) note(findings, kLeadingBlankRow, row.substr(0, row.find(',')));
  size_t values = 1;
  for (const char* comma = findByte(valueStart, end, ','); comma != end;
       comma = findByte(comma + 1, end, ',')) {
    std::string_view value(valueStart, static_cast<size_t>(comma - valueStart));
    if (!value.empty() && isBlankOrTab(value.back())) note(findings, kTrailingBlankRow, value);
    valueStart = comma + 1;
    if (valueStart != end && *valueStart == ' ') ++valueStart;
    if (valueStart != end && isBlankOrTab(*valueStart)) {
      auto length = static_cast<size_t>(findByte(valueStart, end, ',') - valueStart);
      note(findings, kBlankAfterCommaRow, std::string_view(valueStart, length));
    }
    ++values;
  }
  std::string_view last(valueStart, static_cast<size_t>(end - valueStart));
  if (!last.empty() && isBlankOrTab(last.back())) note(findings, kTrailingBlankRow, last);
  return values;
}

// Answers how many values `row` holds, and finds its traps.
size_t scanRow(std::string_view row, size_t comparedValues, rowFindingsStruct& findings) {
  // A line of the whole-line kinds was not meant as a row: its values say nothing more.
  if (isBlankLine(row)) {
    note(findings, kBlankLineRow, row);
    return countItems(row);
  }
  // Most rows hold no bracket: one search spares them both tests.
  bool bracket = row.find('(') != std::string_view::npos;
  if (bracket && looksLikeJoinLine(row)) {
    note(findings, kJoinLineRow, row);
    return countItems(row);
  }
  if (bracket && looksLikeHeader(row)) {
    note(findings, kHeaderRow, row);
    return countItems(row);
  }
  size_t values = scanValues(row, findings);
  if (values < comparedValues) note(findings, kMissingValueRow, row);
  return values;
}

void addFindings(rowScanStruct& scan, std::string_view row, const rowFindingsStruct& findings) {
  for (size_t kind = 0; kind < kRowTrapKinds; ++kind) {
    if ((findings.kinds & (1U << kind)) == 0) continue;
    rowTrapStruct& trap = scan.traps[kind];
    if (trap.rows++ == 0) {
      trap.firstRow = row;
      trap.example = findings.examples[kind];
    }
  }
}

std::string blankWord(char byte) { return byte == '\t' ? "a tab" : "a blank"; }

std::string missingValueMessage(std::string_view row, const std::string& relation,
                                const comparedValueStruct& compared) {
  size_t values = countItems(row);
  return "this row of " + relation + " holds " + std::to_string(values) +
         (values == 1 ? " value" : " values") + ", but the join compares its value of " +
         quotedAttribute(compared.field) + " (position " + std::to_string(compared.values) +
         "): it matches no row";
}

std::string trapMessage(rowTrapKind kind, const rowTrapStruct& trap, const std::string& relation,
                        const comparedValueStruct& compared) {
  std::string_view value = trap.example;
  std::string bare = quoted(withoutEdgeBlanks(value));
  switch (kind) {
    case kBlankLineRow:
      return "a line of blanks does not end the block of " + relation + ": it is a row of " +
             relation + ", and so is every line after it up to an empty line";
    case kHeaderRow:
      return "this header stands right under the rows of " + relation +
             " with no empty line between: it is a row of " + relation + ", and relation " +
             quoted(value.substr(0, value.find('('))) + " is not defined";
    case kJoinLineRow:
      return "this join line stands right under the rows of " + relation +
             " with no empty line between: it is a row of " + relation + " and requests no join";
    case kLeadingBlankRow:
      return "value " + quoted(value) + " of " + relation + " starts with " +
             blankWord(value.front()) + ", which is part of the value: it does not equal " + bare;
    case kBlankAfterCommaRow:
      return "value " + quoted(value) + " of " + relation + " starts with " +
             blankWord(value.front()) +
             ": one blank after a comma is dropped, what follows it is part of the value, so "
             "it does not equal " +
             bare;
    case kTrailingBlankRow:
      return "value " + quoted(value) + " of " + relation + " ends with " +
             blankWord(value.back()) + ", which is part of the value: it does not equal " + bare;
    default:
      return missingValueMessage(value, relation, compared);
  }
}

std::string_view trapCode(rowTrapKind kind) {
  static constexpr std::array<std::string_view, kRowTrapKinds> kCodes = {
      kBlankLineInBlock, kHeaderAsRow,   kJoinAsRow,           kLeadingBlank,
      kBlankAfterComma,  kTrailingBlank, kMissingComparedValue};
  return kCodes[kind];
}

}  // namespace

bool looksLikeJoinLine(std::string_view line) {
  size_t open = line.find('(');
  return open != std::string_view::npos && withoutEdgeBlanks(line.substr(0, open)) == "join";
}

bool looksLikeHeader(std::string_view line) {
  size_t open = line.find('(');
  if (open == std::string_view::npos) return false;
  std::string_view name = withoutEdgeBlanks(line.substr(0, open));
  std::string_view whole = withoutEdgeBlanks(line);
  if (name.empty() || name.find(',') != std::string_view::npos || whole.back() != ')') {
    return false;
  }
  // Declarations are a name and a type: a value in brackets, such as "f(x)", is not a header.
  bool declarations = true;
  forEachItem(bracketText(line), [&declarations](std::string_view item) {
    declarations = withoutEdgeBlanks(item).find(' ') != std::string_view::npos;
    return declarations;
  });
  return declarations;
}

rowScanStruct scanRows(const mainStruct& relation, size_t comparedValues) {
  rowScanStruct scan;
  size_t fields = relation.fields.size();
  for (std::string_view row : relation.rows) {
    rowFindingsStruct findings;
    size_t values = scanRow(row, comparedValues, findings);
    scan.shorterRows += values < fields ? 1 : 0;
    scan.longerRows += values > fields ? 1 : 0;
    if (findings.kinds != 0) addFindings(scan, row, findings);
  }
  return scan;
}

void reportRowTraps(const mainStruct& relation, const rowScanStruct& scan,
                    const comparedValueStruct& compared, const lineIndexStruct& lines,
                    std::vector<diagnosticStruct>& diagnostics) {
  std::string name;
  for (size_t kind = 0; kind < kRowTrapKinds; ++kind) {
    const rowTrapStruct& trap = scan.traps[kind];
    if (trap.rows == 0) continue;
    // Made only for a finding: most relations of a script of millions have none.
    if (name.empty()) name = quoted(relation.name);
    auto trapKind = static_cast<rowTrapKind>(kind);
    diagnostics.push_back({lineOf(lines, trap.firstRow), severityKind::warning, trapCode(trapKind),
                           trapMessage(trapKind, trap, name, compared), trap.rows - 1});
  }
}

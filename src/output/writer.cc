#include "output/writer.h"

#include <algorithm>
#include <cstring>
#include <set>

#include "relations/items.h"
#include "relations/scan.h"

namespace {

void writeHeading(sinkStruct& sink, const std::vector<fieldStruct>& fields) {
  writeByte(sink, '\n');
  writeText(sink, kResultName);
  writeByte(sink, '(');
  for (size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) writeText(sink, ", ");
    writeText(sink, fields[i].name);
    writeByte(sink, ' ');
    writeText(sink, fields[i].type);
  }
  writeText(sink, ")\n");
}

// Writes the items of a line with ", " between them. A comma already followed by a blank
// stays as it stands, so a line written the usual way goes out in one copy.
void writeAllItems(sinkStruct& sink, std::string_view line) {
  const char* start = line.data();
  const char* end = start + line.size();
  const char* from = start;
  while (from != end) {
    const char* comma = findByte(from, end, ',');
    if (comma == end) break;
    from = comma + 1;
    if (from != end && *from == ' ') continue;
    writeText(sink, std::string_view(start, static_cast<size_t>(from - start)));
    writeByte(sink, ' ');
    start = from;
  }
  writeText(sink, std::string_view(start, static_cast<size_t>(end - start)));
}

void writeRow(sinkStruct& sink, const joinStruct& join, const std::vector<uint32_t>& rowIds) {
  writeAllItems(sink, relationOfLevel(join, 0).rows[rowIds[0]]);
  for (size_t s = 0; s < join.plan.steps.size(); ++s) {
    const stepStruct& step = join.plan.steps[s];
    std::string_view row = relationOfLevel(join, s + 1).rows[rowIds[s + 1]];
    if (step.skippedPositions.empty()) {
      writeText(sink, ", ");
      writeAllItems(sink, row);
      continue;
    }
    forEachCopiedValue(step, row, [&sink](std::string_view value) {
      writeText(sink, ", ");
      writeText(sink, value);
    });
  }
  writeByte(sink, '\n');
}

size_t rowLength(const joinStruct& join, const std::vector<uint32_t>& rowIds) {
  size_t length = countItems(relationOfLevel(join, 0).rows[rowIds[0]]);
  for (size_t s = 0; s < join.plan.steps.size(); ++s) {
    const stepStruct& step = join.plan.steps[s];
    size_t values = countItems(relationOfLevel(join, s + 1).rows[rowIds[s + 1]]);
    const std::vector<int32_t>& skipped = step.skippedPositions;
    // Skipped positions past the row's end take nothing away.
    size_t skippedHere = static_cast<size_t>(
        std::lower_bound(skipped.begin(), skipped.end(), static_cast<int64_t>(values)) -
        skipped.begin());
    length += values - skippedHere;
  }
  return length;
}

bool rowsHaveOneLength(const mainStruct& relation) {
  if (relation.rows.empty()) return true;
  size_t first = countItems(relation.rows[0]);
  for (std::string_view row : relation.rows) {
    if (countItems(row) != first) return false;
  }
  return true;
}

// Rows of one length in every relation make result rows of one length: nothing to trim.
bool resultMayBeRagged(const joinStruct& join) {
  std::set<int32_t> tables{join.plan.firstTable};
  for (const stepStruct& step : join.plan.steps) tables.insert(step.table);
  return std::any_of(tables.begin(), tables.end(), [&join](int32_t table) {
    return !rowsHaveOneLength((*join.mainVec)[static_cast<size_t>(table)]);
  });
}

size_t longestRowLength(const joinStruct& join) {
  size_t longest = 0;
  resultCursorStruct cursor = openResult(join);
  while (nextResultRow(cursor)) longest = std::max(longest, rowLength(join, cursor.rowIds));
  return longest;
}

}  // namespace

void writeResult(sinkStruct& sink, const joinStruct& join) {
  writeHeading(sink, join.plan.fields);
  size_t longest = resultMayBeRagged(join) ? longestRowLength(join) : 0;
  bool trimming = longest > 0;
  resultCursorStruct cursor = openResult(join);
  // Once a write has failed nothing more reaches the file, so the rest is not worked out.
  while (!sink.failed && nextResultRow(cursor)) {
    // Only the leading run of short rows goes; a short row after a longest one stays.
    if (trimming && rowLength(join, cursor.rowIds) < longest) continue;
    trimming = false;
    writeRow(sink, join, cursor.rowIds);
  }
  writeByte(sink, '\n');
}

#include "join/oracle.h"

#include <cstddef>
#include <cstdint>
#include <utility>

#include "relations/items.h"
#include "relations/lookup.h"

namespace {

using oracleRow = std::vector<std::string>;

oracleRow valuesOf(std::string_view line) {
  std::vector<std::string_view> items;
  splitItems(line, items);
  return oracleRow(items.begin(), items.end());
}

std::vector<oracleRow> rowsOf(const mainStruct& relation) {
  std::vector<oracleRow> rows;
  for (std::string_view line : relation.rows) rows.push_back(valuesOf(line));
  return rows;
}

// A row without a value at a compared position matches nothing, not even a row that lacks
// the value too.
bool valuesMatch(const oracleRow& leftRow, int32_t lp, const oracleRow& rightRow, int32_t rp) {
  if (lp < 0 || rp < 0) return false;
  if (static_cast<size_t>(lp) >= leftRow.size()) return false;
  if (static_cast<size_t>(rp) >= rightRow.size()) return false;
  return leftRow[lp] == rightRow[rp];
}

// The positions are looked up again for every pair, and every common attribute is compared,
// even after one has already failed.
bool pairMatches(const std::vector<fieldStruct>& leftFields, const oracleRow& leftRow,
                 const std::vector<fieldStruct>& rightFields, const oracleRow& rightRow,
                 const std::vector<fieldStruct>& sameFields) {
  bool matching = true;
  for (const fieldStruct& s : sameFields) {
    int32_t lp = findField(s, leftFields);
    int32_t rp = findField(s, rightFields);
    if (!valuesMatch(leftRow, lp, rightRow, rp)) matching = false;
  }
  return matching;
}

// The left row whole, then the right row without the first position of each common attribute.
oracleRow naturalRow(const oracleRow& leftRow, const oracleRow& rightRow,
                     const std::vector<fieldStruct>& sameFields,
                     const std::vector<fieldStruct>& rightFields) {
  oracleRow beszur;
  for (const std::string& value : leftRow) beszur.push_back(value);
  for (int32_t e = 0; e < static_cast<int32_t>(rightRow.size()); ++e) {
    if (!isCommonPosition(e, sameFields, rightFields)) beszur.push_back(rightRow[e]);
  }
  return beszur;
}

void naturalJoinStep(oracleRelationStruct& result, const mainStruct& right,
                     const std::vector<fieldStruct>& sameFields) {
  for (const fieldStruct& field : right.fields) {
    if (!hasField(field, result.fields)) result.fields.push_back(field);
  }
  // Every common attribute was in the heading before this step, and findField gives its first
  // position, so lp falls in the part of the heading that the left rows were made for.
  std::vector<oracleRow> rightRows = rowsOf(right);
  std::vector<oracleRow> stepRows;
  for (const oracleRow& leftRow : result.rows) {
    for (const oracleRow& rightRow : rightRows) {
      if (pairMatches(result.fields, leftRow, right.fields, rightRow, sameFields)) {
        stepRows.push_back(naturalRow(leftRow, rightRow, sameFields, right.fields));
      }
    }
  }
  result.rows = std::move(stepRows);
}

void cartesianStep(oracleRelationStruct& result, const mainStruct& right) {
  for (const fieldStruct& field : right.fields) result.fields.push_back(field);
  std::vector<oracleRow> rightRows = rowsOf(right);
  std::vector<oracleRow> stepRows;
  oracleRow besz;
  for (const oracleRow& leftRow : result.rows) {
    for (const oracleRow& rightRow : rightRows) {
      for (const std::string& value : leftRow) besz.push_back(value);
      for (const std::string& value : rightRow) besz.push_back(value);
      stepRows.push_back(besz);
      besz.clear();
    }
  }
  result.rows = std::move(stepRows);
}

void joinStep(oracleRelationStruct& result, const mainStruct& right) {
  std::vector<fieldStruct> sameFields;
  for (const fieldStruct& field : right.fields) {
    if (hasField(field, result.fields)) sameFields.push_back(field);
  }
  if (sameFields.empty()) {
    cartesianStep(result, right);
  } else {
    naturalJoinStep(result, right, sameFields);
  }
}

void dropLeadingShortRows(std::vector<oracleRow>& rows) {
  size_t longest = 0;
  for (const oracleRow& row : rows) {
    if (row.size() > longest) longest = row.size();
  }
  size_t shortRun = 0;
  while (shortRun < rows.size() && rows[shortRun].size() < longest) ++shortRun;
  rows.erase(rows.begin(), rows.begin() + static_cast<std::ptrdiff_t>(shortRun));
}

std::string headingLine(const std::vector<fieldStruct>& fields) {
  std::string line = "result(";
  for (size_t i = 0; i < fields.size(); ++i) {
    line += fields[i].name;
    line += " ";
    line += fields[i].type;
    line += i + 1 < fields.size() ? ", " : ")";
  }
  return line + "\n";
}

std::string rowLine(const oracleRow& row) {
  std::string line;
  for (size_t i = 0; i < row.size(); ++i) {
    if (i > 0) line += ", ";
    line += row[i];
  }
  return line + "\n";
}

}  // namespace

bool oracleJoinWithin(const std::vector<mainStruct>& mainVec,
                      const std::vector<std::string_view>& joinVec, size_t maxRows,
                      oracleRelationStruct& result) {
  // The join of the first two relations starts from the left relation's attributes, copied
  // unchecked, and its rows whole; from there it is the same step as every further one, with
  // the first relation in the place of the result so far.
  const mainStruct& left = mainVec[findTable(joinVec[0], mainVec)];
  result.fields = left.fields;
  result.rows = rowsOf(left);
  for (size_t i = 1; i < joinVec.size(); ++i) {
    joinStep(result, mainVec[findTable(joinVec[i], mainVec)]);
    if (result.rows.size() > maxRows) return false;
  }
  return true;
}

oracleRelationStruct oracleJoin(const std::vector<mainStruct>& mainVec,
                                const std::vector<std::string_view>& joinVec) {
  oracleRelationStruct result;
  oracleJoinWithin(mainVec, joinVec, SIZE_MAX, result);
  return result;
}

bool oracleResultBlockWithin(const std::vector<mainStruct>& mainVec,
                             const std::vector<std::string_view>& joinVec, size_t maxRows,
                             std::string& block) {
  oracleRelationStruct result;
  if (!oracleJoinWithin(mainVec, joinVec, maxRows, result)) return false;
  dropLeadingShortRows(result.rows);
  std::string text = "\n";
  text += headingLine(result.fields);
  for (const oracleRow& row : result.rows) text += rowLine(row);
  block = text + "\n";
  return true;
}

std::string oracleResultBlock(const std::vector<mainStruct>& mainVec,
                              const std::vector<std::string_view>& joinVec) {
  std::string block;
  oracleResultBlockWithin(mainVec, joinVec, SIZE_MAX, block);
  return block;
}

#include "fuzz/expected_output.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "driver/messages.h"
#include "join/oracle.h"
#include "relations/items.h"
#include "relations/lookup.h"
#include "relations/reader.h"

namespace {

std::string echoOf(std::string_view script) {
  std::string echo;
  echo.reserve(script.size() + 1);
  for (size_t i = 0; i < script.size(); ++i) {
    bool crBeforeFeed = script[i] == '\r' && i + 1 < script.size() && script[i + 1] == '\n';
    if (!crBeforeFeed) echo.push_back(script[i]);
  }
  echo.push_back('\n');
  return echo;
}

// What follows the echo when the join cannot run; empty when it can.
std::string refusalOf(const scriptStruct& script) {
  if (script.joinVec.size() < 2) return std::string(kJoinStructureText);
  for (std::string_view name : script.joinVec) {
    if (findTable(name, script.mainVec) < 0) {
      return std::string(kUnknownRelationText) + std::string(name) + "\n";
    }
  }
  return {};
}

void boundResult(const scriptStruct& script, expectedOutputStruct& expected) {
  double rows = 1;
  double rowBytes = 0;
  double headingBytes = 0;
  for (std::string_view name : script.joinVec) {
    const mainStruct& relation =
        script.mainVec[static_cast<size_t>(findTable(name, script.mainVec))];
    rows *= static_cast<double>(relation.rows.size());
    expected.joinWorkBound += rows;
    size_t longest = 0;
    // Every item may gain a blank when it is written, and each row part a ", ".
    for (std::string_view row : relation.rows) {
      longest = std::max(longest, row.size() + countItems(row) + 2);
    }
    rowBytes += static_cast<double>(longest);
    for (const fieldStruct& field : relation.fields) {
      headingBytes += static_cast<double>(field.name.size() + field.type.size() + 3);
    }
  }
  expected.resultBytesBound = rows * (rowBytes + 1) + headingBytes + 16;
}

}  // namespace

expectedOutputStruct expectedOutputOf(std::string_view script, double maxOracleRows) {
  expectedOutputStruct expected;
  expected.text = echoOf(script);
  scriptStruct parsed = readScript(script);
  std::string refusal = refusalOf(parsed);
  if (!refusal.empty()) {
    expected.text += refusal;
    expected.complete = true;
    return expected;
  }
  boundResult(parsed, expected);
  if (expected.joinWorkBound > maxOracleRows) return expected;
  expected.text += oracleResultBlock(parsed.mainVec, parsed.joinVec);
  expected.complete = true;
  return expected;
}

#ifndef RELMERGE_TESTS_FUZZ_EXPECTED_OUTPUT_H_
#define RELMERGE_TESTS_FUZZ_EXPECTED_OUTPUT_H_

#include <string>
#include <string_view>

// The output file a script must give, worked out apart from the join engine and the writer:
// the echo byte by byte, then the fixed text of a refused join or the literal oracle's result
// block over the reader's records.
struct expectedOutputStruct {
  std::string text;       // the whole output; only its echo when `complete` is false
  bool complete = false;  // false when the join is too large for the oracle
  // Upper bounds, as if every pair of rows matched; all 0 when the join is refused. The work
  // counts the rows of every step of the left-to-right fold, which a join whose result is
  // empty may still have to go through.
  double joinWorkBound = 0;
  double resultBytesBound = 0;
};

// Works the result out only when the fold makes at most `maxOracleRows` rows in all.
expectedOutputStruct expectedOutputOf(std::string_view script, double maxOracleRows);

#endif  // RELMERGE_TESTS_FUZZ_EXPECTED_OUTPUT_H_

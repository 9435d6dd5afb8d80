#include "driver/run.h"

#include <algorithm>
#include <atomic>
#include <vector>

#include "driver/log_file.h"
#include "driver/memory_report.h"
#include "driver/messages.h"
#include "join/join.h"
#include "output/echo.h"
#include "output/writer.h"
#include "relations/lookup.h"
#include "relations/reader.h"
#include "util/files.h"
#include "util/parallel.h"
#include "util/random_seed.h"

namespace {

// A message is written in one request and without an allocation, which could fail and leave
// the run with two messages.
void logMessage(logFileStruct& log, std::string_view text, std::string_view path) {
  const std::string_view parts[] = {text, path, "\n"};
  writeLog(log, parts);
}

// The longest message that a run on these paths may write: the room "error.log" holds for it.
size_t longestMessage(std::string_view input, std::string_view output) {
  size_t longest = 0;
  for (std::string_view text : {kMissingInputText, kUnreadableInputText, kLackOfMemoryText}) {
    longest = std::max(longest, text.size() + input.size() + 1);
  }
  for (std::string_view text : {kOutputNotWritableText, kSameFileText}) {
    longest = std::max(longest, text.size() + output.size() + 1);
  }
  return longest;
}

// What became of a run that opened both files.
enum class outcomeKind { kWritten, kUnreadableInput, kTooLarge, kOutputNotWritable };

// The writing of the result, which one worker at a time does for all, keeps more workers than
// this from gaining much, while each costs two buffers and a thread.
constexpr size_t kMostWorkers = 8;

// Reads the input and writes all of the output; the output receives nothing when the input
// cannot be read whole.
outcomeKind produceOutput(int inputFd, int outputFd) {
  size_t workers = std::min(usableProcessors(), kMostWorkers);
  inputTextStruct input = readAll(inputFd, workers);
  if (input.readFailed) {
    closeFile(outputFd);
    return outcomeKind::kUnreadableInput;
  }
  sinkStruct out = fileSink(outputFd);
  bool fits = writeOutputOf(input.text(), out, workers);
  bool flushed = flushSink(out);
  if (!closeFile(outputFd) || !flushed) return outcomeKind::kOutputNotWritable;
  return fits ? outcomeKind::kWritten : outcomeKind::kTooLarge;
}

void logOutcome(logFileStruct& log, outcomeKind outcome, const char* input, const char* output) {
  switch (outcome) {
    case outcomeKind::kWritten:
      return;
    case outcomeKind::kUnreadableInput:
      return logMessage(log, kUnreadableInputText, input);
    case outcomeKind::kTooLarge:
      return logMessage(log, kLackOfMemoryText, input);
    case outcomeKind::kOutputNotWritable:
      return logMessage(log, kOutputNotWritableText, output);
  }
}

// The run once the command line is right: `log` is open but not emptied yet.
void runOnFiles(const char* input, const char* output, logFileStruct& log) {
  int inputFd = openForReading(input);
  if (inputFd < 0) {
    startLog(log, longestMessage(input, output));
    return logMessage(log, kMissingInputText, input);
  }
  // "error.log" may be the input under its own name or through a link: emptying it, or a
  // message written to it, would destroy the input.
  if (isSameOpenFile(inputFd, log.fd)) {
    leaveLog(log);
  } else {
    startLog(log, longestMessage(input, output));
  }
  // Opening the output empties it, so the input must not be the same file.
  bool sameFile = isSameFile(inputFd, output);
  int outputFd = sameFile ? -1 : openForWriting(output);
  if (outputFd < 0) {
    closeFile(inputFd);
    return logMessage(log, sameFile ? kSameFileText : kOutputNotWritableText, output);
  }
  // Named as the output, "error.log" holds the output, whose start a message would overwrite.
  if (isSameOpenFile(outputFd, log.fd)) leaveLog(log);
  prepareLackOfMemoryReport(log.fd, input);
  outcomeKind outcome = produceOutput(inputFd, outputFd);
  withdrawLackOfMemoryReport();
  closeFile(inputFd);
  logOutcome(log, outcome, input, output);
}

// Whether positions can count the relations of `script` and the names of its join list.
bool catalogueWithinLimits(const scriptStruct& script, const joinLimitsStruct& limits) {
  return script.mainVec.size() <= limits.mostPositions &&
         script.joinVec.size() <= limits.mostPositions;
}

// Whether every relation at `tables` can have its rows numbered and its attributes counted.
bool relationsWithinLimits(const std::vector<mainStruct>& mainVec,
                           const std::vector<int32_t>& tables, const joinLimitsStruct& limits) {
  return std::all_of(tables.begin(), tables.end(), [&](int32_t table) {
    const mainStruct& relation = mainVec[static_cast<size_t>(table)];
    return relation.rows.size() <= limits.mostRows &&
           relation.fields.size() <= limits.mostPositions;
  });
}

// What the task after the reading makes ready for the writing of the result.
struct preparedStruct {
  scriptStruct parsed;
  joinStruct join;
  size_t unknown = 0;  // the first name of the join list that no relation has, if any
  bool tooLarge = false;
};

// Looks up the relations of the join list and prepares their join, unless a name is unknown
// or the join is past `limits`.
void prepareResult(preparedStruct& prepared, const joinLimitsStruct& limits, size_t workers) {
  const scriptStruct& parsed = prepared.parsed;
  if (parsed.joinVec.size() < 2) return;
  prepared.tooLarge = !catalogueWithinLimits(parsed, limits);
  if (prepared.tooLarge) return;
  uint64_t seed = randomSeed();
  std::vector<int32_t> tables = findTables(parsed.joinVec, parsed.mainVec, seed);
  prepared.unknown =
      static_cast<size_t>(std::find(tables.begin(), tables.end(), -1) - tables.begin());
  if (prepared.unknown < tables.size()) return;
  prepared.tooLarge = !relationsWithinLimits(parsed.mainVec, tables, limits);
  if (prepared.tooLarge) return;
  prepared.join = prepareJoin(parsed.mainVec, tables, workers, seed);
  // The heading may hold more attributes than any one relation.
  prepared.tooLarge = prepared.join.plan.fields.size() > limits.mostPositions;
}

}  // namespace

bool writeOutputOf(std::string_view script, sinkStruct& out, size_t workers,
                   const joinLimitsStruct& limits) {
  // The pieces of the script are read at once, and the echo, which needs nothing but the
  // script, is written beside them and beside the preparing of the join, which mostly keeps
  // one worker busy; all that follows the echo waits for it. Tasks are handed out in order,
  // so the join, last, waits only for pieces that are read or being read.
  std::vector<size_t> cuts = scriptCuts(script, workers);
  size_t pieces = cuts.size() - 1;
  std::vector<scriptStruct> read(pieces);
  std::atomic<size_t> piecesLeft{pieces};
  preparedStruct prepared;
  forEachTaskInParallel(workers, pieces + 2, [&](size_t /*worker*/, size_t task) {
    if (task < pieces) {
      read[task] = readScript(script.substr(cuts[task], cuts[task + 1] - cuts[task]));
      if (piecesLeft.fetch_sub(1) == 1) piecesLeft.notify_all();
      return;
    }
    if (task == pieces) {
      writeEcho(out, script);
      return;
    }
    for (size_t left = piecesLeft.load(); left != 0; left = piecesLeft.load()) {
      piecesLeft.wait(left);
    }
    prepared.parsed = joinPieces(read);
    prepareResult(prepared, limits, workers);
  });
  const std::vector<std::string_view>& joinVec = prepared.parsed.joinVec;
  if (joinVec.size() < 2) {
    writeText(out, kJoinStructureText);
  } else if (prepared.tooLarge) {
    return false;
  } else if (prepared.unknown < joinVec.size()) {
    writeText(out, kUnknownRelationText);
    writeText(out, joinVec[prepared.unknown]);
    writeByte(out, '\n');
  } else {
    writeResult(out, prepared.join, workers);
  }
  return true;
}

int run(int argc, const char* const* argv) {
  logFileStruct log = openLog();
  if (argc != 3) {
    startLog(log, kUsageText.size());
    writeLog(log, {&kUsageText, 1});
  } else {
    runOnFiles(argv[1], argv[2], log);
  }
  closeLog(log);
  return 0;
}

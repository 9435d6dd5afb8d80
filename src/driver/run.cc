#include "driver/run.h"

#include <string>

#include "driver/files.h"
#include "driver/messages.h"
#include "join/join.h"
#include "output/echo.h"
#include "output/writer.h"
#include "relations/lookup.h"
#include "relations/reader.h"

namespace {

// "error.log" receives at most one message, written whole so that nothing sits in a buffer.
void logMessage(int logFd, std::string_view text, std::string_view path = {},
                bool newline = false) {
  if (logFd < 0) return;
  std::string message(text);
  message.append(path);
  if (newline) message.push_back('\n');
  writeAll(logFd, message.data(), message.size());
}

// Reads the input, writes all of the output; false when the output did not take every byte.
bool produceOutput(int inputFd, int outputFd) {
  inputTextStruct input = readAll(inputFd);
  sinkStruct out = fileSink(outputFd);
  writeOutputOf(input.text(), out);
  bool flushed = flushSink(out);
  return closeFile(outputFd) && flushed;
}

}  // namespace

void writeOutputOf(std::string_view script, sinkStruct& out) {
  writeEcho(out, script);
  scriptStruct parsed = readScript(script);
  if (parsed.joinVec.size() < 2) {
    writeText(out, kJoinStructureText);
    return;
  }
  std::vector<int32_t> tables = findTables(parsed.joinVec, parsed.mainVec);
  for (size_t i = 0; i < tables.size(); ++i) {
    if (tables[i] < 0) {
      writeText(out, kUnknownRelationText);
      writeText(out, parsed.joinVec[i]);
      writeByte(out, '\n');
      return;
    }
  }
  joinStruct join = prepareJoin(parsed.mainVec, tables);
  writeResult(out, join);
}

int run(int argc, const char* const* argv) {
  int logFd = openForWriting("error.log");
  if (argc != 3) {
    logMessage(logFd, kUsageText);
  } else if (int inputFd = openForReading(argv[1]); inputFd < 0) {
    logMessage(logFd, kMissingInputText, argv[1], true);
  } else {
    // Opening the output empties it, so the input must not be the same file.
    bool sameFile = isSameFile(inputFd, argv[2]);
    int outputFd = sameFile ? -1 : openForWriting(argv[2]);
    if (outputFd < 0) {
      logMessage(logFd, sameFile ? kSameFileText : kOutputNotWritableText, argv[2], true);
      closeFile(inputFd);
    } else {
      bool written = produceOutput(inputFd, outputFd);
      closeFile(inputFd);
      if (!written) logMessage(logFd, kOutputNotWritableText, argv[2], true);
    }
  }
  closeFile(logFd);
  return 0;
}

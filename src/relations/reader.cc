#include "relations/reader.h"

#include <algorithm>
#include <bit>
#include <cstdint>

#include "relations/block_shape.h"
#include "relations/items.h"
#include "relations/lines.h"
#include "relations/lookup.h"
#include "util/scan.h"

namespace {

void appendJoinNames(std::string_view line, std::vector<std::string_view>& joinVec) {
  forEachItem(bracketText(line), [&joinVec](std::string_view name) { joinVec.push_back(name); });
}

// Takes the block after a header: every line up to the first line of zero characters is a
// row, whatever it holds, so "join" and "(" mean nothing inside a block.
mainStruct readRelation(std::string_view header, lineCursorStruct& cursor) {
  mainStruct relation;
  relation.rows.base = header.data();
  relation.name = header.substr(0, header.find('('));
  forEachItem(bracketText(header),
              [&relation](std::string_view item) { relation.fields.push_back(attributeOf(item)); });
  blockShapeStruct shape = measureBlock(cursor.rest);
  relation.rows.reserve(shape.rows);
  relation.rowItems = shape.rowItems;
  relation.commasSpaced = shape.commasSpaced;
  size_t used = forEachBlockRow(
      cursor.rest, [&relation](std::string_view row) { relation.rows.push_back(row); });
  cursor = lineCursorStruct{cursor.rest.substr(used)};
  return relation;
}

}  // namespace

scriptStruct readScript(std::string_view text) {
  scriptStruct script;
  lineCursorStruct cursor{text};
  std::string_view line;
  while (nextLine(cursor, line)) {
    // "join" is tested first: a header whose text holds it is a join line.
    if (containsText("join", line)) {
      appendJoinNames(line, script.joinVec);
    } else if (containsText("(", line)) {
      script.mainVec.push_back(readRelation(line, cursor));
    }
  }
  return script;
}

namespace {

constexpr size_t kNoCut = SIZE_MAX;

// The line feed of the first line of zero characters whose line feed lies in [from, to), or
// kNoCut: a line feed right after another, or after a CR right after another; the start of
// the text counts as a line feed. Found 64 bytes at a time rather than line by line, as a
// script may hold millions of lines and only a few empty ones.
size_t firstEmptyLineIn(std::string_view text, size_t from, size_t to) {
  to = std::min(to, text.size());
  if (from >= to) return kNoCut;
  // Two bytes before `from` tell whether the line feed at `from` ends an empty line.
  size_t window = from >= 2 ? from - 2 : 0;
  uint64_t feedsBefore = window == 0 ? uint64_t{1} << 63 : 0;  // a line feed before the text
  uint64_t crsBefore = 0;
  const char* end = text.data() + to;
  for (; window < to; window += kWindowBytes) {
    uint64_t masks[2];
    windowMasks(text.data() + window, end, {'\n', '\r'}, masks);
    uint64_t feeds = masks[0];
    uint64_t crs = masks[1];
    uint64_t feedOneBefore = feeds << 1 | feedsBefore >> 63;
    uint64_t feedTwoBefore = feeds << 2 | feedsBefore >> 62;
    uint64_t crOneBefore = crs << 1 | crsBefore >> 63;
    uint64_t empty = feeds & (feedOneBefore | (crOneBefore & feedTwoBefore));
    if (window < from) empty &= ~lowBits(from - window);
    if (empty != 0) return window + static_cast<size_t>(std::countr_zero(empty));
    feedsBefore = feeds;
    crsBefore = crs;
  }
  return kNoCut;
}

// The first place to cut just past an empty line whose line feed lies in [from, to), or
// kNoCut; lastCutIn the last one.
size_t firstCutIn(std::string_view text, size_t from, size_t to) {
  size_t feed = firstEmptyLineIn(text, from, to);
  return feed != kNoCut && feed + 1 < text.size() ? feed + 1 : kNoCut;
}

size_t lastCutIn(std::string_view text, size_t from, size_t to) {
  size_t last = kNoCut;
  for (size_t cut = firstCutIn(text, from, to); cut != kNoCut; cut = firstCutIn(text, cut, to)) {
    last = cut;
  }
  return last;
}

// Below this a piece costs more to hand to a worker than it saves.
constexpr size_t kPieceBytes = size_t{1} << 20;

}  // namespace

size_t cutNear(std::string_view text, size_t near) {
  near = std::min(near, text.size());
  // The search looks twice as far each round, so that a cut close by is found at once.
  for (size_t reach = 4096;; reach *= 2) {
    size_t after = firstCutIn(text, near, std::min(text.size(), near + reach));
    size_t before = lastCutIn(text, near > reach ? near - reach : 0, near);
    if (after != kNoCut && (before == kNoCut || after - near <= near - before)) return after;
    if (before != kNoCut) return before;
    if (near + reach >= text.size() && reach >= near) return text.size();
  }
}

std::vector<size_t> scriptCuts(std::string_view text, size_t workers) {
  size_t pieces = std::clamp<size_t>(text.size() / kPieceBytes, 1, std::max<size_t>(workers, 1));
  std::vector<size_t> cuts = {0};
  for (size_t piece = 1; piece < pieces; ++piece) {
    size_t cut = cutNear(text, text.size() / pieces * piece);
    if (cut > cuts.back() && cut < text.size()) cuts.push_back(cut);
  }
  cuts.push_back(text.size());
  return cuts;
}

scriptStruct joinPieces(std::vector<scriptStruct>& pieces) {
  scriptStruct script = std::move(pieces[0]);
  for (size_t piece = 1; piece < pieces.size(); ++piece) {
    for (mainStruct& relation : pieces[piece].mainVec) {
      script.mainVec.push_back(std::move(relation));
    }
    script.joinVec.insert(script.joinVec.end(), pieces[piece].joinVec.begin(),
                          pieces[piece].joinVec.end());
  }
  return script;
}

scriptStruct readScriptInPieces(std::string_view script, workerPoolStruct& pool) {
  std::vector<size_t> cuts = scriptCuts(script, poolWorkers(pool));
  std::vector<scriptStruct> pieces(cuts.size() - 1);
  forEachTask(pool, pieces.size(), [&](size_t piece) {
    pieces[piece] = readScript(script.substr(cuts[piece], cuts[piece + 1] - cuts[piece]));
  });
  return joinPieces(pieces);
}

#include "relations/reader.h"

#include <string.h>

#include <algorithm>
#include <cstring>

#include "relations/block_shape.h"
#include "relations/items.h"
#include "relations/lines.h"
#include "relations/lookup.h"
#include "relations/parallel.h"

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

scriptStruct readPiece(std::string_view text) {
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

// Whether the line that ends at the line feed at `feed` holds zero characters: it is empty,
// or holds just the CR that belongs to its end.
bool endsEmptyLine(std::string_view text, size_t feed) {
  if (feed == 0 || text[feed - 1] == '\n') return true;
  return text[feed - 1] == '\r' && (feed == 1 || text[feed - 2] == '\n');
}

constexpr size_t kNoCut = SIZE_MAX;

// The first place to cut past a line feed in [from, to), or kNoCut; lastCutIn the last.
size_t firstCutIn(std::string_view text, size_t from, size_t to) {
  for (size_t at = from; at < to; ++at) {
    const void* feed = std::memchr(text.data() + at, '\n', to - at);
    if (feed == nullptr) return kNoCut;
    at = static_cast<size_t>(static_cast<const char*>(feed) - text.data());
    if (at + 1 < text.size() && endsEmptyLine(text, at)) return at + 1;
  }
  return kNoCut;
}

size_t lastCutIn(std::string_view text, size_t from, size_t to) {
  for (size_t end = to; end > from;) {
    const void* feed = ::memrchr(text.data() + from, '\n', end - from);
    if (feed == nullptr) return kNoCut;
    size_t at = static_cast<size_t>(static_cast<const char*>(feed) - text.data());
    if (at + 1 < text.size() && endsEmptyLine(text, at)) return at + 1;
    end = at;
  }
  return kNoCut;
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

scriptStruct readScript(std::string_view text, size_t workers) {
  size_t pieces = std::clamp<size_t>(text.size() / kPieceBytes, 1, std::max<size_t>(workers, 1));
  std::vector<size_t> cuts = {0};
  for (size_t piece = 1; piece < pieces; ++piece) {
    size_t cut = cutNear(text, text.size() / pieces * piece);
    if (cut > cuts.back() && cut < text.size()) cuts.push_back(cut);
  }
  cuts.push_back(text.size());
  if (cuts.size() == 2) return readPiece(text);
  std::vector<scriptStruct> read(cuts.size() - 1);
  forEachTaskInParallel(workers, read.size(), [&](size_t /*worker*/, size_t piece) {
    read[piece] = readPiece(text.substr(cuts[piece], cuts[piece + 1] - cuts[piece]));
  });
  scriptStruct script = std::move(read[0]);
  for (size_t piece = 1; piece < read.size(); ++piece) {
    for (mainStruct& relation : read[piece].mainVec) script.mainVec.push_back(std::move(relation));
    script.joinVec.insert(script.joinVec.end(), read[piece].joinVec.begin(),
                          read[piece].joinVec.end());
  }
  return script;
}

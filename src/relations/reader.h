#ifndef RELMERGE_RELATIONS_READER_H_
#define RELMERGE_RELATIONS_READER_H_

#include <string_view>
#include <vector>

#include "relations/records.h"
#include "util/worker_pool.h"

// What a script defines: its relations in input order and the names its join lines request.
struct scriptStruct {
  std::vector<mainStruct> mainVec;
  std::vector<std::string_view> joinVec;
};

// Reads every line of `text`. Every name, type and value is a view into `text`, which must
// outlive the result. Nothing is rejected: an odd line yields odd records.
scriptStruct readScript(std::string_view text);

// readScript by the workers of `pool`, each reading pieces of the script cut by scriptCuts
// where it is large enough for that to pay.
scriptStruct readScriptInPieces(std::string_view text, workerPoolStruct& pool);

// Where to cut `text` into pieces for up to `workers` to read at once, each of them a script
// as cutNear says and at least large enough to be worth a worker: the places of the cuts,
// from 0 to text.size().
std::vector<size_t> scriptCuts(std::string_view text, size_t workers);

// The script that the scripts of consecutive pieces make, read one after the other; the
// pieces are left empty.
scriptStruct joinPieces(std::vector<scriptStruct>& pieces);

// Where `text` may be cut so that its two pieces, read one after the other, read as the
// whole does: just past a line of zero characters, which ends any block and starts none. The
// place of that kind nearest to `near`, or text.size() when there is none.
size_t cutNear(std::string_view text, size_t near);

#endif  // RELMERGE_RELATIONS_READER_H_

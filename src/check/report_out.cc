#include "check/report_out.h"

namespace {

constexpr size_t kPieceBytes = size_t{1} << 16;

void takeAll(reportOutStruct& out) {
  if (!out.failed && !out.text.empty() && !out.take(out.text)) out.failed = true;
  out.text.clear();
}

}  // namespace

reportOutStruct reportInto(std::string& target) {
  reportOutStruct out;
  out.take = [&target](std::string_view piece) {
    target.append(piece);
    return true;
  };
  return out;
}

void handOn(reportOutStruct& out) {
  if (out.text.size() >= kPieceBytes) takeAll(out);
}

bool finishReport(reportOutStruct& out) {
  takeAll(out);
  return !out.failed;
}

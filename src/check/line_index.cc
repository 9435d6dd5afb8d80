#include "check/line_index.h"

#include <algorithm>
#include <bit>
#include <cstdint>

#include "util/scan.h"

lineIndexStruct indexLines(std::string_view text) {
  lineIndexStruct index;
  index.text = text;
  index.sampledStarts.push_back(0);
  const char* start = text.data();
  const char* end = start + text.size();
  // Line feeds seen so far; the line after feed number n (from 1) is line n + 1.
  size_t feeds = 0;
  for (size_t window = 0; window < text.size(); window += kWindowBytes) {
    uint64_t mask = windowMask(start + window, end, '\n');
    auto inWindow = static_cast<size_t>(std::popcount(mask));
    // Only a window that completes a sample needs its line feeds one by one.
    if ((feeds % kSampledLines) + inWindow >= kSampledLines) {
      for (uint64_t left = mask; left != 0; left &= left - 1) {
        if (++feeds % kSampledLines == 0) {
          index.sampledStarts.push_back(window + static_cast<size_t>(std::countr_zero(left)) + 1);
        }
      }
    } else {
      feeds += inWindow;
    }
  }
  return index;
}

size_t lineAt(const lineIndexStruct& index, size_t offset) {
  offset = std::min(offset, index.text.size());
  const std::vector<size_t>& starts = index.sampledStarts;
  auto sample = static_cast<size_t>(std::upper_bound(starts.begin(), starts.end(), offset) -
                                    starts.begin() - 1);
  size_t line = sample * kSampledLines + 1;
  const char* at = index.text.data() + starts[sample];
  const char* stop = index.text.data() + offset;
  for (at = findByte(at, stop, '\n'); at != stop; at = findByte(at + 1, stop, '\n')) ++line;
  return line;
}

size_t lineOf(const lineIndexStruct& index, std::string_view view) {
  // Compared as integers, as the view may be empty and stand at the text's very end.
  auto offset =
      reinterpret_cast<uintptr_t>(view.data()) - reinterpret_cast<uintptr_t>(index.text.data());
  return lineAt(index, static_cast<size_t>(offset));
}

std::string_view lineAround(std::string_view text, size_t offset) {
  offset = std::min(offset, text.size());
  size_t before = offset == 0 ? std::string_view::npos : text.rfind('\n', offset - 1);
  size_t start = before == std::string_view::npos ? 0 : before + 1;
  size_t end = text.find('\n', offset);
  if (end == std::string_view::npos) return text.substr(start);
  if (end > start && text[end - 1] == '\r') --end;
  return text.substr(start, end - start);
}

#include "relations/lookup.h"

#include <unordered_map>

#include "util/seeded_hash.h"

bool sameField(const fieldStruct& a, const fieldStruct& b) {
  return a.name == b.name && a.type == b.type;
}

int32_t findTable(std::string_view name, const std::vector<mainStruct>& mainVec) {
  for (size_t i = 0; i < mainVec.size(); ++i) {
    if (mainVec[i].name == name) return static_cast<int32_t>(i);
  }
  return -1;
}

int32_t findField(const fieldStruct& field, const std::vector<fieldStruct>& fields) {
  for (size_t i = 0; i < fields.size(); ++i) {
    if (sameField(fields[i], field)) return static_cast<int32_t>(i);
  }
  return -1;
}

bool hasField(const fieldStruct& field, const std::vector<fieldStruct>& fields) {
  return findField(field, fields) >= 0;
}

bool isCommonPosition(int32_t position, const std::vector<fieldStruct>& sameFields,
                      const std::vector<fieldStruct>& fields) {
  for (const fieldStruct& common : sameFields) {
    if (findField(common, fields) == position) return true;
  }
  return false;
}

bool containsText(std::string_view needle, std::string_view text) {
  return text.find(needle) != std::string_view::npos;
}

std::vector<int32_t> findTables(const std::vector<std::string_view>& names,
                                const std::vector<mainStruct>& mainVec, uint64_t seed) {
  std::unordered_map<std::string_view, int32_t, seededTextHash> firstPosition(0,
                                                                              seededTextHash{seed});
  for (std::string_view name : names) firstPosition.emplace(name, -1);
  size_t unresolved = firstPosition.size();
  for (size_t i = 0; i < mainVec.size() && unresolved > 0; ++i) {
    auto found = firstPosition.find(mainVec[i].name);
    // Only the first relation of a name counts: a later one of the same name stays unseen.
    if (found != firstPosition.end() && found->second < 0) {
      found->second = static_cast<int32_t>(i);
      --unresolved;
    }
  }
  std::vector<int32_t> positions;
  positions.reserve(names.size());
  for (std::string_view name : names) positions.push_back(firstPosition[name]);
  return positions;
}

#ifndef RELMERGE_RELATIONS_LOOKUP_H_
#define RELMERGE_RELATIONS_LOOKUP_H_

#include <cstdint>
#include <string_view>
#include <vector>

#include "relations/records.h"

// Searches run from position 0 upward and the first match wins; texts are equal when their
// bytes are. A position is -1 when nothing was found.

// True when both the names and the types are equal: one attribute, not two.
bool sameField(const fieldStruct& a, const fieldStruct& b);

// Position of the first relation named `name`, or -1.
int32_t findTable(std::string_view name, const std::vector<mainStruct>& mainVec);

// Position of the first attribute with the same name and type as `field`, or -1.
int32_t findField(const fieldStruct& field, const std::vector<fieldStruct>& fields);

// True exactly when findField gives a position.
bool hasField(const fieldStruct& field, const std::vector<fieldStruct>& fields);

// True when findField of some attribute of `sameFields` in `fields` gives exactly `position`.
bool isCommonPosition(int32_t position, const std::vector<fieldStruct>& sameFields,
                      const std::vector<fieldStruct>& fields);

// True when `needle` occurs in `text` as consecutive bytes; the empty needle always does.
bool containsText(std::string_view needle, std::string_view text);

// Positions of the first relations carrying each name, the answers of findTable for every
// name in one pass over the catalogue. The names are hashed under `seed` (util/random_seed.h),
// so that no script can make them all collide.
std::vector<int32_t> findTables(const std::vector<std::string_view>& names,
                                const std::vector<mainStruct>& mainVec, uint64_t seed);

#endif  // RELMERGE_RELATIONS_LOOKUP_H_

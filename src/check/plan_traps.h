#ifndef RELMERGE_CHECK_PLAN_TRAPS_H_
#define RELMERGE_CHECK_PLAN_TRAPS_H_

#include <cstdint>
#include <vector>

#include "check/diagnostic.h"
#include "check/line_index.h"
#include "check/row_traps.h"
#include "join/plan.h"
#include "relations/records.h"

// A relation defined again under a name used before: one finding per name, on the first
// definition that the join never uses.
void checkDuplicateRelations(const std::vector<mainStruct>& mainVec, const lineIndexStruct& lines,
                             std::vector<diagnosticStruct>& diagnostics);

// An attribute of a joined relation that has the name of an attribute of the relations before
// it but another type, so that the two are not common: on the header of the joined relation,
// once per relation. `tables` are the catalogue positions of the join list, all valid.
void checkTypeMismatches(const std::vector<mainStruct>& mainVec, const std::vector<int32_t>& tables,
                         const joinPlanStruct& plan, const lineIndexStruct& lines,
                         std::vector<diagnosticStruct>& diagnostics);

// For each relation of the catalogue, the values a row of it must hold for the join to compare
// all it compares of that row: its own attributes that a natural step compares.
std::vector<comparedValueStruct> comparedValuesOf(const std::vector<mainStruct>& mainVec,
                                                  const std::vector<int32_t>& tables,
                                                  const joinPlanStruct& plan);

#endif  // RELMERGE_CHECK_PLAN_TRAPS_H_

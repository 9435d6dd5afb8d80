#ifndef RELMERGE_TESTS_CHECK_CHECK_WITH_H_
#define RELMERGE_TESTS_CHECK_CHECK_WITH_H_

#include <cstddef>
#include <string_view>

#include "check/script_check.h"
#include "util/worker_pool.h"

// checkScript with a pool of its own of `workers` workers; the report needs the pool no longer.
inline checkReportStruct checkWith(std::string_view script, size_t workers = 1) {
  workerPoolStruct pool(workers);
  return checkScript(script, pool);
}

#endif  // RELMERGE_TESTS_CHECK_CHECK_WITH_H_

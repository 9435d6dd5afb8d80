#ifndef RELMERGE_UTIL_LACK_OF_MEMORY_H_
#define RELMERGE_UTIL_LACK_OF_MEMORY_H_

// Ends the process for lack of memory the way a failed `new` does: through the allocation-
// failure handler that the program installed (std::set_new_handler), the one place where that
// failure is told. Without a handler, or should it return, the process aborts.
[[noreturn]] void failForLackOfMemory();

#endif  // RELMERGE_UTIL_LACK_OF_MEMORY_H_

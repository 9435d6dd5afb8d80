#include "util/lack_of_memory.h"

#include <cstdlib>
#include <new>

void failForLackOfMemory() {
  if (std::new_handler handler = std::get_new_handler()) handler();
  std::abort();
}

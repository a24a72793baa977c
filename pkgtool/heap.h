#ifndef LEAFSWEEP_PKGTOOL_HEAP_H
#define LEAFSWEEP_PKGTOOL_HEAP_H

#include <cstdlib>

// Releases what malloc, realloc or strdup gave, for std::unique_ptr.
struct free_deleter {
  template <typename T>
  void operator()(T* block) const {
    free(block);
  }
};

#endif

#pragma once
// A fuzzer's assertion: it must stop the run in any build, NDEBUG or not.

#include <stdio.h>
#include <stdlib.h>

#define CHECK(condition)                                                     \
  do {                                                                       \
    if (!(condition)) {                                                      \
      fprintf(stderr, "check failed: %s (line %d)\n", #condition, __LINE__); \
      abort();                                                               \
    }                                                                        \
  } while (0)

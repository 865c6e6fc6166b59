#pragma once
// An invariant that does not hold is a crash, with its line, so that libFuzzer keeps the
// input that broke it.
#include <cstdio>
#include <cstdlib>

#define Check(ok)                                                                 \
  do {                                                                            \
    if (!(ok)) {                                                                  \
      std::fprintf(stderr, "invariant broken at line %d: %s\n", __LINE__, #ok);   \
      std::abort();                                                               \
    }                                                                             \
  } while (0)

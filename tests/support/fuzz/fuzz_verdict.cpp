#include "fuzz_verdict.h"

namespace {
int last_verdict = -1;
}

void ReportFuzzVerdict(bool accepted) { last_verdict = accepted ? 1 : 0; }

int TakeFuzzVerdict() {
  const int verdict = last_verdict;
  last_verdict = -1;
  return verdict;
}

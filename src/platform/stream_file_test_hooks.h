#pragma once
// Tests only: makes a step of the streamed writer fail. Counted from the
// moment it is set; 0 clears it.
#include <cstddef>

namespace platform::testing {

// The `n`th write system call (1 = the next one) fails.
void FailStreamWrite(size_t n);
// The next flush to disk, or the next rename, fails.
void FailStreamSync(bool fail);
void FailStreamRename(bool fail);

}  // namespace platform::testing

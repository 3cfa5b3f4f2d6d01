#pragma once
// The program's one diagnostic channel: an event name and two numbers,
// appended as one JSON line to the file named by QUORIX_2PC_EVENT_LOG.
// Callable from any thread; never throws; writes nothing while the variable
// is unset.
#include <cstdint>

void WriteEventLog(const char* name, uint64_t n, uint64_t code) noexcept;

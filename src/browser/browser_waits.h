#pragma once
// Counters of the browser's worker threads, and the waits for them at exit.
#include <atomic>
#include <cstdint>
#include <functional>

namespace quorix_browser {

// Raised while an input injector worker runs.
extern std::atomic<uint32_t> input_worker_threads;
// Raised while a capture or launch worker runs.
extern std::atomic<uint32_t> capture_workers;
extern std::atomic<uint32_t> launch_workers;

// The function the browser overlay calls to close a phone editor it leased.
void SetEditorCloseCallback(std::function<void(uint64_t editor_id)> callback);
void CloseLeasedEditor(uint64_t editor_id);

}  // namespace quorix_browser

// Polls the input worker counter every 5 ms up to `milliseconds`; true when
// no worker is left.
bool WaitForInputWorkerThreads(uint32_t milliseconds);

// Sleeps in 5 ms steps while the browser worker counters are not zero, up to
// `milliseconds`; true only when both reached zero.
bool BrowserShutdownWait(uint32_t milliseconds);

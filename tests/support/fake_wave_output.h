#pragma once
// A scripted sound output for tests: records every call in order, fails the
// next open or write on request, lets the test mark voices done and serves a
// fixed device list.
#include <map>
#include <string>
#include <vector>

#include "platform/wave_output.h"

namespace quorix_test {

class FakeWaveOutput final : public platform::WaveOutput {
 public:
  platform::WaveVoice Open(int32_t device) override;
  bool Write(platform::WaveVoice voice, const uint8_t* data, size_t size) override;
  bool IsDone(platform::WaveVoice voice) override;
  void Reset(platform::WaveVoice voice) override;
  void Close(platform::WaveVoice voice) override;
  std::vector<platform::WaveOutputDevice> OutputDevices() override;

  void MarkDone(platform::WaveVoice voice) { done_[voice] = true; }
  size_t OpenVoices() const { return open_.size(); }

  // Calls as "Open(-1)=1", "Write(1,4410)", "Reset(1)", "Close(1)",
  // "OutputDevices"; a failed open reads "Open(3)=0".
  std::vector<std::string> calls;
  // The bytes of the last successful write.
  std::vector<uint8_t> last_written;
  bool fail_next_open = false;
  bool fail_next_write = false;
  std::vector<platform::WaveOutputDevice> devices;

 private:
  platform::WaveVoice next_voice_ = 1;
  std::map<platform::WaveVoice, bool> open_;
  std::map<platform::WaveVoice, bool> done_;
};

}  // namespace quorix_test

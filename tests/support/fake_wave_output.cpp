#include "support/fake_wave_output.h"

namespace quorix_test {

platform::WaveVoice FakeWaveOutput::Open(int32_t device) {
  platform::WaveVoice voice = platform::kNoWaveVoice;
  if (fail_next_open) {
    fail_next_open = false;
  } else {
    voice = next_voice_++;
    open_[voice] = true;
    done_[voice] = false;
  }
  calls.push_back("Open(" + std::to_string(device) + ")=" + std::to_string(voice));
  return voice;
}

bool FakeWaveOutput::Write(platform::WaveVoice voice, const uint8_t* data, size_t size) {
  calls.push_back("Write(" + std::to_string(voice) + "," + std::to_string(size) + ")");
  if (fail_next_write || !open_.contains(voice)) {
    fail_next_write = false;
    return false;
  }
  last_written.assign(data, data + size);
  return true;
}

bool FakeWaveOutput::IsDone(platform::WaveVoice voice) {
  auto found = done_.find(voice);
  return found == done_.end() || found->second;
}

void FakeWaveOutput::Reset(platform::WaveVoice voice) {
  calls.push_back("Reset(" + std::to_string(voice) + ")");
  done_[voice] = true;
}

void FakeWaveOutput::Close(platform::WaveVoice voice) {
  calls.push_back("Close(" + std::to_string(voice) + ")");
  open_.erase(voice);
  done_.erase(voice);
}

std::vector<platform::WaveOutputDevice> FakeWaveOutput::OutputDevices() {
  calls.push_back("OutputDevices");
  return devices;
}

}  // namespace quorix_test

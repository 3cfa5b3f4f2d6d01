// The UI sound player on a real PulseAudio server of the test's own.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

#include "phone_ui/ui_sound_player.h"
#include "platform/clock.h"
#include "support/pulse_server.h"
#include "support/wave_files.h"

namespace {

using quorix_test::PulseTestServer;
using quorix_test::ScratchDir;

constexpr int32_t kShort = static_cast<int32_t>(UiSoundId::ui_tap);          // 50 ms
constexpr int32_t kLong = static_cast<int32_t>(UiSoundId::call_incoming);    // 2 s

std::vector<int16_t> QuietTone(size_t count) {
  std::vector<int16_t> samples(count);
  for (size_t i = 0; i < count; ++i) samples[i] = static_cast<int16_t>(1000 * std::sin(0.06 * double(i)));
  return samples;
}

// Polls `done` for up to `seconds`; a guard against hangs, not a timing check.
template <typename Predicate>
bool Eventually(Predicate done, int seconds = 10) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

class UiSoundPulseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!PulseTestServer::FindBinary()) GTEST_SKIP() << "no pulseaudio binary on PATH; install pulseaudio";
    std::string why;
    ASSERT_TRUE(server_.Start(&why)) << why;
    quorix_test::WriteBytes(sounds_.path() / "ui_tap.wav", quorix_test::WaveFile(QuietTone(2205)));
    quorix_test::WriteBytes(sounds_.path() / "call_incoming.wav", quorix_test::WaveFile(QuietTone(88200)));
    clock_.Set(1'000'000);
  }

  std::unique_ptr<UiSoundPlayer> MakePlayer(std::string address) {
    platform::PulseWaveOutputOptions options;
    options.server = std::move(address);
    options.cookie_file = server_.cookie_file();
    options.clock = &clock_;
    options.wait_ms = 10000;  // generous: sanitizer builds under full load
    return std::make_unique<UiSoundPlayer>(platform::MakePulseWaveOutput(options), &clock_, sounds_.path());
  }

  std::vector<std::string> SinkInputs() {
    return quorix_test::SinkInputSinkNames(server_).value_or(std::vector<std::string>{"?"});
  }

  ScratchDir server_dir_;
  ScratchDir sounds_;
  PulseTestServer server_{server_dir_.path()};
  platform::ManualClock clock_;
};

TEST_F(UiSoundPulseTest, ListsSinksAndPlaysOnTheChosenOne) {
  auto player = MakePlayer(server_.address());
  const std::vector<platform::WaveOutputDevice> devices = player->OutputDevices();
  ASSERT_EQ(devices.size(), 2u);
  EXPECT_EQ(devices[0].id, 0);
  EXPECT_EQ(devices[0].name, "quorix_test_a");
  EXPECT_EQ(devices[1].id, 1);
  EXPECT_EQ(devices[1].name, "quorix_test_b");

  player->device_id = 1;
  ASSERT_TRUE(player->Play(kLong, false));
  EXPECT_TRUE(Eventually([&] { return SinkInputs() == std::vector<std::string>{"quorix_test_b"}; }));
  player->StopAll();
  EXPECT_TRUE(Eventually([&] { return SinkInputs().empty(); }));

  player->device_id = 5;
  EXPECT_FALSE(player->Play(kLong, false));
  EXPECT_TRUE(std::all_of(player->voices.begin(), player->voices.end(),
                          [](const UiSoundVoice& v) { return v.handle == platform::kNoWaveVoice; }));
}

TEST_F(UiSoundPulseTest, AShortClipFinishesAndFourStreamsAtMost) {
  auto player = MakePlayer(server_.address());
  ASSERT_TRUE(player->Play(kShort, false));
  EXPECT_NE(player->voices[0].handle, platform::kNoWaveVoice);
  EXPECT_TRUE(Eventually([&] {
    player->ReleaseFinishedVoices();
    return player->voices[0].handle == platform::kNoWaveVoice;
  }));
  for (int i = 0; i < 4; ++i) ASSERT_TRUE(player->Play(kLong, false)) << i;
  EXPECT_FALSE(player->Play(kLong, false));
  EXPECT_TRUE(Eventually([&] { return SinkInputs().size() == 4; }));
}

TEST_F(UiSoundPulseTest, LostServerEndsVoicesAndIsRetriedAfterThePause) {
  auto player = MakePlayer(server_.address());
  ASSERT_TRUE(player->Play(kLong, false));
  server_.Stop();
  EXPECT_TRUE(Eventually([&] {
    player->ReleaseFinishedVoices();
    return player->voices[0].handle == platform::kNoWaveVoice;
  }));
  EXPECT_FALSE(player->Play(kShort, false));
  EXPECT_TRUE(player->OutputDevices().empty());

  std::string why;
  ASSERT_TRUE(server_.Start(&why)) << why;
  EXPECT_FALSE(player->Play(kShort, false));  // still within the pause
  clock_.Advance(5000);
  EXPECT_TRUE(player->Play(kShort, false));
  EXPECT_EQ(player->OutputDevices().size(), 2u);
}

TEST_F(UiSoundPulseTest, NoServerAtTheAddress) {
  auto player = MakePlayer("unix:" + (server_dir_.path() / "missing" / "native").string());
  EXPECT_TRUE(player->OutputDevices().empty());
  EXPECT_FALSE(player->Play(kShort, false));
  clock_.Advance(5000);
  EXPECT_FALSE(player->Play(kShort, false));
}

}  // namespace

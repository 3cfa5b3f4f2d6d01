#include "phone_ui/ui_sound_player.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/clock.h"
#include "support/fake_wave_output.h"
#include "support/wave_files.h"

namespace {

using quorix_test::Chunk;
using quorix_test::ChunkDeclaring;
using quorix_test::FakeWaveOutput;
using quorix_test::FormatChunk;
using quorix_test::RiffWave;
using quorix_test::SampleBytes;
using quorix_test::Samples;
using quorix_test::ScratchDir;
using quorix_test::WaveFile;
using quorix_test::WaveFormat;
using Bytes = std::vector<uint8_t>;
using Calls = std::vector<std::string>;

constexpr int32_t kTap = static_cast<int32_t>(UiSoundId::ui_tap);
constexpr int32_t kTyping = static_cast<int32_t>(UiSoundId::typing_key);
constexpr int32_t kMessage = static_cast<int32_t>(UiSoundId::message_received);

Bytes Extract(const Bytes& file) { return ExtractUiSoundClip(file); }

TEST(UiSoundClipTest, AcceptsOnlyMonoSixteenBitPcmAt44100) {
  const Bytes pcm = SampleBytes({1, -2, 300, -32768});
  EXPECT_EQ(Extract(WaveFile({1, -2, 300, -32768})), pcm);
  EXPECT_EQ(Extract(RiffWave({FormatChunk(), Chunk("LIST", Bytes(7, 'x')), Chunk("data", pcm)})), pcm);
  EXPECT_EQ(Extract(RiffWave({FormatChunk(WaveFormat{.fmt_size = 18}), Chunk("data", pcm)})), pcm);
  // An odd data chunk is passed over; the next even one is taken.
  EXPECT_EQ(Extract(RiffWave({FormatChunk(), Chunk("data", Bytes(3, 9)), Chunk("data", pcm)})), pcm);

  struct Bad {
    const char* why;
    Bytes file;
  };
  Bytes bad_riff = WaveFile({1, 2, 3, 4});
  bad_riff[0] = 'X';
  Bytes bad_wave = WaveFile({1, 2, 3, 4});
  bad_wave[8] = 'X';
  Bytes tiny = WaveFile({});
  tiny.resize(43);
  const Bad bad[] = {
      {"stereo", RiffWave({FormatChunk(WaveFormat{.channels = 2}), Chunk("data", pcm)})},
      {"48 kHz", RiffWave({FormatChunk(WaveFormat{.rate = 48000}), Chunk("data", pcm)})},
      {"8-bit", RiffWave({FormatChunk(WaveFormat{.bits = 8}), Chunk("data", pcm)})},
      {"extensible", RiffWave({FormatChunk(WaveFormat{.tag = 0xFFFE, .fmt_size = 40}), Chunk("data", pcm)})},
      {"short fmt", RiffWave({FormatChunk(WaveFormat{.fmt_size = 14}), Chunk("data", pcm)})},
      {"too large", WaveFile(std::vector<int16_t>(100000, 5))},
      {"too small", tiny},
      {"odd data only", RiffWave({FormatChunk(), Chunk("data", Bytes(5, 1))})},
      {"data before fmt", RiffWave({Chunk("data", pcm), FormatChunk()})},
      {"bad RIFF", bad_riff},
      {"bad WAVE", bad_wave},
      {"chunk past the end", RiffWave({FormatChunk(), ChunkDeclaring("data", 64, pcm)})},
      {"size near 4 GiB", RiffWave({FormatChunk(), ChunkDeclaring("LIST", 0xFFFFFFF0u, Bytes(8, 0)),
                                    Chunk("data", pcm)})},
      {"fmt near 4 GiB", RiffWave({ChunkDeclaring("fmt ", 0xFFFFFFFFu, Bytes(16, 0)), Chunk("data", pcm)})},
  };
  for (const Bad& b : bad) EXPECT_TRUE(Extract(b.file).empty()) << b.why;
}

TEST(UiSoundClipTest, GainIsSinglePrecisionAndTruncates) {
  struct Case {
    int32_t volume;
    bool quiet;
    std::vector<int16_t> in, out;
  };
  const Case cases[] = {
      {100, false, {32767, -32768, 3, -1}, {32767, -32768, 3, -1}},
      {150, false, {32767, -32768, 3, -1}, {32767, -32768, 3, -1}},
      {100, true, {32767, -32768, 3, -1}, {11468, -11468, 1, 0}},
      {50, true, {32767, 10000}, {5734, 1750}},
      {37, false, {-32768}, {-12124}},
  };
  for (const Case& c : cases) {
    Bytes bytes = SampleBytes(c.in);
    ScaleUiSoundSamples(bytes, c.volume, c.quiet);
    EXPECT_EQ(Samples(bytes), c.out) << c.volume << (c.quiet ? " quiet" : "");
  }
  Bytes odd = {0x10, 0x27, 0x7F};  // 10000 and a trailing byte
  ScaleUiSoundSamples(odd, 50, false);
  EXPECT_EQ(odd, (Bytes{0x88, 0x13, 0x7F}));
}

class UiSoundPlayerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    clock_.Set(1'000'000);
    for (size_t id = 0; id < kUiSoundCount; ++id) {
      quorix_test::WriteBytes(folder_.path() / (std::string(kUiSoundNames[id]) + ".wav"),
                              WaveFile({static_cast<int16_t>(id + 1), 32767, -32768, 3}));
    }
  }

  UiSoundPlayer& Player() {
    if (!player_) {
      auto output = std::make_unique<FakeWaveOutput>();
      output_ = output.get();
      player_ = std::make_unique<UiSoundPlayer>(std::move(output), &clock_, folder_.path());
    }
    return *player_;
  }

  ScratchDir folder_;
  platform::ManualClock clock_;
  FakeWaveOutput* output_ = nullptr;
  std::unique_ptr<UiSoundPlayer> player_;
};

TEST_F(UiSoundPlayerTest, GatesBeforeAnythingIsOpened) {
  UiSoundPlayer& p = Player();
  p.volume = 0;
  EXPECT_FALSE(p.Play(kTap, false));
  EXPECT_EQ(p.muted_count, 1u);
  EXPECT_FALSE(p.loaded);

  p.volume = 100;
  p.enabled = false;
  EXPECT_FALSE(p.Play(kTap, false));
  EXPECT_EQ(p.request_count, 2u);
  EXPECT_EQ(p.muted_count, 1u);
  EXPECT_FALSE(p.loaded);

  p.enabled = true;
  EXPECT_FALSE(p.Play(-1, false));
  EXPECT_FALSE(p.Play(11, false));
  EXPECT_TRUE(p.loaded);
  EXPECT_TRUE(output_->calls.empty());
  EXPECT_EQ(p.request_count, 4u);

  // device_id reaches the output.
  p.device_id = 1;
  EXPECT_TRUE(p.Play(kTap, false));
  EXPECT_EQ(output_->calls.front(), "Open(1)=1");
  EXPECT_EQ(output_->last_written, SampleBytes({10, 32767, -32768, 3}));
}

TEST_F(UiSoundPlayerTest, MissingFolderIsNotRetried) {
  std::filesystem::remove_all(folder_.path());
  UiSoundPlayer& p = Player();
  EXPECT_FALSE(p.Play(kTap, false));
  EXPECT_TRUE(p.loaded);
  std::filesystem::create_directories(folder_.path());
  quorix_test::WriteBytes(folder_.path() / "ui_tap.wav", WaveFile({1, 2}));
  EXPECT_FALSE(p.Play(kTap, false));
  EXPECT_TRUE(output_->calls.empty());
}

TEST_F(UiSoundPlayerTest, TypingKeyOneIn60MsFourVoicesReleasedOnlyWhenDone) {
  UiSoundPlayer& p = Player();
  EXPECT_TRUE(p.Play(kTyping, false));
  clock_.Advance(59);
  EXPECT_FALSE(p.Play(kTyping, false));
  clock_.Advance(1);
  EXPECT_TRUE(p.Play(kTyping, false));
  EXPECT_EQ(p.last_typing_tick, 1'000'060u);
  EXPECT_TRUE(p.Play(kTap, false));
  EXPECT_TRUE(p.Play(kTap, false));
  EXPECT_EQ(output_->OpenVoices(), 4u);
  output_->calls.clear();
  EXPECT_FALSE(p.Play(kMessage, false));
  EXPECT_TRUE(output_->calls.empty());  // nothing opened, reset or stolen

  output_->MarkDone(p.voices[1].handle);
  EXPECT_TRUE(p.Play(kMessage, true));
  EXPECT_EQ(output_->calls, (Calls{"Close(2)", "Open(-1)=5", "Write(5,8)"}));
  EXPECT_EQ(p.voices[1].handle, 5u);
  EXPECT_EQ(Samples(p.voices[1].samples), (std::vector<int16_t>{1, 11468, -11468, 1}));
  EXPECT_EQ(p.voices[1].header.data, p.voices[1].samples.data());

  output_->calls.clear();
  p.StopAll();
  EXPECT_EQ(output_->calls, (Calls{"Reset(1)", "Close(1)", "Reset(5)", "Close(5)", "Reset(3)", "Close(3)",
                                   "Reset(4)", "Close(4)"}));
  for (const UiSoundVoice& v : p.voices) {
    EXPECT_EQ(v.handle, platform::kNoWaveVoice);
    EXPECT_TRUE(v.samples.empty());
    EXPECT_EQ(v.header.data, nullptr);
  }
}

TEST_F(UiSoundPlayerTest, FailedOpenOrWriteFreesTheSlot) {
  UiSoundPlayer& p = Player();
  output_->fail_next_open = true;
  EXPECT_FALSE(p.Play(kTap, false));
  EXPECT_EQ(p.voices[0].handle, platform::kNoWaveVoice);
  EXPECT_TRUE(p.voices[0].samples.empty());

  output_->fail_next_write = true;
  EXPECT_FALSE(p.Play(kTap, false));
  EXPECT_EQ(output_->calls, (Calls{"Open(-1)=0", "Open(-1)=1", "Write(1,8)", "Reset(1)", "Close(1)"}));
  EXPECT_EQ(p.voices[0].handle, platform::kNoWaveVoice);
  EXPECT_EQ(output_->OpenVoices(), 0u);

  EXPECT_TRUE(p.Play(kTap, false));
  EXPECT_EQ(p.voices[0].handle, 2u);
}

TEST(UiSoundPlayerNoServerTest, NullOutputRefusesAtOnce) {
  ScratchDir folder;
  quorix_test::WriteBytes(folder.path() / "ui_tap.wav", WaveFile({1, 2}));
  UiSoundPlayer p(std::make_unique<platform::NullWaveOutput>(), nullptr, folder.path());
  EXPECT_FALSE(p.Play(kTap, false));
  EXPECT_FALSE(p.clips[kTap].empty());
  EXPECT_TRUE(p.OutputDevices().empty());
}

}  // namespace

// The owner's call audio devices on a private PulseAudio server, and the
// media status line's reading of the worker's audio records.
#include <fcntl.h>
#include <sys/stat.h>

#include <cmath>

#include "owner_fixture.h"
#include "phone_ui/ui_sound_player.h"
#include "platform/audio_endpoints.h"
#include "platform/env.h"
#include "pulse_server.h"
#include "session_owner/call_audio.h"
#include "wave_files.h"

namespace quorix_test {
namespace {

using Events = std::vector<std::pair<uint64_t, uint64_t>>;

platform::PulseWaveOutputOptions ServerOptions(const PulseTestServer& server, std::string address) {
  platform::PulseWaveOutputOptions options;
  options.server = std::move(address);
  options.cookie_file = server.cookie_file();
  options.wait_ms = 10000;  // generous: sanitizer builds under full load
  return options;
}

class OwnerAudioTest : public OwnerTest {
 protected:
  void SetUp() override {
#if defined(__SANITIZE_THREAD__)
    // libpulse's lock-free memory pools are not instrumented; the sound
    // server tests run in the AddressSanitizer build.
    GTEST_SKIP() << "libpulse is left out under ThreadSanitizer";
#endif
    if (!PulseTestServer::FindBinary()) GTEST_SKIP() << "no pulseaudio binary on PATH; install pulseaudio";
    std::string why;
    ASSERT_TRUE(server_.Start(&why)) << why;
    UseServer(server_.address());
    WriteBytes(sound_folder_.path() / "ui_tap.wav", WaveFile(std::vector<int16_t>(2205, 800)));
    ui_sound_test_hooks::SetProcessPlayerParts(platform::MakePulseWaveOutput(ServerOptions(server_, server_.address())),
                                               nullptr, sound_folder_.path());
  }
  void TearDown() override {
    platform::SetAudioEndpointsFactory({});
    UiSoundPlayer::Instance().device_id = platform::kDefaultWaveDevice;
  }

  void UseServer(const std::string& address) {
    platform::SetAudioEndpointsFactory(
        [this, address] { return platform::MakePulseAudioEndpoints(ServerOptions(server_, address)); });
  }
  Events Logged(const std::string& name) {
    Events events;
    for (const LoggedEvent& e : log_.Events(name)) events.emplace_back(e.n, e.code);
    return events;
  }
  std::string Env(const char* name) { return platform::env::Get(name).value_or("<unset>"); }

  ScratchDir server_dir_;
  ScratchDir sound_folder_;
  PulseTestServer server_{server_dir_.path()};
};

TEST_F(OwnerAudioTest, ListsSelectsAndRoutesTheChosenSpeaker) {
  ASSERT_TRUE(Create());
  const auto mics = owner_->GetAudioDevices(true);
  const auto speakers = owner_->GetAudioDevices(false);
  EXPECT_EQ(mics.names, (std::vector<std::u16string>{u"QuorixMicA", u"QuorixMicB"}));
  EXPECT_EQ(speakers.names, (std::vector<std::u16string>{u"QuorixTestA", u"QuorixTestB"}));
  EXPECT_EQ(mics.selected, 0);
  EXPECT_EQ(speakers.revision, 2u);
  EXPECT_EQ(Logged("BROWSER_OUTPUT_SELECTION"), (Events{{1, 1}}));

  ASSERT_TRUE(owner_->SelectAudioDevice(true, 1, 2));
  ASSERT_TRUE(owner_->SelectAudioDevice(false, 1, 2));
  EXPECT_EQ(Env("QUORIX_C1B_CAPTURE_ID"), "quorix_mic_b");
  EXPECT_EQ(Env("QUORIX_C1B_RENDER_ID"), "quorix_test_b");
  EXPECT_EQ(Env("QUORIX_AUDIO_SELECTION_GENERATION"), "2");
  EXPECT_EQ(Env("QUORIX_BROWSER_RENDER_ID"), "quorix_test_b");
  EXPECT_EQ(Logged("AUDIO_SELECTION_PREPARED"), (Events{{1, 0}, {2, 0}}));
  EXPECT_EQ(Logged("BROWSER_OUTPUT_SELECTION"), (Events{{1, 1}, {2, 1}}));
  ASSERT_TRUE(UiSoundPlayer::Instance().Play(static_cast<int32_t>(UiSoundId::ui_tap), false));
  // No tick runs, so the drained stream stays until it is looked at.
  EXPECT_EQ(SinkInputSinkNames(server_), (std::vector<std::string>{"quorix_test_b"}));

  // The same choice again: same generation, nothing new for the browser.
  ASSERT_TRUE(owner_->SelectAudioDevice(false, 1, 2));
  EXPECT_EQ(Env("QUORIX_AUDIO_SELECTION_GENERATION"), "2");
  EXPECT_EQ(Logged("AUDIO_SELECTION_PREPARED").back(), (std::pair<uint64_t, uint64_t>{2, 0}));
  EXPECT_EQ(Logged("BROWSER_OUTPUT_SELECTION").size(), 2u);
}

TEST_F(OwnerAudioTest, RefusalsChangeNothing) {
  ASSERT_TRUE(Create());
  struct Case {
    const char* name;
    bool capture;
    int32_t index;
    uint64_t revision;
  } cases[] = {{"stale revision", false, 1, 1}, {"index past the end", false, 2, 2}, {"negative index", true, -1, 2}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_FALSE(owner_->SelectAudioDevice(c.capture, c.index, c.revision));
    EXPECT_EQ(owner_->GetAudioDevices(c.capture).selected, 0);
  }
  EXPECT_EQ(log_.Count("AUDIO_SELECTION_PREPARED"), 0u);
  ASSERT_TRUE(owner_->RefreshAudioDevices());
  EXPECT_EQ(owner_->GetAudioDevices(false).revision, 4u);
  call_.state = CallSession::kIncoming;  // a ringing call: not idle
  EXPECT_FALSE(owner_->SelectAudioDevice(false, 1, 4));
  EXPECT_FALSE(owner_->RefreshAudioDevices());
  EXPECT_EQ(owner_->GetAudioDevices(false).revision, 4u);
  call_.state = CallSession::kIdle;
}

TEST_F(OwnerAudioTest, VanishedSpeakerIsCaughtByRefreshOrByTheCheck) {
  ASSERT_TRUE(Create());
  ASSERT_TRUE(owner_->SelectAudioDevice(false, 1, 2));
  ASSERT_TRUE(server_.UnloadModuleWith("sink_name=quorix_test_b"));
  // Unplugged without a refresh: the check at use refuses.
  EXPECT_FALSE(owner_->SelectAudioDevice(true, 1, 2));
  EXPECT_EQ(Logged("AUDIO_SELECTION_REJECTED"), (Events{{2, 0}}));
  EXPECT_EQ(StatusText(), u"選択した音声デバイスが利用できません。接続を確認して選び直してください");

  ASSERT_TRUE(owner_->RefreshAudioDevices());
  EXPECT_EQ(owner_->GetAudioDevices(false).names, (std::vector<std::u16string>{u"QuorixTestA"}));
  EXPECT_EQ(owner_->GetAudioDevices(false).selected, -1);
  EXPECT_EQ(owner_->GetAudioDevices(true).selected, 1);
  EXPECT_EQ(StatusText(), u"選択していた音声デバイスがありません。使用する機器を選んでください");
  EXPECT_FALSE(owner_->SelectAudioDevice(true, 0, 4));
  EXPECT_EQ(Logged("AUDIO_SELECTION_REJECTED").back(), (std::pair<uint64_t, uint64_t>{1, 0}));

  // Plugged in again, it is listed once more after a refresh.
  ASSERT_TRUE(server_.LoadModule("module-null-sink",
                                 "sink_name=quorix_test_b sink_properties=device.description=QuorixTestB"));
  ASSERT_TRUE(owner_->RefreshAudioDevices());
  EXPECT_EQ(owner_->GetAudioDevices(false).names.size(), 2u);
}

TEST_F(OwnerAudioTest, FailingVariableWriteAndNoServer) {
  ASSERT_TRUE(Create());
  platform::env::SetWriteFaultForTesting(
      [](platform::env::Layer, std::string_view name) { return name != "QUORIX_C1B_RENDER_ID"; });
  EXPECT_FALSE(owner_->SelectAudioDevice(false, 1, 2));
  platform::env::SetWriteFaultForTesting({});
  EXPECT_EQ(Logged("AUDIO_SELECTION_REJECTED"), (Events{{3, 0}}));
  EXPECT_EQ(StatusText(), u"音声デバイスの設定を適用できませんでした");

  UseServer("unix:" + (server_dir_.path() / "nobody-listens").string());
  ASSERT_TRUE(owner_->RefreshAudioDevices());
  EXPECT_TRUE(owner_->GetAudioDevices(true).names.empty());
  EXPECT_TRUE(owner_->GetAudioDevices(false).names.empty());
  EXPECT_EQ(owner_->GetAudioDevices(false).selected, -1);
  EXPECT_EQ(Env("QUORIX_BROWSER_RENDER_ID"), "<unset>");
}

// The worker's records, newest last.
std::string Line(const std::string& event, int64_t tick, const std::string& fields) {
  return R"({"event":")" + event + R"(","tick_ms":)" + std::to_string(tick) + fields + "}\n";
}

TEST(CallAudioLinesTest, VerdictFromTheNewestRecordsSinceTheCallBegan) {
  const std::string stats = Line("stats", 100, R"(,"packets_sent":12.7,"packets_received":-3,"source_level":0.5)");
  struct Case {
    const char* name;
    std::string text;
    bool cut;
    const char16_t* expected;  // null: no complete line
  } cases[] = {
      {"clipping", stats + Line("pcm_summary", 100, R"(,"pcm_rms":0.2,"pcm_clip_fraction":0.02)"), false,
       u"音声パケット 送信=12 受信=0 | マイク入力が音割れしています"},
      {"too quiet", stats + Line("pcm_summary", 100, R"(,"pcm_rms":0.00005,"pcm_clip_fraction":0)"), false,
       u"音声パケット 送信=12 受信=0 | マイク信号が微小です。発話中なら入力先を確認"},
      {"older than the call", Line("stats", 99, R"(,"packets_sent":5,"source_level":0.99)"), false,
       u"音声パケット 送信=0 受信=0 | 相手に声の到達を確認してください"},
      {"newest wins", Line("stats", 100, R"(,"source_level":0.1)") + Line("stats", 150, R"(,"source_level":0.99)"),
       false, u"音声パケット 送信=0 受信=0 | マイク入力レベルが高すぎます"},
      {"huge count", Line("stats", 100, R"(,"packets_sent":1e300)"), false,
       u"音声パケット 送信=9007199254740992 受信=0 | 相手に声の到達を確認してください"},
      {"no final line feed", R"({"event":"stats","tick_ms":100})", false, nullptr},
      {"only a cut line", R"(ent":"stats"})" "\n", true, nullptr},
      {"cut line skipped", R"(ent":"stats","tick_ms":100,"source_level":0.99})" "\n" + stats, true,
       u"音声パケット 送信=12 受信=0 | 相手に声の到達を確認してください"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const two_pc::CallAudioReading reading = two_pc::ReadCallAudioLines(c.text, c.cut, 100);
    ASSERT_EQ(reading.any_complete_line, c.expected != nullptr);
    if (c.expected != nullptr) {
      EXPECT_EQ(two_pc::DescribeCallAudio(reading), c.expected);
    }
  }
}

TEST(CallAudioFilesTest, NewestRegularFileAndItsTail) {
  TempDir dir;
  auto write = [&](const std::string& name, const std::string& text, int64_t mtime_ns) {
    WriteFile(dir.path() / name, text);
    const timespec times[2] = {{0, UTIME_OMIT}, {mtime_ns / 1000000000, mtime_ns % 1000000000}};
    ASSERT_EQ(utimensat(AT_FDCWD, (dir.path() / name).c_str(), times, 0), 0);
  };
  write("audio.1.jsonl", "old\n", 5'000'000'001);
  write("audio.2.jsonl", "tie-a\n", 5'000'000'002);
  write("audio.3.jsonl", "tie-b\n", 5'000'000'002);
  write("audio.9.json", "not ours\n", 9'000'000'000);
  std::filesystem::create_directory(dir.path() / "audio.d.jsonl");
  ASSERT_EQ(mkfifo((dir.path() / "audio.x.jsonl").c_str(), 0600), 0);
  const auto newest = two_pc::NewestCallAudioFile(dir.path());
  ASSERT_TRUE(newest.has_value());
  EXPECT_EQ(newest->filename(), "audio.3.jsonl");
  bool cut = true;
  EXPECT_EQ(two_pc::ReadCallAudioTail(*newest, &cut), "tie-b\n");
  EXPECT_FALSE(cut);
  // A FIFO is never read, and never blocks the caller.
  EXPECT_FALSE(two_pc::ReadCallAudioTail(dir.path() / "audio.x.jsonl", &cut).has_value());

  struct Case {
    const char* name;
    std::string text;
    bool cut;
  } cases[] = {{"whole line at the window's start", std::string(10, 'x') + "\n" + std::string(65536, 'y'), false},
               {"window starts inside a line", std::string(10, 'x') + std::string(65536, 'y'), true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteFile(dir.path() / "big", c.text);
    const auto tail = two_pc::ReadCallAudioTail(dir.path() / "big", &cut);
    ASSERT_TRUE(tail.has_value());
    EXPECT_EQ(tail->size(), 65536u);
    EXPECT_EQ(cut, c.cut);
  }
}

}  // namespace
}  // namespace quorix_test

namespace quorix_test {
namespace {

TEST_F(OwnerAudioTest, PanelSpeakerChoicePublishesTheBrowserOutputBeforeApplying) {
  ASSERT_TRUE(Create(false));
  const platform::WindowHandle speakers = Control(9);
  ASSERT_EQ(platform::ui::SendMessage(speakers, platform::ui::kCbSetCurSel, 1, 0), 1);
  auto command = [&](uint32_t code) {
    platform::ui::SendMessage(owner_->window_handle(), platform::ui::kWmCommand,
                              two_pc::Window::kSpeakerListId | (static_cast<uintptr_t>(code) << 16), 0);
  };
  const size_t events = log_.Events().size();
  for (const uint32_t code : {platform::ui::kCbnDropDown, platform::ui::kCbnCloseUp}) command(code);
  EXPECT_EQ(log_.Events().size(), events);  // opening and closing the list does nothing
  command(platform::ui::kCbnSelChange);
  std::vector<std::string> names;
  for (const LoggedEvent& e : log_.Events()) {
    if (e.event == "BROWSER_OUTPUT_SELECTION" || e.event == "AUDIO_SELECTION_PREPARED") names.push_back(e.event);
  }
  ASSERT_GE(names.size(), 2u);
  EXPECT_EQ(std::vector<std::string>(names.end() - 2, names.end()),
            (std::vector<std::string>{"BROWSER_OUTPUT_SELECTION", "AUDIO_SELECTION_PREPARED"}));
  EXPECT_EQ(Env("QUORIX_C1B_RENDER_ID"), "quorix_test_b");
  EXPECT_EQ(StatusText(), u"マイクとスピーカーを選択しました");
}

}  // namespace
}  // namespace quorix_test

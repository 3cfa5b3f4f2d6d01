#include "dump_native_views.h"

#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "phone_ui/canvas.h"
#include "phone_ui/native_kit_test_hooks.h"
#include "platform/png_codec.h"
#include "support/phone_fixture.h"

namespace {

using quorix_test::PhoneFixture;

ChatSnapshot DemoSnapshot() {
  ChatSnapshot snapshot;
  snapshot.self_id = "me";
  snapshot.friends = {{"hana.sato", "佐藤 花"}, {"kenji_t", "Kenji Tanaka"}, {"yui-m", "松本 ゆい"},
                      {"alex.k", "Alex Kim"}};
  snapshot.conversations = {{"hana.sato", "今夜また話そう！", 12},
                            {"kenji_t", "See you at the club tonight", 3},
                            {"yui-m", "写真ありがとう！", 1},
                            {"alex.k", "ok", 0}};
  return snapshot;
}

std::vector<ChatMessage> SevenMessages() {
  const char* texts[7] = {
      "おはよう！", "Morning! Are you coming tonight?", "うん、9時ごろに行くね。ワールドはいつものところ？",
      "Yes, the usual place. I'll send an invite when I'm in.", "𠮷野家の前で待ってるね、楽しみにしてる",
      "This one is a very long message that goes on and on well past two lines of text",
      "届かなかったメッセージ"};
  std::vector<ChatMessage> messages;
  for (int k = 0; k < 7; ++k) {
    const bool mine = k % 2 == 1;
    messages.push_back({"m" + std::to_string(k), mine ? "me" : "hana.sato", mine ? "hana.sato" : "me", texts[k],
                        1740000000.0 + k, k == 6});
  }
  return messages;
}

void SignedInWithDemo(PhoneFixture& f, uint32_t screen) {
  f.SignIn(3);
  f.owner.own_user_id = "quorix.user";
  f.owner.friend_presence["hana.sato"] = 2;
  f.owner.friend_presence["kenji_t"] = 1;
  f.ui.native_screen = screen;
}

void ThirteenFriends(PhoneFixture& f, uint32_t screen, uint64_t page) {
  SignedInWithDemo(f, screen);
  f.Load(PhoneFixture::Snapshot(13));
  f.owner.friend_presence["friend00"] = 2;
  f.owner.friend_presence["friend12"] = 2;
  f.ui.native_list_page = page;
}

void Conversation(PhoneFixture& f, uint64_t page) {
  SignedInWithDemo(f, 4);
  f.Load(DemoSnapshot());
  f.OpenConversation("hana.sato", SevenMessages());
  f.ui.live_page_index = page;
}

}  // namespace

const std::vector<NativeView>& NativeDumpViews() {
  static const std::vector<NativeView> views = {
      {"signin_idle", [](PhoneFixture&) {}},
      {"signin_connecting", [](PhoneFixture& f) { f.SignOut(1); }},
      {"signin_error",
       [](PhoneFixture& f) {
         f.SignOut(5);
         f.ui.keyboard.id = u"quorix.user";
       }},
      {"signin_keyboard_id",
       [](PhoneFixture& f) {
         f.ui.keyboard_open = 1;
         f.ui.keyboard.active_field = kFieldId;
         f.ui.keyboard.id = u"quorix.us";
       }},
      {"signin_keyboard_password",
       [](PhoneFixture& f) {
         f.ui.keyboard_open = 1;
         f.ui.keyboard.active_field = kFieldPassword;
         f.ui.keyboard.id = u"quorix.user";
         f.ui.keyboard.password = u"secret";
       }},
      {"home",
       [](PhoneFixture& f) {
         SignedInWithDemo(f, 0);
         f.Load(DemoSnapshot());
       }},
      {"home_empty", [](PhoneFixture& f) { SignedInWithDemo(f, 0); }},
      {"talks_loading",
       [](PhoneFixture& f) {
         SignedInWithDemo(f, 1);
         f.ui.list_fetch_started = 1;
       }},
      {"talks_failed",
       [](PhoneFixture& f) {
         SignedInWithDemo(f, 1);
         f.ui.list_fetch_unavailable = 1;
       }},
      {"talks_empty", [](PhoneFixture& f) { SignedInWithDemo(f, 1); }},
      {"talks_page_0", [](PhoneFixture& f) { ThirteenFriends(f, 1, 0); }},
      {"talks_page_2", [](PhoneFixture& f) { ThirteenFriends(f, 1, 2); }},
      {"friends_loading",
       [](PhoneFixture& f) {
         SignedInWithDemo(f, 2);
         f.ui.list_fetch_started = 1;
       }},
      {"friends_failed",
       [](PhoneFixture& f) {
         SignedInWithDemo(f, 2);
         f.ui.list_fetch_unavailable = 1;
       }},
      {"friends_empty", [](PhoneFixture& f) { SignedInWithDemo(f, 2); }},
      {"friends_page_0", [](PhoneFixture& f) { ThirteenFriends(f, 2, 0); }},
      {"friends_page_2", [](PhoneFixture& f) { ThirteenFriends(f, 2, 2); }},
      {"conversation_empty",
       [](PhoneFixture& f) {
         Conversation(f, 0);
         f.ui.live_page_list.clear();
       }},
      {"conversation_loading",
       [](PhoneFixture& f) {
         Conversation(f, 0);
         f.ui.live_page_list.clear();
         f.ui.history_loaded = 0;
       }},
      {"conversation_failed",
       [](PhoneFixture& f) {
         Conversation(f, 0);
         f.ui.live_page_list.clear();
         f.ui.history_loaded = 0;
         f.ui.history_failed = 1;
       }},
      {"conversation_page_0", [](PhoneFixture& f) { Conversation(f, 0); }},
      {"conversation_page_1", [](PhoneFixture& f) { Conversation(f, 1); }},
      {"conversation_sending",
       [](PhoneFixture& f) {
         Conversation(f, 0);
         f.ui.keyboard.message = u"すぐ行くね";
         f.ui.send_in_flight = 1;
       }},
      {"conversation_uncertain",
       [](PhoneFixture& f) {
         Conversation(f, 0);
         f.ui.send_outcome_uncertain = 1;
       }},
      {"conversation_no_calls",
       [](PhoneFixture& f) {
         Conversation(f, 0);
         f.SignIn(4);
       }},
  };
  return views;
}

namespace {

std::vector<test_support::RecordedTextDraw>* g_collected_draws = nullptr;

constexpr uint32_t kSheetColumns = 7;
constexpr uint32_t kThumbWidth = kCanvasWidth / 2;
constexpr uint32_t kThumbHeight = kCanvasHeight / 2;

// The 2 × 2 average of `frame` at (column, row) of the sheet, over grey.
void PutThumbnail(std::vector<uint8_t>& sheet, uint32_t sheet_width, uint32_t column, uint32_t row,
                  const FrameBuffer& frame) {
  for (uint32_t y = 0; y < kThumbHeight; ++y) {
    for (uint32_t x = 0; x < kThumbWidth; ++x) {
      uint8_t* out = sheet.data() + ((size_t{row} * kThumbHeight + y) * sheet_width + column * kThumbWidth + x) * 4;
      uint32_t sum[4] = {};
      for (uint32_t k = 0; k < 4; ++k) {
        const uint8_t* in = frame.data() + (size_t{y * 2 + k / 2} * kCanvasWidth + x * 2 + k % 2) * 4;
        for (int c = 0; c < 4; ++c) sum[c] += in[c];
      }
      const uint32_t alpha = sum[3] / 4;
      for (int c = 0; c < 3; ++c) out[c] = static_cast<uint8_t>((sum[c] / 4 * alpha + 128 * (255 - alpha)) / 255);
      out[3] = 255;
    }
  }
}

}  // namespace

void CollectDumpDraws(std::vector<test_support::RecordedTextDraw>* draws) { g_collected_draws = draws; }

quorix_test::PhoneText DumpText() {
  return g_collected_draws != nullptr ? quorix_test::PhoneText::kEmpty : quorix_test::PhoneText::kPango;
}

void NoteDumpDraws(quorix_test::PhoneFixture& fixture) {
  if (g_collected_draws == nullptr) return;
  const std::vector<test_support::RecordedTextDraw>& draws = fixture.Draws();
  g_collected_draws->insert(g_collected_draws->end(), draws.begin(), draws.end());
}

int WriteDumpPicture(const std::filesystem::path& file, uint32_t width, uint32_t height,
                     std::span<const uint8_t> rgba) {
  if (g_collected_draws != nullptr) return 0;
  if (platform::WritePngFile(file, width, height, rgba) == platform::PngStatus::kOk) return 0;
  std::cerr << "cannot write " << file.string() << "\n";
  return 1;
}

int DumpNativeViews(const std::filesystem::path& folder) {
#ifdef QUORIX_ASSET_FOLDER
  native_kit_test_hooks::SetAppIconFolder(QUORIX_ASSET_FOLDER);
#endif
  int failures = 0;
  const auto write = [&](const std::string& name, uint32_t width, uint32_t height, std::span<const uint8_t> bytes) {
    failures += WriteDumpPicture(folder / name, width, height, bytes);
  };
  const std::vector<NativeView>& views = NativeDumpViews();
  const uint32_t rows = static_cast<uint32_t>((views.size() + kSheetColumns - 1) / kSheetColumns);
  const uint32_t sheet_width = kSheetColumns * kThumbWidth;
  for (int variant = 0; variant < 4; ++variant) {
    const bool dark = variant >= 2;
    const bool english = variant % 2 == 1;
    const std::string prefix = std::string("native_") + (dark ? "dark" : "light") + (english ? "_en_" : "_ja_");
    std::vector<uint8_t> sheet(size_t{sheet_width} * rows * kThumbHeight * 4, 0x60);
    for (size_t v = 0; v < views.size(); ++v) {
      PhoneFixture fixture(true, DumpText());
      fixture.SetTheme(dark, english);
      views[v].setup(fixture);
      const FrameBuffer frame = fixture.ui.RenderPhoneFrame();
      NoteDumpDraws(fixture);
      write(prefix + views[v].name + ".png", kCanvasWidth, kCanvasHeight, frame.bytes());
      PutThumbnail(sheet, sheet_width, static_cast<uint32_t>(v % kSheetColumns), static_cast<uint32_t>(v / kSheetColumns),
                   frame);
    }
    write(prefix + "contact_sheet.png", sheet_width, rows * kThumbHeight, sheet);
  }
  return failures;
}

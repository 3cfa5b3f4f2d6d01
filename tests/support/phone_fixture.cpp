#include "support/phone_fixture.h"

#include <gtest/gtest.h>

#include "phone_ui/canvas_text.h"
#include "phone_ui/launcher.h"
#include "platform/text_rasterizer.h"

namespace quorix_test {

PhoneFixture::PhoneFixture(bool with_settings, PhoneText text) {
  clock.local = {2025, 3, 3, 9, 5, 0, 0};
  clock.utc = clock.local;
  platform::SetClockForTesting(&clock);
  UseText(text);
  ui.AttachCallSession(&call);
  ui.AttachOwner(&owner);
  ui.Initialize();
  if (with_settings) {
    EXPECT_TRUE(settings.Load(root.path().string()));
    ui.AttachSettings(&settings);
  }
}

PhoneFixture::~PhoneFixture() {
  fake_.reset();
  ResetTextRasterContextForTesting();
  platform::SetClockForTesting(nullptr);
}

void PhoneFixture::SignIn(uint32_t code) {
  owner.status.code = code;
  owner.status.signed_in = code == 2 || code == 3 || code == 4 || code == 7 ? 1 : 0;
  owner.status.call_ready = code == 3 ? 1 : 0;
  ++owner.status.revision;
}

void PhoneFixture::SignOut(uint32_t code) {
  owner.status = {.code = code, .revision = owner.status.revision + 1};
}

ChatSnapshot PhoneFixture::Snapshot(size_t n) {
  ChatSnapshot snapshot;
  snapshot.self_id = "me";
  for (size_t k = 0; k < n; ++k) {
    std::string id = "friend" + std::string(k < 10 ? "0" : "") + std::to_string(k);
    snapshot.friends.push_back({id, "Friend " + std::to_string(k)});
    snapshot.conversations.push_back({id, "Message " + std::to_string(k), k % 3});
  }
  return snapshot;
}

void PhoneFixture::Load(const ChatSnapshot& snapshot) { EXPECT_TRUE(ui.chat_model.LoadSnapshot(snapshot)); }

void PhoneFixture::OpenConversation(const std::string& peer, std::vector<ChatMessage> messages) {
  EXPECT_TRUE(ui.chat_model.OpenThread(peer));
  ui.native_screen = 4;
  ui.history_peer = peer;
  ui.history_loaded = 1;
  ui.live_page_list = std::move(messages);
}

void PhoneFixture::UseText(PhoneText text) {
  fake_.reset();
  if (text == PhoneText::kPango) {
    platform::SetTextRasterizerFactory(nullptr);
    ResetTextRasterContextForTesting();
    return;
  }
  fake_.emplace(test_support::SolidMask(text == PhoneText::kSolid ? 255 : 0));
}

void PhoneFixture::SetTheme(bool dark, bool english) {
  settings.dark = dark;
  settings.english = english;
}

PhoneCanvas PhoneFixture::Screens() {
  if (fake_) fake_->log().draws.clear();
  PhoneCanvas canvas(255);
  ui.RenderNativeScreens(canvas);
  return canvas;
}

void PhoneFixture::OpenChatApp() {
  ui.launcher_screen = 1;
  ui.launcher_app = 0;
}

PhoneCanvas PhoneFixture::Launcher() {
  if (fake_) fake_->log().draws.clear();
  PhoneCanvas canvas(255);
  ComposeLauncherPage(canvas, ui, ui.launcher_screen == 1, ui.launcher_page, ui.launcher_app);
  return canvas;
}

const std::vector<test_support::RecordedTextDraw>& PhoneFixture::Draws() {
  static const std::vector<test_support::RecordedTextDraw> kNone;
  return fake_ ? fake_->log().draws : kNone;
}

const test_support::RecordedTextDraw* FindDraw(const std::vector<test_support::RecordedTextDraw>& draws,
                                               std::u16string_view text) {
  for (const auto& draw : draws) {
    if (draw.text == text) return &draw;
  }
  return nullptr;
}

}  // namespace quorix_test

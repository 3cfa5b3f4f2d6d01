#pragma once
// A phone UI model wired as the program wires it: the fake owner, a real call
// session, settings loaded from a scratch folder (or none: launcher mode), the
// wall clock pinned at 2025-03-03 09:05 and a chosen text rasteriser.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/ui_settings.h"
#include "phone_service/call_session.h"
#include "phone_ui/canvas.h"
#include "phone_ui/phone_ui.h"
#include "platform/clock.h"
#include "support/fake_owner.h"
#include "support/fake_text_rasterizer.h"
#include "support/wave_files.h"

namespace quorix_test {

enum class PhoneText {
  kSolid,  // the recording fake, full ink
  kEmpty,  // the recording fake, no ink: labels leave the pixels alone
  kPango,  // the real rasteriser
};

class PhoneFixture {
 public:
  explicit PhoneFixture(bool with_settings = true, PhoneText text = PhoneText::kEmpty);
  ~PhoneFixture();
  PhoneFixture(const PhoneFixture&) = delete;
  PhoneFixture& operator=(const PhoneFixture&) = delete;

  // Owner status for `code`: signed in for 2, 3, 4 and 7, call-ready for 3.
  void SignIn(uint32_t code);
  // Signed out with `code` (0 idle, 1 connecting, 5 failed, 6 signing out).
  void SignOut(uint32_t code);
  // `n` friends "friend00".., named "Friend 0".., each with a conversation,
  // in that order, the last message "Message k" and k % 3 unread.
  static ChatSnapshot Snapshot(size_t n);
  void Load(const ChatSnapshot& snapshot);
  // The open conversation with `peer` holding `messages` as its live list.
  void OpenConversation(const std::string& peer, std::vector<ChatMessage> messages);
  void UseText(PhoneText text);
  void SetTheme(bool dark, bool english);

  // Renders; the records of the fake rasteriser are cleared first.
  PhoneCanvas Screens();
  // The launcher showing app 0, the chat app, as an opened app.
  void OpenChatApp();
  // The launcher's app page as the frame composer draws it, fake records
  // cleared first.
  PhoneCanvas Launcher();
  // The fake's draw records (empty with Pango).
  const std::vector<test_support::RecordedTextDraw>& Draws();

  platform::ManualClock clock;
  FakeOwner owner;
  CallSession call;
  ScratchDir root;
  UiSettings settings;
  PhoneUi ui;

 private:
  std::optional<test_support::ScopedFakeTextRasterizer> fake_;
};

// The first record of `text`; null when none.
const test_support::RecordedTextDraw* FindDraw(const std::vector<test_support::RecordedTextDraw>& draws,
                                               std::u16string_view text);

}  // namespace quorix_test

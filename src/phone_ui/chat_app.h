#pragma once
// The chat app of the launcher (app 0): the account page with its sign-in
// card, the friends-and-talk view with its lists and the open conversation,
// the audio device page, and the call and new-message cards drawn over the
// launcher. Pure renderers over the phone UI model; the taps on them are the
// input controller's. Main thread, inside a frame render.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "chat/chat_model.h"
#include "phone_ui/canvas.h"

class CallSession;
class PhoneUi;
class QuorixVrKeyboard;

// Everything the friends-and-talk view reads, in the order it is listed.
struct ChatAppInputs {
  const ChatModel& model;
  bool live_read_only = false;
  bool list_in_flight = false;
  bool list_failed = false;
  bool live_messaging = false;
  bool history_loaded = false;
  bool history_in_flight = false;
  bool history_failed = false;
  const std::vector<ChatMessage>& page_list;
  uint64_t page = 0;  // 0 the newest five messages
  const std::u16string& draft;
  bool send_in_flight = false;
  bool send_uncertain = false;
  const std::u16string& send_status;
  bool read_in_flight = false;
  const std::u16string& read_status;
  CallSession* call = nullptr;  // null: no call
  bool owner_present = false;
};

// The header, list state, tabs and five rows, or the open conversation.
void RenderChatApp(PhoneCanvas& canvas, const ChatAppInputs& in);
// The dark sign-in card: three fields and the three helper buttons.
void RenderAccountCard(PhoneCanvas& canvas, const QuorixVrKeyboard& keyboard, bool owner_present);
// The accent banner under the card that leads into the chat view.
void DrawChatPreviewBanner(PhoneCanvas& canvas, bool owner_present);

// The page of app 0: the audio device page, the chat view or the account
// page, in the light or dark palette of ui_render_dark.
void RenderChatAppPage(const PhoneUi& model, PhoneCanvas& canvas);

// The call card and the new-message card for drawing target `target` (0 or
// 1); records which call revision and notice were drawn there (0 when none).
// A target above 1 draws and records nothing.
void RenderCallPanel(const PhoneUi& model, PhoneCanvas& canvas, uint8_t target);

// The last 24 UTF-16 units of `text` for a field box, never starting on the
// second half of a surrogate pair.
std::u16string_view FieldTail(std::u16string_view text);

// Every fixed label these pages draw, for the glyph check.
std::u16string ChatAppLabels();

// The launcher's pages, the keyboard in every layout and the launcher's chat
// app, as dump_phone_frames draws them without a mode.
#include <filesystem>
#include <functional>

#include "dump_native_views.h"
#include "phone_ui/app_lifecycle.h"
#include "phone_ui/canvas.h"
#include "phone_ui/keyboard_frame.h"
#include "phone_ui/launcher.h"
#include "phone_ui/phone_ui.h"
#include "platform/clock.h"

namespace {

struct View {
  const char* file;
  std::function<void(PhoneCanvas&, PhoneUi&)> draw;
};

// The keyboard pictures (540 × 508): every layout, VR conversion with seven
// candidates on page 3, and an external editor holding a password; each light
// and dark. Returns the number of pictures that could not be written.
int DumpKeyboards(const std::filesystem::path& folder) {
  struct Keyboard {
    const char* name;
    uint32_t kind, layout;
    bool symbols;
  } keyboards[] = {{"kana", kKeyboardFlick, kFlickKana, false},
                   {"alphabet", kKeyboardFlick, kFlickAlphabet, false},
                   {"digits", kKeyboardFlick, kFlickDigits, false},
                   {"qwerty_letters", kKeyboardQwerty, kFlickKana, false},
                   {"qwerty_symbols", kKeyboardQwerty, kFlickKana, true}};
  QuorixTsfDraftBridge::State conversion;
  conversion.candidates = {u"公園", u"講演", u"公演", u"後援", u"好演", u"こうえん", u"コウエン"};
  conversion.candidates_present = conversion.selection_valid = conversion.background_candidates = 1;
  conversion.selected_index = 6;
  conversion.vr_conversion_enabled = 1;
  QuorixVrKeyboard password_field;
  password_field.active_field = kFieldPassword;
  password_field.password = std::u16string(20, u'p');
  const KeyboardEditorView editor{&password_field, u"パスワード", false, false};

  int failures = 0;
  for (bool dark : {false, true}) {
    const std::string theme = dark ? "_dark.png" : "_light.png";
    auto write = [&](const std::string& name, const KeyboardFrameInputs& in) {
      const FrameBuffer frame = ComposeKeyboardFrame(in);
      failures += WriteDumpPicture(folder / ("keyboard_" + name + theme), kCanvasWidth, kKeyboardFrameHeight,
                                   frame.bytes());
    };
    for (const Keyboard& k : keyboards) {
      QuorixVrKeyboard kb;
      kb.keyboard_kind = k.kind;
      kb.flick_layout = k.layout;
      kb.qwerty_symbols = k.symbols;
      KeyboardFrameInputs in;
      in.dark = dark;
      in.keyboard = &kb;
      write(k.name, in);
    }
    QuorixVrKeyboard kb;
    KeyboardFrameInputs in;
    in.dark = dark;
    in.keyboard = &kb;
    in.bridge_state = &conversion;
    in.candidate_page = 2;
    write("vr_conversion", in);
    in.bridge_state = nullptr;
    in.candidate_page = 0;
    in.editor = &editor;
    write("password_editor", in);
  }
  return failures;
}

}  // namespace

int DumpLauncherViews(const std::filesystem::path& folder) {
  platform::ManualClock clock;
  clock.local = {2026, 1, 2, 9, 5, 0, 0};
  platform::SetClockForTesting(&clock);

  PhoneAppLifecycle lifecycle;
  lifecycle.apps[4].installed = false;
  lifecycle.last_uninstalled_app = 4;
  lifecycle.apps[5].state = kAppForeground;
  lifecycle.apps[5].detached = true;
  lifecycle.detached_app = 5;

  const View views[] = {
      {"home_page_1.png", [](PhoneCanvas& c, PhoneUi& ui) { ComposeLauncherPage(c, ui, false, 0, -1); }},
      {"home_page_2.png", [](PhoneCanvas& c, PhoneUi& ui) { ComposeLauncherPage(c, ui, false, 1, -1); }},
      {"app_notes_stopped.png", [](PhoneCanvas& c, PhoneUi& ui) { ComposeLauncherPage(c, ui, true, 0, 3); }},
      {"app_timer_detached.png", [](PhoneCanvas& c, PhoneUi& ui) { ComposeLauncherPage(c, ui, true, 0, 5); }},
      {"app_gallery_uninstalled.png", [](PhoneCanvas& c, PhoneUi& ui) { ComposeLauncherPage(c, ui, true, 0, 4); }},
      {"app_settings_protected.png", [](PhoneCanvas& c, PhoneUi& ui) { ComposeLauncherPage(c, ui, true, 0, 9); }},
      {"app_calendar_no_state.png",
       [](PhoneCanvas& c, PhoneUi& ui) {
         ui.app_lifecycle = nullptr;
         ComposeLauncherPage(c, ui, true, 0, 6);
       }},
  };
  int failures = 0;
  for (const View& view : views) {
    PhoneUi ui;
    ui.app_lifecycle = &lifecycle;
    PhoneCanvas canvas(255);
    view.draw(canvas, ui);
    failures += WriteDumpPicture(folder / view.file, kCanvasWidth, kCanvasHeight, canvas.bytes());
  }
  failures += DumpKeyboards(folder);
  platform::SetClockForTesting(nullptr);
  failures += DumpChatAppViews(folder);
  return failures;
}

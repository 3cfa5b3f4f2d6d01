#pragma once
// The phone's on-screen keyboard and the three text fields it edits (sign-in
// id, password, chat message). A plain value record: the phone UI model embeds
// one and copies it for the external editor. Coordinates are keyboard-layout
// pixels; every operation is total (taps outside any area, keys out of range
// and texts that do not fit change nothing).
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/secret_text.h"  // WipeWideString

// Keyboard kinds, flick layouts and fields.
inline constexpr uint32_t kKeyboardFlick = 0;
inline constexpr uint32_t kKeyboardQwerty = 1;
inline constexpr uint32_t kFlickKana = 0;
inline constexpr uint32_t kFlickAlphabet = 1;
inline constexpr uint32_t kFlickDigits = 2;
inline constexpr uint32_t kFieldId = 0;
inline constexpr uint32_t kFieldPassword = 1;
inline constexpr uint32_t kFieldMessage = 2;

// Field limits in UTF-16 units.
inline constexpr size_t kIdLimit = 128;
inline constexpr size_t kPasswordLimit = 256;
inline constexpr size_t kMessageLimit = 1000;

// Flick directions.
inline constexpr uint32_t kFlickTap = 0;
inline constexpr uint32_t kFlickLeft = 1;
inline constexpr uint32_t kFlickUp = 2;
inline constexpr uint32_t kFlickRight = 3;
inline constexpr uint32_t kFlickDown = 4;

class QuorixVrKeyboard {
 public:
  QuorixVrKeyboard();
  // Copies keep the password in a buffer reserved for the whole limit, and a
  // copy-assignment wipes the old password first. No move operations are
  // declared, so a move copies (and the source keeps its own wiped-on-exit
  // buffer).
  QuorixVrKeyboard(const QuorixVrKeyboard& other);
  QuorixVrKeyboard& operator=(const QuorixVrKeyboard& other);
  ~QuorixVrKeyboard();

  uint32_t keyboard_kind = kKeyboardFlick;
  uint32_t flick_layout = kFlickKana;
  uint32_t remembered_flick_layout = kFlickKana;
  uint32_t active_field = kFieldMessage;
  bool qwerty_symbols = false;
  bool shift = false;
  std::u16string id;
  // Never reallocated while it holds at most kPasswordLimit units, and every
  // unit it loses is zeroed first. Whoever edits it from outside (the phone
  // UI's field setter and the external editor) must keep both rules: assign
  // at most kPasswordLimit units and wipe before shortening or replacing.
  std::u16string password;
  std::u16string message;
  uint64_t caret = 0;

  // Hit test of the whole layout; 1, 2 or 3 for the action row buttons.
  uint32_t Tap(float x, float y);
  bool Flick(float x, float y, uint32_t direction);
  bool IsFlickKeyArea(float x, float y) const;
  void PressFlickKey(uint32_t key, uint32_t direction);
  void PressQwertyKey(uint32_t key);
  void Backspace();
  bool CycleLastKana();
  std::u16string GetKeyLabel(uint32_t key) const;
  std::u16string GetModifierKeyLabel() const;
  std::u16string GetKeyHint(uint32_t key) const;
  std::vector<std::u16string> GetCandidates() const;
  bool ApplyCandidate(size_t index);
  std::u16string GetDisplayText(uint32_t field) const;
  std::u16string& GetActiveFieldText();
  const std::u16string& GetActiveFieldText() const;
  bool SetMessageText(std::u16string_view text);
  // Replaces the active field's text: false when it is longer than the
  // field's limit; an equal text changes nothing. The old password is wiped
  // before it is replaced; a replaced message puts the caret at 0.
  bool SetActiveFieldText(std::u16string_view text);
  // The limit of the active field in UTF-16 units.
  size_t ActiveFieldLimit() const;
  bool MoveCaretToEnd();
  bool GetCredentials(std::u16string* id_out, std::u16string* password_out) const;
  void WipePassword();

 private:
  bool AppendToActiveField(std::u16string_view text);
  void ClearActiveField();
  void ToggleShift() { shift = !shift; }
  std::u16string QwertyKeyLabel(uint32_t key) const;
  bool IsLatinMode() const;
};

// The tail of `text` from max(start of its trailing run of units for which
// `predicate` holds, min(caret, length)).
std::u16string GetComposingRun(std::u16string_view text, uint64_t caret, bool (*predicate)(char16_t));

// U+3041..U+3096 or U+30FC.
bool IsComposableKana(char16_t unit);

// a..z or A..Z.
bool IsAsciiLetter(char16_t unit);

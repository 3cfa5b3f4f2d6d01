#pragma once
// The small window laid over the phone image's focused text field, holding
// one single-line entry that the real keyboard and the input method type
// into. It is the draft bridge's host, the entry its edit. Needs StartGui;
// main thread only.
//
// The entry's own buffer is wiped by GTK when it changes; copies inside
// Pango layouts and input methods are not ours to wipe. GTK 3's entry has no
// undo.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/draft_edit.h"
#include "platform/window_message.h"

namespace platform {

class PanelWindow;
class InputWindow;

class TextEntry final : public DraftEdit {
 public:
  // kKeyDown (with composing before and after the input method saw the key
  // in `composing_before`/`composing_after`), kCompositionStart,
  // kCompositionEnd and kEditChanged. A non-zero answer to kKeyDown swallows
  // the key; otherwise the entry handles it.
  struct KeyState {
    bool composing_before = false;
    bool composing_after = false;
  };
  using MessageHandler = std::function<intptr_t(const WindowMessage&, const KeyState&)>;
  void SetMessageHandler(MessageHandler handler);

  // DraftEdit.
  bool IsAlive() const override;
  bool HasFocus() const override;
  std::u16string Text() const override;
  void SetSelection(uint64_t start, uint64_t end) override;
  void ReplaceSelection(const std::u16string& text) override;
  bool HasComposition() const override;
  void CancelComposition() override;
  size_t UnitLimit() const override { return limit_; }

  // Replaces the text without the limit's cut (as the program's own text),
  // caret at the end.
  void SetText(const std::u16string& text);
  // Typed and pasted text is cut to `units` UTF-16 units, at a character.
  void SetUnitLimit(size_t units) { limit_ = units; }
  // Shows U+25CF for every character and tells input methods it is a
  // password.
  void SetPassword(bool password);
  bool IsPassword() const;
  void SetColours(uint32_t background_rgb, uint32_t text_rgb);
  void SetFontPixels(int pixels);
  int FontPixels() const { return font_pixels_; }
  void SetSize(int width, int height);
  void Focus();
  // Moves the keyboard focus off the entry (to its window).
  void Unfocus();

  struct State;

 private:
  friend class InputWindow;
  explicit TextEntry(State* state) : state_(state) {}
  void ApplyCss();

  State* state_;
  size_t limit_ = 1000;
  int font_pixels_ = 0;
  uint32_t background_ = 0xFFFFFF;
  uint32_t text_colour_ = 0;
};

class InputWindow final : public DraftHost {
 public:
  // Realised, not mapped, transient for `owner`. Null when GTK is not running.
  static std::unique_ptr<InputWindow> Create(const PanelWindow& owner);
  ~InputWindow() override;
  InputWindow(const InputWindow&) = delete;
  InputWindow& operator=(const InputWindow&) = delete;

  bool IsVisible() const override;
  TextEntry& entry() { return *entry_; }
  const TextEntry& entry() const { return *entry_; }
  void SetShown(bool shown);
  void MoveResize(int x, int y, int width, int height);
  // Where the window was last put (ours is authoritative).
  int x() const;
  int y() const;
  int width() const;
  int height() const;
  // Raises and focuses it (see PanelWindow::BringToFront).
  void BringToFront();
  unsigned long XWindowId() const;
  // The X window this one is transient for, read back from the toolkit.
  unsigned long OwnerXWindowId() const;

 private:
  friend struct GuiWindows;
  explicit InputWindow(std::unique_ptr<TextEntry::State> state);
  std::unique_ptr<TextEntry::State> state_;
  std::unique_ptr<TextEntry> entry_;
};

}  // namespace platform

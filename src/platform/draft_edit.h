#pragma once
// The window that holds the draft edit, and the edit itself: what the draft
// bridge needs of a rich-edit control and its input-method context. The
// desktop window implements both on its text entry; InProcessDraftEdit serves
// the bridge's own-window mode and tests. Positions are UTF-16 units.
#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

class DraftHost {
 public:
  virtual ~DraftHost() = default;
  virtual bool IsVisible() const = 0;
};

class DraftEdit {
 public:
  virtual ~DraftEdit() = default;
  virtual bool IsAlive() const = 0;
  virtual bool HasFocus() const = 0;
  virtual std::u16string Text() const = 0;
  // Clamped to the text; start and end may come in either order.
  virtual void SetSelection(uint64_t start, uint64_t end) = 0;
  // Replaces the selection, keeping the text within UnitLimit (the insertion
  // is cut, never between the halves of a surrogate pair); the caret ends
  // after the inserted text.
  virtual void ReplaceSelection(const std::u16string& text) = 0;
  // The input method holds a composition string in this edit.
  virtual bool HasComposition() const = 0;
  virtual void CancelComposition() = 0;
  virtual size_t UnitLimit() const = 0;
};

// An edit with no window: focus, visibility and composition are set by its
// owner. No undo.
class InProcessDraftEdit final : public DraftHost, public DraftEdit {
 public:
  explicit InProcessDraftEdit(size_t unit_limit = 1000) : limit_(unit_limit) {}

  bool IsVisible() const override { return visible; }
  bool IsAlive() const override { return alive; }
  bool HasFocus() const override { return focused; }
  std::u16string Text() const override { return text; }
  void SetSelection(uint64_t start, uint64_t end) override;
  void ReplaceSelection(const std::u16string& replacement) override;
  bool HasComposition() const override { return composing; }
  void CancelComposition() override {
    composing = false;
    ++cancels;
  }
  size_t UnitLimit() const override { return limit_; }

  uint64_t selection_start() const { return start_; }
  uint64_t selection_end() const { return end_; }

  bool visible = true;
  bool alive = true;
  bool focused = true;
  bool composing = false;
  int cancels = 0;
  std::u16string text;  // set directly for typing; the selection is then clamped on use

 private:
  size_t limit_;
  uint64_t start_ = 0;
  uint64_t end_ = 0;
};

}  // namespace platform

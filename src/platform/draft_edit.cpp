#include "platform/draft_edit.h"

#include <algorithm>

namespace platform {

void InProcessDraftEdit::SetSelection(uint64_t start, uint64_t end) {
  start_ = std::min<uint64_t>(std::min(start, end), text.size());
  end_ = std::min<uint64_t>(std::max(start, end), text.size());
}

void InProcessDraftEdit::ReplaceSelection(const std::u16string& replacement) {
  SetSelection(start_, end_);
  const size_t kept = text.size() - static_cast<size_t>(end_ - start_);
  size_t room = kept >= limit_ ? 0 : limit_ - kept;
  room = std::min(room, replacement.size());
  if (room > 0 && room < replacement.size() && replacement[room - 1] >= 0xD800 && replacement[room - 1] <= 0xDBFF) {
    --room;
  }
  text.replace(static_cast<size_t>(start_), static_cast<size_t>(end_ - start_), replacement, 0, room);
  start_ = end_ = start_ + room;
}

}  // namespace platform

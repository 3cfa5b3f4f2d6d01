#pragma once
// The owner interface: how the phone UI reaches the signed-in session.
#include <cstdint>
#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "platform/crypto.h"

struct UiSettings;

namespace quorix_native {

class Ui {
 public:
  struct Status {
    uint32_t code = 0;
    uint8_t signed_in = 0;
    uint8_t call_ready = 0;
    uint8_t idle = 0;
    uint64_t revision = 0;
  };
  struct Notice {
    uint64_t id = 0;
    uint64_t expiry = 0;
    std::u16string title;
    std::u16string body;
    std::string peer_id;
  };
  struct AudioDeviceList {
    std::vector<std::u16string> names;
    int32_t selected = -1;
    uint64_t revision = 0;
  };
  struct FriendRequestState {
    uint8_t busy = 0;
    uint8_t failed = 0;
    uint8_t unreachable = 0;
    uint32_t last_operation = 0;
    uint64_t revision = 0;
    std::vector<std::string> incoming;
    std::vector<std::string> outgoing;
  };

  virtual ~Ui() = default;
  virtual Status GetStatus() = 0;
  virtual bool SignIn(std::u16string user_id, std::u16string password) = 0;
  virtual bool SignOut() = 0;
  virtual AudioDeviceList GetAudioDevices(bool capture) = 0;
  virtual bool SelectAudioDevice(bool capture, int32_t index, uint64_t list_revision) = 0;
  virtual bool RefreshAudioDevices() = 0;
  virtual uint64_t GetCallRevision() = 0;
  virtual std::u16string GetCallPeerName() = 0;
  virtual bool PerformCallAction(uint32_t action, uint64_t call_revision) = 0;
  virtual Notice GetActiveNotice() = 0;
  virtual void DismissNotice(uint64_t id) = 0;
  virtual Notice GetSystemNotice() = 0;
  virtual void DismissSystemNotice(uint64_t id) = 0;
  virtual void SetNotificationsEnabled(bool enabled) = 0;
  virtual bool AreNotificationsEnabled() = 0;
  virtual void AttachSettings(const UiSettings* settings) = 0;
  virtual std::string GetOwnUserId() = 0;
  virtual int32_t GetPeerNotificationMode(const std::string& peer_id) = 0;
  virtual std::vector<Notice> GetPendingNotices() = 0;
  virtual FriendRequestState GetFriendRequests() = 0;
  virtual bool RequestFriendOperation(uint32_t operation, const std::string& user_id) = 0;
  virtual int32_t GetFriendPresence(const std::string& user_id) = 0;
  virtual uint64_t GetPresenceStatus() = 0;
  virtual uint64_t GetChatRevision() = 0;
  virtual bool RunHistoryFileDialog(bool import) = 0;
};

}  // namespace quorix_native

// The first of `owner`'s pending notices, or an empty notice: the body of
// every implementation's GetActiveNotice. The other copies are wiped.
inline quorix_native::Ui::Notice GetActiveNoticeDefault(quorix_native::Ui& owner) {
  std::vector<quorix_native::Ui::Notice> pending = owner.GetPendingNotices();
  if (pending.empty()) return {};
  quorix_native::Ui::Notice first = std::move(pending.front());
  for (quorix_native::Ui::Notice& rest : pending) {
    platform::SecureZero(rest.title.data(), rest.title.size() * sizeof(char16_t));
    platform::SecureZero(rest.body.data(), rest.body.size() * sizeof(char16_t));
  }
  return first;
}

// An owner's chat notices: newest first, at most three, and the last id
// given (ids start at 1).
struct NoticeQueue {
  std::deque<quorix_native::Ui::Notice> notices;
  uint64_t last_id = 0;

  // Prunes with `now`, then puts a new notice in front (title and body made
  // one line, 64 and 180 units; expiry now + 3000 ms) and drops the oldest
  // beyond three. The passed title and body are wiped.
  void Push(const std::string& peer_id, std::u16string title, std::u16string body, uint64_t now);
  // Copies of the entries whose expiry is above `now`, in queue order.
  std::vector<quorix_native::Ui::Notice> CopyUnexpired(uint64_t now) const;
  // Wipes and erases the first entry with `id`.
  void Remove(uint64_t id);
  // Wipes and erases every entry whose expiry is at or below `now`.
  void PruneExpired(uint64_t now);
};

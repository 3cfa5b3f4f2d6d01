#pragma once
// The online state of the signed-in user's friends, as the service
// connection keeps it: polled snapshots of "/phone/v1/presence" and pushed
// "phone_presence_snapshot" events. Pure functions on one state record; the
// wire guards the record with its presence mutex.
#include <cstdint>
#include <map>
#include <string>

namespace quorix_phone {

struct PresenceState {
  std::map<std::string, bool> friends;  // friend user id -> online
  bool has_snapshot = false;
  uint64_t snapshot_tick = 0;
  uint64_t revision = 0;  // moves whenever the friend map changes or a non-empty state is cleared
  std::string push_connection_id;
  std::string push_sequence;
  uint64_t push_window_start = 0;
  uint64_t push_window_end = 0;  // a pushed snapshot is fresh while start <= now < end (end not 0)
  uint64_t push_counter = 0;     // moves on every pushed outcome, reset and close
};

// 1..19 decimal digits, no leading '0' unless "0", at most 9223372036854775807.
bool IsValidPresenceSequence(const std::string& text);

// Empties the friend map; the revision moves only when something was known.
void ClearFriendPresence(PresenceState& state);

// ClearFriendPresence, then forgets the pushed connection, sequence and
// window and moves the push counter (a new connection, a close, a stop).
void ResetPresence(PresenceState& state);

// Applies a snapshot text (polled, or the core of a pushed event). A refused
// text clears the friend map (fail closed).
bool ParsePresenceSnapshot(PresenceState& state, const std::string& text, const std::string& own_user_id, uint64_t now);

// Applies a pushed "phone_presence_snapshot" event received on the
// connection `connection_id`.
bool ApplyPresenceEvent(PresenceState& state, const std::string& text, const std::string& own_user_id,
                        const std::string& connection_id, uint64_t now);

}  // namespace quorix_phone

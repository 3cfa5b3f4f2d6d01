#pragma once
// Test-only driving of the service connection's event handling without a
// socket: a connection is marked live under a fresh socket id, complete
// WebSocket messages go through the receive loop's handler, and a loop end
// closes it as the connection thread would.
#include <cstddef>
#include <cstdint>
#include <string>

#include "phone_service/windows_wire.h"

namespace quorix_phone {

class WireTestAccess {
 public:
  // How a handled message ended the receive loop, when it did.
  struct LoopEnd {
    uint32_t code = 0;
    uint32_t detail = 0;
    bool mark = false;
  };

  // As after a successful open of the socket of a fresh start: running, not
  // closing, a new generation and socket id; connected once the service's
  // ready event names the connection.
  static void OpenSocket(WindowsWire& wire, const std::string& user_id) {
    platform::MutexLock lock(wire.request_mutex_);
    wire.user_id_ = user_id;
    wire.stopped_ = false;
    wire.closing_ = false;
    wire.connected_ = false;
    ++wire.generation_;
    wire.socket_id_ = ++wire.next_socket_id_;
    wire.connection_id_.clear();
  }

  // One complete text message on the live socket; false when it ends the
  // receive loop (`end` then says how).
  static bool Event(WindowsWire& wire, std::string message, bool* ready, LoopEnd* end) {
    WindowsWire::LiveSocket live;
    {
      platform::MutexLock lock(wire.request_mutex_);
      live.generation = wire.generation_;
      live.socket_id = wire.socket_id_;
    }
    live.attempt = 1;
    WindowsWire::ReceiveEnd received;
    const bool go_on = wire.HandleEvent(message, live, ready, &received);
    *end = LoopEnd{received.code, received.detail, received.mark};
    return go_on;
  }

  // The connection thread's close after its receive loop ended.
  static void EndLoop(WindowsWire& wire, const LoopEnd& end) {
    wire.CloseConnection(end.code, end.detail, end.mark, wire.generation_.load());
  }

  static uint64_t Generation(const WindowsWire& wire) { return wire.generation_.load(); }

  static size_t RingSize(WindowsWire& wire) {
    platform::MutexLock lock(wire.request_mutex_);
    return wire.ring_.size();
  }

  static WindowsWire::PresenceState Presence(WindowsWire& wire) {
    platform::MutexLock lock(wire.presence_mutex_);
    return wire.presence_;
  }
};

}  // namespace quorix_phone

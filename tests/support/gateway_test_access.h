#pragma once
// Test-only view of the call gateway's private queue and flags.
#include <cstddef>

#include "phone_service/gateway.h"

namespace quorix_phone {

class GatewayTestAccess {
 public:
  static size_t QueuedMediaCommands(const Gateway& gateway) { return gateway.queued_media_commands_.size(); }
  static bool MediaConfigured(const Gateway& gateway) { return gateway.media_configured_ != 0; }
  static bool RelayMode(const Gateway& gateway) { return gateway.relay_mode_ != 0; }
  static bool EndRequested(const Gateway& gateway) { return gateway.end_requested_ != 0; }
};

}  // namespace quorix_phone

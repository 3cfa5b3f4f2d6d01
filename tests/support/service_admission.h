#pragma once
// The two ways the account code may reach the loopback test service. Both
// trust only the test CA, map the service's name and port to the loopback
// port through the C++-only connect override, and undo everything at the end
// of the scope.
#include <memory>
#include <optional>
#include <vector>

#include "core/environment.h"
#include "loopback_service.h"

namespace quorix_test {

// Production mode: QUORIX_RUNTIME_MODE "LIVE_PRODUCTION_RC", the service host
// on port 443 mapped to the loopback service.
class ScopedProductionService {
 public:
  explicit ScopedProductionService(const LoopbackService& service);
  ~ScopedProductionService();
  ScopedProductionService(const ScopedProductionService&) = delete;
  ScopedProductionService& operator=(const ScopedProductionService&) = delete;

 private:
  std::vector<std::unique_ptr<ScopedEnvironmentVariable>> variables_;
};

// Isolated mode: QUORIX_RUNTIME_MODE removed, QUORIX_2PC_NETWORK
// "AUTHORIZED_ISOLATED_ONLY", QUORIX_2PC_ORIGIN
// "https://svc.qx-loopback.test:<port>", QUORIX_2PC_ALLOWED_HOST
// "svc.qx-loopback.test", QUORIX_2PC_REAL_ACCOUNTS "1"; that name and port
// mapped to the loopback service.
class ScopedIsolatedService {
 public:
  explicit ScopedIsolatedService(const LoopbackService& service);
  ~ScopedIsolatedService();
  ScopedIsolatedService(const ScopedIsolatedService&) = delete;
  ScopedIsolatedService& operator=(const ScopedIsolatedService&) = delete;

 private:
  std::vector<std::unique_ptr<ScopedEnvironmentVariable>> variables_;
};

}  // namespace quorix_test

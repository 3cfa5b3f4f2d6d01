#include "service_admission.h"

#include <string>

#include "core/service_origin.h"
#include "core/text.h"
#include "platform/test_hooks.h"
#include "test_pki.h"

namespace quorix_test {
namespace {

void Set(std::vector<std::unique_ptr<ScopedEnvironmentVariable>>& saved, const char16_t* name,
         std::optional<std::u16string> value) {
  saved.push_back(std::make_unique<ScopedEnvironmentVariable>(name, value));
}

void Undo(std::vector<std::unique_ptr<ScopedEnvironmentVariable>>& saved) {
  platform::testing::ClearConnectOverrides();
  platform::testing::SetTrustAnchorsPem({});
  while (!saved.empty()) saved.pop_back();  // in reverse order
}

}  // namespace

ScopedProductionService::ScopedProductionService(const LoopbackService& service) {
  Set(variables_, u"QUORIX_RUNTIME_MODE", u"LIVE_PRODUCTION_RC");
  platform::testing::SetTrustAnchorsPem(TestPki::Get().ca_pem());
  platform::testing::SetConnectOverride(quorix_service::kServiceHost, 443, service.port());
}

ScopedProductionService::~ScopedProductionService() { Undo(variables_); }

ScopedIsolatedService::ScopedIsolatedService(const LoopbackService& service) {
  const std::u16string port = Utf8ToWide(std::to_string(service.port()));
  Set(variables_, u"QUORIX_RUNTIME_MODE", std::nullopt);
  Set(variables_, u"QUORIX_2PC_NETWORK", u"AUTHORIZED_ISOLATED_ONLY");
  Set(variables_, u"QUORIX_2PC_ORIGIN", u"https://" + Utf8ToWide(kLoopbackServiceName) + u":" + port);
  Set(variables_, u"QUORIX_2PC_ALLOWED_HOST", Utf8ToWide(kLoopbackServiceName));
  Set(variables_, u"QUORIX_2PC_REAL_ACCOUNTS", u"1");
  platform::testing::SetTrustAnchorsPem(TestPki::Get().ca_pem());
  platform::testing::SetConnectOverride(kLoopbackServiceName, service.port(), service.port());
}

ScopedIsolatedService::~ScopedIsolatedService() { Undo(variables_); }

}  // namespace quorix_test

#include "platform/tls_floor.h"

#include <openssl/ssl.h>

namespace platform {

bool ApplyTlsFloor(SSL_CTX* context) {
  if (context == nullptr) return false;
  // Set last, so that neither the system configuration nor a cipher string
  // with its own "@SECLEVEL" lowers it.
  SSL_CTX_set_security_level(context, kTlsSecurityLevel);
  return SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION) == 1 &&
         SSL_CTX_get_security_level(context) == kTlsSecurityLevel;
}

}  // namespace platform

#pragma once
// The TLS floor both secure clients (HttpsConnection, WssConnection) keep
// whatever the machine's OpenSSL configuration or OPENSSL_CONF says:
// OpenSSL security level 2 (RSA and DH keys of at least 2048 bits, EC keys of
// at least 224 bits, no SHA-1 or MD5 signatures, in the peer's chain as in
// the handshake) and TLS 1.2 or newer. Certificate verification is each
// client's own business and is not touched here.
struct ssl_ctx_st;

namespace platform {

inline constexpr int kTlsSecurityLevel = 2;

// Applies the floor to a client context before its first connection; false
// when OpenSSL refuses it (the connection must then not be made).
[[nodiscard]] bool ApplyTlsFloor(ssl_ctx_st* context);

}  // namespace platform

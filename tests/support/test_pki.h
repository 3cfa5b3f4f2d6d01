#pragma once
// Certificates for the loopback test service, made in memory with OpenSSL at
// first use (EC P-256, valid from an hour ago for a day). No key touches disk.
#include <string>

namespace quorix_test {

// The names the good leaves carry.
inline constexpr char kLoopbackServiceName[] = "svc.qx-loopback.test";

struct TlsIdentity {
  std::string certificate_pem;  // leaf first, then nothing else
  std::string private_key_pem;
};

enum class LeafKind {
  kGood,       // from the test CA for kLoopbackServiceName and the service host
  kWrongName,  // from the test CA for another name
  kExpired,    // from the test CA, the good names, expired yesterday
  kRogue,      // the good names, from a rogue CA with the test CA's subject name
  kWeakRsa,    // from the test CA, the good names, a 1024-bit RSA key
  kSha1,       // from the test CA, the good names, signed with SHA-1
};

class TestPki {
 public:
  static const TestPki& Get();

  // The test CA, the one anchor the tests trust.
  const std::string& ca_pem() const { return ca_pem_; }
  const TlsIdentity& leaf(LeafKind kind) const;

 private:
  TestPki();
  std::string ca_pem_;
  TlsIdentity good_, wrong_name_, expired_, rogue_, weak_rsa_, sha1_;
};

}  // namespace quorix_test

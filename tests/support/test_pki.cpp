#include "test_pki.h"

#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <memory>
#include <stdexcept>
#include <vector>

#include "core/service_origin.h"

namespace quorix_test {
namespace {

struct KeyFree {
  void operator()(EVP_PKEY* k) const { EVP_PKEY_free(k); }
};
struct CertFree {
  void operator()(X509* c) const { X509_free(c); }
};
using Key = std::unique_ptr<EVP_PKEY, KeyFree>;
using Cert = std::unique_ptr<X509, CertFree>;

void Check(bool ok, const char* what) {
  if (!ok) throw std::runtime_error(std::string("test PKI: ") + what);
}

Key NewKey() {
  Key key(EVP_EC_gen("P-256"));
  Check(key != nullptr, "key");
  return key;
}

void AddExtension(X509* cert, X509* issuer, int nid, const char* value) {
  X509V3_CTX ctx;
  X509V3_set_ctx_nodb(&ctx);
  X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
  X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
  Check(ext != nullptr && X509_add_ext(cert, ext, -1) == 1, "extension");
  X509_EXTENSION_free(ext);
}

// Issues a certificate for `key` named `subject`, signed by `issuer_key`
// (self-signed when `issuer` is null). Validity in seconds from now.
Cert Issue(EVP_PKEY* key, const char* subject, X509* issuer, EVP_PKEY* issuer_key, long serial,
           long not_before, long not_after, const std::vector<std::string>& names, bool ca,
           const EVP_MD* digest = EVP_sha256()) {
  Cert cert(X509_new());
  Check(cert != nullptr, "certificate");
  X509_set_version(cert.get(), 2);
  ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), serial);
  X509_gmtime_adj(X509_getm_notBefore(cert.get()), not_before);
  X509_gmtime_adj(X509_getm_notAfter(cert.get()), not_after);
  X509_set_pubkey(cert.get(), key);
  X509_NAME* name = X509_get_subject_name(cert.get());
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(subject), -1, -1, 0);
  X509_set_issuer_name(cert.get(), issuer != nullptr ? X509_get_subject_name(issuer) : name);
  X509* issuer_cert = issuer != nullptr ? issuer : cert.get();
  if (ca) {
    AddExtension(cert.get(), issuer_cert, NID_basic_constraints, "critical,CA:TRUE");
    AddExtension(cert.get(), issuer_cert, NID_key_usage, "critical,keyCertSign,cRLSign");
    AddExtension(cert.get(), issuer_cert, NID_subject_key_identifier, "hash");
  } else {
    AddExtension(cert.get(), issuer_cert, NID_basic_constraints, "critical,CA:FALSE");
    AddExtension(cert.get(), issuer_cert, NID_key_usage, "critical,digitalSignature");
    AddExtension(cert.get(), issuer_cert, NID_ext_key_usage, "serverAuth");
    std::string alt;
    for (const std::string& n : names) alt += (alt.empty() ? "DNS:" : ",DNS:") + n;
    AddExtension(cert.get(), issuer_cert, NID_subject_alt_name, alt.c_str());
    AddExtension(cert.get(), issuer_cert, NID_authority_key_identifier, "keyid");
  }
  Check(X509_sign(cert.get(), issuer_key, digest) > 0, "sign");
  return cert;
}

std::string CertPem(X509* cert) {
  BIO* bio = BIO_new(BIO_s_mem());
  PEM_write_bio_X509(bio, cert);
  char* data = nullptr;
  const long size = BIO_get_mem_data(bio, &data);
  std::string out(data, static_cast<size_t>(size));
  BIO_free(bio);
  return out;
}

std::string KeyPem(EVP_PKEY* key) {
  BIO* bio = BIO_new(BIO_s_mem());
  PEM_write_bio_PrivateKey(bio, key, nullptr, nullptr, 0, nullptr, nullptr);
  char* data = nullptr;
  const long size = BIO_get_mem_data(bio, &data);
  std::string out(data, static_cast<size_t>(size));
  BIO_free(bio);
  return out;
}

constexpr long kHour = 3600;
constexpr long kDay = 24 * kHour;
constexpr char kCaName[] = "Quorix Loopback Test CA";

}  // namespace

TestPki::TestPki() {
  const std::vector<std::string> good_names = {kLoopbackServiceName, quorix_service::kServiceHost};
  Key ca_key = NewKey();
  Cert ca = Issue(ca_key.get(), kCaName, nullptr, ca_key.get(), 1, -kHour, kDay, {}, true);
  ca_pem_ = CertPem(ca.get());

  auto leaf = [&](X509* issuer, EVP_PKEY* issuer_key, long serial, long from, long to,
                  const std::vector<std::string>& names, Key key = NewKey(), const EVP_MD* digest = EVP_sha256()) {
    Cert cert = Issue(key.get(), names.front().c_str(), issuer, issuer_key, serial, from, to, names, false, digest);
    return TlsIdentity{CertPem(cert.get()), KeyPem(key.get())};
  };
  good_ = leaf(ca.get(), ca_key.get(), 2, -kHour, kDay, good_names);
  wrong_name_ = leaf(ca.get(), ca_key.get(), 3, -kHour, kDay, {"wrong.qx-loopback.test"});
  expired_ = leaf(ca.get(), ca_key.get(), 4, -2 * kDay, -kDay, good_names);
  Key weak_key(EVP_RSA_gen(1024));
  Check(weak_key != nullptr, "RSA key");
  weak_rsa_ = leaf(ca.get(), ca_key.get(), 5, -kHour, kDay, good_names, std::move(weak_key));
  sha1_ = leaf(ca.get(), ca_key.get(), 6, -kHour, kDay, good_names, NewKey(), EVP_sha1());

  Key rogue_key = NewKey();
  Cert rogue_ca = Issue(rogue_key.get(), kCaName, nullptr, rogue_key.get(), 1, -kHour, kDay, {}, true);
  rogue_ = leaf(rogue_ca.get(), rogue_key.get(), 2, -kHour, kDay, good_names);
}

const TestPki& TestPki::Get() {
  static const TestPki* const pki = new TestPki;
  return *pki;
}

const TlsIdentity& TestPki::leaf(LeafKind kind) const {
  switch (kind) {
    case LeafKind::kGood: return good_;
    case LeafKind::kWrongName: return wrong_name_;
    case LeafKind::kExpired: return expired_;
    case LeafKind::kRogue: return rogue_;
    case LeafKind::kWeakRsa: return weak_rsa_;
    case LeafKind::kSha1: return sha1_;
  }
  return good_;
}

}  // namespace quorix_test

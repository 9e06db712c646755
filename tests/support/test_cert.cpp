#include "support/test_cert.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>

namespace xhs::test {
namespace {

struct KeyDeleter {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct CertDeleter {
  void operator()(X509* cert) const { X509_free(cert); }
};
struct BioDeleter {
  void operator()(BIO* bio) const { BIO_free(bio); }
};

void Require(bool ok, const char* what) {
  if (!ok) throw std::runtime_error(std::string("TestCert: ") + what);
}

void AddExtension(X509* cert, int nid, const char* value) {
  X509V3_CTX context;
  X509V3_set_ctx_nodb(&context);
  X509V3_set_ctx(&context, cert, cert, nullptr, nullptr, 0);
  X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
  Require(extension != nullptr, "extension");
  const bool added = X509_add_ext(cert, extension, -1) == 1;
  X509_EXTENSION_free(extension);
  Require(added, "extension");
}

}  // namespace

TestCert::TestCert() {
  std::string pattern = (std::filesystem::temp_directory_path() / "xhs-cert-XXXXXX").string();
  Require(mkdtemp(pattern.data()) != nullptr, "temporary folder");
  folder_ = pattern;
  certFile_ = folder_ + "/cert.pem";
  keyFile_ = folder_ + "/key.pem";

  std::unique_ptr<EVP_PKEY, KeyDeleter> key(EVP_EC_gen("P-256"));
  Require(key != nullptr, "key");
  std::unique_ptr<X509, CertDeleter> cert(X509_new());
  Require(cert != nullptr, "certificate");
  unsigned char serial[8];
  Require(RAND_bytes(serial, sizeof serial) == 1, "serial");
  serial[0] &= 0x7F;
  std::uint64_t serialNumber = 0;
  for (unsigned char byte : serial) serialNumber = serialNumber << 8 | byte;
  Require(X509_set_version(cert.get(), 2) == 1 &&
              ASN1_INTEGER_set_uint64(X509_get_serialNumber(cert.get()), serialNumber) == 1 &&
              X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600) != nullptr &&
              X509_gmtime_adj(X509_getm_notAfter(cert.get()), 7 * 24 * 3600) != nullptr &&
              X509_set_pubkey(cert.get(), key.get()) == 1,
          "fields");
  X509_NAME* name = X509_get_subject_name(cert.get());
  Require(X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                                     reinterpret_cast<const unsigned char*>("localhost"), -1, -1, 0) == 1 &&
              X509_set_issuer_name(cert.get(), name) == 1,
          "name");
  AddExtension(cert.get(), NID_basic_constraints, "critical,CA:TRUE");
  AddExtension(cert.get(), NID_subject_key_identifier, "hash");
  AddExtension(cert.get(), NID_subject_alt_name, "DNS:localhost,IP:127.0.0.1");
  Require(X509_sign(cert.get(), key.get(), EVP_sha256()) > 0, "signature");

  std::unique_ptr<BIO, BioDeleter> certOut(BIO_new_file(certFile_.c_str(), "w"));
  Require(certOut != nullptr && PEM_write_bio_X509(certOut.get(), cert.get()) == 1, "certificate file");
  std::unique_ptr<BIO, BioDeleter> keyOut(BIO_new_file(keyFile_.c_str(), "w"));
  Require(keyOut != nullptr &&
              PEM_write_bio_PrivateKey(keyOut.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) == 1,
          "key file");
}

TestCert::~TestCert() {
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
}

ScopedEnv::ScopedEnv(std::string name, const std::optional<std::string>& value) : name_(std::move(name)) {
  if (const char* old = std::getenv(name_.c_str())) old_ = old;
  if (value) {
    setenv(name_.c_str(), value->c_str(), 1);
  } else {
    unsetenv(name_.c_str());
  }
}

ScopedEnv::~ScopedEnv() {
  if (old_) {
    setenv(name_.c_str(), old_->c_str(), 1);
  } else {
    unsetenv(name_.c_str());
  }
}

}  // namespace xhs::test

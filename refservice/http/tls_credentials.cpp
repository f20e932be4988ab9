#include "refservice/http/tls_credentials.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace refservice {
namespace {

constexpr size_t kMaxPemBytes = 1 << 20;

// The whole of a small file; false with `error` set.
bool ReadSmallFile(const std::string& path, const char* what, std::string* content,
                   std::string* error) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                       &std::fclose);
  if (!file) {
    *error = std::string("cannot read the TLS ") + what + " " + path + ": " + std::strerror(errno);
    return false;
  }
  content->clear();
  char buffer[8192];
  for (;;) {
    const size_t got = std::fread(buffer, 1, sizeof buffer, file.get());
    content->append(buffer, got);
    if (content->size() > kMaxPemBytes) {
      *error = std::string("the TLS ") + what + " " + path + " is larger than 1 MiB";
      return false;
    }
    if (got < sizeof buffer) break;
  }
  if (std::ferror(file.get())) {
    *error = std::string("cannot read the TLS ") + what + " " + path + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

// Never asks for a passphrase: an encrypted key is refused, not prompted for.
int NoPassphrase(char*, int, int, void*) { return -1; }

struct BioFree {
  void operator()(BIO* bio) const { BIO_free(bio); }
};
struct X509Free {
  void operator()(X509* cert) const { X509_free(cert); }
};
struct KeyFree {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};

}  // namespace

bool LoadTlsCredentials(const std::string& certificatePath, const std::string& keyPath,
                        TlsCredentials* out, std::string* error, std::string* warning) {
  warning->clear();
  TlsCredentials read;
  if (!ReadSmallFile(certificatePath, "certificate", &read.certificatePem, error) ||
      !ReadSmallFile(keyPath, "key", &read.keyPem, error)) {
    return false;
  }
  std::unique_ptr<BIO, BioFree> certBio(
      BIO_new_mem_buf(read.certificatePem.data(), static_cast<int>(read.certificatePem.size())));
  std::unique_ptr<BIO, BioFree> keyBio(
      BIO_new_mem_buf(read.keyPem.data(), static_cast<int>(read.keyPem.size())));
  if (!certBio || !keyBio) {
    *error = "out of memory while reading the TLS certificate";
    return false;
  }
  std::unique_ptr<X509, X509Free> certificate(
      PEM_read_bio_X509(certBio.get(), nullptr, NoPassphrase, nullptr));
  if (!certificate) {
    ERR_clear_error();
    *error = "the TLS certificate " + certificatePath + " holds no PEM certificate";
    return false;
  }
  std::unique_ptr<EVP_PKEY, KeyFree> key(
      PEM_read_bio_PrivateKey(keyBio.get(), nullptr, NoPassphrase, nullptr));
  if (!key) {
    ERR_clear_error();
    *error = "the TLS key " + keyPath + " holds no unencrypted PEM private key";
    return false;
  }
  if (X509_check_private_key(certificate.get(), key.get()) != 1) {
    ERR_clear_error();
    *error = "the TLS key " + keyPath + " does not belong to the certificate " + certificatePath;
    return false;
  }
  if (X509_cmp_current_time(X509_get0_notAfter(certificate.get())) < 0) {
    *warning = "the TLS certificate " + certificatePath + " has expired; clients will refuse it";
  } else if (X509_cmp_current_time(X509_get0_notBefore(certificate.get())) > 0) {
    *warning = "the TLS certificate " + certificatePath + " is not valid yet; clients will refuse it";
  }
  *out = std::move(read);
  return true;
}

}  // namespace refservice

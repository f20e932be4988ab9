// The service's TLS certificate and private key, read from PEM files and checked before the
// server starts, so that a wrong file is named in a clear message rather than failing deep
// inside the TLS library.
#pragma once

#include <string>

namespace refservice {

struct TlsCredentials {
  std::string certificatePem;  // the server's certificate, then any chain certificates
  std::string keyPem;          // its private key (unencrypted)
};

// Reads `certificatePath` and `keyPath`. False with `error` set (naming the file) when a file
// cannot be read or is larger than 1 MiB, holds no PEM certificate (or no unencrypted PEM private
// key), or when the key does not belong to the first certificate. `warning` is set (and true
// returned) when the certificate is outside its validity period: clients will refuse it.
bool LoadTlsCredentials(const std::string& certificatePath, const std::string& keyPath,
                        TlsCredentials* out, std::string* error, std::string* warning);

}  // namespace refservice

#include "service_client/tls_client.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>
#include <stdsoap2.h>

#include <cerrno>
#include <cstring>

#include "schema/tls_runtime.h"
#include "text/ascii_case.h"

namespace {

// What the verifier found wrong during the handshake running on this thread.
// OpenSSL calls the verify callback on the thread that runs the handshake,
// inside SSL_connect, so a handshake's record lives on that thread's stack
// for exactly as long as the handshake runs.
struct VerifyRecord {
  int error = X509_V_OK;
};
thread_local VerifyRecord* tRecord = nullptr;

// Keeps the verifier's first objection (the one that ends the handshake) and
// leaves its verdict as it is: a certificate that fails is never accepted.
int RecordVerify(int ok, X509_STORE_CTX* store) {
  if (!ok && tRecord && tRecord->error == X509_V_OK) {
    tRecord->error = X509_STORE_CTX_get_error(store);
  }
  return ok;
}

std::string Reason(int error) {
  switch (error) {
    case X509_V_ERR_HOSTNAME_MISMATCH:
      return "host name mismatch";
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
      return "IP address mismatch";
    default:
      return X509_verify_cert_error_string(error);
  }
}

// The library's words for the last TLS error on this thread, or empty.
std::string LastLibraryError() {
  const unsigned long code = ERR_peek_last_error();
  if (code == 0) return std::string();
  const char* reason = ERR_reason_error_string(code);
  if (reason) return reason;
  char text[256];
  ERR_error_string_n(code, text, sizeof text);
  return text;
}

}  // namespace

bool OslIsTlsAddress(const char* endpoint) {
  return endpoint && textutil::StartsWithNoCase(endpoint, "https://");
}

int OslUseTls(struct soap* soap) {
  if (soap->ctx) return SOAP_OK;
  OslInitTlsRuntime();
  soap->fsslverify = RecordVerify;
  // The runtime's own host check compares names only and knows no IP
  // addresses; the verifier checks the host instead (OslTlsHandshake), as
  // part of verifying the chain. Default locations are loaded below, where
  // a failure to read them is an error of its own.
  const unsigned short flags = SOAP_SSL_REQUIRE_SERVER_AUTHENTICATION | SOAP_SSL_SKIP_HOST_CHECK |
                               SOAP_SSL_NO_DEFAULT_CA_PATH | SOAP_TLSv1_2 | SOAP_TLSv1_3;
  if (soap_ssl_client_context(soap, flags, nullptr, nullptr, nullptr, nullptr, nullptr) !=
      SOAP_OK) {
    return soap->error ? soap->error : SOAP_SSL_ERROR;
  }
  // OpenSSL's default locations of trusted certificates; SSL_CERT_FILE and
  // SSL_CERT_DIR replace them when set.
  if (!soap->ctx || SSL_CTX_set_default_verify_paths(soap->ctx) != 1) {
    // Made again by the next connection rather than used without its trust.
    if (soap->ctx) SSL_CTX_free(soap->ctx);
    soap->ctx = nullptr;
    return soap_set_sender_error(soap, "the trusted certificates cannot be read",
                                 "The system's certificate store (or SSL_CERT_FILE, SSL_CERT_DIR) "
                                 "could not be loaded.",
                                 SOAP_SSL_ERROR);
  }
  return SOAP_OK;
}

OslTlsHandshake::OslTlsHandshake(struct soap* soap, const char* host)
    : soap_(soap), host_(host ? host : "") {
  tRecord = nullptr;
  X509_VERIFY_PARAM* param = soap_->ctx ? SSL_CTX_get0_param(soap_->ctx) : nullptr;
  if (param) {
    X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
    // An address given as an IP is checked against the certificate's IP
    // addresses, a name against its DNS names; setting one clears the other.
    if (X509_VERIFY_PARAM_set1_ip_asc(param, host_.c_str()) == 1) {
      ready_ = X509_VERIFY_PARAM_set1_host(param, nullptr, 0) == 1;
    } else {
      ready_ = X509_VERIFY_PARAM_set1_ip(param, nullptr, 0) == 1 && !host_.empty() &&
               X509_VERIFY_PARAM_set1_host(param, host_.c_str(), host_.size()) == 1;
    }
  }
  if (!ready_) {
    soap_set_sender_error(soap_, "the TLS connection cannot be prepared",
                          "The host name of the address cannot be checked.", SOAP_SSL_ERROR);
    return;
  }
  static thread_local VerifyRecord record;
  record = VerifyRecord();
  tRecord = &record;
  ERR_clear_error();
}

OslTlsHandshake::~OslTlsHandshake() { tRecord = nullptr; }

void OslTlsHandshake::Finish(bool connected) {
  const int error = tRecord ? tRecord->error : X509_V_OK;
  tRecord = nullptr;
  if (connected || !ready_) return;
  if (error != X509_V_OK) {
    const std::string reason =
        "the server certificate of " + host_ + " failed verification: " + Reason(error);
    soap_set_sender_error(soap_, soap_strdup(soap_, reason.c_str()),
                          "Trusted certificates: the system's store, or SSL_CERT_FILE and "
                          "SSL_CERT_DIR when set.",
                          SOAP_SSL_ERROR);
  } else if (soap_->error == SOAP_SSL_ERROR) {
    std::string library = LastLibraryError();
    const std::string reason = "the TLS handshake with " + host_ + " failed" +
                               (library.empty() ? std::string() : ": " + library);
    const char** detail = soap_faultdetail(soap_);
    const char* said = *soap_faultstring(soap_);
    soap_set_sender_error(soap_, soap_strdup(soap_, reason.c_str()),
                          soap_strdup(soap_, said ? said : (detail && *detail ? *detail : "")),
                          SOAP_SSL_ERROR);
  }
}

bool OslTlsHasPending(struct soap* soap) {
  return soap && soap->ssl && SSL_has_pending(soap->ssl) == 1;
}

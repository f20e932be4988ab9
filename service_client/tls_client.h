// TLS for the service client: what a context made by OslSoapContext does when
// it connects to an https:// address.
//
// Trust: the server's certificate chain is verified against the system's
// store of trusted certificates, read through OpenSSL's default locations;
// the environment variables SSL_CERT_FILE (a PEM file of certificates) and
// SSL_CERT_DIR (a folder of hashed certificates) replace those locations
// when set. The certificate must also be issued for the host of the address
// (its DNS names, or its IP addresses for an address given as an IP) and be
// within its validity period. There is no way to turn verification off.
// Protocols: TLS 1.2 and 1.3.
//
// A connection whose certificate fails verification ends with SOAP_SSL_ERROR
// and the fault string "the server certificate of HOST failed verification:
// REASON", REASON being the verifier's words ("self-signed certificate",
// "certificate has expired", "unable to get local issuer certificate", ...)
// or "host name mismatch" / "IP address mismatch". Any other failed handshake
// ends with SOAP_SSL_ERROR and "the TLS handshake with HOST failed: REASON".
#pragma once

#include <string>

#include "service_client/platform.h"  // OslNoSigpipe, which guards TLS writes

struct soap;

// Whether `endpoint` is an https:// address (scheme in any letter case).
bool OslIsTlsAddress(const char* endpoint);

// Makes `soap` verify servers as described above; does nothing when it
// already does. SOAP_OK, or SOAP_SSL_ERROR with the fault set when the
// trusted certificates cannot be read.
int OslUseTls(struct soap* soap);

// The handshake of one connection to `host` on a context readied by
// OslUseTls: construct it before the runtime connects, call Finish after.
class OslTlsHandshake {
 public:
  OslTlsHandshake(struct soap* soap, const char* host);
  ~OslTlsHandshake();
  OslTlsHandshake(const OslTlsHandshake&) = delete;
  OslTlsHandshake& operator=(const OslTlsHandshake&) = delete;

  // False (nothing connected) when the host could not be set for checking;
  // the fault is set then.
  bool ready() const { return ready_; }
  // After a failed connection: rewrites the runtime's fault as described
  // above when the handshake was what failed.
  void Finish(bool connected);

 private:
  struct soap* soap_;
  std::string host_;
  bool ready_ = false;
};

// Whether decrypted bytes already wait in the connection of `soap`, so that
// a reader must not wait on the socket for them.
bool OslTlsHasPending(struct soap* soap);

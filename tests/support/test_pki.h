// Throw-away certificates for TLS tests, made with libcrypto when a test asks for them: a CA of
// its own (trusted by a test only through SSL_CERT_FILE or SSL_CERT_DIR, never by the system)
// and server certificates it issued, good or flawed in one way each. Everything lives in a
// temporary folder removed with the object. Keys are P-256, so making a set takes milliseconds.
//
// Plus the TLS pieces tests need as a peer: a raw exchange with a TLS server (bytes in, bytes
// out), and a front that terminates TLS on a loopback port and relays the plain bytes to a
// plain server behind it, so that plain test servers serve https:// unchanged.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

#include "tests/support/subprocess.h"

namespace osltest {

class TestPki {
 public:
  enum class Server {
    kGood,        // issued by the CA for localhost and 127.0.0.1, valid now
    kWrongHost,   // issued by the CA for elsewhere.example only
    kExpired,     // issued by the CA for localhost and 127.0.0.1, expired yesterday
    kSelfSigned,  // for localhost and 127.0.0.1, signed by its own key
  };

  // Makes the CA and one certificate of each kind; ok() says whether that worked.
  TestPki();
  bool ok() const { return ok_; }

  const std::string& folder() const { return dir_.path(); }
  // The CA's certificate (PEM): the value for SSL_CERT_FILE.
  std::string caFile() const { return dir_.path() + "/ca.pem"; }
  // A folder holding the CA's certificate under its hashed name: the value for SSL_CERT_DIR.
  std::string caDir() const { return dir_.path() + "/hashed"; }
  // The server certificate and its key (PEM files).
  std::string certFile(Server kind) const;
  std::string keyFile(Server kind) const;

 private:
  TempDir dir_;
  bool ok_ = false;
};

// Connects to 127.0.0.1:`port`, runs a TLS handshake that trusts `caFile` only and checks the
// host "127.0.0.1", sends `request`, and reads until the server closes or `timeoutMs` pass.
// False with `error` when the connection or handshake fails (the reply read so far is kept).
bool TlsExchange(int port, const std::string& caFile, const std::string& request,
                 std::string* reply, std::string* error, int timeoutMs = 10000);

// A GET of `url` ("https://127.0.0.1:PORT/path") trusting `caFile`: the status and body of a
// whole reply with Content-Length.
bool HttpsGet(const std::string& url, const std::string& caFile, int* status, std::string* body);

// Terminates TLS on 127.0.0.1 (an ephemeral port) with a certificate and key, and relays every
// connection's decrypted bytes to 127.0.0.1:`backendPort` and the answers back. A client that
// refuses the certificate just ends its connection. Every wait is bounded; the destructor stops
// the relay thread.
class TlsFront {
 public:
  TlsFront(const std::string& certFile, const std::string& keyFile, int backendPort);
  ~TlsFront();
  TlsFront(const TlsFront&) = delete;
  TlsFront& operator=(const TlsFront&) = delete;

  bool ok() const { return ctx_ != nullptr && listenFd_ >= 0; }
  int port() const { return port_; }
  // "https://127.0.0.1:<port>" + path, or with `host` instead of 127.0.0.1.
  std::string Url(const std::string& path, const std::string& host = "127.0.0.1") const;
  // Handshakes that completed so far.
  int handshakes() const { return handshakes_.load(); }

 private:
  void Serve();
  void Relay(int client);

  void* ctx_ = nullptr;  // SSL_CTX
  int listenFd_ = -1;
  int port_ = 0;
  int backendPort_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> handshakes_{0};
  std::thread thread_;
};

}  // namespace osltest

#include "tests/support/test_pki.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sys/stat.h>

namespace osltest {
namespace {

using Clock = std::chrono::steady_clock;

struct KeyFree {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct CertFree {
  void operator()(X509* cert) const { X509_free(cert); }
};
using Key = std::unique_ptr<EVP_PKEY, KeyFree>;
using Cert = std::unique_ptr<X509, CertFree>;

Key NewKey() { return Key(EVP_EC_gen("P-256")); }

bool AddExtension(X509* cert, X509* issuer, int nid, const char* value) {
  X509V3_CTX ctx;
  X509V3_set_ctx_nodb(&ctx);
  X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
  X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
  if (!extension) return false;
  const bool added = X509_add_ext(cert, extension, -1) == 1;
  X509_EXTENSION_free(extension);
  return added;
}

// A certificate for `key` named `commonName`, valid from `fromDays` to `toDays` days from now,
// signed by `issuerKey` in the name of `issuer` (itself when null).
Cert MakeCertificate(EVP_PKEY* key, const char* commonName, long serial, long fromDays,
                     long toDays, X509* issuer, EVP_PKEY* issuerKey, bool ca, const char* names) {
  Cert cert(X509_new());
  if (!cert) return nullptr;
  X509_set_version(cert.get(), 2);
  ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), serial);
  X509_gmtime_adj(X509_getm_notBefore(cert.get()), fromDays * 86400);
  X509_gmtime_adj(X509_getm_notAfter(cert.get()), toDays * 86400);
  X509_set_pubkey(cert.get(), key);
  X509_NAME* name = X509_get_subject_name(cert.get());
  X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>("osl test"), -1, -1, 0);
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>(commonName), -1, -1, 0);
  X509* signer = issuer ? issuer : cert.get();
  X509_set_issuer_name(cert.get(), X509_get_subject_name(signer));
  bool ok = true;
  if (ca) {
    ok = AddExtension(cert.get(), signer, NID_basic_constraints, "critical,CA:TRUE") &&
         AddExtension(cert.get(), signer, NID_key_usage, "critical,keyCertSign,cRLSign");
  } else {
    ok = AddExtension(cert.get(), signer, NID_basic_constraints, "critical,CA:FALSE") &&
         AddExtension(cert.get(), signer, NID_ext_key_usage, "serverAuth") &&
         AddExtension(cert.get(), signer, NID_subject_alt_name, names);
  }
  ok = ok && AddExtension(cert.get(), signer, NID_subject_key_identifier, "hash");
  if (issuer) ok = ok && AddExtension(cert.get(), signer, NID_authority_key_identifier, "keyid");
  if (!ok || X509_sign(cert.get(), issuerKey, EVP_sha256()) == 0) return nullptr;
  return cert;
}

bool WritePem(const std::string& path, X509* cert, EVP_PKEY* key) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  const bool ok = cert ? PEM_write_X509(file, cert) == 1
                       : PEM_write_PrivateKey(file, key, nullptr, nullptr, 0, nullptr, nullptr) == 1;
  return std::fclose(file) == 0 && ok;
}

const char* BaseName(TestPki::Server kind) {
  switch (kind) {
    case TestPki::Server::kGood:
      return "server";
    case TestPki::Server::kWrongHost:
      return "wrong-host";
    case TestPki::Server::kExpired:
      return "expired";
    case TestPki::Server::kSelfSigned:
      return "self-signed";
  }
  return "server";
}

// For its life, writes to a closed connection cannot end the process with SIGPIPE (the TLS
// library writes with write()); a SIGPIPE raised meanwhile is taken back.
class NoSigpipe {
 public:
  NoSigpipe() {
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, &old_);
  }
  ~NoSigpipe() {
    sigset_t pipe, pending;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    sigemptyset(&pending);
    if (sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1) {
      const struct timespec none = {0, 0};
      while (sigtimedwait(&pipe, nullptr, &none) < 0 && errno == EINTR) {
      }
    }
    pthread_sigmask(SIG_SETMASK, &old_, nullptr);
  }

 private:
  sigset_t old_;
};

int ConnectLoopback(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<uint16_t>(port));
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

void SetTimeouts(int fd, int ms) {
  timeval tv{ms / 1000, (ms % 1000) * 1000};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
}

std::string SslErrorText() {
  const unsigned long code = ERR_get_error();
  if (code == 0) return "connection closed";
  char text[256];
  ERR_error_string_n(code, text, sizeof text);
  ERR_clear_error();
  return text;
}

}  // namespace

TestPki::TestPki() {
  Key caKey = NewKey();
  if (!caKey) return;
  Cert ca = MakeCertificate(caKey.get(), "osl test CA", 1, -1, 365, nullptr, caKey.get(), true,
                            nullptr);
  if (!ca || !WritePem(caFile(), ca.get(), nullptr)) return;
  // SSL_CERT_DIR wants the certificate under the hash of its subject, as c_rehash names it.
  if (mkdir(caDir().c_str(), 0700) != 0) return;
  char hashed[32];
  std::snprintf(hashed, sizeof hashed, "/%08lx.0", X509_subject_name_hash(ca.get()));
  if (!WritePem(caDir() + hashed, ca.get(), nullptr)) return;

  const char kLocal[] = "DNS:localhost,IP:127.0.0.1";
  struct Plan {
    Server kind;
    const char* names;
    long from, to;
    bool selfSigned;
  } plans[] = {{Server::kGood, kLocal, -1, 30, false},
               {Server::kWrongHost, "DNS:elsewhere.example", -1, 30, false},
               {Server::kExpired, kLocal, -30, -1, false},
               {Server::kSelfSigned, kLocal, -1, 30, true}};
  long serial = 2;
  for (const Plan& plan : plans) {
    Key key = NewKey();
    if (!key) return;
    Cert cert = plan.selfSigned
                    ? MakeCertificate(key.get(), "localhost", serial++, plan.from, plan.to, nullptr,
                                      key.get(), false, plan.names)
                    : MakeCertificate(key.get(), "localhost", serial++, plan.from, plan.to,
                                      ca.get(), caKey.get(), false, plan.names);
    if (!cert || !WritePem(certFile(plan.kind), cert.get(), nullptr) ||
        !WritePem(keyFile(plan.kind), nullptr, key.get())) {
      return;
    }
  }
  ok_ = true;
}

std::string TestPki::certFile(Server kind) const {
  return dir_.path() + "/" + BaseName(kind) + ".pem";
}

std::string TestPki::keyFile(Server kind) const {
  return dir_.path() + "/" + BaseName(kind) + ".key";
}

bool TlsExchange(int port, const std::string& caFile, const std::string& request,
                 std::string* reply, std::string* error, int timeoutMs) {
  reply->clear();
  const NoSigpipe noSigpipe;
  std::unique_ptr<SSL_CTX, void (*)(SSL_CTX*)> ctx(SSL_CTX_new(TLS_client_method()),
                                                    &SSL_CTX_free);
  if (!ctx || SSL_CTX_load_verify_locations(ctx.get(), caFile.c_str(), nullptr) != 1) {
    *error = "cannot load " + caFile;
    return false;
  }
  SSL_CTX_set_verify(ctx.get(), SSL_VERIFY_PEER, nullptr);
  X509_VERIFY_PARAM_set1_ip_asc(SSL_CTX_get0_param(ctx.get()), "127.0.0.1");
  const int fd = ConnectLoopback(port);
  if (fd < 0) {
    *error = std::string("connect: ") + std::strerror(errno);
    return false;
  }
  SetTimeouts(fd, timeoutMs);
  std::unique_ptr<SSL, void (*)(SSL*)> ssl(SSL_new(ctx.get()), &SSL_free);
  SSL_set_fd(ssl.get(), fd);
  bool ok = false;
  if (SSL_connect(ssl.get()) != 1) {
    *error = "handshake: " + SslErrorText();
  } else {
    size_t sent = 0;
    while (sent < request.size()) {
      const int n = SSL_write(ssl.get(), request.data() + sent,
                              static_cast<int>(std::min<size_t>(request.size() - sent, 1 << 20)));
      if (n <= 0) break;
      sent += static_cast<size_t>(n);
    }
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    char buffer[16384];
    for (;;) {
      const int n = SSL_read(ssl.get(), buffer, sizeof buffer);
      if (n > 0) {
        reply->append(buffer, static_cast<size_t>(n));
        continue;
      }
      const int reason = SSL_get_error(ssl.get(), n);
      ok = reason == SSL_ERROR_ZERO_RETURN || reason == SSL_ERROR_SYSCALL || !reply->empty();
      if (!ok) *error = "read: " + SslErrorText();
      break;
    }
    ERR_clear_error();
    if (Clock::now() > end) ok = false, *error = "no end within the time-out";
  }
  close(fd);
  return ok;
}

bool HttpsGet(const std::string& url, const std::string& caFile, int* status, std::string* body) {
  const std::string prefix = "https://127.0.0.1:";
  if (url.rfind(prefix, 0) != 0) return false;
  const int port = std::atoi(url.c_str() + prefix.size());
  const size_t pathAt = url.find('/', prefix.size());
  const std::string path = pathAt == std::string::npos ? "/" : url.substr(pathAt);
  std::string reply, error;
  if (!TlsExchange(port, caFile,
                   "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
                       "\r\nConnection: close\r\n\r\n",
                   &reply, &error)) {
    return false;
  }
  const size_t headEnd = reply.find("\r\n\r\n");
  if (reply.rfind("HTTP/1.1 ", 0) != 0 || headEnd == std::string::npos) return false;
  *status = std::atoi(reply.c_str() + 9);
  const std::string head = reply.substr(0, headEnd);
  std::string lower = head;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const size_t lengthAt = lower.find("\r\ncontent-length:");
  if (lengthAt == std::string::npos) return false;
  const size_t length = std::strtoul(head.c_str() + lengthAt + 17, nullptr, 10);
  *body = reply.substr(headEnd + 4);
  return body->size() == length;
}

// ---- TlsFront ------------------------------------------------------------------------------

TlsFront::TlsFront(const std::string& certFile, const std::string& keyFile, int backendPort)
    : backendPort_(backendPort) {
  SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
  if (!ctx) return;
  if (SSL_CTX_use_certificate_chain_file(ctx, certFile.c_str()) != 1 ||
      SSL_CTX_use_PrivateKey_file(ctx, keyFile.c_str(), SSL_FILETYPE_PEM) != 1) {
    SSL_CTX_free(ctx);
    return;
  }
  ctx_ = ctx;
  listenFd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  if (listenFd_ < 0 || bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      listen(listenFd_, 8) != 0 ||
      getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    if (listenFd_ >= 0) close(listenFd_);
    listenFd_ = -1;
    return;
  }
  port_ = ntohs(addr.sin_port);
  thread_ = std::thread([this] { Serve(); });
}

TlsFront::~TlsFront() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  if (listenFd_ >= 0) close(listenFd_);
  if (ctx_) SSL_CTX_free(static_cast<SSL_CTX*>(ctx_));
}

std::string TlsFront::Url(const std::string& path, const std::string& host) const {
  return "https://" + host + ":" + std::to_string(port_) + path;
}

void TlsFront::Serve() {
  // The relay writes to clients that may have gone: never a SIGPIPE for the test process.
  sigset_t pipe;
  sigemptyset(&pipe);
  sigaddset(&pipe, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
  while (!stop_) {
    pollfd ready{listenFd_, POLLIN, 0};
    if (poll(&ready, 1, 50) <= 0) continue;
    const int client = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    Relay(client);
    close(client);
  }
}

void TlsFront::Relay(int client) {
  SetTimeouts(client, 5000);
  std::unique_ptr<SSL, void (*)(SSL*)> ssl(SSL_new(static_cast<SSL_CTX*>(ctx_)), &SSL_free);
  if (!ssl) return;
  SSL_set_fd(ssl.get(), client);
  if (SSL_accept(ssl.get()) != 1) {
    ERR_clear_error();  // the client refused the certificate, or was no TLS client
    return;
  }
  ++handshakes_;
  const int backend = ConnectLoopback(backendPort_);
  if (backend < 0) return;
  SetTimeouts(backend, 5000);
  char buffer[16384];
  bool clientOpen = true;
  while (!stop_) {
    if (clientOpen && SSL_has_pending(ssl.get())) {
      const int n = SSL_read(ssl.get(), buffer, sizeof buffer);
      if (n > 0) {
        if (send(backend, buffer, static_cast<size_t>(n), MSG_NOSIGNAL) != n) break;
      }
      continue;
    }
    pollfd ready[2] = {{client, static_cast<short>(clientOpen ? POLLIN : 0), 0},
                       {backend, POLLIN, 0}};
    if (poll(ready, 2, 50) <= 0) continue;
    if (ready[0].revents != 0 && clientOpen) {
      const int n = SSL_read(ssl.get(), buffer, sizeof buffer);
      if (n > 0) {
        if (send(backend, buffer, static_cast<size_t>(n), MSG_NOSIGNAL) != n) break;
      } else if (SSL_get_error(ssl.get(), n) != SSL_ERROR_WANT_READ) {
        // The client is done sending (or gone): the backend sees the end of the request.
        clientOpen = false;
        shutdown(backend, SHUT_WR);
      }
    }
    if (ready[1].revents != 0) {
      const ssize_t n = recv(backend, buffer, sizeof buffer, 0);
      if (n <= 0) break;  // the backend has answered and closed
      if (SSL_write(ssl.get(), buffer, static_cast<int>(n)) != n) break;
    }
  }
  ERR_clear_error();
  SSL_shutdown(ssl.get());
  ERR_clear_error();
  close(backend);
}

}  // namespace osltest

// osl-service over HTTPS: --tls-cert/--tls-key read and checked at start (clear refusals), the
// first line and the upload's addresses say https://, and the gate's checks and limits hold on
// the decrypted requests, the handshake counted in the head's deadline.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <thread>
#include <vector>

#include "tests/refservice/raw_http.h"
#include "tests/refservice/service_fixture.h"
#include "tests/support/subprocess.h"
#include "tests/support/test_pki.h"

namespace osltest {
namespace {

using Server = TestPki::Server;
using Clock = std::chrono::steady_clock;

class TlsServiceTest : public ServiceFixture {
 protected:
  void SetUp() override { ASSERT_TRUE(pki_.ok()); }

  std::vector<std::string> Tls(Server kind = Server::kGood) {
    return {"--tls-cert", pki_.certFile(kind), "--tls-key", pki_.keyFile(kind)};
  }

  // The request over TLS (trusting the test CA) and the parsed reply.
  HttpReply Exchange(const std::string& request) {
    std::string raw, error;
    EXPECT_TRUE(TlsExchange(service_.port(), pki_.caFile(), request, &raw, &error)) << error;
    return ParseReply(raw);
  }

  // osl-service with `extra` options; it must refuse to start.
  RunResult Refused(const std::vector<std::string>& extra) {
    std::vector<std::string> argv = {BuiltProgram("osl-service"), "--listen", "127.0.0.1:0",
                                     "--data", dir_.path() + "/refused"};
    argv.insert(argv.end(), extra.begin(), extra.end());
    RunOptions options;
    options.timeoutMs = 10000;
    return RunProcess(argv, options);
  }

  TestPki pki_;
};

TEST_F(TlsServiceTest, CertificateAndKeyAreCheckedAtStartWithClearRefusals) {
  const std::string cert = pki_.certFile(Server::kGood);
  const std::string key = pki_.keyFile(Server::kGood);
  const std::string text = dir_.Write("notes.txt", "no certificate here\n");
  const struct {
    std::vector<std::string> options;
    std::string says;
  } cases[] = {
      {{"--tls-cert", cert}, "--tls-key"},
      {{"--tls-key", key}, "--tls-cert"},
      {{"--tls-cert", dir_.path() + "/missing.pem", "--tls-key", key},
       "osl-service: cannot read the TLS certificate " + dir_.path() +
           "/missing.pem: No such file or directory\n"},
      {{"--tls-cert", text, "--tls-key", key},
       "osl-service: the TLS certificate " + text + " holds no PEM certificate\n"},
      {{"--tls-cert", cert, "--tls-key", cert},
       "osl-service: the TLS key " + cert + " holds no unencrypted PEM private key\n"},
      {{"--tls-cert", cert, "--tls-key", pki_.keyFile(Server::kSelfSigned)},
       "osl-service: the TLS key " + pki_.keyFile(Server::kSelfSigned) +
           " does not belong to the certificate " + cert + "\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.says);
    const RunResult result = Refused(c.options);
    EXPECT_EQ(2, result.status);
    EXPECT_EQ("", result.out);
    EXPECT_NE(std::string::npos, result.err.find(c.says)) << result.err;
  }
  EXPECT_FALSE(std::filesystem::exists(dir_.path() + "/refused/service.db"));

  // An expired certificate starts, with a warning: clients will refuse it.
  StartService(Tls(Server::kExpired));
  EXPECT_NE(std::string::npos,
            service_.Stderr().find("osl-service: warning: the TLS certificate " +
                                   pki_.certFile(Server::kExpired) +
                                   " has expired; clients will refuse it"))
      << service_.Stderr();
}

TEST_F(TlsServiceTest, ServesHttpsOnlyAndHandsOutHttpsAddresses) {
  StartService(Tls());
  EXPECT_EQ("https://127.0.0.1:" + std::to_string(service_.port()), service_.baseUrl());
  const uint16_t port = service_.port();

  const std::string content = "%PDF-1.4 over TLS \x01\x02\xff";
  const HttpReply upload = Exchange(UploadRequest(port, "tls-session", "card.pdf", content));
  ASSERT_EQ(200, upload.status) << upload.body;
  const std::string prefix = "https://127.0.0.1:" + std::to_string(port) + "/files/tls-session/";
  EXPECT_EQ(0u, upload.body.rfind(prefix, 0)) << upload.body;
  int status = 0;
  std::string body;
  ASSERT_TRUE(HttpsGet(upload.body, pki_.caFile(), &status, &body)) << upload.body;
  EXPECT_EQ(200, status);
  EXPECT_EQ(content, body);

  // Cookies handed out over TLS are kept to TLS.
  const HttpReply signIn = Exchange("GET /signin HTTP/1.1\r\nHost: h\r\nConnection: close\r\n\r\n");
  EXPECT_NE(std::string::npos, signIn.head.find("; HttpOnly; SameSite=Strict; Secure\r\n"))
      << signIn.head;

  // Plain HTTP gets no answer in the clear, and the service goes on serving TLS.
  const RawResult plain = RawSend(port, "GET / HTTP/1.1\r\nHost: h\r\n\r\n", 5000);
  EXPECT_EQ(std::string::npos, plain.bytes.find("HTTP/1.1 200"));
  EXPECT_EQ(200, Exchange("GET / HTTP/1.1\r\nHost: h\r\nConnection: close\r\n\r\n").status);
}

TEST_F(TlsServiceTest, TheGateChecksRunOnTheDecryptedHead) {
  StartService(Tls());
  const std::string soap = "POST /services/builddoc.asmx HTTP/1.1\r\nHost: h\r\n";
  const struct {
    std::string request;
    int status;
    std::string body;
  } cases[] = {
      {soap + "Transfer-Encoding: chunked\r\nContent-Length: 5\r\n\r\n0\r\n\r\n", 400,
       "a request may carry Content-Length or Transfer-Encoding: chunked, not both\n"},
      {soap + "Content-Length: 5\r\nContent-Length: 6\r\n\r\nabcdef", 400,
       "conflicting Content-Length headers\n"},
      {soap + "X-Padding: " + std::string(40 * 1024, 'p') + "\r\nContent-Length: 0\r\n\r\n", 431,
       "the request head is too large\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.body);
    const HttpReply reply = Exchange(c.request);
    EXPECT_EQ(c.status, reply.status);
    EXPECT_EQ(c.body, reply.body);
  }
  EXPECT_TRUE(std::filesystem::is_empty(dir_.path() + "/uploads"));
}

TEST_F(TlsServiceTest, TheHeadDeadlineCoversTheHandshake) {
  StartService([&] {
    std::vector<std::string> options = Tls();
    options.insert(options.end(), {"--head-timeout", "1"});
    return options;
  }());
  const uint16_t port = service_.port();

  // No handshake at all, then a handshake without a head: both closed at the head deadline,
  // long before the 30-second idle time-out.
  auto start = Clock::now();
  const RawResult silent = RawSend(port, "", 10000, /*halfClose=*/false);
  EXPECT_TRUE(silent.peerClosed);
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
  start = Clock::now();
  std::string raw, error;
  TlsExchange(port, pki_.caFile(), "GET / HT", &raw, &error, 10000);
  EXPECT_EQ("", raw);
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(800));
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
  // A whole request is served as ever.
  EXPECT_EQ(200, Exchange("GET / HTTP/1.1\r\nHost: h\r\n\r\n").status);
}

// Bursts of idle connections past the limit, held for seconds and then dropped, in rounds: the
// service answers every time, and a stop with idle connections open ends at once.
TEST_F(TlsServiceTest, IdleFloodsOverTheLimitNeverFreezeTheService) {
  StartService([&] {
    std::vector<std::string> options = Tls();
    options.insert(options.end(), {"--max-connections", "40", "--max-connections-per-address", "0"});
    return options;
  }());
  const uint16_t port = service_.port();
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    std::vector<std::unique_ptr<Connection>> idle;
    for (int i = 0; i < 60; ++i) idle.push_back(std::make_unique<Connection>(port));
    std::this_thread::sleep_for(std::chrono::milliseconds(3000));
    idle.clear();
    int status = 0;
    const auto start = Clock::now();
    while (status != 200 && Clock::now() - start < std::chrono::seconds(8)) {
      std::string raw, error;
      TlsExchange(port, pki_.caFile(), "GET / HTTP/1.1\r\nHost: h\r\n\r\n", &raw, &error, 2000);
      status = ParseReply(raw).status;
    }
    ASSERT_EQ(200, status) << service_.Stderr().substr(0, 2000);
  }
  // Idle connections still open at the stop do not hold it up.
  std::vector<std::unique_ptr<Connection>> idle;
  for (int i = 0; i < 20; ++i) idle.push_back(std::make_unique<Connection>(port));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  const auto stopping = Clock::now();
  EXPECT_EQ(0, StopService());
  EXPECT_LT(Clock::now() - stopping, std::chrono::seconds(7));
}

}  // namespace
}  // namespace osltest

// The service client over https://: the same request bytes as over http:// (calls and upload),
// the server's certificate and host name verified against the trusted certificates
// (SSL_CERT_FILE and SSL_CERT_DIR honoured), refusals that name the host and the reason before
// anything is sent, and the time limits and signal safety of plain connections kept.
//
// A TlsFront terminates TLS on its own port and relays the plain bytes to a CaptureServer, so
// what the server captured is exactly what the client encrypted.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <optional>
#include <string>

#include "service_client/connection_test.h"
#include "service_client/fault_summary.h"
#include "service_client/messages.h"
#include "service_client/plugin_data.h"
#include "service_client/service_calls.h"
#include "service_client/tls_client.h"
#include "service_client/upload.h"
#include "tests/service_client/capture_server.h"
#include "tests/service_client/test_support.h"
#include "tests/support/test_pki.h"
#include "tests/support/thread_group.h"

namespace osltest {
namespace {

using namespace osl_soap;
using Server = TestPki::Server;

const char kTemplateMgr[] = "/services/templateMgr.svc";
const char kBuildDoc[] = "/services/builddoc.asmx";

// Sets (or, with nullopt, removes) an environment variable for the life of the object.
class EnvVar {
 public:
  EnvVar(const char* name, std::optional<std::string> value) : name_(name) {
    if (const char* old = getenv(name)) old_ = old;
    if (value) {
      setenv(name, value->c_str(), 1);
    } else {
      unsetenv(name);
    }
  }
  ~EnvVar() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

void ReplaceAll(std::string* text, const std::string& what, const std::string& with) {
  if (what.empty()) return;
  for (size_t at = text->find(what); at != std::string::npos; at = text->find(what, at + with.size())) {
    text->replace(at, what.size(), with);
  }
}

std::string FaultString(struct soap* soap) {
  const char* text = *soap_faultstring(soap);
  return text ? text : "";
}

class TlsClientTest : public ::testing::Test {
 protected:
  TlsClientTest() : noFile_("SSL_CERT_FILE", std::nullopt), noDir_("SSL_CERT_DIR", std::nullopt) {}
  ~TlsClientTest() override {
    OslPlugInData& data = GetOslPlugInData();
    data.loaded = 0;
    data.uploadUrl = PMString();
    data.sessionId = PMString();
  }

  void SetUp() override { ASSERT_TRUE(pki_.ok()); }

  int ListTemplates(struct soap* soap, const std::string& endpoint) {
    _ns4__getLibraryTemplates request;
    request.email = OslNewString(soap, std::string("designer@example.com"));
    _ns4__getLibraryTemplatesResponse response;
    const int status = CallGetLibraryTemplates(soap, endpoint.c_str(), nullptr, &request, response);
    templates_ = response.getLibraryTemplatesResult
                     ? static_cast<int>(response.getLibraryTemplatesResult->libraryTemplate.size())
                     : -1;
    return status;
  }

  int GetFields(struct soap* soap, const std::string& endpoint) {
    _ns2__getFields request;
    request.userEmail = "designer@example.com";
    request.userPassword = "s3cret & <more>";
    request.docCode = "0f8fad5b-d9cb-469f-a165-70867728950e";
    request.docPassword = "7c9e6679-7425-40de-944b-e07fc1f90ae7";
    _ns2__getFieldsResponse response;
    return CallGetFields(soap, endpoint.c_str(), nullptr, &request, response);
  }

  TestPki pki_;
  EnvVar noFile_, noDir_;  // no trust beyond the system's store unless a test adds it
  ServiceTestScope scope_;
  int templates_ = -1;
};

const char kTemplatesReply[] =
    "<d:getLibraryTemplatesResponse><d:getLibraryTemplatesResult><d:libraryTemplate>"
    "<d:docName>Card</d:docName></d:libraryTemplate></d:getLibraryTemplatesResult>"
    "</d:getLibraryTemplatesResponse>";

TEST_F(TlsClientTest, CallsOverHttpsSendTheSameBytesAsOverHttpAndReadTheirReplies) {
  const EnvVar trust("SSL_CERT_FILE", pki_.caFile());
  for (const char* path : {kBuildDoc, kTemplateMgr}) {
    SCOPED_TRACE(path);
    const bool document = std::string(path) == kBuildDoc;
    CaptureServer server({HttpReply(
        200, "OK", Envelope(document ? kTemplatesReply : "<t:getFieldsResponse/>"))});
    TlsFront front(pki_.certFile(Server::kGood), pki_.keyFile(Server::kGood), server.port());
    ASSERT_TRUE(front.ok());
    const std::string plainHost = "127.0.0.1:" + std::to_string(server.port());
    const std::string tlsHost = "127.0.0.1:" + std::to_string(front.port());
    OslSoapContext plain, secure;
    auto call = [&](struct soap* soap, const std::string& endpoint) {
      return document ? ListTemplates(soap, endpoint) : GetFields(soap, endpoint);
    };
    const size_t before = 0;
    EXPECT_EQ(0, call(plain.get(), server.Url(path)));
    EXPECT_EQ(0, call(secure.get(), front.Url(path))) << FormatSoapFaultReport(secure.get());
    if (document) {
      EXPECT_EQ(1, templates_);
    }
    const auto requests = server.Requests(before + 2);
    ASSERT_EQ(before + 2, requests.size());
    std::string overTls = requests[before + 1];
    EXPECT_NE(std::string::npos, overTls.find("\r\nHost: " + tlsHost + "\r\n"));
    ReplaceAll(&overTls, tlsHost, plainHost);
    EXPECT_EQ(requests[before], overTls);
    EXPECT_EQ(1, front.handshakes());
  }
}

TEST_F(TlsClientTest, AnUploadOverHttpsSendsTheSameFormAsOverHttp) {
  const EnvVar trust("SSL_CERT_FILE", pki_.caFile());
  const std::string address = "https://127.0.0.1/files/s/t/card.pdf";
  CaptureServer server({HttpReply(200, "OK", address, "text/plain")});
  TlsFront front(pki_.certFile(Server::kGood), pki_.keyFile(Server::kGood), server.port());
  ASSERT_TRUE(front.ok());
  std::string content(150000, '\0');
  for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>((i * 7919) >> 3);
  const std::string file = scope_.platform().dir().Write("card.pdf", content);
  const std::string session = "6f1b2c3d-4e5f-4a6b-8c7d-9e0f1a2b3c4d";

  OslPlugInData& data = GetOslPlugInData();
  data.loaded = 1;
  data.sessionId = PMString(session);
  data.uploadUrl = PMString(server.Url("/fileUpload.aspx?sessionid="));
  EXPECT_EQ(address, UploadFile(PMString(file), PMString("card.pdf")).GetUTF8String());
  data.uploadUrl = PMString(front.Url("/fileUpload.aspx?sessionid="));
  EXPECT_EQ(address, UploadFile(PMString(file), PMString("card.pdf")).GetUTF8String());
  EXPECT_TRUE(TakeAlerts().empty());

  auto requests = server.Requests(2);
  ASSERT_EQ(2u, requests.size());
  // Each upload draws its own boundary; the host names its own port.
  for (std::string& request : requests) {
    const size_t at = request.find("boundary=\"") + 10;
    ReplaceAll(&request, request.substr(at, 64), std::string(64, 'B'));
  }
  ReplaceAll(&requests[1], "127.0.0.1:" + std::to_string(front.port()),
             "127.0.0.1:" + std::to_string(server.port()));
  EXPECT_EQ(requests[0], requests[1]);
  EXPECT_NE(std::string::npos, requests[1].find(content.substr(0, 4000)));
}

// Every flaw is refused during the handshake: nothing of the request (which carries the
// account's password) reaches the server, and the failure names the host and the reason.
TEST_F(TlsClientTest, CertificatesThatFailVerificationAreRefusedNamingHostAndReason) {
  const struct {
    Server kind;
    bool trustCa;
    const char* host;
    const char* reason;
  } cases[] = {
      {Server::kSelfSigned, true, "127.0.0.1", "self-signed certificate"},
      {Server::kExpired, true, "127.0.0.1", "certificate has expired"},
      {Server::kWrongHost, true, "127.0.0.1", "IP address mismatch"},
      {Server::kWrongHost, true, "localhost", "host name mismatch"},
      // Issued by a CA the system's store does not hold.
      {Server::kGood, false, "127.0.0.1", "unable to get local issuer certificate"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.host) + ": " + c.reason);
    const EnvVar trust("SSL_CERT_FILE",
                       c.trustCa ? std::optional<std::string>(pki_.caFile()) : std::nullopt);
    CaptureServer server({HttpReply(200, "OK", Envelope(kTemplatesReply))});
    TlsFront front(pki_.certFile(c.kind), pki_.keyFile(c.kind), server.port());
    ASSERT_TRUE(front.ok());
    OslSoapContext context;
    const std::string endpoint = front.Url(kBuildDoc, c.host);
    const int status = ListTemplates(context.get(), endpoint);
    EXPECT_EQ(SOAP_SSL_ERROR, status);
    const std::string expected = std::string("the server certificate of ") + c.host +
                                 " failed verification: " + c.reason;
    EXPECT_EQ(expected, FaultString(context.get()));
    const OslFaultSummary summary = SummarizeFailedCall(context.get(), status, endpoint);
    EXPECT_EQ(PublishRecord::Fault::kTls, summary.kind);
    EXPECT_EQ("the secure (TLS) connection to " + ServiceAddress(endpoint) + " failed (" +
                  expected + ")",
              summary.text);
    EXPECT_NE(std::string::npos, FormatSoapFaultReport(context.get()).find(expected));
    EXPECT_EQ(0, front.handshakes());
    EXPECT_TRUE(server.Requests(0).empty());
  }
}

TEST_F(TlsClientTest, TheTrustedCertificatesComeFromSslCertFileOrSslCertDir) {
  CaptureServer server({HttpReply(200, "OK", Envelope(kTemplatesReply))});
  TlsFront front(pki_.certFile(Server::kGood), pki_.keyFile(Server::kGood), server.port());
  ASSERT_TRUE(front.ok());
  const std::string endpoint = front.Url(kBuildDoc);
  {
    OslSoapContext context;
    EXPECT_EQ(SOAP_SSL_ERROR, ListTemplates(context.get(), endpoint)) << "not trusted yet";
  }
  {
    const EnvVar trust("SSL_CERT_FILE", pki_.caFile());
    OslSoapContext context;
    EXPECT_EQ(0, ListTemplates(context.get(), endpoint)) << FormatSoapFaultReport(context.get());
  }
  {
    const EnvVar trust("SSL_CERT_DIR", pki_.caDir());
    OslSoapContext context;
    EXPECT_EQ(0, ListTemplates(context.get(), endpoint)) << FormatSoapFaultReport(context.get());
  }
  {
    // A trust file that does not exist trusts nothing more; it is no error of its own.
    const EnvVar trust("SSL_CERT_FILE", pki_.folder() + "/missing.pem");
    OslSoapContext context;
    EXPECT_EQ(SOAP_SSL_ERROR, ListTemplates(context.get(), endpoint));
    EXPECT_NE(std::string::npos, FaultString(context.get()).find("failed verification"));
  }
  EXPECT_EQ(2, front.handshakes());
}

TEST_F(TlsClientTest, APlainServerAtAnHttpsAddressIsATlsFailureNamingTheHost) {
  // A plain HTTP server answers the handshake's first bytes with a plain refusal.
  const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ASSERT_GE(listener, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof addr;
  ASSERT_EQ(0, bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr));
  ASSERT_EQ(0, listen(listener, 1));
  ASSERT_EQ(0, getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &length));
  ThreadGroup threads([&] { shutdown(listener, SHUT_RDWR); });
  threads.Start([listener] {
    pollfd ready{listener, POLLIN, 0};
    if (poll(&ready, 1, 10000) <= 0) return;
    const int peer = accept(listener, nullptr, nullptr);
    if (peer < 0) return;
    char sink[1024];
    (void)recv(peer, sink, sizeof sink, 0);
    const char refusal[] = "HTTP/1.1 400 Bad Request\r\nConnection: close\r\n\r\n";
    (void)send(peer, refusal, sizeof refusal - 1, MSG_NOSIGNAL);
    close(peer);
  });
  OslSoapContext context;
  const std::string endpoint =
      "https://127.0.0.1:" + std::to_string(ntohs(addr.sin_port)) + kBuildDoc;
  const int status = ListTemplates(context.get(), endpoint);
  EXPECT_EQ(SOAP_SSL_ERROR, status);
  EXPECT_EQ(0u, FaultString(context.get()).find("the TLS handshake with 127.0.0.1 failed"))
      << FaultString(context.get());
  EXPECT_EQ(PublishRecord::Fault::kTls, SummarizeFailedCall(context.get(), status, endpoint).kind);
  threads.JoinAll();
  close(listener);
}

TEST_F(TlsClientTest, TheSilenceLimitAndTheDeadlineHoldOverTls) {
  const EnvVar trust("SSL_CERT_FILE", pki_.caFile());
  const std::string reply = HttpReply(200, "OK", Envelope("<t:getFieldsResponse/>"));
  const size_t bodyAt = reply.find("\r\n\r\n") + 4;
  scope_.platform().limits().callReceive = 1;
  {
    // Silent for 3 s inside the body; 1 s of silence is allowed.
    CaptureServer server({reply});
    server.SetSilenceAfter(bodyAt + 20, std::chrono::seconds(3));
    TlsFront front(pki_.certFile(Server::kGood), pki_.keyFile(Server::kGood), server.port());
    OslSoapContext context;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(SOAP_EOF, GetFields(context.get(), front.Url(kTemplateMgr)));
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(900));
    EXPECT_LT(took, std::chrono::milliseconds(2500));
    EXPECT_EQ("the service fell silent", FaultString(context.get()));
  }
  {
    // A reply of many TLS records with a shorter pause in the middle is read whole.
    const std::string envelope = Envelope("<t:getFieldsResponse/>");
    const size_t bodyStart = envelope.find("<s:Body>");
    CaptureServer server({HttpReplyOfSize(400000, envelope.substr(0, bodyStart) + "<!--",
                                          "-->" + envelope.substr(bodyStart))});
    server.SetSilenceAfter(200000, std::chrono::milliseconds(400));
    TlsFront front(pki_.certFile(Server::kGood), pki_.keyFile(Server::kGood), server.port());
    OslSoapContext context;
    EXPECT_EQ(0, GetFields(context.get(), front.Url(kTemplateMgr)))
        << FormatSoapFaultReport(context.get());
  }
  {
    // A peer that never answers the handshake is cut off by the call's deadline.
    scope_.platform().limits().callReceive = 60;
    scope_.platform().limits().callDeadline = std::chrono::milliseconds(500);
    SilentPeer peer;
    std::string endpoint = peer.Url(kTemplateMgr);
    endpoint.replace(0, 4, "https");
    OslSoapContext context;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(SOAP_EOF, GetFields(context.get(), endpoint));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    EXPECT_EQ("Time limit exceeded", FaultString(context.get()));
  }
}

// The TLS library writes with write(): without care, a peer that closes while a large request
// is being sent would raise SIGPIPE and end the whole process (here: the test program).
TEST_F(TlsClientTest, APeerThatClosesDuringALargeRequestEndsTheCallNotTheProcess) {
  const EnvVar trust("SSL_CERT_FILE", pki_.caFile());
  CaptureServer server({HttpReply(413, "Content Too Large", "too large", "text/plain")});
  server.SetAnswerAfterHead();
  TlsFront front(pki_.certFile(Server::kGood), pki_.keyFile(Server::kGood), server.port());
  ASSERT_TRUE(front.ok());
  OslSoapContext context;
  _ns2__setFields request;
  request.userEmail = std::string(8 << 20, 'x');
  _ns2__setFieldsResponse response;
  EXPECT_NE(0, CallSetFields(context.get(), front.Url(kTemplateMgr).c_str(), nullptr, &request,
                             response));
}

// The runtime's TLS variant is built with compression; the client neither offers it (the wire
// tests compare the header lines) nor inflates a compressed reply it never asked for.
TEST_F(TlsClientTest, ACompressedReplyIsRefusedAsWithoutTheTlsRuntime) {
  RunOptions gzip;
  gzip.input = Envelope("<t:getFieldsResponse/>");
  const RunResult packed = RunProcess({"/bin/gzip", "-c"}, gzip);
  ASSERT_EQ(0, packed.status);
  std::string reply = HttpReply(200, "OK", packed.out);
  reply.insert(reply.find("\r\n") + 2, "Content-Encoding: gzip\r\n");
  CaptureServer server({reply});
  OslSoapContext context;
  EXPECT_NE(0, GetFields(context.get(), server.Url(kTemplateMgr)));
  EXPECT_EQ(std::string::npos, server.OnlyRequest().find("Accept-Encoding"));
}

// The guard itself: a write to a closed connection fails with EPIPE and leaves no SIGPIPE
// behind, also when the thread had SIGPIPE blocked with one pending before.
TEST(NoSigpipeTest, AWriteToAClosedConnectionFailsWithoutASignal) {
  int pair[2];
  ASSERT_EQ(0, socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair));
  close(pair[1]);
  int error = 0;
  {
    const OslNoSigpipe guard(true);
    EXPECT_EQ(-1, write(pair[0], "x", 1));
    error = errno;
  }
  EXPECT_EQ(EPIPE, error);
  sigset_t pending;
  sigemptyset(&pending);
  ASSERT_EQ(0, sigpending(&pending));
  EXPECT_EQ(0, sigismember(&pending, SIGPIPE));
  close(pair[0]);
}

TEST_F(TlsClientTest, TheConnectionCheckNamesTheCertificateProblem) {
  const EnvVar trust("SSL_CERT_FILE", pki_.caFile());
  CaptureServer server({HttpReply(200, "OK", Envelope(kTemplatesReply))});
  TlsFront front(pki_.certFile(Server::kSelfSigned), pki_.keyFile(Server::kSelfSigned),
                 server.port());
  ASSERT_TRUE(front.ok());
  const TempDir& dir = scope_.platform().dir();
  dir.Write("Osl.cfg", "server:" + front.Url("") + "\nuser:designer@example.com\npass:pw\n");
  SetPlugInPath(dir.path() + "/Osl.pln");
  ResetPlugInData();
  const ConnectionTestResult result = TestServiceConnection();
  ResetPlugInData();
  ForgetPlugInPath();
  EXPECT_FALSE(result.ok);
  EXPECT_EQ("tls", result.problem);
  EXPECT_EQ("the secure connection to " + front.Url("") +
                " failed: the server certificate of 127.0.0.1 failed verification: "
                "self-signed certificate; if the service's certificate comes from your own "
                "certificate authority, set SSL_CERT_FILE to that authority's certificate (a PEM "
                "file)",
            result.message);
}

}  // namespace
}  // namespace osltest

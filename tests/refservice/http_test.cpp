// osl-service's HTTP behaviour on raw sockets: every reply framed exactly (Content-Length,
// "Connection: close", then the connection closes), framing that could be read two ways refused,
// slow or stalled clients cut by deadlines without starving others, and a bounded number of
// connections.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <random>
#include <thread>

#include "tests/refservice/raw_http.h"
#include "tests/refservice/service_fixture.h"
#include "tests/refservice/soap_client.h"
#include "tests/support/subprocess.h"
#include "tests/support/thread_group.h"

namespace osltest {
namespace {

using Clock = std::chrono::steady_clock;

std::string Envelope(const std::string& body) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<SOAP-ENV:Envelope "
         "xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\" "
         "xmlns:ns4=\"urn:osl:templates/\"><SOAP-ENV:Body>" +
         body + "</SOAP-ENV:Body></SOAP-ENV:Envelope>";
}

std::string LibraryRequest(const std::string& password) {
  std::string envelope = Envelope("<ns4:getLibraryTemplates><ns4:email>" + std::string(kAnn) +
                                  "</ns4:email><ns4:password>" + password +
                                  "</ns4:password></ns4:getLibraryTemplates>");
  return PostRequest("/services/builddoc.asmx", "text/xml; charset=utf-8", envelope,
                     "SOAPAction: \"urn:osl:templates/getLibraryTemplates\"\r\n");
}

// Sends `bytes` one at a time, `gapMs` apart, until the service answers or closes, or everything
// is sent. Returns what the service sent and how many bytes went out.
std::string Trickle(uint16_t port, const std::string& bytes, int gapMs, size_t* sent,
                    bool* closed) {
  Connection connection(port);
  *sent = 0;
  *closed = false;
  std::string reply;
  for (char c : bytes) {
    if (!connection.Send(std::string(1, c))) break;
    ++*sent;
    reply += connection.Receive(gapMs, closed);
    if (*closed || !reply.empty()) break;
  }
  if (!*closed) reply += connection.Receive(3000, closed);
  return reply;
}

class HttpTest : public ServiceFixture {};

enum class After { kClosed, kKept };

// Checks one exchange: a single reply whose head carries exactly one Content-Length, whose body
// has exactly that length (none for HEAD), and either "Connection: close" after which the service
// closed the connection although the client kept its side open, or (the web pages and the
// document API) no such header and the connection still open a while after the reply.
void ExpectFramedReply(uint16_t port, const std::string& request, int status, bool head = false,
                       After after = After::kClosed) {
  SCOPED_TRACE(request.substr(0, request.find('\r')));
  const bool kept = after == After::kKept;
  RawResult result = RawSend(port, request, kept ? 1500 : 10000, /*halfClose=*/false);
  EXPECT_EQ(!kept, result.peerClosed) << (kept ? "the service closed the connection"
                                                : "the service kept the connection open");
  HttpReply reply = ParseReply(result.bytes);
  EXPECT_EQ(reply.status, status) << result.bytes.substr(0, 300);
  std::string headText = "\r\n" + reply.head;
  const std::string lengthName = "\r\nContent-Length: ";
  size_t at = headText.find(lengthName);
  ASSERT_NE(at, std::string::npos) << reply.head;
  size_t digits = at + lengthName.size();
  size_t lineEnd = headText.find("\r\n", digits);
  std::string lengthText = headText.substr(digits, lineEnd - digits);
  ASSERT_TRUE(!lengthText.empty() &&
              lengthText.find_first_not_of("0123456789") == std::string::npos)
      << reply.head;
  size_t length = std::stoul(lengthText);
  EXPECT_EQ(headText.find("\r\nContent-Length:", at + 2), std::string::npos)
      << "one Content-Length only";
  EXPECT_EQ(!kept, headText.find("\r\nConnection: close\r\n") != std::string::npos)
      << reply.head;
  EXPECT_EQ(reply.body.size(), head ? 0 : length) << "the body is exactly Content-Length long";
}

TEST_F(HttpTest, EveryReplyIsFramedAndOnlyWebRepliesKeepTheConnection) {
  StartService({"--fault", "getLibraryTemplates:http-503:1", "--fault",
                "getLibraryTemplates:garbage:1", "--fault", "getLibraryTemplates:delay:1",
                "--delay-ms", "200", "--max-soap-mb", "1"});
  const uint16_t port = service_.port();
  ExpectFramedReply(port, LibraryRequest(kAnnPw), 503);
  ExpectFramedReply(port, LibraryRequest(kAnnPw), 200);  // garbage
  ExpectFramedReply(port, LibraryRequest(kAnnPw), 200);  // delayed
  ExpectFramedReply(port, LibraryRequest(kAnnPw), 200);
  ExpectFramedReply(port, LibraryRequest("wrong"), 500);
  ExpectFramedReply(port, "GET / HTTP/1.1\r\nHost: h\r\n\r\n", 200, false, After::kKept);
  ExpectFramedReply(port, "HEAD / HTTP/1.1\r\nHost: h\r\n\r\n", 200, /*head=*/true,
                    After::kKept);
  // HTTP/1.0 and a client that asks to close: closed after a page too.
  ExpectFramedReply(port, "GET / HTTP/1.0\r\n\r\n", 200);
  ExpectFramedReply(port, "GET / HTTP/1.1\r\nHost: h\r\nConnection: close\r\n\r\n", 200);
  ExpectFramedReply(port, "GET /nowhere HTTP/1.1\r\nHost: h\r\n\r\n", 404);
  ExpectFramedReply(port, "GET /files/s/0123/x.pdf HTTP/1.0\r\n\r\n", 404);
  ExpectFramedReply(port, "PUT / HTTP/1.1\r\nHost: h\r\nContent-Length: 0\r\n\r\n", 405, false,
                    After::kKept);
  ExpectFramedReply(port, "HEAD /services/builddoc.asmx HTTP/1.1\r\nHost: h\r\n\r\n", 405,
                    /*head=*/true);
  HttpReply upload = Upload(port, "s-1", "a.pdf", "pdf bytes");
  ASSERT_EQ(upload.status, 200);
  ExpectFramedReply(port, UploadRequest(port, "s-1", "b.pdf", "more"), 200);
  std::string path = upload.body.substr(upload.body.find("/files/"));
  ExpectFramedReply(port, "GET " + path + " HTTP/1.1\r\nHost: h\r\n\r\n", 200);
  ExpectFramedReply(port, "HEAD " + path + " HTTP/1.1\r\nHost: h\r\n\r\n", 200, /*head=*/true);
  ExpectFramedReply(port, PostRequest("/fileUpload.aspx?sessionid=s", "text/plain", "x"), 400);
  ExpectFramedReply(
      port, "POST /services/builddoc.asmx HTTP/1.1\r\nHost: h\r\nContent-Length: 2000000\r\n\r\n",
      413);
  // Too large, found out while the (chunked) body arrives: answered once it has been read.
  ExpectFramedReply(port,
                    "POST /services/builddoc.asmx HTTP/1.1\r\nHost: h\r\nTransfer-Encoding: "
                    "chunked\r\n\r\n180000\r\n" +
                        std::string(0x180000, 'x') + "\r\n0\r\n\r\n",
                    413);
  // Answered by the gate in front of the HTTP library.
  ExpectFramedReply(port, "POST / HTTP/1.1\r\nContent-Length: 3\r\nContent-Length: 4\r\n\r\n", 400);
  ExpectFramedReply(port, "POST / HTTP/1.1\r\nContent-Length: -1\r\n\r\n", 400);
  ExpectFramedReply(port, "POST / HTTP/1.1\r\nContent-Length: 123456789012345678901\r\n\r\n", 413);
  ExpectFramedReply(port, "POST / HTTP/1.1\r\nTransfer-Encoding: gzip\r\n\r\n", 501);
  ExpectFramedReply(port, "GET /" + std::string(40000, 'a') + " HTTP/1.1\r\n\r\n", 431);
  // Answered by the HTTP library itself.
  ExpectFramedReply(port, "GET / HTTP/2.0\r\n\r\n", 505);
  ExpectFramedReply(port,
                    "POST /services/builddoc.asmx HTTP/1.1\r\nHost: h\r\nTransfer-Encoding: "
                    "chunked\r\n\r\nzz\r\n",
                    400);
}

TEST_F(HttpTest, ContentLengthWithChunkedIsRefused) {
  StartService();
  std::string body = UploadBody("b", "both.pdf", "bytes");
  std::string chunked = "POST /fileUpload.aspx?sessionid=s HTTP/1.1\r\nHost: h\r\nContent-Type: " +
                        UploadContentType("b") +
                        "\r\nContent-Length: " + std::to_string(body.size()) +
                        "\r\nTransfer-Encoding: chunked\r\n\r\n" + [&] {
                          char size[16];
                          std::snprintf(size, sizeof size, "%zx\r\n", body.size());
                          return std::string(size) + body + "\r\n0\r\n\r\n";
                        }();
  HttpReply reply = ParseReply(RawExchange(service_.port(), chunked));
  EXPECT_EQ(reply.status, 400);
  EXPECT_EQ(reply.body,
            "a request may carry Content-Length or Transfer-Encoding: chunked, not both\n");
  HttpReply soap = ParseReply(RawExchange(
      service_.port(),
      "POST /services/builddoc.asmx HTTP/1.1\r\nHost: h\r\nTransfer-Encoding: chunked\r\n"
      "Content-Length: 5\r\n\r\n0\r\n\r\n"));
  EXPECT_EQ(soap.status, 400);
  EXPECT_TRUE(std::filesystem::is_empty(dir_.path() + "/uploads"));
}

TEST_F(HttpTest, SlowClientsDoNotStarveOthers) {
  // One worker and many more connections: clients that send a byte now and then must not keep
  // the others waiting.
  StartService({"--threads", "1", "--head-timeout", "60", "--timeout", "60"});
  const uint16_t port = service_.port();
  std::atomic<bool> done{false};
  ThreadGroup slow([&] { done = true; });
  for (int i = 0; i < 8; ++i) {
    slow.Start([&, i] {
      Connection connection(port);
      std::string request = i % 2 == 0
                                ? LibraryRequest(kAnnPw)
                                : UploadRequest(port, "slow", "s.bin", std::string(500, 's'));
      // Half of them stall in the head, the others in the body.
      size_t stallAt = i % 2 == 0 ? 30 : request.find("\r\n\r\n") + 40;
      connection.Send(request.substr(0, stallAt));
      for (size_t at = stallAt; at < request.size() && !done; ++at) {
        connection.Send(request.substr(at, 1));
        bool closed = false;
        connection.Receive(250, &closed);
        if (closed) break;
      }
    });
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the slow ones are connected
  for (int round = 0; round < 5; ++round) {
    SoapClient client(port, kAnn, kAnnPw);
    std::vector<osl_soap::ns4__libraryTemplate*> list;
    EXPECT_EQ(client.GetLibraryTemplates(kAnn, kAnnPw, &list), SOAP_OK) << FaultText(client.soap());
    EXPECT_EQ(Upload(port, "fast", "f.bin", "fast").status, 200);
  }
  slow.JoinAll();
}

TEST_F(HttpTest, DeadlinesEndTricklingAndSilentClients) {
  StartService({"--head-timeout", "2", "--request-timeout", "3", "--timeout", "1"});
  const uint16_t port = service_.port();
  size_t sent = 0;
  bool closed = false;

  // A head that trickles in is cut at its deadline with 408, long before it is complete.
  std::string head = "GET / HTTP/1.1\r\nX-Padding: " + std::string(100, 'p') + "\r\n\r\n";
  std::string reply = Trickle(port, head, 150, &sent, &closed);  // under the idle time-out
  EXPECT_EQ(ParseReply(reply).status, 408) << reply;
  EXPECT_EQ(ParseReply(reply).body, "the request head did not arrive in time\n");
  EXPECT_LT(sent, head.size());
  EXPECT_TRUE(closed);

  // A body that trickles in is cut at the exchange deadline; nothing is stored.
  std::string upload = UploadRequest(port, "trickle", "t.bin", std::string(200, 't'));
  size_t bodyStart = upload.find("\r\n\r\n") + 4;
  Connection connection(port);
  ASSERT_TRUE(connection.Send(upload.substr(0, bodyStart)));
  closed = false;
  size_t at = bodyStart;
  for (; at < upload.size() && !closed; ++at) {
    if (!connection.Send(upload.substr(at, 1))) break;
    connection.Receive(150, &closed);
  }
  EXPECT_LT(at, upload.size()) << "the trickling body was never cut";
  EXPECT_TRUE(std::filesystem::is_empty(dir_.path() + "/uploads"));

  // A client that sends nothing at all is answered 408 after the idle time-out.
  Connection silent(port);
  std::string silence = silent.Receive(10000, &closed);
  EXPECT_EQ(ParseReply(silence).status, 408);
  EXPECT_EQ(ParseReply(silence).body, "the client sent nothing for too long\n");
  EXPECT_TRUE(closed);
}

TEST_F(HttpTest, ConnectionsBeyondTheLimitAreTurnedAway) {
  StartService({"--max-connections", "3"});
  const uint16_t port = service_.port();
  std::vector<std::unique_ptr<Connection>> held;
  for (int i = 0; i < 2; ++i) {
    held.push_back(std::make_unique<Connection>(port));
    ASSERT_TRUE(held.back()->Send("GET / HT"));
  }
  // The third connection is the last one allowed: it is served, however long the others wait.
  std::this_thread::sleep_for(std::chrono::milliseconds(100));  // the two are accepted
  EXPECT_EQ(ParseReply(RawExchange(port, "GET / HTTP/1.1\r\nHost: h\r\n\r\n")).status, 200);
  held.clear();

  for (int i = 0; i < 3; ++i) {
    held.push_back(std::make_unique<Connection>(port));
    ASSERT_TRUE(held.back()->Send("GET / HT"));  // a head that has not ended
  }
  // The extra connection is answered 503 once the three are taken.
  HttpReply busy;
  for (int attempt = 0; attempt < 50 && busy.status != 503; ++attempt) {
    busy = ParseReply(RawExchange(port, "GET / HTTP/1.1\r\nHost: h\r\n\r\n"));
    if (busy.status != 503) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_EQ(busy.status, 503);
  EXPECT_EQ(busy.body, "the service is busy, try again\n");
  held.clear();
  HttpReply served;
  for (int attempt = 0; attempt < 50 && served.status != 200; ++attempt) {
    served = ParseReply(RawExchange(port, "GET / HTTP/1.1\r\nHost: h\r\n\r\n"));
    if (served.status != 200) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_EQ(served.status, 200);
}

// One address may hold only so many connections (N served, N + 1 answered 503 with Retry-After),
// and a body must keep up a minimum rate: trickled in, it is cut after the grace, long before the
// request deadline; sent just above the rate, it is served.
TEST_F(HttpTest, CrowdedAddressesAndTrickledBodiesAreCutEarly) {
  StartService({"--max-connections", "20", "--max-connections-per-address", "4", "--head-timeout",
                "2", "--min-body-rate", "1024"});
  const uint16_t port = service_.port();
  std::vector<std::unique_ptr<Connection>> held;
  for (int i = 0; i < 3; ++i) {
    held.push_back(std::make_unique<Connection>(port));
    ASSERT_TRUE(held.back()->Send("GET / HT"));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(100));  // the three are accepted
  EXPECT_EQ(ParseReply(RawExchange(port, "GET / HTTP/1.1\r\nHost: h\r\n\r\n")).status, 200);
  held.push_back(std::make_unique<Connection>(port));
  ASSERT_TRUE(held.back()->Send("GET / HT"));
  // The fourth is counted once the service has accepted it, and a served exchange is counted off
  // only once the service has seen it close: on a loaded machine either can lag, so a held
  // connection can be refused for arriving too early, or cut when its head time-out runs out.
  // So open any held connection that was closed again, and ask (for up to 10 s) until the next
  // one is turned away.
  HttpReply crowded;
  for (const auto until = Clock::now() + std::chrono::seconds(10);
       Clock::now() < until && crowded.status != 503;) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    bool replaced = false;
    for (auto& connection : held) {
      bool closed = false;
      connection->Receive(20, &closed);
      if (closed) {
        connection = std::make_unique<Connection>(port);
        ASSERT_TRUE(connection->Send("GET / HT"));
        replaced = true;
      }
    }
    if (!replaced) crowded = ParseReply(RawExchange(port, "GET / HTTP/1.1\r\nHost: h\r\n\r\n"));
  }
  EXPECT_EQ(crowded.status, 503);
  EXPECT_EQ(crowded.body, "too many connections from your address; try again\n");
  EXPECT_NE(crowded.head.find("\r\nRetry-After: 1\r\n"), std::string::npos) << crowded.head;
  held.clear();
  // The service counts the closed connections off once it has seen them close: on a loaded
  // machine that can take a while, so wait (bounded) until this address is served again.
  for (int tries = 0; tries < 30; ++tries) {
    if (ParseReply(RawExchange(port, "GET / HTTP/1.1\r\nHost: h\r\n\r\n")).status == 200) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }

  const struct {
    const char* what;
    size_t piece;  // bytes sent every 250 ms
    bool served;
  } bodies[] = {
      {"a byte now and then", 1, false},
      {"just above the minimum rate", 400, true},
  };
  for (const auto& body : bodies) {
    SCOPED_TRACE(body.what);
    const std::string upload =
        PostRequest("/fileUpload.aspx?sessionid=rate-" + std::to_string(body.piece),
                    UploadContentType(kUploadBoundary),
                    UploadBody(kUploadBoundary, "r.bin", std::string(6000, 'r')));
    const size_t bodyStart = upload.find("\r\n\r\n") + 4;
    Connection connection(port);
    ASSERT_TRUE(connection.Send(upload.substr(0, bodyStart)));
    const auto start = Clock::now();
    bool closed = false;
    std::string reply;
    for (size_t at = bodyStart; at < upload.size() && !closed && reply.empty() &&
                                Clock::now() - start < std::chrono::seconds(12);
         at += body.piece) {
      if (!connection.Send(upload.substr(at, body.piece))) break;
      reply += connection.Receive(250, &closed);
    }
    if (!closed) reply += connection.Receive(3000, &closed);
    if (body.served) {
      EXPECT_NE(ParseReply(reply).status, 0) << "the body was cut although it kept the rate";
    } else {
      EXPECT_EQ(reply, "");
      EXPECT_TRUE(closed);
      EXPECT_LT(Clock::now() - start, std::chrono::seconds(6));
    }
  }
}

// The address an upload replies names the service as configured, whatever Host the client
// sends: the listen address, or --public-url (checked at start).
TEST_F(HttpTest, UploadAddressesNameTheServiceNotTheClientsHost) {
  StartService();
  const std::string own = "127.0.0.1:" + std::to_string(service_.port());
  std::string request = UploadRequest(service_.port(), "host-test", "h.pdf", "%PDF-1.4 h");
  request.replace(request.find("Host: " + own), 6 + own.size(), "Host: evil.example");
  HttpReply reply = ParseReply(RawExchange(service_.port(), request));
  ASSERT_EQ(reply.status, 200) << reply.body;
  EXPECT_EQ(reply.body.rfind("http://" + own + "/files/host-test/", 0), 0u) << reply.body;
  ASSERT_EQ(StopService(), 0);

  for (const char* bad : {"http://x.org/path", "ftp://x.org", "http://a b.org", "http://x.org:0",
                          "http://user@x.org"}) {
    RunOptions options;
    options.timeoutMs = 10000;
    RunResult refused = RunProcess({BuiltProgram("osl-service"), "--listen", "127.0.0.1:0",
                                    "--data", dir_.path(), "--public-url", bad},
                                   options);
    EXPECT_EQ(refused.status, 2) << bad;
    EXPECT_NE(refused.err.find("--public-url expects"), std::string::npos) << refused.err;
  }
  StartService({"--public-url", "HTTPS://files.example.org:8443/"});
  reply = Upload(service_.port(), "host-test", "p.pdf", "%PDF-1.4 p");
  ASSERT_EQ(reply.status, 200) << reply.body;
  EXPECT_EQ(reply.body.rfind("https://files.example.org:8443/files/host-test/", 0), 0u)
      << reply.body;
}

// A request exactly at a size limit is served; one byte more is refused.
TEST_F(HttpTest, RequestsExactlyAtTheSizeLimitsAreServed) {
  constexpr size_t kMiB = 1 << 20;
  StartService({"--max-soap-mb", "1", "--max-upload-mb", "1"});
  const uint16_t port = service_.port();

  // The head, request line to closing empty line, may be 32 KiB.
  auto headOf = [](size_t size) {
    std::string head = "GET / HTTP/1.1\r\nHost: h\r\nX-Padding: \r\n\r\n";
    head.insert(head.find("X-Padding: ") + 11, size - head.size(), 'p');
    return head;
  };
  EXPECT_EQ(ParseReply(RawExchange(port, headOf(32 * 1024))).status, 200);
  EXPECT_EQ(ParseReply(RawExchange(port, headOf(32 * 1024 + 1))).status, 431);

  // A SOAP body of --max-soap-mb, with Content-Length and chunked.
  auto envelopeOf = [](size_t size) {
    std::string envelope = Envelope("<ns4:getLibraryTemplates><ns4:email>" + std::string(kAnn) +
                                    "</ns4:email><ns4:password>" + kAnnPw +
                                    "</ns4:password></ns4:getLibraryTemplates>");
    envelope.insert(envelope.find("<ns4:getLibraryTemplates>"), size - envelope.size(), ' ');
    return envelope;
  };
  auto soapWithLength = [&](size_t size) {
    return PostRequest("/services/builddoc.asmx", "text/xml; charset=utf-8", envelopeOf(size),
                       "SOAPAction: \"urn:osl:templates/getLibraryTemplates\"\r\n");
  };
  auto soapChunked = [&](size_t size) {
    std::string envelope = envelopeOf(size);
    char sizeLine[32];
    std::snprintf(sizeLine, sizeof sizeLine, "%zx\r\n", envelope.size());
    return "POST /services/builddoc.asmx HTTP/1.1\r\nHost: h\r\nContent-Type: text/xml\r\n"
           "Transfer-Encoding: chunked\r\n\r\n" +
           std::string(sizeLine) + envelope + "\r\n0\r\n\r\n";
  };
  EXPECT_EQ(ParseReply(RawExchange(port, soapWithLength(kMiB))).status, 200);
  EXPECT_EQ(ParseReply(RawExchange(port, soapWithLength(kMiB + 1))).status, 413);
  EXPECT_EQ(ParseReply(RawExchange(port, soapChunked(kMiB))).status, 200);
  EXPECT_EQ(ParseReply(RawExchange(port, soapChunked(kMiB + 1))).status, 413);

  // An upload body of --max-upload-mb, chunked as the plug-in sends it and with Content-Length.
  const size_t overhead = UploadBody(kUploadBoundary, "limit.bin", "").size();
  HttpReply atLimit = Upload(port, "s-limit", "limit.bin", std::string(kMiB - overhead, 'u'));
  EXPECT_EQ(atLimit.status, 200) << atLimit.body;
  EXPECT_EQ(Upload(port, "s-limit", "limit.bin", std::string(kMiB - overhead + 1, 'u')).status,
            413);
  auto uploadWithLength = [&](size_t size) {
    return PostRequest("/fileUpload.aspx?sessionid=s-limit", UploadContentType(kUploadBoundary),
                       UploadBody(kUploadBoundary, "limit.bin", std::string(size - overhead, 'v')));
  };
  EXPECT_EQ(ParseReply(RawExchange(port, uploadWithLength(kMiB))).status, 200);
  EXPECT_EQ(ParseReply(RawExchange(port, uploadWithLength(kMiB + 1))).status, 413);
}

// Clients that keep just inside the time limits are served, however slowly they send: a head in
// pieces, a gap under the silence limit each, the whole under the head's limit; and an upload
// whose body takes most of the exchange's time. Both go at once.
TEST_F(HttpTest, ClientsJustInsideTheDeadlinesAreServed) {
  StartService({"--timeout", "1", "--head-timeout", "2", "--request-timeout", "4"});
  const uint16_t port = service_.port();
  const std::vector<std::string> head = {"GET / HTTP/1.1\r\n", "Host: h\r\n", "X-Slow: yes\r\n",
                                         "\r\n"};
  std::string upload = UploadRequest(port, "slow", "slow.bin", std::string(4000, 's'));
  size_t bodyStart = upload.find("\r\n\r\n") + 4;
  const size_t piece = (upload.size() - bodyStart + 2) / 3;
  std::vector<std::string> uploadPieces = {upload.substr(0, bodyStart)};
  for (size_t at = bodyStart; at < upload.size(); at += piece) {
    uploadPieces.push_back(upload.substr(at, piece));
  }
  ASSERT_EQ(uploadPieces.size(), 4u);
  Connection slowHead(port);
  Connection slowUpload(port);
  for (size_t i = 0; i < head.size(); ++i) {
    if (i > 0) std::this_thread::sleep_for(std::chrono::milliseconds(600));
    ASSERT_TRUE(slowHead.Send(head[i]));
    ASSERT_TRUE(slowUpload.Send(uploadPieces[i]));
  }
  bool closed = false;
  EXPECT_EQ(ParseReply(slowHead.Receive(5000, &closed)).status, 200);
  HttpReply reply = ParseReply(slowUpload.Receive(5000, &closed));
  EXPECT_EQ(reply.status, 200) << reply.body;
}

TEST_F(HttpTest, RandomBytesNeverStopTheService) {
  StartService({"--timeout", "1", "--head-timeout", "2"});
  std::mt19937 random(99);
  for (int round = 0; round < 150; ++round) {
    std::string junk;
    if (round % 2 == 0) {
      junk = round % 4 == 0
                 ? "POST /fileUpload.aspx?sessionid=f HTTP/1.1\r\n"
                   "Transfer-Encoding: chunked\r\nContent-Type: multipart/form-data; "
                   "boundary=b\r\n\r\n"
                 : "POST /services/templateMgr.svc HTTP/1.1\r\nContent-Length: 60\r\n\r\n";
    }
    size_t size = random() % 200;
    for (size_t i = 0; i < size; ++i) junk.push_back(static_cast<char>(random() & 0xFF));
    RawExchange(service_.port(), junk, 3000);
  }
  EXPECT_TRUE(service_.Running());
  SoapClient client(service_.port(), kAnn, kAnnPw);
  std::vector<osl_soap::ns4__libraryTemplate*> list;
  EXPECT_EQ(client.GetLibraryTemplates(kAnn, kAnnPw, &list), SOAP_OK);
  EXPECT_TRUE(std::filesystem::is_empty(dir_.path() + "/incoming"));
}

}  // namespace
}  // namespace osltest

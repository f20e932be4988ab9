// The file upload: the request on the wire (masking only the session
// identifier and the boundary), the reply, and the alerts of every failure.
#include "service_client/upload.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "service_client/platform.h"
#include "service_client/plugin_data.h"
#include "tests/service_client/capture_server.h"
#include "tests/service_client/test_support.h"
#include "tests/support/thread_group.h"

namespace osltest {
namespace {

const std::string kSession = "6f1b2c3d-4e5f-4a6b-8c7d-9e0f1a2b3c4d";
const std::string kBoundaryMask(64, 'B');
const std::string kSessionMask(36, 'S');

std::string Text(const PMString& text) { return text.GetUTF8String(); }

void ReplaceAll(std::string* text, const std::string& what, const std::string& with) {
  if (what.empty()) return;
  for (size_t at = text->find(what); at != std::string::npos; at = text->find(what, at + 1)) {
    text->replace(at, what.size(), with);
  }
}

// A captured upload request split into its parts.
struct Upload {
  std::string header;  // up to and including the empty line, masked
  std::string body;    // de-chunked, masked
  std::vector<size_t> chunks;
  std::string boundary;  // as sent
  bool framed = false;   // chunk framing well formed and ended
};

Upload Split(const std::string& request) {
  Upload upload;
  const size_t headerEnd = request.find("\r\n\r\n");
  if (headerEnd == std::string::npos) return upload;
  upload.header = request.substr(0, headerEnd + 4);
  const size_t boundaryAt = upload.header.find("boundary=\"");
  if (boundaryAt != std::string::npos) {
    const size_t start = boundaryAt + 10;
    upload.boundary = upload.header.substr(start, upload.header.find('"', start) - start);
  }
  size_t at = headerEnd + 4;
  bool first = true;
  for (;;) {
    if (!first) {
      if (request.compare(at, 2, "\r\n") != 0) return upload;
      at += 2;
    }
    first = false;
    const size_t lineEnd = request.find("\r\n", at);
    if (lineEnd == std::string::npos) return upload;
    const std::string sizeText = request.substr(at, lineEnd - at);
    if (sizeText.empty() || sizeText.find_first_not_of("0123456789ABCDEF") != std::string::npos) {
      return upload;
    }
    const size_t size = std::strtoul(sizeText.c_str(), nullptr, 16);
    at = lineEnd + 2;
    if (size == 0) {
      upload.framed = request.compare(at, std::string::npos, "\r\n") == 0;
      break;
    }
    upload.chunks.push_back(size);
    upload.body += request.substr(at, size);
    at += size;
  }
  ReplaceAll(&upload.header, upload.boundary, kBoundaryMask);
  ReplaceAll(&upload.header, kSession, kSessionMask);
  ReplaceAll(&upload.body, upload.boundary, kBoundaryMask);
  return upload;
}

// "==", 60 characters of the base64 alphabet, "==".
bool IsBoundary(const std::string& boundary) {
  const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  return boundary.size() == 64 && boundary.compare(0, 2, "==") == 0 &&
         boundary.compare(62, 2, "==") == 0 &&
         boundary.substr(2, 60).find_first_not_of(alphabet) == std::string::npos;
}

std::string ExpectedHeader(int port) {
  return "POST /fileUpload.aspx?sessionid=" + kSessionMask +
         " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
         "\r\nUser-Agent: gSOAP/2.8\r\nContent-Type: multipart/form-data; boundary=\"" +
         kBoundaryMask +
         "\"; type=\"text/xml\"; start=\"<SOAP-ENV:Envelope>\"\r\nTransfer-Encoding: chunked\r\n"
         "Connection: close\r\n\r\n";
}

std::string ExpectedBody(const std::string& name, const std::string& content) {
  return "\r\n--" + kBoundaryMask +
         "\r\nContent-Type: application/octet-stream\r\nContent-Transfer-Encoding: binary\r\n"
         "Content-Disposition: form-data;  name=\"file\"; filename=\"" +
         name + "\"\r\n\r\n" + content + "\r\n--" + kBoundaryMask + "--";
}

class UploadTest : public ::testing::Test {
 protected:
  UploadTest() { Configure("http://127.0.0.1:1"); }
  ~UploadTest() override {
    OslPlugInData& data = GetOslPlugInData();
    data.loaded = 0;
    data.uploadUrl = PMString();
    data.sessionId = PMString();
  }

  // Points the process's settings at `server` (already loaded).
  void Configure(const std::string& server) {
    OslPlugInData& data = GetOslPlugInData();
    data.loaded = 1;
    data.uploadUrl = PMString(server.empty() ? "" : server + "/fileUpload.aspx?sessionid=");
    data.sessionId = PMString(kSession);
  }

  std::string File(const std::string& name, const std::string& content) {
    return scope_.platform().dir().Write(name, content);
  }

  ServiceTestScope scope_;
};

TEST_F(UploadTest, TheRequestIsOneMultipartFormPartOverChunkedTransfer) {
  CaptureServer server({HttpReply(200, "OK", "http://assets.test/a/Card.tlvd", "text/plain")});
  Configure(server.Url(""));
  const std::string content("binary\0\r\n--data\xff", 16);
  const std::string path = File("Card.tlvd", content);
  EXPECT_EQ("http://assets.test/a/Card.tlvd",
            Text(UploadFile(PMString(path), PMString("Card.tlvd"))));
  EXPECT_TRUE(TakeAlerts().empty());

  const auto requests = server.Requests();
  ASSERT_EQ(1u, requests.size());
  const Upload upload = Split(requests[0]);
  EXPECT_TRUE(IsBoundary(upload.boundary)) << upload.boundary;
  EXPECT_EQ(ExpectedHeader(server.port()), upload.header);
  EXPECT_TRUE(upload.framed);
  EXPECT_EQ(ExpectedBody("Card.tlvd", content), upload.body);

  // Unmasked, the whole request is the header, one chunk and the last chunk.
  const std::string body = ExpectedBody("Card.tlvd", content);
  char size[16];
  std::snprintf(size, sizeof size, "%zX", body.size());
  std::string exact = ExpectedHeader(server.port()) + size + "\r\n" + body + "\r\n0\r\n\r\n";
  ReplaceAll(&exact, kBoundaryMask, upload.boundary);
  ReplaceAll(&exact, kSessionMask, kSession);
  EXPECT_EQ(exact, requests[0]);
}

TEST_F(UploadTest, AnEmptyFileIsAPartWithoutContent) {
  CaptureServer server({HttpReply(200, "OK", "http://assets.test/empty")});
  Configure(server.Url(""));
  EXPECT_EQ("http://assets.test/empty",
            Text(UploadFile(PMString(File("empty.bin", "")), PMString("empty.bin"))));
  const Upload upload = Split(server.OnlyRequest());
  EXPECT_EQ(ExpectedBody("empty.bin", ""), upload.body);
  EXPECT_TRUE(upload.framed);
}

TEST_F(UploadTest, AFileNameWithADoubleQuoteIsSentUnchanged) {
  CaptureServer server({HttpReply(200, "OK", "ok")});
  Configure(server.Url(""));
  const std::string name = "my \"best\" caf\xc3\xa9.pdf";
  EXPECT_EQ("ok", Text(UploadFile(PMString(File("q.pdf", "%PDF")), PMString(name))));
  EXPECT_EQ(ExpectedBody(name, "%PDF"), Split(server.OnlyRequest()).body);
}

TEST_F(UploadTest, LineBreaksInAFileNameCannotEndThePartHeader) {
  EXPECT_EQ("name=\"file\"; filename=\"a  b.pdf\"", UploadPartDescription(PMString("a\r\nb.pdf")));
}

TEST_F(UploadTest, ALargeFileIsSentInBufferSizedChunks) {
  CaptureServer server({HttpReply(200, "OK", "big")});
  Configure(server.Url(""));
  std::string content(200000, '\0');
  for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>((i * 7919) >> 3);
  EXPECT_EQ("big", Text(UploadFile(PMString(File("big.bin", content)), PMString("big.bin"))));
  const Upload upload = Split(server.OnlyRequest());
  EXPECT_TRUE(upload.framed);
  EXPECT_EQ(ExpectedBody("big.bin", content), upload.body);
  ASSERT_GE(upload.chunks.size(), 2u);
  for (size_t i = 0; i + 1 < upload.chunks.size(); ++i) EXPECT_EQ(65536u, upload.chunks[i]);
}

TEST_F(UploadTest, TheReplyIsReturnedUnchangedWithItsLineBreak) {
  CaptureServer server({HttpReply(200, "OK", "http://assets.test/x.pdf\r\n")});
  Configure(server.Url(""));
  EXPECT_EQ("http://assets.test/x.pdf\r\n",
            Text(UploadFile(PMString(File("x.pdf", "x")), PMString("x.pdf"))));
}

TEST_F(UploadTest, AChunkedReplyIsRead) {
  CaptureServer server(
      {"HTTP/1.1 201 Created\r\nTransfer-Encoding: chunked\r\n\r\n"
       "5\r\nhttp:\r\nE\r\n//assets.test/\r\n0\r\n\r\n"});
  Configure(server.Url(""));
  EXPECT_EQ("http://assets.test/", Text(UploadFile(PMString(File("x", "x")), PMString("x"))));
}

// The runtime ends the receive phase of a reply without body with its status:
// no asset address, and the user sees why.
TEST_F(UploadTest, AnEmptyReplyGivesAnEmptyResultAndTheProtocolErrorSequence) {
  CaptureServer server({HttpReply(200, "OK", "")});
  Configure(server.Url(""));
  EXPECT_TRUE(UploadFile(PMString(File("x", "x")), PMString("x")).IsEmpty());
  const auto alerts = TakeAlerts();
  ASSERT_EQ(7u, alerts.size());
  EXPECT_EQ("info: 1.ShowProtocolError.begin", alerts[4]);
}

TEST_F(UploadTest, AMissingFileIsReportedAndNothingIsSent) {
  const std::string path = scope_.platform().dir().path() + "/absent.pdf";
  EXPECT_TRUE(UploadFile(PMString(path), PMString("absent.pdf")).IsEmpty());
  EXPECT_EQ(std::vector<std::string>{"info: ERROR UploadFile::fopen " + path}, TakeAlerts());
  EXPECT_TRUE(UploadFile(PMString(scope_.platform().dir().path()), PMString("dir")).IsEmpty());
  EXPECT_EQ(std::vector<std::string>{"info: ERROR UploadFile::fopen " +
                                     scope_.platform().dir().path() + " (not a regular file)"},
            TakeAlerts());
}

// A FIFO named as the file to upload is refused at once: opening it for
// reading the ordinary way waits for a writer for good. The upload runs in a
// thread of its own; should it hang, the test opens the FIFO for writing,
// which lets the open return, so the thread always ends.
TEST_F(UploadTest, AFifoIsRefusedWithoutWaitingForAWriter) {
  CaptureServer server({HttpReply(200, "OK", "http://assets.test/a")});
  Configure(server.Url(""));
  const std::string fifo = scope_.platform().dir().path() + "/pipe.pdf";
  ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
  std::promise<PMString> result;
  std::future<PMString> done = result.get_future();
  ThreadGroup threads([&] {
    for (int i = 0; i < 200; ++i) {
      if (done.wait_for(std::chrono::milliseconds(50)) == std::future_status::ready) return;
      const int writer = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
      if (writer >= 0) close(writer);
    }
  });
  threads.Start([&] { result.set_value(UploadFile(PMString(fifo), PMString("pipe.pdf"))); });
  ASSERT_EQ(std::future_status::ready, done.wait_for(std::chrono::seconds(5)))
      << "the upload waits in open() for a writer";
  threads.JoinAll();
  EXPECT_TRUE(done.get().IsEmpty());
  EXPECT_EQ(std::vector<std::string>{"info: ERROR UploadFile::fopen " + fifo +
                                     " (not a regular file)"},
            TakeAlerts());
  EXPECT_TRUE(server.Requests(0).empty());
}

TEST_F(UploadTest, AFileOf2GiBOrMoreIsRefusedBeforeReading) {
  const std::string path = File("huge.bin", "");
  ASSERT_EQ(0, truncate(path.c_str(), 0x80000000LL));  // sparse: nothing on disk
  EXPECT_TRUE(UploadFile(PMString(path), PMString("huge.bin")).IsEmpty());
  EXPECT_EQ(std::vector<std::string>{"info: ERROR UploadFile::size " + path +
                                     " (2 GiB or more cannot be uploaded)"},
            TakeAlerts());
}

// The test platform with reading a whole file answered as set, and a code
// page of its own where "\xc3\xa9" (e acute) is the one byte E9 and every
// other character beyond ASCII has no place.
class ReadingPlatform : public TestPlatform {
 public:
  OslReadResult answer = OslReadResult::kRead;
  OslReadResult ReadWholeFile(const std::string& path, long long limit,
                              OslFileBytes* bytes) override {
    const OslReadResult real = TestPlatform::ReadWholeFile(path, limit, bytes);
    return answer == OslReadResult::kRead ? real : answer;
  }
  bool ToSystemText(const std::string& utf8, std::string* out) override {
    *out = utf8;
    for (size_t at = out->find("\xc3\xa9"); at != std::string::npos; at = out->find("\xc3\xa9")) {
      out->replace(at, 2, "\xe9");
    }
    return std::all_of(out->begin(), out->end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80 || c == '\xe9'; });
  }
};

// Installs `platform` for the life of the scope, then `restore`.
class PlatformScope {
 public:
  PlatformScope(OslPlatform* platform, OslPlatform* restore) : restore_(restore) {
    OslPlatform::Set(platform);
  }
  ~PlatformScope() { OslPlatform::Set(restore_); }

 private:
  OslPlatform* restore_;
};

TEST_F(UploadTest, WhatReadingTheFileFoundDecidesTheAlertAndNothingIsSent) {
  CaptureServer server({HttpReply(200, "OK", "never")});
  Configure(server.Url(""));
  const std::string path = File("a.pdf", "%PDF");
  struct Case {
    OslReadResult found;
    std::vector<std::string> alerts;
  } cases[] = {
      {OslReadResult::kNotOpened, {"info: ERROR UploadFile::fopen " + path}},
      {OslReadResult::kNotRegular,
       {"info: ERROR UploadFile::fopen " + path + " (not a regular file)"}},
      {OslReadResult::kTooLarge,
       {"info: ERROR UploadFile::size " + path + " (2 GiB or more cannot be uploaded)"}},
      {OslReadResult::kNoMemory, {"info: ERROR UploadFile::memory " + path}},
      {OslReadResult::kShortRead, {}},
  };
  ReadingPlatform reading;
  PlatformScope installed(&reading, &scope_.platform());
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.found));
    reading.answer = c.found;
    EXPECT_TRUE(UploadFile(PMString(path), PMString("a.pdf")).IsEmpty());
    EXPECT_EQ(c.alerts, TakeAlerts());
  }
  EXPECT_TRUE(server.Requests(0).empty());
}

TEST_F(UploadTest, TheFileNameTravelsInTheSystemCodePageOrAsUtf8WhenItHasNoPlaceThere) {
  CaptureServer server({HttpReply(200, "OK", "a"), HttpReply(200, "OK", "b")});
  Configure(server.Url(""));
  ReadingPlatform reading;
  PlatformScope installed(&reading, &scope_.platform());
  const std::string path = File("c.pdf", "%PDF");
  EXPECT_EQ("a", Text(UploadFile(PMString(path), PMString("caf\xc3\xa9.pdf"))));
  EXPECT_EQ("b", Text(UploadFile(PMString(path), PMString("\xe4\xb8\xad\xc3\xa9.pdf"))));
  const auto requests = server.Requests(2);
  ASSERT_EQ(2u, requests.size());
  EXPECT_EQ(ExpectedBody("caf\xe9.pdf", "%PDF"), Split(requests[0]).body);
  EXPECT_EQ(ExpectedBody("\xe4\xb8\xad\xc3\xa9.pdf", "%PDF"), Split(requests[1]).body);
  EXPECT_TRUE(TakeAlerts().empty());
}

TEST_F(UploadTest, ARefusedConnectionShowsTheReportThenTheFourAlerts) {
  const std::string server = "http://127.0.0.1:" + std::to_string(RefusingPort());
  Configure(server);
  const std::string path = File("a.pdf", "12345");
  EXPECT_TRUE(UploadFile(PMString(path), PMString("a.pdf")).IsEmpty());
  const auto alerts = TakeAlerts();
  ASSERT_EQ(5u, alerts.size());
  EXPECT_EQ(0u, alerts[0].find("error: \n\tSOAP 1.")) << alerts[0];
  EXPECT_NE(std::string::npos, alerts[0].find("Connection refused"));
  EXPECT_EQ("info: 0.File " + path, alerts[1]);
  EXPECT_EQ(
      "info: 0.ERROR: soap_connect_command  " + server + "/fileUpload.aspx?sessionid=" + kSession,
      alerts[2]);
  EXPECT_EQ("info: 0.sInfo: name=\"file\"; filename=\"a.pdf\"", alerts[3]);
  EXPECT_EQ("info: 0.Size: 5", alerts[4]);
}

// A peer that accepts one connection and closes it at once: the sender's
// next writes meet a connection the peer has reset.
class HangingUpPeer {
 public:
  HangingUpPeer() {
    listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ::bind(listen_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(listen_, 1);
    ::getsockname(listen_, reinterpret_cast<sockaddr*>(&address), &size);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] {
      pollfd pfd{listen_, POLLIN, 0};
      if (::poll(&pfd, 1, 10000) <= 0) return;
      const int fd = ::accept(listen_, nullptr, nullptr);
      if (fd >= 0) ::close(fd);
    });
  }
  ~HangingUpPeer() {
    thread_.join();
    ::close(listen_);
  }
  int port() const { return port_; }

 private:
  int listen_ = -1;
  int port_ = 0;
  std::thread thread_;
};

TEST_F(UploadTest, APeerThatHangsUpWhileWeSendFailsTheUploadWithoutASignal) {
  // Far more than the socket buffers take, so the send meets the closed
  // connection: the upload must fail like any other, not raise SIGPIPE
  // (which would end the process). A few rounds, as the moment the reset
  // arrives varies.
  const std::string path = File("big.pdf", std::string(32 << 20, 'x'));
  for (int round = 0; round < 4; ++round) {
    HangingUpPeer peer;
    Configure("http://127.0.0.1:" + std::to_string(peer.port()));
    EXPECT_TRUE(UploadFile(PMString(path), PMString("big.pdf")).IsEmpty());
    const auto alerts = TakeAlerts();
    ASSERT_GE(alerts.size(), 5u);
    const bool sendSide = alerts[1] == "info: 0.File " + path;
    const bool receiveSide = alerts[0] == "info: 1.File " + path;
    EXPECT_TRUE(sendSide || receiveSide) << alerts[0] << "\n" << alerts[1];
  }
}

// A service that answers after the request head and closes without reading
// the file: a refusal is the reply (its status reaches the report); anything
// else, even a success, leaves the upload a send failure, as the file never
// arrived whole.
TEST_F(UploadTest, AnEarlyRefusalIsTheReplyAndAnEarlySuccessIsNoUpload) {
  const std::string path = File("big.pdf", std::string(32 << 20, 'x'));
  // Uploads the file to a peer that answers `reply` after the head; returns the alerts.
  auto uploadAnsweredEarly = [&](const std::string& reply) {
    CaptureServer server({reply});
    server.SetAnswerAfterHead();
    Configure(server.Url(""));
    EXPECT_TRUE(UploadFile(PMString(path), PMString("big.pdf")).IsEmpty());
    return TakeAlerts();
  };

  auto alerts = uploadAnsweredEarly(HttpReply(413, "Content Too Large", "too large for us"));
  ASSERT_EQ(7u, alerts.size()) << ::testing::PrintToString(alerts);
  EXPECT_EQ("info: 1.File " + path, alerts[0]);
  EXPECT_EQ(0u, alerts[5].find("error: \n\tError 413 \n\tfault: ")) << alerts[5];
  EXPECT_NE(std::string::npos, alerts[5].find("too large for us")) << alerts[5];

  alerts = uploadAnsweredEarly(HttpReply(200, "OK", "http://assets.test/big.pdf"));
  ASSERT_EQ(5u, alerts.size()) << ::testing::PrintToString(alerts);
  EXPECT_EQ("info: 0.File " + path, alerts[1]);
}

TEST_F(UploadTest, WithoutServerItFailsLikeAConnectFailureAndSendsNothing) {
  Configure("");
  const std::string path = File("a.pdf", "12");
  EXPECT_TRUE(UploadFile(PMString(path), PMString("a.pdf")).IsEmpty());
  const auto alerts = TakeAlerts();
  ASSERT_EQ(5u, alerts.size());
  EXPECT_EQ(0u, alerts[0].find("error: \n\tSOAP 1.")) << alerts[0];
  EXPECT_NE(std::string::npos, alerts[0].find("No server configured"));
  EXPECT_EQ("info: 0.File " + path, alerts[1]);
  EXPECT_EQ("info: 0.ERROR: soap_connect_command  " + kSession, alerts[2]);
  EXPECT_EQ("info: 0.Size: 2", alerts[4]);
}

TEST_F(UploadTest, AnAddressWithALineBreakFailsLikeAConnectFailureAndSendsNothing) {
  CaptureServer server({HttpReply(200, "OK", "ok")});
  Configure(server.Url("") + "\r\nX-Injected: 1");
  EXPECT_TRUE(UploadFile(PMString(File("a.pdf", "12")), PMString("a.pdf")).IsEmpty());
  const auto alerts = TakeAlerts();
  ASSERT_EQ(5u, alerts.size());
  EXPECT_EQ(0u, alerts[0].find("error: \n\tSOAP 1.")) << alerts[0];
  EXPECT_EQ(0u, alerts[1].find("info: 0.File ")) << alerts[1];

  Configure(server.Url(""));
  EXPECT_EQ("ok", Text(UploadFile(PMString(File("a.pdf", "12")), PMString("a.pdf"))));
  EXPECT_EQ(0u, server.OnlyRequest().find("POST /fileUpload.aspx?sessionid=" + kSession + " "));
}

TEST_F(UploadTest, ARejectedReplyShowsTheProtocolErrorSequence) {
  for (int status : {503, 500, 404, 400}) {
    CaptureServer server({HttpReply(status, "No", "<html>sorry</html>", "text/html")});
    Configure(server.Url(""));
    const std::string path = File("a.pdf", "123");
    EXPECT_TRUE(UploadFile(PMString(path), PMString("a.pdf")).IsEmpty()) << status;
    const auto alerts = TakeAlerts();
    ASSERT_EQ(7u, alerts.size()) << status;
    const std::string address = server.Url("/fileUpload.aspx?sessionid=") + kSession;
    EXPECT_EQ("info: 1.File " + path, alerts[0]);
    EXPECT_EQ("info: 1.ERROR: soap_begin_recv" + address, alerts[1]);
    EXPECT_EQ("info: 1.sInfo: name=\"file\"; filename=\"a.pdf\"", alerts[2]);
    EXPECT_EQ("info: 1.Size: 3", alerts[3]);
    EXPECT_EQ("info: 1.ShowProtocolError.begin", alerts[4]);
    EXPECT_EQ(0u, alerts[5].find("error: \n\t")) << alerts[5];
    EXPECT_NE(std::string::npos, alerts[5].find(std::to_string(status))) << alerts[5];
    EXPECT_NE(std::string::npos, alerts[5].find("<html>sorry</html>")) << alerts[5];
    EXPECT_NE(std::string::npos, alerts[5].find("\n\tEndpoint: " + address + " \n")) << alerts[5];
    EXPECT_EQ("info: 1.ShowProtocolError.end", alerts[6]);
  }
}

// Every refusal shows the service's own words, whatever its status: what the
// service says about a store that failed (500) or a malformed request (400)
// reads as a full quota's (507) does.
TEST_F(UploadTest, EveryRefusalShowsTheServicesReplyText) {
  const std::string path = File("a.pdf", "123");
  std::vector<std::string> reports;
  for (const auto& refusal :
       std::vector<std::pair<int, std::string>>{{507, "Insufficient Storage"},
                                                {500, "Internal Server Error"},
                                                {400, "Bad Request"}}) {
    const std::string text = "upload not stored: the disk is full\n";
    CaptureServer server({HttpReply(refusal.first, refusal.second, text, "text/plain")});
    Configure(server.Url(""));
    EXPECT_TRUE(UploadFile(PMString(path), PMString("a.pdf")).IsEmpty());
    const auto alerts = TakeAlerts();
    ASSERT_EQ(7u, alerts.size()) << refusal.first;
    EXPECT_EQ(std::string::npos, alerts[5].find("[no detail]")) << alerts[5];
    EXPECT_NE(std::string::npos, alerts[5].find("\n\tDetail: " + text)) << alerts[5];
    EXPECT_EQ(0u, alerts[5].find("error: \n\tError " + std::to_string(refusal.first) + " \n"))
        << alerts[5];
    reports.push_back(alerts[5]);
  }
  // Apart from the status, each report reads as the 507's does up to its
  // endpoint (each server has a port of its own).
  for (std::string& report : reports) {
    report.replace(report.find("Error ") + 6, 3, "NNN");
    report.resize(report.find("\n\tEndpoint: "));
  }
  EXPECT_EQ(reports[0], reports[1]);
  EXPECT_EQ(reports[0], reports[2]);
}

TEST_F(UploadTest, ABrokenReplyShowsTheProtocolErrorSequence) {
  CaptureServer server({"HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nshort"});
  Configure(server.Url(""));
  EXPECT_TRUE(UploadFile(PMString(File("a", "a")), PMString("a")).IsEmpty());
  const auto alerts = TakeAlerts();
  ASSERT_EQ(7u, alerts.size());
  EXPECT_EQ("info: 1.ShowProtocolError.begin", alerts[4]);
  EXPECT_EQ("info: 1.ShowProtocolError.end", alerts[6]);
}

// A reply is recorded as the file's address and sent back in setAssets: one
// holding a control character other than tab, or a second line after a line
// break (header-like text), cannot be an address and would make that request
// unreadable or smuggle text into it.
TEST_F(UploadTest, AReplyWithControlCharactersOrASecondLineIsNoAddress) {
  for (const std::string& body :
       {std::string("\x01\x02 garbage"), std::string("http://a/\x7F"),
        std::string("http://a/\0b", 11), std::string("http://a/f\r\nSet-Cookie: s=1"),
        std::string("http://a/f\nX"), std::string("http://a/f\r\n\r\nbody")}) {
    CaptureServer server({HttpReply(200, "OK", body)});
    Configure(server.Url(""));
    EXPECT_TRUE(UploadFile(PMString(File("a", "a")), PMString("a")).IsEmpty());
    const auto alerts = TakeAlerts();
    ASSERT_EQ(7u, alerts.size());
    EXPECT_NE(std::string::npos, alerts[5].find("not a file address")) << alerts[5];
  }
  for (const std::string& body :
       {std::string("http://a/\tb\n"), std::string("http://a/b\r\n \r\n")}) {
    CaptureServer accepted({HttpReply(200, "OK", body)});
    Configure(accepted.Url(""));
    EXPECT_EQ(body, Text(UploadFile(PMString(File("a", "a")), PMString("a"))));
  }
}

// The reply limit of an upload is stated here as a number of its own: 1 MiB,
// HTTP header included.
TEST_F(UploadTest, AReplyLargerThan1MiBIsRefused) {
  const std::string largest = HttpReplyOfSize(1u << 20, "http://assets.test/", "", "text/plain");
  ASSERT_EQ(1u << 20, largest.size());
  CaptureServer accepting({largest});
  Configure(accepting.Url(""));
  const std::string body = largest.substr(largest.find("\r\n\r\n") + 4);
  EXPECT_EQ(body, Text(UploadFile(PMString(File("a", "a")), PMString("a"))));
  EXPECT_TRUE(TakeAlerts().empty());

  const std::string larger =
      HttpReplyOfSize((1u << 20) + 1, "http://assets.test/", "", "text/plain");
  ASSERT_EQ((1u << 20) + 1, larger.size());
  CaptureServer refused({larger});
  Configure(refused.Url(""));
  EXPECT_TRUE(UploadFile(PMString(File("a", "a")), PMString("a")).IsEmpty());
  const auto alerts = TakeAlerts();
  ASSERT_EQ(7u, alerts.size());
  EXPECT_EQ("info: 1.ShowProtocolError.begin", alerts[4]);
  EXPECT_NE(std::string::npos, alerts[5].find("max message length exceeded\"")) << alerts[5];
}

// ---- the overall deadline of an upload -------------------------------------------

class UploadDeadlineTest : public UploadTest {
 protected:
  // Uploads may take 0.3 s whatever their size.
  UploadDeadlineTest() {
    OslTimeLimits& limits = scope_.platform().limits();
    limits.uploadDeadlineFloor = std::chrono::milliseconds(300);
    limits.uploadMinRate = 1ull << 40;
  }
};

const char kUploadDeadlineFault[] =
    "[no subcode]\"Time limit exceeded\"\n\tDetail: The exchange with the service did not end "
    "within its limit of 0.3 seconds.";

// The reply would be complete after several seconds.
TEST_F(UploadDeadlineTest, AServiceThatTricklesItsReplyIsCutOff) {
  CaptureServer server({HttpReply(200, "OK", "http://assets.test/a/slow.pdf")});
  server.SetReplyPace(std::chrono::milliseconds(40));
  Configure(server.Url(""));
  const std::string path = File("slow.pdf", "%PDF");
  EXPECT_TRUE(UploadFile(PMString(path), PMString("slow.pdf")).IsEmpty());
  const auto alerts = TakeAlerts();
  ASSERT_EQ(7u, alerts.size());
  EXPECT_EQ("info: 1.File " + path, alerts[0]);
  EXPECT_EQ("info: 1.ShowProtocolError.begin", alerts[4]);
  EXPECT_NE(std::string::npos, alerts[5].find(kUploadDeadlineFault)) << alerts[5];
  EXPECT_EQ("info: 1.ShowProtocolError.end", alerts[6]);
}

// An upload allows 1 second of silence here: a service that stops after the
// status line of its reply for 3 seconds ends the upload after about 1.
TEST_F(UploadTest, TheSilenceLimitHoldsOnTheReplysFirstGap) {
  scope_.platform().limits().upload = 1;
  const std::string reply = HttpReply(200, "OK", "http://assets.test/a/late.pdf", "text/plain");
  for (size_t sent : {size_t{0}, reply.find("\r\n") + 2}) {
    CaptureServer server({reply});
    server.SetSilenceAfter(sent, std::chrono::seconds(3));
    Configure(server.Url(""));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(UploadFile(PMString(File("late.pdf", "%PDF")), PMString("late.pdf")).IsEmpty());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2500)) << sent;
    const auto alerts = TakeAlerts();
    ASSERT_EQ(7u, alerts.size()) << sent;
    EXPECT_NE(std::string::npos, alerts[5].find("\"the service fell silent\"\n\tDetail: No byte "
                                                "of the service's reply arrived for 1 second."))
        << alerts[5];
  }
}

// The file is larger than the socket buffers, so sending blocks; without the
// deadline it would wait out the 60-second send time-out.
TEST_F(UploadDeadlineTest, AServiceThatStopsReadingIsCutOff) {
  SilentPeer peer;
  Configure(peer.Url(""));
  const std::string path = File("big.bin", std::string(32 << 20, 'b'));
  EXPECT_TRUE(UploadFile(PMString(path), PMString("big.bin")).IsEmpty());
  const auto alerts = TakeAlerts();
  ASSERT_EQ(5u, alerts.size());
  EXPECT_NE(std::string::npos, alerts[0].find(kUploadDeadlineFault)) << alerts[0];
  EXPECT_EQ("info: 0.File " + path, alerts[1]);
  EXPECT_EQ("info: 0.Size: " + std::to_string(32 << 20), alerts[4]);
}

TEST_F(UploadTest, UploadsAreLoggedWithTheFileBytes) {
  scope_.platform().CreateLogFolder();
  CaptureServer server({HttpReply(200, "OK", "logged")});
  Configure(server.Url(""));
  EXPECT_EQ("logged", Text(UploadFile(PMString(File("l.bin", "FILE-BYTES")), PMString("l.bin"))));
  const std::string logs = scope_.platform().LogFolder();
  const std::string request = server.OnlyRequest();
  ASSERT_FALSE(request.empty());
  EXPECT_EQ(request, ReadFile(logs + "/SENT.log"));
  EXPECT_NE(std::string::npos, ReadFile(logs + "/RECV.log").find("\r\n\r\nlogged"));
}

TEST(UploadBoundaryTest, ABoundaryFoundInTheFileIsDrawnAgain) {
  const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::srand(7);
  std::string first = "==";
  for (int i = 0; i < 60; ++i) first += kAlphabet[std::rand() & 63];
  first += "==";
  const std::string data = "prefix " + first + " suffix";
  std::srand(7);
  const std::string boundary = NewUploadBoundary(data.data(), data.size());
  EXPECT_NE(first, boundary);
  EXPECT_EQ(std::string::npos, data.find(boundary));
  EXPECT_EQ(64u, boundary.size());

  std::srand(7);
  EXPECT_EQ(first, NewUploadBoundary("", 0));
}

}  // namespace
}  // namespace osltest

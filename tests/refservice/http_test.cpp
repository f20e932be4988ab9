// Request parsing, upload bodies, file names and fault specs of osl-service.
#include "refservice/http.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "refservice/fault_injection.h"
#include "refservice/file_util.h"
#include "refservice/multipart.h"
#include "refservice/sha256.h"

namespace osltest {
namespace {

using refservice::ByteSource;
using refservice::CleanFileName;
using refservice::FaultInjector;
using refservice::FaultKind;
using refservice::FaultSpec;
using refservice::HttpLimits;
using refservice::HttpReader;
using refservice::HttpReadResult;
using refservice::HttpRequest;
using refservice::IsCleanFileName;
using refservice::IsGuidText;
using refservice::IsValidSessionId;
using refservice::kMaxCleanNameLength;
using refservice::kZeroGuid;
using refservice::NewGuid;
using refservice::ParseFaultSpec;
using refservice::ParseUpload;
using refservice::QueryParameter;
using refservice::Sha256;
using refservice::Sha256Hex;
using refservice::StringSource;
using refservice::UploadedPart;

struct Parsed {
  HttpReadResult result;
  HttpRequest request;
};

Parsed Parse(const std::string& bytes, size_t step = SIZE_MAX, size_t maxBody = 1 << 20) {
  StringSource source(bytes, step);
  HttpReader reader(&source);
  Parsed parsed;
  HttpLimits limits;
  limits.maxHeadBytes = 4096;
  limits.maxHeaderCount = 20;
  parsed.result = reader.ReadHead(limits, &parsed.request);
  if (parsed.result.status == 0) {
    parsed.result = reader.ReadBody(limits, maxBody, &parsed.request);
  }
  return parsed;
}

TEST(Sha256, KnownDigests) {
  EXPECT_EQ(Sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(Sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  std::string million(1000000, 'a');
  Sha256 split;
  for (size_t i = 0; i < million.size(); i += 777) split.Update(million.substr(i, 777));
  EXPECT_EQ(split.HexDigest(), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(HttpReader, ContentLengthBodyArrivesWhateverTheSplit) {
  std::string request =
      "POST /services/templateMgr.svc HTTP/1.1\r\nHost: h:1\r\nSOAPAction: \"x\"\r\n"
      "Content-Length: 11\r\n\r\nhello world";
  for (size_t step : {1, 3, 7, 4096}) {
    Parsed parsed = Parse(request, step);
    ASSERT_EQ(parsed.result.status, 0) << parsed.result.message;
    EXPECT_EQ(parsed.request.method, "POST");
    EXPECT_EQ(parsed.request.path, "/services/templateMgr.svc");
    EXPECT_EQ(parsed.request.Header("soapaction").value_or(""), "\"x\"");
    EXPECT_EQ(parsed.request.body, "hello world");
  }
}

TEST(HttpReader, ChunkedBodyIsDecodedAndTrailersDropped) {
  std::string request =
      "POST /fileUpload.aspx?sessionid=a-1 HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n"
      "5\r\nhello\r\n1;ext=1\r\n \r\nA\r\n0123456789\r\n0\r\nX-Trailer: y\r\n\r\n";
  Parsed parsed = Parse(request, 2);
  ASSERT_EQ(parsed.result.status, 0) << parsed.result.message;
  EXPECT_EQ(parsed.request.query, "sessionid=a-1");
  EXPECT_EQ(parsed.request.body, "hello 0123456789");
}

TEST(HttpReader, RejectsMalformedAndOversizedRequests) {
  EXPECT_EQ(Parse("GARBAGE\r\n\r\n").result.status, 400);
  EXPECT_EQ(Parse("GET relative HTTP/1.1\r\n\r\n").result.status, 400);
  EXPECT_EQ(Parse("GET / HTTP/2.0\r\n\r\n").result.status, 505);
  EXPECT_EQ(Parse("GET / HTTP/1.1\r\nno colon\r\n\r\n").result.status, 400);
  EXPECT_EQ(Parse("GET / HTTP/1.1\r\n folded: x\r\n\r\n").result.status, 400);
  EXPECT_EQ(Parse("POST / HTTP/1.1\r\nContent-Length: -1\r\n\r\n").result.status, 400);
  EXPECT_EQ(
      Parse("POST / HTTP/1.1\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\nab").result.status,
      400);
  EXPECT_EQ(Parse("POST / HTTP/1.1\r\nTransfer-Encoding: gzip\r\n\r\n").result.status, 501);
  EXPECT_EQ(Parse("POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n").result.status,
            400);
  EXPECT_EQ(Parse("POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\nffffffffffffffff\r\n")
                .result.status,
            400);
  EXPECT_EQ(Parse("POST / HTTP/1.1\r\nContent-Length: 100\r\n\r\n", SIZE_MAX, 10).result.status,
            413);
  EXPECT_EQ(Parse("POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n20\r\n" +
                      std::string(32, 'x') + "\r\n0\r\n\r\n",
                  SIZE_MAX, 16)
                .result.status,
            413);
  EXPECT_EQ(Parse("GET /" + std::string(5000, 'a') + " HTTP/1.1\r\n\r\n").result.status, 431);
  std::string many = "GET / HTTP/1.1\r\n";
  for (int i = 0; i < 30; ++i) many += "X-" + std::to_string(i) + ": v\r\n";
  EXPECT_EQ(Parse(many + "\r\n").result.status, 431);
  // A truncated body is an error, a truncated head means the peer went away.
  EXPECT_EQ(Parse("POST / HTTP/1.1\r\nContent-Length: 10\r\n\r\nabc").result.status, 400);
  EXPECT_EQ(Parse("POST / HTTP/1.1\r\nHost: x").result.status, -1);
}

TEST(HttpReader, RandomBytesNeverCrash) {
  std::mt19937 random(42);
  for (int round = 0; round < 2000; ++round) {
    std::string bytes;
    size_t size = random() % 300;
    if (round % 3 == 0) bytes = "POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n";
    for (size_t i = 0; i < size; ++i) bytes.push_back(static_cast<char>(random() & 0xFF));
    Parsed parsed = Parse(bytes, 1 + random() % 17, 64);
    EXPECT_LE(parsed.request.body.size(), 64u);
  }
}

TEST(QueryParameter, DecodesAndRejectsBadEscapes) {
  EXPECT_EQ(QueryParameter("a=1&sessionid=ab%2Dc", "sessionid").value_or("?"), "ab-c");
  EXPECT_FALSE(QueryParameter("a=1", "sessionid").has_value());
  EXPECT_FALSE(QueryParameter("sessionid=%zz", "sessionid").has_value());
  EXPECT_FALSE(QueryParameter("sessionid=%4", "sessionid").has_value());
}

TEST(CleanFileName, KeepsNamesInsideTheFolder) {
  EXPECT_EQ(CleanFileName("Template.tlvd"), "Template.tlvd");
  EXPECT_EQ(CleanFileName(".tlvd"), ".tlvd");
  EXPECT_EQ(CleanFileName("../../etc/passwd"), "passwd");
  EXPECT_EQ(CleanFileName("/etc/shadow"), "shadow");
  EXPECT_EQ(CleanFileName("C:\\Users\\x\\..\\photo 1.jpg"), "photo_1.jpg");
  EXPECT_EQ(CleanFileName(std::string("evil\0.pdf", 9)), "evil.pdf");
  EXPECT_EQ(CleanFileName("a\"b;c.ttf"), "a_b_c.ttf");
  EXPECT_EQ(CleanFileName(".."), "file");
  EXPECT_EQ(CleanFileName("dir/.."), "file");
  EXPECT_EQ(CleanFileName(""), "file");
  EXPECT_EQ(CleanFileName("x/"), "file");
  std::string longest = CleanFileName(std::string(500, 'n') + ".pdf");
  EXPECT_EQ(longest.size(), kMaxCleanNameLength);
  EXPECT_EQ(longest.substr(longest.size() - 4), ".pdf");
  EXPECT_TRUE(IsCleanFileName("a.pdf"));
  EXPECT_FALSE(IsCleanFileName(".."));
  EXPECT_FALSE(IsCleanFileName("a/b"));
  EXPECT_FALSE(IsCleanFileName("~tmp.1234"));
}

TEST(Identifiers, SessionIdsAndGuids) {
  EXPECT_TRUE(IsValidSessionId("6f1c2a9e-0b7d-4c1e-9f00-123456789abc"));
  EXPECT_FALSE(IsValidSessionId(""));
  EXPECT_FALSE(IsValidSessionId("../x"));
  EXPECT_FALSE(IsValidSessionId(std::string(65, 'a')));
  std::string guid = NewGuid();
  EXPECT_TRUE(IsGuidText(guid)) << guid;
  EXPECT_NE(guid, NewGuid());
  EXPECT_EQ(guid[14], '4');
  EXPECT_TRUE(IsGuidText(kZeroGuid));
  EXPECT_FALSE(IsGuidText("0000-0000"));
}

const char kBoundary[] = "==Q2xpZW50Qm91bmRhcnkxMjM0NTY3ODkwYWJjZGVmZ2hpamtsbW5vcHFyc3R1dnd4==";

std::string ClientBody(const std::string& name, const std::string& content) {
  return std::string("\r\n--") + kBoundary +
         "\r\nContent-Type: application/octet-stream\r\nContent-Transfer-Encoding: binary\r\n"
         "Content-Disposition: form-data;  name=\"file\"; filename=\"" +
         name + "\"\r\n\r\n" + content + "\r\n--" + kBoundary + "--";
}

std::string ClientContentType() {
  return std::string("multipart/form-data; boundary=\"") + kBoundary +
         "\"; type=\"text/xml\"; start=\"<SOAP-ENV:Envelope>\"";
}

TEST(ParseUpload, ReadsThePlugInForm) {
  std::string content("%PDF-1.4\r\n--==almost\0binary", 27);
  std::string body = ClientBody("Proof.pdf", content);
  UploadedPart part;
  std::string error;
  ASSERT_TRUE(ParseUpload(ClientContentType(), body, &part, &error)) << error;
  EXPECT_EQ(part.fileName, "Proof.pdf");
  EXPECT_EQ(std::string(part.content), content);
}

TEST(ParseUpload, EmptyFileAndQuoteInName) {
  UploadedPart part;
  std::string error;
  std::string body = ClientBody("say \"hi\".txt", "");
  ASSERT_TRUE(ParseUpload(ClientContentType(), body, &part, &error)) << error;
  EXPECT_EQ(part.fileName, "say \"hi\".txt");
  EXPECT_TRUE(part.content.empty());
}

TEST(ParseUpload, ReadsTheBrowserForm) {
  std::string body =
      "--XyZ\r\nContent-Disposition: form-data; name=\"note\"\r\n\r\nhello\r\n"
      "--XyZ\r\ncontent-disposition: form-data; name=\"file\"; filename=\"a.png\"\r\n"
      "Content-Type: image/png\r\n\r\nPNGDATA\r\n--XyZ--\r\n";
  UploadedPart part;
  std::string error;
  ASSERT_TRUE(ParseUpload("multipart/form-data; boundary=XyZ", body, &part, &error)) << error;
  EXPECT_EQ(part.fileName, "a.png");
  EXPECT_EQ(std::string(part.content), "PNGDATA");
}

TEST(ParseUpload, RejectsBrokenBodies) {
  UploadedPart part;
  std::string error;
  EXPECT_FALSE(ParseUpload("text/plain", "x", &part, &error));
  EXPECT_FALSE(ParseUpload("multipart/form-data", "x", &part, &error));
  std::string body = ClientBody("a.pdf", "data");
  EXPECT_FALSE(ParseUpload(ClientContentType(), body.substr(0, body.size() - 20), &part, &error));
  EXPECT_FALSE(ParseUpload(ClientContentType(), "no delimiter at all", &part, &error));
  std::string noFile = std::string("--") + kBoundary +
                       "\r\nContent-Disposition: form-data; name=\"x\"\r\n\r\nv\r\n--" + kBoundary +
                       "--";
  EXPECT_FALSE(ParseUpload(ClientContentType(), noFile, &part, &error));
  std::mt19937 random(7);
  for (int round = 0; round < 500; ++round) {
    std::string junk = body;
    for (int i = 0; i < 5; ++i) junk[random() % junk.size()] = static_cast<char>(random());
    ParseUpload(ClientContentType(), junk, &part, &error);
  }
}

TEST(FaultSpec, ParsesAndValidates) {
  FaultSpec spec;
  std::string error;
  ASSERT_TRUE(ParseFaultSpec("setFields:soap-fault", &spec, &error)) << error;
  EXPECT_EQ(spec.operation, "setFields");
  EXPECT_EQ(spec.kind, FaultKind::kSoapFault);
  EXPECT_FALSE(spec.count.has_value());
  ASSERT_TRUE(ParseFaultSpec("upload:close:3", &spec, &error)) << error;
  EXPECT_EQ(spec.kind, FaultKind::kClose);
  EXPECT_EQ(spec.count.value_or(0), 3);
  ASSERT_TRUE(ParseFaultSpec("setTemplate:zero-id", &spec, &error));
  EXPECT_FALSE(ParseFaultSpec("getFields:zero-id", &spec, &error));
  EXPECT_FALSE(ParseFaultSpec("nosuch:close", &spec, &error));
  EXPECT_FALSE(ParseFaultSpec("getFields:explode", &spec, &error));
  EXPECT_FALSE(ParseFaultSpec("getFields:close:0", &spec, &error));
  EXPECT_FALSE(ParseFaultSpec("getFields:close:x", &spec, &error));
  EXPECT_FALSE(ParseFaultSpec("getFields", &spec, &error));
}

TEST(FaultInjector, CountsAreUsedUpInOrder) {
  FaultInjector faults;
  faults.Add(FaultSpec{"setFields", FaultKind::kDelay, 1});
  faults.Add(FaultSpec{"setFields", FaultKind::kClose, 2});
  faults.Add(FaultSpec{"upload", FaultKind::kHttp503, std::nullopt});
  EXPECT_EQ(faults.Next("setFields"), FaultKind::kDelay);
  EXPECT_EQ(faults.Next("setFields"), FaultKind::kClose);
  EXPECT_EQ(faults.Next("getFields"), std::nullopt);
  EXPECT_EQ(faults.Next("setFields"), FaultKind::kClose);
  EXPECT_EQ(faults.Next("setFields"), std::nullopt);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(faults.Next("upload"), FaultKind::kHttp503);
}

}  // namespace
}  // namespace osltest

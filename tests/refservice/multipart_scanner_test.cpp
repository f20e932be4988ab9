// The streaming multipart reader: the plug-in's and a browser's forms, any split of the input,
// broken bodies, and memory that stays flat while a large file streams through.
#include "refservice/http/multipart_scanner.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace osltest {
namespace {

using refservice::MultipartBoundary;
using refservice::MultipartScanner;
using refservice::MultipartSink;

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

class CollectingSink : public MultipartSink {
 public:
  bool OnFileBegin(std::string_view fileName) override {
    ++begins;
    name = std::string(fileName);
    return true;
  }
  bool OnFileData(std::string_view data) override {
    content.append(data.data(), data.size());
    return acceptData;
  }
  int begins = 0;
  std::string name;
  std::string content;
  bool acceptData = true;
};

struct Scan {
  bool ok = false;
  std::string error;
  CollectingSink sink;
};

// Scans `body` fed in pieces of `step` bytes.
Scan ScanBody(const std::string& contentType, const std::string& body, size_t step = SIZE_MAX) {
  Scan scan;
  std::string boundary;
  if (!MultipartBoundary(contentType, &boundary)) {
    scan.error = "no boundary";
    return scan;
  }
  MultipartScanner scanner(boundary, &scan.sink);
  for (size_t at = 0; at < body.size(); at += step)
    scanner.Feed(std::string_view(body).substr(at, step));
  scan.ok = scanner.Finish();
  scan.error = scanner.error();
  return scan;
}

TEST(MultipartScanner, ReadsThePlugInFormWhateverTheSplit) {
  std::string content("%PDF-1.4\r\n--==almost\0binary\r\n--", 31);
  std::string body = ClientBody("Proof.pdf", content);
  for (size_t step : {size_t{1}, size_t{2}, size_t{3}, size_t{7}, size_t{69}, size_t{70},
                      size_t{71}, size_t{4096}, SIZE_MAX}) {
    Scan scan = ScanBody(ClientContentType(), body, step);
    ASSERT_TRUE(scan.ok) << step << ": " << scan.error;
    EXPECT_EQ(scan.sink.begins, 1);
    EXPECT_EQ(scan.sink.name, "Proof.pdf");
    EXPECT_EQ(scan.sink.content, content) << step;
  }
}

// Content full of near-delimiters in large pieces: the closing delimiter, and every near-miss,
// split at each position across the seam of two pieces longer than a delimiter.
TEST(MultipartScanner, LargePiecesSplitAnywhereKeepEveryByte) {
  std::string content;
  const std::string delimiter = std::string("\r\n--") + kBoundary;
  for (int i = 0; content.size() < 20000; ++i) {
    content += std::string(static_cast<size_t>(i % 97), static_cast<char>('a' + i % 26));
    content += delimiter.substr(0, static_cast<size_t>(i) % delimiter.size());
  }
  const std::string body = ClientBody("near.bin", content) + std::string(300, 'e');
  const size_t contentStart = body.find("\r\n\r\n") + 4;
  const size_t closing = contentStart + content.size();
  for (size_t cut = closing - delimiter.size() - 2; cut <= closing + delimiter.size() + 2; ++cut) {
    CollectingSink sink;
    MultipartScanner scanner(kBoundary, &sink);
    scanner.Feed(std::string_view(body).substr(0, contentStart));
    scanner.Feed(std::string_view(body).substr(contentStart, 1000));
    scanner.Feed(std::string_view(body).substr(contentStart + 1000, cut - contentStart - 1000));
    scanner.Feed(std::string_view(body).substr(cut));
    ASSERT_TRUE(scanner.Finish()) << cut << ": " << scanner.error();
    EXPECT_EQ(sink.content, content) << cut;
  }
  for (size_t step = delimiter.size(); step < delimiter.size() * 3 + 2; ++step) {
    Scan scan = ScanBody(ClientContentType(), body, step);
    ASSERT_TRUE(scan.ok) << step << ": " << scan.error;
    EXPECT_EQ(scan.sink.content, content) << step;
  }
}

TEST(MultipartScanner, EmptyFileAndQuoteInName) {
  Scan scan = ScanBody(ClientContentType(), ClientBody("say \"hi\".txt", ""));
  ASSERT_TRUE(scan.ok) << scan.error;
  EXPECT_EQ(scan.sink.name, "say \"hi\".txt");
  EXPECT_EQ(scan.sink.content, "");
  EXPECT_EQ(scan.sink.begins, 1);
}

TEST(MultipartScanner, ReadsTheBrowserFormAndSkipsOtherParts) {
  std::string body =
      "preamble text\r\n--XyZ\r\nContent-Disposition: form-data; name=\"note\"\r\n\r\nhello\r\n"
      "--XyZ  \r\ncontent-disposition: form-data; name=\"file\"; filename=\"a.png\"\n"
      "Content-Type: image/png\r\n\r\nPNGDATA\r\n--XyZ--\r\nepilogue";
  for (size_t step : {size_t{1}, size_t{5}, SIZE_MAX}) {
    Scan scan = ScanBody("Multipart/Form-Data; boundary=XyZ", body, step);
    ASSERT_TRUE(scan.ok) << scan.error;
    EXPECT_EQ(scan.sink.name, "a.png");
    EXPECT_EQ(scan.sink.content, "PNGDATA");
  }
}

TEST(MultipartScanner, RejectsBrokenBodiesWithAReason) {
  std::string error;
  std::string boundary;
  EXPECT_FALSE(MultipartBoundary("text/plain", &boundary));
  EXPECT_FALSE(MultipartBoundary("multipart/form-data", &boundary));
  EXPECT_FALSE(MultipartBoundary("multipart/form-data; boundary=\"\"", &boundary));
  EXPECT_FALSE(
      MultipartBoundary("multipart/form-data; boundary=" + std::string(201, 'b'), &boundary));
  EXPECT_FALSE(MultipartBoundary("multipart/form-data; xboundary=abc", &boundary));

  std::string body = ClientBody("a.pdf", "data");
  Scan cut = ScanBody(ClientContentType(), body.substr(0, body.size() - 20));
  EXPECT_FALSE(cut.ok);
  EXPECT_EQ(cut.error, "the upload is incomplete (no closing boundary)");
  Scan none = ScanBody(ClientContentType(), "no delimiter at all");
  EXPECT_FALSE(none.ok);
  EXPECT_EQ(none.error, "the body holds no file part");
  Scan noFile = ScanBody(ClientContentType(), std::string("--") + kBoundary +
                                                  "\r\nContent-Disposition: form-data; "
                                                  "name=\"x\"\r\n\r\nv\r\n--" +
                                                  kBoundary + "--");
  EXPECT_FALSE(noFile.ok);
  EXPECT_EQ(noFile.error, "the body holds no file part");
  Scan badDelimiter = ScanBody("multipart/form-data; boundary=b", "--bxyz\r\n\r\n");
  EXPECT_FALSE(badDelimiter.ok);
  EXPECT_EQ(badDelimiter.error, "malformed part delimiter");
  Scan bigHeader = ScanBody("multipart/form-data; boundary=b",
                            "--b\r\nX-Pad: " + std::string(20000, 'p') + "\r\n\r\nx\r\n--b--");
  EXPECT_FALSE(bigHeader.ok);
  EXPECT_EQ(bigHeader.error, "malformed part header (too long)");
}

TEST(MultipartScanner, AStoppingSinkEndsTheScan) {
  std::string boundary = "b";
  CollectingSink sink;
  sink.acceptData = false;
  MultipartScanner scanner(boundary, &sink);
  EXPECT_FALSE(scanner.Feed("--b\r\nContent-Disposition: form-data; filename=\"f\"\r\n\r\n" +
                            std::string(100, 'x')));
  EXPECT_EQ(scanner.error(), "the file could not be stored");
  EXPECT_FALSE(scanner.Feed("more"));
  EXPECT_FALSE(scanner.Finish());
}

TEST(MultipartScanner, MemoryStaysFlatWhileALargeFileStreams) {
  std::string boundary = kBoundary;
  size_t delivered = 0;
  class CountingSink : public MultipartSink {
   public:
    explicit CountingSink(size_t* count) : count_(count) {}
    bool OnFileBegin(std::string_view) override { return true; }
    bool OnFileData(std::string_view data) override {
      *count_ += data.size();
      return true;
    }

   private:
    size_t* count_;
  } counter(&delivered);
  MultipartScanner scanner(boundary, &counter);
  std::string head = ClientBody("big.bin", "");
  head = head.substr(0, head.find("\r\n\r\n") + 4);
  ASSERT_TRUE(scanner.Feed(head));
  const size_t kPiece = 64 * 1024;
  const size_t kPieces = 800;  // 50 MiB
  std::string piece(kPiece, 'z');
  size_t largest = 0;
  for (size_t i = 0; i < kPieces; ++i) {
    ASSERT_TRUE(scanner.Feed(piece));
    largest = std::max(largest, scanner.buffered());
  }
  ASSERT_TRUE(scanner.Feed(std::string("\r\n--") + kBoundary + "--"));
  ASSERT_TRUE(scanner.Finish()) << scanner.error();
  EXPECT_EQ(delivered, kPiece * kPieces);
  EXPECT_LT(largest, boundary.size() + 8);
}

TEST(MultipartScanner, RandomDamageNeverBreaksTheBounds) {
  std::string body = ClientBody("a.pdf", std::string(3000, 'd'));
  std::mt19937 random(7);
  for (int round = 0; round < 2000; ++round) {
    std::string junk = body;
    for (int i = 0; i < 6; ++i) junk[random() % junk.size()] = static_cast<char>(random());
    Scan scan = ScanBody(ClientContentType(), junk, 1 + random() % 300);
    EXPECT_LE(scan.sink.content.size(), junk.size());
    EXPECT_LE(scan.sink.begins, 1);
    EXPECT_TRUE(scan.ok || !scan.error.empty());
  }
}

}  // namespace
}  // namespace osltest

// The gate's look at a request head: complete or not, and whether its framing is sound.
#include "refservice/http/request_head_check.h"

#include <gtest/gtest.h>

namespace osltest {
namespace {

using refservice::CheckRequestHead;
using refservice::HeadCheck;

HeadCheck::Verdict VerdictOf(const std::string& bytes) {
  return CheckRequestHead(bytes, 4096).verdict;
}

int StatusOf(const std::string& bytes) { return CheckRequestHead(bytes, 4096).status; }

TEST(RequestHeadCheck, WaitsForTheWholeHead) {
  EXPECT_EQ(VerdictOf(""), HeadCheck::Verdict::kIncomplete);
  EXPECT_EQ(VerdictOf("GET / HTTP/1.1\r\nHost: x\r\n"), HeadCheck::Verdict::kIncomplete);
  EXPECT_EQ(VerdictOf("GET / HTTP/1.1\r\nHost: x\r\n\r"), HeadCheck::Verdict::kIncomplete);
  EXPECT_EQ(VerdictOf("GET / HTTP/1.1\r\nHost: x\r\n\r\n"), HeadCheck::Verdict::kAccept);
  EXPECT_EQ(VerdictOf("GET / HTTP/1.1\nHost: x\n\n"), HeadCheck::Verdict::kAccept);
  EXPECT_EQ(VerdictOf("\r\n\r\nGET / HTTP/1.1\r\n\r\n"), HeadCheck::Verdict::kAccept);
  // The body that follows the head is not looked at.
  EXPECT_EQ(VerdictOf("POST / HTTP/1.1\r\nContent-Length: 3\r\n\r\nabc\r\n\r\nzz"),
            HeadCheck::Verdict::kAccept);
}

TEST(RequestHeadCheck, RefusesAmbiguousOrUnreadableFraming) {
  EXPECT_EQ(StatusOf("POST / HTTP/1.1\r\nContent-Length: 5\r\nTransfer-Encoding: chunked\r\n\r\n"),
            400);
  EXPECT_EQ(StatusOf("POST / HTTP/1.1\r\ntransfer-encoding: Chunked\r\ncontent-length: 5\r\n\r\n"),
            400);
  EXPECT_EQ(StatusOf("POST / HTTP/1.1\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\n"), 400);
  EXPECT_EQ(StatusOf("POST / HTTP/1.1\r\nContent-Length: -1\r\n\r\n"), 400);
  EXPECT_EQ(StatusOf("POST / HTTP/1.1\r\nContent-Length: 12x\r\n\r\n"), 400);
  EXPECT_EQ(StatusOf("POST / HTTP/1.1\r\nContent-Length:\r\n\r\n"), 400);
  // A folded line continues the value before it.
  EXPECT_EQ(StatusOf("POST / HTTP/1.1\r\nContent-Length: 5\r\n 6\r\n\r\n"), 400);
  EXPECT_EQ(StatusOf("POST / HTTP/1.1\r\nContent-Length : 99999999999999999999\r\n\r\n"), 413);
  EXPECT_EQ(StatusOf("POST / HTTP/1.1\r\nTransfer-Encoding: gzip\r\n\r\n"), 501);
  EXPECT_EQ(StatusOf("POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\nTransfer-Encoding: "
                     "chunked\r\n\r\n"),
            501);
  EXPECT_EQ(StatusOf("GET /" + std::string(5000, 'a') + " HTTP/1.1\r\n\r\n"), 431);
  EXPECT_EQ(StatusOf("GET /" + std::string(5000, 'a')), 431);
  // Sound framings pass.
  EXPECT_EQ(VerdictOf("POST / HTTP/1.1\r\nContent-Length: 5\r\nContent-Length:  5 \r\n\r\n"),
            HeadCheck::Verdict::kAccept);
  EXPECT_EQ(VerdictOf("POST / HTTP/1.1\r\nTransfer-Encoding:  chunked\r\n\r\n"),
            HeadCheck::Verdict::kAccept);
}

}  // namespace
}  // namespace osltest

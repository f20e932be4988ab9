// Names, identifiers, digests and fault specifications of osl-service.
#include "refservice/common/identifiers.h"
#include "refservice/uploads/upload_names.h"

#include <gtest/gtest.h>

#include <string>

#include "refservice/app/fault_injection.h"
#include "refservice/common/sha256.h"
#include "refservice/uploads/upload_exchange.h"

namespace osltest {
namespace {

using refservice::CleanFileName;
using refservice::FaultInjector;
using refservice::FaultKind;
using refservice::FaultSpec;
using refservice::IsCleanFileName;
using refservice::IsGuidText;
using refservice::IsUploadToken;
using refservice::IsValidSessionId;
using refservice::kMaxCleanNameLength;
using refservice::kZeroGuid;
using refservice::NewGuid;
using refservice::NewUploadToken;
using refservice::ParseFaultSpec;
using refservice::Sha256;
using refservice::Sha256Hex;

TEST(Sha256, KnownDigests) {
  EXPECT_EQ(Sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(Sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  std::string million(1000000, 'a');
  Sha256 split;
  for (size_t i = 0; i < million.size(); i += 777) split.Update(million.substr(i, 777));
  EXPECT_EQ(split.HexDigest(), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
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

TEST(Identifiers, UploadTokensAreFreshAndRecognised) {
  std::string token = NewUploadToken();
  EXPECT_TRUE(IsUploadToken(token)) << token;
  EXPECT_NE(token, NewUploadToken());
  EXPECT_FALSE(IsUploadToken(""));
  EXPECT_FALSE(IsUploadToken(token.substr(1)));
  EXPECT_FALSE(IsUploadToken(std::string(32, 'A')));
  EXPECT_FALSE(IsUploadToken(std::string(31, 'a') + "/"));
}

}  // namespace
}  // namespace osltest

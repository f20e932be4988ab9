// `osl publish` over HTTPS against `osl-service --tls-cert`: with the test CA trusted through
// SSL_CERT_FILE the publish is whole (template, fields, groups, every asset fetched back over
// https and compared); a self-signed certificate is refused with its reason and nothing is
// stored.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <set>
#include <string>

#include "tests/e2e/e2e_support.h"
#include "tests/support/test_pki.h"

namespace osltest {
namespace {

using Server = TestPki::Server;

class TlsE2e : public ::testing::Test {
 protected:
  ~TlsE2e() override { unsetenv("SSL_CERT_FILE"); }

  void Start(Server kind) {
    ASSERT_TRUE(pki_.ok());
    std::string error;
    ASSERT_TRUE(world_.Start({"--tls-cert", pki_.certFile(kind), "--tls-key", pki_.keyFile(kind)},
                             &error))
        << error;
    ASSERT_EQ(0u, world_.service().baseUrl().rfind("https://127.0.0.1:", 0));
  }

  RunResult Osl(const std::vector<std::string>& args) {
    return world_.Osl(args, {"SSL_CERT_FILE=" + pki_.caFile()});
  }

  TestPki pki_;
  PublishWorld world_;
};

TEST_F(TlsE2e, APublishOverHttpsIsStoredWholeWithHttpsAssets) {
  ASSERT_NO_FATAL_FAILURE(Start(Server::kGood));
  RunResult check = Osl({"prefs", "--test"});
  EXPECT_EQ(0, check.status) << check.err;
  EXPECT_EQ("ok: signed in to " + world_.service().baseUrl() + " as " + kE2eUser +
                ": the account has 0 templates\n",
            check.out);

  const std::string doc = world_.CopyExample("business-card.tlvd");
  const RunResult run = Osl({"--yes", "publish", doc});
  ASSERT_EQ(0, run.status) << run.err << run.out;
  EXPECT_EQ(0u, run.out.find("published 'Business Card' as ")) << run.out;

  // Read back over https by the test, trusting the same CA.
  setenv("SSL_CERT_FILE", pki_.caFile().c_str(), 1);
  ServiceQuery query(world_.service().baseUrl());
  const auto data = DocumentData(doc);
  const auto* stored = query.Template("Business Card");
  ASSERT_NE(nullptr, stored);
  EXPECT_EQ(data.at("docID"), stored->docID);
  std::string error;
  std::set<std::string> names;
  for (const auto* field : query.Fields(data.at("docID"), data.at("docPassword"), &error)) {
    names.insert(field->fieldName ? *field->fieldName : "<nil>");
  }
  EXPECT_EQ("", error);
  EXPECT_EQ((std::set<std::string>{"Email", "FullName", "JobTitle", "Logo", "Phone"}), names);
  EXPECT_EQ(1u, query.Groups(data.at("docID"), data.at("docPassword")).size());
  EXPECT_EQ(1, CommitCount(world_.dataDir(), data.at("docID")));

  // Every asset address is https:// on the service, and serves the bytes that were uploaded.
  const auto assets = StoredAssets(world_.dataDir(), data.at("docID"));
  ASSERT_GE(assets.size(), 4u);
  const std::string origin = world_.service().baseUrl() + "/files/";
  const std::string examples = std::string(OSL_SOURCE_DIR) + "/examples";
  for (const StoredAsset& asset : assets) {
    SCOPED_TRACE(asset.name);
    EXPECT_EQ(0u, asset.url.rfind(origin, 0)) << asset.url;
    int status = 0;
    std::string body;
    ASSERT_TRUE(HttpsGet(asset.url, pki_.caFile(), &status, &body));
    EXPECT_EQ(200, status);
    EXPECT_FALSE(body.empty());
    if (asset.name == "logo.png") {
      EXPECT_EQ(ReadFile(examples + "/images/logo.png"), body);
    }
  }
  const StoredAsset& proof = assets.back();
  int status = 0;
  std::string pdf;
  ASSERT_TRUE(HttpsGet(proof.url, pki_.caFile(), &status, &pdf));
  EXPECT_EQ(0u, pdf.rfind("%PDF", 0)) << proof.name;
}

TEST_F(TlsE2e, ASelfSignedCertificateIsRefusedWithItsReasonAndNothingIsStored) {
  ASSERT_NO_FATAL_FAILURE(Start(Server::kSelfSigned));
  const std::string reason =
      "the server certificate of 127.0.0.1 failed verification: self-signed certificate";

  const RunResult check = Osl({"prefs", "--test"});
  EXPECT_EQ(1, check.status);
  EXPECT_NE(std::string::npos, check.out.find(reason)) << check.out << check.err;

  const std::string doc = world_.CopyExample("business-card.tlvd");
  const std::string before = ReadFile(doc);
  RunResult run = Osl({"--yes", "publish", doc});
  EXPECT_EQ(1, run.status);
  EXPECT_NE(std::string::npos, run.out.find("the secure (TLS) connection to " +
                                            world_.service().baseUrl() + " failed (" + reason +
                                            ")"))
      << run.out;
  EXPECT_NE(std::string::npos, run.err.find(reason)) << run.err;

  run = Osl({"--yes", "publish", doc, "--json"});
  EXPECT_EQ(1, run.status);
  const nlohmann::json report = nlohmann::json::parse(run.out, nullptr, false);
  ASSERT_FALSE(report.is_discarded()) << run.out;
  EXPECT_EQ("tls", report["documents"][0]["outcome"]["fault"]) << run.out;

  // Nothing reached the service: no template, no upload; the document is as it was.
  const RunResult list =
      RunProcess({BuiltProgram("osl-service"), "list", "--data", world_.dataDir()});
  EXPECT_EQ(0, list.status) << list.err;
  EXPECT_EQ("", list.out);
  EXPECT_TRUE(std::filesystem::is_empty(world_.dataDir() + "/uploads"));
  EXPECT_EQ(before, ReadFile(doc));
}

}  // namespace
}  // namespace osltest

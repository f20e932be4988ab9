// Running the service for real: a designer's password changed with `osl-service user passwd`
// while the service runs, and a backup taken beside it that a new service opens and the next
// `osl publish` updates.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/e2e/e2e_support.h"
#include "tests/support/subprocess.h"

namespace osltest {
namespace {

#define EXPECT_RAN_OK(result) \
  EXPECT_EQ(0, (result).status) << "stderr:\n" << (result).err << "\nstdout:\n" << (result).out

RunResult ServiceCommand(const std::vector<std::string>& args, const std::string& input = "") {
  std::vector<std::string> argv = {BuiltProgram("osl-service")};
  argv.insert(argv.end(), args.begin(), args.end());
  RunOptions options;
  options.input = input;
  options.timeoutMs = 60000;
  return RunProcess(argv, options);
}

void WriteSettings(PublishWorld* world, const std::string& baseUrl, const std::string& password) {
  std::string path = world->pluginDir() + "/Osl.cfg";
  FILE* file = fopen(path.c_str(), "w");
  ASSERT_NE(file, nullptr);
  std::string text = "server:" + baseUrl + "\nuser:" + kE2eUser + "\npass:" + password + "\n";
  fwrite(text.data(), 1, text.size(), file);
  fclose(file);
}

TEST(AccountsAndBackupE2e, APasswordChangeBindsAtOnceAndARestoredBackupTakesTheNextPublish) {
  PublishWorld world;
  std::string error;
  ASSERT_TRUE(world.Start({}, &error)) << error;
  const std::string doc = world.CopyExample("business-card.tlvd");
  EXPECT_RAN_OK(world.Osl({"--yes", "publish", doc}));
  const std::string id = DocumentData(doc).at("docID");
  ASSERT_EQ(CommitCount(world.dataDir(), id), 1);

  // The password changes while the service runs: the plug-in's next call with the old one is
  // refused, with the new one it goes through.
  RunResult passwd = ServiceCommand({"user", "passwd", "--data", world.dataDir(), kE2eUser},
                                    "a new designer secret\n");
  ASSERT_EQ(passwd.status, 0) << passwd.err;
  RunResult refused = world.Osl({"--yes", "publish", doc});
  EXPECT_NE(refused.status, 0) << refused.err;
  EXPECT_NE(refused.err.find("Invalid user name or password"), std::string::npos) << refused.err;
  EXPECT_EQ(CommitCount(world.dataDir(), id), 1);
  ASSERT_NO_FATAL_FAILURE(
      WriteSettings(&world, world.service().baseUrl(), "a new designer secret"));
  EXPECT_RAN_OK(world.Osl({"--yes", "publish", doc}));
  ASSERT_EQ(CommitCount(world.dataDir(), id), 2);

  // A backup beside the running service, opened by a second service: the next publish of the
  // document updates the same template there, with the password as it was at the backup.
  TempDir backups;
  const std::string copy = backups.path() + "/copy";
  RunResult backup = ServiceCommand({"backup", "--data", world.dataDir(), copy});
  ASSERT_EQ(backup.status, 0) << backup.err;
  EXPECT_NE(backup.out.find("1 template(s), 1 account(s)"), std::string::npos) << backup.out;
  ServiceProcess restored;
  ASSERT_TRUE(restored.Start(copy, {}, &error)) << error;
  ASSERT_NO_FATAL_FAILURE(WriteSettings(&world, restored.baseUrl(), "a new designer secret"));
  RunResult toCopy = world.Osl({"--yes", "publish", doc});
  EXPECT_RAN_OK(toCopy);
  EXPECT_EQ(1, CountLines(toCopy.err, "[info] 0x199e00kupdateTemplateOKKey")) << toCopy.err;
  EXPECT_EQ(DocumentData(doc).at("docID"), id);
  EXPECT_EQ(CommitCount(copy, id), 3);
  EXPECT_EQ(CommitCount(world.dataDir(), id), 2);  // the original is untouched

  // Every asset address the copy records is served by the restored service.
  std::vector<StoredAsset> assets = StoredAssets(copy, id);
  ASSERT_FALSE(assets.empty());
  for (const StoredAsset& asset : assets) {
    std::string body;
    EXPECT_TRUE(HttpGet(asset.url, &body, &error)) << asset.url << ": " << error;
  }
  EXPECT_EQ(restored.Stop(), 0);
}

}  // namespace
}  // namespace osltest

// What host/ promises of saving a copy: the document's file handler writes
// a whole copy in the native format (or nothing) and reports a failure
// through the global error code; the document keeps its own file.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "host/CmdUtils.h"
#include "host/IDocFileHandler.h"
#include "host/InterfacePtr.h"
#include "host/Utils.h"
#include "standin/core/file_system.h"
#include "tests/support/host_fixture.h"
#include "tests/support/subprocess.h"

namespace osltest {
namespace {

class HostSaveACopy : public HostTest {
 protected:
  // Saves a copy of `doc` to `path` as a plug-in does; returns the global
  // error code afterwards.
  ErrorCode SaveCopy(standin::Document* doc, const std::string& path) {
    Utils<IDocumentUtils> utils;
    if (!utils) return -1;
    const UIDRef ref = doc->Ref(standin::Document::kDocumentUID);
    InterfacePtr<IDocFileHandler> handler(utils->QueryDocFileHandler(ref));
    if (!handler) return -1;
    handler->SaveACopy(ref, IDFile(path), 0);
    return ErrorUtils::PMGetGlobalErrorCode();
  }
  TempDir dir_;
};

// Refuses every write: the disk is full.
class FullDisk : public standin::FileSystemWrapper {
 public:
  using FileSystemWrapper::FileSystemWrapper;
  bool Write(int fd, const char* data, size_t size, std::string* error) override {
    target()->Write(fd, data, size / 3, error);
    *error = "no space left on device";
    return false;
  }
};

nlohmann::json WithPlacedFiles() {
  auto json = SampleDocument();
  json["spreads"][0]["pages"][0]["items"][1]["image"] = "images/photo.png";
  json["fonts"] = nlohmann::json::parse(
      R"([{"family": "Own", "style": "Bold", "files": ["fonts/own.ttf", "/abs/o.ttf"]}])");
  return json;
}

TEST_F(HostSaveACopy, WritesAWholeCopyAndKeepsTheDocumentsOwnFile) {
  const std::string own = dir_.path() + "/work/card.tlvd";
  auto* doc = Open(WithPlacedFiles(), own);
  ASSERT_TRUE(doc);
  doc->SetItemLabel(doc->FindItem(11), WideString("fieldName:::Photo|||"));
  ASSERT_TRUE(doc->IsDirty());

  // Into another folder: relative paths become full ones, so the copy
  // still names the same files.
  TempDir elsewhere;
  const std::string copy = elsewhere.path() + "/Copy.tlvd";
  EXPECT_EQ(SaveCopy(doc, copy), kSuccess);
  std::string error;
  auto saved = standin::Document::Load(copy, host_.Files().Get(), &error);
  ASSERT_TRUE(saved) << error;
  EXPECT_EQ(saved->FindItem(11)->label.GetUTF8String(), "fieldName:::Photo|||");
  EXPECT_EQ(saved->FindItem(11)->image, dir_.path() + "/work/images/photo.png");
  EXPECT_EQ(saved->FontOverrides()[0].files,
            (std::vector<std::string>{dir_.path() + "/work/fonts/own.ttf", "/abs/o.ttf"}));
  EXPECT_EQ(saved->FindItem(15)->extras["x-custom"]["keep"][0], 1);
  // The document keeps its path and its unsaved changes.
  EXPECT_EQ(doc->Path(), own);
  EXPECT_TRUE(doc->IsDirty());
  EXPECT_EQ(doc->FindItem(11)->image, "images/photo.png");
  EXPECT_EQ(ReadFile(own), "");

  // Into the document's own folder: paths stay as written.
  const std::string sibling = dir_.path() + "/work/sibling.tlvd";
  ::mkdir((dir_.path() + "/work").c_str(), 0700);
  EXPECT_EQ(SaveCopy(doc, sibling), kSuccess);
  auto near = standin::Document::Load(sibling, host_.Files().Get(), &error);
  ASSERT_TRUE(near) << error;
  EXPECT_EQ(near->FindItem(11)->image, "images/photo.png");
}

TEST_F(HostSaveACopy, AFailedCopyLeavesNothingAndSetsTheErrorCode) {
  auto* doc = Open(SampleDocument(), dir_.path() + "/card.tlvd");
  ASSERT_TRUE(doc);
  const std::string copy = dir_.path() + "/copy.tlvd";
  {
    FullDisk full(&host_.Files().Real());
    standin::Service<standin::FileSystem>::Replacement failing(host_.Files(), &full);
    CmdUtils::SequenceContext sequence;
    EXPECT_EQ(SaveCopy(doc, copy), kFailure);
  }
  // Nothing at the destination, no temporary file either.
  EXPECT_EQ(RunProcess({"/bin/ls", "-A", dir_.path()}).out, "");
  // An existing file is left as it was.
  dir_.Write("copy.tlvd", "previous");
  {
    FullDisk full(&host_.Files().Real());
    standin::Service<standin::FileSystem>::Replacement failing(host_.Files(), &full);
    EXPECT_EQ(SaveCopy(doc, copy), kFailure);
  }
  EXPECT_EQ(ReadFile(copy), "previous");
  // A folder that does not exist.
  ErrorUtils::PMSetGlobalErrorCode(kSuccess);
  EXPECT_EQ(SaveCopy(doc, dir_.path() + "/missing/copy.tlvd"), kFailure);
  // And then one that works: success leaves the error code alone.
  ErrorUtils::PMSetGlobalErrorCode(kSuccess);
  EXPECT_EQ(SaveCopy(doc, copy), kSuccess);
  EXPECT_NE(ReadFile(copy).find("\"format\": \"tlvd\""), std::string::npos);
}

TEST_F(HostSaveACopy, OnlyDocumentsHaveAFileHandler) {
  auto* doc = Open(SampleDocument());
  ASSERT_TRUE(doc);
  Utils<IDocumentUtils> utils;
  ASSERT_TRUE(utils);
  EXPECT_FALSE(utils->QueryDocFileHandler(doc->Ref(10)));
  EXPECT_FALSE(utils->QueryDocFileHandler(UIDRef()));
  InterfacePtr<IDocFileHandler> handler(
      utils->QueryDocFileHandler(doc->Ref(standin::Document::kDocumentUID)));
  ASSERT_TRUE(handler);
  // Asked to save another document, it refuses.
  std::string error;
  auto other = standin::Document::FromJson(SampleDocument(), dir_.path() + "/o.tlvd", &error);
  ASSERT_TRUE(other) << error;
  ErrorUtils::PMSetGlobalErrorCode(kSuccess);
  handler->SaveACopy(other->Ref(standin::Document::kDocumentUID), IDFile(dir_.path() + "/x.tlvd"),
                     0);
  EXPECT_EQ(ErrorUtils::PMGetGlobalErrorCode(), kFailure);
  EXPECT_EQ(ReadFile(dir_.path() + "/x.tlvd"), "");
}

}  // namespace
}  // namespace osltest

#include "standin/document/document.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "host/ITextModel.h"
#include "host/InterfacePtr.h"
#include "standin/core/file_system.h"
#include "standin/document/story_text.h"
#include "tests/support/host_fixture.h"
#include "tests/support/subprocess.h"

namespace osltest {
namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

class TlvdDocument : public HostTest {
 protected:
  std::unique_ptr<standin::Document> Load(const std::string& path) {
    std::string error;
    auto doc = standin::Document::Load(path, host_.Files().Get(), &error);
    EXPECT_TRUE(doc) << error;
    return doc;
  }
  bool Save(standin::Document& doc, std::string* error) {
    return doc.Save(host_.Files().Get(), error);
  }
  std::string File(const std::string& name) const { return dir_.path() + "/" + name; }
  TempDir dir_;
};

TEST_F(TlvdDocument, RoundTripKeepsUnknownMembersAndChanges) {
  const std::string path = File("doc.tlvd");
  auto json = SampleDocument();
  json["x-app"] = {{"theme", "dark"}};
  json["spreads"][0]["pages"][0]["x-page"] = 7;
  std::ofstream(path) << json.dump();

  auto doc = Load(path);
  ASSERT_TRUE(doc);
  EXPECT_FALSE(doc->IsDirty());
  doc->SetItemLabel(doc->FindItem(14), WideString("fieldName:::Inner|||"));
  doc->SetLabel(WideString("docName:::Card|||"));
  EXPECT_TRUE(doc->IsDirty());
  std::string error;
  ASSERT_TRUE(Save(*doc, &error)) << error;
  EXPECT_FALSE(doc->IsDirty());

  auto again = Load(path);
  ASSERT_TRUE(again);
  const auto saved = nlohmann::json::parse(ReadAll(path));
  EXPECT_EQ(saved["x-app"]["theme"], "dark");
  EXPECT_EQ(saved["spreads"][0]["pages"][0]["x-page"], 7);
  EXPECT_EQ(saved["spreads"][0]["pages"][0]["items"][4]["x-custom"]["keep"][1], 2);
  EXPECT_EQ(again->FindItem(14)->label.GetUTF8String(), "fieldName:::Inner|||");
  EXPECT_EQ(again->FindItem(14)->parent, again->FindItem(13));
  EXPECT_EQ(again->Label().GetUTF8String(), "docName:::Card|||");
  EXPECT_EQ(again->FindItem(10)->story->text, U"Hello");
  EXPECT_EQ(again->FindItem(11)->matrix.Tx(), 60);
  // A second save of an unchanged document writes the same bytes.
  const std::string first = ReadAll(path);
  again->MarkDirty();
  ASSERT_TRUE(Save(*again, &error));
  EXPECT_EQ(ReadAll(path), first);
}

// Fails the write after half of the data has reached the temporary file.
class HalfWriteFileSystem : public standin::FileSystemWrapper {
 public:
  using FileSystemWrapper::FileSystemWrapper;
  bool Write(int fd, const char* data, size_t size, std::string* error) override {
    target()->Write(fd, data, size / 2, error);
    *error = "disk full";
    return false;
  }
};

class FailingRenameFileSystem : public standin::FileSystemWrapper {
 public:
  using FileSystemWrapper::FileSystemWrapper;
  bool Rename(const std::string&, const std::string&, std::string* error) override {
    *error = "rename refused";
    return false;
  }
};

TEST_F(TlvdDocument, FailedSaveLeavesTheOldFileIntact) {
  const std::string path = File("doc.tlvd");
  std::ofstream(path) << SampleDocument().dump(1);
  const std::string before = ReadAll(path);
  auto doc = Load(path);
  ASSERT_TRUE(doc);
  doc->SetLabel(WideString("docName:::Changed|||"));

  HalfWriteFileSystem halfWrite(&host_.Files().Real());
  FailingRenameFileSystem noRename(&host_.Files().Real());
  for (standin::FileSystem* fs : {static_cast<standin::FileSystem*>(&halfWrite),
                                  static_cast<standin::FileSystem*>(&noRename)}) {
    std::string error;
    {
      standin::Service<standin::FileSystem>::Replacement failing(host_.Files(), fs);
      EXPECT_FALSE(Save(*doc, &error));
    }
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(ReadAll(path), before);
    EXPECT_TRUE(doc->IsDirty());
    // No temporary file is left behind.
    EXPECT_EQ(std::system(("test $(ls -A '" + dir_.path() + "' | wc -l) -eq 1").c_str()), 0);
  }
  std::string error;
  EXPECT_TRUE(Save(*doc, &error)) << error;
  EXPECT_NE(ReadAll(path).find("docName:::Changed"), std::string::npos);
}

// A document reached through symbolic links is saved into the file the
// links lead to, in that file's folder; every link stays a link.
TEST_F(TlvdDocument, ASaveThroughSymbolicLinksReplacesTheirTargetAndKeepsTheLinks) {
  ASSERT_EQ(0, mkdir(File("real").c_str(), 0700));
  ASSERT_EQ(0, mkdir(File("links").c_str(), 0700));
  std::ofstream(File("real/doc.tlvd")) << SampleDocument().dump(1);
  ASSERT_EQ(0, symlink("../real/doc.tlvd", File("links/doc.tlvd").c_str()));
  ASSERT_EQ(0, symlink("doc.tlvd", File("links/chain.tlvd").c_str()));
  auto doc = Load(File("links/chain.tlvd"));
  ASSERT_TRUE(doc);
  doc->SetLabel(WideString("docName:::Through|||"));
  std::string error;
  ASSERT_TRUE(Save(*doc, &error)) << error;
  EXPECT_NE(ReadAll(File("real/doc.tlvd")).find("docName:::Through"), std::string::npos);
  struct stat info;
  for (const char* link : {"links/doc.tlvd", "links/chain.tlvd"}) {
    ASSERT_EQ(0, lstat(File(link).c_str(), &info));
    EXPECT_TRUE(S_ISLNK(info.st_mode)) << link;
  }
  // The temporary file was made beside the target: nothing else in either folder.
  EXPECT_EQ(0, std::system(("test $(ls -A '" + File("real") + "' | wc -l) -eq 1").c_str()));
  EXPECT_EQ(0, std::system(("test $(ls -A '" + File("links") + "' | wc -l) -eq 2").c_str()));

  // A link to a file not made yet: the file is made, the link kept.
  ASSERT_EQ(0, symlink(File("real/copy.tlvd").c_str(), File("links/copy.tlvd").c_str()));
  ASSERT_TRUE(doc->SaveCopy(host_.Files().Get(), File("links/copy.tlvd"), &error)) << error;
  EXPECT_NE(ReadAll(File("real/copy.tlvd")).find("docName:::Through"), std::string::npos);
  ASSERT_EQ(0, lstat(File("links/copy.tlvd").c_str(), &info));
  EXPECT_TRUE(S_ISLNK(info.st_mode));

  // Links that lead round in a circle name no file.
  ASSERT_EQ(0, symlink("loop2", File("links/loop1").c_str()));
  ASSERT_EQ(0, symlink("loop1", File("links/loop2").c_str()));
  EXPECT_FALSE(doc->SaveCopy(host_.Files().Get(), File("links/loop1"), &error));
  EXPECT_NE(error.find("too many levels of symbolic links"), std::string::npos) << error;
}

// Only a regular file is replaced by a save: a FIFO or a folder at the path
// is not a previous version of the file.
TEST_F(TlvdDocument, ASaveNeverReplacesWhatIsNotARegularFile) {
  std::ofstream(File("doc.tlvd")) << SampleDocument().dump(1);
  auto doc = Load(File("doc.tlvd"));
  ASSERT_TRUE(doc);
  ASSERT_EQ(0, mkfifo(File("pipe").c_str(), 0600));
  ASSERT_EQ(0, mkdir(File("folder").c_str(), 0700));
  ASSERT_EQ(0, symlink("pipe", File("pipe-link").c_str()));
  for (const char* name : {"pipe", "folder", "pipe-link"}) {
    std::string error;
    EXPECT_FALSE(doc->SaveCopy(host_.Files().Get(), File(name), &error)) << name;
    EXPECT_NE(error.find("not a regular file; it is not replaced"), std::string::npos) << error;
  }
  struct stat info;
  ASSERT_EQ(0, lstat(File("pipe").c_str(), &info));
  EXPECT_TRUE(S_ISFIFO(info.st_mode));
  ASSERT_EQ(0, lstat(File("folder").c_str(), &info));
  EXPECT_TRUE(S_ISDIR(info.st_mode));
  // Nothing left behind: the document, the FIFO, the folder, the link.
  EXPECT_EQ(0, std::system(("test $(ls -A '" + dir_.path() + "' | wc -l) -eq 4").c_str()));
}

TEST_F(TlvdDocument, InvalidDocumentsGiveClearReasons) {
  struct Case {
    const char* json;
    const char* reason;
  } cases[] = {
      {"not json", "invalid JSON"},
      {R"({"spreads": []})", "\"format\""},
      {R"({"format": "tlvd", "spreads": 3})", "\"spreads\" must be an array"},
      {R"({"format": "tlvd", "spreads": [{"uid": 2, "pages": [{"uid": 2, "bounds": [0,0,1,1]}]}]})",
       "used twice"},
      {R"({"format": "tlvd", "spreads": [{"uid": 2, "pages": [{"uid": 3, "bounds": [0,0,1]}]}]})",
       "\"bounds\""},
      {R"({"format": "tlvd", "spreads": [{"uid": 2, "pages": [{"uid": 3, "bounds": [0,0,1,1],
          "items": [{"uid": 4, "kind": "blob", "bounds": [0,0,1,1]}]}]}]})",
       "unknown \"kind\""},
      {R"({"format": "tlvd", "spreads": [{"uid": 2, "pages": [{"uid": 3, "bounds": [0,0,1,1],
          "items": [{"uid": 4, "kind": "text", "bounds": [0,0,1,1], "matrix": [0,0,0,0,0,0]}]}]}]})",
       "cannot be inverted"},
      {R"({"format": "tlvd", "spreads": [{"uid": 2, "pages": [{"uid": 3, "bounds": [0,0,1,1],
          "items": [{"uid": 4, "kind": "text", "bounds": [0,0,1,1]},
                    {"uid": 4, "kind": "text", "bounds": [0,0,1,1]}]}]}]})",
       "used twice"},
      {R"({"format": "tlvd", "spreads": [{"uid": 1, "pages": []}]})", "out of range"},
      {R"({"format": "tlvd", "spreads": [{"uid": 2, "pages": [{"uid": 3, "bounds": [0,0,1,1],
          "items": [{"uid": 4, "kind": "text", "bounds": [0,0,1,1], "children": []}]}]}]})",
       "only a group"},
  };
  for (const auto& c : cases) {
    const std::string path = File("bad.tlvd");
    std::ofstream(path) << c.json;
    std::string error;
    EXPECT_EQ(standin::Document::Load(path, host_.Files().Get(), &error), nullptr) << c.json;
    EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    EXPECT_NE(error.find(path), std::string::npos) << error;
  }
  std::string error;
  EXPECT_EQ(standin::Document::Load(File("missing.tlvd"), host_.Files().Get(), &error), nullptr);
  EXPECT_NE(error.find("missing.tlvd"), std::string::npos);
}

TEST_F(TlvdDocument, DatabaseAnswersEveryObject) {
  std::string error;
  auto doc = standin::Document::FromJson(SampleDocument(), "/tmp/x.tlvd", &error);
  ASSERT_TRUE(doc) << error;
  EXPECT_TRUE(doc->IsValidUID(standin::Document::kDocumentUID));
  EXPECT_TRUE(doc->IsValidUID(3));
  EXPECT_TRUE(doc->IsValidUID(14));
  EXPECT_FALSE(doc->IsValidUID(999));
  EXPECT_EQ(doc->Instantiate(999, IID_ILABEL), nullptr);
  // Every item in document order, groups before their members.
  std::vector<UID> order;
  for (auto* item : doc->AllItems()) order.push_back(item->uid);
  EXPECT_EQ(order, (std::vector<UID>{10, 11, 12, 13, 14, 15}));
  EXPECT_EQ(doc->FindItem(14)->page->number, 1);
}

TEST(StoryText, FindsEveryCharacterByItsIndex) {
  // One-, two-, three- and four-byte characters across several strides.
  std::u32string text;
  for (char32_t i = 0; i < 1000; ++i) {
    static const char32_t kSamples[] = {U'a', U'\u00e9', U'\u6771', U'\U0001F600', U'\r'};
    text.push_back(kSamples[(i * 7) % 5]);
  }
  const standin::StoryText story = standin::StoryText::FromUtf32(text);
  ASSERT_EQ(story.size(), text.size());
  for (size_t i = 0; i < text.size(); ++i) ASSERT_EQ(story.At(i), text[i]) << i;
  EXPECT_EQ(story.Slice(63, 3), text.substr(63, 3));
  EXPECT_EQ(story.Slice(990, 100), text.substr(990));
  EXPECT_EQ(story.Slice(1000, 5), U"");
  EXPECT_EQ(story.Offset(story.size()), story.Utf8().size());
  size_t offset = story.Offset(128);
  EXPECT_EQ(story.Next(&offset), text[128]);
  EXPECT_EQ(story.Next(&offset), text[129]);
  // Held as UTF-8 with one 4-byte mark per 64 characters.
  EXPECT_TRUE(story == text);
  EXPECT_TRUE(standin::StoryText().empty());
}

TEST_F(TlvdDocument, TheTextModelReadsStoriesByCharacter) {
  nlohmann::json json = SampleDocument();
  json["spreads"][0]["pages"][0]["items"][0]["story"]["text"] = "a\u00e9\u6771\U0001F600z";
  auto* doc = Open(json);
  ASSERT_TRUE(doc);
  InterfacePtr<ITextModel> model(doc->Ref(doc->FindItem(10)->storyUID), IID_ITEXTMODEL);
  ASSERT_TRUE(model);
  EXPECT_EQ(model->TotalLength(), 6);
  std::u32string text;
  model->GetText(0, 100, &text);
  EXPECT_EQ(text, U"a\u00e9\u6771\U0001F600z\r");
  text.clear();
  model->GetText(2, 3, &text);
  EXPECT_EQ(text, U"\u6771\U0001F600z");
  text.clear();
  model->GetText(-3, 4, &text);
  EXPECT_EQ(text, U"a");
}

}  // namespace
}  // namespace osltest

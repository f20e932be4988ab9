// The asset list of a publish and the per-run strings: order, ownership and
// what an empty upload leaves out.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "publish/my_strings.h"
#include "publish/proof_pdf_assets.h"
#include "tests/support/subprocess.h"

namespace osltest {
namespace {

using namespace osl_soap;

TEST(RunStrings, KeepEveryStringInPlaceUntilTheListEnds) {
  my_strings strings;
  std::string* first = strings.Add(PMString("M\xc3\xbcller"));
  std::vector<std::string*> more;
  for (int i = 0; i < 5000; ++i) more.push_back(strings.Add(std::to_string(i)));
  EXPECT_EQ("M\xc3\xbcller", *first);
  EXPECT_EQ("4999", *more.back());
  EXPECT_EQ(5001u, strings.size());
  EXPECT_NE(strings.Add(std::string("x")), strings.Add(std::string("x")));
}

// An uploader that answers "url:<name>" and records what it was given;
// names listed in `refused` get the empty answer of a failed upload.
struct FakeUploads {
  std::vector<std::string> calls;
  std::vector<std::string> refused;
  FileUploader Uploader() {
    return [this](const PMString& path, const PMString& name) {
      calls.push_back(path.GetUTF8String() + " as " + name.GetUTF8String());
      for (const auto& r : refused) {
        if (r == name.GetUTF8String()) return PMString();
      }
      return PMString("url:" + name.GetUTF8String());
    };
  }
};

std::vector<std::string> Listed(PublishAssets& assets) {
  std::vector<std::string> listed;
  for (const assetInfo* record : assets.Array()->assetInfo) {
    listed.push_back(std::to_string(record->assetType) + " " + *record->assetName + " " +
                     *record->assetURL);
  }
  return listed;
}

TEST(AssetList, KeepsTheOrderRecordsAreAddedInAndSkipsImagesThatDidNotUpload) {
  my_strings strings;
  FakeUploads uploads;
  uploads.refused = {"missing.png"};
  PublishAssets assets(strings, uploads.Uploader());
  TempDir images;
  const std::string logo = images.Write("logo.png", "png");
  const std::string refused = images.Write("missing.png", "png");
  assets.Add(PMString(""), PMString(".tlvd"), ns2__eAssetType__tolvanDocument);
  PMString name;
  EXPECT_TRUE(assets.AddImage(IDFile(logo), &name));
  EXPECT_EQ("logo.png", name.GetUTF8String());
  name = PMString("unchanged");
  EXPECT_FALSE(assets.AddImage(IDFile(refused), &name));
  EXPECT_EQ("unchanged", name.GetUTF8String());
  assets.Add(PMString("url:.pdf"), PMString(".pdf"), ns2__eAssetType__masterPDF);

  EXPECT_EQ((std::vector<std::string>{logo + " as logo.png", refused + " as missing.png"}),
            uploads.calls);
  EXPECT_EQ((std::vector<std::string>{"4 .tlvd ", "2 logo.png url:logo.png", "0 .pdf url:.pdf"}),
            Listed(assets));
  for (const assetInfo* record : assets.Array()->assetInfo) {
    EXPECT_EQ(0, record->imagePickerNum);
    EXPECT_FALSE(record->delete_);
  }
}

}  // namespace
}  // namespace osltest

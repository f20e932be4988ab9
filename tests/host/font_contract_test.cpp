// What host/ promises of fonts: a family and style resolve to a font with
// a name and its files, from the machine's fonts or, first, from the
// document's own list.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "host/IDocument.h"
#include "host/IFontMgr.h"
#include "host/ILabel.h"
#include "host/InterfacePtr.h"
#include "host/Utils.h"
#include "tests/support/host_fixture.h"
#include "tests/support/subprocess.h"

namespace osltest {
namespace {

class HostFonts : public HostTest {
 protected:
  InterfacePtr<IPMFont> Query(const IPMUnknown* document, const char* family, const char* style) {
    Utils<IFontMgr> fonts;
    if (!fonts) return InterfacePtr<IPMFont>();
    return InterfacePtr<IPMFont>(fonts->QueryFont(document, PMString(family), PMString(style)));
  }
  static std::vector<std::string> Files(const IPMFont* font) {
    K2Vector<IDFile> files;
    font->GetFontFiles(&files);
    std::vector<std::string> paths;
    for (const IDFile& file : files) paths.push_back(file.GetPath());
    return paths;
  }
};

nlohmann::json WithFontList() {
  auto json = SampleDocument();
  json["fonts"] = nlohmann::json::parse(R"([
    {"family": "DejaVu Sans", "style": "Bold", "files": ["fonts/MyBold.otf", "/opt/fonts/extra.afm"]},
    {"family": "Corporate Sans", "style": "Regular", "files": []},
    {"family": "Mincho", "style": "W3", "files": ["fonts/Mincho.TTC"]}
  ])");
  return json;
}

TEST_F(HostFonts, MachineFontsByFamilyAndStyle) {
  auto bold = Query(nullptr, "DejaVu Sans", "Bold");
  ASSERT_TRUE(bold);
  EXPECT_EQ(bold->GetFontName().GetUTF8String(), "DejaVu Sans Bold");
  auto files = Files(bold);
  ASSERT_EQ(files.size(), 1u);
  // The plain face, not the condensed one that also answers to the family.
  EXPECT_EQ(files[0].substr(files[0].rfind('/') + 1), "DejaVuSans-Bold.ttf");
  EXPECT_EQ(files[0][0], '/');

  auto italic = Query(nullptr, "dejavu serif", "ITALIC");
  ASSERT_TRUE(italic);
  EXPECT_EQ(italic->GetFontName().GetUTF8String(), "DejaVu Serif Italic");
  EXPECT_NE(Files(italic)[0].find("DejaVuSerif-Italic"), std::string::npos);
  auto book = Query(nullptr, "DejaVu Sans Mono", "Book");
  ASSERT_TRUE(book);
  EXPECT_EQ(book->GetFontName().GetUTF8String(), "DejaVu Sans Mono Book");

  EXPECT_FALSE(Query(nullptr, "No Such Family 9", "Regular"));
  EXPECT_FALSE(Query(nullptr, "DejaVu Sans", "Ultra Wide"));
  EXPECT_FALSE(Query(nullptr, "", "Bold"));
  // The same font twice is the same object.
  auto again = Query(nullptr, "DejaVu Sans", "bold");
  EXPECT_EQ(again.get(), bold.get());
}

TEST_F(HostFonts, TheDocumentsListWinsAndMayProtectAFont) {
  auto* doc = Open(WithFontList(), "/work/cards/card.tlvd");
  ASSERT_TRUE(doc);
  InterfacePtr<IDocument> document(doc->Ref(standin::Document::kDocumentUID), IID_IDOCUMENT);
  ASSERT_TRUE(document);
  auto overridden = Query(document, "DejaVu Sans", "Bold");
  ASSERT_TRUE(overridden);
  EXPECT_EQ(overridden->GetFontName().GetUTF8String(), "DejaVu Sans Bold");
  EXPECT_EQ(Files(overridden),
            (std::vector<std::string>{"/work/cards/fonts/MyBold.otf", "/opt/fonts/extra.afm"}));
  // Fonts the machine lacks: a protected one has no files; a collection
  // keeps its path as written.
  auto lost = Query(document, "corporate sans", "regular");
  ASSERT_TRUE(lost);
  EXPECT_EQ(lost->GetFontName().GetUTF8String(), "Corporate Sans Regular");
  EXPECT_TRUE(Files(lost).empty());
  auto collection = Query(document, "Mincho", "W3");
  ASSERT_TRUE(collection);
  EXPECT_EQ(Files(collection), (std::vector<std::string>{"/work/cards/fonts/Mincho.TTC"}));
  // Any interface of the document names it; without the document the
  // machine's fonts answer.
  InterfacePtr<ILabel> label(doc->Ref(standin::Document::kDocumentUID), IID_ILABEL);
  EXPECT_EQ(Files(Query(label, "DejaVu Sans", "Bold")).size(), 2u);
  auto machine = Query(nullptr, "DejaVu Sans", "Bold");
  ASSERT_TRUE(machine);
  EXPECT_EQ(Files(machine).size(), 1u);
  EXPECT_FALSE(Query(nullptr, "Corporate Sans", "Regular"));
  // Styles the list does not name come from the machine.
  auto oblique = Query(document, "DejaVu Sans", "Oblique");
  ASSERT_TRUE(oblique);
  EXPECT_NE(Files(oblique)[0].find("DejaVuSans-Oblique"), std::string::npos);
}

TEST_F(HostFonts, OnlyARegularFileThatHoldsAFontIsUsable) {
  Utils<IFontMgr> fonts;
  ASSERT_TRUE(fonts);
  const std::string real = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
  EXPECT_TRUE(fonts->IsUsableFontFile(IDFile(real)));
  TempDir dir;
  const std::string whole = ReadFile(real);
  ASSERT_GT(whole.size(), 1000u);
  const std::string fifo = dir.path() + "/pipe.ttf";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  // Each of these answers false at once: a FIFO is not waited on.
  for (const std::string& path :
       {dir.Write("empty.ttf", ""), dir.Write("garbage.ttf", "not a font at all"),
        dir.Write("cut.ttf", whole.substr(0, 12)), dir.path() + "/missing.ttf", dir.path(), fifo,
        std::string("/dev/zero")}) {
    EXPECT_FALSE(fonts->IsUsableFontFile(IDFile(path))) << path;
  }
}

}  // namespace
}  // namespace osltest

// What host/ promises of PDF export: the session's presets, the command
// that makes a preset's settings the current ones, and the export
// providers, whose PDF is read back with poppler's tools.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "host/CmdUtils.h"
#include "host/IDocument.h"
#include "host/ILayout.h"
#include "host/IPDFExport.h"
#include "host/IServiceRegistry.h"
#include "host/InterfacePtr.h"
#include "host/Utils.h"
#include "standin/pdf/drawing_color.h"
#include "tests/support/failing_pdf_writer.h"
#include "tests/support/host_fixture.h"
#include "tests/support/subprocess.h"

namespace osltest {
namespace {

const char kFormat[] = "Corvale PDF (Print)";

class HostPdfPresets : public HostTest {
 protected:
  InterfacePtr<IPDFExptStyleListMgr> Presets() {
    return InterfacePtr<IPDFExptStyleListMgr>(GetExecutionContextSession(),
                                              IID_IPDFEXPTSTYLELISTMGR);
  }
  // Applies preset `index` as a plug-in does; the command's result.
  ErrorCode Apply(int32 index) {
    InterfacePtr<IPDFExportPrefs> preset(Presets()->QueryNthStyle(index));
    if (!preset) return -1;
    InterfacePtr<ICommand> command(CmdUtils::CreateCommand(kSetPDFExportPrefsCmdBoss));
    if (!command) return -2;
    InterfacePtr<IPDFExportPrefs> data(command, IID_IPDFEXPORTPREFS);
    if (!data) return -3;
    data->CopyPrefs(preset);
    return CmdUtils::ProcessCommand(command);
  }
  std::string CurrentPreset() {
    InterfacePtr<IPDFExportPrefs> current(GetExecutionContextSession(), IID_IPDFEXPORTPREFS);
    return current ? current->GetPresetName().GetUTF8String() : "(none)";
  }
};

class HostPdfExport : public HostPdfPresets {
 protected:
  // The first export provider that takes `format` for `doc`, as a plug-in
  // finds it.
  InterfacePtr<IExportProvider> Provider(standin::Document* doc, const char* format = kFormat) {
    InterfacePtr<IServiceRegistry> registry(GetExecutionContextSession(), IID_ISERVICEREGISTRY);
    InterfacePtr<IDocument> document(doc->Ref(standin::Document::kDocumentUID), IID_IDOCUMENT);
    for (int32 i = 0; registry && i < registry->GetServiceProviderCount(kExportProviderService);
         ++i) {
      InterfacePtr<IPMUnknown> boss(registry->QueryNthServiceProvider(kExportProviderService, i));
      InterfacePtr<IExportProvider> provider(boss, IID_IEXPORTPROVIDER);
      if (provider && provider->CanExportThisFormat(document, nullptr, PMString(format)))
        return provider;
    }
    return InterfacePtr<IExportProvider>();
  }
  ErrorCode Export(standin::Document* doc, const std::string& path) {
    auto provider = Provider(doc);
    if (!provider) return -1;
    InterfacePtr<IDocument> document(doc->Ref(standin::Document::kDocumentUID), IID_IDOCUMENT);
    return provider->ExportToFile(IDFile(path), document, nullptr, PMString(kFormat), 0);
  }
  standin::Document* OpenExample(const std::string& name) {
    std::string error;
    auto* doc = host_.OpenDocument(std::string(OSL_SOURCE_DIR) + "/examples/" + name, &error);
    EXPECT_TRUE(doc) << error;
    return doc;
  }
  static std::string Tool(const std::string& tool, const std::string& pdf,
                          const std::vector<std::string>& options = {}) {
    std::vector<std::string> argv{"/usr/bin/" + tool};
    argv.insert(argv.end(), options.begin(), options.end());
    argv.push_back(pdf);
    if (tool == "pdftotext") argv.push_back("-");
    const RunResult run = RunProcess(argv);
    EXPECT_EQ(run.status, 0) << tool << ": " << run.err;
    return run.out;
  }
  TempDir dir_;
};

TEST_F(HostPdfPresets, AFreshHostHasOnePresetNamedOstrel) {
  auto presets = Presets();
  ASSERT_TRUE(presets);
  ASSERT_EQ(presets->GetNumStyles(), 1);
  PMString name;
  ASSERT_EQ(presets->GetNthStyleName(0, &name), kSuccess);
  EXPECT_EQ(name.GetUTF8String(), "ostrel");
  EXPECT_EQ(presets->GetNthStyleName(1, &name), kFailure);
  EXPECT_EQ(presets->GetNthStyleName(-1, &name), kFailure);
  InterfacePtr<IPDFExportPrefs> prefs(presets->QueryNthStyle(0));
  ASSERT_TRUE(prefs);
  EXPECT_EQ(prefs->GetPresetName().GetUTF8String(), "ostrel");
  EXPECT_FALSE(presets->QueryNthStyle(1));
  EXPECT_FALSE(presets->QueryNthStyle(-1));
  // Nothing applied yet.
  EXPECT_EQ(CurrentPreset(), "");
}

TEST_F(HostPdfPresets, TestsRemoveRenameAndAddPresets) {
  auto& list = host_.PdfExportPresets();
  EXPECT_TRUE(list.Rename("ostrel", "Press Quality"));
  EXPECT_FALSE(list.Rename("ostrel", "x"));
  EXPECT_TRUE(list.Add("ostrel"));
  EXPECT_FALSE(list.Add("ostrel"));
  EXPECT_FALSE(list.Add(""));
  EXPECT_FALSE(list.Rename("ostrel", "Press Quality"));
  auto presets = Presets();
  ASSERT_EQ(presets->GetNumStyles(), 2);
  PMString name;
  presets->GetNthStyleName(0, &name);
  EXPECT_EQ(name.GetUTF8String(), "Press Quality");
  presets->GetNthStyleName(1, &name);
  EXPECT_EQ(name.GetUTF8String(), "ostrel");
  EXPECT_TRUE(list.Remove("ostrel"));
  EXPECT_TRUE(list.Remove("Press Quality"));
  EXPECT_FALSE(list.Remove("ostrel"));
  EXPECT_EQ(presets->GetNumStyles(), 0);
  EXPECT_FALSE(presets->QueryNthStyle(0));
}

TEST_F(HostPdfPresets, TheCommandMakesAPresetsSettingsCurrent) {
  host_.PdfExportPresets().Add("Proof");
  ASSERT_EQ(Apply(1), kSuccess);
  EXPECT_EQ(CurrentPreset(), "Proof");
  ASSERT_EQ(Apply(0), kSuccess);
  EXPECT_EQ(CurrentPreset(), "ostrel");
  // The command's own settings are a copy: later changes to the preset do
  // not reach the current settings.
  host_.PdfExportPresets().Rename("ostrel", "renamed");
  EXPECT_EQ(CurrentPreset(), "ostrel");
  // Unknown commands and null ones.
  EXPECT_FALSE(CmdUtils::CreateCommand(0x7E7E7E));
  EXPECT_NE(CmdUtils::ProcessCommand(nullptr), kSuccess);
}

TEST_F(HostPdfExport, ProvidersAnswerForTheirFormatOnly) {
  auto* doc = Open(SampleDocument());
  ASSERT_TRUE(doc);
  EXPECT_TRUE(Provider(doc));
  EXPECT_FALSE(Provider(doc, "Corvale PDF (Screen)"));
  EXPECT_FALSE(Provider(doc, "corvale pdf (print)"));
  auto provider = Provider(doc);
  EXPECT_FALSE(provider->CanExportThisFormat(nullptr, nullptr, PMString(kFormat)));
  InterfacePtr<IServiceRegistry> registry(GetExecutionContextSession(), IID_ISERVICEREGISTRY);
  EXPECT_GE(registry->GetServiceProviderCount(kExportProviderService), 1);
}

TEST_F(HostPdfExport, PagesTextFontsAndTheAppliedPreset) {
  auto* flyer = OpenExample("flyer.tlvd");
  ASSERT_TRUE(flyer);
  ASSERT_EQ(Apply(0), kSuccess);
  const std::string pdf = dir_.path() + "/flyer.pdf";
  ASSERT_EQ(Export(flyer, pdf), kSuccess);
  const std::string info = Tool("pdfinfo", pdf);
  EXPECT_NE(info.find("Pages:           2"), std::string::npos) << info;
  EXPECT_NE(info.find("Subject:         PDF preset ostrel"), std::string::npos) << info;
  EXPECT_NE(info.find("612 x 792 pts"), std::string::npos) << info;
  const std::string text = Tool("pdftotext", pdf);
  for (const char* shown : {"Spring Sale", "Everything in the garden department is 20% off",
                            "Bring this flyer to the counter.", "Greenway Garden Centre",
                            "12 Market Street, Springfield", "https://example.com/sale"}) {
    EXPECT_NE(text.find(shown), std::string::npos) << shown << "\n" << text;
  }
  // Every font the text uses is embedded.
  const std::string fonts = Tool("pdffonts", pdf);
  for (const char* font :
       {"DejaVuSerif-Bold", "DejaVuSans-Bold", "DejaVuSans ", "DejaVuSerif ", "DejaVuSansMono"}) {
    EXPECT_NE(fonts.find(font), std::string::npos) << font << "\n" << fonts;
  }
  size_t lines = 0;
  for (size_t at = fonts.find("TrueType"); at != std::string::npos;
       at = fonts.find("TrueType", at + 1)) {
    const size_t end = fonts.find('\n', at);
    EXPECT_NE(fonts.substr(at, end - at).find("yes yes yes"), std::string::npos) << fonts;
    ++lines;
  }
  EXPECT_GE(lines, 5u);
}

TEST_F(HostPdfExport, HiddenItemsAreLeftOut) {
  auto* card = OpenExample("business-card.tlvd");
  ASSERT_TRUE(card);
  Utils<ITransformFacade> facade;
  UIDList tagged(card);
  for (UID uid : {11u, 14u, 15u}) tagged.Append(uid);
  ASSERT_EQ(facade->SetVisible(tagged, 0), kSuccess);
  const std::string pdf = dir_.path() + "/card.pdf";
  ASSERT_EQ(Export(card, pdf), kSuccess);
  const std::string text = Tool("pdftotext", pdf);
  EXPECT_EQ(text.find("Jane Doe"), std::string::npos) << text;
  EXPECT_EQ(text.find("555 0100"), std::string::npos) << text;
  EXPECT_EQ(text.find("jane.doe"), std::string::npos) << text;
  EXPECT_NE(text.find("Head of Printing"), std::string::npos) << text;
  // Shown again, they are exported again.
  ASSERT_EQ(facade->SetVisible(tagged, 1), kSuccess);
  ASSERT_EQ(Export(card, pdf), kSuccess);
  const std::string again = Tool("pdftotext", pdf);
  EXPECT_NE(again.find("Jane Doe"), std::string::npos) << again;
  EXPECT_NE(again.find("jane.doe@example.com"), std::string::npos) << again;

  // A hidden group takes its members with it.
  auto* flyer = OpenExample("flyer.tlvd");
  ASSERT_TRUE(flyer);
  UIDList group(flyer);
  group.Append(30);
  ASSERT_EQ(facade->SetVisible(group, 0), kSuccess);
  ASSERT_EQ(Export(flyer, pdf), kSuccess);
  const std::string flyerText = Tool("pdftotext", pdf);
  EXPECT_EQ(flyerText.find("Greenway Garden Centre"), std::string::npos) << flyerText;
  EXPECT_EQ(flyerText.find("Market Street"), std::string::npos) << flyerText;
  EXPECT_NE(flyerText.find("Spring Sale"), std::string::npos) << flyerText;
}

TEST_F(HostPdfExport, PlacedPngAndJpegImagesAndMissingOnes) {
  // A JPEG to place: poppler draws the flyer's first page as one.
  auto* flyer = OpenExample("flyer.tlvd");
  ASSERT_TRUE(flyer);
  const std::string flyerPdf = dir_.path() + "/flyer.pdf";
  ASSERT_EQ(Export(flyer, flyerPdf), kSuccess);
  const RunResult jpeg = RunProcess(
      {"/usr/bin/pdftoppm", "-jpeg", "-r", "20", "-singlefile", flyerPdf, dir_.path() + "/photo"});
  ASSERT_EQ(jpeg.status, 0) << jpeg.err;
  auto json = SampleDocument();
  auto& items = json["spreads"][0]["pages"][0]["items"];
  items[1]["image"] = std::string(OSL_SOURCE_DIR) + "/examples/images/logo.png";
  items.push_back(
      {{"uid", 20}, {"kind", "graphic"}, {"bounds", {0, 0, 60, 80}}, {"image", "photo.jpg"}});
  items.push_back(
      {{"uid", 21}, {"kind", "graphic"}, {"bounds", {0, 0, 10, 10}}, {"image", "gone.png"}});
  dir_.Write("broken.jpg", std::string("\xFF\xD8\xFF\xE0 not really", 15));
  items.push_back(
      {{"uid", 22}, {"kind", "graphic"}, {"bounds", {0, 0, 10, 10}}, {"image", "broken.jpg"}});
  auto* doc = Open(json, dir_.path() + "/images.tlvd");
  ASSERT_TRUE(doc);
  const std::string pdf = dir_.path() + "/images.pdf";
  Alerts();
  ASSERT_EQ(Export(doc, pdf), kSuccess);
  // Images that are not drawn are warnings of the host.
  std::string warnings;
  for (const auto& alert : Alerts()) {
    EXPECT_EQ(alert.kind, standin::AlertKind::kWarning) << alert.text;
    warnings += alert.text + "\n";
  }
  EXPECT_NE(warnings.find("gone.png"), std::string::npos) << warnings;
  EXPECT_NE(warnings.find("broken.jpg"), std::string::npos) << warnings;
  // Both images are in the PDF: the JPEG as the file itself (DCT).
  const std::string list = Tool("pdfimages", pdf, {"-list"});
  EXPECT_NE(list.find("jpeg"), std::string::npos) << list;
  EXPECT_NE(list.find(" image "), std::string::npos) << list;
  const RunResult size = RunProcess({"/usr/bin/pdfimages", "-list", pdf});
  size_t images = 0;
  for (size_t at = size.out.find("\n   1 "); at != std::string::npos;
       at = size.out.find("\n   1 ", at + 1))
    ++images;
  EXPECT_EQ(images, 2u) << size.out;
}

TEST_F(HostPdfExport, TextWithoutFillColourAndProtectedFontsIsStillDrawn) {
  auto json = SampleDocument();
  json["fonts"] = nlohmann::json::parse(
      R"([{"family": "Missing Sans", "style": "Bold", "files": []},
          {"family": "Broken", "style": "Regular", "files": ["broken.ttf"]}])");
  auto& items = json["spreads"][0]["pages"][0]["items"];
  items[0]["story"] = nlohmann::json::parse(
      R"({"text": "No colour here", "runs": [{"length": 14, "font": "Missing Sans", "style": "Bold", "size": 10}]})");
  items[3]["children"][0]["story"] = nlohmann::json::parse(
      R"({"text": "Broken font", "runs": [{"length": 11, "font": "Broken", "style": "Regular"}]})");
  // Wide enough for one line each, one below the other.
  items[0]["bounds"] = {0, 0, 190, 20};
  items[3]["matrix"] = {1, 0, 0, 1, 0, 50};
  items[3]["children"][0]["bounds"] = {0, 0, 190, 20};
  dir_.Write("broken.ttf", "not a font");
  auto* doc = Open(json, dir_.path() + "/fonts.tlvd");
  ASSERT_TRUE(doc);
  const std::string pdf = dir_.path() + "/fonts.pdf";
  ASSERT_EQ(Export(doc, pdf), kSuccess);
  const std::string text = Tool("pdftotext", pdf);
  EXPECT_NE(text.find("No colour here"), std::string::npos) << text;
  EXPECT_NE(text.find("Broken font"), std::string::npos) << text;
}

// The colour of the pixel at (x, y) of page 1 of `pdf` drawn at 72 dpi.
std::vector<int> PixelAt(const std::string& pdf, int x, int y) {
  const RunResult ppm =
      RunProcess({"/usr/bin/pdftoppm", "-r", "72", "-f", "1", "-l", "1", "-singlefile", pdf});
  // "P6\nW H\n255\n" then RGB bytes.
  std::istringstream in(ppm.out);
  std::string magic;
  int width = 0, height = 0, max = 0;
  in >> magic >> width >> height >> max;
  in.get();
  const size_t at = static_cast<size_t>(in.tellg()) + (static_cast<size_t>(y) * width + x) * 3;
  if (magic != "P6" || x >= width || y >= height || at + 3 > ppm.out.size()) return {};
  return {static_cast<unsigned char>(ppm.out[at]), static_cast<unsigned char>(ppm.out[at + 1]),
          static_cast<unsigned char>(ppm.out[at + 2])};
}

TEST_F(HostPdfExport, ProcessColoursGoThroughAPrintingProfile) {
  auto json = SampleDocument();
  auto& frame = json["spreads"][0]["pages"][0]["items"][1];  // 40 x 40 at (60, 0)
  frame["stroke"] = {{"weight", 30},
                     {"color", {{"model", "spot"}, {"name", "Leaf Green"}, {"cmyk", {70, 0, 100, 10}}}}};
  auto* doc = Open(json, dir_.path() + "/green.tlvd");
  ASSERT_TRUE(doc);
  const std::string pdf = dir_.path() + "/green.pdf";
  ASSERT_EQ(Export(doc, pdf), kSuccess);
  EXPECT_TRUE(Alerts().empty());
  // On the frame's edge. The uncalibrated formula makes it a neon
  // (69, 230, 0); through the SWOP profile it is a leaf green.
  const std::vector<int> rgb = PixelAt(pdf, 60, 20);
  ASSERT_EQ(rgb.size(), 3u);
  EXPECT_NEAR(rgb[0], 72, 16);
  EXPECT_NEAR(rgb[1], 168, 16);
  EXPECT_NEAR(rgb[2], 66, 16);
}

TEST_F(HostPdfExport, WithoutTheProfileColoursAreDrawnAndTheExportSaysSo) {
  // A host whose colour profile is missing: the file system says so.
  class NoProfile : public standin::FileSystemWrapper {
   public:
    using FileSystemWrapper::FileSystemWrapper;
    bool ReadFile(const std::string& path, std::string* contents, std::string* error,
                  size_t maxBytes) override {
      if (path == standin::kDefaultCmykProfile) {
        *error = path + ": No such file or directory";
        return false;
      }
      return target()->ReadFile(path, contents, error, maxBytes);
    }
  };
  auto* doc = OpenExample("flyer.tlvd");
  ASSERT_TRUE(doc);
  NoProfile noProfile(&host_.Files().Real());
  standin::Service<standin::FileSystem>::Replacement replaced(host_.Files(), &noProfile);
  Alerts();
  ASSERT_EQ(Export(doc, dir_.path() + "/flyer.pdf"), kSuccess);
  const auto alerts = Alerts();
  ASSERT_EQ(alerts.size(), 1u);
  EXPECT_EQ(alerts[0].kind, standin::AlertKind::kWarning);
  EXPECT_NE(alerts[0].text.find("without colour management"), std::string::npos)
      << alerts[0].text;
}

TEST_F(HostPdfExport, CharactersTheFontLacksAreDrawnInAFontThatHasThem) {
  auto json = SampleDocument();
  auto& frame = json["spreads"][0]["pages"][0]["items"][0];
  frame["bounds"] = {0, 0, 190, 20};
  frame["story"] = {{"text", "Tokyo \u6771\u4eac"},
                    {"runs", {{{"length", 9}, {"font", "DejaVu Sans"}, {"style", "Book"}}}}};
  auto* doc = Open(json, dir_.path() + "/cjk.tlvd");
  ASSERT_TRUE(doc);
  const std::string pdf = dir_.path() + "/cjk.pdf";
  ASSERT_EQ(Export(doc, pdf), kSuccess);
  EXPECT_NE(Tool("pdftotext", pdf).find("Tokyo \u6771\u4eac"), std::string::npos);
  // The CJK characters come from a CJK font, embedded beside DejaVu Sans.
  const std::string fonts = Tool("pdffonts", pdf);
  EXPECT_NE(fonts.find("DejaVuSans"), std::string::npos) << fonts;
  EXPECT_NE(fonts.find("WenQuanYi"), std::string::npos) << fonts;
}

// Lets the PDF be written, then refuses to put it in place.
class NoRename : public standin::FileSystemWrapper {
 public:
  using FileSystemWrapper::FileSystemWrapper;
  bool Rename(const std::string&, const std::string&, std::string* error) override {
    *error = "rename refused";
    return false;
  }
};

TEST_F(HostPdfExport, AFailedExportReportsAnErrorAndLeavesTheOldFile) {
  auto* doc = Open(SampleDocument());
  ASSERT_TRUE(doc);
  const std::string pdf = dir_.Write("out.pdf", "previous");
  testing::internal::CaptureStderr();
  {
    FailingPdfWriter failing(&host_.PdfWriting().Real());
    standin::Service<standin::PdfWriter>::Replacement replaced(host_.PdfWriting(), &failing);
    ErrorUtils::PMSetGlobalErrorCode(kSuccess);
    EXPECT_EQ(Export(doc, pdf), kFailure);
    EXPECT_EQ(ErrorUtils::PMGetGlobalErrorCode(), kFailure);
  }
  {
    NoRename noRename(&host_.Files().Real());
    standin::Service<standin::FileSystem>::Replacement replaced(host_.Files(), &noRename);
    EXPECT_EQ(Export(doc, pdf), kFailure);
  }
  const std::string reported = testing::internal::GetCapturedStderr();
  EXPECT_NE(reported.find("no space left on device"), std::string::npos) << reported;
  EXPECT_NE(reported.find("rename refused"), std::string::npos) << reported;
  EXPECT_EQ(ReadFile(pdf), "previous");
  EXPECT_EQ(RunProcess({"/bin/ls", "-A", dir_.path()}).out, "out.pdf\n");
  // A folder that does not exist; a document without pages.
  EXPECT_EQ(Export(doc, dir_.path() + "/missing/out.pdf"), kFailure);
  auto empty = Open(nlohmann::json::parse(R"({"format": "tlvd", "spreads": []})"));
  ASSERT_TRUE(empty);
  testing::internal::CaptureStderr();
  EXPECT_EQ(Export(empty, dir_.path() + "/empty.pdf"), kFailure);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("no pages"), std::string::npos);
  // Then one that works replaces the old file whole.
  ASSERT_EQ(Export(doc, pdf), kSuccess);
  EXPECT_EQ(ReadFile(pdf).compare(0, 5, "%PDF-"), 0);
}

TEST_F(HostPdfExport, FiveHundredPages) {
  nlohmann::json spreads = nlohmann::json::array();
  for (int i = 0; i < 500; ++i) {
    const std::string text = "Page " + std::to_string(i + 1) + " of many";
    nlohmann::json run = {{"length", text.size()}, {"font", "DejaVu Sans"}, {"style", "Book"}};
    nlohmann::json frame = {{"uid", 12 + 3 * i},
                            {"kind", "text"},
                            {"bounds", {0, 0, 180, 20}},
                            {"matrix", {1, 0, 0, 1, 10, 10}},
                            {"stroke", {{"weight", 1}}}};
    frame["story"] = {{"text", text}, {"runs", nlohmann::json::array({run})}};
    nlohmann::json page = {{"uid", 11 + 3 * i}, {"bounds", {0, 0, 200, 100}}};
    page["items"] = nlohmann::json::array({frame});
    spreads.push_back({{"uid", 10 + 3 * i}, {"pages", nlohmann::json::array({page})}});
  }
  nlohmann::json json = {{"format", "tlvd"}};
  json["spreads"] = std::move(spreads);
  auto* doc = Open(json);
  ASSERT_TRUE(doc);
  const std::string pdf = dir_.path() + "/many.pdf";
  ASSERT_EQ(Export(doc, pdf), kSuccess);
  EXPECT_NE(Tool("pdfinfo", pdf).find("Pages:           500"), std::string::npos);
  const std::string last = Tool("pdftotext", pdf, {"-f", "500", "-l", "500"});
  EXPECT_NE(last.find("Page 500 of many"), std::string::npos) << last;
}

}  // namespace
}  // namespace osltest

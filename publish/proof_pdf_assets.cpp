#include "publish/proof_pdf_assets.h"

#include <utility>

#include "host/CAlert.h"
#include "host/CmdUtils.h"
#include "host/IDocFileHandler.h"
#include "host/IFontMgr.h"
#include "host/ILayout.h"
#include "host/IPDFExport.h"
#include "host/IServiceRegistry.h"
#include "host/ISession.h"
#include "host/PersistUtils.h"
#include "host/Utils.h"
#include "publish/publish_texts.h"
#include "service_client/platform.h"

namespace {

void ShowFontAlert(const char* key) {
  CAlert::ModalAlert(Translated(key), Literal("OK"), Literal(""), Literal(""), 1, 2);
}

void SetVisible(const UIDList& items, bool16 visible) {
  if (items.IsEmpty()) return;
  Utils<ITransformFacade> facade;
  if (facade) facade->SetVisible(items, visible);
}

// True when `path` opens for reading as a regular file. Opened without
// blocking, so that a FIFO or device named by a document cannot hang the
// publish here.
bool OpensAsRegularFile(const std::string& path) {
  return OslPlatform::Get().IsReadableRegularFile(path);
}

}  // namespace

ErrorCode ApplyPdfPreset(const PMString& name) {
  InterfacePtr<IPDFExptStyleListMgr> presets(GetExecutionContextSession(),
                                             IID_IPDFEXPTSTYLELISTMGR);
  if (!presets) {
    CAlert::InformationAlert(Literal("Failed to get IPDFExptStyleListMgr"));
    return kFailure;
  }
  const int32 count = presets->GetNumStyles();
  for (int32 i = 0; i < count; ++i) {
    InterfacePtr<IPDFExportPrefs> settings(presets->QueryNthStyle(i));
    if (!settings) continue;
    PMString presetName;
    if (presets->GetNthStyleName(i, &presetName) != kSuccess) continue;
    if (!presetName.IsEqual(name, 0, 0)) continue;
    InterfacePtr<ICommand> command(CmdUtils::CreateCommand(kSetPDFExportPrefsCmdBoss));
    InterfacePtr<IPDFExportPrefs> commandSettings(command.get(), IID_IPDFEXPORTPREFS);
    if (!command || !commandSettings) break;
    commandSettings->CopyPrefs(settings);
    return CmdUtils::ProcessCommand(command);
  }
  CAlert::InformationAlert(Literal("Please configure a PDF preset named '" + name.GetUTF8String() +
                                   "'\n\n  Menu>>File::Corvale PDF Presets"));
  return kFailure;
}

int32 ExportProofPdf(IDocument* document, const IDFile& file, const PMString& format) {
  if (ApplyPdfPreset(Literal(kOslPdfPresetName)) != kSuccess) return 1;
  Utils<ISelectionUtils> selectionUtils;
  ISelectionManager* selection = selectionUtils ? selectionUtils->GetActiveSelection() : nullptr;
  InterfacePtr<IServiceRegistry> registry(GetExecutionContextSession(), IID_ISERVICEREGISTRY);
  if (!registry) return 1;
  const int32 providers = registry->GetServiceProviderCount(kExportProviderService);
  for (int32 i = 0; i < providers; ++i) {
    InterfacePtr<IPMUnknown> boss(registry->QueryNthServiceProvider(kExportProviderService, i));
    InterfacePtr<IExportProvider> provider(boss.get(), IID_IEXPORTPROVIDER);
    if (!provider || !provider->CanExportThisFormat(document, selection, format)) continue;
    // The first provider that takes the format decides: its outcome is the
    // export's.
    return provider->ExportToFile(file, document, selection, format, 0) == kSuccess ? 0 : 1;
  }
  return 1;
}

ErrorCode SaveCopyOfDocument(IDocument* document, const IDFile& file) {
  Utils<IDocumentUtils> documents;
  if (!document || !documents) return kFailure;
  InterfacePtr<IDocFileHandler> handler(documents->QueryDocFileHandler(::GetUIDRef(document)));
  if (!handler) return kFailure;
  // An error left by an earlier operation must not count as this save's.
  ErrorUtils::PMSetGlobalErrorCode(kSuccess);
  handler->SaveACopy(::GetUIDRef(document), file, 0);
  return ErrorUtils::PMGetGlobalErrorCode();
}

void HideFieldItems(const UIDList& items) { SetVisible(items, 0); }

HiddenFieldItems::HiddenFieldItems(const UIDList& items) : shown_(items.GetDataBase()) {
  Utils<ITransformFacade> facade;
  for (int32 i = 0; facade && i < items.Length(); ++i) {
    if (facade->IsVisible(items.GetRef(i))) shown_.Append(items.At(i));
  }
  HideFieldItems(items);
}

void ShowFieldItems(const UIDList& items) { SetVisible(items, 1); }

PublishAssets::PublishAssets(my_strings& strings, FileUploader upload)
    : strings_(strings), upload_(std::move(upload)) {}

PMString PublishAssets::Upload(const PMString& path, const PMString& fileName) const {
  return upload_ ? upload_(path, fileName) : PMString();
}

void PublishAssets::Add(const PMString& url, const PMString& name, osl_soap::ns2__eAssetType type) {
  osl_soap::assetInfo& record = records_.emplace_back();
  record.assetURL = strings_.Add(url);
  record.assetName = strings_.Add(name);
  record.assetType = type;
}

bool PublishAssets::AddImage(const IDFile& file, PMString* fileName) {
  if (!OpensAsRegularFile(file.GetPath())) {
    CAlert::ErrorAlert(Literal("ERROR UploadFile::fopen " + file.GetString().GetUTF8String()));
    return false;
  }
  const PMString name = Literal(file.GetFileName());
  const PMString url = Upload(file.GetString(), name);
  if (url.IsEmpty()) return false;
  Add(url, name, osl_soap::ns2__eAssetType__graphicFile);
  if (fileName) *fileName = name;
  return true;
}

void PublishAssets::AddFont(IDocument* document, const ITextAttributes& attributes,
                            osl_soap::OstrFieldInfo* record) {
  PMString family, style;
  if (!record || !attributes.GetFontFamily(&family) || !attributes.GetFontStyle(&style)) return;
  Utils<IFontMgr> fonts;
  if (!fonts) return;
  InterfacePtr<IPMFont> font(fonts->QueryFont(document, family, style));
  if (!font) return;

  PMReal scale = 0;
  record->fontHorizontalScale = attributes.GetHorizontalScale(&scale) ? scale * 100 : 100;
  record->fontVerticalScale = attributes.GetVerticalScale(&scale) ? scale * 100 : 100;
  record->fontName = strings_.Add(font->GetFontName());

  K2Vector<IDFile> files;
  font->GetFontFiles(&files);
  if (files.empty()) {
    ShowFontAlert("0x199e00kProtectedFilesKey");
    return;
  }
  const IDFile& main = files.front();
  PMString lowered = main.GetString();
  lowered.ToLower();
  if (lowered.IndexOfString(Literal(".ttc")) != PMString::kNotFound) {
    ShowFontAlert("0x199e00kTTCFilesKey");
    return;
  }
  if (uploadedFonts_.count(main.GetPath())) return;
  // A file that is no font (empty, damaged, not a font at all) would reach
  // the service as the template's font: warn once per file and keep it back.
  if (!fonts->IsUsableFontFile(main)) {
    if (refusedFonts_.insert(main.GetPath()).second) {
      CAlert::WarningAlert(Translated("0x199e00kNotAFontFileKeyBegin") + main.GetString() +
                           Translated("0x199e00kNotAFontFileKeyEnd"));
    }
    return;
  }
  const PMString name = Literal(main.GetFileName());
  const PMString url = Upload(main.GetString(), name);
  if (url.IsEmpty()) return;
  uploadedFonts_.emplace(main.GetPath(), url);
  record->fontFileName = strings_.Add(name);
  Add(url, name, osl_soap::ns2__eAssetType__fontfile);
}

std::string PublishAssets::FontName(IDocument* document, const ITextAttributes& attributes) {
  PMString family, style;
  if (!attributes.GetFontFamily(&family) || !attributes.GetFontStyle(&style)) return std::string();
  Utils<IFontMgr> fonts;
  if (!fonts) return std::string();
  InterfacePtr<IPMFont> font(fonts->QueryFont(document, family, style));
  return font ? PMString(font->GetFontName()).GetUTF8String() : std::string();
}

void PublishAssets::AddNamedFont(IDocument* document, const ITextAttributes& attributes,
                                 const std::string& fileName) {
  PMString family, style;
  if (fileName.empty() || !attributes.GetFontFamily(&family) || !attributes.GetFontStyle(&style)) {
    return;
  }
  Utils<IFontMgr> fonts;
  if (!fonts) return;
  InterfacePtr<IPMFont> font(fonts->QueryFont(document, family, style));
  if (!font) return;
  K2Vector<IDFile> files;
  font->GetFontFiles(&files);
  if (files.empty()) return;
  const IDFile& main = files.front();
  if (main.GetFileName() != fileName || uploadedFonts_.count(main.GetPath())) return;
  if (!fonts->IsUsableFontFile(main)) return;
  const PMString name = Literal(main.GetFileName());
  const PMString url = Upload(main.GetString(), name);
  if (url.IsEmpty()) return;
  uploadedFonts_.emplace(main.GetPath(), url);
  Add(url, name, osl_soap::ns2__eAssetType__fontfile);
}

osl_soap::ArrayOfAssetInfo* PublishAssets::Array() {
  array_.assetInfo.clear();
  for (osl_soap::assetInfo& record : records_) array_.assetInfo.push_back(&record);
  return &array_;
}

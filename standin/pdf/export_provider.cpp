#include "standin/pdf/export_provider.h"

#include <cstdio>
#include <set>

#include "host/CmdUtils.h"
#include "host/IDocument.h"
#include "host/IPDFExport.h"
#include "standin/document/document.h"

namespace standin {

namespace {

class PdfExportProvider : public CPMUnknown<IExportProvider> {
 public:
  PdfExportProvider(IPMUnknown* boss, Service<PdfWriter>* writer, const PdfPresets* presets,
                    Service<Alerts>* alerts)
      : CPMUnknown(boss), writer_(writer), presets_(presets), alerts_(alerts) {}

  bool16 CanExportThisFormat(IDocument* document, IPMUnknown*,
                             const PMString& format) const override {
    return DocumentOf(document) && format.GetUTF8String() == kPrintPdfFormat;
  }

  ErrorCode ExportToFile(const IDFile& file, IDocument* document, IPMUnknown*,
                         const PMString& format, int32) override {
    const Document* doc = DocumentOf(document);
    std::string error, warnings;
    if (!doc) {
      error = "no document";
    } else if (format.GetUTF8String() != kPrintPdfFormat) {
      error = "the format \"" + format.GetUTF8String() + "\" is not " + kPrintPdfFormat;
    } else if (file.IsEmpty()) {
      error = "no file given";
    } else if (writer_->Get().Write(*doc, presets_->Current(), file.GetPath(), &error, &warnings)) {
      Warn(warnings);
      return kSuccess;
    }
    Warn(warnings);
    std::fprintf(stderr, "osl: the PDF %s was not exported: %s\n", file.GetPath().c_str(),
                 error.c_str());
    ErrorUtils::PMSetGlobalErrorCode(kFailure);
    return kFailure;
  }

 private:
  static const Document* DocumentOf(IDocument* document) {
    return document ? Document::FromDataBase(document->GetDocDataBase()) : nullptr;
  }
  // Each line of `lines` as a warning alert, unless shown before.
  void Warn(const std::string& lines) {
    size_t start = 0;
    while (start < lines.size()) {
      size_t end = lines.find('\n', start);
      if (end == std::string::npos) end = lines.size();
      const std::string line = lines.substr(start, end - start);
      if (!line.empty() && shown_.insert(line).second)
        alerts_->Get().Show(AlertKind::kWarning, line, {"OK"}, 1);
      start = end + 1;
    }
  }

  Service<PdfWriter>* writer_;
  const PdfPresets* presets_;
  Service<Alerts>* alerts_;
  std::set<std::string> shown_;
};

}  // namespace

std::unique_ptr<Boss> MakePdfExportProvider(Service<PdfWriter>& writer, const PdfPresets& presets,
                                            Service<Alerts>& alerts) {
  auto boss = std::make_unique<Boss>("kPDFExportProviderBoss");
  boss->AddNew<PdfExportProvider>(IID_IEXPORTPROVIDER, &writer, &presets, &alerts);
  return boss;
}

}  // namespace standin

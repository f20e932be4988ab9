// The stand-in's PDF export provider: a boss with IExportProvider that
// exports documents in the format kPrintPdfFormat.
#pragma once

#include <memory>

#include "standin/alerts/alert_center.h"
#include "standin/core/boss.h"
#include "standin/core/service.h"
#include "standin/pdf/pdf_presets.h"
#include "standin/pdf/pdf_writer.h"

namespace standin {

// The name of the format the provider exports.
constexpr const char* kPrintPdfFormat = "Corvale PDF (Print)";

// A new provider boss. It writes through the PdfWriter in force at the
// time of the export with the current settings of `presets`; all three
// services must outlive the boss. A failed export is reported on stderr with
// its reason and sets the global error code. What was drawn otherwise than
// the document asks (an image that could not be read, a font drawn in
// another font) is shown as a warning alert through `alerts`, each warning
// once in the provider's life (one command of the host).
std::unique_ptr<Boss> MakePdfExportProvider(Service<PdfWriter>& writer, const PdfPresets& presets,
                                            Service<Alerts>& alerts);

}  // namespace standin

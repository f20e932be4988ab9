// The stand-in's PDF export provider: a boss with IExportProvider that
// exports documents in the format kPrintPdfFormat.
#pragma once

#include <memory>

#include "standin/core/boss.h"
#include "standin/core/service.h"
#include "standin/pdf/pdf_presets.h"
#include "standin/pdf/pdf_writer.h"

namespace standin {

// The name of the format the provider exports.
constexpr const char* kPrintPdfFormat = "Corvale PDF (Print)";

// A new provider boss. It writes through the PdfWriter in force at the
// time of the export with the current settings of `presets`; both must
// outlive the boss. A failed export is reported on stderr with its reason
// and sets the global error code; images that could not be drawn are
// reported on stderr as warnings.
std::unique_ptr<Boss> MakePdfExportProvider(Service<PdfWriter>& writer, const PdfPresets& presets);

}  // namespace standin

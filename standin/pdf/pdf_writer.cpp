#include "standin/pdf/pdf_writer.h"

#include "standin/pdf/pdf_renderer.h"

namespace standin {

bool CairoPdfWriter::Write(const Document& doc, const PdfSettings& settings,
                           const std::string& path, std::string* error, std::string* warnings) {
  FileSystem& files = files_->Get();
  return files.WriteFileAtomicWith(
      path,
      [&](const FileSystem::Writer& write, std::string* why) {
        return RenderPdf(doc, settings, *fonts_, files, write, why, warnings);
      },
      error);
}

}  // namespace standin

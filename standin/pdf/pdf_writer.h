// Writing a document as PDF: the host service behind the export provider.
// The host owns one PdfWriter (Service<PdfWriter>, a CairoPdfWriter); a
// test makes an export fail by wrapping it in a PdfWriterWrapper that
// overrides Write.
#pragma once

#include <string>

#include "standin/core/file_system.h"
#include "standin/core/service.h"
#include "standin/fonts/font_resolver.h"
#include "standin/pdf/pdf_presets.h"

namespace standin {

class Document;

class PdfWriter {
 public:
  virtual ~PdfWriter() = default;
  // Draws every page of `doc` (spread by spread, page by page) and writes
  // the PDF to `path` atomically: on success the file is whole; on failure
  // false is returned with *error set and `path` is as it was. Hidden items
  // (and members of hidden groups), guides and pasteboard items are left
  // out. What is drawn otherwise than the document asks (an image that
  // cannot be read, drawn as a crossed-out box; a font drawn in another
  // font) is reported in *warnings (one line each; `warnings` may be null).
  virtual bool Write(const Document& doc, const PdfSettings& settings, const std::string& path,
                     std::string* error, std::string* warnings) = 0;
};

// Draws with cairo; text in the fonts `fonts` resolves.
class CairoPdfWriter : public PdfWriter {
 public:
  // Files are written through `files` (the service in force at the time of
  // the write); `files` and `fonts` must outlive the writer.
  CairoPdfWriter(Service<FileSystem>& files, const FontResolver& fonts)
      : files_(&files), fonts_(&fonts) {}
  bool Write(const Document& doc, const PdfSettings& settings, const std::string& path,
             std::string* error, std::string* warnings) override;

 private:
  Service<FileSystem>* files_;
  const FontResolver* fonts_;
};

// Forwards to `target`; a test overrides the operation that must fail.
class PdfWriterWrapper : public PdfWriter {
 public:
  explicit PdfWriterWrapper(PdfWriter* target) : target_(target) {}
  PdfWriter* target() const { return target_; }
  bool Write(const Document& doc, const PdfSettings& settings, const std::string& path,
             std::string* error, std::string* warnings) override {
    return target_->Write(doc, settings, path, error, warnings);
  }

 private:
  PdfWriter* target_;
};

}  // namespace standin

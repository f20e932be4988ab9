// A PDF writer that fails every export, as a full disk would: wraps the
// host's real writer and overrides the one operation that must fail.
#pragma once

#include <string>

#include "standin/pdf/pdf_writer.h"

namespace osltest {

class FailingPdfWriter : public standin::PdfWriterWrapper {
 public:
  using PdfWriterWrapper::PdfWriterWrapper;
  bool Write(const standin::Document&, const standin::PdfSettings&, const std::string&,
             std::string* error, std::string*) override {
    *error = "no space left on device";
    return false;
  }
};

}  // namespace osltest

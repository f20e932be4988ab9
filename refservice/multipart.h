// Reads the one file of a multipart/form-data upload.
#pragma once

#include <string>
#include <string_view>

namespace refservice {

struct UploadedPart {
  std::string fileName;      // the filename parameter as sent (not yet cleaned)
  std::string_view content;  // the file's bytes; points into the body passed to ParseUpload
};

// Finds the first part that carries a filename in a multipart/form-data body. `contentType` is
// the request's Content-Type header value (its boundary parameter may be quoted). Accepts the
// preamble-less form ("--B" CRLF ...) and the form that starts with CR LF, header lines in any
// order and letter case, and a filename that itself contains double quotes (the value runs to the
// last quote of the line). Returns true and fills `part` on success; otherwise returns false with
// a short reason in `error`.
bool ParseUpload(std::string_view contentType, std::string_view body, UploadedPart* part,
                 std::string* error);

}  // namespace refservice

// Request bodies of forms held in memory (bounded by the caller): multipart/form-data with text
// and file parts, and application/x-www-form-urlencoded.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace refservice {

struct FormPart {
  std::string name;
  bool isFile = false;  // the part carried a filename parameter
  std::string fileName;
  std::string content;
};

// Parses a whole multipart/form-data body with `boundary`. Refuses more than `maxParts` parts, a
// part without a name, and a body whose closing delimiter is missing. False with `error` set.
bool ParseMultipartForm(std::string_view body, const std::string& boundary, size_t maxParts,
                        std::vector<FormPart>* parts, std::string* error);

// Parses "a=1&b=two+words%21". Refuses malformed percent escapes and more than `maxParts` pairs.
bool ParseUrlEncodedForm(std::string_view body, size_t maxParts, std::vector<FormPart>* parts,
                         std::string* error);

// The value of the first part named `name`, or null.
const FormPart* FindPart(const std::vector<FormPart>& parts, std::string_view name);

}  // namespace refservice

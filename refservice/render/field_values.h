// The values a document is built from: one per field, text for text and barcode fields, an image
// file for image fields. Checked before anything is drawn, so bad input renders nothing.
#pragma once

#include <functional>
#include <map>
#include <string>

#include "refservice/render/template_bundle.h"

namespace refservice {

constexpr size_t kMaxTextValueBytes = 64 * 1024;
constexpr size_t kMaxImageValueBytes = 32u << 20;

struct FieldValue {
  std::string text;   // text fields: UTF-8
  std::string image;  // image fields: the image file's bytes (PNG or JPEG)
};

// Values by field name. A field without an entry gets its stored default (text, or the default
// image uploaded with the template); an entry with an empty value makes the field empty.
using FieldValues = std::map<std::string, FieldValue>;

// Reads an image value named in the JSON (a path for the command line). False with `error` set.
using ImageLoader = std::function<bool(const std::string& name, std::string* bytes,
                                       std::string* error)>;

// Parses `json`, a JSON object mapping field names to strings, against the template's fields.
// Image fields' strings go through `loadImage` (unless empty); when `loadImage` is empty an
// image field's non-empty string is refused. False with `error` set for: text that is not a JSON
// object, a value that is not a string, a field the template lacks, a text over
// kMaxTextValueBytes or not UTF-8, an image that is not PNG or JPEG.
bool ParseFieldValues(const std::string& json, const TemplateBundle& bundle,
                      const ImageLoader& loadImage, FieldValues* out, std::string* error);

// Checks one value against its field and stores it in `out`. Used for form fields and uploaded
// images as well as JSON.
bool AddFieldValue(const TemplateBundle& bundle, const std::string& name, const std::string& text,
                   const std::string& image, bool isImage, FieldValues* out, std::string* error);

// "PNG" or "JPEG" when `bytes` start like such an image file, else "".
std::string ImageFormat(const std::string& bytes);

}  // namespace refservice

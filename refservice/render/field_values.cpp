#include "refservice/render/field_values.h"

#include <cairo.h>

#include <cstdio>

#include <nlohmann/json.hpp>

#include "refservice/render/image_drawing.h"
#include "text/printable_text.h"

namespace refservice {
namespace {

bool ValidUtf8(const std::string& text) {
  size_t i = 0;
  while (i < text.size()) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    size_t extra = 0;
    uint32_t code = 0;
    if (c < 0x80) {
      ++i;
      continue;
    } else if ((c & 0xE0) == 0xC0) {
      extra = 1;
      code = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
      extra = 2;
      code = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
      extra = 3;
      code = c & 0x07;
    } else {
      return false;
    }
    if (i + extra >= text.size()) return false;
    for (size_t k = 1; k <= extra; ++k) {
      unsigned char next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = (code << 6) | (next & 0x3F);
    }
    if ((extra == 1 && code < 0x80) || (extra == 2 && code < 0x800) ||
        (extra == 3 && (code < 0x10000 || code > 0x10FFFF)) || (code >= 0xD800 && code <= 0xDFFF)) {
      return false;
    }
    i += extra + 1;
  }
  return true;
}

// The first bidirectional embedding, override or isolate control (U+202A-U+202E,
// U+2066-U+2069) in UTF-8 `text`, or 0. Such a control reorders the printed text after it
// without showing itself.
uint32_t BidiControlIn(const std::string& text) {
  for (size_t i = 0; i + 2 < text.size(); ++i) {
    if (static_cast<unsigned char>(text[i]) != 0xE2) continue;
    const unsigned char second = static_cast<unsigned char>(text[i + 1]);
    const unsigned char third = static_cast<unsigned char>(text[i + 2]);
    if ((second == 0x80 && third >= 0xAA && third <= 0xAE) ||
        (second == 0x81 && third >= 0xA6 && third <= 0xA9)) {
      return 0x2000u + ((second & 0x3Fu) << 6) + (third & 0x3Fu);
    }
  }
  return 0;
}

std::string Quoted(const std::string& name) {
  std::string out = "\"";
  for (unsigned char c : name) {
    if (c < 0x20 || c == 0x7F) {
      textutil::AppendByteEscape(out, c);
    } else {
      out.push_back(static_cast<char>(c));
    }
  }
  return out + "\"";
}

}  // namespace

std::string ImageFormat(const std::string& bytes) {
  if (bytes.size() >= 8 && bytes.compare(0, 8, "\x89PNG\r\n\x1a\n") == 0) return "PNG";
  if (bytes.size() >= 3 && bytes.compare(0, 3, "\xFF\xD8\xFF") == 0) return "JPEG";
  return "";
}

bool AddFieldValue(const TemplateBundle& bundle, const std::string& name, const std::string& text,
                   const std::string& image, bool isImage, FieldValues* out, std::string* error) {
  const RenderField* field = bundle.Field(name);
  if (field == nullptr) {
    *error = "the template has no field named " + Quoted(name);
    return false;
  }
  FieldValue value;
  if (field->IsImage()) {
    if (!isImage && !text.empty()) {
      *error = "field " + Quoted(name) + " takes an image file, not text";
      return false;
    }
    if (image.size() > kMaxImageValueBytes) {
      *error = "the image for field " + Quoted(name) + " is larger than " +
               std::to_string(kMaxImageValueBytes >> 20) + " MiB";
      return false;
    }
    if (!image.empty() && ImageFormat(image).empty()) {
      *error = "the value of field " + Quoted(name) + " is not an image (PNG or JPEG expected)";
      return false;
    }
    if (!image.empty()) {
      std::string failure;
      cairo_surface_t* decoded = DecodeImage(image, &failure);
      if (decoded == nullptr) {
        *error = "the image for field " + Quoted(name) + " cannot be used: " + failure;
        return false;
      }
      cairo_surface_destroy(decoded);
    }
    value.image = image;
  } else {
    if (isImage) {
      *error = "field " + Quoted(name) + " takes text, not a file";
      return false;
    }
    if (text.size() > kMaxTextValueBytes) {
      *error = "the value of field " + Quoted(name) + " is longer than 64 KiB (" +
               std::to_string(text.size()) + " bytes)";
      return false;
    }
    if (!ValidUtf8(text) || text.find('\0') != std::string::npos) {
      *error = "the value of field " + Quoted(name) + " is not UTF-8 text";
      return false;
    }
    if (const uint32_t control = BidiControlIn(text)) {
      char code[8];
      std::snprintf(code, sizeof code, "%04X", static_cast<unsigned>(control));
      *error = "the value of field " + Quoted(name) + " holds the bidirectional control U+" + code +
               ", which would reorder the printed text; remove it";
      return false;
    }
    value.text = text;
  }
  (*out)[name] = std::move(value);
  return true;
}

bool ParseFieldValues(const std::string& json, const TemplateBundle& bundle,
                      const ImageLoader& loadImage, FieldValues* out, std::string* error) {
  nlohmann::json parsed = nlohmann::json::parse(json, nullptr, false);
  if (parsed.is_discarded() || !parsed.is_object()) {
    *error = "the values are not a JSON object of field names and texts";
    return false;
  }
  for (auto it = parsed.begin(); it != parsed.end(); ++it) {
    if (!it.value().is_string()) {
      *error = "the value of field " + Quoted(it.key()) + " is not a JSON string";
      return false;
    }
    const std::string& given = it.value().get_ref<const std::string&>();
    const RenderField* field = bundle.Field(it.key());
    if (field != nullptr && field->IsImage() && !given.empty()) {
      if (!loadImage) {
        *error = "field " + Quoted(it.key()) + " takes an image file; send it as a file part";
        return false;
      }
      std::string bytes;
      if (!loadImage(given, &bytes, error)) return false;
      if (bytes.empty()) {
        *error = "the image for field " + Quoted(it.key()) + " is an empty file";
        return false;
      }
      if (!AddFieldValue(bundle, it.key(), "", bytes, true, out, error)) return false;
      continue;
    }
    if (!AddFieldValue(bundle, it.key(), given, "", false, out, error)) return false;
  }
  return true;
}

}  // namespace refservice

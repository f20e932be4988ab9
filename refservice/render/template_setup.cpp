#include "refservice/render/template_setup.h"

#include <cairo-pdf.h>
#include <cairo.h>
#include <poppler.h>

#include "refservice/render/image_drawing.h"

namespace refservice {
namespace {

// What fontconfig and Pango hold for one template's fonts, roughly: the configuration with the
// system's font list and two font maps with their caches.
constexpr size_t kFontSetupBytes = size_t{2} << 20;
// Poppler's parsed objects of an open document, roughly, per byte of the file.
constexpr size_t kPopplerBytesPerFileByte = 2;

cairo_status_t AppendBytes(void* closure, const unsigned char* data, unsigned int length) {
  static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
  return CAIRO_STATUS_SUCCESS;
}

}  // namespace

PopplerDocument* OpenPdfDocument(const std::string& bytes, std::string* error) {
  GBytes* data = g_bytes_new_static(bytes.data(), bytes.size());
  GError* failure = nullptr;
  PopplerDocument* document = poppler_document_new_from_bytes(data, nullptr, &failure);
  g_bytes_unref(data);
  if (document == nullptr) {
    *error = std::string("the PDF cannot be read: ") +
             (failure != nullptr ? failure->message : "unknown error");
    if (failure != nullptr) g_error_free(failure);
  }
  return document;
}

TemplateSetup::TemplateSetup(std::shared_ptr<const TemplateBundle> bundle, FileSystem* fs)
    : bundle_(std::move(bundle)), fs_(fs) {}

TemplateSetup::~TemplateSetup() {
  for (auto& [name, image] : images_) {
    if (image.surface != nullptr) cairo_surface_destroy(image.surface);
  }
  fonts_.reset();
  if (master_ != nullptr) g_object_unref(master_);
}

PopplerDocument* TemplateSetup::Master(std::string* error) {
  if (!masterTried_) {
    masterTried_ = true;
    const std::string& id = bundle_->record.docId;
    if (bundle_->masterPdf.empty()) {
      masterError_ = "template " + id + " has no master PDF; publish it again";
    } else if ((master_ = OpenPdfDocument(bundle_->masterPdf, &masterError_)) == nullptr) {
      masterError_ = "the master PDF of template " + id + " is damaged: " + masterError_;
    } else if (poppler_document_get_n_pages(master_) <= 0) {
      g_object_unref(master_);
      master_ = nullptr;
      masterError_ = "the master PDF of template " + id + " has no pages";
    }
  }
  if (master_ == nullptr) *error = masterError_;
  return master_;
}

FontLibrary& TemplateSetup::Fonts() {
  if (!fonts_) fonts_ = std::make_unique<FontLibrary>(*bundle_, fs_);
  return *fonts_;
}

const StoredImage& TemplateSetup::DefaultImage(const std::string& name) {
  auto known = images_.find(name);
  if (known != images_.end()) return known->second;
  StoredImage image;
  auto file = bundle_->imageFiles.find(name);
  std::string bytes;
  std::string error;
  if (file == bundle_->imageFiles.end()) {
    image.note = "the default image \"" + name + "\" was not uploaded";
  } else if (!ReadStoredFile(fs_, file->second, &bytes, &error)) {
    image.note = "the default image cannot be read";
  } else if (!bytes.empty()) {
    image.present = true;
    image.surface = DecodeImage(bytes, &image.failure);
    if (image.surface != nullptr) {
      imageBytes_ += static_cast<size_t>(cairo_image_surface_get_stride(image.surface)) *
                         static_cast<size_t>(cairo_image_surface_get_height(image.surface)) +
                     bytes.size();
    }
  }
  return images_.emplace(name, std::move(image)).first->second;
}

size_t TemplateSetup::ApproxBytes() const {
  return (fonts_ ? kFontSetupBytes : 0) +
         (master_ != nullptr ? bundle_->masterPdf.size() * kPopplerBytesPerFileByte : 0) +
         imageBytes_;
}

size_t ApproxBundleBytes(const TemplateBundle& bundle) {
  size_t bytes = sizeof bundle + bundle.masterPdf.size();
  for (const RenderField& field : bundle.fields) {
    bytes += sizeof field + field.name.size() + field.defaultValue.size() +
             field.promptText.size() + field.fontName.size() + field.fontFileName.size() +
             field.dependsOn.size();
  }
  return bytes;
}

PopplerSettingsHold::PopplerSettingsHold() {
  cairo_surface_t* surface = cairo_pdf_surface_create_for_stream(AppendBytes, &pdf_, 1, 1);
  cairo_t* cr = cairo_create(surface);
  cairo_show_page(cr);
  cairo_destroy(cr);
  cairo_surface_finish(surface);
  cairo_surface_destroy(surface);
  std::string error;
  document_ = OpenPdfDocument(pdf_, &error);
}

PopplerSettingsHold::~PopplerSettingsHold() {
  if (document_ != nullptr) g_object_unref(document_);
}

}  // namespace refservice

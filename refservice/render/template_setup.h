// What rendering one template at one commit needs besides the values: its parsed records (the
// bundle), its fonts (a fontconfig configuration and Pango font maps over it), its master PDF
// opened by poppler, and its stored default images decoded into cairo surfaces. Each part is made
// on first use and kept, so a set-up that renders many documents pays for them once.
//
// Pango, fontconfig, poppler and cairo objects are not safe to use from two threads at once: a
// set-up serves one render at a time (template_setup_cache.h lends each to one render). The bundle
// is never changed and may be shared by several set-ups of the same commit. Every object a
// set-up makes is freed with it.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "refservice/render/font_library.h"
#include "refservice/render/template_bundle.h"

typedef struct _PopplerDocument PopplerDocument;
typedef struct _cairo_surface cairo_surface_t;

namespace refservice {

// A stored default image as a render uses it.
struct StoredImage {
  bool present = false;                // stored and readable: the field is not empty
  cairo_surface_t* surface = nullptr;  // decoded; null when the bytes are not a readable image
  std::string note;                    // not present: why
  std::string failure;                 // present but not decoded: why
};

class TemplateSetup {
 public:
  // `bundle` must not change while the set-up lives; `fs` (its data folder) must outlive it.
  TemplateSetup(std::shared_ptr<const TemplateBundle> bundle, FileSystem* fs);
  ~TemplateSetup();
  TemplateSetup(const TemplateSetup&) = delete;
  TemplateSetup& operator=(const TemplateSetup&) = delete;

  const TemplateBundle& bundle() const { return *bundle_; }
  const std::shared_ptr<const TemplateBundle>& sharedBundle() const { return bundle_; }

  // The master PDF with at least one page, opened on the first call; null with `error` set (no
  // master PDF stored, a damaged one, one without pages), the same answer on every call.
  PopplerDocument* Master(std::string* error);
  // The template's fonts, gathered on the first call.
  FontLibrary& Fonts();
  // The default image stored under asset name `name`, read and decoded on the first call.
  const StoredImage& DefaultImage(const std::string& name);

  // Memory the set-up holds besides its bundle, roughly (bytes): what a cache counts.
  size_t ApproxBytes() const;

 private:
  std::shared_ptr<const TemplateBundle> bundle_;
  FileSystem* fs_;
  bool masterTried_ = false;
  PopplerDocument* master_ = nullptr;
  std::string masterError_;
  std::unique_ptr<FontLibrary> fonts_;
  std::map<std::string, StoredImage> images_;
  size_t imageBytes_ = 0;
};

// Opens a PDF held in memory (`bytes` must outlive the document); the caller unrefs it. Null
// with `error` set when poppler cannot read it.
PopplerDocument* OpenPdfDocument(const std::string& bytes, std::string* error);

// Memory a bundle holds, roughly (bytes): its master PDF and its field records.
size_t ApproxBundleBytes(const TemplateBundle& bundle);

// Keeps poppler's process-wide settings built while it lives. Poppler builds them (a scan of the
// system's fonts) when a document is opened while none is open, and frees them when the last one
// closes; holding one small document open keeps them from being rebuilt for every PDF opened.
class PopplerSettingsHold {
 public:
  PopplerSettingsHold();
  ~PopplerSettingsHold();
  PopplerSettingsHold(const PopplerSettingsHold&) = delete;
  PopplerSettingsHold& operator=(const PopplerSettingsHold&) = delete;

 private:
  std::string pdf_;
  PopplerDocument* document_ = nullptr;
};

}  // namespace refservice

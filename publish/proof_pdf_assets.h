// The files of a published template besides its field records: the copy of
// the native document, the proof PDF (the layout with the field items
// hidden), the images placed in image fields and the fonts of text fields,
// with the asset records that register them at the service.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>

#include "host/IDFile.h"
#include "host/IDocument.h"
#include "host/ITextModel.h"
#include "host/PMString.h"
#include "host/UIDRef.h"
#include "publish/my_strings.h"
#include "service_client/messages.h"

// The preset whose settings every proof PDF is exported with, and the
// export format.
constexpr char kOslPdfPresetName[] = "ostrel";
constexpr char kOslPdfExportFormat[] = "Corvale PDF (Print)";

// Makes the settings of the session's PDF export preset `name` (compared
// without regard to letter case) the current PDF export settings. Returns 0
// on success. When the session has no preset list, shows the information
// alert "Failed to get IPDFExptStyleListMgr" and returns 1; when no preset
// has that name (or the command cannot be made), shows an information alert
// asking for the preset and returns 1; when the host's command fails,
// returns its error code without an alert.
ErrorCode ApplyPdfPreset(const PMString& name);

// Exports `document` to `file` in `format` with the settings of the preset
// "ostrel": the first export provider that can export the document in that
// format does it. Returns 0 when the provider reports the file written
// whole, 1 when the preset cannot be applied, no provider accepts the format
// or the export fails.
int32 ExportProofPdf(IDocument* document, const IDFile& file, const PMString& format);

// Saves a copy of `document` in the host's native format to `file`. Returns
// the host's global error code after the save (0: saved), kFailure when the
// host offers no file handler for the document.
ErrorCode SaveCopyOfDocument(IDocument* document, const IDFile& file);

// Hide and show `items` (page items of one document) for drawing and
// export; an empty list does nothing.
void HideFieldItems(const UIDList& items);
void ShowFieldItems(const UIDList& items);

// Hides `items` for as long as it lives; when it ends, on every path, shows
// again exactly those of them that were shown before, so an item the
// designer had hidden stays hidden.
class HiddenFieldItems {
 public:
  explicit HiddenFieldItems(const UIDList& items);
  ~HiddenFieldItems() { ShowFieldItems(shown_); }
  HiddenFieldItems(const HiddenFieldItems&) = delete;
  HiddenFieldItems& operator=(const HiddenFieldItems&) = delete;

 private:
  UIDList shown_;
};

// Uploads one local file under a file name; returns the service's text for
// it (the asset address), or an empty string on failure. UploadFile is the
// real one.
using FileUploader = std::function<PMString(const PMString& path, const PMString& fileName)>;

// The asset records of one publish, in the order they are added, and the
// font files uploaded so far (each is uploaded once per publish). Records
// and texts are owned by the list and `strings`; Array() points at them.
class PublishAssets {
 public:
  // `strings` must outlive the list.
  PublishAssets(my_strings& strings, FileUploader upload);
  PublishAssets(const PublishAssets&) = delete;
  PublishAssets& operator=(const PublishAssets&) = delete;

  // Uploads through the uploader given at construction.
  PMString Upload(const PMString& path, const PMString& fileName) const;
  // Appends an asset record (the address may be empty).
  void Add(const PMString& url, const PMString& name, osl_soap::ns2__eAssetType type);

  // Uploads the image `file` of an image field. When the service answers
  // with an address, appends a graphic-file asset and returns true with
  // *fileName set to the file's name; false (nothing appended) otherwise.
  // A file that cannot be opened as a regular file is not sent: the error
  // alert "ERROR UploadFile::fopen " + path says so and false is returned.
  bool AddImage(const IDFile& file, PMString* fileName);

  // The font rules for a new text field whose first character carries the
  // attributes `attributes`: fills fontName, fontHorizontalScale and
  // fontVerticalScale of `record` (100 for a scale the run does not carry); uploads the font's main file unless it is
  // a font collection (".ttc" in the lower-cased path: alert, nothing
  // uploaded) or the font has no files (a protected font: alert, nothing
  // uploaded) or the file was uploaded before in this publish or is not a
  // usable font (empty, damaged, not a font: a warning alert once per file,
  // nothing uploaded); on an uploaded file sets fontFileName and appends a
  // font asset. Nothing when
  // the attributes name no family and style, or the host cannot resolve the
  // family. `document` may override where fonts come from.
  void AddFont(IDocument* document, const ITextAttributes& attributes,
               osl_soap::OstrFieldInfo* record);

  // The name of the font the attributes carry, as a new field's record gets
  // it; "" when they name no family and style or the host cannot resolve it.
  static std::string FontName(IDocument* document, const ITextAttributes& attributes);

  // For a field record the service already holds, whose text settings are
  // the service's: uploads the font file the record names (`fileName`) when
  // it is the main file of the font the attributes carry, so that the
  // template holds every font its fields name even after a publish that
  // stopped before its assets were sent. Each file goes once per publish;
  // nothing (and no alert) for an empty name, another file, an unresolved
  // font or a file that is no usable font. The record is not changed.
  void AddNamedFont(IDocument* document, const ITextAttributes& attributes,
                    const std::string& fileName);

  // The records in order, for the setAssets request. Valid until the next
  // Add.
  osl_soap::ArrayOfAssetInfo* Array();
  size_t size() const { return records_.size(); }

 private:
  my_strings& strings_;
  FileUploader upload_;
  std::deque<osl_soap::assetInfo> records_;
  osl_soap::ArrayOfAssetInfo array_;
  std::map<std::string, PMString> uploadedFonts_;  // local path -> address
  std::set<std::string> refusedFonts_;  // local paths of files that are no fonts
};

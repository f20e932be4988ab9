// A published template gathered for rendering: its record, its fields as plain values, its
// stacking groups and the stored files its rendering needs (the master PDF, the uploaded fonts and
// default images), read from the data folder without following any link inside it.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "refservice/storage/file_system.h"
#include "refservice/storage/store.h"

namespace refservice {

// Control types as the field records number them.
enum class FieldKind { kTextBox = 0, kTextArea = 1, kRichText = 2, kDropDown = 3,
                       kStdImage = 4, kAdvImage = 5, kImagePicker = 6, kNonPrint = 7 };

// One field as the renderer uses it. Geometry is in PDF points with the origin at the page's
// lower-left corner, as the stored pdfRect gives it.
struct RenderField {
  std::string name;
  int controlType = 0;
  int pageNumber = 1;  // 1-based
  bool hasRect = false;
  double x1 = 0, y1 = 0, x2 = 0, y2 = 0;  // lower-left and upper-right corners
  double rotation = 0;                     // degrees, clockwise as seen on the page
  int zOrder = 0;
  int logicGroupId = 0;
  std::string dependsOn;
  bool hasDefault = false;
  std::string defaultValue;
  std::string promptText;
  bool nonPrinting = false;  // drawn in previews only
  int barCode = 0;           // 0 none, 1 qrCode, ...
  std::string fontName;
  std::string fontFileName;
  double fontSize = 12;
  double fontLeading = 0;   // points; 0: the font's own line height
  double fontTracking = 0;  // thousandths of an em
  double fontOpacity = 100;  // percent
  bool fontUnderline = false;
  double c = 0, m = 0, y = 0, k = 100;  // 0..100, tint already applied
  double hScale = 100, vScale = 100;    // percent
  int alignment = 0;                    // 0..8: top/middle/bottom x left/centre/right

  bool IsImage() const { return controlType >= 4 && controlType <= 6; }
  bool IsText() const { return !IsImage() && controlType != 7; }
  double Width() const { return x2 - x1; }
  double Height() const { return y2 - y1; }
};

struct RenderGroup {
  int id = 0;
  std::string name;
  bool moveDown = false;
};

struct TemplateBundle {
  TemplateData record;
  std::string owner;
  int ownerId = 0;
  std::vector<RenderField> fields;  // in stored order
  std::vector<RenderGroup> groups;
  std::string masterPdf;  // the master PDF's bytes; empty when none was stored
  std::string dataDir;
  // Uploaded files by asset name: the path below the data folder (uploads/S/T/N).
  std::map<std::string, std::string> fontFiles;
  std::map<std::string, std::string> imageFiles;
  // The stored revision this was read at (TemplateRevision) and the template's commits by then.
  std::string revision;
  int commitCount = 0;

  const RenderField* Field(const std::string& name) const;
};

enum class BundleStatus { kOk, kNotFound, kFailed };

// Largest stored file the renderer reads into memory (master PDF, image).
constexpr uint64_t kMaxRenderFileBytes = 256u << 20;

// Reads template `id` (any letter case) from `store` and the files it names from `fs` (the data
// folder `dataDir`). `ownerId` >= 0 restricts it to that account's templates (another account's
// template is kNotFound, as if it did not exist); -1 takes any. kFailed sets `error`.
BundleStatus LoadTemplateBundle(Store* store, FileSystem* fs, const std::string& dataDir,
                                const std::string& id, int ownerId, TemplateBundle* out,
                                std::string* error);

// The stored revision of a template as its summary gives it: its row, its commit count and its
// record. A commit, an update of the record, or a template deleted and created again changes it.
std::string TemplateRevision(const TemplateSummary& summary);

// Parses a pdfRect text ("x1 y1 x2 y2"). False for anything else, or an empty or inverted box.
bool ParsePdfRect(const std::string& text, double* x1, double* y1, double* x2, double* y2);

// Reads the whole stored file `path` (below the data folder) into `out`, refusing more than
// kMaxRenderFileBytes.
bool ReadStoredFile(FileSystem* fs, const std::string& path, std::string* out, std::string* error);

}  // namespace refservice

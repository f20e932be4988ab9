// Documents in the stand-in's native format, .tlvd: JSON holding the
// document label, swatches, font overrides, spreads with pages and the
// spreads' pasteboard items, and page items per page in z-order (back to
// front). Every object has a UID; the document itself is UID 1. Stories,
// text content objects and placed images get UIDs when the document is
// loaded.
//
// Geometry: each page and item has inner bounds and an inner-to-parent
// matrix. The parent of a page and of a top-level item is its spread; the
// parent of a group member is the group. Every matrix, and the product of
// the matrices from an item to its spread, is finite and invertible.
//
// Limits of what a document may hold (larger or deeper ones are refused
// with a clear reason): kMaxDocumentBytes of JSON, kMaxJsonDepth levels of
// JSON nesting (unknown members included), kMaxGroupDepth levels of groups.
//
// Members this code does not know survive a load/save round trip: each
// object keeps only its own unknown members; known members are written back
// from the values in memory.
#pragma once

#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "host/PMGeometry.h"
#include "host/PMString.h"
#include "host/UIDRef.h"
#include "standin/core/boss.h"
#include "standin/document/tlvd_model.h"

namespace standin {

class FileSystem;

class Document : public IDataBase {
 public:
  static constexpr UID kDocumentUID = 1;
  // Larger files are refused when loading.
  static constexpr size_t kMaxDocumentBytes = 256u << 20;
  // Deeper JSON nesting (objects and arrays) is refused when loading.
  static constexpr size_t kMaxJsonDepth = 256;
  // Groups nested deeper than this are refused when loading.
  static constexpr int kMaxGroupDepth = 64;

  ~Document();

  // Reads `path` through `files`. Null with *error set (a clear, one-line
  // reason that names the file) when the file cannot be read, is larger
  // than kMaxDocumentBytes or is not a valid document.
  static std::unique_ptr<Document> Load(const std::string& path, FileSystem& files,
                                        std::string* error);
  // Builds from JSON already in memory; `path` is where Save() writes and
  // what relative file paths in the document are relative to. Null with
  // *error set when `json` is not a valid document.
  static std::unique_ptr<Document> FromJson(const nlohmann::json& json, const std::string& path,
                                            std::string* error);
  static std::unique_ptr<Document> FromJson(nlohmann::json&& json, const std::string& path,
                                            std::string* error);

  // Writes the document back to its path atomically through `files`. On
  // failure the file on disk is unchanged and *error says why.
  bool Save(FileSystem& files, std::string* error);
  // Writes a copy to `path` atomically through `files`; the document keeps
  // its own path and dirty state. Relative file paths (placed images, font
  // files) are written so that they still name the same files from the
  // copy's folder. On failure nothing is left at `path` that was not there
  // before and *error says why.
  bool SaveCopy(FileSystem& files, const std::string& path, std::string* error) const;
  // Serialises the document (unknown members included). Relative file paths
  // are kept as stored unless `relocateTo` names another folder, in which
  // case they become absolute.
  nlohmann::json ToJson(const std::string& relocateTo = {}) const;

  const std::string& Path() const { return path_; }
  // The folder relative file paths of this document are relative to
  // (absolute).
  const std::string& Folder() const { return folder_; }
  // `stored` as a full path: relative paths are taken relative to Folder().
  std::string ResolvePath(const std::string& stored) const;
  PMString Name() const;
  bool IsDirty() const { return dirty_; }
  void MarkDirty() { dirty_ = true; }

  const std::vector<std::unique_ptr<Spread>>& Spreads() const { return spreads_; }
  const std::vector<Page*>& Pages() const { return pageOrder_; }
  const std::vector<Swatch>& Swatches() const { return swatches_; }
  const std::vector<FontOverride>& FontOverrides() const { return fonts_; }
  // The override for `family` and `style` (compared ignoring ASCII case), or
  // null when the document has none.
  const FontOverride* FindFontOverride(const std::string& family, const std::string& style) const;

  // Null when `uid` names no such object.
  PageItem* FindItem(UID uid) const;
  Page* FindPage(UID uid) const;
  Spread* FindSpread(UID uid) const;
  Story* FindStory(UID uid) const;
  // The graphic frame whose placed image is `uid`, or null.
  PageItem* FindImageFrame(UID uid) const;
  // Every page item (pasteboard items, groups and their members too), in
  // document order: spread by spread, the pages' items, then the
  // pasteboard's; a group before its members.
  std::vector<PageItem*> AllItems() const;

  Boss& DocumentBoss() { return *bosses_.at(kDocumentUID); }
  Boss* FindBoss(UID uid) const;
  UIDRef Ref(UID uid) const { return UIDRef(const_cast<Document*>(this), uid); }
  // The document behind a database pointer, or null when `db` is not one.
  static Document* FromDataBase(IDataBase* db);

  // The document's own label.
  const WideString& Label() const { return label_; }
  void SetLabel(const WideString& label);
  // Gives a page item its label.
  void SetItemLabel(PageItem* item, const WideString& label);
  // Gives a page item a new inner-to-parent matrix. False (and nothing
  // changed) when the matrix, or the item's resulting inner-to-spread
  // matrix or that of one of its members, is not finite or not invertible.
  bool SetItemMatrix(PageItem* item, const PMMatrix& matrix);
  void SetItemVisible(PageItem* item, bool visible);

  // IDataBase
  IPMUnknown* Instantiate(UID uid, PMIID iid) const override;
  bool IsValidUID(UID uid) const override { return bosses_.count(uid) != 0; }

 private:
  friend class TlvdReader;
  Document() = default;
  void SetPath(const std::string& path);
  void BuildBosses();
  void BuildItemBoss(PageItem* item);

  std::string path_;
  std::string folder_;
  nlohmann::json extras_;
  WideString label_;
  std::vector<Swatch> swatches_;
  std::vector<FontOverride> fonts_;
  std::vector<std::unique_ptr<Spread>> spreads_;
  std::vector<Page*> pageOrder_;
  std::map<UID, PageItem*> items_;
  std::map<UID, Page*> pages_;
  std::map<UID, Spread*> spreadsByUID_;
  std::map<UID, Story*> stories_;
  std::map<UID, PageItem*> images_;
  std::map<UID, std::unique_ptr<Boss>> bosses_;
  UID nextUID_ = 2;
  bool dirty_ = false;
};

}  // namespace standin

// Documents in the stand-in's native format, .tlvd: JSON holding the
// document label, spreads with pages, and page items per page in z-order
// (back to front). Every object has a UID; the document itself is UID 1.
//
// Geometry: each page and item has inner bounds and an inner-to-parent
// matrix. The parent of a page and of a top-level item is its spread; the
// parent of a group member is the group.
//
// Members this code does not know survive a load/save round trip: each
// object keeps the JSON it was read from and only the members the stand-in
// owns are rewritten when saving.
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

namespace standin {

enum class ItemKind { kTextFrame, kGraphicFrame, kGroup, kGuide, kOther };

// "text", "graphic", "group", "guide", "other".
const char* ItemKindName(ItemKind kind);

struct Page;
struct Spread;

struct PageItem {
  UID uid = kInvalidUID;
  ItemKind kind = ItemKind::kOther;
  PMRect bounds;    // inner bounds
  PMMatrix matrix;  // inner-to-parent
  WideString label;
  bool visible = true;
  std::u16string storyText;      // text frames: the story's text
  std::string placedFile;        // graphic frames: path of the placed file, as stored
  UID contentUID = kInvalidUID;  // text frames: the text content object
  UID storyUID = kInvalidUID;    // text frames: the story
  Page* page = nullptr;
  PageItem* parent = nullptr;  // the group, for group members
  std::vector<std::unique_ptr<PageItem>> children;
  nlohmann::json node;  // the object as read (unknown members kept)

  // Inner-to-spread matrix (through enclosing groups).
  PMMatrix InnerToSpread() const;
};

struct Page {
  UID uid = kInvalidUID;
  PMRect bounds;
  PMMatrix matrix;  // inner-to-spread
  std::vector<std::unique_ptr<PageItem>> items;
  Spread* spread = nullptr;
  int number = 0;  // 1-based, over the whole document
  nlohmann::json node;
};

struct Spread {
  UID uid = kInvalidUID;
  std::vector<std::unique_ptr<Page>> pages;
  nlohmann::json node;
};

class FileSystem;

class Document : public IDataBase {
 public:
  static constexpr UID kDocumentUID = 1;
  // Larger files are refused when loading.
  static constexpr size_t kMaxDocumentBytes = 256u << 20;

  ~Document();

  // Reads `path` through `files`. Null with *error set (a clear, one-line
  // reason) when the file cannot be read, is larger than kMaxDocumentBytes
  // or is not a valid document.
  static std::unique_ptr<Document> Load(const std::string& path, FileSystem& files,
                                        std::string* error);
  // Builds from JSON already in memory; `path` is where Save() writes.
  static std::unique_ptr<Document> FromJson(const nlohmann::json& json, const std::string& path,
                                            std::string* error);

  // Writes the document back to its path atomically through `files`. On
  // failure the file on disk is unchanged and *error says why.
  bool Save(FileSystem& files, std::string* error);
  // Serialises the document (unknown members included).
  nlohmann::json ToJson() const;

  const std::string& Path() const { return path_; }
  PMString Name() const;
  bool IsDirty() const { return dirty_; }
  void MarkDirty() { dirty_ = true; }

  const std::vector<std::unique_ptr<Spread>>& Spreads() const { return spreads_; }
  // Null when `uid` names no page item.
  PageItem* FindItem(UID uid) const;
  Page* FindPage(UID uid) const;
  // Every page item (groups and their members too), in document order.
  std::vector<PageItem*> AllItems() const;

  Boss& DocumentBoss() { return *bosses_.at(kDocumentUID); }
  Boss* FindBoss(UID uid) const;
  UIDRef Ref(UID uid) const { return UIDRef(const_cast<Document*>(this), uid); }

  // The document's own label.
  const WideString& Label() const { return label_; }
  void SetLabel(const WideString& label);
  // Gives a page item its label.
  void SetItemLabel(PageItem* item, const WideString& label);

  // IDataBase
  IPMUnknown* Instantiate(UID uid, PMIID iid) const override;
  bool IsValidUID(UID uid) const override { return bosses_.count(uid) != 0; }

 private:
  Document() = default;
  bool Parse(const nlohmann::json& json, std::string* error);
  std::unique_ptr<PageItem> ParseItem(const nlohmann::json& node, Page* page, PageItem* parent,
                                      std::string* error);
  void BuildBosses();
  void BuildItemBoss(PageItem* item);
  nlohmann::json ItemToJson(const PageItem& item) const;

  std::string path_;
  nlohmann::json root_;
  WideString label_;
  std::vector<std::unique_ptr<Spread>> spreads_;
  std::map<UID, PageItem*> items_;
  std::map<UID, Page*> pages_;
  std::map<UID, std::unique_ptr<Boss>> bosses_;
  UID nextUID_ = 2;
  bool dirty_ = false;
};

}  // namespace standin

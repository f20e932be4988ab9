#include "standin/document/document.h"

#include <cmath>

#include "host/IDocument.h"
#include "host/ILabel.h"
#include "host/IPageItemData.h"
#include "standin/core/file_system.h"
#include "standin/core/utf8.h"

namespace standin {

using nlohmann::json;

const char* ItemKindName(ItemKind kind) {
  switch (kind) {
    case ItemKind::kTextFrame:
      return "text";
    case ItemKind::kGraphicFrame:
      return "graphic";
    case ItemKind::kGroup:
      return "group";
    case ItemKind::kGuide:
      return "guide";
    case ItemKind::kOther:
      return "other";
  }
  return "other";
}

PMMatrix PageItem::InnerToSpread() const {
  PMMatrix m = matrix;
  for (const PageItem* p = parent; p; p = p->parent) m = m.Then(p->matrix);
  return m;
}

namespace {

// ---- host interfaces on document objects ----------------------------------

class DocumentImpl : public CPMUnknown<IDocument> {
 public:
  DocumentImpl(IPMUnknown* boss, Document* doc) : CPMUnknown(boss), doc_(doc) {}
  IDataBase* GetDocDataBase() const override { return doc_; }
  PMString GetName() const override { return doc_->Name(); }

 private:
  Document* doc_;
};

class DocumentLabel : public CPMUnknown<ILabel> {
 public:
  DocumentLabel(IPMUnknown* boss, Document* doc) : CPMUnknown(boss), doc_(doc) {}
  const WideString& GetLabel() const override { return doc_->Label(); }
  void SetLabel(const WideString& label) override { doc_->SetLabel(label); }

 private:
  Document* doc_;
};

class ItemLabel : public CPMUnknown<ILabel> {
 public:
  ItemLabel(IPMUnknown* boss, Document* doc, PageItem* item)
      : CPMUnknown(boss), doc_(doc), item_(item) {}
  const WideString& GetLabel() const override { return item_->label; }
  void SetLabel(const WideString& label) override { doc_->SetItemLabel(item_, label); }

 private:
  Document* doc_;
  PageItem* item_;
};

class GuideData : public CPMUnknown<IGuideData> {
 public:
  using CPMUnknown::CPMUnknown;
};

class FrameData : public CPMUnknown<IGraphicFrameData> {
 public:
  FrameData(IPMUnknown* boss, UID content) : CPMUnknown(boss), content_(content) {}
  UID GetTextContentUID() const override { return content_; }

 private:
  UID content_;
};

class ColumnData : public CPMUnknown<IMultiColumnItemData> {
 public:
  ColumnData(IPMUnknown* boss, UID story) : CPMUnknown(boss), story_(story) {}
  UID GetTextModelUID() const override { return story_; }

 private:
  UID story_;
};

// ---- JSON reading helpers ------------------------------------------------

bool ReadRect(const json& node, const char* key, PMRect* rect, std::string* error,
              const std::string& where) {
  auto it = node.find(key);
  if (it == node.end()) {
    *error = where + ": missing \"" + key + "\"";
    return false;
  }
  if (!it->is_array() || it->size() != 4) {
    *error = where + ": \"" + key + "\" must be [left, top, right, bottom]";
    return false;
  }
  double v[4];
  for (size_t i = 0; i < 4; ++i) {
    if (!(*it)[i].is_number() || !std::isfinite((*it)[i].get<double>())) {
      *error = where + ": \"" + key + "\" must hold four finite numbers";
      return false;
    }
    v[i] = (*it)[i].get<double>();
  }
  if (v[2] < v[0] || v[3] < v[1]) {
    *error = where + ": \"" + key + "\" has right < left or bottom < top";
    return false;
  }
  *rect = PMRect(v[0], v[1], v[2], v[3]);
  return true;
}

bool ReadMatrix(const json& node, PMMatrix* matrix, std::string* error, const std::string& where) {
  auto it = node.find("matrix");
  if (it == node.end()) {
    *matrix = PMMatrix();
    return true;
  }
  if (!it->is_array() || it->size() != 6) {
    *error = where + ": \"matrix\" must be [a, b, c, d, tx, ty]";
    return false;
  }
  double v[6];
  for (size_t i = 0; i < 6; ++i) {
    if (!(*it)[i].is_number() || !std::isfinite((*it)[i].get<double>())) {
      *error = where + ": \"matrix\" must hold six finite numbers";
      return false;
    }
    v[i] = (*it)[i].get<double>();
  }
  *matrix = PMMatrix(v[0], v[1], v[2], v[3], v[4], v[5]);
  if (std::fabs(matrix->Determinant()) < 1e-12) {
    *error = where + ": \"matrix\" cannot be inverted";
    return false;
  }
  return true;
}

bool ReadUID(const json& node, UID* uid, std::string* error, const std::string& where) {
  auto it = node.find("uid");
  if (it == node.end() || !it->is_number_unsigned()) {
    *error = where + ": \"uid\" must be a positive integer";
    return false;
  }
  const auto value = it->get<uint64_t>();
  if (value < 2 || value > 0x7FFFFFFF) {
    *error = where + ": \"uid\" " + std::to_string(value) + " is out of range (2 to 2147483647)";
    return false;
  }
  *uid = static_cast<UID>(value);
  return true;
}

bool ReadString(const json& node, const char* key, std::string* out, std::string* error,
                const std::string& where) {
  auto it = node.find(key);
  if (it == node.end()) return true;
  if (!it->is_string()) {
    *error = where + ": \"" + key + "\" must be a string";
    return false;
  }
  *out = it->get<std::string>();
  return true;
}

json MatrixJson(const PMMatrix& m) {
  return json::array({m.A(), m.B(), m.C(), m.D(), m.Tx(), m.Ty()});
}

bool IsIdentity(const PMMatrix& m) {
  return m.A() == 1 && m.B() == 0 && m.C() == 0 && m.D() == 1 && m.Tx() == 0 && m.Ty() == 0;
}

}  // namespace

// ---- Document --------------------------------------------------------------

Document::~Document() {
  // Bosses hold pointers into the model; drop them first.
  bosses_.clear();
}

std::unique_ptr<Document> Document::Load(const std::string& path, FileSystem& files,
                                         std::string* error) {
  std::string text;
  if (!files.ReadFile(path, &text, error, kMaxDocumentBytes)) return nullptr;
  json parsed = json::parse(text, nullptr, /*allow_exceptions=*/false);
  if (parsed.is_discarded()) {
    *error = path + ": not a .tlvd document (invalid JSON)";
    return nullptr;
  }
  auto doc = FromJson(parsed, path, error);
  if (!doc) *error = path + ": " + *error;
  return doc;
}

std::unique_ptr<Document> Document::FromJson(const json& json, const std::string& path,
                                             std::string* error) {
  std::unique_ptr<Document> doc(new Document());
  doc->path_ = path;
  if (!doc->Parse(json, error)) return nullptr;
  doc->BuildBosses();
  return doc;
}

bool Document::Parse(const json& root, std::string* error) {
  if (!root.is_object()) {
    *error = "a document must be a JSON object";
    return false;
  }
  auto format = root.find("format");
  if (format == root.end() || *format != "tlvd") {
    *error = "missing \"format\": \"tlvd\"";
    return false;
  }
  root_ = root;
  std::string label;
  if (!ReadString(root, "label", &label, error, "document")) return false;
  label_ = WideString(label.c_str());

  auto spreads = root.find("spreads");
  if (spreads == root.end() || !spreads->is_array()) {
    *error = "\"spreads\" must be an array";
    return false;
  }
  UID maxUID = kDocumentUID;
  auto claim = [&](UID uid, const std::string& where) {
    if (uid == kDocumentUID || bosses_.count(uid)) {
      *error = where + ": uid " + std::to_string(uid) + " is used twice";
      return false;
    }
    maxUID = std::max(maxUID, uid);
    bosses_[uid] = nullptr;  // reserved; built later
    return true;
  };
  int pageNumber = 0;
  for (size_t s = 0; s < spreads->size(); ++s) {
    const json& sn = (*spreads)[s];
    const std::string where = "spread " + std::to_string(s + 1);
    if (!sn.is_object()) {
      *error = where + ": must be an object";
      return false;
    }
    auto spread = std::make_unique<Spread>();
    spread->node = sn;
    if (!ReadUID(sn, &spread->uid, error, where) || !claim(spread->uid, where)) return false;
    auto pages = sn.find("pages");
    if (pages == sn.end() || !pages->is_array()) {
      *error = where + ": \"pages\" must be an array";
      return false;
    }
    for (size_t p = 0; p < pages->size(); ++p) {
      const json& pn = (*pages)[p];
      const std::string pwhere = where + " page " + std::to_string(p + 1);
      if (!pn.is_object()) {
        *error = pwhere + ": must be an object";
        return false;
      }
      auto page = std::make_unique<Page>();
      page->node = pn;
      page->spread = spread.get();
      page->number = ++pageNumber;
      if (!ReadUID(pn, &page->uid, error, pwhere) || !claim(page->uid, pwhere) ||
          !ReadRect(pn, "bounds", &page->bounds, error, pwhere) ||
          !ReadMatrix(pn, &page->matrix, error, pwhere))
        return false;
      pages_[page->uid] = page.get();
      auto items = pn.find("items");
      if (items != pn.end()) {
        if (!items->is_array()) {
          *error = pwhere + ": \"items\" must be an array";
          return false;
        }
        for (const json& in : *items) {
          auto item = ParseItem(in, page.get(), nullptr, error);
          if (!item) return false;
          page->items.push_back(std::move(item));
        }
      }
      spread->pages.push_back(std::move(page));
    }
    spreads_.push_back(std::move(spread));
  }
  for (auto& [uid, item] : items_) {
    if (!claim(uid, "item")) return false;
  }
  nextUID_ = maxUID + 1;
  return true;
}

std::unique_ptr<PageItem> Document::ParseItem(const json& node, Page* page, PageItem* parent,
                                              std::string* error) {
  std::string where = "page " + std::to_string(page->number) + " item";
  if (!node.is_object()) {
    *error = where + ": must be an object";
    return nullptr;
  }
  auto item = std::make_unique<PageItem>();
  item->node = node;
  item->page = page;
  item->parent = parent;
  if (!ReadUID(node, &item->uid, error, where)) return nullptr;
  where += " " + std::to_string(item->uid);
  if (items_.count(item->uid) || pages_.count(item->uid)) {
    *error = where + ": uid is used twice";
    return nullptr;
  }
  std::string kind;
  if (!ReadString(node, "kind", &kind, error, where)) return nullptr;
  if (kind == "text") {
    item->kind = ItemKind::kTextFrame;
  } else if (kind == "graphic") {
    item->kind = ItemKind::kGraphicFrame;
  } else if (kind == "group") {
    item->kind = ItemKind::kGroup;
  } else if (kind == "guide") {
    item->kind = ItemKind::kGuide;
  } else if (kind == "other") {
    item->kind = ItemKind::kOther;
  } else {
    *error = where + ": unknown \"kind\" \"" + kind +
             "\" (expected text, graphic, group, guide or other)";
    return nullptr;
  }
  if (!ReadRect(node, "bounds", &item->bounds, error, where) ||
      !ReadMatrix(node, &item->matrix, error, where))
    return nullptr;
  std::string label;
  if (!ReadString(node, "label", &label, error, where)) return nullptr;
  item->label = WideString(label.c_str());
  if (auto v = node.find("visible"); v != node.end()) {
    if (!v->is_boolean()) {
      *error = where + ": \"visible\" must be true or false";
      return nullptr;
    }
    item->visible = v->get<bool>();
  }
  if (!ReadString(node, "image", &item->placedFile, error, where)) return nullptr;
  if (auto story = node.find("story"); story != node.end()) {
    if (!story->is_object()) {
      *error = where + ": \"story\" must be an object";
      return nullptr;
    }
    std::string text;
    if (!ReadString(*story, "text", &text, error, where + " story")) return nullptr;
    item->storyText = standin::Utf8ToUtf16(text);
  }
  items_[item->uid] = item.get();
  if (auto children = node.find("children"); children != node.end()) {
    if (item->kind != ItemKind::kGroup || !children->is_array()) {
      *error = where + ": only a group has \"children\", as an array";
      return nullptr;
    }
    for (const json& cn : *children) {
      auto child = ParseItem(cn, page, item.get(), error);
      if (!child) return nullptr;
      item->children.push_back(std::move(child));
    }
  }
  return item;
}

void Document::BuildBosses() {
  auto docBoss = std::make_unique<Boss>("kDocBoss");
  docBoss->SetUIDRef(Ref(kDocumentUID));
  docBoss->AddNew<DocumentImpl>(IID_IDOCUMENT, this);
  docBoss->AddNew<DocumentLabel>(IID_ILABEL, this);
  bosses_[kDocumentUID] = std::move(docBoss);
  for (auto& spread : spreads_) {
    auto sb = std::make_unique<Boss>("kSpreadBoss");
    sb->SetUIDRef(Ref(spread->uid));
    bosses_[spread->uid] = std::move(sb);
    for (auto& page : spread->pages) {
      auto pb = std::make_unique<Boss>("kPageBoss");
      pb->SetUIDRef(Ref(page->uid));
      bosses_[page->uid] = std::move(pb);
    }
  }
  for (auto& [uid, item] : items_) BuildItemBoss(item);
}

void Document::BuildItemBoss(PageItem* item) {
  static const char* kClass[] = {"kSplineItemBoss", "kSplineItemBoss", "kGroupItemBoss",
                                 "kGuideItemBoss", "kPageItemBoss"};
  auto boss = std::make_unique<Boss>(kClass[static_cast<int>(item->kind)]);
  boss->SetUIDRef(Ref(item->uid));
  boss->AddNew<ItemLabel>(IID_ILABEL, this, item);
  switch (item->kind) {
    case ItemKind::kGuide:
      boss->AddNew<GuideData>(IID_IGUIDEDATA);
      break;
    case ItemKind::kTextFrame: {
      // A text frame is a frame whose content object shows a story.
      item->contentUID = nextUID_++;
      item->storyUID = nextUID_++;
      boss->AddNew<FrameData>(IID_IGRAPHICFRAMEDATA, item->contentUID);
      auto content = std::make_unique<Boss>("kMultiColumnItemBoss");
      content->SetUIDRef(Ref(item->contentUID));
      content->AddNew<ColumnData>(IID_IMULTICOLUMNITEMDATA, item->storyUID);
      bosses_[item->contentUID] = std::move(content);
      auto story = std::make_unique<Boss>("kTextStoryBoss");
      story->SetUIDRef(Ref(item->storyUID));
      bosses_[item->storyUID] = std::move(story);
      break;
    }
    case ItemKind::kGraphicFrame:
      boss->AddNew<FrameData>(IID_IGRAPHICFRAMEDATA, kInvalidUID);
      break;
    default:
      break;
  }
  bosses_[item->uid] = std::move(boss);
}

PMString Document::Name() const {
  const auto slash = path_.find_last_of('/');
  return PMString(slash == std::string::npos ? path_ : path_.substr(slash + 1),
                  PMString::kDontTranslateDuringCall);
}

PageItem* Document::FindItem(UID uid) const {
  auto it = items_.find(uid);
  return it == items_.end() ? nullptr : it->second;
}

Page* Document::FindPage(UID uid) const {
  auto it = pages_.find(uid);
  return it == pages_.end() ? nullptr : it->second;
}

std::vector<PageItem*> Document::AllItems() const {
  std::vector<PageItem*> all;
  all.reserve(items_.size());
  std::vector<PageItem*> stack;
  for (const auto& spread : spreads_) {
    for (const auto& page : spread->pages) {
      for (const auto& item : page->items) {
        stack.push_back(item.get());
        while (!stack.empty()) {
          PageItem* top = stack.back();
          stack.pop_back();
          all.push_back(top);
          for (auto it = top->children.rbegin(); it != top->children.rend(); ++it)
            stack.push_back(it->get());
        }
      }
    }
  }
  return all;
}

Boss* Document::FindBoss(UID uid) const {
  auto it = bosses_.find(uid);
  return it == bosses_.end() ? nullptr : it->second.get();
}

void Document::SetLabel(const WideString& label) {
  if (label == label_) return;
  label_ = label;
  dirty_ = true;
}

void Document::SetItemLabel(PageItem* item, const WideString& label) {
  if (item->label == label) return;
  item->label = label;
  dirty_ = true;
}

IPMUnknown* Document::Instantiate(UID uid, PMIID iid) const {
  const Boss* boss = FindBoss(uid);
  return boss ? boss->QueryInterface(iid) : nullptr;
}

json Document::ItemToJson(const PageItem& item) const {
  json node = item.node;
  node["label"] = item.label.GetUTF8String();
  if (item.label.empty() && !item.node.contains("label")) node.erase("label");
  node["bounds"] =
      json::array({item.bounds.left, item.bounds.top, item.bounds.right, item.bounds.bottom});
  if (IsIdentity(item.matrix) && !item.node.contains("matrix")) {
    node.erase("matrix");
  } else {
    node["matrix"] = MatrixJson(item.matrix);
  }
  if (item.visible && !item.node.contains("visible")) {
    node.erase("visible");
  } else {
    node["visible"] = item.visible;
  }
  if (item.kind == ItemKind::kGroup) {
    json children = json::array();
    for (const auto& child : item.children) children.push_back(ItemToJson(*child));
    node["children"] = std::move(children);
  }
  return node;
}

json Document::ToJson() const {
  json root = root_;
  root["label"] = label_.GetUTF8String();
  json spreads = json::array();
  for (const auto& spread : spreads_) {
    json sn = spread->node;
    json pages = json::array();
    for (const auto& page : spread->pages) {
      json pn = page->node;
      json items = json::array();
      for (const auto& item : page->items) items.push_back(ItemToJson(*item));
      pn["items"] = std::move(items);
      pages.push_back(std::move(pn));
    }
    sn["pages"] = std::move(pages);
    spreads.push_back(std::move(sn));
  }
  root["spreads"] = std::move(spreads);
  return root;
}

bool Document::Save(FileSystem& files, std::string* error) {
  const std::string text = ToJson().dump(2) + "\n";
  if (!files.WriteFileAtomic(path_, text, error)) return false;
  dirty_ = false;
  return true;
}

}  // namespace standin

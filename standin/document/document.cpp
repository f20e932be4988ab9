#include "standin/document/document.h"

#include <unistd.h>

#include <climits>

#include "standin/core/file_system.h"
#include "standin/core/utf8.h"
#include "standin/document/geometry.h"
#include "standin/document/object_services.h"
#include "text/ascii_case.h"

namespace standin {

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

ColorInfo Color::Info() const {
  ColorInfo info;
  info.kind = kind;
  info.name = PMString(name, PMString::kDontTranslateDuringCall);
  info.c = cmyk[0] / 100;
  info.m = cmyk[1] / 100;
  info.y = cmyk[2] / 100;
  info.k = cmyk[3] / 100;
  return info;
}

const TextRun* Story::RunAt(int32 index) const {
  if (runs.empty() || index < 0) return nullptr;
  // The first run that ends after `index`; the last run covers the rest.
  size_t lo = 0, hi = runs.size() - 1;
  while (lo < hi) {
    const size_t mid = (lo + hi) / 2;
    if (static_cast<int64_t>(runs[mid].start) + runs[mid].length > index) {
      hi = mid;
    } else {
      lo = mid + 1;
    }
  }
  return &runs[lo];
}

PMMatrix PageItem::InnerToSpread() const {
  PMMatrix m = matrix;
  for (const PageItem* p = parent; p; p = p->parent) m = m.Then(p->matrix);
  return m;
}

namespace {

// The absolute folder of `path`.
std::string FolderOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
  if (folder.empty()) folder = "/";
  if (folder[0] != '/') {
    char cwd[PATH_MAX];
    if (getcwd(cwd, sizeof cwd)) folder = std::string(cwd) + (folder == "." ? "" : "/" + folder);
  }
  return folder;
}

}  // namespace

Document::~Document() {
  // Bosses hold pointers into the model; drop them first.
  bosses_.clear();
}

void Document::SetPath(const std::string& path) {
  path_ = path;
  folder_ = FolderOf(path);
}

std::string Document::ResolvePath(const std::string& stored) const {
  if (stored.empty() || stored[0] == '/') return stored;
  std::string rest = stored;
  while (rest.compare(0, 2, "./") == 0) rest = rest.substr(2);
  return folder_ == "/" ? "/" + rest : folder_ + "/" + rest;
}

PMString Document::Name() const {
  const auto slash = path_.find_last_of('/');
  return PMString(slash == std::string::npos ? path_ : path_.substr(slash + 1),
                  PMString::kDontTranslateDuringCall);
}

const FontOverride* Document::FindFontOverride(const std::string& family,
                                               const std::string& style) const {
  const std::string f = textutil::Lower(family), s = textutil::Lower(style);
  for (const FontOverride& font : fonts_) {
    if (textutil::Lower(font.family) == f && textutil::Lower(font.style) == s) return &font;
  }
  return nullptr;
}

namespace {

template <class T>
T* FindIn(const std::map<UID, T*>& map, UID uid) {
  auto it = map.find(uid);
  return it == map.end() ? nullptr : it->second;
}

void AppendTree(PageItem* item, std::vector<PageItem*>* all) {
  std::vector<PageItem*> stack{item};
  while (!stack.empty()) {
    PageItem* top = stack.back();
    stack.pop_back();
    all->push_back(top);
    for (auto it = top->children.rbegin(); it != top->children.rend(); ++it)
      stack.push_back(it->get());
  }
}

}  // namespace

PageItem* Document::FindItem(UID uid) const { return FindIn(items_, uid); }
Page* Document::FindPage(UID uid) const { return FindIn(pages_, uid); }
Spread* Document::FindSpread(UID uid) const { return FindIn(spreadsByUID_, uid); }
Story* Document::FindStory(UID uid) const { return FindIn(stories_, uid); }
PageItem* Document::FindImageFrame(UID uid) const { return FindIn(images_, uid); }

std::vector<PageItem*> Document::AllItems() const {
  std::vector<PageItem*> all;
  all.reserve(items_.size());
  for (const auto& spread : spreads_) {
    for (const auto& page : spread->pages) {
      for (const auto& item : page->items) AppendTree(item.get(), &all);
    }
    for (const auto& item : spread->pasteboard) AppendTree(item.get(), &all);
  }
  return all;
}

Boss* Document::FindBoss(UID uid) const {
  auto it = bosses_.find(uid);
  return it == bosses_.end() ? nullptr : it->second.get();
}

Document* Document::FromDataBase(IDataBase* db) { return dynamic_cast<Document*>(db); }

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

bool Document::SetItemMatrix(PageItem* item, const PMMatrix& matrix) {
  PMMatrix parentToSpread;
  if (item->parent) parentToSpread = item->parent->InnerToSpread();
  // The item and every member below it must stay showable.
  std::vector<std::pair<const PageItem*, PMMatrix>> stack{{item, matrix.Then(parentToSpread)}};
  while (!stack.empty()) {
    const auto [node, toSpread] = stack.back();
    stack.pop_back();
    if (!IsUsableMatrix(toSpread) || !IsUsableBox(node->bounds, toSpread)) return false;
    for (const auto& child : node->children)
      stack.emplace_back(child.get(), child->matrix.Then(toSpread));
  }
  if (!IsUsableMatrix(matrix)) return false;
  item->matrix = matrix;
  dirty_ = true;
  return true;
}

void Document::SetItemVisible(PageItem* item, bool visible) {
  if (item->visible == visible) return;
  item->visible = visible;
  dirty_ = true;
}

IPMUnknown* Document::Instantiate(UID uid, PMIID iid) const {
  const Boss* boss = FindBoss(uid);
  return boss ? boss->QueryInterface(iid) : nullptr;
}

void Document::BuildBosses() {
  auto docBoss = std::make_unique<Boss>("kDocBoss");
  docBoss->SetUIDRef(Ref(kDocumentUID));
  AddDocumentServices(*docBoss, this);
  bosses_[kDocumentUID] = std::move(docBoss);
  for (auto& spread : spreads_) {
    auto sb = std::make_unique<Boss>("kSpreadBoss");
    sb->SetUIDRef(Ref(spread->uid));
    AddSpreadServices(*sb, this, spread.get());
    bosses_[spread->uid] = std::move(sb);
    for (auto& page : spread->pages) {
      auto pb = std::make_unique<Boss>("kPageBoss");
      pb->SetUIDRef(Ref(page->uid));
      AddPageServices(*pb, page.get());
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
  if (item->kind == ItemKind::kTextFrame) {
    // A text frame is a frame whose content object shows a story.
    item->contentUID = nextUID_++;
    item->storyUID = nextUID_++;
    Story* story = item->story.get();
    story->uid = item->storyUID;
    stories_[story->uid] = story;
    auto content = std::make_unique<Boss>("kMultiColumnItemBoss");
    content->SetUIDRef(Ref(item->contentUID));
    AddTextContentServices(*content, item);
    bosses_[item->contentUID] = std::move(content);
    auto storyBoss = std::make_unique<Boss>("kTextStoryBoss");
    storyBoss->SetUIDRef(Ref(item->storyUID));
    AddStoryServices(*storyBoss, story);
    bosses_[item->storyUID] = std::move(storyBoss);
    for (TextRun& run : story->runs) {
      run.boss = std::make_unique<Boss>("kTextAttributesBoss");
      AddRunServices(*run.boss, &run);
    }
    if (story->runs.empty()) {
      story->plainAttributes = std::make_unique<Boss>("kTextAttributesBoss");
      AddRunServices(*story->plainAttributes, &story->plain);
    }
  }
  if (item->kind == ItemKind::kGraphicFrame && !item->image.empty()) {
    item->imageUID = nextUID_++;
    images_[item->imageUID] = item;
    auto image = std::make_unique<Boss>("kImageItemBoss");
    image->SetUIDRef(Ref(item->imageUID));
    AddPlacedImageServices(*image, item);
    bosses_[item->imageUID] = std::move(image);
  }
  AddItemServices(*boss, this, item);
  bosses_[item->uid] = std::move(boss);
}

bool Document::Save(FileSystem& files, std::string* error) {
  const std::string text = ToJson().dump(2) + "\n";
  if (!files.WriteFileAtomic(path_, text, error)) return false;
  dirty_ = false;
  return true;
}

bool Document::SaveCopy(FileSystem& files, const std::string& path, std::string* error) const {
  const std::string text = ToJson(FolderOf(path)).dump(2) + "\n";
  return files.WriteFileAtomic(path, text, error);
}

}  // namespace standin

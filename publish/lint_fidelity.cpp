#include "publish/lint_fidelity.h"

#include <algorithm>
#include <string>

#include "host/ILayout.h"
#include "host/IPageItemData.h"
#include "host/IPageItemStyle.h"
#include "host/Utils.h"
#include "model/tag_map.h"
#include "publish/field_outline.h"
#include "publish/page_items.h"

namespace {

// Overlaps smaller than this (points) are measuring noise.
constexpr PMReal kTolerance = 0.01;

struct Visited {
  UIDRef ref;
  int32 page = 0;
  int32 order = 0;
  PMString name;  // the field name; empty for an untagged item
  bool topLevel = false;
};

bool SameColour(const ColorInfo& a, const ColorInfo& b) {
  return a.kind == b.kind && a.name == b.name && a.c == b.c && a.m == b.m && a.y == b.y &&
         a.k == b.k;
}

// The first attribute (by name) in which `a` and `b` differ; null when they
// agree in every attribute a field record carries.
const char* Difference(const ITextAttributes& a, const ITextAttributes& b) {
  PMString sa, sb;
  const bool fa = a.GetFontFamily(&sa), fb = b.GetFontFamily(&sb);
  if (fa != fb || sa != sb) return "font";
  const bool ta = a.GetFontStyle(&sa), tb = b.GetFontStyle(&sb);
  if (ta != tb || sa != sb) return "font style";
  PMReal ra = 0, rb = 0;
  if (a.GetPointSize(&ra) != b.GetPointSize(&rb) || ra != rb) return "size";
  ColorInfo ca, cb;
  if (a.GetFillColor(&ca) != b.GetFillColor(&cb) || !SameColour(ca, cb)) return "colour";
  ra = rb = 0;
  if (a.GetFillTint(&ra) != b.GetFillTint(&rb) || ra != rb) return "tint";
  ra = rb = 0;
  if (a.GetTracking(&ra) != b.GetTracking(&rb) || ra != rb) return "tracking";
  ra = rb = 0;
  if (a.GetLeading(&ra) != b.GetLeading(&rb) || ra != rb) return "leading";
  ra = rb = 0;
  if (a.GetHorizontalScale(&ra) != b.GetHorizontalScale(&rb) || ra != rb) return "horizontal scale";
  ra = rb = 0;
  if (a.GetVerticalScale(&ra) != b.GetVerticalScale(&rb) || ra != rb) return "vertical scale";
  return nullptr;
}

class FidelityLinter {
 public:
  explicit FidelityLinter(IDocument* document) : document_(document) {}

  std::vector<PlacedLintFinding> Run() {
    Collect();
    for (const Visited& item : items_) {
      if (!item.topLevel || item.name.IsEmpty()) continue;
      CheckHidden(item);
      if (QueryFrameStory(item.ref)) {
        CheckStory(item);
        CheckStroke(item);
      } else if (IsGroupItem(item.ref)) {
        CheckTextInImageGroup(item);
      }
    }
    CheckItemsAboveFields();
    return std::move(findings_);
  }

 private:
  void Add(LintRule rule, const Visited& item, std::string message, std::string fix) {
    findings_.push_back({{item.page, item.order},
                         LintFinding{rule, item.ref.GetUID(), item.page, item.name,
                                     std::move(message), std::move(fix)}});
  }

  // The items in the lint's visiting order: each page's items, a group
  // followed by its members at any depth.
  void Collect() {
    PageItems pages(document_);
    const UIDList& list = pages.Items();
    for (int32 i = 0; i < list.Length(); ++i) {
      const int32 page = pages.PageNumberOf(list.At(i));
      Visit(list.GetRef(i), page, true);
      if (!IsGroupItem(list.GetRef(i))) continue;
      std::vector<std::pair<UIDRef, int32>> levels{{list.GetRef(i), 0}};
      while (!levels.empty()) {
        InterfacePtr<IHierarchy> hierarchy(levels.back().first, IID_IHIERARCHY);
        if (!hierarchy || levels.back().second >= hierarchy->GetChildCount()) {
          levels.pop_back();
          continue;
        }
        const UIDRef member(list.GetDataBase(),
                            hierarchy->GetChildUID(levels.back().second++));
        Visit(member, page, false);
        if (IsGroupItem(member)) levels.push_back({member, 0});
      }
    }
  }

  void Visit(const UIDRef& ref, int32 page, bool topLevel) {
    Visited item;
    item.ref = ref;
    item.page = page;
    item.order = static_cast<int32>(items_.size());
    item.name = ReadStringMap(ref)[PMString(tagkeys::kFieldName)];
    item.topLevel = topLevel;
    items_.push_back(item);
  }

  void CheckHidden(const Visited& item) {
    Utils<ITransformFacade> facade;
    if (!facade || facade->IsVisible(item.ref)) return;
    Add(LintRule::kHiddenField, item,
        "the field's item is hidden: the proof leaves it out, yet every filled document prints "
        "the field",
        "show the item, or remove its tag");
  }

  // One style for the whole text, and no attribute the record leaves out.
  void CheckStory(const Visited& item) {
    InterfacePtr<ITextModel> story = QueryFrameStory(item.ref);
    const int32 length = std::min(story->TotalLength() - 1, kMaxStyleCheckedCharacters);
    InterfacePtr<ITextAttributes> first(story->QueryAttributesAt(0));
    if (!first) return;
    bool mixed = false, justified = false;
    for (int32 i = 0; i < length && !(mixed && justified); ++i) {
      InterfacePtr<ITextAttributes> here(story->QueryAttributesAt(i));
      if (!here) continue;
      if (!mixed) {
        if (const char* what = Difference(*first, *here)) {
          mixed = true;
          Add(LintRule::kMixedTextStyles, item,
              std::string("the text changes its ") + what + " at character " +
                  std::to_string(i + 1) +
                  ": a customer's text is set wholly in the style of the first character",
              "give the whole text one style, or split it into fields of one style each");
        }
      }
      ITextAttributes::Alignment alignment = ITextAttributes::kAlignLeft;
      if (!justified && here->GetParagraphAlignment(&alignment) &&
          alignment == ITextAttributes::kAlignJustify) {
        justified = true;
        Add(LintRule::kUnsupportedTextAttribute, item,
            "the text is justified: a field record carries left, centre or right only, so "
            "customers' text prints left-aligned",
            "align the text left, centre or right");
      }
    }
  }

  void CheckStroke(const Visited& item) {
    InterfacePtr<IGraphicStyle> style(item.ref, IID_IGRAPHICSTYLE);
    if (!style || !(style->GetStrokeWeight() > 0)) return;
    Add(LintRule::kStrokeOnTextField, item,
        "the text field's frame has a stroke: the proof leaves the field out and the field "
        "record has no stroke, so the frame's edge is missing from every filled document",
        "remove the stroke, or draw the edge with a separate untagged frame");
  }

  // A tagged group is published as one image field: text inside it is lost.
  void CheckTextInImageGroup(const Visited& group) {
    std::vector<std::pair<UIDRef, int32>> levels{{group.ref, 0}};
    while (!levels.empty()) {
      InterfacePtr<IHierarchy> hierarchy(levels.back().first, IID_IHIERARCHY);
      if (!hierarchy || levels.back().second >= hierarchy->GetChildCount()) {
        levels.pop_back();
        continue;
      }
      const UIDRef member(group.ref.GetDataBase(),
                          hierarchy->GetChildUID(levels.back().second++));
      std::u32string text;
      GetFrameText(member, &text);
      if (text.find_first_not_of(U" \t\r\n") != std::u32string::npos) {
        Add(LintRule::kTextGroupAsImageField, group,
            "the group holds text frames (uid " + std::to_string(member.GetUID()) +
                ") but is published as one image field: their text appears neither in the "
                "proof nor in filled documents",
            "untag the group and tag its text frames as text fields, or ungroup it");
        return;
      }
      if (IsGroupItem(member)) levels.push_back({member, 0});
    }
  }

  // Untagged items later in a page's order than a field (so above it) that
  // overlap it: the builder draws the field over them.
  void CheckItemsAboveFields() {
    struct Placed {
      const Visited* item;
      PMRect box;
    };
    std::vector<Placed> fields, others;
    int32 page = -1;
    UIDRef pageRef;
    auto flush = [&]() {
      for (const Placed& field : fields) {
        for (const Placed& other : others) {
          if (other.item->order <= field.item->order) continue;
          if (!BoxesOverlap(field.box, other.box, kTolerance)) continue;
          Add(LintRule::kItemAboveField, *field.item,
              "the item uid " + std::to_string(other.item->ref.GetUID()) +
                  " lies above the field, but filled documents draw the field over it",
              "move the item off the field, or send it behind the field");
          break;
        }
      }
      fields.clear();
      others.clear();
    };
    for (const Visited& item : items_) {
      if (!item.topLevel) continue;
      if (item.page != page) {
        flush();
        page = item.page;
        pageRef = GetPageRef(document_, page);
      }
      if (page < 1) continue;
      InterfacePtr<IGuideData> guide(item.ref, IID_IGUIDEDATA);
      if (guide) continue;
      Utils<ITransformFacade> facade;
      if (facade && !facade->IsVisible(item.ref)) continue;
      ItemOutline outline;
      if (!GetItemOutline(item.ref, pageRef, &outline)) continue;
      (item.name.IsEmpty() ? others : fields).push_back({&item, outline.Box()});
    }
    flush();
  }

  IDocument* document_;
  std::vector<Visited> items_;
  std::vector<PlacedLintFinding> findings_;
};

}  // namespace

std::vector<PlacedLintFinding> LintFidelity(IDocument* document) {
  if (!document) return {};
  return FidelityLinter(document).Run();
}

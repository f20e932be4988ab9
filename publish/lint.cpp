#include "publish/lint.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <set>
#include <utility>

#include "host/IFontMgr.h"
#include "host/ILayout.h"
#include "host/IToolReport.h"
#include "host/PersistUtils.h"
#include "host/Utils.h"
#include "model/tag_map.h"
#include "publish/field_extraction.h"
#include "publish/field_outline.h"
#include "publish/lint_fidelity.h"
#include "publish/page_items.h"
#include "publish/tool_report_writer.h"
#include "service_client/platform.h"
#include "text/ascii_case.h"

namespace {

struct RuleInfo {
  const char* code;
  const char* name;
  LintSeverity severity;
};

constexpr RuleInfo kRules[] = {
    {"OSL001", "duplicate-name", LintSeverity::kError},
    {"OSL002", "name-differs-in-case-only", LintSeverity::kWarning},
    {"OSL003", "field-in-untagged-group", LintSeverity::kError},
    {"OSL004", "field-in-field-group", LintSeverity::kWarning},
    {"OSL005", "unknown-stacking-group", LintSeverity::kError},
    {"OSL006", "bad-dependency", LintSeverity::kError},
    {"OSL007", "empty-stacking-group", LintSeverity::kWarning},
    {"OSL008", "off-page", LintSeverity::kWarning},
    {"OSL009", "overlap", LintSeverity::kWarning},
    {"OSL010", "too-many-fields", LintSeverity::kWarning},
    {"OSL011", "missing-file", LintSeverity::kError},
    {"OSL012", "missing-font", LintSeverity::kWarning},
    {"OSL013", "protected-font", LintSeverity::kWarning},
    {"OSL014", "font-collection", LintSeverity::kWarning},
    {"OSL015", "no-fill-colour", LintSeverity::kWarning},
    {"OSL016", "overset-text", LintSeverity::kWarning},
    {"OSL017", "no-template-name", LintSeverity::kWarning},
    {"OSL018", "unusable-template-name", LintSeverity::kError},
    {"OSL019", "barcode-as-text", LintSeverity::kWarning},
    {"OSL020", "mirrored-field", LintSeverity::kWarning},
    {"OSL021", "skewed-field", LintSeverity::kWarning},
    {"OSL022", "hidden-field", LintSeverity::kWarning},
    {"OSL023", "mixed-text-styles", LintSeverity::kWarning},
    {"OSL024", "item-above-field", LintSeverity::kWarning},
    {"OSL025", "stroke-on-text-field", LintSeverity::kWarning},
    {"OSL026", "text-group-as-image-field", LintSeverity::kWarning},
    {"OSL027", "unsupported-text-attribute", LintSeverity::kWarning},
};

const RuleInfo& Info(LintRule rule) { return kRules[static_cast<size_t>(rule)]; }

// How far (points) a field may reach past its page, and two fields into
// each other, before it counts: measuring noise, not design.
constexpr PMReal kGeometryTolerance = 0.01;

std::string Utf8(const PMString& text) { return text.GetUTF8String(); }

std::string Quoted(const PMString& text) { return "\"" + Utf8(text) + "\""; }

PMString Value(const TagMap& map, const char* key) {
  const auto found = map.find(PMString(key));
  return found == map.end() ? PMString() : found->second;
}

// True when `path` names a regular file this process can open for reading.
// A FIFO or device is refused without waiting on it.
bool ReadableRegularFile(const std::string& path) {
  return OslPlatform::Get().IsReadableRegularFile(path);
}

// One page item the lint looks at: top-level items of the pages and the
// members of groups, at any depth.
struct Item {
  UIDRef ref;
  int32 page = 0;
  int32 order = 0;  // visiting order over the document
  TagMap tag;
  PMString name;
  bool topLevel = false;
  bool textFrame = false;
};

class Linter {
 public:
  explicit Linter(IDocument* document) : document_(document) {}

  std::vector<LintFinding> Run() {
    const TagMap data = ReadStringMap(::GetUIDRef(document_));
    CheckTemplateName(Value(data, tagkeys::kDocName));
    groups_ = ParseStringMap(Value(data, tagkeys::kStackingGroups),
                             PMString(tagkeys::kGroupSeparator));
    clientType_ = Value(data, tagkeys::kClientType);
    Collect();
    for (const Item& item : items_) CheckContent(item);
    CheckNames();
    CheckGroups();
    CheckGeometry();
    for (auto& found : LintFidelity(document_)) itemFindings_.push_back(std::move(found));
    std::stable_sort(itemFindings_.begin(), itemFindings_.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (auto& entry : itemFindings_) documentFindings_.push_back(std::move(entry.second));
    return std::move(documentFindings_);
  }

 private:
  void AddDocument(LintRule rule, std::string message, std::string fix) {
    documentFindings_.push_back({rule, kInvalidUID, 0, PMString(), std::move(message),
                                 std::move(fix)});
  }
  void Add(LintRule rule, const Item& item, std::string message, std::string fix) {
    itemFindings_.push_back({std::make_pair(item.page, item.order),
                             LintFinding{rule, item.ref.GetUID(), item.page, item.name,
                                         std::move(message), std::move(fix)}});
  }

  void CheckTemplateName(const PMString& name) {
    if (name.IsEmpty()) {
      AddDocument(LintRule::kNoTemplateName, "the document has no template name yet",
                  "give the template a name in the template properties (osl publish --name)");
      return;
    }
    for (char16_t c : name.Text()) {
      if ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9'))
        return;
    }
    AddDocument(LintRule::kUnusableTemplateName,
                "the template name " + Quoted(name) + " has no letter or digit",
                "use a name with letters or digits: the template's files are named after them");
  }

  // Every item of every page, a group before its members.
  void Collect() {
    PageItems pages(document_);
    const UIDList& list = pages.Items();
    for (int32 i = 0; i < list.Length(); ++i) {
      Item item = MakeItem(list.GetRef(i), pages.PageNumberOf(list.At(i)), true);
      const bool group = IsGroupItem(item.ref);
      const bool taggedGroup = group && !item.name.IsEmpty();
      items_.push_back(item);
      if (group) CollectBelow(item.ref, item.page, taggedGroup);
    }
  }

  Item MakeItem(const UIDRef& ref, int32 page, bool topLevel) {
    Item item;
    item.ref = ref;
    item.page = page;
    item.order = static_cast<int32>(items_.size());
    item.tag = ReadStringMap(ref);
    item.name = Value(item.tag, tagkeys::kFieldName);
    item.topLevel = topLevel;
    item.textFrame = QueryFrameStory(ref).get() != nullptr;
    return item;
  }

  // The members of `group` at any depth; tagged ones are reported: a
  // publish never visits them.
  void CollectBelow(const UIDRef& group, int32 page, bool taggedGroup) {
    struct Level {
      UIDRef group;
      int32 next;
      bool tagged;
    };
    std::vector<Level> levels{{group, 0, taggedGroup}};
    while (!levels.empty()) {
      InterfacePtr<IHierarchy> hierarchy(levels.back().group, IID_IHIERARCHY);
      if (!hierarchy || levels.back().next >= hierarchy->GetChildCount()) {
        levels.pop_back();
        continue;
      }
      const bool insideTagged = levels.back().tagged;
      const UIDRef member(group.GetDataBase(), hierarchy->GetChildUID(levels.back().next++));
      Item item = MakeItem(member, page, false);
      items_.push_back(item);
      if (!item.name.IsEmpty()) {
        if (insideTagged) {
          Add(LintRule::kFieldInFieldGroup, item,
              "the field lies inside a group that is published as one field; its own tag is "
              "ignored",
              "remove the member's tag, or ungroup and tag the items one by one");
        } else {
          Add(LintRule::kFieldInUntaggedGroup, item,
              "the field lies inside a page-item group that is no field: it is not published "
              "and its sample content prints on the template",
              "ungroup it (or move it out of the group), or tag the group as one field");
        }
      }
      if (IsGroupItem(member)) levels.push_back({member, 0, insideTagged || !item.name.IsEmpty()});
    }
  }

  void CheckContent(const Item& item) {
    IDFile placed;
    if (GetLinkedFile(document_, item.ref, &placed) && !ReadableRegularFile(placed.GetPath())) {
      Add(LintRule::kMissingFile, item,
          "the placed file " + placed.GetPath() + " is missing or cannot be read",
          "put the file back at that path, or place the image again");
    }
    if (!item.textFrame) return;
    const bool field = item.topLevel && !item.name.IsEmpty();
    InterfacePtr<ITextModel> story = QueryFrameStory(item.ref);
    InterfacePtr<ITextAttributes> attributes(story ? story->QueryAttributesAt(0) : nullptr);
    if (attributes) CheckFont(item, *attributes, field);
    if (!field) return;
    ColorInfo colour;
    if (!attributes || !attributes->GetFillColor(&colour)) {
      Add(LintRule::kNoFillColour, item,
          "the text's fill colour cannot be read; the field is published in black",
          "give the text a fill colour (a swatch)");
    }
    Utils<ITextFitUtils> fit;
    if (fit && fit->IsOverset(item.ref)) {
      Add(LintRule::kOversetText, item, "the sample text does not fit its frame (overset)",
          "enlarge the frame, shorten the sample text or make the type smaller");
    }
    if (clientType_ == PMString("1") && Value(item.tag, tagkeys::kControlType) == PMString("4")) {
      Add(LintRule::kBarcodeAsText, item,
          "the client type turns barcodes into text boxes: this barcode is published as a text "
          "box",
          "choose the standard client type, or make the field a text box");
    }
  }

  void CheckFont(const Item& item, const ITextAttributes& attributes, bool field) {
    PMString family, style;
    if (!attributes.GetFontFamily(&family) || !attributes.GetFontStyle(&style)) return;
    Utils<IFontMgr> fonts;
    if (!fonts) return;
    InterfacePtr<IPMFont> font(fonts->QueryFont(document_, family, style));
    const std::string wanted = Utf8(family) + " " + Utf8(style);
    if (!font) {
      Add(LintRule::kMissingFont, item,
          "the font " + wanted + " is missing: another font stands in for it in the proof",
          "install the font, or choose one this machine has");
      return;
    }
    const std::string name = textutil::Lower(Utf8(font->GetFontName()));
    if (name.compare(0, textutil::Lower(Utf8(family)).size(), textutil::Lower(Utf8(family))) != 0) {
      Add(LintRule::kMissingFont, item,
          "the font " + wanted + " is substituted by " + Utf8(font->GetFontName()),
          "install the font, or choose one this machine has");
    }
    if (!field) return;
    K2Vector<IDFile> files;
    font->GetFontFiles(&files);
    if (files.empty()) {
      Add(LintRule::kProtectedFont, item,
          "the font " + wanted + " is protected: it is not uploaded with the template",
          "choose a font whose files may be handed out");
    } else if (textutil::Lower(files.front().GetPath()).find(".ttc") != std::string::npos) {
      Add(LintRule::kFontCollection, item,
          "the font " + wanted + " comes from a font collection (.ttc): it is not uploaded",
          "choose a font that comes in a file of its own (.ttf or .otf)");
    }
  }

  // The fields a publish visits: tagged top-level items.
  std::vector<const Item*> Fields() const {
    std::vector<const Item*> fields;
    for (const Item& item : items_) {
      if (item.topLevel && !item.name.IsEmpty()) fields.push_back(&item);
    }
    return fields;
  }

  void CheckNames() {
    std::set<std::string> seen;
    std::map<std::string, std::string> spellings;  // lower case -> first spelling
    for (const Item* field : Fields()) {
      const std::string name = Utf8(field->name);
      const std::string lower = textutil::Lower(name);
      if (!seen.insert(name).second) {
        Add(LintRule::kDuplicateName, *field,
            "the field name " + Quoted(field->name) + " is used more than once",
            "give every field its own name");
        continue;
      }
      const auto first = spellings.emplace(lower, name);
      if (!first.second) {
        Add(LintRule::kNameDiffersInCaseOnly, *field,
            "the field name " + Quoted(field->name) + " differs from \"" + first.first->second +
                "\" only in letter case; the service keeps them as two fields, easily confused "
                "when the template is filled",
            "give the fields names that differ in more than letter case");
      }
    }
  }

  void CheckGroups() {
    std::set<std::string> names;
    for (const Item* field : Fields()) names.insert(Utf8(field->name));
    std::set<std::string> used;
    for (const Item* field : Fields()) {
      const PMString group = Value(field->tag, tagkeys::kMemberOfGroup);
      const PMString dependsOn = Value(field->tag, tagkeys::kDependsOn);
      if (!group.IsEmpty()) {
        if (groups_.find(group) == groups_.end()) {
          Add(LintRule::kUnknownStackingGroup, *field,
              "the field names the stacking group " + Quoted(group) +
                  ", which the document does not define",
              "create that stacking group, or add the field to one that exists");
        } else {
          used.insert(Utf8(group));
        }
      }
      if (dependsOn.IsEmpty()) continue;
      if (dependsOn == field->name) {
        Add(LintRule::kBadDependency, *field, "the field depends on itself",
            "let it depend on another field of its group, or on none");
      } else if (names.count(Utf8(dependsOn)) == 0) {
        Add(LintRule::kBadDependency, *field,
            "the field depends on " + Quoted(dependsOn) + ", which is no field of the document",
            "let it depend on a field that exists, or on none");
      }
    }
    for (const auto& group : groups_) {
      if (used.count(Utf8(group.first)) != 0) continue;
      AddDocument(LintRule::kEmptyStackingGroup,
                  "the stacking group " + Quoted(group.first) + " has no fields",
                  "add fields to it, or remove the group");
    }
  }

  void CheckGeometry() {
    struct Placed {
      const Item* field;
      PMRect box;
      ItemOutline outline;
    };
    std::map<int32, std::vector<Placed>> byPage;
    for (const Item* field : Fields()) {
      if (field->page < 1) continue;
      const UIDRef page = GetPageRef(document_, field->page);
      ItemOutline outline;
      if (!GetItemOutline(field->ref, page, &outline)) continue;
      const PMRect box = outline.Box();
      const PMRect pageBox = GetPageBounds(page);
      if (box.left < -kGeometryTolerance || box.top < -kGeometryTolerance ||
          box.right > pageBox.Width() + kGeometryTolerance ||
          box.bottom > pageBox.Height() + kGeometryTolerance) {
        Add(LintRule::kOffPage, *field, "the field reaches outside its page",
            "move or resize the frame so that it lies on the page");
      }
      if (IsMirrored(outline)) {
        Add(LintRule::kMirrored, *field,
            "the field is mirrored; the service takes only a rotation, so filled documents show "
            "it turned instead (upside down for a vertical flip)",
            "remove the flip from the frame (flip its content, not the frame)");
      }
      if (IsSkewed(outline)) {
        Add(LintRule::kSkewed, *field,
            "the field is skewed; the service takes only a rotation, so filled documents show "
            "it upright",
            "remove the skew from the frame");
      }
      byPage[field->page].push_back({field, box, outline});
    }
    for (auto& page : byPage) {
      std::vector<Placed>& placed = page.second;
      if (placed.size() > static_cast<size_t>(kOslMaxZOrder)) {
        Add(LintRule::kTooManyFields, *placed[kOslMaxZOrder].field,
            "page " + std::to_string(page.first) + " holds " + std::to_string(placed.size()) +
                " fields; the service orders at most " + std::to_string(kOslMaxZOrder) +
                " per page",
            "move fields to another page, or merge some of them");
      }
      // Sorted by left edge: a field meets only those that start before it ends.
      std::vector<size_t> order(placed.size());
      for (size_t i = 0; i < order.size(); ++i) order[i] = i;
      std::stable_sort(order.begin(), order.end(), [&placed](size_t a, size_t b) {
        return placed[a].box.left < placed[b].box.left;
      });
      for (size_t i = 0; i < order.size(); ++i) {
        const Placed& a = placed[order[i]];
        for (size_t j = i + 1; j < order.size(); ++j) {
          const Placed& b = placed[order[j]];
          if (b.box.left >= a.box.right - kGeometryTolerance) break;
          if (!BoxesOverlap(a.box, b.box, kGeometryTolerance) ||
              !OutlinesOverlap(a.outline, b.outline, kGeometryTolerance)) {
            continue;
          }
          const Placed& later = a.field->order > b.field->order ? a : b;
          const Placed& earlier = a.field->order > b.field->order ? b : a;
          Add(LintRule::kOverlap, *later.field,
              "the field overlaps the field " + Quoted(earlier.field->name) + " (uid " +
                  std::to_string(earlier.field->ref.GetUID()) + ")",
              "move or resize the frames so that they do not overlap");
        }
      }
    }
  }

  IDocument* document_;
  TagMap groups_;
  PMString clientType_;
  std::vector<Item> items_;
  std::vector<LintFinding> documentFindings_;
  std::vector<std::pair<std::pair<int32, int32>, LintFinding>> itemFindings_;
};

}  // namespace

const char* LintRuleCode(LintRule rule) { return Info(rule).code; }
const char* LintRuleName(LintRule rule) { return Info(rule).name; }
LintSeverity LintRuleSeverity(LintRule rule) { return Info(rule).severity; }

std::vector<LintFinding> LintDocument(IDocument* document) {
  if (!document) return {};
  return Linter(document).Run();
}

std::string LintFindingLine(const LintFinding& finding) {
  std::string line = LintRuleSeverity(finding.rule) == LintSeverity::kError ? "error " : "warning ";
  line += LintRuleCode(finding.rule);
  if (finding.uid != kInvalidUID) line += " uid " + std::to_string(finding.uid);
  if (finding.pageNumber > 0) line += " page " + std::to_string(finding.pageNumber);
  if (!finding.fieldName.IsEmpty()) line += " field " + Quoted(finding.fieldName);
  line += ": " + finding.message + "; fix: " + finding.fix;
  return line;
}

void ReportLintFindings(const std::vector<LintFinding>& findings, ToolReporter& reporter) {
  int errors = 0, warnings = 0;
  for (const LintFinding& finding : findings) {
    const bool error = LintRuleSeverity(finding.rule) == LintSeverity::kError;
    (error ? errors : warnings)++;
    ReportRecord record;
    record.Text("code", std::string(LintRuleCode(finding.rule)))
        .Text("rule", std::string(LintRuleName(finding.rule)))
        .Text("severity", std::string(error ? "error" : "warning"))
        .Integer("uid", finding.uid == kInvalidUID ? 0 : finding.uid)
        .Integer("page", finding.pageNumber)
        .Text("field", finding.fieldName)
        .Text("message", finding.message)
        .Text("fix", finding.fix);
    reporter.Add("finding", record, LintFindingLine(finding));
  }
  ReportRecord summary;
  summary.Integer("errors", errors).Integer("warnings", warnings);
  reporter.Add("summary", summary,
               std::to_string(errors) + (errors == 1 ? " error, " : " errors, ") +
                   std::to_string(warnings) + (warnings == 1 ? " warning" : " warnings"));
}

#include "publish/grouped_fields.h"

#include <string>
#include <utility>

#include "host/CAlert.h"
#include "host/ILayout.h"
#include "host/InterfacePtr.h"
#include "model/tag_map.h"
#include "publish/publish_texts.h"

namespace {

PMString FieldName(const UIDRef& item) {
  const TagMap tag = ReadStringMap(item);
  const auto found = tag.find(PMString(tagkeys::kFieldName));
  return found == tag.end() ? PMString() : found->second;
}

// Appends the tagged items below untagged group `group` to `fields`, depth
// first in member order. An explicit stack keeps deep nesting off the call
// stack.
void CollectBelow(const UIDRef& group, int32 pageNumber, std::vector<GroupedField>* fields) {
  struct Level {
    UIDRef group;
    int32 next;
  };
  std::vector<Level> levels{{group, 0}};
  while (!levels.empty()) {
    InterfacePtr<IHierarchy> hierarchy(levels.back().group, IID_IHIERARCHY);
    if (!hierarchy || levels.back().next >= hierarchy->GetChildCount()) {
      levels.pop_back();
      continue;
    }
    const UIDRef member(group.GetDataBase(), hierarchy->GetChildUID(levels.back().next++));
    PMString name = FieldName(member);
    if (!name.IsEmpty()) {
      fields->push_back({std::move(name), pageNumber});
    } else if (IsGroupItem(member)) {
      levels.push_back({member, 0});
    }
  }
}

}  // namespace

std::vector<GroupedField> FieldsInUntaggedGroups(const PageItems& pages) {
  std::vector<GroupedField> fields;
  const UIDList& items = pages.Items();
  for (int32 i = 0; i < items.Length(); ++i) {
    const UIDRef item = items.GetRef(i);
    if (!IsGroupItem(item) || !FieldName(item).IsEmpty()) continue;
    CollectBelow(item, pages.PageNumberOf(items.At(i)), &fields);
  }
  return fields;
}

void WarnAboutGroupedFields(const std::vector<GroupedField>& fields) {
  if (fields.empty()) return;
  PMString text = Translated("0x199e00kGroupedFieldsBeginKey");
  for (const GroupedField& field : fields) {
    text.Append(Literal("\n   \""));
    text.Append(field.fieldName);
    text.Append(Literal("\" ("));
    text.Append(Translated("0x199e00kGroupedFieldsPageKey"));
    text.Append(Literal(std::to_string(field.pageNumber) + ")"));
  }
  text.Append(Literal("\n"));
  text.Append(Translated("0x199e00kGroupedFieldsEndKey"));
  CAlert::WarningAlert(text);
}

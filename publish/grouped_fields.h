// Tagged page items that a publish leaves out because they lie inside a
// page-item group that is not a field itself. The publish lists such a group
// as one item and does not enter it, so its tagged members are neither sent
// nor hidden for the proof: their sample content prints on the template's
// background. The designer is told, once per publish.
#pragma once

#include <vector>

#include "host/PMString.h"
#include "publish/page_items.h"

struct GroupedField {
  PMString fieldName;
  int32 pageNumber = 0;  // the page of the outermost group, 0 when unknown
};

// Every item with a field name that lies inside an untagged group of
// `pages`, at any depth below untagged groups: in page order, each group's
// members in order, a group before its members. A tagged group met inside
// an untagged one is listed and not entered (its members belong to it).
std::vector<GroupedField> FieldsInUntaggedGroups(const PageItems& pages);

// Shows one warning alert that names every field of `fields` with its page
// and says that they are not published; nothing when `fields` is empty.
void WarnAboutGroupedFields(const std::vector<GroupedField>& fields);

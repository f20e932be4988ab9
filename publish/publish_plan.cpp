#include "publish/publish_plan.h"

#include <set>

#include "publish/field_validation.h"

namespace {

using namespace osl_soap;

std::string Text(const std::string* text) { return text ? *text : std::string("(absent)"); }

}  // namespace

const char* PublishQuestionName(PublishQuestion question) {
  switch (question) {
    case PublishQuestion::kRepeatedFieldNames:
      return "repeated-field-names";
    case PublishQuestion::kReplaceTemplate:
      return "replace-template";
  }
  return "unknown";
}

PublishPlan PlanTemplate(const UIDList& items, const _ns4__getLibraryTemplatesResponse& templates,
                         const std::string& name, const std::string& boundTo) {
  PublishPlan plan;
  plan.name = name;
  plan.target = ChooseServerTemplate(templates, name, boundTo);
  if (!DuplicateFieldNames(items).IsEmpty())
    plan.questions.push_back(PublishQuestion::kRepeatedFieldNames);
  if (plan.target.asks) plan.questions.push_back(PublishQuestion::kReplaceTemplate);
  return plan;
}

std::vector<PlannedGroup> PlanGroups(const TagMap& stackingGroups,
                                     const ArrayOfLogicGroup* stored) {
  std::vector<PlannedGroup> planned;
  for (const auto& entry : stackingGroups) {
    PlannedGroup& group = planned.emplace_back();
    group.name = entry.first.GetUTF8String();
    group.direction =
        entry.second == PMString("0") ? ns2__eMoveDirection__moveUp : ns2__eMoveDirection__moveDown;
    if (!stored) continue;
    for (const logicGroup* held : stored->logicGroup) {
      if (!held || !held->logicGroupName || *held->logicGroupName != group.name) continue;
      group.known = true;
      group.storedId = held->logicGroupID;
      group.change = held->moveDirection == group.direction ? PlannedGroup::Change::kKeep
                                                            : PlannedGroup::Change::kChange;
    }
  }
  return planned;
}

std::string PlannedGroupName(const std::map<int, std::string>& names, int id) {
  if (id == 0) return "none";
  const auto found = names.find(id);
  return found == names.end() ? "unknown " + std::to_string(id) : found->second;
}

FieldPlanner::FieldPlanner(struct soap* soap, const ArrayOfOstrFieldInfo* existing,
                           const std::map<int, std::string>& storedGroups)
    : soap_(soap) {
  if (!existing) return;
  for (const OstrFieldInfo* field : existing->OstrFieldInfo) {
    if (!field) continue;
    existing_.push_back(field);
    before_[field] =
        DescribeField(soap_, *field, PlannedGroupName(storedGroups, field->logicGroupID));
  }
}

FieldPlan FieldPlanner::Plan(const FieldExtraction& extraction,
                             const std::map<int, std::string>& sentGroups, bool updates) const {
  FieldPlan plan;
  plan.records = extraction.Fields();
  plan.sends = !plan.records.empty() || updates;
  plan.keptEdits = extraction.KeptEdits();
  std::set<const OstrFieldInfo*> reused;
  for (const OstrFieldInfo* record : plan.records) {
    PlannedField& field = plan.fields.emplace_back();
    field.name = Text(record->fieldName);
    field.after = DescribeField(soap_, *record, PlannedGroupName(sentGroups, record->logicGroupID));
    const auto old = before_.find(record);
    if (old == before_.end()) continue;  // kAdd
    reused.insert(record);
    field.before = old->second;
    field.differences = ChangedMembers(field.before, field.after);
    field.change = field.differences.empty() ? PlannedField::Change::kUnchanged
                                             : PlannedField::Change::kChange;
  }
  if (!plan.sends) return plan;
  for (const OstrFieldInfo* record : existing_) {
    if (reused.count(record)) continue;
    PlannedField& field = plan.fields.emplace_back();
    field.change = PlannedField::Change::kDelete;
    field.name = Text(record->fieldName);
    field.before = before_.at(record);
  }
  return plan;
}

// The plan of a publish: the questions it asks, the template it changes,
// the stacking groups and field records it sends, the fields it deletes and
// the document values the service keeps. These functions are the only place
// that works the plan out, from the document and the service's answers; the
// dry run reports the plan and the publish carries it out, so that what the
// dry run predicts is what the publish does.
//
// The plan is made in the publish's own order, each part as soon as the
// answers it needs are in: the template and the questions from the
// getLibraryTemplates answer, the groups from getLogicGroups, the fields
// once the extraction has run over the service's records.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "host/UIDRef.h"
#include "model/tag_map.h"
#include "publish/field_extraction.h"
#include "publish/field_members.h"
#include "publish/template_choice.h"
#include "service_client/messages.h"

enum class PublishQuestion {
  // Several page items carry one field name: go on all the same? Asked
  // before the service is reached, so that declining sends nothing.
  kRepeatedFieldNames,
  // The service holds a template of the document's name that is not the
  // document's own: replace it?
  kReplaceTemplate,
};

// "repeated-field-names" or "replace-template".
const char* PublishQuestionName(PublishQuestion question);

// One stacking group the publish sends.
struct PlannedGroup {
  enum class Change { kAdd, kChange, kKeep };
  std::string name;
  osl_soap::ns2__eMoveDirection direction = osl_soap::ns2__eMoveDirection__moveDown;
  // The service holds a group of this name (the last one listed, when
  // several), with this identifier and direction.
  bool known = false;
  int storedId = 0;
  Change change = Change::kAdd;
};

// The document's stacking groups (`stackingGroups`: name to "0" for moving
// up, anything else for moving down), in map order, against the groups the
// service holds (`stored`, null when it holds none).
std::vector<PlannedGroup> PlanGroups(const TagMap& stackingGroups,
                                     const osl_soap::ArrayOfLogicGroup* stored);

// One field the publish adds, changes, deletes or sends unchanged.
struct PlannedField {
  enum class Change { kAdd, kChange, kDelete, kUnchanged };
  Change change = Change::kAdd;
  std::string name;
  // The service's members (empty for kAdd) and the ones sent (empty for
  // kDelete), and the positions at which they differ.
  FieldMembers before, after;
  std::vector<size_t> differences;
};

struct FieldPlan {
  // setFields is sent (always for an update, else when there are fields).
  bool sends = false;
  // The records setFields carries, in item order.
  std::vector<osl_soap::OstrFieldInfo*> records;
  // The records in item order, then the service's records none of them
  // reuses (setFields replaces the template's fields, so they go).
  std::vector<PlannedField> fields;
  // The document values the reused records keep back.
  std::vector<KeptEdit> keptEdits;
};

struct PublishPlan {
  // The document's template name.
  std::string name;
  // The template the publish updates (no match: it creates one).
  TemplateChoice target;
  // Every question the publish asks, in the order it asks them.
  std::vector<PublishQuestion> questions;
  // The stacking groups it sends (PlanGroups).
  std::vector<PlannedGroup> groups;
  // The field records it sends, the fields it deletes and the document
  // values the service keeps (FieldPlanner).
  FieldPlan fields;
};

// The template part of the plan (name, target, questions; the groups and
// fields are filled in later): `items` are the document's page items,
// `name` and `boundTo` its template name and identifier, `templates` the
// getLibraryTemplates answer.
PublishPlan PlanTemplate(const UIDList& items,
                         const osl_soap::_ns4__getLibraryTemplatesResponse& templates,
                         const std::string& name, const std::string& boundTo);

// The field part of the plan. Made before the extraction, which updates
// the service's records in place, and completed after it.
class FieldPlanner {
 public:
  // Describes the service's records as they are now: `existing` (null for
  // a new template), `storedGroups` naming their group identifiers. `soap`
  // names control types and must outlive the planner.
  FieldPlanner(struct soap* soap, const osl_soap::ArrayOfOstrFieldInfo* existing,
               const std::map<int, std::string>& storedGroups);

  // The plan once `extraction` has run over those records; `sentGroups`
  // names the group identifiers the records carry now; `updates`: the
  // publish updates a template the service holds.
  FieldPlan Plan(const FieldExtraction& extraction, const std::map<int, std::string>& sentGroups,
                 bool updates) const;

 private:
  struct soap* soap_;
  std::vector<const osl_soap::OstrFieldInfo*> existing_;
  std::map<const osl_soap::OstrFieldInfo*, FieldMembers> before_;
};

// The name of group `id` in `names`: "none" for 0, "unknown ID" when absent.
std::string PlannedGroupName(const std::map<int, std::string>& names, int id);

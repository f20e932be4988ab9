#include "plugin/publish_actions.h"

#include "host/CAlert.h"
#include "host/PersistUtils.h"
#include "host/Utils.h"
#include "model/tag_map.h"
#include "plugin_base/osl_id.h"
#include "publish/field_validation.h"
#include "publish/publish_sequence.h"

namespace {

IDocument* FrontDocument() {
  Utils<ILayoutUIUtils> layout;
  return layout ? layout->GetFrontDocument() : nullptr;
}

void CheckAndPublish() {
  if (CheckFieldNames()) {
    PublishTemplate();
    return;
  }
  ReportNotPublished(PublishRecord::Fault::kDeclined,
                     "some field names are used more than once, and publishing was declined");
}

// The front document loses its template name, identifier and password, so
// that the publish registers a new template. Until the service has answered
// with the new template's identifier the old values are only set aside: a
// run that stops before (cancelled, refused, failed) writes them back, so
// the document keeps its link to the template it was published as.
void PublishAsNew() {
  IDocument* document = FrontDocument();
  if (!document) return;
  if (!CheckFieldNames()) {
    ReportNotPublished(PublishRecord::Fault::kDeclined,
                       "some field names are used more than once, and publishing was declined");
    return;
  }
  const UIDRef documentRef = ::GetUIDRef(document);
  TagMap map = ReadStringMap(documentRef);
  const char* const kTemplateKeys[] = {tagkeys::kDocName, tagkeys::kDocID, tagkeys::kDocPassword};
  const TagMap before = map;
  for (const char* key : kTemplateKeys) map[PMString(key)] = PMString();
  WriteStringMap(documentRef, map);
  if (PublishTemplate()) return;
  TagMap now = ReadStringMap(documentRef);
  for (const char* key : kTemplateKeys) {
    const auto old = before.find(PMString(key));
    if (old == before.end()) {
      now.erase(PMString(key));
    } else {
      now[old->first] = old->second;
    }
  }
  WriteStringMap(documentRef, now);
}

}  // namespace

bool RunPublishAction(ActionID action) {
  switch (action) {
    case kOslAboutActionID:
      CheckAndPublish();
      // The key goes to the alert as it is; the host translates it.
      CAlert::ModalAlert(PMString("0x199e00kOslAboutBoxStringKey"),
                         PMString("OK", PMString::kDontTranslateDuringCall), PMString(), PMString(),
                         1, 1);
      return true;
    case kOslPublishActionID:
    case kOslPublishAgainActionID:
      CheckAndPublish();
      return true;
    case kOslPublishAsNewActionID:
      PublishAsNew();
      return true;
    case 0x199E01:
    case 0x199E02:
      return true;
    default:
      return false;
  }
}

void UpdatePublishActionStates(IActionStateList* list) {
  if (!list) return;
  for (int32 n = 0; n < list->Length(); ++n) {
    if (list->GetNthAction(n) != kOslPublishAsNewActionID) continue;
    IDocument* document = FrontDocument();
    if (!document) return;
    TagMap map = ReadStringMap(::GetUIDRef(document));
    if (!map[PMString(tagkeys::kDocID)].IsEmpty()) list->SetNthActionState(n, kEnabledAction);
  }
}

// Controller of the template properties dialog (view 250): fills the template
// name, client type and refresh box from the front document's template data,
// rejects a blank name and writes the values back on OK.
//
// Widgets: the name box (kOslDocNameWidgetID, "docName" as typed), the
// client-type list (kOslClientTypeWidgetID, "clientType" as the decimal list
// position) and the refresh box (kOslRefreshBoxWidgetID: usable only for a
// document published before). OK sets OslPlugInData's dialogResult to 1, or
// to 2 when the refresh box is selected; a dialog closed otherwise leaves it
// as it was.
#pragma once

#include "host/CDialogController.h"

class OslDialogController : public CDialogController {
 public:
  explicit OslDialogController(IPMUnknown* boss);
  ~OslDialogController() override;

  // Fills the widgets from the front document (empty name, first client
  // type and a disabled refresh box without one; a stored client type the
  // list does not offer selects the first entry). Shows the information
  // alert "dlgContext->GetContextDocument() == NULL" when the dialog was
  // opened without a document, and fills the widgets all the same.
  void InitializeDialogFields(IActiveContext* context) override;
  // The base answer, or kOslDocNameWidgetID when the name as it will be
  // stored (without the separator characters the template data cannot hold)
  // is empty or made of spaces (U+0020) only; a refused name is explained
  // by a warning alert.
  WidgetID ValidateDialogFields(IActiveContext* context) override;
  // Writes "docName" and "clientType" into the front document's template
  // data (other keys survive) and sets dialogResult. A name that loses
  // separator characters on the way is stored without them after a warning
  // that says what was removed. Does nothing without a front document or
  // the name box.
  void ApplyDialogFields(IActiveContext* context, const WidgetID& widgetId) override;
};

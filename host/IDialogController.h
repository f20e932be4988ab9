// The controller of a dialog or dialog panel: fills its widgets when it
// opens, validates them when the user confirms and applies them. The host
// calls InitializeDialog when the dialog opens, ValidateDialog and then
// ApplyDialog when the user presses OK, UserCancelled on Cancel and
// DialogClosing when it closes. CDialogController implements every
// operation; plug-ins derive from it.
//
// Widget helpers: `panel` names the panel to search (down to any nesting
// depth); null means the controller's own panel (the boss it sits on). A
// widget that is missing or lacks the data interface makes a setter do
// nothing and a getter answer the empty value.
// Called on the host's user-interface thread only; no exception may escape (host/README.md).
#pragma once

#include "HostInterfaceIDs.h"
#include "IActiveContext.h"
#include "IPMUnknown.h"
#include "IPanelControlData.h"
#include "IStringListControlData.h"
#include "ITriStateControlData.h"
#include "PMString.h"
#include "WidgetInterfaceIDs.h"

class IDialogController : public IPMUnknown {
 public:
  enum { kDefaultIID = IID_IDIALOGCONTROLLER };

  // Keeps `context` (a reference is held until the dialog closes) and fills
  // the widgets; marks the controller initialised.
  virtual void InitializeDialog(IActiveContext* context) = 0;
  // The context given to InitializeDialog with a reference added, or null.
  virtual IActiveContext* QueryDialogContext() const = 0;
  // kDefaultWidgetId when the widgets hold acceptable values, else the
  // identifier of the offending widget (the dialog then stays open).
  virtual WidgetID ValidateDialog() = 0;
  // Applies the widgets' values; `widgetId` is the button that confirmed.
  virtual void ApplyDialog(const WidgetID& widgetId) = 0;
  // Refills the widgets as they were when the dialog opened.
  virtual void ResetDialog() = 0;
  virtual void UserCancelled() = 0;
  // The dialog is closing; the controller drops the context.
  virtual void DialogClosing() = 0;
  virtual bool16 HasBeenInitialized() const = 0;
  virtual void SetInitialized(bool16 initialized) = 0;
  // The dialog (its boss) that holds the controller's panel; no reference.
  virtual void SetOwner(IPMUnknown* owner) = 0;
  virtual IPMUnknown* GetOwner() const = 0;
  // The title of the controller's dialog or panel.
  virtual PMString GetName() const = 0;

  virtual void SetTextControlData(const WidgetID& widgetId, const PMString& text,
                                  IPanelControlData* panel = nullptr, bool16 invalidate = true,
                                  bool16 notifyOfChange = true) = 0;
  virtual PMString GetTextControlData(const WidgetID& widgetId,
                                      IPanelControlData* panel = nullptr) const = 0;
  // Numeric text: shows `value` in decimal; GetTextValue reads the text as a
  // number, setting *isValid (when given) to false for text that is none.
  virtual void SetTextValue(const WidgetID& widgetId, const PMReal& value,
                            IPanelControlData* panel = nullptr, bool16 invalidate = true,
                            bool16 notifyOfChange = true) = 0;
  virtual PMReal GetTextValue(const WidgetID& widgetId, IPanelControlData* panel = nullptr,
                              bool16* isValid = nullptr) const = 0;
  // Whether a numeric text widget accepts input (its enable state).
  virtual void SetTextValueControlState(const WidgetID& widgetId, bool16 enabled,
                                        IPanelControlData* panel = nullptr,
                                        bool16 invalidate = true) = 0;
  virtual bool16 GetTextValueControlState(const WidgetID& widgetId,
                                          IPanelControlData* panel = nullptr) const = 0;
  // Buttons (IBooleanControlData) and check boxes (selected or clear).
  virtual void SetBooleanControlData(const WidgetID& widgetId, bool16 selected,
                                     IPanelControlData* panel = nullptr, bool16 invalidate = true,
                                     bool16 notifyOfChange = true) = 0;
  virtual bool16 GetBooleanControlData(const WidgetID& widgetId,
                                       IPanelControlData* panel = nullptr) const = 0;
  virtual void SetTriStateControlData(const WidgetID& widgetId, bool16 selected,
                                      IPanelControlData* panel = nullptr, bool16 invalidate = true,
                                      bool16 notifyOfChange = true) = 0;
  virtual void SetTriStateControlData(const WidgetID& widgetId,
                                      ITriStateControlData::TriState state,
                                      IPanelControlData* panel = nullptr, bool16 invalidate = true,
                                      bool16 notifyOfChange = true) = 0;
  // kUnselected for a missing widget.
  virtual ITriStateControlData::TriState GetTriStateControlData(
      const WidgetID& widgetId, IPanelControlData* panel = nullptr) const = 0;
  // Clusters (panels of radio buttons): the identifier of the selected
  // button of cluster `clusterId` (kInvalidWidgetID when none is), and
  // selecting button `widgetId` while clearing the other buttons of its
  // cluster.
  virtual WidgetID GetSelectedClusterWidget(const WidgetID& clusterId,
                                            IPanelControlData* panel = nullptr) const = 0;
  virtual void SetSelectedClusterWidget(const WidgetID& widgetId,
                                        IPanelControlData* panel = nullptr,
                                        bool16 invalidate = true, bool16 notifyOfChange = true) = 0;
  // The string list of list widget `widgetId` with a reference added, or null.
  virtual IStringListControlData* QueryListControlDataInterface(
      const WidgetID& widgetId, IPanelControlData* panel = nullptr) const = 0;
  // `panel` with a reference added, or (for null) the controller's own panel
  // with a reference added (null when its boss has none).
  virtual IPanelControlData* QueryIfNilElseAddRef(IPanelControlData* panel) const = 0;
  // Gives widget `widgetId` the keyboard focus (after a failed validation).
  virtual void SelectDialogWidget(const WidgetID& widgetId, IPanelControlData* panel = nullptr) = 0;
  virtual bool16 GetPreviewModeOn() const = 0;
  virtual void SetPreviewModeOn(bool16 on) = 0;

  virtual ~IDialogController() = default;
};

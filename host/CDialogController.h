// Base of dialog controllers. The host-facing operations call the
// overridable steps below: InitializeDialog -> InitializeFields ->
// InitializeDialogFields, ValidateDialog -> ValidateFields ->
// ValidateDialogFields, ApplyDialog -> ApplyFields -> ApplyDialogFields,
// ResetDialog -> ResetFields -> ResetDialogFields, DialogClosing ->
// ClosingDialog. Derived controllers override the *DialogFields steps and
// call the base step first.
// Called on the host's user-interface thread only; no exception may escape (host/README.md).
#pragma once

#include "CPMUnknown.h"
#include "IDialogController.h"
#include "InterfacePtr.h"

class CDialogController : public CPMUnknown<IDialogController> {
 public:
  explicit CDialogController(IPMUnknown* boss);
  ~CDialogController() override;

  void InitializeDialog(IActiveContext* context) override;
  IActiveContext* QueryDialogContext() const override;
  WidgetID ValidateDialog() override;
  void ApplyDialog(const WidgetID& widgetId) override;
  void ResetDialog() override;
  void UserCancelled() override;
  void DialogClosing() override;
  bool16 HasBeenInitialized() const override { return initialized_; }
  void SetInitialized(bool16 initialized) override { initialized_ = initialized ? 1 : 0; }
  void SetOwner(IPMUnknown* owner) override { owner_ = owner; }
  IPMUnknown* GetOwner() const override { return owner_; }
  PMString GetName() const override;

  void SetTextControlData(const WidgetID& widgetId, const PMString& text,
                          IPanelControlData* panel = nullptr, bool16 invalidate = true,
                          bool16 notifyOfChange = true) override;
  PMString GetTextControlData(const WidgetID& widgetId,
                              IPanelControlData* panel = nullptr) const override;
  void SetTextValue(const WidgetID& widgetId, const PMReal& value,
                    IPanelControlData* panel = nullptr, bool16 invalidate = true,
                    bool16 notifyOfChange = true) override;
  PMReal GetTextValue(const WidgetID& widgetId, IPanelControlData* panel = nullptr,
                      bool16* isValid = nullptr) const override;
  void SetTextValueControlState(const WidgetID& widgetId, bool16 enabled,
                                IPanelControlData* panel = nullptr,
                                bool16 invalidate = true) override;
  bool16 GetTextValueControlState(const WidgetID& widgetId,
                                  IPanelControlData* panel = nullptr) const override;
  void SetBooleanControlData(const WidgetID& widgetId, bool16 selected,
                             IPanelControlData* panel = nullptr, bool16 invalidate = true,
                             bool16 notifyOfChange = true) override;
  bool16 GetBooleanControlData(const WidgetID& widgetId,
                               IPanelControlData* panel = nullptr) const override;
  void SetTriStateControlData(const WidgetID& widgetId, bool16 selected,
                              IPanelControlData* panel = nullptr, bool16 invalidate = true,
                              bool16 notifyOfChange = true) override;
  void SetTriStateControlData(const WidgetID& widgetId, ITriStateControlData::TriState state,
                              IPanelControlData* panel = nullptr, bool16 invalidate = true,
                              bool16 notifyOfChange = true) override;
  ITriStateControlData::TriState GetTriStateControlData(
      const WidgetID& widgetId, IPanelControlData* panel = nullptr) const override;
  WidgetID GetSelectedClusterWidget(const WidgetID& clusterId,
                                    IPanelControlData* panel = nullptr) const override;
  void SetSelectedClusterWidget(const WidgetID& widgetId, IPanelControlData* panel = nullptr,
                                bool16 invalidate = true, bool16 notifyOfChange = true) override;
  IStringListControlData* QueryListControlDataInterface(
      const WidgetID& widgetId, IPanelControlData* panel = nullptr) const override;
  IPanelControlData* QueryIfNilElseAddRef(IPanelControlData* panel) const override;
  void SelectDialogWidget(const WidgetID& widgetId, IPanelControlData* panel = nullptr) override;
  bool16 GetPreviewModeOn() const override { return previewMode_; }
  void SetPreviewModeOn(bool16 on) override { previewMode_ = on ? 1 : 0; }

  // Overridable steps. The base steps: InitializeDialogFields does nothing,
  // ValidateDialogFields answers kDefaultWidgetId, ApplyDialogFields does
  // nothing, ResetDialogFields runs InitializeDialogFields again, and
  // ClosingDialog does nothing.
  virtual void ApplyFields(const WidgetID& widgetId);
  virtual WidgetID ValidateFields();
  virtual void ResetFields();
  virtual void InitializeFields();
  virtual void InitializeDialogFields(IActiveContext* context);
  virtual WidgetID ValidateDialogFields(IActiveContext* context);
  virtual void ApplyDialogFields(IActiveContext* context, const WidgetID& widgetId);
  virtual void ResetDialogFields(IActiveContext* context);
  virtual void ClosingDialog();

 private:
  // Widget `widgetId` of `panel` (or of the own panel), queried for `iid`;
  // null when missing.
  IPMUnknown* QueryWidget(const WidgetID& widgetId, IPanelControlData* panel, PMIID iid) const;

  InterfacePtr<IActiveContext> context_;
  IPMUnknown* owner_ = nullptr;
  bool16 initialized_ = 0;
  bool16 previewMode_ = 0;
};

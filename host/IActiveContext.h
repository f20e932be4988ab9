// The context a dialog was opened in: the document and selection that were
// active then. Dialog controllers receive it in InitializeDialog.
#pragma once

#include "IDocument.h"
#include "IPMUnknown.h"
#include "ISelectionManager.h"
#include "WidgetInterfaceIDs.h"

class IActiveContext : public IPMUnknown {
 public:
  enum { kDefaultIID = IID_IACTIVECONTEXT };

  // The front document when the dialog opened, or null when none was open.
  // No reference is added; valid while that document stays open.
  virtual IDocument* GetContextDocument() const = 0;
  // The active selection when the dialog opened, or null. No reference is
  // added.
  virtual ISelectionManager* GetContextSelection() const = 0;

  virtual ~IActiveContext() = default;
};

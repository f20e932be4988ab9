// The text of a widget: edit boxes, static texts and drop-downs (whose text
// is the selected entry's) carry it.
#pragma once

#include "IPMUnknown.h"
#include "PMString.h"
#include "WidgetInterfaceIDs.h"

class ITextControlData : public IPMUnknown {
 public:
  enum { kDefaultIID = IID_ITEXTCONTROLDATA };

  // Replaces the text. Static texts show a translatable string translated;
  // edit boxes keep the text exactly as given. A drop-down selects the first
  // entry with exactly this text, or no entry when none has it. With
  // `notifyOfChange` the widget's subject sends kTextChangeStateMessage
  // under IID_ITEXTCONTROLDATA (a drop-down sends its selection change
  // instead, see IDropDownListController). `invalidate` asks for a redraw.
  virtual void SetString(const PMString& text, bool16 invalidate = true,
                         bool16 notifyOfChange = true) = 0;
  // The current text (empty for a drop-down with nothing selected).
  virtual PMString GetString() const = 0;

  virtual ~ITextControlData() = default;
};

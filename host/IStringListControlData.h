// The entries of a list widget (drop-downs). Entries are kept exactly as
// added; callers translate display keys before adding them.
#pragma once

#include "IPMUnknown.h"
#include "PMString.h"
#include "WidgetInterfaceIDs.h"

class IStringListControlData : public IPMUnknown {
 public:
  enum { kDefaultIID = IID_ISTRINGLISTCONTROLDATA };
  static constexpr int32 kEnd = -1;

  // Every change below, with `notifyOfChange`, makes the widget's subject
  // send kListChangedMessage under IID_ISTRINGLISTCONTROLDATA.

  // Removes every entry; the list then has nothing selected.
  virtual void Clear(bool16 invalidate = true, bool16 notifyOfChange = true) = 0;
  // Inserts `text` before position `atIndex` (kEnd or any position past the
  // last entry appends). The selected entry stays selected.
  virtual void AddString(const PMString& text, int32 atIndex = kEnd, bool16 invalidate = true,
                         bool16 notifyOfChange = true) = 0;
  // Removes the entry at `index` (nothing happens outside the list). When it
  // was selected the list has nothing selected.
  virtual void RemoveString(int32 index, bool16 invalidate = true,
                            bool16 notifyOfChange = true) = 0;

  virtual int32 Length() const = 0;
  // The entry at `index`; empty outside 0..Length()-1.
  virtual PMString GetString(int32 index) const = 0;
  // The position of the first entry whose text equals `text` exactly
  // (case-sensitive), or -1 when there is none.
  virtual int32 GetIndex(const PMString& text) const = 0;

  virtual ~IStringListControlData() = default;
};

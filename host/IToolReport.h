// What a plug-in's designer tools hand to their host: the records of a
// report (findings of a check, changes a dry run would make, a connection
// test's outcome), each with its named values and the line a person reads,
// and the outlines a preview draws over a page. The host shows the records
// its own way (a panel, a terminal, a script's JSON) and draws the outlines
// over the page as it draws pages; it does not interpret their meaning.
//
// Both interfaces are utilities (UtilsBoss::QueryUtils); either may be
// missing, and a tool then reports nothing.
#pragma once

#include "BaseTypes.h"
#include "IPMUnknown.h"
#include "PMGeometry.h"
#include "PMString.h"
#include "UIDRef.h"

constexpr PMIID IID_ITOOLREPORT = 0x5A070;
constexpr PMIID IID_ITEXTFITUTILS = 0x5A071;

// One named value of a report record.
struct ToolValue {
  enum Type : int32 {
    kText = 0,    // any text
    kNumber = 1,  // decimal text of a number (such as "12" or "-3.5")
    kFlag = 2,    // "true" or "false"
  };
  PMString name;
  PMString text;
  Type type = kText;
};

// A shape a preview draws over page `pageNumber` (1-based, counted over the
// document): the closed outline through `corners`, in points relative to
// the page's top-left corner (y grows downwards), in colour `rgb`
// (0xRRGGBB), with `label` written at its first corner. When `hiddenItem`
// names a page item, the host draws the page without that item (as the
// proof PDF leaves field items out).
struct ToolOutline {
  enum Style : int32 {
    kField = 0,   // a field's rectangle: a thin line
    kMarker = 1,  // something to look at (a finding): a thick dashed line
  };
  int32 pageNumber = 0;
  PMPoint corners[4];
  uint32 rgb = 0;
  PMString label;
  Style style = kField;
  UID hiddenItem = kInvalidUID;
};

class IToolReport : public IPMUnknown {
 public:
  enum { kDefaultIID = IID_ITOOLREPORT };
  // Starts the report of tool `tool` (a short name such as "check"): the
  // records and outlines of any earlier report are dropped.
  virtual void BeginReport(const PMString& tool) = 0;
  // Appends a record of kind `kind` with `values` (in that order) and the
  // one-line text `line`. The host copies what it keeps.
  virtual void AddRecord(const PMString& kind, const K2Vector<ToolValue>& values,
                         const PMString& line) = 0;
  // Appends an outline to draw over a page.
  virtual void AddOutline(const ToolOutline& outline) = 0;
  virtual ~IToolReport() = default;
};

// How text sits in its frame, as the host lays it out.
class ITextFitUtils : public IPMUnknown {
 public:
  enum { kDefaultIID = IID_ITEXTFITUTILS };
  // True when characters of the story of text frame `frame` that draw
  // something do not fit the frame (overset text). False for an item that
  // is no text frame.
  virtual bool16 IsOverset(const UIDRef& frame) const = 0;
  virtual ~ITextFitUtils() = default;
};

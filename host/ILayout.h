// The layout of a document: spreads, pages, the page items on each page,
// the hierarchy of groups and frames, and where everything lies.
//
// Every page, spread and page item is a persistent object of the document's
// database (its UIDRef); these interfaces sit on those objects' bosses. A
// missing interface reads as null (InterfacePtr), and callers end the step
// quietly. Geometry is in points; y grows downwards.
#pragma once

#include "HostInterfaceIDs.h"
#include "IPMUnknown.h"
#include "PMGeometry.h"
#include "UIDRef.h"

// On the document boss: the spreads in document order.
class ISpreadList : public IPMUnknown {
 public:
  enum { kDefaultIID = IID_ISPREADLIST };
  virtual int32 GetSpreadCount() const = 0;
  // The UID of spread `index` (0-based), or kInvalidUID outside the range.
  virtual UID GetNthSpreadUID(int32 index) const = 0;
  virtual ~ISpreadList() = default;
};

// On the document boss: every page of the document, spread by spread.
class IPageList : public IPMUnknown {
 public:
  enum { kDefaultIID = IID_IPAGELIST };
  virtual int32 GetPageCount() const = 0;
  // The UID of page `index` (0-based, over all spreads), or kInvalidUID.
  virtual UID GetNthPageUID(int32 index) const = 0;
  virtual ~IPageList() = default;
};

// On a spread: its pages in order and the page items that lie on them.
class ISpread : public IPMUnknown {
 public:
  enum { kDefaultIID = IID_ISPREAD };
  virtual int32 GetNumPages() const = 0;
  // The UID of page `index` of this spread, or kInvalidUID.
  virtual UID GetNthPageUID(int32 index) const = 0;
  // Appends to `items` the page items of page `index`, back to front. A
  // group is one item (its members are not listed). With `includePage` the
  // page itself comes first; with `includePasteboard` the spread's items that
  // lie on no page follow. Nothing is appended for an index outside the
  // spread.
  virtual void GetItemsOnPage(int32 index, UIDList* items, bool16 includePage = 0,
                              bool16 includePasteboard = 0) const = 0;
  virtual ~ISpread() = default;
};

// On spreads, pages and page items: parents and children. A spread's
// children are its top-level page items (page by page, back to front, then
// the items on its pasteboard); a group's children are its members; a
// graphic frame holding a placed image has the image as its one child; a
// text frame's child is its text content object. A page item's parent is
// its group, or its spread; a page's parent is its spread.
class IHierarchy : public IPMUnknown {
 public:
  enum { kDefaultIID = IID_IHIERARCHY };
  virtual int32 GetChildCount() const = 0;
  // The UID of child `index`, or kInvalidUID outside the range.
  virtual UID GetChildUID(int32 index) const = 0;
  // The parent's UID (kInvalidUID for a spread).
  virtual UID GetParentUID() const = 0;
  // The UID of the spread the object lies in (a spread answers itself).
  virtual UID GetSpreadUID() const = 0;
  virtual ~IHierarchy() = default;
};

// On pages and page items: the object's shape in its own (inner)
// coordinates.
class IGeometry : public IPMUnknown {
 public:
  enum { kDefaultIID = IID_IGEOMETRY };
  // The inner bounding box: the page's own bounds for a page, the frame's
  // box (before its matrix) for a page item.
  virtual PMRect GetBoundingBox() const = 0;
  virtual ~IGeometry() = default;
};

// On pages and page items: how the inner coordinates map to the parent's
// (a page's parent and a top-level item's parent is the spread).
class ITransform : public IPMUnknown {
 public:
  enum { kDefaultIID = IID_ITRANSFORM };
  virtual PMMatrix GetInnerToParentMatrix() const = 0;
  // The item's rotation angle in degrees (counter-clockwise as the user sees
  // the page) and horizontal skew angle in degrees, as the item's inner-to-
  // pasteboard matrix shows them.
  virtual PMReal GetItemRotationAngle() const = 0;
  virtual PMReal GetItemSkewAngle() const = 0;
  virtual ~ITransform() = default;
};

// The matrix from the inner coordinates of `object` (a page or page item)
// to its spread's coordinates, through every enclosing group. The identity
// when `object` is null or has no ITransform.
PMMatrix InnerToPasteboardMatrix(const IPMUnknown* object);

// Reference points of a set of items' bounding box (in spread
// coordinates).
enum ReferencePointKind : int32 {
  kTopLeftReference = 0,
  kTopCenterReference = 1,
  kTopRightReference = 2,
  kLeftCenterReference = 3,
  kCenterReference = 4,
  kRightCenterReference = 5,
  kBottomLeftReference = 6,
  kBottomCenterReference = 7,
  kBottomRightReference = 8,
};

// Layout utilities (UtilsBoss::QueryUtils).
class ILayoutUtils : public IPMUnknown {
 public:
  enum { kDefaultIID = IID_ILAYOUTUTILS };
  // The reference point `kind` of the bounding box (in spread coordinates)
  // of every item of `items`. The origin when `items` is empty.
  virtual PMPoint GetReferencePoint(const UIDList& items, ReferencePointKind kind) const = 0;
  virtual ~ILayoutUtils() = default;
};

// Transform commands (UtilsBoss::QueryUtils). Each is one undoable command
// on the items of `items`; it returns kSuccess, or an error code (and then
// changes nothing) when an item is missing or the result cannot be shown.
class ITransformFacade : public IPMUnknown {
 public:
  enum { kDefaultIID = IID_ITRANSFORMFACADE };
  // Turns every item about `about` (spread coordinates) so that its
  // rotation angle becomes `degrees`; its skew angle and size stay.
  virtual ErrorCode SetRotationAngle(const UIDList& items, const PMPoint& about,
                                     PMReal degrees) = 0;
  // Skews every item about `about` so that its horizontal skew angle
  // becomes `degrees`; its rotation angle and size stay.
  virtual ErrorCode SetSkewAngle(const UIDList& items, const PMPoint& about, PMReal degrees) = 0;
  // Shows (`visible`) or hides every item; a hidden item is left out of
  // drawing and export.
  virtual ErrorCode SetVisible(const UIDList& items, bool16 visible) = 0;
  // True when `item` itself is shown: its own visibility as SetVisible or
  // the document set it (a member of a hidden group answers its own). False
  // for an item that does not exist.
  virtual bool16 IsVisible(const UIDRef& item) const = 0;
  // Gives `item` exactly `matrix` as its inner-to-parent matrix (the one
  // ITransform reports), so that a transform read earlier is put back
  // without rounding. kSuccess, or an error code (and nothing changed) when
  // the item is missing or the matrix would make it or a member unshowable.
  virtual ErrorCode SetInnerToParentMatrix(const UIDRef& item, const PMMatrix& matrix) = 0;
  virtual ~ITransformFacade() = default;
};

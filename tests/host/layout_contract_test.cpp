// What host/ promises of layouts: spreads and pages, items per page and
// their hierarchy, geometry with rotation and skew, and the transform and
// visibility commands.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "host/ILabel.h"
#include "host/ILayout.h"
#include "host/IPageItemData.h"
#include "host/InterfacePtr.h"
#include "host/PersistUtils.h"
#include "host/Utils.h"
#include "tests/support/host_fixture.h"

namespace osltest {
namespace {

class HostLayout : public HostTest {
 protected:
  standin::Document* OpenExample(const std::string& name) {
    std::string error;
    standin::Document* doc =
        host_.OpenDocument(std::string(OSL_SOURCE_DIR) + "/examples/" + name, &error);
    EXPECT_TRUE(doc) << error;
    return doc;
  }
  static std::vector<UID> Uids(const UIDList& list) {
    std::vector<UID> uids;
    for (int32 i = 0; i < list.Length(); ++i) uids.push_back(list.At(i));
    return uids;
  }
};
class HostItemGeometry : public HostLayout {};
class HostTransforms : public HostLayout {};

// Two spreads: the first with two pages side by side, a nested group and a
// pasteboard item; the second with one page.
nlohmann::json TwoSpreads() {
  return nlohmann::json::parse(R"({
    "format": "tlvd", "label": "",
    "spreads": [
      {"uid": 2, "pages": [
         {"uid": 3, "bounds": [0, 0, 100, 200], "items": [
            {"uid": 10, "kind": "text", "bounds": [0, 0, 50, 20], "matrix": [1, 0, 0, 1, 10, 10]},
            {"uid": 11, "kind": "group", "bounds": [0, 0, 60, 60], "matrix": [1, 0, 0, 1, 20, 50],
             "children": [
               {"uid": 12, "kind": "graphic", "bounds": [0, 0, 10, 10], "image": "a.png"},
               {"uid": 13, "kind": "group", "bounds": [0, 0, 30, 30], "matrix": [1, 0, 0, 1, 5, 5],
                "children": [{"uid": 14, "kind": "other", "bounds": [0, 0, 4, 4],
                              "matrix": [1, 0, 0, 1, 1, 2]}]}]}]},
         {"uid": 4, "bounds": [0, 0, 100, 200], "matrix": [1, 0, 0, 1, 100, 0], "items": [
            {"uid": 15, "kind": "guide", "bounds": [0, 0, 0, 200]},
            {"uid": 16, "kind": "text", "bounds": [0, 0, 30, 30], "matrix": [1, 0, 0, 1, 110, 20]}]}],
       "pasteboard": [{"uid": 17, "kind": "graphic", "bounds": [0, 0, 20, 20],
                       "matrix": [1, 0, 0, 1, -50, 0]}]},
      {"uid": 5, "pages": [{"uid": 6, "bounds": [0, 0, 300, 400], "items": [
         {"uid": 18, "kind": "text", "bounds": [0, 0, 10, 10]}]}]}]})");
}

TEST_F(HostLayout, SpreadsPagesAndItemsInOrder) {
  auto* doc = Open(TwoSpreads());
  ASSERT_TRUE(doc);
  InterfacePtr<ISpreadList> spreads(doc->Ref(standin::Document::kDocumentUID), IID_ISPREADLIST);
  ASSERT_TRUE(spreads);
  ASSERT_EQ(spreads->GetSpreadCount(), 2);
  EXPECT_EQ(spreads->GetNthSpreadUID(0), 2u);
  EXPECT_EQ(spreads->GetNthSpreadUID(1), 5u);
  EXPECT_EQ(spreads->GetNthSpreadUID(2), kInvalidUID);
  EXPECT_EQ(spreads->GetNthSpreadUID(-1), kInvalidUID);
  InterfacePtr<IPageList> pages(doc->Ref(standin::Document::kDocumentUID), IID_IPAGELIST);
  ASSERT_TRUE(pages);
  ASSERT_EQ(pages->GetPageCount(), 3);
  EXPECT_EQ(pages->GetNthPageUID(1), 4u);
  EXPECT_EQ(pages->GetNthPageUID(2), 6u);
  EXPECT_EQ(pages->GetNthPageUID(3), kInvalidUID);

  InterfacePtr<ISpread> spread(doc->Ref(2), IID_ISPREAD);
  ASSERT_TRUE(spread);
  ASSERT_EQ(spread->GetNumPages(), 2);
  EXPECT_EQ(spread->GetNthPageUID(0), 3u);
  EXPECT_EQ(spread->GetNthPageUID(5), kInvalidUID);
  // Back to front; a group is one item; pasteboard items only on request.
  UIDList first(doc);
  spread->GetItemsOnPage(0, &first);
  EXPECT_EQ(Uids(first), (std::vector<UID>{10, 11}));
  UIDList second(doc);
  spread->GetItemsOnPage(1, &second, /*includePage=*/1, /*includePasteboard=*/1);
  EXPECT_EQ(Uids(second), (std::vector<UID>{4, 15, 16, 17}));
  UIDList none(doc);
  spread->GetItemsOnPage(2, &none, 1, 1);
  EXPECT_TRUE(none.IsEmpty());
  // Items are appended to what the list holds.
  spread->GetItemsOnPage(0, &second);
  EXPECT_EQ(Uids(second), (std::vector<UID>{4, 15, 16, 17, 10, 11}));
}

TEST_F(HostLayout, HierarchyOfGroupsFramesAndPasteboard) {
  auto* doc = Open(TwoSpreads());
  ASSERT_TRUE(doc);
  auto children = [&](UID uid) {
    InterfacePtr<IHierarchy> h(doc->Ref(uid), IID_IHIERARCHY);
    std::vector<UID> out;
    for (int32 i = 0; h && i < h->GetChildCount(); ++i) out.push_back(h->GetChildUID(i));
    return out;
  };
  auto parent = [&](UID uid) {
    InterfacePtr<IHierarchy> h(doc->Ref(uid), IID_IHIERARCHY);
    return h ? h->GetParentUID() : UID(999);
  };
  // A spread's children: its pages' items, then its pasteboard's.
  EXPECT_EQ(children(2), (std::vector<UID>{10, 11, 15, 16, 17}));
  EXPECT_EQ(children(11).size(), 2u);
  EXPECT_EQ(children(11)[0], 12u);
  EXPECT_EQ(children(13), (std::vector<UID>{14}));
  EXPECT_EQ(parent(14), 13u);
  EXPECT_EQ(parent(13), 11u);
  EXPECT_EQ(parent(11), 2u);
  EXPECT_EQ(parent(17), 2u);
  EXPECT_EQ(parent(2), kInvalidUID);
  InterfacePtr<IHierarchy> deep(doc->Ref(14), IID_IHIERARCHY);
  EXPECT_EQ(deep->GetSpreadUID(), 2u);
  EXPECT_EQ(deep->GetChildUID(0), kInvalidUID);
  // The placed image is the graphic frame's one child, and its parent is
  // the frame.
  ASSERT_EQ(children(12).size(), 1u);
  const UID image = children(12)[0];
  EXPECT_TRUE(doc->IsValidUID(image));
  EXPECT_EQ(parent(image), 12u);
  EXPECT_TRUE(children(17).empty());
  // A group is told apart from frames by having no frame data.
  EXPECT_FALSE(InterfacePtr<IGraphicFrameData>(doc->Ref(11), IID_IGRAPHICFRAMEDATA));
  EXPECT_TRUE(InterfacePtr<IGraphicFrameData>(doc->Ref(12), IID_IGRAPHICFRAMEDATA));
  InterfacePtr<IHierarchy> pageHierarchy(doc->Ref(4), IID_IHIERARCHY);
  ASSERT_TRUE(pageHierarchy);
  EXPECT_EQ(pageHierarchy->GetParentUID(), 2u);
}

TEST_F(HostLayout, ExamplesLoadWithTheirStructure) {
  auto* card = OpenExample("business-card.tlvd");
  ASSERT_TRUE(card);
  InterfacePtr<ISpread> spread(card->Ref(2), IID_ISPREAD);
  ASSERT_TRUE(spread);
  UIDList items(card);
  spread->GetItemsOnPage(0, &items);
  EXPECT_EQ(Uids(items), (std::vector<UID>{10, 11, 12, 14, 15, 16, 17}));

  auto* flyer = OpenExample("flyer.tlvd");
  ASSERT_TRUE(flyer);
  InterfacePtr<IHierarchy> group(flyer->Ref(30), IID_IHIERARCHY);
  ASSERT_TRUE(group);
  ASSERT_EQ(group->GetChildCount(), 2);
  EXPECT_EQ(group->GetChildUID(1), 32u);
  InterfacePtr<IPageList> pages(flyer->Ref(standin::Document::kDocumentUID), IID_IPAGELIST);
  EXPECT_EQ(pages->GetPageCount(), 2);
  InterfacePtr<ISpread> second(flyer->Ref(4), IID_ISPREAD);
  UIDList onSecond(flyer);
  second->GetItemsOnPage(0, &onSecond);
  EXPECT_EQ(Uids(onSecond), (std::vector<UID>{30, 33, 34}));
}

TEST_F(HostItemGeometry, BoundsMatricesAndPasteboardCoordinates) {
  auto* doc = Open(TwoSpreads());
  ASSERT_TRUE(doc);
  InterfacePtr<IGeometry> page(doc->Ref(4), IID_IGEOMETRY);
  ASSERT_TRUE(page);
  EXPECT_EQ(page->GetBoundingBox().Height(), 200);
  InterfacePtr<ITransform> pageTransform(doc->Ref(4), IID_ITRANSFORM);
  EXPECT_EQ(pageTransform->GetInnerToParentMatrix().Tx(), 100);
  InterfacePtr<IGeometry> item(doc->Ref(14), IID_IGEOMETRY);
  EXPECT_EQ(item->GetBoundingBox().Right(), 4);
  InterfacePtr<ITransform> transform(doc->Ref(14), IID_ITRANSFORM);
  EXPECT_EQ(transform->GetInnerToParentMatrix().Ty(), 2);
  // Through both groups: 1 + 5 + 20, 2 + 5 + 50.
  const PMMatrix toSpread = InnerToPasteboardMatrix(transform);
  EXPECT_EQ(toSpread.Tx(), 26);
  EXPECT_EQ(toSpread.Ty(), 57);
  EXPECT_EQ(InnerToPasteboardMatrix(pageTransform).Tx(), 100);
  EXPECT_EQ(InnerToPasteboardMatrix(nullptr).Tx(), 0);
  InterfacePtr<ILabel> noTransform(doc->Ref(standin::Document::kDocumentUID), IID_ILABEL);
  EXPECT_EQ(InnerToPasteboardMatrix(noTransform).A(), 1);

  // Reference points of a set of items, in spread coordinates.
  Utils<ILayoutUtils> layout;
  ASSERT_TRUE(layout);
  UIDList both(doc);
  both.Append(10);
  both.Append(16);
  const PMPoint topLeft = layout->GetReferencePoint(both, kTopLeftReference);
  EXPECT_EQ(topLeft.x, 10);
  EXPECT_EQ(topLeft.y, 10);
  const PMPoint center = layout->GetReferencePoint(both, kCenterReference);
  EXPECT_EQ(center.x, 75);
  EXPECT_EQ(center.y, 30);
  const PMPoint bottomRight = layout->GetReferencePoint(both, kBottomRightReference);
  EXPECT_EQ(bottomRight.x, 140);
  EXPECT_EQ(bottomRight.y, 50);
  EXPECT_EQ(layout->GetReferencePoint(UIDList(doc), kCenterReference).x, 0);
}

TEST_F(HostItemGeometry, RotatedAndSkewedItemsReportTheirAngles) {
  auto* card = OpenExample("business-card.tlvd");
  ASSERT_TRUE(card);
  // Frame 16 is turned by 90 degrees: [0 -1 1 0].
  InterfacePtr<ITransform> rotated(card->Ref(16), IID_ITRANSFORM);
  ASSERT_TRUE(rotated);
  EXPECT_NEAR(rotated->GetItemRotationAngle(), 90, 1e-9);
  EXPECT_NEAR(rotated->GetItemSkewAngle(), 0, 1e-9);
  Utils<ILayoutUtils> layout;
  UIDList one(card);
  one.Append(16);
  // 100 x 12 turned: 12 wide, 100 tall, top-left corner at (236, 30).
  const PMPoint topLeft = layout->GetReferencePoint(one, kTopLeftReference);
  EXPECT_NEAR(topLeft.x, 236, 1e-9);
  EXPECT_NEAR(topLeft.y, 30, 1e-9);
  const PMPoint bottomRight = layout->GetReferencePoint(one, kBottomRightReference);
  EXPECT_NEAR(bottomRight.x, 248, 1e-9);
  EXPECT_NEAR(bottomRight.y, 130, 1e-9);

  auto json = SampleDocument();
  // A frame skewed by 20 degrees, and a group rotated by 30 whose member is
  // rotated by 15 more.
  const double t = std::tan(20 * M_PI / 180);
  json["spreads"][0]["pages"][0]["items"][1]["matrix"] = {1, 0, t, 1, 60, 0};
  const double c30 = std::cos(30 * M_PI / 180), s30 = std::sin(30 * M_PI / 180);
  const double c15 = std::cos(15 * M_PI / 180), s15 = std::sin(15 * M_PI / 180);
  json["spreads"][0]["pages"][0]["items"][3]["matrix"] = {c30, -s30, s30, c30, 0, 0};
  json["spreads"][0]["pages"][0]["items"][3]["children"][0]["matrix"] = {c15, -s15, s15, c15, 0, 0};
  auto* doc = Open(json, "/tmp/skew.tlvd");
  ASSERT_TRUE(doc);
  InterfacePtr<ITransform> skewed(doc->Ref(11), IID_ITRANSFORM);
  EXPECT_NEAR(skewed->GetItemSkewAngle(), 20, 1e-9);
  EXPECT_NEAR(skewed->GetItemRotationAngle(), 0, 1e-9);
  InterfacePtr<ITransform> member(doc->Ref(14), IID_ITRANSFORM);
  EXPECT_NEAR(member->GetItemRotationAngle(), 45, 1e-9);
}

// The item's inner-to-spread matrix, entry by entry.
std::vector<double> Entries(const standin::PageItem* item) {
  const PMMatrix m = item->InnerToSpread();
  return {m.A(), m.B(), m.C(), m.D(), m.Tx(), m.Ty()};
}

void ExpectNear(const std::vector<double>& a, const std::vector<double>& b, double tolerance) {
  ASSERT_EQ(a.size(), b.size());
  for (size_t i = 0; i < a.size(); ++i) EXPECT_NEAR(a[i], b[i], tolerance) << "entry " << i;
}

TEST_F(HostTransforms, StraightenAndRestoreExactly) {
  auto json = SampleDocument();
  // Item 11: rotated by 25 degrees and skewed by 12, scaled 1.5 x 0.8.
  const double r = -25 * M_PI / 180, k = std::tan(12 * M_PI / 180);
  const double sx = 1.5, sy = 0.8;
  // [sx 0; k*sy sy] followed by the rotation.
  const double a = sx * std::cos(r), b = sx * std::sin(r);
  const double c = k * sy * std::cos(r) - sy * std::sin(r),
               d = k * sy * std::sin(r) + sy * std::cos(r);
  json["spreads"][0]["pages"][0]["items"][1]["matrix"] = {a, b, c, d, 60, 30};
  auto* doc = Open(json);
  ASSERT_TRUE(doc);
  InterfacePtr<ITransform> transform(doc->Ref(11), IID_ITRANSFORM);
  const double rotation = transform->GetItemRotationAngle();
  const double skew = transform->GetItemSkewAngle();
  EXPECT_NEAR(rotation, 25, 1e-9);
  EXPECT_NEAR(skew, 12, 1e-9);
  const auto before = Entries(doc->FindItem(11));

  Utils<ILayoutUtils> layout;
  Utils<ITransformFacade> facade;
  ASSERT_TRUE(facade);
  UIDList items(doc);
  items.Append(11);
  const PMPoint center = layout->GetReferencePoint(items, kCenterReference);
  ASSERT_EQ(facade->SetRotationAngle(items, center, 0), kSuccess);
  EXPECT_NEAR(transform->GetItemRotationAngle(), 0, 1e-9);
  EXPECT_NEAR(transform->GetItemSkewAngle(), 12, 1e-9);
  ASSERT_EQ(facade->SetSkewAngle(items, center, 0), kSuccess);
  EXPECT_NEAR(transform->GetItemSkewAngle(), 0, 1e-9);
  EXPECT_NEAR(transform->GetItemRotationAngle(), 0, 1e-9);
  // Straight now: the box is the unrotated, unskewed frame of the same
  // size about the same centre.
  const PMPoint straightCenter = layout->GetReferencePoint(items, kCenterReference);
  EXPECT_NEAR(straightCenter.x, center.x, 1e-9);
  EXPECT_NEAR(straightCenter.y, center.y, 1e-9);
  const PMPoint topLeft = layout->GetReferencePoint(items, kTopLeftReference);
  EXPECT_NEAR(center.x - topLeft.x, 40 * sx / 2, 1e-9);
  EXPECT_NEAR(center.y - topLeft.y, 40 * sy / 2, 1e-9);

  ASSERT_EQ(facade->SetRotationAngle(items, center, rotation), kSuccess);
  ASSERT_EQ(facade->SetSkewAngle(items, center, skew), kSuccess);
  ExpectNear(Entries(doc->FindItem(11)), before, 1e-9);
  EXPECT_TRUE(doc->IsDirty());
}

TEST_F(HostTransforms, ARotatedFrameStraightensAboutItsCentre) {
  auto* card = OpenExample("business-card.tlvd");
  ASSERT_TRUE(card);
  const auto before = Entries(card->FindItem(16));
  Utils<ILayoutUtils> layout;
  Utils<ITransformFacade> facade;
  UIDList items(card);
  items.Append(16);
  const PMPoint center = layout->GetReferencePoint(items, kCenterReference);
  ASSERT_EQ(facade->SetRotationAngle(items, center, 0), kSuccess);
  // 100 wide and 12 tall again, about the same centre (242, 80).
  const PMPoint topLeft = layout->GetReferencePoint(items, kTopLeftReference);
  EXPECT_NEAR(topLeft.x, 192, 1e-9);
  EXPECT_NEAR(topLeft.y, 74, 1e-9);
  ASSERT_EQ(facade->SetRotationAngle(items, center, 90), kSuccess);
  ExpectNear(Entries(card->FindItem(16)), before, 1e-9);
}

TEST_F(HostTransforms, GroupMembersTurnInSpreadCoordinates) {
  auto* doc = Open(TwoSpreads());
  ASSERT_TRUE(doc);
  Utils<ITransformFacade> facade;
  UIDList member(doc);
  member.Append(14);
  const auto before = Entries(doc->FindItem(14));
  ASSERT_EQ(facade->SetRotationAngle(member, PMPoint(28, 59), 90), kSuccess);
  InterfacePtr<ITransform> transform(doc->Ref(14), IID_ITRANSFORM);
  EXPECT_NEAR(transform->GetItemRotationAngle(), 90, 1e-9);
  // The centre of the 4 x 4 member, (28, 59) in spread coordinates, stays.
  Utils<ILayoutUtils> layout;
  const PMPoint center = layout->GetReferencePoint(member, kCenterReference);
  EXPECT_NEAR(center.x, 28, 1e-9);
  EXPECT_NEAR(center.y, 59, 1e-9);
  // Its group is unchanged.
  EXPECT_EQ(doc->FindItem(13)->matrix.Tx(), 5);
  ASSERT_EQ(facade->SetRotationAngle(member, PMPoint(28, 59), 0), kSuccess);
  ExpectNear(Entries(doc->FindItem(14)), before, 1e-9);
}

TEST_F(HostTransforms, RefusedCommandsChangeNothing) {
  auto* doc = Open(SampleDocument());
  ASSERT_TRUE(doc);
  Utils<ITransformFacade> facade;
  UIDList withUnknown(doc);
  withUnknown.Append(10);
  withUnknown.Append(999);
  EXPECT_NE(facade->SetRotationAngle(withUnknown, PMPoint(), 30), kSuccess);
  EXPECT_NE(facade->SetVisible(withUnknown, 0), kSuccess);
  EXPECT_TRUE(doc->FindItem(10)->visible);
  EXPECT_EQ(doc->FindItem(10)->matrix.B(), 0);
  UIDList one(doc);
  one.Append(10);
  // A skew of 90 degrees or more cannot be shown; nor can non-finite angles.
  EXPECT_NE(facade->SetSkewAngle(one, PMPoint(), 90), kSuccess);
  EXPECT_NE(facade->SetSkewAngle(one, PMPoint(), -95), kSuccess);
  EXPECT_NE(facade->SetRotationAngle(one, PMPoint(), NAN), kSuccess);
  EXPECT_NE(facade->SetRotationAngle(one, PMPoint(INFINITY, 0), 10), kSuccess);
  // An item rotated about a point far away would land beyond the limits.
  EXPECT_NE(facade->SetRotationAngle(one, PMPoint(9e8, 9e8), 180), kSuccess);
  EXPECT_EQ(doc->FindItem(10)->matrix.A(), 1);
  EXPECT_EQ(doc->FindItem(10)->matrix.C(), 0);
  EXPECT_FALSE(doc->IsDirty());
  UIDList noDocument;
  noDocument.Append(10);
  EXPECT_NE(facade->SetVisible(noDocument, 0), kSuccess);
}

TEST_F(HostTransforms, VisibilityHidesAndShowsAgain) {
  auto* doc = Open(SampleDocument());
  ASSERT_TRUE(doc);
  Utils<ITransformFacade> facade;
  UIDList items(doc);
  items.Append(10);
  items.Append(13);
  ASSERT_EQ(facade->SetVisible(items, 0), kSuccess);
  EXPECT_FALSE(doc->FindItem(10)->visible);
  EXPECT_FALSE(doc->FindItem(13)->visible);
  EXPECT_TRUE(doc->FindItem(14)->visible);  // the member keeps its own flag
  EXPECT_TRUE(doc->FindItem(11)->visible);
  EXPECT_FALSE(facade->IsVisible(doc->Ref(10)));
  EXPECT_FALSE(facade->IsVisible(doc->Ref(13)));
  EXPECT_TRUE(facade->IsVisible(doc->Ref(14)));
  EXPECT_TRUE(facade->IsVisible(doc->Ref(11)));
  EXPECT_FALSE(facade->IsVisible(doc->Ref(999)));
  ASSERT_EQ(facade->SetVisible(items, 1), kSuccess);
  EXPECT_TRUE(doc->FindItem(10)->visible);
  EXPECT_TRUE(doc->FindItem(13)->visible);
  // Written back only when it differs from the default or was written.
  const auto saved = doc->ToJson();
  EXPECT_FALSE(saved["spreads"][0]["pages"][0]["items"][0].contains("visible"));
}

// A matrix read from an item is put back bit for bit, after any turning;
// one that cannot be shown changes nothing.
TEST_F(HostTransforms, AnInnerToParentMatrixIsPutBackExactly) {
  auto* doc = Open(SampleDocument());
  ASSERT_TRUE(doc);
  Utils<ITransformFacade> facade;
  Utils<ILayoutUtils> layout;
  ASSERT_TRUE(facade && layout);
  const double r = 0.3;
  doc->SetItemMatrix(doc->FindItem(11), PMMatrix(std::cos(r), std::sin(r), -std::sin(r),
                                                 std::cos(r), 650, 0.1));
  InterfacePtr<ITransform> transform(doc->Ref(11), IID_ITRANSFORM);
  const PMMatrix saved = transform->GetInnerToParentMatrix();
  UIDList items(doc);
  items.Append(11);
  const PMPoint center = layout->GetReferencePoint(items, kCenterReference);
  ASSERT_EQ(facade->SetRotationAngle(items, center, 0), kSuccess);
  ASSERT_EQ(facade->SetInnerToParentMatrix(doc->Ref(11), saved), kSuccess);
  const PMMatrix back = transform->GetInnerToParentMatrix();
  EXPECT_EQ((std::vector<double>{saved.A(), saved.B(), saved.C(), saved.D(), saved.Tx(), saved.Ty()}),
            (std::vector<double>{back.A(), back.B(), back.C(), back.D(), back.Tx(), back.Ty()}));
  // A group's members move with it.
  const auto member = Entries(doc->FindItem(14));
  const PMMatrix groupMatrix = doc->FindItem(13)->matrix;
  ASSERT_EQ(facade->SetInnerToParentMatrix(doc->Ref(13), PMMatrix(1, 0, 0, 1, 7, 9)), kSuccess);
  EXPECT_NE(Entries(doc->FindItem(14)), member);
  ASSERT_EQ(facade->SetInnerToParentMatrix(doc->Ref(13), groupMatrix), kSuccess);
  EXPECT_EQ(Entries(doc->FindItem(14)), member);

  EXPECT_NE(facade->SetInnerToParentMatrix(doc->Ref(11), PMMatrix(0, 0, 0, 0, 0, 0)), kSuccess);
  EXPECT_NE(facade->SetInnerToParentMatrix(doc->Ref(11), PMMatrix(NAN, 0, 0, 1, 0, 0)), kSuccess);
  EXPECT_NE(facade->SetInnerToParentMatrix(doc->Ref(999), saved), kSuccess);
  EXPECT_EQ(transform->GetInnerToParentMatrix().Tx(), 650);
}

}  // namespace
}  // namespace osltest

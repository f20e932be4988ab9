// What host/ promises of how items look: placed files through the link
// manager, strokes and opacity.
#include <gtest/gtest.h>

#include <string>

#include "host/ILayout.h"
#include "host/IPageItemStyle.h"
#include "host/InterfacePtr.h"
#include "tests/support/host_fixture.h"

namespace osltest {
namespace {

class HostLinks : public HostTest {};
class HostStroke : public HostTest {};
class HostOpacity : public HostTest {};

nlohmann::json LookDocument() {
  return nlohmann::json::parse(R"({
    "format": "tlvd", "label": "",
    "swatches": [{"name": "Red", "model": "process", "cmyk": [0, 95, 85, 0]}],
    "spreads": [{"uid": 2, "pages": [{"uid": 3, "bounds": [0, 0, 300, 300], "items": [
      {"uid": 10, "kind": "graphic", "bounds": [0, 0, 50, 50], "image": "images/logo.png",
       "stroke": {"weight": 0.5, "color": "Red"}, "opacity": 40},
      {"uid": 11, "kind": "graphic", "bounds": [0, 0, 50, 50], "image": "/srv/art/photo.jpg",
       "stroke": {"weight": 2}},
      {"uid": 12, "kind": "graphic", "bounds": [0, 0, 50, 50]},
      {"uid": 13, "kind": "other", "bounds": [0, 0, 50, 2],
       "stroke": {"weight": 1, "color": {"model": "process", "cmyk": [10, 20, 30, 40]}}},
      {"uid": 14, "kind": "group", "bounds": [0, 0, 10, 10], "opacity": 75, "children": [
        {"uid": 15, "kind": "text", "bounds": [0, 0, 10, 10]}]},
      {"uid": 16, "kind": "guide", "bounds": [0, 0, 0, 300]}
    ]}]}]})");
}

// The first child of `item` (the placed image of a graphic frame).
UID FirstChild(standin::Document* doc, UID item) {
  InterfacePtr<IHierarchy> hierarchy(doc->Ref(item), IID_IHIERARCHY);
  return hierarchy && hierarchy->GetChildCount() > 0 ? hierarchy->GetChildUID(0) : kInvalidUID;
}

TEST_F(HostLinks, PlacedFilesAreFullPaths) {
  auto* doc = Open(LookDocument(), "/home/designer/cards/card.tlvd");
  ASSERT_TRUE(doc);
  InterfacePtr<ILinkManager> links(doc->Ref(standin::Document::kDocumentUID), IID_ILINKMANAGER);
  ASSERT_TRUE(links);
  IDFile file;
  ASSERT_TRUE(links->GetLinkedFile(FirstChild(doc, 10), &file));
  EXPECT_EQ(file.GetPath(), "/home/designer/cards/images/logo.png");
  EXPECT_EQ(file.GetFileName(), "logo.png");
  ASSERT_TRUE(links->GetLinkedFile(FirstChild(doc, 11), &file));
  EXPECT_EQ(file.GetPath(), "/srv/art/photo.jpg");
  // A frame without an image has no child; nothing else is a placed file.
  EXPECT_EQ(FirstChild(doc, 12), kInvalidUID);
  IDFile untouched("x");
  EXPECT_FALSE(links->GetLinkedFile(12, &untouched));
  EXPECT_FALSE(links->GetLinkedFile(kInvalidUID, &untouched));
  EXPECT_EQ(untouched.GetPath(), "x");

  // A document opened by a relative path still names full paths.
  std::string error;
  auto relative = standin::Document::FromJson(LookDocument(), "card.tlvd", &error);
  ASSERT_TRUE(relative) << error;
  InterfacePtr<ILinkManager> relativeLinks(relative->Ref(standin::Document::kDocumentUID),
                                           IID_ILINKMANAGER);
  ASSERT_TRUE(relativeLinks->GetLinkedFile(FirstChild(relative.get(), 10), &file));
  EXPECT_EQ(file.GetPath()[0], '/');
  EXPECT_NE(file.GetPath().find("/images/logo.png"), std::string::npos);
}

TEST_F(HostStroke, WeightAndColour) {
  auto* doc = Open(LookDocument());
  ASSERT_TRUE(doc);
  InterfacePtr<IGraphicStyle> named(doc->Ref(10), IID_IGRAPHICSTYLE);
  ASSERT_TRUE(named);
  EXPECT_EQ(named->GetStrokeWeight(), 0.5);
  ColorInfo color;
  ASSERT_TRUE(named->GetStrokeColor(&color));
  EXPECT_EQ(color.name.GetUTF8String(), "Red");
  EXPECT_DOUBLE_EQ(color.m, 0.95);
  EXPECT_DOUBLE_EQ(color.y, 0.85);

  // A stroke without a colour; no stroke at all.
  InterfacePtr<IGraphicStyle> uncoloured(doc->Ref(11), IID_IGRAPHICSTYLE);
  EXPECT_EQ(uncoloured->GetStrokeWeight(), 2);
  EXPECT_FALSE(uncoloured->GetStrokeColor(&color));
  InterfacePtr<IGraphicStyle> none(doc->Ref(12), IID_IGRAPHICSTYLE);
  ASSERT_TRUE(none);
  EXPECT_EQ(none->GetStrokeWeight(), 0);
  EXPECT_FALSE(none->GetStrokeColor(&color));

  InterfacePtr<IGraphicStyle> inlineColour(doc->Ref(13), IID_IGRAPHICSTYLE);
  ASSERT_TRUE(inlineColour->GetStrokeColor(&color));
  EXPECT_TRUE(color.name.empty());
  EXPECT_DOUBLE_EQ(color.k, 0.4);
  // Guides and groups have no graphic style.
  EXPECT_FALSE(InterfacePtr<IGraphicStyle>(doc->Ref(16), IID_IGRAPHICSTYLE));
  EXPECT_FALSE(InterfacePtr<IGraphicStyle>(doc->Ref(14), IID_IGRAPHICSTYLE));
}

TEST_F(HostOpacity, PercentWithFullOpacityByDefault) {
  auto* doc = Open(LookDocument());
  ASSERT_TRUE(doc);
  InterfacePtr<IOpacity> faded(doc->Ref(10), IID_IOPACITY);
  ASSERT_TRUE(faded);
  EXPECT_EQ(faded->GetOpacity(), 40);
  InterfacePtr<IOpacity> group(doc->Ref(14), IID_IOPACITY);
  ASSERT_TRUE(group);
  EXPECT_EQ(group->GetOpacity(), 75);
  InterfacePtr<IOpacity> plain(doc->Ref(15), IID_IOPACITY);
  EXPECT_EQ(plain->GetOpacity(), 100);
  EXPECT_FALSE(InterfacePtr<IOpacity>(doc->Ref(16), IID_IOPACITY));
}

}  // namespace
}  // namespace osltest

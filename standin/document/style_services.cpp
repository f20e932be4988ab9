// What a drawn page item looks like: its stroke and opacity.
#include "host/IPageItemStyle.h"
#include "standin/document/object_services.h"

namespace standin {

namespace {

class GraphicStyle : public CPMUnknown<IGraphicStyle> {
 public:
  GraphicStyle(IPMUnknown* boss, PageItem* item) : CPMUnknown(boss), item_(item) {}
  PMReal GetStrokeWeight() const override { return item_->stroke ? item_->stroke->weight : 0; }
  bool16 GetStrokeColor(ColorInfo* color) const override {
    if (!item_->stroke || !item_->stroke->color) return false;
    if (color) *color = item_->stroke->color->color.Info();
    return true;
  }

 private:
  PageItem* item_;
};

class Opacity : public CPMUnknown<IOpacity> {
 public:
  Opacity(IPMUnknown* boss, PageItem* item) : CPMUnknown(boss), item_(item) {}
  PMReal GetOpacity() const override { return item_->opacity.value_or(100); }

 private:
  PageItem* item_;
};

}  // namespace

void AddStyleServices(Boss& boss, PageItem* item) {
  if (item->kind != ItemKind::kGroup) boss.AddNew<GraphicStyle>(IID_IGRAPHICSTYLE, item);
  boss.AddNew<Opacity>(IID_IOPACITY, item);
}

}  // namespace standin

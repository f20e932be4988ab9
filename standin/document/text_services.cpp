// The text interfaces: a story's text model, the attributes of its runs and
// a text frame's options.
#include "host/ITextModel.h"
#include "standin/document/object_services.h"

namespace standin {

namespace {

constexpr char32_t kEndOfStory = U'\r';

class RunAttributes : public CPMUnknown<ITextAttributes> {
 public:
  RunAttributes(IPMUnknown* boss, const TextRun* run) : CPMUnknown(boss), run_(run) {}

  bool16 GetFontFamily(PMString* family) const override { return Text(run_->family, family); }
  bool16 GetFontStyle(PMString* style) const override { return Text(run_->style, style); }
  bool16 GetPointSize(PMReal* points) const override { return Number(run_->size, 1, points); }
  bool16 GetFillColor(ColorInfo* color) const override {
    if (!run_->fill) return false;
    if (color) *color = run_->fill->color.Info();
    return true;
  }
  bool16 GetFillTint(PMReal* percent) const override {
    if (percent) *percent = run_->tint.value_or(-1);
    return true;
  }
  bool16 GetTracking(PMReal* tracking) const override {
    return Number(run_->tracking, 1, tracking);
  }
  bool16 GetLeading(PMReal* points) const override { return Number(run_->leading, 1, points); }
  bool16 GetUnderline(bool16* underline) const override {
    if (!run_->underline) return false;
    if (underline) *underline = *run_->underline;
    return true;
  }
  bool16 GetParagraphAlignment(Alignment* alignment) const override {
    if (!run_->align) return false;
    if (alignment) *alignment = static_cast<Alignment>(*run_->align);
    return true;
  }
  bool16 GetHorizontalScale(PMReal* scale) const override {
    return Number(run_->hscale, 0.01, scale);
  }
  bool16 GetVerticalScale(PMReal* scale) const override {
    return Number(run_->vscale, 0.01, scale);
  }

 private:
  static bool16 Text(const std::optional<std::string>& value, PMString* out) {
    if (!value) return false;
    if (out) *out = PMString(*value, PMString::kDontTranslateDuringCall);
    return true;
  }
  static bool16 Number(const std::optional<double>& value, double factor, PMReal* out) {
    if (!value) return false;
    if (out) *out = *value * factor;
    return true;
  }
  const TextRun* run_;
};

class TextModel : public CPMUnknown<ITextModel> {
 public:
  TextModel(IPMUnknown* boss, Story* story) : CPMUnknown(boss), story_(story) {}
  int32 TotalLength() const override { return static_cast<int32>(story_->text.size()) + 1; }
  void GetText(int32 start, int32 count, std::u32string* text) const override {
    if (!text || count <= 0) return;
    const int64_t total = TotalLength();
    const int64_t from = std::max<int64_t>(0, start);
    const int64_t to = std::min<int64_t>(total, static_cast<int64_t>(start) + count);
    if (from >= to) return;
    *text += story_->text.Slice(static_cast<size_t>(from), static_cast<size_t>(to - from));
    if (to == total) text->push_back(kEndOfStory);
  }
  ITextAttributes* QueryAttributesAt(int32 index) const override {
    if (index < 0 || index >= TotalLength()) return nullptr;
    const TextRun* run = story_->RunAt(index);
    const Boss* boss = run ? run->boss.get() : story_->plainAttributes.get();
    if (!boss) return nullptr;
    return static_cast<ITextAttributes*>(boss->QueryInterface(IID_ITEXTATTRIBUTES));
  }

 private:
  Story* story_;
};

class TextFrameOptions : public CPMUnknown<ITextFrameOptions> {
 public:
  TextFrameOptions(IPMUnknown* boss, PageItem* frame) : CPMUnknown(boss), frame_(frame) {}
  VerticalJustification GetVerticalJustification() const override {
    return static_cast<VerticalJustification>(frame_->verticalJustification.value_or(kTopAlign));
  }

 private:
  PageItem* frame_;
};

}  // namespace

void AddStoryServices(Boss& boss, Story* story) { boss.AddNew<TextModel>(IID_ITEXTMODEL, story); }

void AddRunServices(Boss& boss, const TextRun* run) {
  boss.AddNew<RunAttributes>(IID_ITEXTATTRIBUTES, run);
}

void AddTextFrameServices(Boss& boss, PageItem* frame) {
  boss.AddNew<TextFrameOptions>(IID_ITEXTFRAMEOPTIONS, frame);
}

}  // namespace standin

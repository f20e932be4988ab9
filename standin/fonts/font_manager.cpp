#include "standin/fonts/font_manager.h"

#include <map>
#include <memory>
#include <tuple>

#include "host/IFontMgr.h"
#include "standin/document/document.h"
#include "standin/fonts/font_file.h"

namespace standin {

namespace {

class PMFont : public CPMUnknown<IPMFont> {
 public:
  PMFont(IPMUnknown* boss, ResolvedFont font) : CPMUnknown(boss), font_(std::move(font)) {}
  PMString GetFontName() const override {
    return PMString(font_.family + " " + font_.style, PMString::kDontTranslateDuringCall);
  }
  void GetFontFiles(K2Vector<IDFile>* files) const override {
    if (!files) return;
    for (const std::string& path : font_.files) files->push_back(IDFile(path));
  }

 private:
  ResolvedFont font_;
};

class FontMgr : public CPMUnknown<IFontMgr> {
 public:
  FontMgr(IPMUnknown* boss, const FontResolver* resolver) : CPMUnknown(boss), resolver_(resolver) {}

  IPMFont* QueryFont(const IPMUnknown* document, const PMString& family,
                     const PMString& style) const override {
    const Document* doc = nullptr;
    if (const Boss* boss = Boss::Of(document))
      doc = Document::FromDataBase(boss->GetUIDRef().GetDataBase());
    ResolvedFont font;
    if (!resolver_->Resolve(doc, family.GetUTF8String(), style.GetUTF8String(), &font))
      return nullptr;
    // One font object per distinct font; documents come and go, so the key
    // is what the font is, not whose it is.
    auto key = std::make_tuple(font.family, font.style, font.files, font.faceIndex);
    auto& slot = fonts_[key];
    if (!slot) {
      slot = std::make_unique<Boss>("kFontBoss");
      slot->AddNew<PMFont>(IID_IPMFONT, std::move(font));
    }
    return static_cast<IPMFont*>(slot->QueryInterface(IID_IPMFONT));
  }

  bool16 IsUsableFontFile(const IDFile& file) const override {
    return standin::IsUsableFontFile(file.GetPath(), 0, nullptr);
  }

 private:
  const FontResolver* resolver_;
  mutable std::map<std::tuple<std::string, std::string, std::vector<std::string>, int>,
                   std::unique_ptr<Boss>>
      fonts_;
};

}  // namespace

void AddFontManager(Boss& session, const FontResolver& resolver) {
  session.AddNew<FontMgr>(IID_IFONTMGR, &resolver);
}

}  // namespace standin

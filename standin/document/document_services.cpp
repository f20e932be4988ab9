// The interfaces on the document boss.
#include "host/IDocument.h"
#include "host/ILabel.h"
#include "host/ILayout.h"
#include "host/IPageItemStyle.h"
#include "standin/document/document.h"
#include "standin/document/object_services.h"

namespace standin {

namespace {

class DocumentImpl : public CPMUnknown<IDocument> {
 public:
  DocumentImpl(IPMUnknown* boss, Document* doc) : CPMUnknown(boss), doc_(doc) {}
  IDataBase* GetDocDataBase() const override { return doc_; }
  PMString GetName() const override { return doc_->Name(); }

 private:
  Document* doc_;
};

class DocumentLabel : public CPMUnknown<ILabel> {
 public:
  DocumentLabel(IPMUnknown* boss, Document* doc) : CPMUnknown(boss), doc_(doc) {}
  const WideString& GetLabel() const override { return doc_->Label(); }
  void SetLabel(const WideString& label) override { doc_->SetLabel(label); }

 private:
  Document* doc_;
};

class SpreadList : public CPMUnknown<ISpreadList> {
 public:
  SpreadList(IPMUnknown* boss, Document* doc) : CPMUnknown(boss), doc_(doc) {}
  int32 GetSpreadCount() const override { return static_cast<int32>(doc_->Spreads().size()); }
  UID GetNthSpreadUID(int32 index) const override {
    const auto& spreads = doc_->Spreads();
    if (index < 0 || static_cast<size_t>(index) >= spreads.size()) return kInvalidUID;
    return spreads[static_cast<size_t>(index)]->uid;
  }

 private:
  Document* doc_;
};

class PageList : public CPMUnknown<IPageList> {
 public:
  PageList(IPMUnknown* boss, Document* doc) : CPMUnknown(boss), doc_(doc) {}
  int32 GetPageCount() const override { return static_cast<int32>(doc_->Pages().size()); }
  UID GetNthPageUID(int32 index) const override {
    const auto& pages = doc_->Pages();
    if (index < 0 || static_cast<size_t>(index) >= pages.size()) return kInvalidUID;
    return pages[static_cast<size_t>(index)]->uid;
  }

 private:
  Document* doc_;
};

class LinkManager : public CPMUnknown<ILinkManager> {
 public:
  LinkManager(IPMUnknown* boss, Document* doc) : CPMUnknown(boss), doc_(doc) {}
  bool16 GetLinkedFile(UID placed, IDFile* file) const override {
    const PageItem* frame = doc_->FindImageFrame(placed);
    if (!frame) return false;
    if (file) file->SetTString(doc_->ResolvePath(frame->image));
    return true;
  }

 private:
  Document* doc_;
};

}  // namespace

void AddDocumentServices(Boss& boss, Document* doc) {
  boss.AddNew<DocumentImpl>(IID_IDOCUMENT, doc);
  boss.AddNew<DocumentLabel>(IID_ILABEL, doc);
  boss.AddNew<SpreadList>(IID_ISPREADLIST, doc);
  boss.AddNew<PageList>(IID_IPAGELIST, doc);
  boss.AddNew<LinkManager>(IID_ILINKMANAGER, doc);
}

}  // namespace standin

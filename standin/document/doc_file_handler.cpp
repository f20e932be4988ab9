#include "standin/document/doc_file_handler.h"

#include <cstdio>

#include "host/CmdUtils.h"
#include "host/IDocFileHandler.h"
#include "standin/document/document.h"

namespace standin {

namespace {

class DocFileHandler : public CPMUnknown<IDocFileHandler> {
 public:
  DocFileHandler(IPMUnknown* boss, Document* doc, Service<FileSystem>* files)
      : CPMUnknown(boss), doc_(doc), files_(files) {}
  void SaveACopy(const UIDRef& document, const IDFile& file, int32) override {
    std::string error;
    if (Document::FromDataBase(document.GetDataBase()) != doc_ ||
        document.GetUID() != Document::kDocumentUID) {
      error = "the handler belongs to another document";
    } else if (file.IsEmpty()) {
      error = "no file given";
    } else if (doc_->SaveCopy(files_->Get(), file.GetPath(), &error)) {
      return;
    }
    std::fprintf(stderr, "osl: a copy of %s was not saved: %s\n",
                 doc_->Name().GetUTF8String().c_str(), error.c_str());
    ErrorUtils::PMSetGlobalErrorCode(kFailure);
  }

 private:
  Document* doc_;
  Service<FileSystem>* files_;
};

class DocumentUtils : public CPMUnknown<IDocumentUtils> {
 public:
  using CPMUnknown::CPMUnknown;
  IDocFileHandler* QueryDocFileHandler(const UIDRef& document) const override {
    if (document.GetUID() != Document::kDocumentUID) return nullptr;
    Document* doc = Document::FromDataBase(document.GetDataBase());
    if (!doc) return nullptr;
    return static_cast<IDocFileHandler*>(doc->DocumentBoss().QueryInterface(IID_IDOCFILEHANDLER));
  }
};

}  // namespace

void AddDocFileHandler(Document& doc, Service<FileSystem>& files) {
  doc.DocumentBoss().AddNew<DocFileHandler>(IID_IDOCFILEHANDLER, &doc, &files);
}

void AddDocumentUtilities(Boss& session) { session.AddNew<DocumentUtils>(IID_IDOCUMENTUTILS); }

}  // namespace standin

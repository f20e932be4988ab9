// Saving copies of documents (IDocFileHandler on the document boss,
// IDocumentUtils on the session).
#pragma once

#include "standin/core/boss.h"
#include "standin/core/file_system.h"
#include "standin/core/service.h"

namespace standin {

class Document;

// Adds IDocFileHandler to `doc`'s boss; copies are written through the
// file system in force at the time of the save (`files` must outlive the
// document).
void AddDocFileHandler(Document& doc, Service<FileSystem>& files);
// Adds IDocumentUtils to the session boss.
void AddDocumentUtilities(Boss& session);

}  // namespace standin

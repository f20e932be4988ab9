// One upload in progress: the multipart body is scanned as it arrives and the file's bytes go
// straight to a temporary file (written and hashed on a thread of the upload's own while the
// body is still being read), so memory stays flat whatever the file's size. The complete file
// is moved to a fresh, unguessable address of its own (uploads/SESSION/TOKEN/NAME) and recorded;
// an upload that fails or is cut leaves nothing behind.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "refservice/uploads/background_file_writer.h"
#include "refservice/storage/file_system.h"
#include "refservice/http/http_message.h"
#include "refservice/http/multipart_scanner.h"
#include "refservice/storage/store.h"
#include "refservice/uploads/upload_quota.h"

namespace refservice {

struct UploadRequest {
  std::string session;     // a valid session identifier
  std::string boundary;    // of the multipart body
  std::string publicOrigin;  // "http://HOST:PORT" (or https) for the reply's address
  uint64_t maxBody = 0;    // larger bodies are refused with 413
  std::string incomingFolder;  // the service instance's folder for files still arriving
  std::string instance;        // the service instance that takes the upload
  int delayMs = 0;         // the reply is held back this long
  // Fault injection: the process kills itself (SIGKILL) once the file is at its address and
  // before it is recorded, as a crash at the worst moment would.
  bool crashBeforeRecord = false;
};

class UploadExchange : public HttpExchange, private MultipartSink {
 public:
  // `store`, `fs` and `quota` must outlive the exchange.
  UploadExchange(UploadRequest request, Store* store, FileSystem* fs, UploadQuota* quota);
  // An exchange that ends without storing its file gives its reserved bytes back.
  ~UploadExchange() override;

  std::optional<HttpResponse> OnBody(std::string_view data) override;
  // 200 with the file's address; 400 for a malformed body; 507 when a quota would be passed; 500
  // when the file could not be stored.
  HttpResponse Finish() override;

 private:
  bool OnFileBegin(std::string_view fileName) override;
  bool OnFileData(std::string_view data) override;
  HttpResponse Reply(HttpResponse response) const;

  UploadRequest request_;
  Store* store_;
  FileSystem* fs_;
  UploadQuota* quota_;
  MultipartScanner scanner_;
  AtomicFileWriter writer_;
  std::unique_ptr<BackgroundFileWriter> storing_;  // uses writer_, so goes first
  std::string token_;  // the upload's address part, and the name of its quota reservation
  std::string cleanName_;
  uint64_t received_ = 0;
  uint64_t fileBytes_ = 0;  // bytes of the file so far
  uint64_t reserved_ = 0;   // quota bytes held for this upload
  bool stored_ = false;
  std::string quotaError_;  // which quota the file would pass, once it would
  std::string storeError_;  // why the file could not be stored, once it could not
};

}  // namespace refservice

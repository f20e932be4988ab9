#include "refservice/uploads/upload_exchange.h"

#include <signal.h>

#include <exception>

#include "refservice/uploads/upload_names.h"

namespace refservice {

UploadExchange::UploadExchange(UploadRequest request, Store* store, FileSystem* fs,
                               UploadQuota* quota)
    : request_(std::move(request)),
      store_(store),
      fs_(fs),
      quota_(quota),
      scanner_(request_.boundary, this),
      writer_(fs, request_.incomingFolder.empty() ? std::string(kIncomingFolder)
                                                  : request_.incomingFolder),
      token_(NewUploadToken()) {}

UploadExchange::~UploadExchange() {
  if (!stored_ && reserved_ > 0) quota_->Release(token_);
}

HttpResponse UploadExchange::Reply(HttpResponse response) const {
  response.delayMs = request_.delayMs;
  return response;
}

bool UploadExchange::OnFileBegin(std::string_view fileName) {
  cleanName_ = CleanFileName(fileName);
  if (!writer_.Open(&storeError_)) return false;
  try {
    storing_ = std::make_unique<BackgroundFileWriter>(&writer_);
  } catch (const std::exception&) {
    storeError_ = "no thread could be started to write the file";
    return false;
  }
  return true;
}

bool UploadExchange::OnFileData(std::string_view data) {
  fileBytes_ += data.size();
  std::string why;
  switch (quota_->Reserve(token_, request_.session, fileBytes_, &reserved_, &why)) {
    case ReserveResult::kReserved:
      break;
    case ReserveResult::kRefused:
      quotaError_ = why;
      return false;
    case ReserveResult::kError:
      storeError_ = why;
      return false;
  }
  if (!storing_->Append(data)) {
    storeError_ = storing_->error();
    return false;
  }
  return true;
}

std::optional<HttpResponse> UploadExchange::OnBody(std::string_view data) {
  received_ += data.size();
  if (received_ > request_.maxBody) {
    return HttpResponse::Text(413, "upload rejected: the request body is larger than " +
                                       std::to_string(request_.maxBody) + " bytes\n");
  }
  // After a failure the rest of the body is read and dropped, so the client gets the answer.
  scanner_.Feed(data);
  return std::nullopt;
}

HttpResponse UploadExchange::Finish() {
  // Every byte received is written (or has failed to be) before the answer is chosen.
  if (storing_ && !storing_->Finish() && storeError_.empty()) storeError_ = storing_->error();
  if (!quotaError_.empty()) {
    return Reply(HttpResponse::Text(507, "upload refused: " + quotaError_ + "\n"));
  }
  if (!storeError_.empty()) {
    return Reply(HttpResponse::Text(500, "upload not stored: " + storeError_ + "\n"));
  }
  if (!scanner_.Finish()) {
    return Reply(HttpResponse::Text(400, "upload rejected: " + scanner_.error() + "\n"));
  }
  UploadData upload{request_.session, token_, cleanName_, writer_.size(), "", request_.instance};
  std::string folder = std::string(kUploadsFolder) + "/" + upload.session + "/" + upload.token;
  std::string path = folder + "/" + upload.name;
  std::string error;
  if (!fs_->CreateFolders(folder, &error)) {
    return Reply(HttpResponse::Text(500, "upload not stored: " + error + "\n"));
  }
  // Pending first: a cut between the move and the record leaves a pending upload, which the
  // next start removes, never a file that no record names.
  if (!store_->BeginUpload(upload)) {
    fs_->RemoveFolder(folder, &error);
    return Reply(HttpResponse::Text(500, "upload not stored: the upload could not be recorded\n"));
  }
  if (!writer_.Commit(path, &error)) {
    std::string ignored;
    fs_->RemoveFolder(folder, &ignored);
    store_->AbandonUpload(upload);
    return Reply(HttpResponse::Text(500, "upload not stored: " + error + "\n"));
  }
  if (request_.crashBeforeRecord) ::raise(SIGKILL);
  upload.sha256 = storing_->HexDigest();
  if (!store_->RecordUpload(upload)) {
    // An address that was never handed out must not hold a file either. A pending record that
    // cannot be forgotten now is given up at the next start.
    fs_->Remove(path, &error);
    fs_->RemoveFolder(folder, &error);
    store_->AbandonUpload(upload);
    return Reply(HttpResponse::Text(500, "upload not stored: the upload could not be recorded\n"));
  }
  stored_ = true;
  return Reply(HttpResponse::Text(200, FileAddress(request_.publicOrigin, upload.session,
                                                               upload.token, upload.name)));
}

}  // namespace refservice

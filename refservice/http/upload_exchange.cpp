#include "refservice/http/upload_exchange.h"

#include <exception>

#include "refservice/storage/file_util.h"
#include "refservice/service_app.h"

namespace refservice {

std::string NewUploadToken() { return RandomHex(16); }

bool IsUploadToken(std::string_view text) {
  if (text.size() != 32) return false;
  for (char c : text) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

UploadExchange::UploadExchange(UploadRequest request, Store* store, FileSystem* fs,
                               UploadQuota* quota)
    : request_(std::move(request)),
      store_(store),
      fs_(fs),
      quota_(quota),
      scanner_(request_.boundary, this),
      writer_(fs, kIncomingFolder) {}

UploadExchange::~UploadExchange() {
  if (!stored_ && reserved_ > 0) quota_->Release(request_.session, reserved_);
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
  if (!quota_->Reserve(request_.session, data.size(), &quotaError_)) return false;
  reserved_ += data.size();
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
  std::string token = NewUploadToken();
  std::string folder = std::string(kUploadsFolder) + "/" + request_.session + "/" + token;
  std::string path = folder + "/" + cleanName_;
  std::string error;
  uint64_t size = writer_.size();
  if (!fs_->CreateFolders(folder, &error) || !writer_.Commit(path, &error)) {
    return Reply(HttpResponse::Text(500, "upload not stored: " + error + "\n"));
  }
  if (!store_->RecordUpload(
          UploadData{request_.session, token, cleanName_, size, storing_->HexDigest()})) {
    // An address that was never handed out must not hold a file either.
    fs_->Remove(path, &error);
    return Reply(HttpResponse::Text(500, "upload not stored: the upload could not be recorded\n"));
  }
  stored_ = true;
  return Reply(HttpResponse::Text(
      200, ServiceApp::FileAddress(request_.publicHost, request_.session, token, cleanName_)));
}

}  // namespace refservice

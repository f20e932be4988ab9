#include "refservice/http/http_message.h"

namespace refservice {

std::optional<std::string_view> HttpRequestHead::Header(std::string_view lowerName) const {
  for (const auto& [name, value] : headers) {
    if (name == lowerName) return std::string_view(value);
  }
  return std::nullopt;
}

std::optional<std::string_view> HttpRequestHead::QueryValue(std::string_view name) const {
  for (const auto& [key, value] : query) {
    if (key == name) return std::string_view(value);
  }
  return std::nullopt;
}

HttpResponse HttpResponse::Text(int status, std::string body, std::string contentType) {
  HttpResponse response;
  response.status = status;
  response.headers.emplace_back("Content-Type", std::move(contentType));
  response.body = std::move(body);
  return response;
}

HttpResponse HttpResponse::Close() {
  HttpResponse response;
  response.kind = Kind::kClose;
  return response;
}

HttpResponse HttpResponse::Later(std::shared_ptr<DeferredReply> deferred) {
  HttpResponse response;
  response.kind = Kind::kDeferred;
  response.deferred = std::move(deferred);
  return response;
}

void DeferredReply::Fulfil(HttpResponse reply) { Give(std::move(reply)); }

void DeferredReply::Abandon(HttpResponse reply) { Give(std::move(reply)); }

void DeferredReply::Give(HttpResponse reply) {
  std::function<void()> ready;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (given_) return;
    given_ = true;
    reply_ = std::move(reply);
    ready = std::move(ready_);
  }
  if (ready) ready();
}

void DeferredReply::OnReady(std::function<void()> ready) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!given_) {
      ready_ = std::move(ready);
      return;
    }
  }
  ready();
}

HttpResponse DeferredReply::Take() {
  std::lock_guard<std::mutex> lock(mutex_);
  HttpResponse reply = reply_ ? std::move(*reply_) : HttpResponse::Text(500, "no reply\n");
  reply_.reset();
  return reply;
}

}  // namespace refservice

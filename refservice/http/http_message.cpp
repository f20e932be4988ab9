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

}  // namespace refservice

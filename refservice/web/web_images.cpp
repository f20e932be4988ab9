#include "refservice/web/web_images.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>

#include "refservice/render/image_drawing.h"
#include "refservice/common/identifiers.h"

namespace refservice {

void WebImages::Drop(std::list<Entry>::iterator entry) {
  bytes_ -= entry->Size();
  byToken_.erase(entry->token);
  entries_.erase(entry);
}

std::string WebImages::Keep(const std::string& session, const std::string& templateId,
                            const std::string& field, HeldImage image) {
  Entry entry{RandomHex(16), session, templateId, field,
              std::make_shared<const HeldImage>(std::move(image))};
  const uint64_t size = entry.Size();
  if (size > kMaxSessionBytes) return "";
  std::lock_guard<std::mutex> lock(mutex_);
  // A field holds one photo: a new one replaces the last.
  size_t count = 0;
  uint64_t sessionBytes = 0;
  for (auto it = entries_.begin(); it != entries_.end();) {
    auto next = std::next(it);
    if (it->session == session && it->templateId == templateId && it->field == field) {
      Drop(it);
    } else if (it->session == session) {
      ++count;
      sessionBytes += it->Size();
    }
    it = next;
  }
  for (auto it = entries_.begin();
       it != entries_.end() && (count + 1 > kMaxPerSession || sessionBytes + size > kMaxSessionBytes);) {
    auto next = std::next(it);
    if (it->session == session) {
      --count;
      sessionBytes -= it->Size();
      Drop(it);
    }
    it = next;
  }
  while (!entries_.empty() && bytes_ + size > kMaxTotalBytes) Drop(entries_.begin());
  entries_.push_back(std::move(entry));
  bytes_ += size;
  byToken_[entries_.back().token] = std::prev(entries_.end());
  return entries_.back().token;
}

std::shared_ptr<const HeldImage> WebImages::Find(const std::string& token, const std::string& session,
                                         const std::string& templateId, const std::string& field) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = byToken_.find(token);
  if (found == byToken_.end()) return nullptr;
  auto entry = found->second;
  if (entry->session != session || entry->templateId != templateId || entry->field != field) {
    return nullptr;
  }
  entries_.splice(entries_.end(), entries_, entry);  // now the most recently used
  return entry->image;
}

void WebImages::DropSession(const std::string& session) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (auto it = entries_.begin(); it != entries_.end();) {
    auto next = std::next(it);
    if (it->session == session) Drop(it);
    it = next;
  }
}

uint64_t WebImages::bytes() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return bytes_;
}

namespace {

cairo_status_t AppendPng(void* closure, const unsigned char* data, unsigned int length) {
  static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
  return CAIRO_STATUS_SUCCESS;
}

}  // namespace

bool PreviewCopy(const std::string& original, int side, std::string* copy, std::string* error) {
  cairo_surface_t* image = DecodeImage(original, error);
  if (image == nullptr) return false;
  const int width = cairo_image_surface_get_width(image);
  const int height = cairo_image_surface_get_height(image);
  if (std::max(width, height) <= side) {
    cairo_surface_destroy(image);
    *copy = original;
    return true;
  }
  const double scale = double(side) / std::max(width, height);
  const int w = std::max(1, static_cast<int>(std::lround(width * scale)));
  const int h = std::max(1, static_cast<int>(std::lround(height * scale)));
  cairo_surface_t* small = cairo_image_surface_create(cairo_image_surface_get_format(image), w, h);
  cairo_t* cr = cairo_create(small);
  cairo_scale(cr, scale, scale);
  cairo_set_source_surface(cr, image, 0, 0);
  cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
  cairo_paint(cr);
  cairo_destroy(cr);
  cairo_surface_destroy(image);
  copy->clear();
  cairo_status_t status = cairo_surface_write_to_png_stream(small, &AppendPng, copy);
  cairo_surface_destroy(small);
  if (status != CAIRO_STATUS_SUCCESS) {
    *error = std::string("the preview copy could not be made: ") + cairo_status_to_string(status);
    return false;
  }
  return true;
}

}  // namespace refservice

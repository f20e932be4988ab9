// Photos a fill form has sent, kept in memory for the form's session so that they cross the
// network once: later previews, checks and the download name them by a token. Each is kept as
// sent (for the document) and as a copy at most kPreviewSide pixels wide and high (for
// previews, so a large photo does not slow every keystroke). Memory is bounded per session and
// in all; beyond that the least recently used photos are dropped, and a form naming a dropped
// one is asked to send it again.
#pragma once

#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace refservice {

struct HeldImage {
  std::string original;  // the file as sent (PNG or JPEG)
  std::string preview;   // a PNG at most kPreviewSide per side; the original when it is smaller
};

class WebImages {
 public:
  static constexpr int kPreviewSide = 1600;
  static constexpr size_t kMaxPerSession = 8;
  static constexpr uint64_t kMaxSessionBytes = 96u << 20;
  static constexpr uint64_t kMaxTotalBytes = 256u << 20;

  // Keeps `image` for session `session`, field `field` of template `templateId` (lower case);
  // returns its token (128 random bits as hex). Older photos of the session, then of all
  // sessions, are dropped to stay within the bounds; an image larger than kMaxSessionBytes on
  // its own is not kept and "" is returned.
  std::string Keep(const std::string& session, const std::string& templateId,
                   const std::string& field, HeldImage image);
  // The photo with `token`, when it was kept for this very session, template and field; null
  // otherwise. It stays valid after the store drops it.
  std::shared_ptr<const HeldImage> Find(const std::string& token, const std::string& session,
                                const std::string& templateId, const std::string& field);
  // Drops every photo of `session` (it signed out).
  void DropSession(const std::string& session);

  uint64_t bytes() const;

 private:
  struct Entry {
    std::string token, session, templateId, field;
    std::shared_ptr<const HeldImage> image;
    uint64_t Size() const { return image->original.size() + image->preview.size(); }
  };
  void Drop(std::list<Entry>::iterator entry);

  mutable std::mutex mutex_;
  std::list<Entry> entries_;  // least recently used first
  std::map<std::string, std::list<Entry>::iterator> byToken_;
  uint64_t bytes_ = 0;
};

// The preview copy of an image file (PNG or JPEG, already checked): a PNG at most `side` pixels
// per side, or `original` itself when it is no larger. False with `error` set when it cannot be
// decoded.
bool PreviewCopy(const std::string& original, int side, std::string* copy, std::string* error);

}  // namespace refservice

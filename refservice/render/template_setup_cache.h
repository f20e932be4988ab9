// The set-ups (template_setup.h) of the templates rendered lately, kept between renders and lent
// to one render at a time. A set-up belongs to one commit of its template: when the template's
// stored revision (its row, its commit count and its record) is no longer the one it was made
// from, it is dropped and the next render reads the template afresh. A template never committed
// is read afresh for every render (a publish may be writing it).
//
// Memory is bounded: the set-ups kept idle and their bundles count their approximate bytes, and
// when the sum exceeds the bound the least recently used template's are freed first. A set-up
// lent out is never freed under its render; several renders of one template at once each get a
// set-up of their own, sharing the one bundle. Safe from any thread.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "refservice/render/template_setup.h"

namespace refservice {

class TemplateSetupCache {
 public:
  // A set-up on loan; given back (kept or freed) when the lease ends. Must not outlive the cache.
  class Lease {
   public:
    Lease() = default;
    Lease(Lease&& other) noexcept;
    Lease& operator=(Lease&& other) noexcept;
    ~Lease();
    TemplateSetup* get() const { return setup_.get(); }
    TemplateSetup* operator->() const { return setup_.get(); }
    const TemplateBundle& bundle() const { return setup_->bundle(); }

   private:
    friend class TemplateSetupCache;
    void GiveBack();
    TemplateSetupCache* cache_ = nullptr;
    std::string key_;       // the template's lower-case id
    std::string revision_;  // empty: not kept after the render
    std::unique_ptr<TemplateSetup> setup_;
  };

  // `store`, `fs` (the data folder `dataDir`) must outlive the cache. `maxBytes` bounds what is
  // kept between renders.
  TemplateSetupCache(Store* store, FileSystem* fs, std::string dataDir, size_t maxBytes);
  ~TemplateSetupCache();
  TemplateSetupCache(const TemplateSetupCache&) = delete;
  TemplateSetupCache& operator=(const TemplateSetupCache&) = delete;

  // Lends a set-up of template `id` (any letter case) as it is stored now; `ownerId` as for
  // LoadTemplateBundle (another account's template is kNotFound). kFailed sets `error`.
  BundleStatus Borrow(const std::string& id, int ownerId, Lease* out, std::string* error);

  // Whether set-ups of template `id` are kept (idle or lent), and the bytes kept in all.
  bool Holds(const std::string& id) const;
  size_t keptBytes() const;

 private:
  struct Entry {
    std::string revision;
    std::shared_ptr<const TemplateBundle> bundle;
    size_t bundleBytes = 0;
    std::vector<std::unique_ptr<TemplateSetup>> idle;
    size_t idleBytes = 0;
    int lent = 0;
    uint64_t lastUse = 0;
  };

  void GiveBack(const std::string& key, const std::string& revision,
                std::unique_ptr<TemplateSetup> setup);
  // Frees the least recently used idle set-ups (and bundles no render holds) until the kept
  // bytes are within the bound. Caller holds mutex_.
  void TrimLocked();
  // Forgets `key`'s entry when nothing of it is idle or lent. Caller holds mutex_.
  void DropIfUnusedLocked(std::map<std::string, Entry>::iterator entry);

  Store* store_;
  FileSystem* fs_;
  std::string dataDir_;
  size_t maxBytes_;
  PopplerSettingsHold poppler_;
  mutable std::mutex mutex_;  // guards everything below
  std::map<std::string, Entry> entries_;
  size_t keptBytes_ = 0;
  uint64_t clock_ = 0;
};

}  // namespace refservice

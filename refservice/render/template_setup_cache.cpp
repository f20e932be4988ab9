#include "refservice/render/template_setup_cache.h"

#include "text/ascii_case.h"

namespace refservice {
namespace {

// Idle set-ups kept per template: more than the renders that run at once is waste.
constexpr size_t kMaxIdlePerTemplate = 8;

}  // namespace

TemplateSetupCache::Lease::Lease(Lease&& other) noexcept
    : cache_(other.cache_),
      key_(std::move(other.key_)),
      revision_(std::move(other.revision_)),
      setup_(std::move(other.setup_)) {
  other.cache_ = nullptr;
}

TemplateSetupCache::Lease& TemplateSetupCache::Lease::operator=(Lease&& other) noexcept {
  if (this != &other) {
    GiveBack();
    cache_ = other.cache_;
    key_ = std::move(other.key_);
    revision_ = std::move(other.revision_);
    setup_ = std::move(other.setup_);
    other.cache_ = nullptr;
  }
  return *this;
}

TemplateSetupCache::Lease::~Lease() { GiveBack(); }

void TemplateSetupCache::Lease::GiveBack() {
  if (cache_ != nullptr && setup_ != nullptr) {
    cache_->GiveBack(key_, revision_, std::move(setup_));
  }
  setup_.reset();
  cache_ = nullptr;
}

TemplateSetupCache::TemplateSetupCache(Store* store, FileSystem* fs, std::string dataDir,
                                       size_t maxBytes)
    : store_(store), fs_(fs), dataDir_(std::move(dataDir)), maxBytes_(maxBytes) {}

TemplateSetupCache::~TemplateSetupCache() = default;

BundleStatus TemplateSetupCache::Borrow(const std::string& id, int ownerId, Lease* out,
                                        std::string* error) {
  const std::string key = textutil::Lower(id);
  std::optional<TemplateSummary> summary;
  if (!store_->FindTemplateSummary(id, &summary)) {
    *error = "cannot read the templates";
    return BundleStatus::kFailed;
  }
  if (!summary || (ownerId >= 0 && summary->data.userId != ownerId)) {
    *error = "template " + id + " does not exist";
    return BundleStatus::kNotFound;
  }
  const std::string revision = TemplateRevision(*summary);
  std::shared_ptr<const TemplateBundle> bundle;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = entries_.find(key);
    if (found != entries_.end() && found->second.revision != revision) {
      // The template has changed since: nothing made from the old revision is used again.
      Entry& stale = found->second;
      keptBytes_ -= stale.idleBytes + stale.bundleBytes;
      stale.idle.clear();
      stale.idleBytes = 0;
      stale.bundleBytes = 0;
      stale.bundle.reset();
      stale.revision.clear();
      DropIfUnusedLocked(found);
      found = entries_.end();
    }
    if (found != entries_.end() && found->second.bundle) {
      Entry& entry = found->second;
      entry.lastUse = ++clock_;
      ++entry.lent;
      out->GiveBack();
      out->cache_ = this;
      out->key_ = key;
      out->revision_ = revision;
      if (!entry.idle.empty()) {
        out->setup_ = std::move(entry.idle.back());
        entry.idle.pop_back();
        const size_t bytes = out->setup_->ApproxBytes();
        entry.idleBytes -= bytes;
        keptBytes_ -= bytes;
        return BundleStatus::kOk;
      }
      bundle = entry.bundle;
    }
  }
  if (bundle) {
    // Every kept set-up of this commit is lent: another one over the same bundle.
    out->setup_ = std::make_unique<TemplateSetup>(std::move(bundle), fs_);
    return BundleStatus::kOk;
  }

  auto loaded = std::make_shared<TemplateBundle>();
  BundleStatus status = LoadTemplateBundle(store_, fs_, dataDir_, id, ownerId, loaded.get(), error);
  if (status != BundleStatus::kOk) return status;
  out->GiveBack();
  const bool keep = loaded->commitCount > 0;
  const std::string loadedRevision = loaded->revision;
  std::shared_ptr<const TemplateBundle> shared = std::move(loaded);
  if (keep) {
    std::lock_guard<std::mutex> lock(mutex_);
    Entry& entry = entries_[key];
    if (entry.revision != loadedRevision) {
      // A render of an older revision may still hold a set-up: it is freed when given back.
      keptBytes_ -= entry.idleBytes + entry.bundleBytes;
      entry.idle.clear();
      entry.idleBytes = 0;
      entry.revision = loadedRevision;
      entry.bundle = shared;
      entry.bundleBytes = ApproxBundleBytes(*shared);
      keptBytes_ += entry.bundleBytes;
    }
    shared = entry.bundle;  // a render that read the same revision meanwhile shares its bundle
    entry.lastUse = ++clock_;
    ++entry.lent;
    out->cache_ = this;
    out->key_ = key;
    out->revision_ = loadedRevision;
    TrimLocked();
  }
  out->setup_ = std::make_unique<TemplateSetup>(std::move(shared), fs_);
  return BundleStatus::kOk;
}

void TemplateSetupCache::GiveBack(const std::string& key, const std::string& revision,
                                  std::unique_ptr<TemplateSetup> setup) {
  std::unique_ptr<TemplateSetup> unused;  // freed outside the lock
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = entries_.find(key);
  if (found == entries_.end()) {
    unused = std::move(setup);
    return;
  }
  Entry& entry = found->second;
  if (entry.lent > 0) --entry.lent;
  if (entry.revision != revision || !entry.bundle ||
      entry.bundle.get() != &setup->bundle() || entry.idle.size() >= kMaxIdlePerTemplate) {
    unused = std::move(setup);
    DropIfUnusedLocked(found);
    return;
  }
  const size_t bytes = setup->ApproxBytes();
  entry.idle.push_back(std::move(setup));
  entry.idleBytes += bytes;
  keptBytes_ += bytes;
  TrimLocked();
}

void TemplateSetupCache::TrimLocked() {
  while (keptBytes_ > maxBytes_) {
    auto oldest = entries_.end();
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
      const Entry& entry = it->second;
      const bool freeable = !entry.idle.empty() || (entry.bundle && entry.lent == 0);
      if (freeable && (oldest == entries_.end() || entry.lastUse < oldest->second.lastUse)) {
        oldest = it;
      }
    }
    if (oldest == entries_.end()) return;  // only what renders hold right now
    Entry& entry = oldest->second;
    keptBytes_ -= entry.idleBytes;
    entry.idle.clear();
    entry.idleBytes = 0;
    if (entry.lent == 0) {
      keptBytes_ -= entry.bundleBytes;
      entries_.erase(oldest);
    }
  }
}

void TemplateSetupCache::DropIfUnusedLocked(std::map<std::string, Entry>::iterator entry) {
  if (entry->second.lent == 0 && entry->second.idle.empty() && !entry->second.bundle) {
    entries_.erase(entry);
  }
}

bool TemplateSetupCache::Holds(const std::string& id) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = entries_.find(textutil::Lower(id));
  return found != entries_.end() && found->second.bundle != nullptr;
}

size_t TemplateSetupCache::keptBytes() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return keptBytes_;
}

}  // namespace refservice

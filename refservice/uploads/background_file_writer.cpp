#include "refservice/uploads/background_file_writer.h"

#include <utility>

namespace refservice {

BackgroundFileWriter::BackgroundFileWriter(AtomicFileWriter* writer) : writer_(writer) {
  filling_.reserve(kBlockBytes);
  thread_ = std::thread([this] { Run(); });
}

BackgroundFileWriter::~BackgroundFileWriter() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  work_.notify_all();
  room_.notify_all();
  if (thread_.joinable()) thread_.join();
}

std::string BackgroundFileWriter::error() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return error_;
}

bool BackgroundFileWriter::Append(std::string_view data) {
  while (!data.empty()) {
    const size_t take = std::min(data.size(), kBlockBytes - filling_.size());
    filling_.append(data.data(), take);
    data.remove_prefix(take);
    if (filling_.size() == kBlockBytes) {
      std::unique_lock<std::mutex> lock(mutex_);
      if (!error_.empty()) return false;
      Submit(lock);
    }
  }
  // An idle thread gets what there is at once, so the file grows as the upload arrives; a busy
  // one gets whole blocks.
  std::unique_lock<std::mutex> lock(mutex_);
  if (!filling_.empty() && queued_ == 0 && error_.empty()) Submit(lock);
  return error_.empty();
}

void BackgroundFileWriter::Submit(std::unique_lock<std::mutex>& lock) {
  room_.wait(lock, [this] {
    return queued_ + filling_.size() <= kMaxQueuedBytes || !error_.empty() || stopping_;
  });
  if (!error_.empty() || stopping_) {
    filling_.clear();
    return;
  }
  queued_ += filling_.size();
  queue_.push_back(std::move(filling_));
  if (spare_.empty()) {
    filling_ = std::string();
    filling_.reserve(kBlockBytes);
  } else {
    filling_ = std::move(spare_.back());
    spare_.pop_back();
  }
  work_.notify_one();
}

bool BackgroundFileWriter::Finish() {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!filling_.empty() && error_.empty()) Submit(lock);
  ending_ = true;
  work_.notify_one();
  room_.wait(lock, [this] { return queued_ == 0 || !error_.empty() || stopping_; });
  lock.unlock();
  if (thread_.joinable()) thread_.join();
  lock.lock();
  return error_.empty();
}

void BackgroundFileWriter::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    work_.wait(lock, [this] { return !queue_.empty() || ending_ || stopping_; });
    if (stopping_ || queue_.empty()) return;  // stopped, or ending with nothing left
    std::string block = std::move(queue_.front());
    queue_.pop_front();
    lock.unlock();
    std::string error;
    const bool written = writer_->Append(block, &error);
    if (written) digest_.Update(block);
    lock.lock();
    queued_ -= block.size();
    if (!written) {
      error_ = error.empty() ? "the file could not be written" : error;
      queue_.clear();
      queued_ = 0;
    } else if (spare_.size() < kMaxQueuedBytes / kBlockBytes) {
      block.clear();
      spare_.push_back(std::move(block));
    }
    room_.notify_all();
    if (!written) return;
  }
}

}  // namespace refservice

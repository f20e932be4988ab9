// The storing half of an upload, on a thread of its own: the bytes of the file are appended to
// its temporary file and hashed there, so the thread that receives the upload goes on reading
// the network meanwhile. Bytes reach the thread at once while it is idle (the file grows as the
// upload arrives) and in blocks of kBlockBytes while it is busy; at most kMaxQueuedBytes wait at
// any time (Append waits for room), so memory stays flat whatever the file's size.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "refservice/storage/file_system.h"
#include "refservice/common/sha256.h"

namespace refservice {

class BackgroundFileWriter {
 public:
  static constexpr size_t kBlockBytes = 1 << 20;
  static constexpr size_t kMaxQueuedBytes = 4 * kBlockBytes;

  // `writer` must be open and outlive this object; until Finish returns (or this object is
  // destroyed) only this object's thread uses it.
  explicit BackgroundFileWriter(AtomicFileWriter* writer);
  // Stops the thread without writing what is still queued.
  ~BackgroundFileWriter();
  BackgroundFileWriter(const BackgroundFileWriter&) = delete;
  BackgroundFileWriter& operator=(const BackgroundFileWriter&) = delete;

  // Queues `data` to be appended after the bytes queued before. False once an append has failed
  // (error() says why): nothing more is written then.
  bool Append(std::string_view data);
  // Waits until every queued byte is appended and stops the thread. True when every byte was
  // appended; otherwise false with error() set. Call once; Append must not follow.
  bool Finish();
  // The SHA-256 of every byte appended, as 64 lower-case hexadecimal characters (after a
  // successful Finish).
  std::string HexDigest() { return digest_.HexDigest(); }
  // Why an append failed; empty while none has.
  std::string error() const;

 private:
  void Run();
  // Hands the filling block to the thread, waiting for room. Called with `lock` held.
  void Submit(std::unique_lock<std::mutex>& lock);

  AtomicFileWriter* writer_;
  Sha256 digest_;
  std::string filling_;  // bytes not yet handed to the thread (receiving thread only)

  mutable std::mutex mutex_;
  std::condition_variable work_;  // the thread waits for blocks or the end
  std::condition_variable room_;  // Append and Finish wait for room or the end of the queue
  std::deque<std::string> queue_;
  std::vector<std::string> spare_;  // written blocks, kept for reuse
  size_t queued_ = 0;               // bytes in queue_ and in the block being written
  bool ending_ = false;             // no more blocks will come
  bool stopping_ = false;           // the thread ends now, queued or not
  std::string error_;
  std::thread thread_;
};

}  // namespace refservice

// SHA-256 digests, used for password hashes and upload checksums.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace refservice {

// Incremental SHA-256 (FIPS 180-4), computed by the system's cryptography library (which uses the
// processor's SHA instructions where it has them, so hashing keeps up with an upload). Feed bytes
// with Update, then call HexDigest once. Throws std::bad_alloc when no digest context can be
// made.
class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  void Update(const void* data, size_t size);
  void Update(std::string_view text) { Update(text.data(), text.size()); }
  // Finishes the digest and returns it as 64 lower-case hexadecimal characters. The object must not
  // be updated afterwards.
  std::string HexDigest();

 private:
  struct Context;
  std::unique_ptr<Context> context_;
};

// Digest of one byte string as lower-case hexadecimal text.
std::string Sha256Hex(std::string_view data);

}  // namespace refservice

// SHA-256 digests, used for password hashes and upload checksums.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace refservice {

// Incremental SHA-256 (FIPS 180-4). Feed bytes with Update, then call HexDigest once.
class Sha256 {
 public:
  Sha256();
  void Update(const void* data, size_t size);
  void Update(std::string_view text) { Update(text.data(), text.size()); }
  // Finishes the digest and returns it as 64 lower-case hexadecimal characters. The object must not
  // be updated afterwards.
  std::string HexDigest();

 private:
  void Block(const uint8_t* block);

  uint32_t state_[8];
  uint8_t buffer_[64];
  size_t buffered_ = 0;
  uint64_t totalBytes_ = 0;
};

// Digest of one byte string as lower-case hexadecimal text.
std::string Sha256Hex(std::string_view data);

}  // namespace refservice

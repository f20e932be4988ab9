// PNG files built byte by byte for tests: chunks with their checksums, headers, and image data
// that inflates to far more than it takes (zeros), without compressing all of it.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

namespace osltest {

inline std::string Chunk(const std::string& type, const std::string& data) {
  std::string out;
  const auto put32 = [&out](uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<char>(v >> shift));
  };
  put32(static_cast<uint32_t>(data.size()));
  const std::string body = type + data;
  out += body;
  put32(static_cast<uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()))));
  return out;
}

// Signature and header of an 8-bit RGB PNG.
inline std::string PngHeader(uint32_t width, uint32_t height) {
  std::string ihdr;
  for (uint32_t v : {width, height}) {
    for (int shift = 24; shift >= 0; shift -= 8) ihdr.push_back(static_cast<char>(v >> shift));
  }
  ihdr += std::string("\x08\x02\x00\x00\x00", 5);
  return std::string("\x89PNG\r\n\x1a\n", 8) + Chunk("IHDR", ihdr);
}

// A zlib stream of `mib` MiB of zero bytes, made without compressing them all: after a full
// flush every further MiB compresses to the same bytes.
inline std::string ZerosInflatingTo(size_t mib) {
  z_stream z{};
  deflateInit(&z, 9);
  const std::string zeros(1u << 20, '\0');
  auto run = [&z](const std::string& in, int flush) {
    std::string out;
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    z.avail_in = static_cast<uInt>(in.size());
    std::vector<char> buffer(1 << 16);
    do {
      z.next_out = reinterpret_cast<Bytef*>(buffer.data());
      z.avail_out = static_cast<uInt>(buffer.size());
      deflate(&z, flush);
      out.append(buffer.data(), buffer.size() - z.avail_out);
    } while (z.avail_out == 0 || z.avail_in > 0);
    return out;
  };
  std::string stream = run(zeros, Z_FULL_FLUSH);
  const std::string block = run(zeros, Z_FULL_FLUSH);
  for (size_t i = 1; i < mib; ++i) stream += block;
  std::string end = run(std::string(), Z_FINISH);
  deflateEnd(&z);
  const uLong one = adler32(adler32(0, nullptr, 0), reinterpret_cast<const Bytef*>(zeros.data()),
                            static_cast<uInt>(zeros.size()));
  uLong all = one;
  for (size_t i = 1; i < mib; ++i) {
    all = adler32_combine(all, one, static_cast<z_off_t>(zeros.size()));
  }
  for (int i = 0; i < 4; ++i) end[end.size() - 4 + i] = static_cast<char>(all >> (24 - 8 * i));
  return stream + end;
}

// A 1 x 1 PNG whose image data inflates to `mib` MiB.
inline std::string PngBomb(size_t mib) {
  const std::string data = ZerosInflatingTo(mib);
  std::string png = PngHeader(1, 1);
  for (size_t at = 0; at < data.size(); at += 1u << 16) {
    png += Chunk("IDAT", data.substr(at, 1u << 16));
  }
  return png + Chunk("IEND", "");
}

// A black `width` x `height` PNG (8-bit RGB), small on disk whatever its size.
inline std::string BlackPng(uint32_t width, uint32_t height) {
  const uint64_t bytes = (uint64_t{width} * 3 + 1) * height;
  const std::string data = ZerosInflatingTo(static_cast<size_t>((bytes >> 20) + 1));
  std::string png = PngHeader(width, height);
  for (size_t at = 0; at < data.size(); at += 1u << 16) {
    png += Chunk("IDAT", data.substr(at, 1u << 16));
  }
  return png + Chunk("IEND", "");
}

}  // namespace osltest

// The one CMYK-to-RGB conversion of the system: the proof the stand-in exports
// and the documents the service builds draw a CMYK colour with the same RGB.
// Colours go through a CMYK printing characterisation (an ICC profile) to
// sRGB, relative colorimetric with black point compensation. Without a usable
// profile the conversion still works, uncalibrated (each ink darkens its
// channel), and says why.
//
// This folder includes nothing else of ours, so that every program may use it.
#pragma once

#include <cstddef>
#include <string>

namespace colour {

// The SWOP characterisation that the system's colour profiles hold
// (installed by scripts/bootstrap).
constexpr const char* kDefaultCmykProfile = "/usr/share/color/icc/ghostscript/default_cmyk.icc";
// Larger profile files are not read.
constexpr size_t kMaxProfileBytes = 16u << 20;

class CmykConversion {
 public:
  // Uncalibrated until Load() succeeds.
  CmykConversion() = default;
  ~CmykConversion();
  CmykConversion(const CmykConversion&) = delete;
  CmykConversion& operator=(const CmykConversion&) = delete;

  // Uses the ICC profile held in `profile` (named `name` in messages).
  // False, with Problem() set to one line naming it, when it is not a usable
  // CMYK profile; the conversion then stays uncalibrated.
  bool Load(const std::string& profile, const std::string& name);
  // Reads the profile from the file at `path` (at most kMaxProfileBytes),
  // then as Load().
  bool LoadFile(const std::string& path = kDefaultCmykProfile);

  // True when colours go through a profile.
  bool Managed() const { return transform_ != nullptr; }
  // Why no profile is used; empty when Managed().
  const std::string& Problem() const { return problem_; }

  // `cmyk` in percent (0 to 100, clamped) to sRGB components from 0 to 1.
  // Safe to call from several threads at once (the transform keeps no cache).
  void Convert(const double cmyk[4], double rgb[3]) const;

 private:
  void Reset();

  void* transform_ = nullptr;  // cmsHTRANSFORM
  std::string problem_;
};

// The process-wide conversion with kDefaultCmykProfile, loaded on first use
// (thread-safe); never null.
const CmykConversion& DefaultCmykConversion();

}  // namespace colour

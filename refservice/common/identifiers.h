// Helpers of the reference service: safe file names, session identifiers, random identifiers.
#pragma once

#include <string>
#include <string_view>

namespace refservice {

// Longest file name CleanFileName returns, in bytes.
constexpr size_t kMaxCleanNameLength = 120;

// Reduces a client-supplied file name to one safe, non-empty name that stays inside its folder:
// only the last component after any "/" or "\" is kept, NUL and other control bytes are dropped,
// every byte outside A-Z a-z 0-9 "." "-" "_" becomes "_", names that would be empty, "." or ".."
// become "file", and names longer than kMaxCleanNameLength are shortened, keeping a short
// extension. The same input always gives the same name.
std::string CleanFileName(std::string_view name);

// True when `name` is already a clean file name (CleanFileName would return it unchanged).
bool IsCleanFileName(std::string_view name);

// True for an upload session identifier the service accepts: 1 to 64 characters of
// A-Z a-z 0-9 and "-".
bool IsValidSessionId(std::string_view id);

// Creates `path` and its missing parents with mode 0700. Returns false with `error` set on failure.
bool MakeDirectories(const std::string& path, std::string* error);

// A new random identifier of the form 8-4-4-4-12 lower-case hexadecimal digits (version 4 UUID),
// from the system's random source.
std::string NewGuid();

// The all-zero identifier "00000000-0000-0000-0000-000000000000".
extern const char kZeroGuid[];

// True when `text` has the 8-4-4-4-12 hexadecimal form (either letter case).
bool IsGuidText(std::string_view text);

// `count` random bytes as 2*count lower-case hexadecimal characters.
std::string RandomHex(size_t count);

// A fresh upload token (the address part that makes every upload's address its own): 32
// lower-case hexadecimal characters from the system's random source.
std::string NewUploadToken();

// True for the text of an upload token.
bool IsUploadToken(std::string_view text);

}  // namespace refservice

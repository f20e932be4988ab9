// Where uploads live and how their names and addresses look: the folders inside the data (or
// files) folder, the rules for client-supplied file names and session identifiers, the tokens
// that make every upload's address its own, and the address an upload is served at.
#pragma once

#include <string>
#include <string_view>

namespace refservice {

// Folders inside the data folder.
inline constexpr char kUploadsFolder[] = "uploads";    // uploads/SESSION/TOKEN/NAME
inline constexpr char kIncomingFolder[] = "incoming";  // partial uploads, one folder per instance

// The path under which uploaded files are served: /files/SESSION/TOKEN/NAME.
inline constexpr char kFilesPrefix[] = "/files/";

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

// A fresh upload token (the address part that makes every upload's address its own): 32
// lower-case hexadecimal characters from the system's random source.
std::string NewUploadToken();

// True for the text of an upload token.
bool IsUploadToken(std::string_view text);

// The address under which an uploaded file is served, e.g.
// "http://127.0.0.1:8080/files/SESSION/TOKEN/NAME", using `origin` ("http://HOST:PORT", or
// https:// when the service serves TLS).
std::string FileAddress(const std::string& origin, const std::string& session,
                        const std::string& token, const std::string& name);

}  // namespace refservice

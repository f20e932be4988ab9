// Reading a password for the account commands: never from the command line (where other users
// see it in the process list and shells keep it in their history).
#pragma once

#include <string>

namespace refservice {

// The longest password accepted, in bytes.
inline constexpr size_t kMaxPasswordBytes = 1024;

// Reads a new password. When standard input is a terminal, asks on the terminal with echo
// turned off (`prompt`, then "Repeat: " when `confirm`, and both must match); echo is restored
// also when the read is cut by SIGINT or SIGTERM. Otherwise reads the first line of standard
// input (without its line end). False with `error` set for an empty or overlong password, one
// holding a NUL byte, a mismatch, or no input.
bool ReadNewPassword(const std::string& prompt, bool confirm, std::string* password,
                     std::string* error);

}  // namespace refservice

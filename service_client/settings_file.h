// Writing the settings file, which holds a password in clear text.
//
// The file is private (readable and writable by its owner only; on Windows
// it keeps the permissions of its folder) and is replaced whole or not at all
// where its folder allows: the new text goes to an unnamed file in the folder
// (or, where the system has none, a new file with a name of its own beside
// the settings file), is flushed to disk and then takes the file's place
// under its name. The text is written as given on Linux and in text mode on
// Windows (each LF becomes CR LF). A settings file that is a symbolic link
// keeps being one: the file the link points to is replaced. Where the folder
// cannot take a new file (a read-only folder holding a writable file), the
// file is written in place instead: truncated, written and flushed to disk; a
// failure part-way then leaves it incomplete, which the reason says. No file
// holding the password is left beside the settings file on any path: the
// temporary file has no name until it is renamed over the old one, or is
// removed when writing it or that rename fails. Every system call goes
// through OslPlatform.
#pragma once

#include <string>

// Writes `text` as the file at `path` (rules above). Returns true on
// success. On failure returns false and sets *reason to what failed and the
// system's reason, in plain words (for example "cannot write
// /x/Osl.cfg: Permission denied"); the previous file is then unchanged
// unless *reason says otherwise.
bool WriteSettingsFile(const std::string& path, const std::string& text, std::string* reason);

// The file a settings path stands for: `path` itself, or the file its chain
// of symbolic links ends at (relative links resolved against the folder of
// the link). The chain is followed at most 40 links deep; a longer chain or
// a link that cannot be read yields `path`.
std::string ResolveSettingsPath(const std::string& path);

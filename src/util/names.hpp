// Fixed-width file and directory names as the run-input file gives them.
#pragma once

#include <string>

namespace abyss::util {

constexpr std::size_t kNameLen = 120;

// Position of the last non-blank character (0 when all blank).
std::size_t lenstr(const std::string& s);
std::string rtrim(const std::string& s);
// Converts a name written with "\" separators to this platform's "/".
std::string native_path(const std::string& name);
// A name with neither "/" nor "\" is taken relative to `dir` (which ends with
// its separator); any other name is used as given. The result uses "/" and is
// never cut: the caller checks it against the 120-character limit.
std::string with_default_dir(const std::string& name, const std::string& dir);

}  // namespace abyss::util

// What the file-based harnesses share: a private scratch directory made once
// per process, a discarding console, and writing the input to a file.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <streambuf>
#include <string>

namespace abyss::fuzz {

inline std::filesystem::path scratch_dir() {
  static const std::filesystem::path dir = [] {
    auto d = std::filesystem::temp_directory_path() / ("abyss_fuzz_" + std::to_string(::getpid()));
    std::filesystem::create_directories(d / "run");
    return d;
  }();
  return dir;
}

class NullBuffer : public std::streambuf {
 protected:
  int overflow(int c) override { return c; }
};

inline std::ostream& null_stream() {
  static NullBuffer buf;
  static std::ostream os(&buf);
  return os;
}

inline void write_file(const std::filesystem::path& p, const uint8_t* data, size_t size) {
  std::ofstream(p, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(data),
                                                              static_cast<std::streamsize>(size));
}

}  // namespace abyss::fuzz

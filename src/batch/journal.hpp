// The journal of finished runs: one record a line, appended and flushed to
// disk (fsync) as each run finishes, so that a sweep killed at any moment can
// be restarted and skip what it has done. Each record carries a checksum; a
// record cut short by the kill fails it and its run is done again.
#pragma once

#include <filesystem>
#include <map>
#include <string>

#include "batch/run_result.hpp"

namespace abyss::batch {

// "<16 hex digits of the checksum> <result>" without the line end.
std::string journal_record(const RunResult& r);
// The result of one record line, or nothing when its checksum fails.
std::optional<RunResult> parse_journal_record(const std::string& line);

class Journal {
 public:
  explicit Journal(std::filesystem::path file);
  ~Journal();
  Journal(const Journal&) = delete;
  Journal& operator=(const Journal&) = delete;

  // The intact records of the file by run index (a later record wins).
  static std::map<std::size_t, RunResult> load(const std::filesystem::path& file);
  // Appends one record and waits until it is on disk.
  void append(const RunResult& r);

 private:
  std::filesystem::path file_;
  int fd_ = -1;
};

}  // namespace abyss::batch

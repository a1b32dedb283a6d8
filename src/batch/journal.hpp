// The journal of finished runs: one record a line, appended as each run
// finishes, so that a sweep killed at any moment can be restarted and skip
// what it has done. A record written is safe from a kill of the process at
// once; it is forced to disk (fsync) at most every `sync_seconds`, so that a
// crash of the machine loses at most that much work while many small runs do
// not wait for the disk one by one. Each record carries a checksum; a
// record cut short by the kill fails it and its run is done again.
#pragma once

#include <chrono>
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
  explicit Journal(std::filesystem::path file, double sync_seconds = 1.0);
  ~Journal();
  Journal(const Journal&) = delete;
  Journal& operator=(const Journal&) = delete;

  // The intact records of the file by run index (a later record wins).
  static std::map<std::size_t, RunResult> load(const std::filesystem::path& file);
  // Appends one record (the whole line in one write).
  void append(const RunResult& r);

 private:
  std::filesystem::path file_;
  int fd_ = -1;
  double sync_seconds_;
  std::chrono::steady_clock::time_point last_sync_;
};

}  // namespace abyss::batch

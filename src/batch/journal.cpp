#include "batch/journal.hpp"

#include <fcntl.h>
#include <fmt/format.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>

#include "batch/sweep.hpp"

namespace abyss::batch {

std::string journal_record(const RunResult& r) {
  const std::string body = serialize(r);
  return fmt::format("{:016x} {}", fnv1a(body), body);
}

std::optional<RunResult> parse_journal_record(const std::string& line) {
  if (line.size() < 18 || line[16] != ' ') return std::nullopt;
  const std::string body = line.substr(17);
  if (fmt::format("{:016x}", fnv1a(body)) != line.substr(0, 16)) return std::nullopt;
  try {
    return deserialize(body);
  } catch (const SweepError&) {
    return std::nullopt;
  }
}

std::map<std::size_t, RunResult> Journal::load(const std::filesystem::path& file) {
  std::map<std::size_t, RunResult> out;
  std::ifstream in(file);
  for (std::string line; std::getline(in, line);)
    if (auto r = parse_journal_record(line)) out[r->index] = std::move(*r);
  return out;
}

Journal::Journal(std::filesystem::path file, double sync_seconds)
    : file_(std::move(file)), sync_seconds_(sync_seconds), last_sync_(std::chrono::steady_clock::now()) {
  fd_ = ::open(file_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd_ < 0) throw SweepError(fmt::format("cannot open the journal {}: {}", file_.string(), std::strerror(errno)));
  // A kill in the middle of a record leaves a line without its end; the next
  // record must start on a line of its own.
  struct stat st {};
  if (::fstat(fd_, &st) == 0 && st.st_size > 0) {
    std::ifstream in(file_, std::ios::binary);
    in.seekg(-1, std::ios::end);
    char last = '\n';
    in.get(last);
    if (last != '\n' && ::write(fd_, "\n", 1) != 1)
      throw SweepError(fmt::format("cannot write the journal {}", file_.string()));
  }
}

Journal::~Journal() {
  if (fd_ < 0) return;
  ::fsync(fd_);
  ::close(fd_);
}

void Journal::append(const RunResult& r) {
  const std::string line = journal_record(r) + "\n";
  // One write of the whole record: with O_APPEND it lands in one piece.
  std::size_t done = 0;
  while (done < line.size()) {
    const ssize_t n = ::write(fd_, line.data() + done, line.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw SweepError(fmt::format("cannot write the journal {}: {}", file_.string(), std::strerror(errno)));
    done += static_cast<std::size_t>(n);
  }
  const auto now = std::chrono::steady_clock::now();
  if (std::chrono::duration<double>(now - last_sync_).count() < sync_seconds_) return;
  last_sync_ = now;
  if (::fsync(fd_) != 0) throw SweepError(fmt::format("cannot flush the journal {}: {}", file_.string(), std::strerror(errno)));
}

}  // namespace abyss::batch

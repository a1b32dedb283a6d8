// Builds run-input files for tests: every record as a line that a test can
// replace, and a scratch working directory laid out like a real run.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace abyss::testing {

// A complete single-component run-input file (constant IOPs at one wavelength)
// as an ordered list of record lines; records with several lines (8..13, 30)
// are given as one string with embedded newlines.
struct RunInput {
  std::map<std::string, std::string> rec;
  // Run-option lines written after record 32: by default the 10 x 24
  // partition (see on_coarse_grid).
  std::string text_after;
  RunInput();
  std::string text() const;
  // The text with everything after record `last` (e.g. "29") removed.
  std::string text_until(const std::string& last) const;
};

// A scratch tree <tmp>/run (working directory of the run) beside <tmp>/data
// and <tmp>/output, removed on destruction. Changes into run/ and back.
class ScratchRun {
 public:
  ScratchRun();
  ~ScratchRun();
  ScratchRun(const ScratchRun&) = delete;
  ScratchRun& operator=(const ScratchRun&) = delete;
  const std::filesystem::path& root() const { return root_; }
  std::filesystem::path run_dir() const { return root_ / "run"; }
  std::filesystem::path printout(const std::string& rootname) const;
  // Runs the real executable on `input` in run/; returns the exit status and
  // fills `console` with its standard output.
  int run_exe(const std::string& input, std::string& console) const;

 private:
  std::filesystem::path root_;
  std::filesystem::path old_cwd_;
};

std::string read_file(const std::filesystem::path& p);

// `input` with the run option that puts it on the 10 x 24 partition. Tests whose
// subject is not the angular grid (threads, IOP models, sources, outputs, faults)
// run there: a run costs a third to a fifth of the default 20 x 24's. The data
// tree makes the wind-blown surfaces of that set the suite reads (see
// tools/surfgen/data.cmake), so no test waits for one to be computed; a test
// that needs another makes it on demand, and its NOTE line then tells. Later
// option lines still override it.
inline constexpr const char* kCoarseGridOption = "partition = 10x24\n";
inline std::string on_coarse_grid(const std::string& input) {
  return input + (input.empty() || input.back() == '\n' ? "" : "\n") + kCoarseGridOption;
}

// What a run of the real program on a run-input file leaves: its exit status,
// its console text and its printout (root name "testrun").
struct RunOutcome {
  int status = 0;
  std::string console, printout;
};
RunOutcome run_in_scratch(const RunInput& ri);
std::vector<std::string> read_lines(const std::filesystem::path& p);

}  // namespace abyss::testing

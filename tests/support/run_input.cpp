#include "support/run_input.hpp"

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

namespace abyss::testing {
namespace {
const std::vector<std::string> kOrder = {"1",  "2",  "3",  "4",  "5",  "6",  "7",  "8",  "9",  "10", "11",
                                         "12", "13", "14", "15", "16", "17", "18", "19", "20", "21", "22",
                                         "23", "24", "25", "26", "27", "28", "29", "30", "31", "32"};
}

RunInput::RunInput() : text_after(kCoarseGridOption) {
  rec = {{"1", "0 400.0 700.0 0.02 488.0 2.6e-4 0"},
         {"2", "Test run"},
         {"3", "testrun"},
         {"4", "0 0 0 0 0 1"},
         {"5", "0 0 0 0 0"},
         {"6", "1 1"},
         {"7", "0.0"},
         {"8", "0 0 440.0 0.0 0.0"},
         {"9", "dummy.txt"},
         {"10", "3 0.0 1.0 0.0 0.0 0.0"},
         {"11", "dummy.txt"},
         {"12", "1 0.02 0.0 0.0 0.0"},
         {"13", "dummy.dpf"},
         {"14", "0"},
         {"15", "550.0 0.1 0.3"},
         {"16", "0 0 0 0 0"},
         {"17", "1 5 30.0 0.0 0.0 0.3 1.0"},
         {"18", "172 35.0 -60.0 1013.25 1 80 1.5 15 5 300"},
         {"19", "5.0 1.34 20.0 35.0"},
         {"20", "0 0.0"},
         {"21", "0 3 0.0 5.0 10.0"},
         {"22", "purewater.txt"},
         {"23", "0"},
         {"24", "d1.txt"},
         {"25", "d2.txt"},
         {"26", "d3.txt"},
         {"27", "d4.txt"},
         {"28", "d5.txt"},
         {"29", "bottom.txt"},
         {"30", "chl.txt"},
         {"31", "extra.txt"},
         {"32", "bio.txt"}};
}

std::string RunInput::text() const { return text_until("32") + text_after; }

std::string RunInput::text_until(const std::string& last) const {
  std::ostringstream os;
  for (const auto& k : kOrder) {
    auto it = rec.find(k);
    if (it != rec.end()) os << it->second << "\n";
    if (k == last) break;
  }
  return os.str();
}

ScratchRun::ScratchRun() {
  std::random_device rd;
  root_ = std::filesystem::temp_directory_path() / ("abyss_run_" + std::to_string(rd()) + std::to_string(::getpid()));
  std::filesystem::create_directories(root_ / "run");
  // The run reads the repository's data tree, as a real run one level below the root does.
  std::filesystem::create_directory_symlink(std::filesystem::path(ABYSS_SOURCE_DIR) / "data", root_ / "data");
  old_cwd_ = std::filesystem::current_path();
  std::filesystem::current_path(root_ / "run");
}

ScratchRun::~ScratchRun() {
  std::error_code ec;
  std::filesystem::current_path(old_cwd_, ec);
  std::filesystem::remove_all(root_, ec);
}

std::filesystem::path ScratchRun::printout(const std::string& rootname) const {
  return root_ / "output" / "Abyssolver" / "Printout" / ("P" + rootname + ".txt");
}

int ScratchRun::run_exe(const std::string& input, std::string& console) const {
  const auto in = root_ / "input.txt", out = root_ / "console.txt";
  std::ofstream(in) << input;
  std::string cmd = "cd '" + run_dir().string() + "' && '" + ABYSS_EXE + "' < '" + in.string() + "' > '" +
                    out.string() + "' 2>&1";
  int st = std::system(cmd.c_str());
  console = read_file(out);
  return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

std::string read_file(const std::filesystem::path& p) {
  std::ifstream in(p);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

std::vector<std::string> read_lines(const std::filesystem::path& p) {
  std::ifstream in(p);
  std::vector<std::string> out;
  std::string line;
  while (std::getline(in, line)) out.push_back(line);
  return out;
}

RunOutcome run_in_scratch(const RunInput& ri) {
  ScratchRun scratch;
  RunOutcome o;
  o.status = scratch.run_exe(ri.text(), o.console);
  o.printout = read_file(scratch.printout("testrun"));
  return o;
}

}  // namespace abyss::testing

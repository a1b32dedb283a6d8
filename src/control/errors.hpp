// The common fatal-error exit. A routine that cannot go on writes its own
// detail lines and calls herr; the exception unwinds to the program entry,
// which writes the "ERROR:" / "STOP in routine" lines, closes every file and
// exits with a failure status.
#pragma once

#include <stdexcept>
#include <string>

namespace abyss {

class FatalError : public std::runtime_error {
 public:
  FatalError(std::string routine, std::string message)
      : std::runtime_error(routine + ": " + message), routine_(std::move(routine)), message_(std::move(message)) {}
  const std::string& routine() const { return routine_; }
  const std::string& message() const { return message_; }

 private:
  std::string routine_;
  std::string message_;
};

[[noreturn]] void herr(const std::string& callname, const std::string& msg);
// "required data file <name> not found" (the name cut to 101 characters).
[[noreturn]] void nofile(const std::string& callname, const std::string& filename);

}  // namespace abyss

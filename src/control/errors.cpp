#include "control/errors.hpp"

#include "util/names.hpp"

namespace abyss {

void herr(const std::string& callname, const std::string& msg) {
  throw FatalError(util::rtrim(callname), util::rtrim(msg));
}

void nofile(const std::string& callname, const std::string& filename) {
  std::string name = util::rtrim(filename);
  if (name.empty()) herr(callname, "the name of a required data file is blank");
  if (name.size() > 101) name.resize(101);
  herr(callname, "required data file " + name + " not found");
}

}  // namespace abyss

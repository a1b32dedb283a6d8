#include "util/names.hpp"

namespace abyss::util {

std::size_t lenstr(const std::string& s) {
  auto e = s.find_last_not_of(' ');
  return e == std::string::npos ? 0 : e + 1;
}

std::string rtrim(const std::string& s) { return s.substr(0, lenstr(s)); }

std::string native_path(const std::string& name) {
  std::string out = name;
  for (char& c : out)
    if (c == '\\') c = '/';
  return out;
}

std::string with_default_dir(const std::string& name, const std::string& dir) {
  std::string n = rtrim(name);
  std::string full = (n.find('/') == std::string::npos && n.find('\\') == std::string::npos) ? dir + n : n;
  // Never cut here: a cut name may name another file that exists. The
  // readers check the length and stop the run on a name that is too long.
  return native_path(full);
}

}  // namespace abyss::util

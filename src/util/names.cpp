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
  full = native_path(full);
  if (full.size() > kNameLen) full.resize(kNameLen);
  return full;
}

}  // namespace abyss::util

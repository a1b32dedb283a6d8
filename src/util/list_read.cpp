#include "util/list_read.hpp"

#include <cctype>
#include <cerrno>
#include <cstdlib>

namespace abyss::util {
namespace {

bool is_sep(char c) { return c == ' ' || c == '\t' || c == ',' || c == '\r' || c == '\n'; }

std::string trim(const std::string& s) {
  auto b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return {};
  auto e = s.find_last_not_of(" \t\r\n");
  return s.substr(b, e - b + 1);
}

}  // namespace

double ListRecord::real(std::size_t i, double dflt) const {
  return has(i) ? parse_real(*items[i]) : dflt;
}

long ListRecord::integer(std::size_t i, long dflt) const {
  return has(i) ? parse_integer(*items[i]) : dflt;
}

double parse_real(const std::string& text) {
  std::string t = trim(text);
  for (char& c : t)
    if (c == 'd' || c == 'D' || c == 'q' || c == 'Q') c = 'e';
  if (t.empty()) throw ListReadError("empty field where a number was expected");
  const char* b = t.c_str();
  char* end = nullptr;
  errno = 0;
  double v = std::strtod(b, &end);
  if (end == b || *end != '\0') throw ListReadError("\"" + text + "\" is not a number");
  return v;
}

long parse_integer(const std::string& text) {
  std::string t = trim(text);
  if (t.empty()) throw ListReadError("empty field where an integer was expected");
  const char* b = t.c_str();
  char* end = nullptr;
  long v = std::strtol(b, &end, 10);
  if (end == b || *end != '\0') throw ListReadError("\"" + text + "\" is not an integer");
  return v;
}

ListRecord read_list(std::istream& in, std::size_t n) {
  ListRecord rec;
  ListCursor cur(in);
  cur.take(rec, n);
  if (n == 0 && rec.lines == 0) {  // a read of zero items still consumes one line
    std::string line;
    if (std::getline(in, line)) rec.lines = 1;
    else rec.hit_eof = true;
  }
  return rec;
}

void ListCursor::take(ListRecord& rec, std::size_t n) {
  const std::size_t want = rec.items.size() + n;
  while (rec.items.size() < want) {
    if (!queue_.empty()) {
      rec.items.push_back(queue_.front());
      queue_.erase(queue_.begin());
      continue;
    }
    if (ended_) return;
    if (!have_line_ || pos_ >= line_.size()) {
      if (!std::getline(in_, line_)) {
        ended_ = true;
        rec.hit_eof = !rec.slash;
        return;
      }
      ++rec.lines;
      have_line_ = true;
      pos_ = 0;
      pending_comma_ = false;
      continue;
    }
    char c = line_[pos_];
    if (c == ' ' || c == '\t' || c == '\r') {
      ++pos_;
      continue;
    }
    if (c == ',') {
      if (pending_comma_) rec.items.emplace_back(std::nullopt);  // ",," is a null value
      pending_comma_ = true;
      ++pos_;
      continue;
    }
    if (c == '/') {
      ended_ = true;
      rec.slash = true;
      return;
    }
    pending_comma_ = false;
    std::size_t j = pos_;
    if (c == '\'' || c == '"') {  // quoted character constant
      std::string text;
      for (j = pos_ + 1; j < line_.size() && line_[j] != c; ++j) text += line_[j];
      rec.items.emplace_back(text);
      pos_ = j + 1;
      continue;
    }
    while (j < line_.size() && !is_sep(line_[j]) && line_[j] != '/') ++j;
    std::string tok = line_.substr(pos_, j - pos_);
    pos_ = j;
    auto star = tok.find('*');
    if (star == std::string::npos) {
      rec.items.emplace_back(tok);
      continue;
    }
    long r = 0;
    try {
      r = parse_integer(tok.substr(0, star));
    } catch (const ListReadError&) {
      r = 0;
    }
    if (r < 1) throw ListReadError("bad repeat count in \"" + tok + "\"");
    std::string val = tok.substr(star + 1);
    for (long k = 0; k < r; ++k) {
      if (val.empty()) queue_.emplace_back(std::nullopt);
      else queue_.emplace_back(val);
    }
  }
}

std::optional<std::string> read_name_record(std::istream& in, std::size_t width) {
  std::string line;
  if (!std::getline(in, line)) return std::nullopt;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  if (line.size() > width) line.resize(width);
  auto e = line.find_last_not_of(' ');
  line.resize(e == std::string::npos ? 0 : e + 1);
  return line;
}

std::vector<double> read_fixed_reals(std::istream& in, std::size_t n, int per_record, int field_width) {
  std::vector<double> out;
  out.reserve(n);
  std::string line;
  while (out.size() < n) {
    if (!std::getline(in, line)) throw ListReadError("file ends before all values were read");
    std::size_t on_line = std::min<std::size_t>(static_cast<std::size_t>(per_record), n - out.size());
    for (std::size_t k = 0; k < on_line; ++k) {
      std::size_t pos = k * static_cast<std::size_t>(field_width);
      std::string field = pos < line.size() ? line.substr(pos, static_cast<std::size_t>(field_width)) : "";
      out.push_back(parse_real(field));
    }
  }
  return out;
}

std::vector<std::string> split_fixed(const std::string& line, const std::vector<int>& widths) {
  std::vector<std::string> out;
  std::size_t pos = 0;
  for (int w : widths) {
    out.push_back(pos < line.size() ? line.substr(pos, static_cast<std::size_t>(w)) : "");
    pos += static_cast<std::size_t>(w);
  }
  return out;
}

}  // namespace abyss::util

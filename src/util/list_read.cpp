#include "util/list_read.hpp"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>

namespace abyss::util {
namespace {

// A piece of input quoted in a message: at most 40 characters, control
// characters shown as '?', so that a binary or enormous line stays readable.
std::string quoted(const std::string& s) {
  std::string out = s.size() > 40 ? s.substr(0, 40) + "..." : s;
  for (char& c : out)
    if (static_cast<unsigned char>(c) < 32 || static_cast<unsigned char>(c) > 126) c = '?';
  return "\"" + out + "\"";
}

bool is_sep(char c) { return c == ' ' || c == '\t' || c == ',' || c == '\r' || c == '\n'; }

std::string trim(const std::string& s) {
  auto b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return {};
  auto e = s.find_last_not_of(" \t\r\n");
  return s.substr(b, e - b + 1);
}

// "5,0 1,34": commas between digits on a line whose values are otherwise
// separated by blanks are decimal commas, not separators. Read as separators
// they would silently give twice as many values.
bool has_decimal_commas(const std::string& line) {
  auto digit = [&](std::size_t i) { return i < line.size() && std::isdigit(static_cast<unsigned char>(line[i])); };
  bool tight = false, blank_sep = false;
  for (std::size_t i = 1; i + 1 < line.size(); ++i)
    if (line[i] == ',' && digit(i - 1) && digit(i + 1)) tight = true;
  for (std::size_t i = 0; i < line.size();) {
    if (line[i] != ' ' && line[i] != '\t') {
      ++i;
      continue;
    }
    std::size_t j = i;
    while (j < line.size() && (line[j] == ' ' || line[j] == '\t')) ++j;
    const bool inner = i > 0 && j < line.size();
    if (inner && line[i - 1] != ',' && line[j] != ',' && line[j] != '\r' && line[j] != '/' && line[i - 1] != '/')
      blank_sep = true;
    i = j;
  }
  return tight && blank_sep;
}

}  // namespace

double ListRecord::real(std::size_t i, double dflt) const {
  return has(i) ? parse_real(*items[i]) : dflt;
}

long ListRecord::integer(std::size_t i, long dflt) const {
  return has(i) ? parse_integer(*items[i]) : dflt;
}

namespace {

// Fortran's list-directed form of a decimal number: an optional sign, digits
// with an optional decimal point (at least one digit), and an optional
// exponent letter E, D or Q followed by an optionally signed integer. Nothing
// else: no nan, inf, hexadecimal or C-style suffixes, no embedded blanks.
bool is_decimal_number(const std::string& t) {
  std::size_t i = 0;
  const std::size_t n = t.size();
  if (i < n && (t[i] == '+' || t[i] == '-')) ++i;
  std::size_t digits = 0;
  while (i < n && std::isdigit(static_cast<unsigned char>(t[i]))) ++i, ++digits;
  if (i < n && t[i] == '.') {
    ++i;
    while (i < n && std::isdigit(static_cast<unsigned char>(t[i]))) ++i, ++digits;
  }
  if (digits == 0) return false;
  if (i == n) return true;
  if (t[i] != 'e' && t[i] != 'E') return false;
  ++i;
  if (i < n && (t[i] == '+' || t[i] == '-')) ++i;
  std::size_t exp_digits = 0;
  while (i < n && std::isdigit(static_cast<unsigned char>(t[i]))) ++i, ++exp_digits;
  return exp_digits > 0 && i == n;
}

bool is_decimal_integer(const std::string& t) {
  std::size_t i = (!t.empty() && (t[0] == '+' || t[0] == '-')) ? 1 : 0;
  if (i == t.size()) return false;
  for (; i < t.size(); ++i)
    if (!std::isdigit(static_cast<unsigned char>(t[i]))) return false;
  return true;
}

}  // namespace

double parse_real(const std::string& text) {
  std::string t = trim(text);
  for (char& c : t)
    if (c == 'd' || c == 'D' || c == 'q' || c == 'Q') c = 'e';
  if (t.empty()) throw ListReadError("empty field where a number was expected");
  if (!is_decimal_number(t)) throw ListReadError(quoted(text) + " is not a decimal number");
  errno = 0;
  const double v = std::strtod(t.c_str(), nullptr);
  // Underflow to zero or a subnormal is harmless; overflow is not.
  if (!std::isfinite(v)) throw ListReadError(quoted(text) + " is out of the range of double precision numbers");
  return v;
}

long parse_integer(const std::string& text) {
  std::string t = trim(text);
  if (t.empty()) throw ListReadError("empty field where an integer was expected");
  if (!is_decimal_integer(t)) throw ListReadError(quoted(text) + " is not an integer");
  errno = 0;
  const long v = std::strtol(t.c_str(), nullptr, 10);
  // Integers of the input files are 32-bit quantities (counts, options).
  if (errno == ERANGE || v > std::numeric_limits<std::int32_t>::max() || v < std::numeric_limits<std::int32_t>::min())
    throw ListReadError(quoted(text) + " is out of the range of integers");
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
    if (repeat_left_ > 0) {
      rec.items.push_back(repeat_value_);
      --repeat_left_;
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
      if (has_decimal_commas(line_))
        throw ListReadError(quoted(line_) + " has decimal commas (a comma between digits among blank-separated values)");
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
    if (r < 1) throw ListReadError("bad repeat count in " + quoted(tok));
    // A repeat count is kept as a count, never expanded ahead of need, and
    // may not reach beyond the values the record asks for.
    const std::size_t still = want - rec.items.size();
    if (static_cast<unsigned long>(r) > still)
      throw ListReadError("repeat count in " + quoted(tok) + " exceeds the " + std::to_string(still) +
                          " value(s) the record still needs");
    std::string val = tok.substr(star + 1);
    if (val.empty()) repeat_value_ = std::nullopt;
    else repeat_value_ = val;
    repeat_left_ = static_cast<std::size_t>(r);
  }
}

std::optional<std::string> read_name_record(std::istream& in, std::size_t width) {
  std::string line;
  if (!std::getline(in, line)) return std::nullopt;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  if (width != std::string::npos && line.size() > width) line.resize(width);
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

#include "batch/run_input_text.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <sstream>

#include "util/list_read.hpp"

namespace abyss::batch {
namespace {

constexpr long kMaxRepeat = 100;  // more components than this is not a run-input file

// Walks the records in the engine's order, counting the lines each consumes.
class Locator {
 public:
  explicit Locator(const std::string& text) : in_(text) {}

  util::ListRecord numbers(int record, std::size_t n) {
    util::ListRecord r;
    try {
      r = util::read_list(in_, n);
    } catch (const util::ListReadError& e) {
      fail(record, e.what());
    }
    if (r.hit_eof && r.given() < n) fail(record, "the file ends before this record is complete");
    push(record, r.lines, false);
    return r;
  }
  util::ListRecord counted(int record, long max_count) {
    util::ListRecord r;
    {
      util::ListCursor cur(in_);
      try {
        cur.take(r, 2);
        const long n = r.has(1) ? util::parse_integer(*r.items[1]) : 0;
        cur.take(r, static_cast<std::size_t>(std::clamp(n, 0L, max_count)));
      } catch (const util::ListReadError& e) {
        fail(record, e.what());
      }
    }
    if (r.hit_eof) fail(record, "the file ends before this record is complete");
    push(record, r.lines, false);
    return r;
  }
  bool name(int record, bool may_end) {
    if (!util::read_name_record(in_)) {
      if (may_end) return false;
      fail(record, "the file ends before this record");
    }
    push(record, 1, true);
    return true;
  }
  long count(const util::ListRecord& r, int record, std::size_t i) {
    long n = 0;
    try {
      n = r.integer(i, 0);
    } catch (const util::ListReadError& e) {
      fail(record, e.what());
    }
    if (n < 0 || n > kMaxRepeat) fail(record, fmt::format("count {} is out of range", n));
    return n;
  }
  std::vector<RecordSpan> spans;

 private:
  void push(int record, int lines, bool is_name) {
    spans.push_back({record, line_, lines, is_name});
    line_ += lines;
  }
  [[noreturn]] void fail(int record, const std::string& what) {
    throw SweepError(fmt::format("template run-input file, record {}: {}", record, what));
  }
  std::istringstream in_;
  int line_ = 0;
};

bool is_sep(char c) { return c == ' ' || c == '\t' || c == ',' || c == '\r'; }

}  // namespace

RunInputText::RunInputText(std::string text) : text_(std::move(text)) {
  std::istringstream in(text_);
  for (std::string l; std::getline(in, l);) lines_.push_back(l);
  relocate();
}

void RunInputText::relocate() {
  Locator loc(text_);
  loc.numbers(1, 7);
  loc.name(2, false);
  loc.name(3, false);
  loc.numbers(4, 6);
  loc.numbers(5, 5);
  const auto counts = loc.numbers(6, 2);
  const long ncomp = loc.count(counts, 6, 0), nconc = loc.count(counts, 6, 1);
  loc.numbers(7, static_cast<std::size_t>(nconc));
  for (long k = 0; k < nconc; ++k) loc.numbers(8, 5);
  for (long k = 0; k < nconc; ++k) loc.name(9, false);
  for (long k = 0; k < ncomp; ++k) loc.numbers(10, 6);
  for (long k = 0; k < ncomp; ++k) loc.name(11, false);
  for (long k = 0; k < ncomp; ++k) loc.numbers(12, 5);
  for (long k = 0; k < ncomp; ++k) loc.name(13, false);
  const long nwave = loc.count(loc.numbers(14, 1), 14, 0);
  loc.numbers(15, nwave > 0 ? static_cast<std::size_t>(nwave + 1) : 3);
  loc.numbers(16, 5);
  loc.counted(17, 100);
  loc.numbers(18, 10);
  loc.numbers(19, 4);
  loc.numbers(20, 2);
  loc.counted(21, 400);
  loc.name(22, false);
  loc.numbers(23, 1);
  for (int r = 24; r <= 29; ++r) loc.name(r, false);
  complete_ = true;
  for (long k = 0; k < ncomp && complete_; ++k) complete_ = loc.name(30, true);
  if (complete_) complete_ = loc.name(31, true);
  if (complete_) complete_ = loc.name(32, true);
  spans_ = std::move(loc.spans);
}

int RunInputText::occurrences(int record) const {
  return static_cast<int>(std::count_if(spans_.begin(), spans_.end(), [&](const RecordSpan& s) { return s.record == record; }));
}

const RecordSpan& RunInputText::span(int record, int occurrence) const {
  int seen = 0;
  for (const RecordSpan& s : spans_)
    if (s.record == record && seen++ == occurrence) return s;
  throw SweepError(fmt::format("the template has no record {} (instance {})", record, occurrence + 1));
}

std::vector<RunInputText::Token> RunInputText::tokens(const RecordSpan& s) const {
  std::vector<Token> out;
  for (int l = s.first; l < s.first + s.count; ++l) {
    const std::string& line = lines_[static_cast<std::size_t>(l)];
    for (std::size_t i = 0; i < line.size();) {
      if (is_sep(line[i])) {
        ++i;
        continue;
      }
      std::size_t j = i;
      while (j < line.size() && !is_sep(line[j])) ++j;
      const std::string tok = line.substr(i, j - i);
      // Repeat counts, quotes and '/' make item positions differ from token
      // positions; such a record is not rewritten.
      if (tok.find_first_of("*/'\"") != std::string::npos)
        throw SweepError(fmt::format("template record {} uses \"{}\": write its values out one by one to sweep it",
                                     s.record, tok));
      out.push_back({l, i, j - i});
      i = j;
    }
  }
  return out;
}

std::string RunInputText::value(int record, int occurrence, std::size_t item) const {
  const RecordSpan& s = span(record, occurrence);
  if (s.name) return lines_[static_cast<std::size_t>(s.first)];
  const auto t = tokens(s);
  if (item >= t.size()) throw SweepError(fmt::format("template record {} has no value {}", record, item + 1));
  return lines_[static_cast<std::size_t>(t[item].line)].substr(t[item].pos, t[item].len);
}

void RunInputText::set_value(int record, int occurrence, std::size_t item, const std::string& text) {
  const RecordSpan& s = span(record, occurrence);
  if (s.name) throw SweepError(fmt::format("record {} is a name record, not a list of values", record));
  const auto t = tokens(s);
  if (item >= t.size()) throw SweepError(fmt::format("template record {} has no value {}", record, item + 1));
  lines_[static_cast<std::size_t>(t[item].line)].replace(t[item].pos, t[item].len, text);
  std::string joined;
  for (const std::string& l : lines_) joined += l + "\n";
  text_ = joined;
}

void RunInputText::set_name(int record, int occurrence, const std::string& text) {
  const RecordSpan& s = span(record, occurrence);
  if (!s.name) throw SweepError(fmt::format("record {} is a list of values, not a name record", record));
  if (text.find('\n') != std::string::npos) throw SweepError("a name cannot hold a line break");
  lines_[static_cast<std::size_t>(s.first)] = text;
  std::string joined;
  for (const std::string& l : lines_) joined += l + "\n";
  text_ = joined;
}

std::string RunInputText::with_options(const std::vector<std::string>& lines) const {
  if (lines.empty()) return text_;
  if (!complete_)
    throw SweepError("the template ends before record 32; give records 30 to 32 so that run options can follow");
  std::string out = text_;
  if (!out.empty() && out.back() != '\n') out += '\n';
  for (const std::string& l : lines) out += l + "\n";
  return out;
}

}  // namespace abyss::batch

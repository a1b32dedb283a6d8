// Free-format ("list-directed") reading of the run-input file and data files,
// and the fixed-column reading of the formatted surface and phase-function
// files.
//
// A list-directed read of n items always starts on a fresh record (line),
// takes blank- or comma-separated values across as many lines as it needs,
// and discards the rest of the line where it was satisfied. `r*value` repeats a
// value r times, `r*` gives r null values and an empty field between two commas
// is a null value: a null leaves the target unchanged. A `/` ends the record
// early. A read of zero items still consumes one line.
#pragma once

#include <cstddef>
#include <istream>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace abyss::util {

// A token that is not a number where a number was wanted.
class ListReadError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct ListRecord {
  std::vector<std::optional<std::string>> items;  // at most n; nullopt = null value
  bool hit_eof = false;  // the input ended before n items were found (and no '/')
  bool slash = false;    // a '/' ended the record
  int lines = 0;         // lines consumed

  // True when the input had already ended: nothing at all could be read.
  bool at_eof() const { return hit_eof && lines == 0; }
  std::size_t given() const { return items.size(); }
  bool has(std::size_t i) const { return i < items.size() && items[i].has_value(); }
  // Item i as a number; `dflt` when the item is null or absent.
  double real(std::size_t i, double dflt = 0.0) const;
  long integer(std::size_t i, long dflt = 0) const;
};

ListRecord read_list(std::istream& in, std::size_t n);

// One list-directed record read item by item, for records whose length is
// given by an earlier item of the same record (a count followed by values).
// The record starts at the next line; the rest of the line of the last item
// taken is discarded when the cursor is destroyed or finish() is called.
class ListCursor {
 public:
  explicit ListCursor(std::istream& in) : in_(in) {}
  ListCursor(const ListCursor&) = delete;
  ListCursor& operator=(const ListCursor&) = delete;
  // Appends up to n more items to `rec` (fewer at '/' or end of file).
  void take(ListRecord& rec, std::size_t n);
  void finish() {}

 private:
  std::istream& in_;
  std::string line_;
  std::size_t pos_ = 0;
  bool have_line_ = false;
  bool pending_comma_ = false;
  bool ended_ = false;  // '/' or end of file seen
  std::optional<std::string> repeat_value_;  // value of an r*value not yet used up
  std::size_t repeat_left_ = 0;             // how many of it remain
};

// Parses one number in any form Fortran accepts on input (D exponents, a
// missing leading or trailing digit). Throws ListReadError naming the text.
double parse_real(const std::string& text);
long parse_integer(const std::string& text);

// Reads one whole line as a name or title record: the line cut at `width`
// characters, carriage return and trailing blanks removed. Returns nullopt at
// end of file.
std::optional<std::string> read_name_record(std::istream& in, std::size_t width = 120);

// Fixed-column reading of formatted records: n values, `per_record` fields of
// `field_width` characters on each line (the 10(E12.6,1X) layout reads with
// width 13). Throws ListReadError on a short file or a bad field.
std::vector<double> read_fixed_reals(std::istream& in, std::size_t n, int per_record, int field_width);

// Cuts a line into consecutive fields of the given widths (missing columns
// give empty fields); for headers such as (F6.2, 3I3, I12).
std::vector<std::string> split_fixed(const std::string& line, const std::vector<int>& widths);

}  // namespace abyss::util

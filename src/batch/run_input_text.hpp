// A run-input file held as text, with the lines of every record located, so
// that a sweep can change one value of one record and leave every other
// character of the file as the user wrote it.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <vector>

namespace abyss::batch {

// A defect of a sweep description or of its template (not of a run).
class SweepError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Lines [first, first + count) of the text hold one record.
struct RecordSpan {
  int record = 0;     // 1..32
  int first = 0;      // 0-based line index
  int count = 0;      // lines consumed
  bool name = false;  // a whole-line name record
};

class RunInputText {
 public:
  // Locates records 1 to 32 the way the engine reads them (free-format records
  // over as many lines as they need). Records 30 to 32 may be cut short by
  // the end of the text; a defect in records 1 to 29 is a SweepError.
  explicit RunInputText(std::string text);

  const std::string& text() const { return text_; }
  // True when records 30 to 32 are all present, so run options may follow.
  bool complete() const { return complete_; }
  // The occurrence-th (0-based) instance of a record (records 8 to 13 and 30
  // repeat per concentration entry or component).
  const RecordSpan& span(int record, int occurrence = 0) const;
  int occurrences(int record) const;

  // Value `item` (0-based) of a numeric record, as written.
  std::string value(int record, int occurrence, std::size_t item) const;
  // Replaces value `item` of a numeric record by `text`.
  void set_value(int record, int occurrence, std::size_t item, const std::string& text);
  // Replaces a name record (a file name or the title) by `text`.
  void set_name(int record, int occurrence, const std::string& text);

  // The text with the given run-option lines after record 32.
  std::string with_options(const std::vector<std::string>& lines) const;

 private:
  struct Token {
    int line;
    std::size_t pos, len;
  };
  std::vector<Token> tokens(const RecordSpan& s) const;
  void relocate();

  std::string text_;
  std::vector<std::string> lines_;
  std::vector<RecordSpan> spans_;
  bool complete_ = false;
};

}  // namespace abyss::batch

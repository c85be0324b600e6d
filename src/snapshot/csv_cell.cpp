#include "csv_cell.h"

#include <algorithm>
#include <utility>

namespace vqx::snapshot::detail {

bool NeedsApostrophe(std::string_view text) {
  return !text.empty() && std::string_view("=+-@\t\r\n'").find(text[0]) != std::string_view::npos;
}

std::string CsvQuoted(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos && text.rfind('\'', 0) != 0) return text;
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

}  // namespace vqx::snapshot::detail

namespace vqx::snapshot::detail {

namespace {

std::string LineText(size_t line) { return "line " + std::to_string(line) + ": "; }

bool Fail(std::string* error, const std::string& message) {
  if (error) *error = message;
  return false;
}

}  // namespace

CsvRecordReader::CsvRecordReader(std::string_view text, size_t mostCells, size_t longestCell, std::string whatFits)
    : text_(text), mostCells_(mostCells), longestCell_(longestCell), whatFits_(std::move(whatFits)) {
  if (text_.substr(0, 3) == "\xEF\xBB\xBF") next_ = 3;  // a spreadsheet's byte order mark
}

bool CsvRecordReader::Append(std::string& cell, std::string_view part, std::string* error) {
  if (cell.size() + part.size() > longestCell_) {
    return Fail(error, LineText(recordLine_) + "a cell longer than " + std::to_string(longestCell_) + " characters" +
                           (whatFits_.empty() ? std::string() : "; " + whatFits_));
  }
  cell += part;
  return true;
}

bool CsvRecordReader::Next(std::vector<std::string>* cells, size_t* line, std::string* error) {
  size_t count = 0;
  recordLine_ = line_;
  *line = line_;
  quoted_.clear();
  for (;;) {
    if (count >= mostCells_) {
      return Fail(error, LineText(recordLine_) + "more than " + std::to_string(mostCells_) + " cells in one record");
    }
    if (cells->size() <= count) cells->emplace_back();
    std::string& cell = (*cells)[count];
    cell.clear();
    bool quoted = false;
    if (next_ < text_.size() && text_[next_] == '"') {
      quoted = true;
      const size_t opened = line_;
      ++next_;
      // Up to each quote at once: it ends the cell, or is one of a doubled pair.
      for (;;) {
        const size_t quote = std::min(text_.find('"', next_), text_.size());
        const std::string_view part = text_.substr(next_, quote - next_);
        line_ += static_cast<size_t>(std::count(part.begin(), part.end(), '\n'));
        if (!Append(cell, part, error)) return false;
        next_ = quote;
        if (next_ >= text_.size()) {
          return Fail(error, LineText(opened) + "a quoted cell is not closed (its closing \" is missing)");
        }
        if (next_ + 1 < text_.size() && text_[next_ + 1] == '"') {
          if (!Append(cell, "\"", error)) return false;
          next_ += 2;
          continue;
        }
        ++next_;
        break;
      }
    }
    // To the comma or line end; a CR alone is part of the cell.
    size_t end = next_;
    for (;;) {
      end = std::min(text_.find_first_of(",\r\n", end), text_.size());
      if (end < text_.size() && text_[end] == '\r' && !(end + 1 < text_.size() && text_[end + 1] == '\n')) {
        ++end;
        continue;
      }
      break;
    }
    if (end > next_) {
      if (quoted) return Fail(error, LineText(line_) + "text after the closing quote of a cell");
      if (!Append(cell, text_.substr(next_, end - next_), error)) return false;
      next_ = end;
    }
    quoted_.push_back(quoted);
    ++count;
    if (next_ < text_.size() && text_[next_] == ',') {
      ++next_;
      continue;
    }
    if (next_ < text_.size() && text_[next_] == '\r') ++next_;
    if (next_ < text_.size() && text_[next_] == '\n') {
      ++next_;
      ++line_;
    }
    cells->resize(count);
    return true;
  }
}

}  // namespace vqx::snapshot::detail

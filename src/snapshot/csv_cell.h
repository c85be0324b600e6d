#pragma once

// The CSV cells of the History and connection-list exports, which spreadsheets open.

#include <string>
#include <string_view>
#include <vector>

namespace vqx::snapshot::detail {

// A spreadsheet runs a cell that starts with = + - @ TAB, CR or LF as a formula ("=1+1",
// "=cmd|' /C calc'!A0"); a unit's name or a description must stay text. The usual
// defence is a leading apostrophe, which spreadsheets take as "text" and do not show. A
// text that starts with an apostrophe gets one too, so that dropping one leading
// apostrophe on reading always gives the text back.
bool NeedsApostrophe(std::string_view text);

// text as one cell: in double quotes (inner ones doubled) when it holds a comma, a quote,
// CR or LF, or starts with an apostrophe; as it is otherwise.
std::string CsvQuoted(const std::string& text);

}  // namespace vqx::snapshot::detail

namespace vqx::snapshot::detail {

// Reads CSV text one RFC 4180 record at a time (cells separated by commas, records by
// CR LF or LF, a cell in double quotes may hold commas, line breaks and doubled quotes),
// so that a file of many records costs no more memory than its longest one. A UTF-8 byte
// order mark at the start is skipped.
class CsvRecordReader {
 public:
  // A record of more than mostCells cells, or a cell longer than longestCell bytes, is
  // refused where it passes the bound, before it is held in memory; whatFits, when
  // given, ends the refusal of a long cell ("an address book holds ...").
  CsvRecordReader(std::string_view text, size_t mostCells, size_t longestCell, std::string whatFits = {});

  bool AtEnd() const { return next_ >= text_.size(); }

  // The next record's cells into *cells (its strings are reused), the line it starts on
  // into *line. False with "line L: ..." in *error when the record is malformed: a quote
  // that is never closed (the line where it opened), text after a closing quote, a bound
  // passed.
  bool Next(std::vector<std::string>* cells, size_t* line, std::string* error);

  // Whether cell n of the last record was in quotes ("" is an empty text, not a blank).
  bool Quoted(size_t n) const { return n < quoted_.size() && quoted_[n]; }

 private:
  bool Append(std::string& cell, std::string_view part, std::string* error);

  std::string_view text_;
  size_t mostCells_;
  size_t longestCell_;
  std::string whatFits_;
  size_t next_ = 0;
  size_t line_ = 1;
  size_t recordLine_ = 1;
  std::vector<bool> quoted_;
};

}  // namespace vqx::snapshot::detail

#pragma once

// The CSV cells of the History and connection-list exports, which spreadsheets open.

#include <string>
#include <string_view>

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

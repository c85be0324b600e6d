#include "csv_cell.h"

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

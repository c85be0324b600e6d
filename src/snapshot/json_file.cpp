#include <cstdio>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "snapshot.h"
#include "system_port.h"
#include "text_position.h"

namespace vqx::snapshot {

using nlohmann::json;

namespace {

// Far more than the History's 200 entries take; a file this large is not a snapshot.
constexpr size_t kLargestFile = 16u * 1024u * 1024u;
// A History export is a list of objects holding a list ("unsupported"): three levels.
constexpr size_t kDeepestNesting = 8;

bool Refuse(std::string* error, const std::string& path, const std::string& reason) {
  if (error) *error = path + ": " + reason;
  return false;
}

// "-" is standard input, which may be a pipe. Any other name must be a regular file: a
// FIFO is opened without waiting for a writer and refused, like a device or a folder.
bool ReadWholeFile(const std::string& path, std::string& content, std::string* error,
                   const char* kind = "a snapshot file") {
  const bool standardInput = path == "-";
  const std::string shown = standardInput ? std::string("standard input") : path;
  const NamedFileRead read =
      standardInput ? ReadStandardInput(kLargestFile, &content) : ReadNamedFile(path, kLargestFile, &content);
  switch (read.outcome) {
    case NamedFileRead::Outcome::Read: return true;
    case NamedFileRead::Outcome::NotFound: return Refuse(error, shown, "does not exist");
    case NamedFileRead::Outcome::PermissionDenied: return Refuse(error, shown, "permission denied");
    case NamedFileRead::Outcome::Folder: return Refuse(error, shown, "is a directory, not a file");
    case NamedFileRead::Outcome::NotARegularFile:
      return Refuse(error, shown,
                    "is not a regular file (a FIFO, device or socket); give a file, or - for standard input");
    case NamedFileRead::Outcome::TooLarge:
      return Refuse(error, shown,
                    "is larger than " + std::to_string(kLargestFile / (1024 * 1024)) + " MB; not " + kind);
    case NamedFileRead::Outcome::NoDevice:
      return Refuse(error, shown, "is a device with nothing behind it (no terminal or unit attached)");
    case NamedFileRead::Outcome::LinkLoop:
      return Refuse(error, shown, "is a loop of symbolic links that never reaches a file");
    case NamedFileRead::Outcome::Failed: break;
  }
  return Refuse(error, shown, "cannot be read: " + read.systemMessage);
}

// The parser's own words without its prefix and position ("syntax error while parsing
// object - unexpected '}'; expected string literal", "number overflow parsing '1e400'").
std::string ParserReason(const std::string& what) {
  const size_t column = what.find("column ");
  if (column != std::string::npos) {
    const size_t colon = what.find(": ", column);
    if (colon != std::string::npos) return what.substr(colon + 2);
  }
  const size_t bracket = what.find("] ");
  return bracket != std::string::npos ? what.substr(bracket + 2) : what;
}

bool OnlyBlanks(const std::string& text) {
  return text.find_first_not_of(" \t\r\n") == std::string::npos;
}

// Builds the document itself, so that it can stop where a snapshot cannot be: deeper
// than kDeepestNesting (a file of a million '[' would otherwise cost gigabytes before
// anything looks at it) or an object naming a key twice (which the library would
// silently resolve to the last value). Nothing here throws but out of memory.
class SnapshotSaxBuilder {
 public:
  SnapshotSaxBuilder(const std::string& text, const JsonListLimit& limit) : text_(text), limit_(limit) {}

  bool null() { return Value(json(nullptr)); }
  bool boolean(bool v) { return Value(json(v)); }
  bool number_integer(json::number_integer_t v) { return Value(json(v)); }
  bool number_unsigned(json::number_unsigned_t v) { return Value(json(v)); }
  bool number_float(json::number_float_t v, const std::string&) { return Value(json(v)); }
  bool string(json::string_t& v) { return Value(json(std::move(v))); }
  bool binary(json::binary_t&) { return Refuse("binary values are not JSON"); }

  bool start_object(std::size_t) { return Open(json::object()); }
  bool start_array(std::size_t) { return Open(json::array()); }
  bool end_object() { return Close(); }
  bool end_array() { return Close(); }

  bool key(json::string_t& k) {
    Level& level = levels_.back();
    if (level.keys.size() >= limit_.mostInside) return Refuse(limit_.insideRefusal + Where());
    if (!level.keys.insert(k).second) {
      return Refuse("\"" + k + "\" is given twice in one object" + Where() + "; give each field once");
    }
    level.key = std::move(k);
    return true;
  }

  bool parse_error(std::size_t position, const std::string&, const nlohmann::detail::exception& e) {
    // The parser counts the byte it stopped at from 1.
    return Refuse("not valid JSON at " + detail::LineAndColumn(text_, position > 0 ? position - 1 : 0) + ": " +
                  ParserReason(e.what()));
  }

  std::optional<json> Take() { return reason_.empty() ? std::optional<json>(std::move(root_)) : std::nullopt; }
  const std::string& Reason() const { return reason_; }

 private:
  struct Level {
    json* node;
    std::set<std::string> keys;
    std::string key;
  };

  // " (entry 3)" inside a list of snapshots; a History names its entries so.
  std::string Where() const {
    if (levels_.size() < 2 || !levels_.front().node->is_array()) return {};
    return " (entry " + std::to_string(levels_.front().node->size()) + ")";
  }

  bool Refuse(const std::string& reason) {
    if (reason_.empty()) reason_ = reason;
    return false;
  }

  json* Place(json&& v) {
    if (levels_.empty()) {
      root_ = std::move(v);
      return &root_;
    }
    Level& level = levels_.back();
    if (level.node->is_array()) {
      const bool top = levels_.size() == 1;
      if (level.node->size() >= (top ? limit_.most : limit_.mostInside)) {
        Refuse(top ? limit_.refusal : limit_.insideRefusal + Where());
        return nullptr;
      }
    }
    if (level.node->is_object()) return &((*level.node)[level.key] = std::move(v));
    level.node->push_back(std::move(v));
    return &level.node->back();
  }

  bool Value(json&& v) { return Place(std::move(v)) != nullptr; }

  bool Open(json&& container) {
    if (levels_.size() >= kDeepestNesting) {
      return Refuse("nested deeper than " + std::to_string(kDeepestNesting) +
                    " levels; a snapshot is one flat object and a History export a list of them");
    }
    json* node = Place(std::move(container));
    if (node == nullptr) return false;
    levels_.push_back({node, {}, {}});
    return true;
  }

  bool Close() {
    levels_.pop_back();
    return true;
  }

  const std::string& text_;
  const JsonListLimit& limit_;
  json root_;
  std::vector<Level> levels_;
  std::string reason_;
};

}  // namespace

std::optional<json> ParseJsonText(const std::string& text, std::string* reason, const JsonListLimit& limit) {
  // The parser takes a NUL for the end of the text and would accept "{}" followed by a
  // NUL and anything at all: every JSON file the program reads is refused here instead.
  if (!detail::RefuseNulByte(text, reason)) return std::nullopt;
  SnapshotSaxBuilder builder(text, limit);
  const bool parsed = json::sax_parse(text, &builder, json::input_format_t::json, true);
  std::optional<json> result = builder.Take();
  if (!parsed || !result) {
    if (reason) *reason = builder.Reason().empty() ? std::string("not valid JSON") : builder.Reason();
    return std::nullopt;
  }
  return result;
}

bool ReadTextFile(const std::string& path, std::string* content, std::string* error, const char* kind) {
  content->clear();
  return ReadWholeFile(path, *content, error, kind);
}

std::optional<json> LoadJsonFile(const std::string& path, std::string* error) {
  std::string content;
  if (!ReadWholeFile(path, content, error)) return std::nullopt;
  if (OnlyBlanks(content)) {
    Refuse(error, path, "is empty; expected a JSON snapshot");
    return std::nullopt;
  }
  // A snapshot is an object; the only list a file may hold is a History export, and no
  // History holds more entries than this. Refused at the first one over, before the rest
  // of the list is built.
  // Names are distinct (a repeated one is refused), so an object with more names than a
  // snapshot has fields, companions and extras holds an unknown one: refused there.
  // The same bound holds the "unsupported" list, which names fields.
  const size_t mostInside = 2 * FieldNames().size() + 8;
  const JsonListLimit historyExport{
      static_cast<size_t>(kHistoryCapacity),
      "the list holds more than " + std::to_string(kHistoryCapacity) + " entries; the History holds at most " +
          std::to_string(kHistoryCapacity),
      mostInside, "more than " + std::to_string(mostInside) +
                      " names or list elements in one object or inner list; a snapshot has fewer fields"};
  std::string reason;
  std::optional<json> parsed = ParseJsonText(content, &reason, historyExport);
  if (!parsed) Refuse(error, path, reason);
  return parsed;
}

std::optional<PartialSettings> LoadSnapshotFile(const std::string& path, std::string* error) {
  const auto j = LoadJsonFile(path, error);
  if (!j) return std::nullopt;
  std::string why;
  auto parsed = FromJson(*j, &why);
  if (!parsed) {
    Refuse(error, path, why);
    return std::nullopt;
  }
  return parsed;
}

}  // namespace vqx::snapshot

#include "fleet_ports.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <set>
#include <system_error>

namespace vqx::cli {

namespace {

// A unit per port: a range longer than this is a typing mistake, not a fleet.
constexpr int kLongestComRange = 256;

bool HasWildcard(const std::string& text) { return text.find_first_of("*?[") != std::string::npos; }

// fnmatch's rules for one name of a path: * any run, ? one character, [abc] [a-z] [!a] a set.
bool Matches(std::string_view pattern, std::string_view name) {
  if (pattern.empty()) return name.empty();
  const char p = pattern.front();
  if (p == '*') {
    for (size_t skip = 0; skip <= name.size(); ++skip) {
      if (Matches(pattern.substr(1), name.substr(skip))) return true;
    }
    return false;
  }
  if (name.empty()) return false;
  if (p == '?') return Matches(pattern.substr(1), name.substr(1));
  if (p == '[') {
    const size_t close = pattern.find(']', 2);
    if (close != std::string_view::npos) {
      std::string_view set = pattern.substr(1, close - 1);
      const bool negate = !set.empty() && (set.front() == '!' || set.front() == '^');
      if (negate) set.remove_prefix(1);
      bool found = false;
      for (size_t i = 0; i < set.size(); ++i) {
        if (i + 2 < set.size() && set[i + 1] == '-') {
          found = found || (name.front() >= set[i] && name.front() <= set[i + 2]);
          i += 2;
        } else {
          found = found || name.front() == set[i];
        }
      }
      return found != negate && Matches(pattern.substr(close + 1), name.substr(1));
    }
  }
  return p == name.front() && Matches(pattern.substr(1), name.substr(1));
}

bool ExpandPattern(const std::string& pattern, std::vector<std::string>* out, std::string* error) {
  const std::filesystem::path path(pattern);
  const std::string leaf = path.filename().string();
  const std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
  if (HasWildcard(folder.string())) {
    *error = "the port pattern \"" + pattern + "\" has a wildcard before its last name; only the last name in the path may have one";
    return false;
  }
  std::vector<std::string> found;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.front() == '.' && leaf.front() != '.') continue;  // as a shell does
    if (Matches(leaf, name)) found.push_back((path.has_parent_path() ? (folder / name) : std::filesystem::path(name)).string());
  }
  if (found.empty()) {
    *error = "no port matches \"" + pattern + "\"" +
             (ec ? " (" + folder.string() + ": " + ec.message() + ")" : std::string(" (is the adapter plugged in?)"));
    return false;
  }
  std::sort(found.begin(), found.end());
  out->insert(out->end(), found.begin(), found.end());
  return true;
}

// "COM3" gives 3; -1 for anything else.
int ComNumber(const std::string& text) {
  if (text.size() < 4 || text.size() > 7) return -1;
  for (size_t i = 0; i < 3; ++i) {
    if (std::toupper(static_cast<unsigned char>(text[i])) != "COM"[i]) return -1;
  }
  int number = 0;
  for (size_t i = 3; i < text.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(text[i]))) return -1;
    number = number * 10 + (text[i] - '0');
  }
  return number >= 1 ? number : -1;
}

// "COM3-COM10": true with the ports, or with *error set for a range that is wrong; false
// with *error empty for a text that is no range.
bool ExpandComRange(const std::string& text, std::vector<std::string>* out, std::string* error) {
  const size_t dash = text.find('-');
  if (dash == std::string::npos) return false;
  const int first = ComNumber(text.substr(0, dash));
  const int last = ComNumber(text.substr(dash + 1));
  if (first < 0 || last < 0) return false;
  if (last < first || last - first >= kLongestComRange) {
    *error = "the port range \"" + text + "\" must go upwards and span at most " + std::to_string(kLongestComRange) +
             " ports";
    return true;
  }
  const std::string prefix = text.substr(0, 3);
  for (int n = first; n <= last; ++n) out->push_back(prefix + std::to_string(n));
  return true;
}

}  // namespace

bool ExpandFleetPorts(const std::vector<std::string>& given, std::vector<std::string>* ports, std::string* error) {
  std::vector<std::string> all;
  for (const std::string& option : given) {
    size_t start = 0;
    while (start <= option.size()) {
      const size_t comma = std::min(option.find(',', start), option.size());
      const std::string item = option.substr(start, comma - start);
      start = comma + 1;
      if (item.empty()) continue;
      if (IsNetworkPortName(item)) {
        all.push_back(item);
        continue;
      }
      error->clear();
      if (ExpandComRange(item, &all, error)) {
        if (!error->empty()) return false;
        continue;
      }
      if (HasWildcard(item)) {
        if (!ExpandPattern(item, &all, error)) return false;
        continue;
      }
      all.push_back(item);
    }
  }
  std::set<std::string> seen;
  ports->clear();
  for (std::string& port : all) {
    if (seen.insert(port).second) ports->push_back(std::move(port));
  }
  if (ports->empty()) {
    *error = "--ports names no port";
    return false;
  }
  return true;
}

}  // namespace vqx::cli

#include "app/remote_connections.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "app/text_fields.h"

namespace vqx {

namespace {

bool Refuse(std::string* error, const std::string& message) {
  if (error) *error = message;
  return false;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Digits only, 1..3 of them, value 0..255.
bool ReadOctet(std::string_view text, uint8_t* octet) {
  if (text.empty() || text.size() > 3) return false;
  int value = 0;
  for (const char c : text) {
    if (!IsDigit(c)) return false;
    value = value * 10 + (c - '0');
  }
  if (value > 255) return false;
  *octet = static_cast<uint8_t>(value);
  return true;
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

void WriteSlot(PreferencesBlock& block, int32_t index, const Ipv4& address, std::string_view description) {
  const auto slot = static_cast<size_t>(index);
  char* addressSlot = block.connectionAddresses[slot];
  char* descriptionSlot = block.connectionDescriptions[slot];
  std::memset(addressSlot, 0, sizeof(block.connectionAddresses[slot]));
  std::memset(descriptionSlot, 0, sizeof(block.connectionDescriptions[slot]));
  const std::string text = FormatConnectionAddress(address);
  std::memcpy(addressSlot, text.data(), text.size());  // at most 15 characters
  std::memcpy(descriptionSlot, description.data(), description.size());
}

void ClearSlot(PreferencesBlock& block, int32_t index) {
  const auto slot = static_cast<size_t>(index);
  std::memset(block.connectionAddresses[slot], 0, sizeof(block.connectionAddresses[slot]));
  std::memset(block.connectionDescriptions[slot], 0, sizeof(block.connectionDescriptions[slot]));
}

}  // namespace

std::optional<Ipv4> ParseConnectionAddress(std::string_view text, std::string* error) {
  const std::string_view address = Trimmed(text);
  Ipv4 result{};
  size_t start = 0;
  for (size_t part = 0; part < 4; ++part) {
    const size_t end = part < 3 ? address.find('.', start) : address.size();
    if (end == std::string_view::npos || !ReadOctet(address.substr(start, end - start), &result[part])) {
      Refuse(error, "\"" + std::string(text) + "\" is not an IP address: give four numbers 0 to 255 separated by "
                    "points, such as 10.0.0.5");
      return std::nullopt;
    }
    start = end + 1;
  }
  return result;
}

std::optional<Ipv4> AddressFromOctetTexts(const std::array<std::string, 4>& octets, std::string* error) {
  static constexpr const char* kOrdinal[] = {"first", "second", "third", "fourth"};
  Ipv4 result{};
  for (size_t i = 0; i < 4; ++i) {
    const std::string_view text = Trimmed(octets[i]);
    if (text.empty()) {
      Refuse(error, std::string("The ") + kOrdinal[i] + " number of the IP address is missing.");
      return std::nullopt;
    }
    if (!ReadOctet(text, &result[i])) {
      Refuse(error, std::string("The ") + kOrdinal[i] + " number of the IP address, " + std::string(text) +
                        ", is not a number from 0 to 255.");
      return std::nullopt;
    }
  }
  return result;
}

std::string FormatConnectionAddress(const Ipv4& address) {
  char text[16];
  std::snprintf(text, sizeof(text), "%d.%d.%d.%d", address[0], address[1], address[2], address[3]);
  return text;
}

bool CheckConnectionDescription(std::string_view description, std::string* error) {
  if (description.empty()) return Refuse(error, "The description is empty: give the name to show for this address.");
  if (description.size() > kConnectionDescriptionMax) {
    return Refuse(error, "The description is " + std::to_string(description.size()) + " characters long; at most " +
                             std::to_string(kConnectionDescriptionMax) + " fit.");
  }
  for (const char c : description) {
    const auto byte = static_cast<unsigned char>(c);
    // 0x80..0x9F are the C1 controls: 0x9B alone starts a terminal's control sequence.
    if (byte < 0x20 || byte == 0x7f || (byte >= 0x80 && byte <= 0x9f)) {
      return Refuse(error, "The description holds a line break or another control character; it must be one "
                           "line of text.");
    }
  }
  return true;
}

int32_t ConnectionCount(const PreferencesBlock& block) {
  return std::clamp(block.connectionCount, int32_t{0}, kRemoteConnectionCapacity);
}

std::vector<RemoteConnection> ConnectionsOf(const PreferencesBlock& block) {
  std::vector<RemoteConnection> list;
  const int32_t count = ConnectionCount(block);
  for (size_t i = 0; i < static_cast<size_t>(count); ++i) {
    const auto& address = block.connectionAddresses[i];
    const auto& description = block.connectionDescriptions[i];
    list.push_back({std::string(address, FieldLength(address)), std::string(description, FieldLength(description))});
  }
  return list;
}

std::optional<Ipv4> StoredConnectionAddress(const PreferencesBlock& block, int32_t index) {
  if (index < 0 || index >= ConnectionCount(block)) return std::nullopt;
  const auto& text = block.connectionAddresses[static_cast<size_t>(index)];
  int32_t numbers[4];
  if (!ParseFourDecimals(text, FieldLength(text), numbers)) return std::nullopt;
  Ipv4 address{};
  for (size_t i = 0; i < 4; ++i) {
    if (numbers[i] < 0 || numbers[i] > 255) return std::nullopt;
    address[i] = static_cast<uint8_t>(numbers[i]);
  }
  return address;
}

int32_t FindConnectionByAddress(const PreferencesBlock& block, const Ipv4& address, int32_t except) {
  const int32_t count = ConnectionCount(block);
  for (int32_t i = 0; i < count; ++i) {
    if (i == except) continue;
    if (StoredConnectionAddress(block, i) == address) return i;
  }
  return -1;
}

std::string DuplicateAddressWarning(const PreferencesBlock& block, const Ipv4& address, int32_t except) {
  const int32_t other = FindConnectionByAddress(block, address, except);
  if (other < 0) return {};
  const auto& description = block.connectionDescriptions[static_cast<size_t>(other)];
  return "The remote connection list already holds " + FormatConnectionAddress(address) + " (\"" +
         std::string(description, FieldLength(description)) +
         "\"). Only the first entry with an address names the unit on the status panel; the others are never "
         "used.";
}

std::string ConnectionListFullText() {
  return "The remote connection list is full: it holds " + std::to_string(kRemoteConnectionCapacity) +
         " entries, as many as the preferences file has room for. Remove one first.";
}

std::unique_ptr<RemoteConnectionListCopy> CopyOfConnectionList(const PreferencesBlock& block) {
  auto copy = std::make_unique<RemoteConnectionListCopy>();
  std::memcpy(copy->addresses, block.connectionAddresses, sizeof(copy->addresses));
  std::memcpy(copy->descriptions, block.connectionDescriptions, sizeof(copy->descriptions));
  copy->count = block.connectionCount;
  return copy;
}

void RestoreConnectionList(PreferencesBlock& block, const RemoteConnectionListCopy& copy) {
  std::memcpy(block.connectionAddresses, copy.addresses, sizeof(copy.addresses));
  std::memcpy(block.connectionDescriptions, copy.descriptions, sizeof(copy.descriptions));
  block.connectionCount = copy.count;
}

bool AddConnection(PreferencesBlock& block, const Ipv4& address, std::string_view description, std::string* error) {
  if (!CheckConnectionDescription(description, error)) return false;
  const int32_t count = ConnectionCount(block);
  if (count >= kRemoteConnectionCapacity) return Refuse(error, ConnectionListFullText());
  WriteSlot(block, count, address, description);
  block.connectionCount = count + 1;
  return true;
}

bool EditConnection(PreferencesBlock& block, int32_t index, const Ipv4& address, std::string_view description,
                    std::string* error) {
  if (index < 0 || index >= ConnectionCount(block)) return Refuse(error, "That remote connection no longer exists.");
  if (!CheckConnectionDescription(description, error)) return false;
  WriteSlot(block, index, address, description);
  return true;
}

bool RemoveConnection(PreferencesBlock& block, int32_t index) {
  const int32_t count = ConnectionCount(block);
  if (index < 0 || index >= count) return false;
  for (int32_t i = index; i + 1 < count; ++i) {
    const auto to = static_cast<size_t>(i);
    std::memcpy(block.connectionAddresses[to], block.connectionAddresses[to + 1], sizeof(block.connectionAddresses[to]));
    std::memcpy(block.connectionDescriptions[to], block.connectionDescriptions[to + 1],
                sizeof(block.connectionDescriptions[to]));
  }
  // The last slot falls out of use: no removed description stays behind in the file.
  ClearSlot(block, count - 1);
  block.connectionCount = count - 1;
  return true;
}

bool ReplaceConnections(PreferencesBlock& block, std::span<const std::pair<Ipv4, std::string>> entries,
                        std::string* error) {
  if (entries.size() > static_cast<size_t>(kRemoteConnectionCapacity)) {
    return Refuse(error, std::to_string(entries.size()) + " entries do not fit: the list holds at most " +
                             std::to_string(kRemoteConnectionCapacity));
  }
  for (size_t i = 0; i < entries.size(); ++i) {
    std::string why;
    if (!CheckConnectionDescription(entries[i].second, &why)) {
      return Refuse(error, "entry " + std::to_string(i + 1) + ": " + why);
    }
  }
  const int32_t before = ConnectionCount(block);
  const auto count = static_cast<int32_t>(entries.size());
  for (int32_t i = 0; i < count; ++i) {
    WriteSlot(block, i, entries[static_cast<size_t>(i)].first, entries[static_cast<size_t>(i)].second);
  }
  for (int32_t i = count; i < before; ++i) ClearSlot(block, i);
  block.connectionCount = count;
  return true;
}

}  // namespace vqx

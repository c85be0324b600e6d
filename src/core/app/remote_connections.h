#pragma once

// The remote connection list of the preferences block: the named peers the status panel
// shows instead of a bare address. Every front-end (the desktop dialogs, vqxctl) edits
// the list through these functions, so the checks and messages are the same everywhere.
//
// An entry is stored as the address's "%d.%d.%d.%d" text in its 16-byte slot and the
// description, NUL-terminated, in its 64-byte slot. An edit writes only the slots it
// changes and the count; every other byte of the block stays as it was.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/preferences_block.h"

namespace vqx {

inline constexpr size_t kConnectionDescriptionMax = 63;

using Ipv4 = std::array<uint8_t, 4>;

// One entry as a user sees it: the address text as stored, the description.
struct RemoteConnection {
  std::string address;
  std::string description;
};

// A typed address: four decimal numbers 0..255 separated by points, nothing else
// (blanks around it are allowed). A refusal says why in *error.
std::optional<Ipv4> ParseConnectionAddress(std::string_view text, std::string* error);
// The four numbers of the address boxes, each as typed; an empty or too large box is named.
std::optional<Ipv4> AddressFromOctetTexts(const std::array<std::string, 4>& octets, std::string* error);
// "%d.%d.%d.%d".
std::string FormatConnectionAddress(const Ipv4& address);

// Up to 63 characters, no line break or other control character (the status panel draws
// one line, and a NUL would cut the text short).
bool CheckConnectionDescription(std::string_view description, std::string* error);

// The entries in use, in list order (the count of a damaged file is bounded).
std::vector<RemoteConnection> ConnectionsOf(const PreferencesBlock& block);
int32_t ConnectionCount(const PreferencesBlock& block);

// The address an entry's text holds, read as the status panel reads it; nullopt for a
// text that is not four numbers 0..255.
std::optional<Ipv4> StoredConnectionAddress(const PreferencesBlock& block, int32_t index);
// The first entry whose address is this one (the one the status panel uses), or -1.
// except: an entry to pass over (the one being edited), or -1.
int32_t FindConnectionByAddress(const PreferencesBlock& block, const Ipv4& address, int32_t except = -1);

// The warning for an address that another entry already holds: only the first of them
// names the peer. Empty when the address is not held elsewhere.
std::string DuplicateAddressWarning(const PreferencesBlock& block, const Ipv4& address, int32_t except = -1);

// Appends an entry. Refuses (nothing changes) a description that fails the check and a
// full list, with the reason in *error.
bool AddConnection(PreferencesBlock& block, const Ipv4& address, std::string_view description, std::string* error);
// Rewrites entry index in place (its list position stays).
bool EditConnection(PreferencesBlock& block, int32_t index, const Ipv4& address, std::string_view description,
                    std::string* error);
// Removes entry index; the later entries move up one place and the slot that falls out of
// use is cleared. False for an index not in use.
bool RemoveConnection(PreferencesBlock& block, int32_t index);
// Replaces the whole list (an import): every entry is checked first; on refusal nothing
// changes and *error names the entry by its 1-based number.
bool ReplaceConnections(PreferencesBlock& block, std::span<const std::pair<Ipv4, std::string>> entries,
                        std::string* error);

// The list's slots and count as they were before a change, to take the change back.
struct RemoteConnectionListCopy {
  char addresses[kRemoteConnectionCapacity][16];
  char descriptions[kRemoteConnectionCapacity][64];
  int32_t count;
};
std::unique_ptr<RemoteConnectionListCopy> CopyOfConnectionList(const PreferencesBlock& block);
void RestoreConnectionList(PreferencesBlock& block, const RemoteConnectionListCopy& copy);

// The message when the list is full.
std::string ConnectionListFullText();

}  // namespace vqx

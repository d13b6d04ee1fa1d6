// The client's two settings stores behind one interface: the registry store
// (machine and Windows account: windows, fonts, connection profiles) and the
// server store (the person's preferences, kept in the client's own section
// of the person's user area on the server, a text that several clients
// share). Settings are strings: flags "1"/"0", check states "1", "0" or
// empty, numbers in decimal.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "SortedLists.h"

// The base key of the registry store below HKEY_CURRENT_USER.
extern const char* const OmnoraRegistryBaseKey;
// The name of the client's own section of the user area.
extern const char* const OmnoraUserAreaSection;
// The setting that holds the key mapping.
extern const char* const KeyMappingSetting;

// A check box's three states, valued as the platform's BST_ constants.
enum TCheckBoxState : int
{
  cbUnchecked = BST_UNCHECKED,
  cbChecked = BST_CHECKED,
  cbGrayed = BST_INDETERMINATE,
};

class TLyskomConfiguration
{
public:
  TLyskomConfiguration();
  virtual ~TLyskomConfiguration();
  TLyskomConfiguration(const TLyskomConfiguration&) = delete;
  TLyskomConfiguration& operator=(const TLyskomConfiguration&) = delete;

  // Writes the key mapping under "Keymapping2" as its Hollerith pairs.
  virtual void SaveKeyMapping();
  virtual void WriteString(const std::string& name, const std::string& value) = 0;
  // "1" or "0".
  virtual void WriteBool(const std::string& name, bool value);
  // "0", "1", or the empty string for the undetermined state.
  virtual void WriteCheckState(const std::string& name, TCheckBoxState state);
  virtual std::string ReadString(const std::string& name, const std::string& defaultValue) = 0;
  // "1" is true, "0" false, anything else the default.
  virtual bool ReadBool(const std::string& name, bool defaultValue);
  // "0" unchecked, "1" checked, anything else the default.
  virtual TCheckBoxState ReadCheckState(const std::string& name, TCheckBoxState defaultValue);

  // A decimal number (blanks around it allowed); anything else, an empty
  // value or one beyond 32 bits included, reads as the default.
  int ReadInteger(const std::string& name, int defaultValue);
  void WriteInteger(const std::string& name, int value);

  // Replaces the key mapping by the stored "Keymapping2", or by the default
  // bindings when nothing (or nothing readable) is stored.
  void LoadKeyMapping();

  // Pairs of (typed key sequence, command id), ordered by the key's bytes.
  TSortedList& KeyMapping() { return FKeyMapping; }
  // The mapping as (key, command id) pairs in list order.
  std::vector<std::pair<std::string, std::string>> KeyMappingPairs() const;
  // Adds a binding, replacing the command of a key bound already.
  void SetKeyBinding(const std::string& keys, const std::string& commandId);

protected:
  TSortedList FKeyMapping{true};
};

// The key mapping used when a person has none stored: (key sequence,
// command id) pairs, from DefaultKeyBindingTable and KeyCommandTable.
std::vector<std::pair<std::string, std::string>> DefaultKeyMapping();

// ------------------------------------------------------------------ registry

class TLyskomRegistryConfiguration : public TLyskomConfiguration
{
public:
  // With fall-back set, a value missing below a subkey of the base key is
  // read from the base key itself.
  explicit TLyskomRegistryConfiguration(const std::string& baseKey = OmnoraRegistryBaseKey,
                                        bool fallBack = true);
  ~TLyskomRegistryConfiguration() override;

  // Points the store at another key (the base key or a profile's subkey)
  // and empties the key mapping.
  void SetKeyPath(const std::string& path);
  std::string KeyPath() const;
  const std::string& BaseKey() const { return FBaseKey; }
  bool FallBack() const { return FFallBack; }

  // Values are written and read with their length, so a value that holds a
  // zero byte (a scrambled password may) comes back whole.
  void WriteString(const std::string& name, const std::string& value) override;
  std::string ReadString(const std::string& name, const std::string& defaultValue) override;

private:
  const std::string FBaseKey;
  const bool FFallBack;
  std::string FKeyPath;
  mutable TListLock FLock{true};
};

// The key of the connection profile of that name, below the base key.
std::string ProfileKeyPath(const std::string& profileName);

// The name of the default connection profile; empty when there is none.
std::string ReadDefaultConfiguration();

// Scrambles / unscrambles the password kept in a profile's "Pwd" value with
// a key drawn from the Windows user's name. Either may yield zero bytes.
void EncodeSavedPassword(std::string& text);
void DecodeSavedPassword(std::string& text);

// -------------------------------------------------------------------- server

class TLyskomServerConfiguration : public TLyskomConfiguration
{
public:
  TLyskomServerConfiguration();
  ~TLyskomServerConfiguration() override;

  // Names compare byte for byte. A value may hold any character, line
  // feeds included.
  void WriteString(const std::string& name, const std::string& value) override;
  std::string ReadString(const std::string& name, const std::string& defaultValue) override;
  bool HasValue(const std::string& name) const;
  // The values as (name, value) pairs, ordered by name.
  std::vector<std::pair<std::string, std::string>> Values() const;

  // Forgets everything: values, key mapping and the user area as read. A
  // store emptied so builds no user area until one has been read again.
  void Clear();

  // The names of the user area's sections in their order.
  std::vector<std::string> SectionNames() const;
  // True once a user area has been read (or the person was found to have
  // none), so that a new one may be built to replace it.
  bool UserAreaKnown() const;

private:
  struct TSection
  {
    std::string Name;
    // Exactly as read: sections of other clients are written back unchanged.
    std::string Body;
  };

  friend bool LoadServerConfiguration(TLyskomServerConfiguration& config, const std::string& userArea);
  friend bool BuildUserArea(TLyskomServerConfiguration& config, std::string& userArea);

  mutable TListLock FLock{true};
  TSortedList FValues{true};
  std::vector<TSection> FSections;
  // Bodies found beyond the last named section; kept so that nothing of the
  // user area is lost.
  std::vector<std::string> FExtraBodies;
  bool FUserAreaKnown = false;
};

// Fills the store from the text of a user area: the client's own section
// (named "Omnora" in any letter case) overwrites the values it names; other
// values stay. The key mapping is then reloaded. A damaged section body is
// read as far as it goes. False when the text's list of sections cannot be
// read at all: then no values are loaded and no user area can be built from
// the store until a readable one is loaded.
bool LoadServerConfiguration(TLyskomServerConfiguration& config, const std::string& userArea);

// The text of a new user area: every other section as it was read and the
// client's own section rebuilt from the store's values. A value ends at a
// line feed, so line feeds and carriage returns in a value are written as
// "\n" and "\r", and a backslash as "\\"; loading turns them back. False (and an empty text) when no user area has been read, so
// that a failed load is never followed by a save that drops other sections.
bool BuildUserArea(TLyskomServerConfiguration& config, std::string& userArea);

// ----------------------------------------------------- the process's stores

// The stores the program uses, from CreateSettingsStores to
// FreeSettingsStores: the registry store on the base key (with fall-back)
// and a server store that is empty until a user area is read.
extern TLyskomRegistryConfiguration* RegistryConfiguration;
extern TLyskomServerConfiguration* ServerConfiguration;
void CreateSettingsStores();
void FreeSettingsStores();

// ------------------------------------------------- the user area on the server

// Shown when the settings cannot be saved because the user area on the
// server has not been read.
extern const char* const UserAreaNotReadMessage;

// Reads the person's user area from the server (get-person-stat, then the
// text's body) into the store. With newSession (the first read after a
// login) the store is emptied first, so that nothing of an earlier person's
// settings stays in force. A person without a user area gets an empty one.
// False when the area could not be fetched or read: the store then holds
// what it held before (nothing, in a new session, but the default key
// bindings) and builds no user area until one has been read.
bool ReadUserArea(TLyskomServerConfiguration& config, int persNo, bool newSession);

// Builds the user area from the store and makes it the person's user area
// (a new text, then set-user-area). Failures are queued as messages to the
// user; false when nothing was stored.
bool WriteUserArea(TLyskomServerConfiguration& config, int persNo);

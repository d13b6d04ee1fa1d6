#include "LyskomConfiguration.h"

#include <climits>
#include <map>
#include <mutex>

#include "EngineBinding.h"
#include "LKRequest.h"
#include "LyskomErrors.h"
#include "SharedTables.h"
#include "UserMessages.h"
#include "ProtocolText.h"

const char* const OmnoraRegistryBaseKey = "Software\\Tervala\\Omnora\\0.x";
const char* const OmnoraUserAreaSection = "Omnora";
const char* const KeyMappingSetting = "Keymapping2";
const char* const UserAreaNotReadMessage =
  "!The settings were not saved: the user area on the server could not be read.";

namespace {

bool IsBlank(char c)
{
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string TrimBlanks(const std::string& s)
{
  size_t first = 0;
  size_t last = s.size();
  while (first < last && IsBlank(s[first])) ++first;
  while (last > first && IsBlank(s[last - 1])) --last;
  return s.substr(first, last - first);
}

char UpperAscii(char c)
{
  return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c;
}

// Registry key paths compare without letter case and trailing backslashes.
std::string NormalisedKeyPath(const std::string& path)
{
  std::string s = path;
  while (!s.empty() && s.back() == '\\') s.pop_back();
  for (char& c : s) c = UpperAscii(c);
  return s;
}

bool SameTextIgnoringCase(const std::string& a, const std::string& b)
{
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (UpperAscii(a[i]) != UpperAscii(b[i])) return false;
  return true;
}

TComPtr<TSortedStringStringItem> FindPair(const TSortedList& list, const std::string& key)
{
  TComPtr<TSortedStringStringItem> probe = TSortedStringStringItem::Create(key, std::string());
  int index = 0;
  if (!list.Find(probe.Get(), index)) return nullptr;
  return TSortedStringStringItem::From(list.GetItem(index).Get());
}

std::vector<std::pair<std::string, std::string>> PairsOf(const TSortedList& list)
{
  std::vector<std::pair<std::string, std::string>> pairs;
  for (int i = 0; i < list.Count(); ++i) {
    TComPtr<TSortedStringStringItem> pair = TSortedStringStringItem::From(list.GetItem(i).Get());
    if (pair) pairs.emplace_back(pair->Key(), pair->Value());
  }
  return pairs;
}

// ------------------------------------------------------ user-area text form

enum class THollerith
{
  Complete,
  // The count ran past the end: the rest of the text was taken.
  Clamped,
  // No count and "H" at the position; nothing was consumed.
  Broken,
  // Only blanks were left.
  End,
};

// Reads the Hollerith string at pos, after any blanks, and moves pos past it.
THollerith ReadHollerith(const std::string& text, size_t& pos, std::string& out)
{
  out.clear();
  while (pos < text.size() && IsBlank(text[pos])) ++pos;
  if (pos >= text.size()) return THollerith::End;
  size_t p = pos;
  size_t count = 0;
  while (p < text.size() && text[p] >= '0' && text[p] <= '9') {
    // Beyond the text's length the exact count no longer matters.
    if (count <= text.size()) count = count * 10 + size_t(text[p] - '0');
    ++p;
  }
  if (p == pos || p >= text.size() || text[p] != 'H') return THollerith::Broken;
  ++p;
  const size_t available = text.size() - p;
  if (count > available) {
    out = text.substr(p);
    pos = text.size();
    return THollerith::Clamped;
  }
  out = text.substr(p, count);
  pos = p + count;
  return THollerith::Complete;
}

std::string EscapeValue(const std::string& value)
{
  std::string s;
  s.reserve(value.size());
  for (char c : value) {
    switch (c) {
    case '\\': s += "\\\\"; break;
    case '\n': s += "\\n"; break;
    case '\r': s += "\\r"; break;
    default: s.push_back(c);
    }
  }
  return s;
}

// Other backslashes are kept as they stand.
std::string UnescapeValue(const std::string& value)
{
  std::string s;
  s.reserve(value.size());
  for (size_t i = 0; i < value.size(); ++i) {
    const char c = value[i];
    if (c == '\\' && i + 1 < value.size()) {
      const char next = value[i + 1];
      if (next == '\\' || next == 'n' || next == 'r') {
        s.push_back(next == 'n' ? '\n' : next == 'r' ? '\r' : '\\');
        ++i;
        continue;
      }
    }
    s.push_back(c);
  }
  return s;
}

// The pairs of a section body in the client's format: blank, H(name), one
// blank, the value up to the line feed. A line whose name is not a Hollerith
// string is passed over. A repeated name keeps its first value.
std::map<std::string, std::string> ParseSectionPairs(const std::string& body)
{
  std::map<std::string, std::string> pairs;
  size_t pos = 0;
  for (;;) {
    std::string name;
    const THollerith kind = ReadHollerith(body, pos, name);
    if (kind == THollerith::End) break;
    if (kind == THollerith::Broken) {
      const size_t lf = body.find('\n', pos);
      if (lf == std::string::npos) break;
      pos = lf + 1;
      continue;
    }
    std::string value;
    if (kind == THollerith::Complete) {
      if (pos < body.size() && body[pos] == ' ') ++pos;
      const size_t lf = body.find('\n', pos);
      value = body.substr(pos, lf == std::string::npos ? std::string::npos : lf - pos);
      pos = lf == std::string::npos ? body.size() : lf + 1;
    }
    pairs.emplace(name, UnescapeValue(value));
  }
  return pairs;
}

std::string SectionBody(const std::map<std::string, std::string>& pairs)
{
  std::string body;
  for (const auto& [name, value] : pairs) {
    body += ' ';
    body += ToHollerith(name);
    body += ' ';
    body += EscapeValue(value);
    body += '\n';
  }
  return body;
}

// ---------------------------------------------------------- password key

// Any 32-bit value would do; only the low byte of the result is used.
constexpr unsigned long kPasswordKeySeed = 0x6A09E667UL;

std::string WindowsUserName()
{
  // Names that do not fit make the call fail; such a name counts as empty.
  char buffer[61] = {};
  DWORD size = sizeof(buffer);
  if (!GetUserNameA(buffer, &size)) return {};
  return std::string(buffer);
}

unsigned char PasswordStartKey()
{
  unsigned long accumulator = kPasswordKeySeed;
  const std::string name = WindowsUserName();
  for (size_t i = 0; i < name.size(); ++i) {
    const unsigned long code = static_cast<unsigned char>(name[i]);
    // Positions count from 1: the first character stands at an odd one.
    accumulator ^= (i % 2 == 0) ? code << 1 : code;
  }
  return static_cast<unsigned char>(accumulator & 0xFF);
}

unsigned char PermuteKey(unsigned char key)
{
  static const int kTarget[8] = {2, 7, 4, 0, 6, 3, 1, 5};
  unsigned char result = 0;
  for (int bit = 0; bit < 8; ++bit)
    if (key & (1u << bit)) result = static_cast<unsigned char>(result | (1u << kTarget[bit]));
  return result;
}

// ---------------------------------------------------------- registry access

class TRegKey
{
public:
  TRegKey() = default;
  ~TRegKey() { Close(); }
  TRegKey(const TRegKey&) = delete;
  TRegKey& operator=(const TRegKey&) = delete;

  bool Create(const std::string& path)
  {
    Close();
    return RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &FKey,
                           nullptr) == ERROR_SUCCESS;
  }
  bool Open(const std::string& path)
  {
    Close();
    return RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &FKey) == ERROR_SUCCESS;
  }
  void Close()
  {
    if (FKey) RegCloseKey(FKey);
    FKey = nullptr;
  }

  bool WriteString(const std::string& name, const std::string& value)
  {
    // The length is given, so zero bytes inside the value are kept.
    const std::string data = value + '\0';
    return RegSetValueExA(FKey, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.data()),
                          DWORD(data.size())) == ERROR_SUCCESS;
  }

  // False when there is no string value of that name.
  bool ReadString(const std::string& name, std::string& value)
  {
    for (int attempt = 0; attempt < 4; ++attempt) {
      DWORD type = 0;
      DWORD size = 0;
      if (RegQueryValueExA(FKey, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return false;
      if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
      std::string data(size_t(size) + 1, '\0');
      DWORD got = size;
      const LONG rc =
        RegQueryValueExA(FKey, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &got);
      if (rc == ERROR_MORE_DATA) continue;
      if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return false;
      data.resize(got);
      if (!data.empty() && data.back() == '\0') data.pop_back();
      value = std::move(data);
      return true;
    }
    return false;
  }

private:
  HKEY FKey = nullptr;
};

} // namespace

// -------------------------------------------------------- TLyskomConfiguration

TLyskomConfiguration::TLyskomConfiguration() = default;

TLyskomConfiguration::~TLyskomConfiguration() = default;

void TLyskomConfiguration::SaveKeyMapping()
{
  WriteString(KeyMappingSetting, FKeyMapping.SaveToText());
}

void TLyskomConfiguration::WriteBool(const std::string& name, bool value)
{
  WriteString(name, value ? "1" : "0");
}

void TLyskomConfiguration::WriteCheckState(const std::string& name, TCheckBoxState state)
{
  switch (state) {
  case cbUnchecked: WriteString(name, "0"); break;
  case cbChecked: WriteString(name, "1"); break;
  default: WriteString(name, ""); break;
  }
}

bool TLyskomConfiguration::ReadBool(const std::string& name, bool defaultValue)
{
  const std::string value = ReadString(name, "");
  if (value == "1") return true;
  if (value == "0") return false;
  return defaultValue;
}

TCheckBoxState TLyskomConfiguration::ReadCheckState(const std::string& name, TCheckBoxState defaultValue)
{
  const std::string value = ReadString(name, "");
  if (value == "0") return cbUnchecked;
  if (value == "1") return cbChecked;
  return defaultValue;
}

int TLyskomConfiguration::ReadInteger(const std::string& name, int defaultValue)
{
  const std::string text = TrimBlanks(ReadString(name, ""));
  size_t pos = 0;
  bool negative = false;
  if (pos < text.size() && (text[pos] == '-' || text[pos] == '+')) negative = text[pos++] == '-';
  if (pos >= text.size()) return defaultValue;
  long long value = 0;
  for (; pos < text.size(); ++pos) {
    const char c = text[pos];
    if (c < '0' || c > '9') return defaultValue;
    value = value * 10 + (c - '0');
    if (value > 1LL + INT_MAX) return defaultValue;
  }
  if (negative) value = -value;
  if (value < INT_MIN || value > INT_MAX) return defaultValue;
  return int(value);
}

void TLyskomConfiguration::WriteInteger(const std::string& name, int value)
{
  WriteString(name, std::to_string(value));
}

void TLyskomConfiguration::LoadKeyMapping()
{
  const std::string text = ReadString(KeyMappingSetting, "");
  if (!text.empty()) FKeyMapping.LoadFromText(text);
  if (text.empty() || FKeyMapping.Count() == 0) {
    FKeyMapping.Clear();
    for (const auto& [keys, command] : DefaultKeyMapping())
      FKeyMapping.Add(TSortedStringStringItem::Create(keys, command).Get());
  }
}

std::vector<std::pair<std::string, std::string>> TLyskomConfiguration::KeyMappingPairs() const
{
  return PairsOf(FKeyMapping);
}

void TLyskomConfiguration::SetKeyBinding(const std::string& keys, const std::string& commandId)
{
  TComPtr<TSortedStringStringItem> item = TSortedStringStringItem::Create(keys, commandId);
  FKeyMapping.Remove(item.Get());
  FKeyMapping.Add(item.Get());
}

std::vector<std::pair<std::string, std::string>> DefaultKeyMapping()
{
  std::vector<std::pair<std::string, std::string>> pairs;
  for (const TKeyBinding& binding : DefaultKeyBindingTable)
    if (const TKeyCommand* command = FindKeyCommand(binding.Command)) pairs.emplace_back(binding.Keys, command->Id);
  return pairs;
}

// ----------------------------------------------- TLyskomRegistryConfiguration

TLyskomRegistryConfiguration::TLyskomRegistryConfiguration(const std::string& baseKey, bool fallBack)
  : FBaseKey(baseKey), FFallBack(fallBack), FKeyPath(baseKey)
{
}

TLyskomRegistryConfiguration::~TLyskomRegistryConfiguration() = default;

void TLyskomRegistryConfiguration::SetKeyPath(const std::string& path)
{
  {
    std::lock_guard guard(FLock);
    FKeyPath = path;
  }
  FKeyMapping.Clear();
}

std::string TLyskomRegistryConfiguration::KeyPath() const
{
  std::lock_guard guard(FLock);
  return FKeyPath;
}

void TLyskomRegistryConfiguration::WriteString(const std::string& name, const std::string& value)
{
  std::lock_guard guard(FLock);
  TRegKey key;
  if (key.Create(FKeyPath)) key.WriteString(name, value);
}

std::string TLyskomRegistryConfiguration::ReadString(const std::string& name, const std::string& defaultValue)
{
  std::lock_guard guard(FLock);
  TRegKey key;
  std::string value;
  // Reading never creates a key: a mistyped profile name leaves no trace.
  if (key.Open(FKeyPath) && key.ReadString(name, value)) return value;
  if (!FFallBack || NormalisedKeyPath(FKeyPath) == NormalisedKeyPath(FBaseKey)) return defaultValue;
  key.Close();
  if (key.Open(FBaseKey) && key.ReadString(name, value)) return value;
  // Stored in neither key: what the caller would have had without a
  // profile, so that a login through a profile changes no setting.
  return defaultValue;
}

std::string ProfileKeyPath(const std::string& profileName)
{
  return std::string(OmnoraRegistryBaseKey) + "\\" + profileName;
}

std::string ReadDefaultConfiguration()
{
  TRegKey key;
  std::string name;
  if (key.Create(OmnoraRegistryBaseKey)) key.ReadString("DefaultConfiguration", name);
  return name;
}

void EncodeSavedPassword(std::string& text)
{
  unsigned char key = PasswordStartKey();
  for (char& c : text) {
    const unsigned char out = static_cast<unsigned char>(static_cast<unsigned char>(c) ^ key);
    key = PermuteKey(static_cast<unsigned char>(key ^ out));
    c = static_cast<char>(out);
  }
}

void DecodeSavedPassword(std::string& text)
{
  unsigned char key = PasswordStartKey();
  for (char& c : text) {
    const unsigned char in = static_cast<unsigned char>(c);
    c = static_cast<char>(in ^ key);
    key = PermuteKey(static_cast<unsigned char>(key ^ in));
  }
}

// ------------------------------------------------- TLyskomServerConfiguration

TLyskomServerConfiguration::TLyskomServerConfiguration() = default;

TLyskomServerConfiguration::~TLyskomServerConfiguration() = default;

void TLyskomServerConfiguration::WriteString(const std::string& name, const std::string& value)
{
  std::lock_guard guard(FLock);
  if (TComPtr<TSortedStringStringItem> pair = FindPair(FValues, name))
    pair->SetValue(value);
  else
    FValues.Add(TSortedStringStringItem::Create(name, value).Get());
}

std::string TLyskomServerConfiguration::ReadString(const std::string& name, const std::string& defaultValue)
{
  std::lock_guard guard(FLock);
  TComPtr<TSortedStringStringItem> pair = FindPair(FValues, name);
  return pair ? pair->Value() : defaultValue;
}

bool TLyskomServerConfiguration::HasValue(const std::string& name) const
{
  std::lock_guard guard(FLock);
  return bool(FindPair(FValues, name));
}

std::vector<std::pair<std::string, std::string>> TLyskomServerConfiguration::Values() const
{
  std::lock_guard guard(FLock);
  return PairsOf(FValues);
}

void TLyskomServerConfiguration::Clear()
{
  std::lock_guard guard(FLock);
  FValues.Clear();
  FKeyMapping.Clear();
  FSections.clear();
  FExtraBodies.clear();
  FUserAreaKnown = false;
}

std::vector<std::string> TLyskomServerConfiguration::SectionNames() const
{
  std::lock_guard guard(FLock);
  std::vector<std::string> names;
  for (const TSection& section : FSections) names.push_back(section.Name);
  return names;
}

bool TLyskomServerConfiguration::UserAreaKnown() const
{
  std::lock_guard guard(FLock);
  return FUserAreaKnown;
}

bool LoadServerConfiguration(TLyskomServerConfiguration& config, const std::string& userArea)
{
  using TSection = TLyskomServerConfiguration::TSection;
  std::vector<TSection> sections;
  std::vector<std::string> extraBodies;
  bool readable = true;

  // The list of section names must be whole: without it no body can be
  // told from another.
  size_t pos = 0;
  std::string header;
  THollerith kind = ReadHollerith(userArea, pos, header);
  if (kind == THollerith::Broken || kind == THollerith::Clamped) readable = false;
  if (readable && kind == THollerith::Complete) {
    size_t headerPos = 0;
    std::string name;
    while (readable && (kind = ReadHollerith(header, headerPos, name)) != THollerith::End) {
      if (kind != THollerith::Complete) readable = false;
      else sections.push_back(TSection{name, std::string()});
    }
  }
  // A damaged body takes the rest of the text, so nothing is lost with it.
  size_t index = 0;
  while (readable) {
    std::string body;
    kind = ReadHollerith(userArea, pos, body);
    if (kind == THollerith::End) break;
    if (kind == THollerith::Broken) {
      body = userArea.substr(pos);
      pos = userArea.size();
    }
    if (index < sections.size())
      sections[index].Body = std::move(body);
    else
      extraBodies.push_back(std::move(body));
    ++index;
  }

  {
    std::lock_guard guard(config.FLock);
    config.FSections.clear();
    config.FExtraBodies.clear();
    config.FUserAreaKnown = readable;
    if (readable) {
      config.FSections = std::move(sections);
      config.FExtraBodies = std::move(extraBodies);
      for (const TSection& section : config.FSections) {
        if (!SameTextIgnoringCase(section.Name, OmnoraUserAreaSection)) continue;
        for (const auto& [name, value] : ParseSectionPairs(section.Body)) config.WriteString(name, value);
        break;
      }
    }
  }
  config.LoadKeyMapping();
  return readable;
}

bool BuildUserArea(TLyskomServerConfiguration& config, std::string& userArea)
{
  using TSection = TLyskomServerConfiguration::TSection;
  userArea.clear();
  std::lock_guard guard(config.FLock);
  if (!config.FUserAreaKnown) return false;

  TSection* own = nullptr;
  for (TSection& section : config.FSections)
    if (SameTextIgnoringCase(section.Name, OmnoraUserAreaSection)) {
      own = &section;
      break;
    }
  if (!own) {
    config.FSections.push_back(TSection{OmnoraUserAreaSection, std::string()});
    own = &config.FSections.back();
  }
  std::map<std::string, std::string> pairs = ParseSectionPairs(own->Body);
  for (const auto& [name, value] : PairsOf(config.FValues)) pairs[name] = value;
  own->Body = SectionBody(pairs);

  std::string header;
  for (const TSection& section : config.FSections) header += ' ' + ToHollerith(section.Name);
  userArea = ToHollerith(header);
  for (const TSection& section : config.FSections) userArea += ' ' + ToHollerith(section.Body);
  for (const std::string& body : config.FExtraBodies) userArea += ' ' + ToHollerith(body);
  return true;
}

// ----------------------------------------------------- the process's stores

TLyskomRegistryConfiguration* RegistryConfiguration = nullptr;
TLyskomServerConfiguration* ServerConfiguration = nullptr;

void CreateSettingsStores()
{
  ServerConfiguration = new TLyskomServerConfiguration();
  RegistryConfiguration = new TLyskomRegistryConfiguration(OmnoraRegistryBaseKey, true);
}

void FreeSettingsStores()
{
  delete RegistryConfiguration;
  RegistryConfiguration = nullptr;
  delete ServerConfiguration;
  ServerConfiguration = nullptr;
}

// ------------------------------------------------- the user area on the server

namespace {

// get-text's error for a text that does not exist (or cannot be read).
constexpr int NoSuchTextError = 14;

} // namespace

bool ReadUserArea(TLyskomServerConfiguration& config, int persNo, bool newSession)
{
  if (newSession) config.Clear();
  bool loaded = false;
  try {
    TComPtr<ILKCommunication> communication = GetCommunication();
    TLKRequest person(L_GET_PERSON_STAT, TRequestArgs().Int(persNo));
    if (person.SyncSend(communication.Get()) == TRequestOutcome::Answered) {
      const TVariant area = LKValue(person.Response(), "result.user_area");
      if (area.Type() == VT_I4 && area.AsInt() == 0) {
        loaded = LoadServerConfiguration(config, "");
      } else if (area.Type() == VT_I4) {
        // The whole text: a user area cut short would lose its end when saved.
        TLKRequest text(L_GET_TEXT, TRequestArgs().Int(area.AsInt()).Int(0).Int(2147483647));
        const TRequestOutcome outcome = text.SyncSend(communication.Get());
        if (outcome == TRequestOutcome::Answered) {
          const TVariant body = LKValue(text.Response(), "result");
          if (body.Type() == VT_BSTR) loaded = LoadServerConfiguration(config, body.AsString());
        } else if (outcome == TRequestOutcome::ServerError && text.ErrorNo() == NoSuchTextError) {
          // The text is gone: the person has no user area, and may save a new one.
          loaded = LoadServerConfiguration(config, "");
        }
      }
    }
  } catch (const std::exception&) {
    loaded = false;
  }
  // Key commands keep working whatever could be read.
  if (config.KeyMapping().Count() == 0) config.LoadKeyMapping();
  return loaded;
}

bool WriteUserArea(TLyskomServerConfiguration& config, int persNo)
{
  std::string area;
  if (!BuildUserArea(config, area)) {
    QueueUserMessage(UserAreaNotReadMessage);
    return false;
  }
  try {
    TComPtr<ILKCommunication> communication = GetCommunication();
    TLKRequest create(L_CREATE_TEXT, TRequestArgs().Str(area).Ints({}));
    if (create.SyncSend(communication.Get()) != TRequestOutcome::Answered) {
      ReportLyskomError(create.Response(), "", '!');
      return false;
    }
    const long textNo = LKValue(create.Response(), "result").AsInt();
    TLKRequest setArea(L_SET_USER_AREA, TRequestArgs().Int(persNo).Int(textNo));
    if (setArea.SyncSend(communication.Get()) != TRequestOutcome::Answered) {
      ReportLyskomError(setArea.Response(), "", '!');
      return false;
    }
    return true;
  } catch (const std::exception& e) {
    QueueUserMessage(std::string("!") + e.what());
    return false;
  }
}

// The registry store: values, profiles with their fall-back to the base key,
// the saved password, and settings that are not what they should be.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "LyskomConfiguration.h"
#include "TestSupport.h"

using namespace std::string_literals;

namespace {

class RegistryConfiguration : public testing::Test
{
protected:
  // Every case writes into a fresh HKEY_CURRENT_USER of its own.
  TestSupport::TPrivateRegistryRoot FRoot{HKEY_CURRENT_USER};
  TLyskomRegistryConfiguration FConfig;

  // The raw registry value, for checks that bypass the store.
  static bool RawValue(const std::string& path, const std::string& name, std::string& value, DWORD& type)
  {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    char data[1024];
    DWORD size = sizeof(data);
    const bool ok = RegQueryValueExA(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data), &size) ==
                    ERROR_SUCCESS;
    RegCloseKey(key);
    if (ok) value.assign(data, size);
    return ok;
  }

  static void SetRawDword(const std::string& path, const std::string& name, DWORD value)
  {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
    RegCloseKey(key);
  }
};

// Restores the Windows user name that the password key is drawn from.
class TUserNameOverride
{
public:
  explicit TUserNameOverride(const std::string& name)
  {
    char old[256];
    const DWORD n = GetEnvironmentVariableA("WINEUSERNAME", old, sizeof(old));
    FHad = n > 0 && n < sizeof(old);
    if (FHad) FOld = old;
    SetEnvironmentVariableA("WINEUSERNAME", name.c_str());
  }
  ~TUserNameOverride() { SetEnvironmentVariableA("WINEUSERNAME", FHad ? FOld.c_str() : nullptr); }

private:
  bool FHad = false;
  std::string FOld;
};

std::string Encoded(std::string text)
{
  EncodeSavedPassword(text);
  return text;
}

std::string Decoded(std::string text)
{
  DecodeSavedPassword(text);
  return text;
}

} // namespace

TEST_F(RegistryConfiguration, StringsFlagsCheckStatesAndNumbersRoundTrip)
{
  const std::string eightBit = "Sm\xF6rg\xE5sbord; \"quoted\" \\ tab\there";
  FConfig.WriteString("TraceFileName", eightBit);
  FConfig.WriteString("Empty", "");
  FConfig.WriteBool("FlagOn", true);
  FConfig.WriteBool("FlagOff", false);
  FConfig.WriteCheckState("Checked", cbChecked);
  FConfig.WriteCheckState("Unchecked", cbUnchecked);
  FConfig.WriteCheckState("Grayed", cbGrayed);
  FConfig.WriteInteger("WindowPosLeft", -17);
  FConfig.WriteInteger("WindowPosWidth", 2147483647);

  EXPECT_EQ(FConfig.ReadString("TraceFileName", "c:\\omq.log"), eightBit);
  EXPECT_EQ(FConfig.ReadString("Empty", "default"), "");
  EXPECT_EQ(FConfig.ReadString("NeverWritten", "default"), "default");
  EXPECT_TRUE(FConfig.ReadBool("FlagOn", false));
  EXPECT_FALSE(FConfig.ReadBool("FlagOff", true));
  EXPECT_EQ(FConfig.ReadCheckState("Checked", cbGrayed), cbChecked);
  EXPECT_EQ(FConfig.ReadCheckState("Unchecked", cbGrayed), cbUnchecked);
  EXPECT_EQ(FConfig.ReadInteger("WindowPosLeft", 30), -17);
  EXPECT_EQ(FConfig.ReadInteger("WindowPosWidth", 600), 2147483647);

  // Stored as the strings other programs and older settings expect.
  std::string raw;
  DWORD type = 0;
  ASSERT_TRUE(RawValue(OmnoraRegistryBaseKey, "FlagOn", raw, type));
  EXPECT_EQ(type, DWORD(REG_SZ));
  EXPECT_EQ(raw, "1\0"s);
  ASSERT_TRUE(RawValue(OmnoraRegistryBaseKey, "Grayed", raw, type));
  EXPECT_EQ(raw, "\0"s);
  ASSERT_TRUE(RawValue(OmnoraRegistryBaseKey, "WindowPosLeft", raw, type));
  EXPECT_EQ(raw, "-17\0"s);

  // The undetermined state is stored as an empty string, which reads back
  // as whatever default the reader gives.
  EXPECT_EQ(FConfig.ReadCheckState("Grayed", cbChecked), cbChecked);
  EXPECT_EQ(FConfig.ReadCheckState("Grayed", cbUnchecked), cbUnchecked);
}

TEST_F(RegistryConfiguration, ValuesThatAreNotWhatTheReaderExpectsGiveTheDefault)
{
  FConfig.WriteString("Yes", "yes");
  FConfig.WriteString("Empty", "");
  FConfig.WriteString("Two", "2");
  EXPECT_TRUE(FConfig.ReadBool("Yes", true));
  EXPECT_FALSE(FConfig.ReadBool("Yes", false));
  EXPECT_TRUE(FConfig.ReadBool("Empty", true));
  EXPECT_EQ(FConfig.ReadCheckState("Two", cbGrayed), cbGrayed);

  // Window placement damaged by hand or by another program.
  FConfig.WriteString("WindowPosTop", "abc");
  FConfig.WriteString("WindowPosLeft", "");
  FConfig.WriteString("WindowPosWidth", "12px");
  FConfig.WriteString("WindowPosHeight", "99999999999");
  FConfig.WriteString("StartWindowSizeMode", " 1 ");
  FConfig.WriteString("MessageWriteArea", "-");
  EXPECT_EQ(FConfig.ReadInteger("WindowPosTop", 30), 30);
  EXPECT_EQ(FConfig.ReadInteger("WindowPosLeft", 30), 30);
  EXPECT_EQ(FConfig.ReadInteger("WindowPosWidth", 600), 600);
  EXPECT_EQ(FConfig.ReadInteger("WindowPosHeight", 400), 400);
  EXPECT_EQ(FConfig.ReadInteger("StartWindowSizeMode", 2), 1);
  EXPECT_EQ(FConfig.ReadInteger("MessageWriteArea", 117), 117);
  EXPECT_EQ(FConfig.ReadInteger("NeverWritten", 50), 50);

  // A value of another type is no string: the reader's default applies.
  SetRawDword(OmnoraRegistryBaseKey, "CommSplitSize", 77);
  EXPECT_EQ(FConfig.ReadString("CommSplitSize", "30"), "30");
  EXPECT_EQ(FConfig.ReadInteger("CommSplitSize", 30), 30);
}

TEST_F(RegistryConfiguration, ProfileValuesFallBackToTheBaseKey)
{
  FConfig.WriteString("Server", "base.example.org");
  FConfig.WriteString("TraceFileName", "c:\\base.log");

  const std::string profile = ProfileKeyPath("My server");
  EXPECT_EQ(profile, std::string(OmnoraRegistryBaseKey) + "\\My server");
  FConfig.SetKeyPath(profile);
  EXPECT_EQ(FConfig.KeyPath(), profile);
  FConfig.WriteString("Server", "kom.example.org");
  FConfig.WriteString("Port", "4894");
  FConfig.WriteString("User", "Administrator (of) LysKOM");
  FConfig.WriteBool("SavePwd", true);
  FConfig.WriteBool("UseProxy", false);
  FConfig.WriteString("ProxyServer", "proxy.example.org");
  FConfig.WriteString("ProxyPort", "8080");

  // The profile's own values, and the base key's where the profile has none.
  EXPECT_EQ(FConfig.ReadString("Server", ""), "kom.example.org");
  EXPECT_EQ(FConfig.ReadString("Port", ""), "4894");
  EXPECT_EQ(FConfig.ReadString("User", ""), "Administrator (of) LysKOM");
  EXPECT_TRUE(FConfig.ReadBool("SavePwd", false));
  EXPECT_FALSE(FConfig.ReadBool("UseProxy", true));
  EXPECT_EQ(FConfig.ReadString("ProxyPort", ""), "8080");
  EXPECT_EQ(FConfig.ReadString("TraceFileName", "c:\\omq.log"), "c:\\base.log");
  // Missing in both: the reader's default, as without a profile, whatever
  // the kind of value read.
  EXPECT_EQ(FConfig.ReadString("ReadingViewStyle", "0"), "0");
  EXPECT_EQ(FConfig.ReadString("Pwd", ""), "");
  EXPECT_EQ(FConfig.ReadInteger("FormVCommentSplitSize", 50), 50);
  EXPECT_TRUE(FConfig.ReadBool("AlignTextsToTop", true));
  // A value stored as empty is a value: it is not replaced by the default.
  FConfig.WriteString("ProxyServer", "");
  EXPECT_EQ(FConfig.ReadString("ProxyServer", "proxy.example.org"), "");

  // The values landed in the profile's subkey, not in the base key.
  std::string raw;
  DWORD type = 0;
  ASSERT_TRUE(RawValue(profile, "Server", raw, type));
  EXPECT_EQ(raw, "kom.example.org\0"s);
  ASSERT_TRUE(RawValue(OmnoraRegistryBaseKey, "Server", raw, type));
  EXPECT_EQ(raw, "base.example.org\0"s);

  // Back on the base key, a missing value is the default.
  FConfig.SetKeyPath(OmnoraRegistryBaseKey);
  EXPECT_EQ(FConfig.ReadString("Port", "4894"), "4894");
  EXPECT_EQ(FConfig.ReadString("Server", ""), "base.example.org");

  // A store made without fall-back keeps to its own key.
  TLyskomRegistryConfiguration strict(OmnoraRegistryBaseKey, false);
  strict.SetKeyPath(profile);
  EXPECT_EQ(strict.ReadString("TraceFileName", "c:\\omq.log"), "c:\\omq.log");
  EXPECT_EQ(strict.ReadString("Server", ""), "kom.example.org");
}

TEST_F(RegistryConfiguration, DefaultConfigurationIsReadFromTheBaseKey)
{
  EXPECT_EQ(ReadDefaultConfiguration(), "");
  FConfig.SetKeyPath(ProfileKeyPath("Other"));
  FConfig.WriteString("DefaultConfiguration", "in the profile");
  EXPECT_EQ(ReadDefaultConfiguration(), "");
  FConfig.SetKeyPath(OmnoraRegistryBaseKey);
  FConfig.WriteString("DefaultConfiguration", "My server");
  EXPECT_EQ(ReadDefaultConfiguration(), "My server");
}

TEST_F(RegistryConfiguration, SetKeyPathEmptiesTheKeyMapping)
{
  FConfig.SetKeyBinding("q", "readnext");
  FConfig.SetKeyBinding("q", "readtext");
  ASSERT_EQ(FConfig.KeyMapping().Count(), 1);
  EXPECT_EQ(FConfig.KeyMappingPairs().front().second, "readtext");
  FConfig.SetKeyPath(ProfileKeyPath("x"));
  EXPECT_EQ(FConfig.KeyMapping().Count(), 0);
}

TEST_F(RegistryConfiguration, SavedPasswordSurvivesZeroBytesInItsScrambledForm)
{
  TUserNameOverride user("tester");
  // The first scrambled byte is the password's first byte xor the start
  // key, which the scrambling of a lone zero byte reveals.
  const char startKey = Encoded("\0"s)[0];
  const std::vector<std::string> passwords = {
    std::string(1, startKey) + "gazonk",
    "gaz" + std::string(1, startKey) + "onk",
    "gazonk",
    "",
    "l\xE5ng l\xF6senord med blanksteg",
  };
  int withZero = 0;
  for (const std::string& password : passwords) {
    std::string stored = password;
    EncodeSavedPassword(stored);
    if (stored.find('\0') != std::string::npos) ++withZero;

    FConfig.SetKeyPath(ProfileKeyPath("Saved"));
    FConfig.WriteString("Pwd", stored);
    TLyskomRegistryConfiguration reader;
    reader.SetKeyPath(ProfileKeyPath("Saved"));
    std::string back = reader.ReadString("Pwd", "");
    EXPECT_EQ(back, stored);
    DecodeSavedPassword(back);
    EXPECT_EQ(back, password);
  }
  EXPECT_GE(withZero, 1) << "the first password must scramble to a leading zero byte";

  // Every byte value survives the registry.
  std::string all;
  for (int i = 0; i < 256; ++i) all.push_back(char(i));
  FConfig.WriteString("Pwd", all);
  EXPECT_EQ(FConfig.ReadString("Pwd", ""), all);
}

TEST_F(RegistryConfiguration, PasswordKeyComesFromTheWindowsUserName)
{
  std::string underEmpty, underLong, underBob, underAlice;
  {
    TUserNameOverride user("");
    underEmpty = Encoded("gazonk");
  }
  {
    // Longer than the 60 characters the name is read with: taken as empty.
    TUserNameOverride user(std::string(70, 'n'));
    underLong = Encoded("gazonk");
    EXPECT_EQ(Decoded(underLong), "gazonk");
  }
  {
    TUserNameOverride user("bob");
    underBob = Encoded("gazonk");
    EXPECT_EQ(Decoded(underBob), "gazonk");
  }
  {
    TUserNameOverride user("alice");
    underAlice = Encoded("gazonk");
  }
  {
    TUserNameOverride user(std::string(60, 'n'));
    EXPECT_EQ(Decoded(Encoded("gazonk")), "gazonk");
  }
  EXPECT_EQ(underLong, underEmpty);
  EXPECT_NE(underBob, underAlice);
  EXPECT_NE(underBob, "gazonk");
}

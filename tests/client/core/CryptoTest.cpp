// Encryption of text bodies through the platform's cryptography service.
#include <gtest/gtest.h>

#include <atomic>
#include <cctype>
#include "TestSupport.h"
#include <string>
#include <thread>
#include <vector>

#include "Crypto.h"
#include "ProtocolText.h"

namespace {

const char* const PassPhrase = "58293";

std::string Encrypted(const std::string& pass, std::string text)
{
  tCryptography crypt("", true, pass, "");
  crypt.EncryptString(text);
  return text;
}

std::string Decrypted(const std::string& pass, std::string cipher)
{
  tCryptography crypt("", true, pass, "");
  crypt.DecryptString(cipher);
  return cipher;
}

// Every byte value, 8-bit ones and zero included, over and over.
std::string AllBytes(size_t n)
{
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 37 + 200) & 0xff);
  return s;
}

std::string Message(const std::exception& e) { return e.what(); }

// A key container of this test's own, deleted when the test ends.
class TScratchContainer
{
public:
  TScratchContainer()
    : Name("OmnoraCryptoTest-" + std::to_string(GetCurrentProcessId()) + "-" +
           std::to_string(GetTickCount()))
  {
    Delete();
  }
  ~TScratchContainer() { Delete(); }
  void Delete()
  {
    HCRYPTPROV h = 0;
    CryptAcquireContextA(&h, Name.c_str(), nullptr, PROV_RSA_FULL, CRYPT_DELETEKEYSET);
  }
  const std::string Name;
};

} // namespace

TEST(Cryptography, RoundTripsTextsOfEveryLength)
{
  for (size_t n : {0u, 1u, 7u, 8u, 9u, 1000u}) {
    const std::string plain = AllBytes(n);
    tCryptography crypt("", true, PassPhrase, "");
    std::string s = plain;
    crypt.EncryptString(s);
    // Padded to whole 8-byte blocks, always with at least one padding byte.
    EXPECT_EQ((n / 8 + 1) * 8, s.size()) << n;
    if (n > 0) {
      EXPECT_NE(plain, s.substr(0, n)) << n;
    }
    crypt.DecryptString(s);
    EXPECT_EQ(plain, s) << n;
    // A separate object with the same pass phrase reads it as well.
    EXPECT_EQ(plain, Decrypted(PassPhrase, Encrypted(PassPhrase, plain))) << n;
  }
  EXPECT_EQ(8u, Encrypted(PassPhrase, "").size());
  EXPECT_EQ(16u, Encrypted(PassPhrase, "12345678").size());
}

TEST(Cryptography, RoundTripThroughHexText)
{
  const std::string plain = "R\xe4ksm\xf6rg\xe5s\r\n" + AllBytes(1000);
  const std::string hex = BytesToHexText(Encrypted(PassPhrase, plain));
  // Plain text that a LysKOM text body can carry.
  for (char c : hex) EXPECT_TRUE(isxdigit(static_cast<unsigned char>(c)) || c == '\r');
  EXPECT_NE(std::string::npos, hex.find('\r'));
  EXPECT_EQ(plain, Decrypted(PassPhrase, HexTextToBytes(hex)));
}

TEST(Cryptography, WrongPassPhraseNeverGivesThePlainText)
{
  int refused = 0;
  for (size_t n : {0u, 1u, 7u, 8u, 9u, 1000u}) {
    const std::string plain = AllBytes(n);
    for (const char* other : {"58294", "secret words", "\xe5\xe4\xf6\xe5\xe4"}) {
      const std::string cipher = Encrypted(PassPhrase, plain);
      try {
        EXPECT_NE(plain, Decrypted(other, cipher)) << n << " " << other;
      } catch (const ECryptographyError& e) {
        ++refused;
        EXPECT_EQ(0u, Message(e).find("Cryptography error: Unable to decrypt data buffer.\r"
                                      "Possibly incorrect password ("))
          << Message(e);
        EXPECT_EQ(").", Message(e).substr(Message(e).size() - 2));
      }
    }
  }
  // Bad padding shows most wrong keys up.
  EXPECT_GT(refused, 0);
}

TEST(Cryptography, CipherTextThatIsNoneIsRefused)
{
  tCryptography crypt("", true, PassPhrase, "");
  for (std::string bad : {std::string(), std::string("abc"), std::string(9, 'x')}) {
    const std::string before = bad;
    EXPECT_THROW(crypt.DecryptString(bad), ECryptographyError) << bad.size();
    EXPECT_EQ(before, bad);
  }
  // The object stays usable.
  std::string s = "still fine";
  crypt.EncryptString(s);
  crypt.DecryptString(s);
  EXPECT_EQ("still fine", s);
}

TEST(Cryptography, PassPhraseIsUpperCasedForAsciiLettersOnly)
{
  const std::string text = "the same key?";
  EXPECT_EQ(text, Decrypted("SECRET", Encrypted("secret", text)));
  EXPECT_EQ(Encrypted("SeCrEt", text), Encrypted("SECRET", text));
  // 8-bit letters are kept as they are.
  EXPECT_NE(Encrypted("abcd\xe5", text), Encrypted("ABCD\xc5", text));

  // SetPassword takes the pass phrase as it is.
  tCryptography crypt("", true, "", "");
  crypt.SetPassword("secret");
  std::string s = text;
  crypt.EncryptString(s);
  EXPECT_NE(Encrypted("secret", text), s);
  crypt.SetPassword("SECRET");
  s = text;
  crypt.EncryptString(s);
  EXPECT_EQ(Encrypted("secret", text), s);
}

TEST(Cryptography, ShortPassPhraseIsRefusedWithoutAServiceCode)
{
  // A failure code left over from an earlier call is not reported with it.
  SetLastError(static_cast<DWORD>(NTE_BAD_KEYSET));
  try {
    tCryptography crypt("", true, "abcd", "");
    ADD_FAILURE() << "accepted";
  } catch (const ECryptographyError& e) {
    EXPECT_EQ("Cryptography error: Password must be at least 5 characters.", Message(e));
  }
  tCryptography crypt("", true, "", "");
  EXPECT_THROW(crypt.SetPassword("1234"), ECryptographyError);
  crypt.SetPassword("12345");
}

TEST(Cryptography, ErrorTextsWithAndWithoutTheServiceCode)
{
  auto raised = [](DWORD code) {
    SetLastError(code);
    try {
      RaiseCryptError("Something failed");
    } catch (const ECryptographyError& e) {
      EXPECT_EQ(code, e.Code);
      return Message(e);
    }
    return std::string("not raised");
  };
  EXPECT_EQ("Cryptography error: Something failed.", raised(0));
  EXPECT_EQ("Cryptography error: Something failed.", raised(ERROR_ACCESS_DENIED));
  EXPECT_EQ("Cryptography error: Something failed (System Error A0000001).", raised(0xA0000001));
  const std::string known = raised(static_cast<DWORD>(NTE_BAD_KEYSET));
  EXPECT_EQ(0u, known.find("Cryptography error: Something failed (")) << known;
  EXPECT_EQ(").", known.substr(known.size() - 2)) << known;
  EXPECT_EQ(std::string::npos, known.find("..")) << known;
}

TEST(Cryptography, ProviderDescribesItself)
{
  tCryptography crypt("", true, PassPhrase, "");
  EXPECT_NE("", crypt.ProviderName());
  EXPECT_NE("Unknown", crypt.ProviderName());
  EXPECT_NE("", crypt.ContainerName());
  const std::string version = crypt.ProviderVersion();
  const size_t dot = version.find('.');
  ASSERT_NE(std::string::npos, dot) << version;
  EXPECT_GT(dot, 0u);
  EXPECT_LT(dot + 1, version.size());
  EXPECT_NE("0.0", version);
  crypt.Destroy();
  crypt.Destroy();
}

TEST(Cryptography, MissingContainerIsCreatedOnlyWhenAsked)
{
  TScratchContainer container;
  try {
    tCryptography crypt(container.Name, false, PassPhrase, "");
    ADD_FAILURE() << "acquired a container that does not exist";
  } catch (const ECryptographyError& e) {
    EXPECT_EQ(static_cast<DWORD>(NTE_BAD_KEYSET), e.Code);
    EXPECT_EQ(0u, Message(e).find("Cryptography error: Unable to aquire context (")) << Message(e);
  }

  tCryptography created(container.Name, true, PassPhrase, "");
  EXPECT_EQ(container.Name, created.ContainerName());
  tCryptography existing(container.Name, false, PassPhrase, "");
  std::string s = "shared";
  created.EncryptString(s);
  existing.DecryptString(s);
  EXPECT_EQ("shared", s);
}

TEST(Cryptography, ConcurrentFirstUseOfANewContainer)
{
  TScratchContainer container;
  constexpr int Threads = 8;
  TestSupport::TStartGate start(Threads);
  std::atomic<int> ok{0};
  std::vector<std::string> errors(Threads);
  std::vector<std::thread> workers;
  for (int i = 0; i < Threads; ++i) {
    workers.emplace_back([&, i] {
      start.arrive_and_wait();
      try {
        tCryptography crypt(container.Name, true, PassPhrase, "");
        std::string s = AllBytes(100 + i);
        crypt.EncryptString(s);
        crypt.DecryptString(s);
        if (s == AllBytes(100 + i)) ++ok;
      } catch (const std::exception& e) {
        errors[i] = e.what();
      }
    });
  }
  for (auto& w : workers) w.join();
  for (const auto& e : errors) EXPECT_EQ("", e);
  EXPECT_EQ(Threads, ok.load());
}

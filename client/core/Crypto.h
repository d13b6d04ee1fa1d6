// Encryption of text bodies with a pass phrase through the platform's
// cryptography service: an MD5 hash of the pass phrase and an RC2 key derived
// from it. The cipher text is binary; callers carry it as hexadecimal text
// (BytesToHexText / HexTextToBytes).
#pragma once

#include <windows.h>
#include <wincrypt.h>

#include <stdexcept>
#include <string>

class ECryptographyError : public std::runtime_error
{
public:
  ECryptographyError(const std::string& msg, DWORD code) : std::runtime_error(msg), Code(code) {}
  // The platform's last error code when the error was raised.
  DWORD Code;
};

// Raises ECryptographyError: "Cryptography error: %s." when the last error
// is no failure code of the service, else "Cryptography error: %s (%s)."
// with the system's text for the code.
[[noreturn]] void RaiseCryptError(const std::string& Message);

class tCryptography
{
public:
  // Acquires the provider (empty names: the user's default key container and
  // the default provider), creating the key container when it is missing and
  // CreateKeySet is set. A non-empty pass phrase is upper-cased (a-z only)
  // and set.
  tCryptography(const std::string& Container, bool CreateKeySet, const std::string& PassPhrase,
                const std::string& Provider);
  // Releases quietly; call Destroy first to learn of a failure.
  ~tCryptography() = default;
  tCryptography(const tCryptography&) = delete;
  tCryptography& operator=(const tCryptography&) = delete;

  // Derives a new key from the pass phrase (at least 5 characters); the
  // previous key is destroyed.
  void SetPassword(const std::string& PassPhrase);
  // Replaces S by its cipher text, padded to whole 8-byte blocks.
  void EncryptString(std::string& S);
  // Replaces the cipher text S by the plain text; a wrong pass phrase usually
  // shows as bad padding and raises.
  void DecryptString(std::string& S);
  // Destroys the key and releases the provider, raising on failure. Both are
  // let go even when the first fails.
  void Destroy();

  const std::string& ProviderName() const { return FProviderName; }
  const std::string& ContainerName() const { return FContainerName; }
  const std::string& ProviderVersion() const { return FProviderVersion; }

private:
  // Owners of the two handles; the key is declared last so that it goes
  // before the provider it belongs to.
  class TProviderHandle
  {
  public:
    TProviderHandle() = default;
    ~TProviderHandle() { Release(); }
    TProviderHandle(const TProviderHandle&) = delete;
    TProviderHandle& operator=(const TProviderHandle&) = delete;
    // True when there was nothing to release or releasing worked.
    bool Release();
    HCRYPTPROV Handle = 0;
  };

  class TKeyHandle
  {
  public:
    TKeyHandle() = default;
    explicit TKeyHandle(HCRYPTKEY h) : Handle(h) {}
    ~TKeyHandle() { Release(); }
    TKeyHandle(const TKeyHandle&) = delete;
    TKeyHandle& operator=(const TKeyHandle&) = delete;
    bool Release();
    HCRYPTKEY Handle = 0;
  };

  TProviderHandle FProvider;
  TKeyHandle FKey;
  std::string FProviderName;
  std::string FContainerName;
  std::string FProviderVersion = "0.0";
};

#include "Crypto.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "LyskomErrors.h"

namespace {

const char* const DecryptFailed = "Unable to decrypt data buffer.\rPossibly incorrect password";
constexpr size_t MinPassPhrase = 5;
// The creation of the key container can race with another program doing the
// same; each round either creates it or finds it made by the other.
constexpr int AcquireAttempts = 5;

class THashHandle
{
public:
  THashHandle() = default;
  ~THashHandle()
  {
    if (Handle) CryptDestroyHash(Handle);
  }
  THashHandle(const THashHandle&) = delete;
  THashHandle& operator=(const THashHandle&) = delete;
  HCRYPTHASH Handle = 0;
};

// A provider parameter as text; "Unknown" when the provider does not tell.
std::string ProviderText(HCRYPTPROV provider, DWORD param)
{
  BYTE buffer[1024] = {};
  DWORD len = sizeof(buffer);
  if (!CryptGetProvParam(provider, param, buffer, &len, 0)) return "Unknown";
  const char* text = reinterpret_cast<const char*>(buffer);
  return std::string(text, strnlen(text, len < sizeof(buffer) ? len : sizeof(buffer)));
}

std::string VersionText(HCRYPTPROV provider)
{
  BYTE buffer[1024] = {};
  DWORD len = sizeof(buffer);
  if (!CryptGetProvParam(provider, PP_VERSION, buffer, &len, 0) || len < 2) return "*.00";
  char text[16];
  std::snprintf(text, sizeof(text), "%d.%d", buffer[1], buffer[0]);
  return text;
}

} // namespace

void RaiseCryptError(const std::string& Message)
{
  const DWORD code = GetLastError();
  if ((code & 0x80000000u) == 0)
    throw ECryptographyError("Cryptography error: " + Message + ".", code);
  std::string text = SystemErrorText(code);
  if (text.empty()) {
    char buffer[32];
    std::snprintf(buffer, sizeof(buffer), "System Error %X", static_cast<unsigned>(code));
    text = buffer;
  }
  throw ECryptographyError("Cryptography error: " + Message + " (" + text + ").", code);
}

bool tCryptography::TProviderHandle::Release()
{
  if (!Handle) return true;
  const HCRYPTPROV h = Handle;
  Handle = 0;
  return CryptReleaseContext(h, 0) != FALSE;
}

bool tCryptography::TKeyHandle::Release()
{
  if (!Handle) return true;
  const HCRYPTKEY h = Handle;
  Handle = 0;
  return CryptDestroyKey(h) != FALSE;
}

tCryptography::tCryptography(const std::string& Container, bool CreateKeySet,
                             const std::string& PassPhrase, const std::string& Provider)
{
  const char* container = Container.empty() ? nullptr : Container.c_str();
  const char* provider = Provider.empty() ? nullptr : Provider.c_str();

  HCRYPTPROV h = 0;
  bool acquired = CryptAcquireContextA(&h, container, provider, PROV_RSA_FULL, 0);
  for (int attempt = 0; !acquired && CreateKeySet && attempt < AcquireAttempts &&
                        GetLastError() == static_cast<DWORD>(NTE_BAD_KEYSET);
       ++attempt) {
    acquired = CryptAcquireContextA(&h, container, provider, PROV_RSA_FULL, CRYPT_NEWKEYSET);
    if (!acquired && GetLastError() == static_cast<DWORD>(NTE_EXISTS))
      acquired = CryptAcquireContextA(&h, container, provider, PROV_RSA_FULL, 0);
  }
  if (!acquired) RaiseCryptError("Unable to aquire context");
  FProvider.Handle = h;

  FProviderName = ProviderText(h, PP_NAME);
  FContainerName = ProviderText(h, PP_CONTAINER);
  FProviderVersion = VersionText(h);

  if (!PassPhrase.empty()) {
    std::string upper = PassPhrase;
    for (char& c : upper)
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    SetPassword(upper);
  }
}

void tCryptography::SetPassword(const std::string& PassPhrase)
{
  if (PassPhrase.size() < MinPassPhrase) {
    // Whatever failed earlier on this thread has nothing to do with this.
    SetLastError(0);
    char text[64];
    std::snprintf(text, sizeof(text), "Password must be at least %d characters",
                  static_cast<int>(MinPassPhrase));
    RaiseCryptError(text);
  }

  THashHandle hash;
  if (!CryptCreateHash(FProvider.Handle, CALG_MD5, 0, 0, &hash.Handle))
    RaiseCryptError("Unable to create has object");
  if (!CryptHashData(hash.Handle, reinterpret_cast<const BYTE*>(PassPhrase.data()),
                     static_cast<DWORD>(PassPhrase.size()), 0))
    RaiseCryptError("Unable to hash password data");

  TKeyHandle key;
  if (!CryptDeriveKey(FProvider.Handle, CALG_RC2, hash.Handle,
                      CRYPT_EXPORTABLE | CRYPT_USER_PROTECTED | CRYPT_CREATE_SALT, &key.Handle))
    RaiseCryptError("Unable to derive password hash key");

  if (!FKey.Release()) RaiseCryptError("Unable to destroy old password key");
  FKey.Handle = key.Handle;
  key.Handle = 0;
}

void tCryptography::EncryptString(std::string& S)
{
  if (S.size() > 0x7fff0000u) {
    SetLastError(static_cast<DWORD>(NTE_BAD_LEN));
    RaiseCryptError(DecryptFailed);
  }
  const DWORD n = static_cast<DWORD>(S.size());
  DWORD needed = n;
  if (!CryptEncrypt(FKey.Handle, 0, TRUE, 0, nullptr, &needed, n)) RaiseCryptError(DecryptFailed);

  std::vector<BYTE> buffer(needed > n ? needed : n);
  if (n) std::memcpy(buffer.data(), S.data(), n);
  DWORD len = n;
  if (!CryptEncrypt(FKey.Handle, 0, TRUE, 0, buffer.data(), &len, static_cast<DWORD>(buffer.size())))
    RaiseCryptError(DecryptFailed);
  S.assign(reinterpret_cast<const char*>(buffer.data()), len);
}

void tCryptography::DecryptString(std::string& S)
{
  // No cipher text is empty (there is always a padding block), and the
  // provider would read before the buffer to check the padding.
  if (S.empty() || S.size() > 0x7fff0000u) {
    SetLastError(static_cast<DWORD>(NTE_BAD_DATA));
    RaiseCryptError(DecryptFailed);
  }
  std::vector<BYTE> buffer(S.begin(), S.end());
  DWORD len = static_cast<DWORD>(buffer.size());
  if (!CryptDecrypt(FKey.Handle, 0, TRUE, 0, buffer.data(), &len)) RaiseCryptError(DecryptFailed);
  if (len > buffer.size()) len = static_cast<DWORD>(buffer.size());
  S.assign(reinterpret_cast<const char*>(buffer.data()), len);
}

void tCryptography::Destroy()
{
  const bool keyReleased = FKey.Release();
  const DWORD keyError = GetLastError();
  const bool providerReleased = FProvider.Release();
  if (!keyReleased) {
    SetLastError(keyError);
    RaiseCryptError("Unable to destroy password key");
  }
  if (!providerReleased) RaiseCryptError("Unable to release context");
}

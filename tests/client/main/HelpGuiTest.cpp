// The help file that Help > Index opens: it is built beside the program, its
// pages are read back through the system's own reader of compiled help, the
// page of keys lists the keys the program starts with, and Help > Index opens
// one help window from whatever folder the program was started in.
#include <objbase.h>

#include <string>

#include "HelpThread.h"
#include "MainCommands.h"
#include "MainTestSupport.h"
#include "SharedTables.h"

// The storage interface of compiled help files (itss.dll), which no header
// of the toolchain declares; only the slots up to the one used. Declared
// outside the unnamed namespace: there the compiler would take the class
// for one whose every implementation it sees, and call none of its methods.
struct IITStorage : IUnknown
{
  virtual HRESULT STDMETHODCALLTYPE StgCreateDocfile(const WCHAR*, DWORD, DWORD, IStorage**) = 0;
  virtual HRESULT STDMETHODCALLTYPE StgCreateDocfileOnILockBytes(ILockBytes*, DWORD, DWORD, IStorage**) = 0;
  virtual HRESULT STDMETHODCALLTYPE StgIsStorageFile(const WCHAR*) = 0;
  virtual HRESULT STDMETHODCALLTYPE StgIsStorageILockBytes(ILockBytes*) = 0;
  virtual HRESULT STDMETHODCALLTYPE StgOpenStorage(const WCHAR*, IStorage*, DWORD, SNB, DWORD, IStorage**) = 0;
};
const CLSID CLSID_ITStorage = {0x5d02926a, 0x212e, 0x11d0, {0x9d, 0xf9, 0x00, 0xa0, 0xc9, 0x22, 0xe6, 0xec}};
const IID IID_IITStorage = {0x88cc31de, 0x27ab, 0x11d0, {0x9d, 0xf9, 0x00, 0xa0, 0xc9, 0x22, 0xe6, 0xec}};

namespace {

using namespace MainTest;

auto* const Environment = testing::AddGlobalTestEnvironment(new TProgramEnvironment);

std::wstring HelpFilePath()
{
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring file(path);
  return file.substr(0, file.find_last_of(L"\\/") + 1) + L"omnora.chm";
}

// A page of the help file; empty when the file or the page is missing.
std::string HelpPage(const std::wstring& page)
{
  TComPtr<IITStorage> reader;
  if (FAILED(CoCreateInstance(CLSID_ITStorage, nullptr, CLSCTX_INPROC_SERVER, IID_IITStorage, reader.PutVoid())))
    return {};
  TComPtr<IStorage> file;
  if (FAILED(reader->StgOpenStorage(HelpFilePath().c_str(), nullptr, STGM_READ | STGM_SHARE_DENY_WRITE, nullptr, 0,
                                    file.Put())))
    return {};
  TComPtr<IStream> stream;
  if (FAILED(file->OpenStream(page.c_str(), nullptr, STGM_READ, 0, stream.Put()))) return {};
  std::string text;
  char buffer[4096];
  ULONG read = 0;
  while (SUCCEEDED(stream->Read(buffer, sizeof buffer, &read)) && read > 0) text.append(buffer, read);
  return text;
}

// A key sequence as the page writes it: keys apart, a blank as "Space".
std::string KeysAsWritten(const std::string& keys)
{
  std::string text;
  for (char key : keys) {
    if (!text.empty()) text += ' ';
    if (key == ' ')
      text += "Space";
    else if (key == '\xE5')
      text += "&aring;";
    else
      text += key;
  }
  return text;
}

TEST(HelpFile, TheIndexTopicAndItsPagesAreInTheFileBesideTheProgram)
{
  const std::string intro = HelpPage(L"introduc.htm");
  EXPECT_NE(intro.find("<title>Welcome to Omnora</title>"), std::string::npos) << intro.substr(0, 200);
  for (const wchar_t* page : {L"connect.htm", L"reading.htm", L"writing.htm", L"messages.htm", L"marked.htm",
                              L"confadmin.htm", L"options.htm"}) {
    const std::string name(page, page + wcslen(page));
    EXPECT_NE(intro.find("href=\"" + name + "\""), std::string::npos) << name;
    EXPECT_FALSE(HelpPage(page).empty()) << name;
  }
  EXPECT_EQ(HelpPage(L"nothing-here.htm"), "");
}

TEST(HelpFile, TheKeyPageListsEveryDefaultKeyWithItsCommand)
{
  const std::string page = HelpPage(L"reading.htm");
  ASSERT_FALSE(page.empty());
  for (const TKeyBinding& binding : DefaultKeyBindingTable) {
    const TKeyCommand* command = FindKeyCommand(binding.Command);
    ASSERT_NE(command, nullptr);
    const std::string row =
      "<tr><td><kbd>" + KeysAsWritten(binding.Keys) + "</kbd></td><td>" + command->Description + "</td></tr>";
    EXPECT_NE(page.find(row), std::string::npos) << row;
  }
}

using StartedProgram = TStartedProgram;

int HelpWindowCount()
{
  int count = 0;
  EnumWindows(
    [](HWND window, LPARAM counter) {
      char name[64] = {};
      GetClassNameA(window, name, sizeof name);
      if (std::string(name) == "HH Parent" && IsWindowVisible(window)) ++*reinterpret_cast<int*>(counter);
      return TRUE;
    },
    LPARAM(&count));
  return count;
}

TEST_F(StartedProgram, HelpIndexOpensOneHelpWindowFromAnotherFolder)
{
  ShowMain();
  char current[MAX_PATH] = {};
  GetCurrentDirectoryA(MAX_PATH, current);
  char temp[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, temp);
  ASSERT_TRUE(SetCurrentDirectoryA(temp));
  ShowHelpIndex();
  SetCurrentDirectoryA(current);
  ASSERT_TRUE(WaitFor([] { return THelpThread::OpenWindow() != nullptr; }, 20000));
  HWND help = THelpThread::OpenWindow();
  char title[64] = {};
  GetWindowTextA(help, title, sizeof title);
  EXPECT_STREQ(title, "Omnora Help");
  EXPECT_TRUE(Boxes->Boxes().empty());

  // Asked again, the open window comes forward.
  ShowHelpIndex();
  Application().ProcessMessages();
  EXPECT_EQ(THelpThread::OpenWindow(), help);
  EXPECT_EQ(HelpWindowCount(), 1);
  TestSupport::RunUnixCommand("import -window root '" + TestSupport::UnixPathOf(TestSupport::OutputDir()) +
                                "/help-index.png'",
                              20000);

  PostMessageA(help, WM_CLOSE, 0, 0);
  EXPECT_TRUE(WaitFor([] { return THelpThread::OpenWindow() == nullptr; }, 10000));
  EXPECT_EQ(HelpWindowCount(), 0);
}

} // namespace

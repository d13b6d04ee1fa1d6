// Omnora's entry point: binds to the engine by class identifier, registering
// Vantor.dll when its classes are missing, and reports the engine's version.
#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <string>

#include "ComHandles.h"
#include "Vantor.h"

namespace {

std::string ProgramDir()
{
  char path[MAX_PATH * 2] = {};
  GetModuleFileNameA(nullptr, path, sizeof(path));
  std::string s(path);
  size_t slash = s.find_last_of("\\/");
  return slash == std::string::npos ? "." : s.substr(0, slash);
}

bool RegisterEngine()
{
  HMODULE lib = LoadLibraryA((ProgramDir() + "\\Vantor.dll").c_str());
  if (!lib) return false;
  auto reg = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(GetProcAddress(lib, "DllRegisterServer"));
  return reg && SUCCEEDED(reg());
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  TComPtr<ILKCommunication> comm;
  HRESULT hr = CoCreateInstance(CLSID_LKCommunication, nullptr, CLSCTX_INPROC_SERVER, IID_ILKCommunication,
                                comm.PutVoid());
  if (FAILED(hr) && RegisterEngine())
    hr = CoCreateInstance(CLSID_LKCommunication, nullptr, CLSCTX_INPROC_SERVER, IID_ILKCommunication,
                          comm.PutVoid());
  if (FAILED(hr)) {
    MessageBoxA(nullptr, "Failed to register communications server.\r\nCannot find the server \"Vantor.DLL\"",
                "Omnora", MB_OK | MB_ICONERROR);
    return 1;
  }
  LONG major = 0, minor = 0, release = 0, build = 0;
  comm->Get_VersionInfo(&major, &minor, &release, &build);
  char text[128];
  std::snprintf(text, sizeof(text), "Vantor %ld.%ld.%ld.%ld", major, minor, release, build);
  std::printf("%s\n", text);
  std::fflush(stdout);
  comm.Reset();
  CoUninitialize();
  return 0;
}

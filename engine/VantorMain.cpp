// The library's exports.
#include "ComServer.h"

// Nothing that may take the loader lock's neighbours (Winsock, COM) happens here.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
  if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(instance);
  return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv)
{
  return Vantor::GetClassObject(rclsid, riid, ppv);
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow()
{
  return (Vantor::GObjectCount == 0 && Vantor::GServerLocks == 0) ? S_OK : S_FALSE;
}

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer()
{
  return Vantor::RegisterServer();
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer()
{
  return Vantor::UnregisterServer();
}

// The entry point of every test program: the process's threads share the
// multithreaded apartment, as the engine and the client do.
#include <winsock2.h>
#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  WSADATA data;
  WSAStartup(MAKEWORD(2, 2), &data);
  testing::InitGoogleTest(&argc, argv);
  int rc = RUN_ALL_TESTS();
  CoUninitialize();
  return rc;
}

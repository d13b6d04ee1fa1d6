// Omnora's entry point.
#include <windows.h>

#include "OmnoraForms.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
  return RunOmnora();
}

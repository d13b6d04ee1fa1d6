#include "PostedMessages.h"

bool TakePostedMessage(HWND window, UINT message, MSG& msg)
{
  if (!PeekMessageA(&msg, window, message, message, PM_REMOVE)) return false;
  if (msg.message == message) return true;
  // The quit comes only once the window's own messages are all taken.
  if (msg.message == WM_QUIT) PostQuitMessage(int(msg.wParam));
  return false;
}

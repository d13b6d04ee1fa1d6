// What forms and the application share about the windows that host forms.
#pragma once

#include <windows.h>

// The window property that ties a host window to its form.
inline const char* const FormProp = "OmnoraForm";
// Posted to the utility window to free a form after the current messages.
constexpr UINT WM_RELEASE_FORM = WM_APP + 1;

// Window procedures of the host classes, registered by the application.
LRESULT CALLBACK TopLevelHostProc(HWND h, UINT m, WPARAM w, LPARAM l);
LRESULT CALLBACK MDIChildHostProc(HWND h, UINT m, WPARAM w, LPARAM l);
LRESULT CALLBACK FrameHostProc(HWND h, UINT m, WPARAM w, LPARAM l);

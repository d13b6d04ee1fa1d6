// The client's own window messages, numbered from the platform's user
// message base upward. Windows handle them; any thread may post them.
#pragma once

#include <windows.h>

constexpr UINT WM_DISCARD_TEXT = 0x400;
constexpr UINT WM_SHOW_MESSAGE = 0x40a;
// To a messages window: its away mode sent one more automatic reply.
constexpr UINT WM_AUTO_REPLY_SENT = 0x4f5;
constexpr UINT WM_REFRESH_ACTIVE_USER = 0x414;
constexpr UINT WM_SERVER_CONNECTED = 0x41e;
constexpr UINT WM_SERVER_DISCONNECTED = 0x41f;
constexpr UINT WM_RELOAD_SETTINGS = 0x421;
constexpr UINT WM_CLEAR_CACHES = 0x422;
constexpr UINT WM_READ_STATE_CHANGED = 0x44b;
constexpr UINT WM_CONFERENCE_SELECTED = 0x44c;
constexpr UINT WM_SEND_READ_CONFIRMATION = 0x451;
constexpr UINT WM_SHOW_CURRENT_TEXT = 0x452;
constexpr UINT WM_SHOW_TEXT_PROPERTIES = 0x69e;

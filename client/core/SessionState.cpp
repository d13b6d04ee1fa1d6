#include "SessionState.h"

std::atomic<int> CurrentPersNo{0};
TServerInfo ServerInfo;
TServerVersion ServerVersion;

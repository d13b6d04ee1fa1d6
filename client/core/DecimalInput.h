// Numbers typed by the user: only a whole decimal number is taken, so that
// nothing the user did not mean is sent to the server.
#pragma once

#include <string>

// Queued when a typed number is refused.
extern const char* const NotAValidNumberMessage;

// A decimal integer with an optional sign, blanks around it allowed, within
// 32 bits. False (value unchanged) for anything else, the empty text included.
bool ParseDecimalInput(const std::string& text, int& value);

// Protocol A argument text: Hollerith strings, lenient numbers and the like.
#pragma once

#include <string>

// The text as a decimal number: a "+" is skipped, a leading "-" negates,
// parsing stops at the first other character. 0 for an empty text.
int StrToIntLenient(const std::string& s);
int ParseSignedInt(const char* p);

#include "DecimalInput.h"

#include <climits>

const char* const NotAValidNumberMessage = "!Not a valid number";

bool ParseDecimalInput(const std::string& text, int& value)
{
  size_t i = 0, end = text.size();
  while (i < end && text[i] == ' ') ++i;
  while (end > i && text[end - 1] == ' ') --end;
  bool negative = false;
  if (i < end && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  if (i == end) return false;
  long long result = 0;
  for (; i < end; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    result = result * 10 + (text[i] - '0');
    if (result > 1LL + INT_MAX) return false;
  }
  if (negative) result = -result;
  if (result < INT_MIN || result > INT_MAX) return false;
  value = int(result);
  return true;
}

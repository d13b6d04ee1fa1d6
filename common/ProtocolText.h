// Protocol A argument text and small text helpers: Hollerith strings, lenient
// numbers, durations, ROT13, line prefixes, hexadecimal text of bytes, list
// copying. All text is 8-bit.
//
// The engine builds its own copy (VANTOR_ENGINE) with only the number parser,
// MinOf and CopyPCharMax; there an integer too large for 32 bits wraps.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// The text as a decimal number: a "+" is skipped wherever it stands, a "-"
// while the value is still 0 negates, a "-" after a non-zero value gives 0,
// and any other character ends the number. None gives 0. A value beyond 32
// bits gives 0 in the client and wraps in the engine.
int ParseSignedInt(const char* p);
// ParseSignedInt of the text; 0 for an empty text.
int StrToIntLenient(const std::string& s);

// The text up to its terminator, but at most max characters; empty for none.
// Never looks past the max-th character.
std::string CopyPCharMax(const char* p, int max);

int MinOf(int a, int b);

// printf-style text into a std::string: the one formatting helper.
std::string FormatText(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The Protocol A string form: the length in decimal, "H", then the bytes.
std::string ToHollerith(const std::string& s);

// The argument text of a request, built item by item: numbers, Hollerith
// strings, bit strings and arrays, separated by blanks. Every request's
// arguments are built with it, so no caller glues Protocol A by hand.
//   TRequestArgs().Int(conf).Str(name).Bits("10000000").Ints({1, 2}).Text()
//   gives "6 4Hname 10000000 2 { 1 2 }".
class TRequestArgs
{
public:
  TRequestArgs& Int(long long value);
  // A string in Hollerith form; the length counts the bytes sent.
  TRequestArgs& Str(const std::string& bytes);
  // A bit string: '1' for each set flag, as the text holds it.
  TRequestArgs& Bits(const std::string& bits);
  TRequestArgs& Bool(bool value) { return Int(value ? 1 : 0); }
  // An array of numbers: the count, then the elements between braces.
  TRequestArgs& Ints(const std::vector<int>& values);
  // An array of composite elements, each built by its own TRequestArgs.
  TRequestArgs& List(const std::vector<TRequestArgs>& elements);
  // Appends the items of another builder (a nested structure).
  TRequestArgs& Add(const TRequestArgs& items);

  const std::string& Text() const { return FText; }
  operator const std::string&() const { return FText; }
  bool Empty() const { return FText.empty(); }

private:
  TRequestArgs& Item(const std::string& item);
  std::string FText;
};

#ifndef VANTOR_ENGINE

int MaxOf(int a, int b);

// Reads the Hollerith string at the start of the text. Without an "H", or
// when what stands before it is not a count (digits only), the result is
// empty and nothing is consumed. A count past the end takes what is there.
// The consumed count is the digits, the "H" and the characters taken.
std::string FromHollerith(std::string_view text, size_t* consumed = nullptr);

// Decimal text, padded on the left with blanks to at least width characters.
std::string IntegerToStr(int value, int width);

// The tail of s from the 1-based position pos on.
std::string CopyFromPos(const std::string& s, int pos);

// "1D 1h 1m 1s" for 90061 seconds (units W, D, h, m, s); empty for 0.
std::string DurationToText(int seconds);

void Rot13(std::string& s);

// Puts the prefix before the first line and after every separator that is
// followed by at least two more characters.
void PrefixLines(std::string& s, const std::string& prefix, char separator);

// Two capital hexadecimal digits per byte, with a "\r" before every 35th
// byte after the first (before the 36th, 71st, ...).
std::string BytesToHexText(const std::string& bytes);

// Reads hexadecimal pairs, skipping whatever stands between them; a pair that
// is not a hexadecimal number gives 0, a lone last digit is read alone.
std::string HexTextToBytes(const std::string& text);

template <class T>
void AddListItems(std::vector<T>& target, const std::vector<T>& source)
{
  target.insert(target.end(), source.begin(), source.end());
}

template <class T>
void AssignListItems(std::vector<T>& target, const std::vector<T>& source)
{
  if (&target == &source) return;
  target.clear();
  AddListItems(target, source);
}

#endif // VANTOR_ENGINE

// Text from the server made ready for display, the Protocol A string forms
// read off a character pointer, durations, trimming and the shortening of
// names for narrow columns. All text is 8-bit; CR alone separates lines in
// the display controls.
#pragma once

#include <string>

// Prepares an article's text for a display control: leading line breaks go,
// CR LF and lone LF become CR, zero bytes become blanks, and the text ends
// with CR. With reformat, lines are first joined into paragraphs
// (ReflowParagraphs).
void CleanTextForDisplay(std::string& text, bool reformat);

// Joins the lines of paragraphs: a line break (CR or CR LF) becomes a
// blank unless it is part of a blank line (CR CR, CR LF CR LF) or the next
// line begins with a character that keeps lines apart (a control
// character, a blank, or one of !"#'*-/=>\^~ and the byte A8). A CR that
// ends the text is dropped; a CR LF that ends it becomes a blank.
void ReflowParagraphs(const std::string& text, std::string& result);

// Ends every line with CR LF: the text is split at each LF and every piece,
// the last included, is followed by CR LF; a text ending with LF gets no
// extra empty line, and an empty text stays empty. A CR before an LF stays.
void ConvertLfToCrLf(const std::string& text, std::string& result);

// Reads one Hollerith string at p (blanks before it skipped) and moves p
// past it. Without an "H" in the rest of the text the whole rest is the
// string. A count that runs past the text's end takes what is there, and a
// count that is not a decimal number reads as 0; p never passes the
// terminating zero.
void ParseHollerithString(const char*& p, std::string& s);

// Skips blanks, then reads the run of digits and "-" characters at p as a
// decimal number (negative when the run holds a "-") and moves p past the
// run. A run without digits, or a value beyond 32 bits, reads as 0.
int ParseIntPrefix(const char*& p);

// "1 D 1 H 1 M 1 S" for 90061 seconds: years (365 days), days, hours and
// minutes while the rest is strictly more than the unit, then the seconds.
void SecondsToLongDuration(int seconds, std::string& text);

// The characters that TrimCharSet removes when given none.
extern const char DefaultTrimChars[];

// Removes the characters of chars from the end of s, then from its start;
// an empty chars means DefaultTrimChars.
void TrimCharSet(std::string& s, const std::string& chars);

// Removes remarks from a name until it is at most maxLen characters: every
// parenthesised remark, then bracketed, braced and angle-bracketed ones,
// then everything from the first comma, then everything from the first of
// . - ~ ^ \ _ : ; / ] } > ) (each with the blanks before it). Stops as soon
// as the name fits; answers the length of the result, which may still be
// more than maxLen.
int ShortenName(const std::string& name, int maxLen, std::string& result);

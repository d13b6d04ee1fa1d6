// The character sets of texts. The program's text is Windows-1252; a text
// whose content type (aux item 1) declares UTF-8 is turned into the same
// characters where it enters the client, and a text written here declares
// the character set it is written in.
#pragma once

#include <string>

class TextStatType;

// The data of a text's first content-type aux item; empty when it has none.
std::string TextContentType(const TextStatType& stat);

// The charset parameter of a content type ("text/x-kom-basic;charset=utf-8"
// gives "utf-8"), in lower case without quotes; empty when it names none.
std::string ContentTypeCharset(const std::string& contentType);

// UTF-8 as Windows-1252: a character that code page lacks becomes "?", and
// so does each malformed sequence, which ends before the first byte that
// cannot continue it (a line end is never swallowed).
std::string Utf8ToWindows1252(const std::string& utf8);

// A text's bytes as the server holds them, in the program's characters:
// converted when the content type declares UTF-8, else as they are
// (ISO 8859-1 is shown as Windows-1252, which holds it).
std::string TextInProgramCharset(const std::string& bytes, const std::string& contentType);

// The content type of a text written here: ISO 8859-1 unless the text holds
// a character that only Windows-1252 has (a byte of 0x80-0x9F).
std::string WrittenTextContentType(const std::string& text);

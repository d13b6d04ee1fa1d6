// The items of a new text as create-text takes them (misc-info and aux
// items), for tests that make texts on a server of their own.
#pragma once

#include <string>

#include "ProtocolText.h"

inline TRequestArgs RecipientItem(int conf) { return TRequestArgs().Int(0).Int(conf); }
inline TRequestArgs CarbonCopyItem(int conf) { return TRequestArgs().Int(1).Int(conf); }
inline TRequestArgs CommentToItem(int text) { return TRequestArgs().Int(2).Int(text); }
inline TRequestArgs FootnoteToItem(int text) { return TRequestArgs().Int(4).Int(text); }
inline TRequestArgs BlindCopyItem(int conf) { return TRequestArgs().Int(15).Int(conf); }

// An aux item with no flags set and no inheritance.
inline TRequestArgs AuxItemArgs(int tag, const std::string& data)
{
  return TRequestArgs().Int(tag).Bits("00000000").Int(0).Str(data);
}

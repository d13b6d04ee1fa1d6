// User areas in the shared framing, built by hand for the tests of the
// server store: a header that names the sections, then their bodies.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "ProtocolText.h"

namespace UserAreas {

inline std::string H(const std::string& s)
{
  return ToHollerith(s);
}

// A user area from (name, body) pairs.
inline std::string UserAreaText(const std::vector<std::pair<std::string, std::string>>& sections)
{
  std::string header;
  for (const auto& section : sections) header += " " + H(section.first);
  std::string text = H(header);
  for (const auto& section : sections) text += " " + H(section.second);
  return text;
}

// A section body in this client's format, from (name, value) pairs.
inline std::string Body(const std::vector<std::pair<std::string, std::string>>& pairs)
{
  std::string body;
  for (const auto& [name, value] : pairs) body += " " + H(name) + " " + value + "\n";
  return body;
}

} // namespace UserAreas

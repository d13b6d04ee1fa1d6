#pragma once

#include <string>

// Asks for one line of text in a modal box; false when cancelled.
bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value);
// Registers the input box's form, one of the framework's own.
void RegisterInputQueryForm();

// The form resources: the text of each form by its name. Compiled tables
// (client/forms for the program, framework/forms for the framework's own
// dialogs) are generated at build time; tests may add texts of their own.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

struct TCompiledForm
{
  const char* Name;
  const char* Text;
  std::size_t Size;
};

// A table ending with a null name; it must live for the whole run. The
// program registers its own forms at start.
void RegisterCompiledForms(const TCompiledForm* table);
// A text registered by name wins over the compiled tables.
void RegisterFormResource(const std::string& name, const std::string& text);
bool FindFormResource(const std::string& name, std::string& text);
// The names of every compiled form, the framework's and the registered tables'.
std::vector<std::string> CompiledFormResourceNames();

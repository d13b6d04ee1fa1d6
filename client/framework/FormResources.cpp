#include "FormResources.h"

#include <map>

extern const TCompiledForm FrameworkForms[];

namespace {

std::map<std::string, std::string>& AddedForms()
{
  static std::map<std::string, std::string> forms;
  return forms;
}

std::vector<const TCompiledForm*>& Tables()
{
  static std::vector<const TCompiledForm*> tables{FrameworkForms};
  return tables;
}

} // namespace

void RegisterCompiledForms(const TCompiledForm* table)
{
  for (const TCompiledForm* known : Tables())
    if (known == table) return;
  Tables().push_back(table);
}

void RegisterFormResource(const std::string& name, const std::string& text)
{
  AddedForms()[name] = text;
}

bool FindFormResource(const std::string& name, std::string& text)
{
  auto it = AddedForms().find(name);
  if (it != AddedForms().end()) {
    text = it->second;
    return true;
  }
  for (const TCompiledForm* table : Tables())
    for (const TCompiledForm* f = table; f->Name; ++f)
      if (name == f->Name) {
        text.assign(f->Text, f->Size);
        return true;
      }
  return false;
}

std::vector<std::string> CompiledFormResourceNames()
{
  std::vector<std::string> names;
  for (const TCompiledForm* table : Tables())
    for (const TCompiledForm* f = table; f->Name; ++f) names.push_back(f->Name);
  return names;
}

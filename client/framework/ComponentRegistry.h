#pragma once

#include <functional>
#include <string>
#include <vector>

class TComponent;
class TForm;

// Form classes by resource name, so that every shipped form can be created
// (and so checked) by its name.
using TFormFactory = std::function<TForm*(TComponent* owner)>;
void RegisterFormClass(const std::string& name, TFormFactory factory);
template <class T>
void RegisterFormClass(const std::string& name)
{
  RegisterFormClass(name, [](TComponent* owner) -> TForm* { return new T(owner); });
}
std::vector<std::string> RegisteredFormClassNames();
// Creates and initialises the form registered under name (null: none is).
TForm* CreateFormByName(const std::string& name, TComponent* owner);

#pragma once

#include <functional>
#include <string>
#include <vector>

#include "Control.h"

class TForm;

// The type registry: TYPE names of form resources (Panel, Button, ...) and
// CLASS names of derived classes (": TPanelNoBG").
using TComponentFactory = std::function<TComponent*(TComponent* owner)>;
using TComponentCheck = std::function<bool(TComponent*)>;
void RegisterComponentType(const std::string& type, TComponentFactory factory, TComponentCheck check);
void RegisterComponentClass(const std::string& className, TComponentFactory factory);
template <class T>
void RegisterType(const std::string& type)
{
  RegisterComponentType(
      type, [](TComponent* owner) -> TComponent* { return new T(owner); },
      [](TComponent* c) { return dynamic_cast<T*>(c) != nullptr; });
}
template <class T>
void RegisterClass(const std::string& className)
{
  RegisterComponentClass(className, [](TComponent* owner) -> TComponent* { return new T(owner); });
}
// The built-in types of the framework (registered on first use).
void RegisterStandardComponents();

// Creates a component of a registered type (and class, when not empty);
// null with a reason when the names are not registered or do not fit.
TComponent* CreateRegisteredComponent(const std::string& type, const std::string& className, TComponent* owner,
                                      std::string& error);

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

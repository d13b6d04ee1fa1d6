// Form loading: the binding table of a form class and what a component sees
// while its properties are applied.
#pragma once

#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <string>
#include <typeindex>
#include <utility>
#include <vector>

#include "Control.h"
#include "FormParser.h"

// The table that ties a form class to its resource: component names to
// fields, handler names to member functions. Checked when the form loads.
class TBindings
{
public:
  explicit TBindings(TComponent* root) : FRoot(root) {}

  template <class T>
  void Field(const std::string& name, T*& field)
  {
    TFieldEntry e;
    e.TypeName = typeid(T).name();
    e.Assign = [&field](TComponent* c) {
      T* t = dynamic_cast<T*>(c);
      if (!t) return false;
      field = t;
      return true;
    };
    FFields[name] = std::move(e);
  }

  template <class F, class... A>
  void Handler(const std::string& name, void (F::*method)(A...))
  {
    F* self = dynamic_cast<F*>(FRoot);
    THandlerEntry e{std::type_index(typeid(void(A...))), nullptr};
    if (self)
      e.Function = std::make_shared<std::function<void(A...)>>([self, method](A... a) { (self->*method)(a...); });
    FHandlers.insert_or_assign(name, std::move(e));
  }

  struct TFieldEntry
  {
    std::string TypeName;
    std::function<bool(TComponent*)> Assign;
  };
  struct THandlerEntry
  {
    std::type_index Signature;
    std::shared_ptr<void> Function;  // a std::function of that signature
  };

  const std::map<std::string, TFieldEntry>& Fields() const { return FFields; }
  const THandlerEntry* FindHandler(const std::string& name) const
  {
    auto it = FHandlers.find(name);
    return it == FHandlers.end() ? nullptr : &it->second;
  }

private:
  TComponent* FRoot;
  std::map<std::string, TFieldEntry> FFields;
  std::map<std::string, THandlerEntry> FHandlers;
};

// Readable name of a C++ type for load errors.
std::string ReadableTypeName(const char* mangled);

// What a component sees while its properties are applied.
class TLoadContext
{
public:
  TLoadContext(std::string formName, TFormBase* root, const TBindings& bindings)
    : FFormName(std::move(formName)), FRoot(root), FBindings(bindings)
  {
  }

  const std::string& FormName() const { return FFormName; }
  TFormBase* Root() const { return FRoot; }
  void SetComponent(const std::string& name) { FComponent = name; }
  const std::string& ComponentName() const { return FComponent; }

  [[noreturn]] void Fail(int line, const std::string& message) const;
  [[noreturn]] void Fail(const TFormProperty& p, const std::string& message) const { Fail(p.Line, message); }
  [[noreturn]] void UnknownProperty(const TFormProperty& p) const;

  std::string String(const TFormProperty& p) const;
  int Integer(const TFormProperty& p) const;
  bool Boolean(const TFormProperty& p) const;
  std::string Identifier(const TFormProperty& p) const;
  std::vector<std::string> StringList(const TFormProperty& p) const;
  TColor Color(const TFormProperty& p) const;
  TFontInfo Font(const TFormProperty& p) const;

  template <class E>
  E Enum(const TFormProperty& p, std::initializer_list<std::pair<const char*, E>> names) const
  {
    std::string id = Identifier(p);
    std::string all;
    for (const auto& n : names) {
      if (id == n.first) return n.second;
      all += all.empty() ? "" : ", ";
      all += n.first;
    }
    Fail(p, p.Name + " must be one of " + all + ", not " + id);
  }
  unsigned Set(const TFormProperty& p, std::initializer_list<std::pair<const char*, unsigned>> names) const;

  // A component of this form by name, or of another form as Form.Component.
  TComponent* Reference(const TFormProperty& p) const;
  template <class T>
  T* Ref(const TFormProperty& p) const
  {
    TComponent* c = Reference(p);
    T* t = dynamic_cast<T*>(c);
    if (!t)
      Fail(p, p.Name + ": " + p.Value.Text + " is not a " + ReadableTypeName(typeid(T).name()));
    return t;
  }

  template <class... A>
  void Bind(const TFormProperty& p, std::function<void(A...)>& slot) const
  {
    const TBindings::THandlerEntry* h = FindHandler(p);
    if (h->Signature != std::type_index(typeid(void(A...))))
      Fail(p, "handler " + p.Value.Text + " does not fit event " + p.Name);
    slot = *static_cast<std::function<void(A...)>*>(h->Function.get());
  }

private:
  const TBindings::THandlerEntry* FindHandler(const TFormProperty& p) const;

  std::string FFormName;
  TFormBase* FRoot;
  const TBindings& FBindings;
  std::string FComponent;
};

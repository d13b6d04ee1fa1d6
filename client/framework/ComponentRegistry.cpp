#include "ComponentRegistry.h"

#include <map>
#include <memory>

#include "Application.h"
#include "Form.h"
#include "CommonControls.h"
#include "InputQuery.h"
#include "ItemEditList.h"
#include "LyskomTextEdit.h"
#include "MenuItems.h"
#include "Panels.h"
#include "RichEdit.h"
#include "SpinCube.h"
#include "StandardControls.h"
#include "TrayIcon.h"

namespace {

struct TTypeEntry
{
  TComponentFactory Factory;
  TComponentCheck Check;
};

std::map<std::string, TTypeEntry>& Types()
{
  static std::map<std::string, TTypeEntry> types;
  return types;
}

std::map<std::string, TComponentFactory>& Classes()
{
  static std::map<std::string, TComponentFactory> classes;
  return classes;
}

} // namespace

void RegisterComponentType(const std::string& type, TComponentFactory factory, TComponentCheck check)
{
  Types()[type] = {std::move(factory), std::move(check)};
}

void RegisterComponentClass(const std::string& className, TComponentFactory factory)
{
  Classes()[className] = std::move(factory);
}

TComponent* CreateRegisteredComponent(const std::string& type, const std::string& className, TComponent* owner,
                                      std::string& error)
{
  RegisterStandardComponents();
  auto t = Types().find(type);
  if (t == Types().end()) {
    error = "unknown component type " + type;
    return nullptr;
  }
  if (className.empty()) {
    TComponent* comp = t->second.Factory(owner);
    if (!comp) error = type + " needs a class: " + type + " Name: TClassName";
    return comp;
  }
  auto c = Classes().find(className);
  if (c == Classes().end()) {
    error = "unknown class " + className;
    return nullptr;
  }
  TComponent* comp = c->second(owner);
  if (!t->second.Check(comp)) {
    delete comp;
    error = "class " + className + " is not a " + type;
    return nullptr;
  }
  return comp;
}

void RegisterStandardComponents()
{
  static bool done = false;
  if (done) return;
  done = true;
  RegisterType<TLabel>("Label");
  RegisterType<TEdit>("Edit");
  RegisterType<TMemo>("Memo");
  RegisterType<TButton>("Button");
  RegisterType<TSpeedButton>("SpeedButton");
  RegisterType<TCheckBox>("CheckBox");
  RegisterType<TRadioButton>("RadioButton");
  RegisterType<TComboBox>("ComboBox");
  RegisterType<TGroupBox>("GroupBox");
  RegisterType<TPanel>("Panel");
  RegisterType<TSplitter>("Splitter");
  RegisterType<TTimer>("Timer");
  RegisterType<TPageControl>("PageControl");
  RegisterType<TTabSheet>("TabSheet");
  RegisterType<TListView>("ListView");
  RegisterType<TTreeView>("TreeView");
  RegisterType<TStatusBar>("StatusBar");
  RegisterType<TToolBar>("ToolBar");
  RegisterType<TToolButton>("ToolButton");
  RegisterType<TImageList>("ImageList");
  RegisterType<TMainMenu>("MainMenu");
  RegisterType<TPopupMenu>("PopupMenu");
  RegisterType<TMenuItem>("MenuItem");
  RegisterType<TActionList>("ActionList");
  RegisterType<TAction>("Action");
  RegisterType<TRichEdit>("RichEdit");
  RegisterType<TProgressBar>("ProgressBar");
  RegisterType<TDateTimePicker>("DateTimePicker");
  RegisterType<TAnimate>("Animate");
  RegisterType<TIconTaskBar>("IconTaskBar");
  RegisterType<TSpinCube>("SpinCube");
  RegisterClass<TLyskomTextEdit>("TLyskomTextEdit");
  RegisterClass<TItemEditList>("TItemEditList");
  RegisterInputQueryForm();
  // A frame is always of a class of its own.
  RegisterComponentType(
      "Frame", [](TComponent*) -> TComponent* { return nullptr; },
      [](TComponent* c) { return dynamic_cast<TFrame*>(c) != nullptr; });
}

namespace {

std::map<std::string, TFormFactory>& FormClasses()
{
  static std::map<std::string, TFormFactory> classes;
  return classes;
}

} // namespace

void RegisterFormClass(const std::string& name, TFormFactory factory)
{
  FormClasses()[name] = std::move(factory);
}

std::vector<std::string> RegisteredFormClassNames()
{
  RegisterStandardComponents();
  std::vector<std::string> names;
  for (const auto& entry : FormClasses()) names.push_back(entry.first);
  return names;
}

TForm* CreateFormByName(const std::string& name, TComponent* owner)
{
  Application().Initialize();
  auto it = FormClasses().find(name);
  if (it == FormClasses().end()) return nullptr;
  return InitializeNewForm(std::unique_ptr<TForm>(it->second(owner)));
}

// Form resources: the text that describes a window's components, their
// properties and the names of their event handlers.
//
//   # a comment runs to the end of the line
//   Form MessagesForm: TMessagesForm
//     Caption = "Send message"
//     Width = 400
//     OnCreate = FormCreate
//     Panel WriteMessagePanel
//       Align = Bottom
//       Anchors = [Left, Top, Right]
//       Action = MainForm.ReadTextAction
//     end
//   end
//
// An object is TYPE NAME [: CLASS], then properties and child objects, then
// "end". A value is a string ("..." with \" \\ \r \n \t), an integer (decimal,
// or hexadecimal after $), an identifier (true, Client, FormCreate, dotted
// references such as MainForm.ReadTextAction) or a list [v, v, ...].
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

// A load error of a form: names the form, the line and the component.
class EFormError : public std::runtime_error
{
public:
  EFormError(const std::string& form, int line, const std::string& component, const std::string& message);

  const std::string& Form() const { return FForm; }
  int Line() const { return FLine; }
  const std::string& Component() const { return FComponent; }
  const std::string& Message() const { return FMessage; }

private:
  std::string FForm;
  int FLine;
  std::string FComponent;
  std::string FMessage;
};

struct TFormValue
{
  enum TKind { String, Integer, Identifier, List };
  TKind Kind = Identifier;
  std::string Text;  // a string, or an identifier (dotted for references)
  std::int64_t Number = 0;
  std::vector<TFormValue> Items;
  int Line = 0;

  const char* KindName() const;
};

struct TFormProperty
{
  std::string Name;
  TFormValue Value;
  int Line = 0;
};

struct TFormNode
{
  std::string Type;
  std::string Name;
  std::string ClassName;  // empty unless ": CLASS" was given
  int Line = 0;
  std::vector<TFormProperty> Properties;
  std::vector<TFormNode> Children;
};

// Parses one form resource. formName only labels errors.
TFormNode ParseFormText(const std::string& formName, const std::string& text);

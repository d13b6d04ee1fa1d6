#include "FormParser.h"

#include <cctype>

namespace {

std::string ErrorText(const std::string& form, int line, const std::string& component, const std::string& message)
{
  std::string s = "Form " + form + ", line " + std::to_string(line);
  if (!component.empty()) s += ", component " + component;
  return s + ": " + message;
}

struct TToken
{
  enum TKind { End, Identifier, String, Integer, Symbol } Kind = End;
  std::string Text;
  std::int64_t Number = 0;
  int Line = 0;
};

class TFormLexer
{
public:
  TFormLexer(const std::string& form, const std::string& text) : FForm(form), FText(text) { Advance(); }

  const TToken& Peek() const { return FCurrent; }
  TToken Next()
  {
    TToken t = FCurrent;
    Advance();
    return t;
  }

  [[noreturn]] void Fail(int line, const std::string& component, const std::string& message) const
  {
    throw EFormError(FForm, line, component, message);
  }

private:
  void Advance()
  {
    SkipBlanks();
    FCurrent = TToken();
    FCurrent.Line = FLine;
    if (FPos >= FText.size()) return;
    char c = FText[FPos];
    if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
      size_t start = FPos;
      while (FPos < FText.size()) {
        char d = FText[FPos];
        bool dotted = d == '.' && FPos + 1 < FText.size() &&
                      (std::isalpha(static_cast<unsigned char>(FText[FPos + 1])) || FText[FPos + 1] == '_');
        if (!(std::isalnum(static_cast<unsigned char>(d)) || d == '_' || dotted)) break;
        ++FPos;
      }
      FCurrent.Kind = TToken::Identifier;
      FCurrent.Text = FText.substr(start, FPos - start);
    } else if (std::isdigit(static_cast<unsigned char>(c)) || c == '$' ||
               (c == '-' && FPos + 1 < FText.size() &&
                (std::isdigit(static_cast<unsigned char>(FText[FPos + 1])) || FText[FPos + 1] == '$'))) {
      ReadNumber();
    } else if (c == '"') {
      ReadString();
    } else {
      FCurrent.Kind = TToken::Symbol;
      FCurrent.Text = std::string(1, c);
      ++FPos;
    }
  }

  void SkipBlanks()
  {
    while (FPos < FText.size()) {
      char c = FText[FPos];
      if (c == '\n') {
        ++FLine;
        ++FPos;
      } else if (c == ' ' || c == '\t' || c == '\r') {
        ++FPos;
      } else if (c == '#') {
        while (FPos < FText.size() && FText[FPos] != '\n') ++FPos;
      } else {
        break;
      }
    }
  }

  void ReadNumber()
  {
    bool negative = false;
    if (FText[FPos] == '-') {
      negative = true;
      ++FPos;
    }
    int base = 10;
    if (FText[FPos] == '$') {
      base = 16;
      ++FPos;
    }
    size_t start = FPos;
    std::int64_t value = 0;
    while (FPos < FText.size() && std::isxdigit(static_cast<unsigned char>(FText[FPos]))) {
      char d = static_cast<char>(std::tolower(static_cast<unsigned char>(FText[FPos])));
      int digit = std::isdigit(static_cast<unsigned char>(d)) ? d - '0' : d - 'a' + 10;
      if (digit >= base) break;
      value = value * base + digit;
      if (value > 0xFFFFFFFFLL) Fail(FLine, "", "number out of range");
      ++FPos;
    }
    if (FPos == start) Fail(FLine, "", "malformed number");
    if (FPos < FText.size() && (std::isalpha(static_cast<unsigned char>(FText[FPos])) || FText[FPos] == '_'))
      Fail(FLine, "", "malformed number");
    FCurrent.Kind = TToken::Integer;
    FCurrent.Number = negative ? -value : value;
  }

  void ReadString()
  {
    int startLine = FLine;
    ++FPos;
    std::string s;
    for (;;) {
      if (FPos >= FText.size() || FText[FPos] == '\n') Fail(startLine, "", "unterminated string");
      char c = FText[FPos++];
      if (c == '"') break;
      if (c == '\\') {
        if (FPos >= FText.size()) Fail(startLine, "", "unterminated string");
        char e = FText[FPos++];
        switch (e) {
        case 'n': s += '\n'; break;
        case 'r': s += '\r'; break;
        case 't': s += '\t'; break;
        case '"': s += '"'; break;
        case '\\': s += '\\'; break;
        default: Fail(FLine, "", std::string("unknown escape \\") + e);
        }
      } else {
        s += c;
      }
    }
    FCurrent.Kind = TToken::String;
    FCurrent.Text = std::move(s);
  }

  std::string FForm;
  const std::string& FText;
  size_t FPos = 0;
  int FLine = 1;
  TToken FCurrent;
};

class TFormParser
{
public:
  TFormParser(const std::string& form, const std::string& text) : FLexer(form, text) {}

  TFormNode ParseRoot()
  {
    TToken type = FLexer.Next();
    if (type.Kind != TToken::Identifier) FLexer.Fail(type.Line, "", "expected the form's type and name");
    TFormNode root = ParseObject(type, "");
    const TToken& rest = FLexer.Peek();
    if (rest.Kind != TToken::End) FLexer.Fail(rest.Line, "", "text after the form's closing \"end\"");
    return root;
  }

private:
  // The type is read; what follows is NAME [: CLASS], the body and "end".
  TFormNode ParseObject(const TToken& type, const std::string& enclosing)
  {
    TFormNode node;
    node.Type = type.Text;
    node.Line = type.Line;
    TToken name = FLexer.Next();
    if (name.Kind != TToken::Identifier || name.Text.find('.') != std::string::npos || name.Text == "end") {
      if (enclosing.empty()) FLexer.Fail(type.Line, "", "expected the form's name after \"" + type.Text + "\"");
      FLexer.Fail(type.Line, enclosing, "expected \"=\" after property " + type.Text);
    }
    node.Name = name.Text;
    if (IsSymbol(FLexer.Peek(), ":")) {
      FLexer.Next();
      TToken cls = FLexer.Next();
      if (cls.Kind != TToken::Identifier) FLexer.Fail(cls.Line, node.Name, "expected a class name after \":\"");
      node.ClassName = cls.Text;
    }
    for (;;) {
      const TToken& t = FLexer.Peek();
      if (t.Kind == TToken::End) FLexer.Fail(t.Line, node.Name, "missing \"end\" of " + node.Name);
      if (t.Kind != TToken::Identifier)
        FLexer.Fail(t.Line, node.Name, "expected a property, a component or \"end\"");
      if (t.Text == "end") {
        FLexer.Next();
        return node;
      }
      TToken word = FLexer.Next();
      if (!IsSymbol(FLexer.Peek(), "=")) {
        node.Children.push_back(ParseObject(word, node.Name));
        continue;
      }
      FLexer.Next();
      TFormProperty p;
      p.Name = word.Text;
      p.Line = word.Line;
      p.Value = ParseValue(node.Name);
      for (const auto& existing : node.Properties)
        if (existing.Name == p.Name) FLexer.Fail(p.Line, node.Name, "property " + p.Name + " is set twice");
      node.Properties.push_back(std::move(p));
    }
  }

  TFormValue ParseValue(const std::string& component)
  {
    TToken t = FLexer.Next();
    TFormValue v;
    v.Line = t.Line;
    switch (t.Kind) {
    case TToken::String:
      v.Kind = TFormValue::String;
      v.Text = t.Text;
      return v;
    case TToken::Integer:
      v.Kind = TFormValue::Integer;
      v.Number = t.Number;
      return v;
    case TToken::Identifier:
      if (t.Text == "end") FLexer.Fail(t.Line, component, "missing value before \"end\"");
      v.Kind = TFormValue::Identifier;
      v.Text = t.Text;
      return v;
    case TToken::Symbol:
      if (t.Text == "[") {
        v.Kind = TFormValue::List;
        if (IsSymbol(FLexer.Peek(), "]")) {
          FLexer.Next();
          return v;
        }
        for (;;) {
          v.Items.push_back(ParseValue(component));
          TToken sep = FLexer.Next();
          if (IsSymbol(sep, "]")) return v;
          if (!IsSymbol(sep, ",")) FLexer.Fail(sep.Line, component, "expected \",\" or \"]\" in a list");
        }
      }
      break;
    case TToken::End:
      break;
    }
    FLexer.Fail(t.Line, component, "expected a value");
  }

  static bool IsSymbol(const TToken& t, const char* s) { return t.Kind == TToken::Symbol && t.Text == s; }

  TFormLexer FLexer;
};

} // namespace

EFormError::EFormError(const std::string& form, int line, const std::string& component, const std::string& message)
  : std::runtime_error(ErrorText(form, line, component, message)), FForm(form), FLine(line), FComponent(component),
    FMessage(message)
{
}

const char* TFormValue::KindName() const
{
  switch (Kind) {
  case String: return "a string";
  case Integer: return "an integer";
  case Identifier: return "an identifier";
  case List: return "a list";
  }
  return "a value";
}

TFormNode ParseFormText(const std::string& formName, const std::string& text)
{
  return TFormParser(formName, text).ParseRoot();
}

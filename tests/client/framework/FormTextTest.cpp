// The form framework's pure parts: the resource grammar, short cuts,
// fonts and the layout by Align.
#include <gtest/gtest.h>

#include "Actions.h"
#include "Control.h"
#include "FormParser.h"

namespace {

EFormError ParseError(const std::string& text)
{
  try {
    ParseFormText("TBrokenForm", text);
  } catch (const EFormError& e) {
    return e;
  }
  ADD_FAILURE() << "no error for:\n" << text;
  return EFormError("", 0, "", "");
}

TEST(FormParser, ReadsObjectsPropertiesAndValues)
{
  TFormNode root = ParseFormText("TTestForm", R"(# a comment
Form TestForm: TTestForm
  Caption = "Say \"hi\"\r\n"   # trailing comment
  Width = 400
  Color = $FF00FF
  Left = -5
  KeyPreview = true
  Anchors = [Left, Top, Right]
  Columns = [["Nr", 50], "Name", []]
  Panel Panel1
    Action = MainForm.ReadTextAction
    Button Button1: TMyButton
    end
  end
  Timer Timer1
  end
end
)");
  EXPECT_EQ(root.Type, "Form");
  EXPECT_EQ(root.Name, "TestForm");
  EXPECT_EQ(root.ClassName, "TTestForm");
  EXPECT_EQ(root.Line, 2);
  ASSERT_EQ(root.Properties.size(), 7u);
  EXPECT_EQ(root.Properties[0].Value.Text, "Say \"hi\"\r\n");
  EXPECT_EQ(root.Properties[0].Line, 3);
  EXPECT_EQ(root.Properties[1].Value.Number, 400);
  EXPECT_EQ(root.Properties[2].Value.Number, 0xFF00FF);
  EXPECT_EQ(root.Properties[3].Value.Number, -5);
  EXPECT_EQ(root.Properties[4].Value.Kind, TFormValue::Identifier);
  EXPECT_EQ(root.Properties[5].Value.Items.size(), 3u);
  const TFormValue& columns = root.Properties[6].Value;
  ASSERT_EQ(columns.Items.size(), 3u);
  EXPECT_EQ(columns.Items[0].Items[1].Number, 50);
  EXPECT_EQ(columns.Items[1].Kind, TFormValue::String);
  EXPECT_TRUE(columns.Items[2].Items.empty());
  ASSERT_EQ(root.Children.size(), 2u);
  const TFormNode& panel = root.Children[0];
  EXPECT_EQ(panel.Type, "Panel");
  EXPECT_EQ(panel.Line, 10);
  EXPECT_EQ(panel.Properties[0].Value.Text, "MainForm.ReadTextAction");
  ASSERT_EQ(panel.Children.size(), 1u);
  EXPECT_EQ(panel.Children[0].ClassName, "TMyButton");
  EXPECT_EQ(root.Children[1].Name, "Timer1");
}

TEST(FormParser, ErrorsNameFormLineAndComponent)
{
  EFormError e = ParseError("Form F\n  Panel P1\n    Width = \n  end\nend\n");
  EXPECT_EQ(e.Form(), "TBrokenForm");
  EXPECT_EQ(e.Line(), 4);
  EXPECT_EQ(e.Component(), "P1");
  EXPECT_NE(std::string(e.what()).find("Form TBrokenForm, line 4, component P1"), std::string::npos) << e.what();

  e = ParseError("Form F\n  Panel P1\n    Caption = \"open\n  end\nend\n");
  EXPECT_EQ(e.Line(), 3);
  EXPECT_NE(e.Message().find("unterminated string"), std::string::npos);

  e = ParseError("Form F\n  Panel P1\n    Width = 3\n");
  EXPECT_NE(e.Message().find("missing \"end\" of P1"), std::string::npos) << e.what();

  e = ParseError("Form F\n  Caption \"x\"\nend\n");
  EXPECT_EQ(e.Line(), 2);
  EXPECT_EQ(e.Component(), "F");

  e = ParseError("Form F\n  Anchors = [Left Top]\nend\n");
  EXPECT_EQ(e.Line(), 2);
  EXPECT_NE(e.Message().find("\",\" or \"]\""), std::string::npos);

  e = ParseError("Form F\n  Width = 1\n  Width = 2\nend\n");
  EXPECT_EQ(e.Line(), 3);
  EXPECT_NE(e.Message().find("set twice"), std::string::npos);

  e = ParseError("Form F\nend\nPanel P\nend\n");
  EXPECT_EQ(e.Line(), 3);

  e = ParseError("Form F\n  Width = 12px\nend\n");
  EXPECT_EQ(e.Line(), 2);
  EXPECT_NE(e.Message().find("malformed number"), std::string::npos);

  e = ParseError("Form F\n  Caption = \"a\\qb\"\nend\n");
  EXPECT_NE(e.Message().find("unknown escape"), std::string::npos);

  e = ParseError("");
  EXPECT_EQ(e.Line(), 1);
}

TEST(ShortCuts, FormatAndParseBothWays)
{
  struct
  {
    const char* Text;
    TShortCut Value;
  } cases[] = {
      {"Ctrl+L", TShortCut(scCtrl | 'L')},
      {"Ctrl+C", TShortCut(scCtrl | 'C')},
      {"Shift+Ctrl+M", TShortCut(scShift | scCtrl | 'M')},
      {"Shift+Alt+Enter", TShortCut(scShift | scAlt | VK_RETURN)},
      {"Alt+Enter", TShortCut(scAlt | VK_RETURN)},
      {"Alt+Down", TShortCut(scAlt | VK_DOWN)},
      {"Alt+Left", TShortCut(scAlt | VK_LEFT)},
      {"Ctrl+F6", TShortCut(scCtrl | VK_F6)},
      {"F5", TShortCut(VK_F5)},
      {"F12", TShortCut(VK_F12)},
      {"Del", TShortCut(VK_DELETE)},
      {"Ctrl+Alt+V", TShortCut(scCtrl | scAlt | 'V')},
      {"Ctrl+1", TShortCut(scCtrl | '1')},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ShortCutToText(c.Value), c.Text);
    TShortCut parsed = 0;
    ASSERT_TRUE(TextToShortCut(c.Text, parsed)) << c.Text;
    EXPECT_EQ(parsed, c.Value) << c.Text;
  }
  TShortCut s = 0;
  ASSERT_TRUE(TextToShortCut("ctrl+shift+m", s));
  EXPECT_EQ(ShortCutToText(s), "Shift+Ctrl+M");
  ASSERT_TRUE(TextToShortCut("Ctrl+Return", s));
  EXPECT_EQ(ShortCutToText(s), "Ctrl+Enter");
  for (const char* bad : {"", "Ctrl+", "Hyper+X", "Ctrl+Banana", "F25", "Ctrl+F0", "+"})
    EXPECT_FALSE(TextToShortCut(bad, s)) << bad;
  EXPECT_EQ(ShortCutToText(0), "");
  EXPECT_EQ(MakeShortCut('L', ssCtrl), TShortCut(scCtrl | 'L'));
}

TEST(Fonts, ReadAndWriteTheSettingsForm)
{
  TFontInfo f;
  ASSERT_TRUE(TFontInfo::Parse("Courier New;10;$80000008;B", f));
  EXPECT_EQ(f.Name, "Courier New");
  EXPECT_EQ(f.Size, 10);
  EXPECT_EQ(f.Color, 0x80000008u);
  EXPECT_TRUE(f.Bold);
  EXPECT_FALSE(f.Italic);
  EXPECT_EQ(f.Format(), "Courier New;10;$80000008;B");
  ASSERT_TRUE(TFontInfo::Parse("MS Sans Serif;8", f));
  EXPECT_EQ(f.Size, 8);
  EXPECT_FALSE(f.Bold);
  for (const char* bad : {"Arial;big", "Arial;10;$zz", "Arial;10;$0;X", "Arial;10;$0;B;extra", "Arial;0"})
    EXPECT_FALSE(TFontInfo::Parse(bad, f)) << bad;
}

RECT R(int l, int t, int r, int b)
{
  return RECT{l, t, r, b};
}

TLayoutItem Item(TAlign a, RECT bounds, unsigned anchors = akLeft | akTop)
{
  TLayoutItem i;
  i.Align = a;
  i.Bounds = bounds;
  i.Anchors = anchors;
  return i;
}

TEST(Layout, AlignStacksFromTheEdgesAndClientTakesTheRest)
{
  // A tool bar, a status bar, a left panel with a splitter and a client list.
  std::vector<TLayoutItem> items = {
      Item(TAlign::Top, R(0, 0, 10, 26)),      // tool bar
      Item(TAlign::Bottom, R(0, 0, 10, 19)),   // status bar
      Item(TAlign::Left, R(0, 0, 200, 10)),    // panel
      Item(TAlign::Left, R(0, 0, 3, 10)),      // splitter
      Item(TAlign::Client, R(5, 5, 6, 6)),     // list
      Item(TAlign::Bottom, R(0, 0, 10, 100)),  // write panel above the status bar
      Item(TAlign::Right, R(0, 0, 50, 10)),
  };
  ComputeAlignLayout(R(0, 0, 600, 400), items);
  RECT expect[] = {R(0, 0, 600, 26),   R(0, 381, 600, 400), R(0, 26, 200, 281), R(200, 26, 203, 281),
                   R(203, 26, 550, 281), R(0, 281, 600, 381), R(550, 26, 600, 281)};
  for (size_t i = 0; i < items.size(); ++i) {
    const RECT& b = items[i].Bounds;
    EXPECT_TRUE(EqualRect(&b, &expect[i])) << "item " << i << ": " << b.left << "," << b.top << "," << b.right << ","
                                           << b.bottom;
  }
}

TEST(Layout, HiddenItemsTakeNoSpaceAndSizesNeverGoNegative)
{
  std::vector<TLayoutItem> items = {Item(TAlign::Top, R(0, 0, 0, 300)), Item(TAlign::Top, R(0, 0, 0, 300)),
                                    Item(TAlign::Client, R(0, 0, 0, 0))};
  items[0].Visible = false;
  ComputeAlignLayout(R(0, 0, 100, 200), items);
  EXPECT_EQ(items[1].Bounds.top, 0);
  EXPECT_EQ(items[1].Bounds.bottom, 300);  // too tall for now, but keeps its size
  EXPECT_EQ(items[2].Bounds.bottom - items[2].Bounds.top, 0);
  items[2].MinHeight = 10;
  items[1].Visible = true;
  ComputeAlignLayout(R(0, 0, 100, 200), items);
  EXPECT_GE(items[2].Bounds.bottom, items[2].Bounds.top);

  // Pages of a tab control: the hidden ones get the room of the shown one,
  // so that what they hold is laid out for it before they are shown.
  std::vector<TLayoutItem> pages = {Item(TAlign::Client, R(0, 0, 281, 167)), Item(TAlign::Client, R(0, 0, 281, 167)),
                                    Item(TAlign::Top, R(0, 0, 10, 20))};
  pages[1].Visible = false;
  pages[2].Visible = false;
  ComputeAlignLayout(R(4, 24, 486, 292), pages);
  const RECT area = R(4, 24, 486, 292);
  EXPECT_TRUE(EqualRect(&pages[0].Bounds, &area));
  EXPECT_TRUE(EqualRect(&pages[1].Bounds, &area));
  // A hidden control of any other alignment keeps its bounds and its room.
  EXPECT_EQ(pages[2].Bounds.right, 10);
}

TEST(Layout, AnchorsKeepTheirDistances)
{
  std::vector<TLayoutItem> items = {
      Item(TAlign::None, R(10, 10, 60, 30), akLeft | akTop),
      Item(TAlign::None, R(10, 40, 290, 60), akLeft | akTop | akRight),
      Item(TAlign::None, R(220, 260, 290, 285), akRight | akBottom),
      Item(TAlign::None, R(10, 70, 290, 250), akLeft | akTop | akRight | akBottom),
  };
  // Designed in 300 x 300; distances to the right and bottom edges.
  for (auto& i : items) {
    i.RightMargin = 300 - i.Bounds.right;
    i.BottomMargin = 300 - i.Bounds.bottom;
  }
  ComputeAlignLayout(R(0, 0, 500, 400), items);
  RECT expect[] = {R(10, 10, 60, 30), R(10, 40, 490, 60), R(420, 360, 490, 385), R(10, 70, 490, 350)};
  for (size_t i = 0; i < items.size(); ++i) EXPECT_TRUE(EqualRect(&items[i].Bounds, &expect[i])) << "item " << i;
}

} // namespace

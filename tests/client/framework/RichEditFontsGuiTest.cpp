// Font strings applied to a real rich-edit control: through its character
// format messages and through the text object model's font of a range.
#include <gtest/gtest.h>

#include <windows.h>
#include <richedit.h>
#include <richole.h>
#include <tom.h>

#include <string>

#include "ComHandles.h"
#include "FontStrings.h"
#include "RichEditFonts.h"

namespace {

// The text object model's document interface (no import library of the
// toolchain carries its identity).
const IID TextDocumentIID = {0x8CC497C0, 0xA1DF, 0x11CE, {0x80, 0x98, 0x00, 0xAA, 0x00, 0x47, 0xBE, 0x5D}};

class RichEditFonts : public testing::Test
{
protected:
  static void SetUpTestSuite()
  {
    FLibrary = LoadLibraryA("RICHED20.DLL");
  }
  static void TearDownTestSuite()
  {
    if (FLibrary) FreeLibrary(FLibrary);
    FLibrary = nullptr;
  }

  void SetUp() override
  {
    ASSERT_NE(nullptr, FLibrary);
    FEdit = CreateWindowExA(0, "RichEdit20A", "", WS_OVERLAPPEDWINDOW | WS_VISIBLE | ES_MULTILINE, 30, 30, 400,
                            200, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(nullptr, FEdit);
    SetWindowTextA(FEdit, "sample text");
  }
  void TearDown() override
  {
    if (FEdit) DestroyWindow(FEdit);
  }

  // The character format of the characters from start to end.
  CHARFORMAT2A FormatOf(int start, int end)
  {
    CHARRANGE range = {start, end};
    SendMessageA(FEdit, EM_EXSETSEL, 0, LPARAM(&range));
    CHARFORMAT2A format = {};
    format.cbSize = sizeof(format);
    SendMessageA(FEdit, EM_GETCHARFORMAT, SCF_SELECTION, LPARAM(&format));
    return format;
  }

  void Select(int start, int end)
  {
    CHARRANGE range = {start, end};
    SendMessageA(FEdit, EM_EXSETSEL, 0, LPARAM(&range));
  }

  TComPtr<ITextFont> RangeFont(int start, int end)
  {
    TComPtr<IRichEditOle> ole;
    SendMessageA(FEdit, EM_GETOLEINTERFACE, 0, LPARAM(ole.Put()));
    TComPtr<ITextDocument> document;
    if (ole) ole->QueryInterface(TextDocumentIID, document.PutVoid());
    TComPtr<ITextRange> range;
    TComPtr<ITextFont> font;
    if (document && SUCCEEDED(document->Range(start, end, range.Put())) && range) range->GetFont(font.Put());
    return font;
  }

  static HMODULE FLibrary;
  HWND FEdit = nullptr;
};

HMODULE RichEditFonts::FLibrary = nullptr;

} // namespace

TEST_F(RichEditFonts, CharacterFormatOfTheSelection)
{
  const CHARFORMAT2A before = FormatOf(7, 11);
  Select(0, 6);
  ASSERT_TRUE(ApplyFontStringToTextAttributes(FEdit, "Courier New;14;$FF;BI"));
  CHARFORMAT2A f = FormatOf(0, 6);
  EXPECT_STREQ("Courier New", f.szFaceName);
  EXPECT_EQ(280, f.yHeight);
  EXPECT_EQ(COLORREF(0xFF), f.crTextColor);
  EXPECT_TRUE(f.dwEffects & CFE_BOLD);
  EXPECT_TRUE(f.dwEffects & CFE_ITALIC);
  EXPECT_FALSE(f.dwEffects & CFE_UNDERLINE);

  // The rest of the text keeps its font.
  f = FormatOf(7, 11);
  EXPECT_STREQ(before.szFaceName, f.szFaceName);
  EXPECT_EQ(before.yHeight, f.yHeight);
  EXPECT_EQ(before.dwEffects & CFE_ITALIC, f.dwEffects & CFE_ITALIC);

  // A bad string leaves the text as it was.
  Select(0, 6);
  EXPECT_FALSE(ApplyFontStringToTextAttributes(FEdit, "Courier New;x"));
  f = FormatOf(0, 6);
  EXPECT_EQ(280, f.yHeight);
  EXPECT_TRUE(f.dwEffects & CFE_BOLD);
}

TEST_F(RichEditFonts, FontOfARangeClearsStylesBeforeSettingThem)
{
  TComPtr<ITextFont> font = RangeFont(0, 6);
  ASSERT_TRUE(font);
  ASSERT_TRUE(ApplyFontStringToRichFont(font.Get(), "Arial;12;$80000008;BUS"));
  CHARFORMAT2A f = FormatOf(0, 6);
  EXPECT_STREQ("Arial", f.szFaceName);
  EXPECT_EQ(240, f.yHeight);
  EXPECT_EQ(GetSysColor(COLOR_WINDOWTEXT), f.crTextColor & 0xFFFFFF);
  EXPECT_TRUE(f.dwEffects & CFE_BOLD);
  EXPECT_TRUE(f.dwEffects & CFE_UNDERLINE);
  EXPECT_TRUE(f.dwEffects & CFE_STRIKEOUT);

  ASSERT_TRUE(ApplyFontStringToRichFont(font.Get(), "Courier New;10;$FF00;I"));
  f = FormatOf(0, 6);
  EXPECT_STREQ("Courier New", f.szFaceName);
  EXPECT_EQ(COLORREF(0xFF00), f.crTextColor & 0xFFFFFF);
  EXPECT_TRUE(f.dwEffects & CFE_ITALIC);
  EXPECT_FALSE(f.dwEffects & CFE_BOLD);
  EXPECT_FALSE(f.dwEffects & CFE_UNDERLINE);
  EXPECT_FALSE(f.dwEffects & CFE_STRIKEOUT);

  EXPECT_FALSE(ApplyFontStringToRichFont(font.Get(), ""));
  EXPECT_FALSE(ApplyFontStringToRichFont(nullptr, "Arial;12;$0;"));
  EXPECT_STREQ("Courier New", FormatOf(0, 6).szFaceName);
}

TEST(RichEditFormats, FillACharacterFormat)
{
  CHARFORMAT2A attributes;
  ASSERT_TRUE(ApplyFontStringToTextAttributes(attributes, "Courier New;10;$80000008;BU"));
  EXPECT_EQ(sizeof(attributes), attributes.cbSize);
  EXPECT_STREQ("Courier New", attributes.szFaceName);
  EXPECT_EQ(200, attributes.yHeight);
  EXPECT_EQ(GetSysColor(COLOR_WINDOWTEXT), attributes.crTextColor);
  const DWORD mask = CFM_FACE | CFM_SIZE | CFM_COLOR | CFM_BOLD | CFM_ITALIC | CFM_UNDERLINE | CFM_STRIKEOUT;
  EXPECT_EQ(mask, attributes.dwMask & mask);
  EXPECT_EQ(DWORD(CFE_BOLD | CFE_UNDERLINE), attributes.dwEffects);

  ASSERT_TRUE(ApplyFontStringToTextAttributes(attributes, "Arial;12;$FF;"));
  EXPECT_EQ(COLORREF(0xFF), attributes.crTextColor);
  EXPECT_EQ(0u, attributes.dwEffects);

  // What is not a font string leaves the format as it was.
  attributes.yHeight = 123;
  EXPECT_FALSE(ApplyFontStringToTextAttributes(attributes, "Arial;huge;$0;B"));
  EXPECT_EQ(123, attributes.yHeight);

  // A face name longer than the format holds is cut, never overrun.
  const std::string longName(200, 'x');
  ASSERT_TRUE(ApplyFontStringToTextAttributes(attributes, longName + ";10;$0;"));
  EXPECT_EQ(std::string(LF_FACESIZE - 1, 'x'), attributes.szFaceName);
}

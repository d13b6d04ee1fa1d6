// The keyboard walk through the windows of the main window's Online menu
// that look at texts and at the server, in the real program against a
// seeded lyskomd: the text properties window (an aux item added by keys),
// the text search, the marked texts and the statistics windows, each
// opened from its key or menu, walked with Tab and Shift+Tab on every page,
// its access keys tried, and Escape pressed where a person would.
#include "KeyboardWalk.h"

namespace {

using namespace Journey;

auto* const Demo = testing::AddGlobalTestEnvironment(new TDemoServer);

// The data of the text's aux items with that tag.
std::vector<std::string> AuxData(TSession& session, int text, int tag)
{
  std::vector<std::string> data;
  TComPtr<ILKCollection> status = TextStatus(session, text);
  TComPtr<ILKCollection> items = status ? LKSub(status.Get(), "aux_items") : nullptr;
  for (long i = 0; items && i < LKCount(items.Get()); ++i) {
    TComPtr<ILKCollection> item = LKCollectionOf(LKItem(items.Get(), i).Get());
    if (LKInt(item.Get(), "tag") == tag) data.push_back(LKString(item.Get(), "data"));
  }
  return data;
}

// The texts the person has marked.
std::vector<int> Marks(TSession& session)
{
  std::vector<int> marks;
  TLKRequest request(L_GET_MARKS, "");
  if (request.SyncSend(session.Communication()) != TRequestOutcome::Answered) return marks;
  TComPtr<ILKCollection> list = LKSub(request.Response(), "result");
  for (long i = 0; i < LKCount(list.Get()); ++i)
    marks.push_back(int(LKInt(LKCollectionOf(LKItem(list.Get(), i).Get()).Get(), "text_no")));
  return marks;
}

int ListRows(HWND list)
{
  DWORD_PTR rows = 0;
  SendMessageTimeoutA(list, LVM_GETITEMCOUNT, 0, 0, SMTO_ABORTIFHUNG, 5000, &rows);
  return int(rows);
}

// The page that a window's page control shows.
int ShownPage(HWND window)
{
  std::vector<HWND> tabs = Descendants(window, "SysTabControl32");
  DWORD_PTR page = DWORD_PTR(-1);
  if (!tabs.empty()) SendMessageTimeoutA(tabs.front(), TCM_GETCURSEL, 0, 0, SMTO_ABORTIFHUNG, 5000, &page);
  return int(page);
}

class WalkTexts : public TJourney
{
protected:
  // A window inside the main window, opened by keys typed in the reading window.
  static HWND OpenChildFromReading(const std::string& keys, const std::string& caption)
  {
    if (!Program->Activate(Reading)) return nullptr;
    const std::vector<HWND> before = Program->Children(caption);
    Keys(keys);
    HWND child = nullptr;
    WaitUntil([&] {
      for (HWND h : Program->Children(caption))
        if (std::find(before.begin(), before.end(), h) == before.end() && Program->FocusIn(h)) child = h;
      return child != nullptr;
    });
    return child;
  }
  static HWND StatisticsOf(const std::string& name)
  {
    return Program->ChildOrWindow("Statistics for " + name);
  }
  // A text of Alice's: her presentation (on her letterbox).
  static int AlicesText()
  {
    TComPtr<ILKCollection> status = ConferenceStatus(*Admin, Alice);
    return status ? int(LKInt(status.Get(), "presentation")) : 0;
  }
};

TEST_F(WalkTexts, TextPropertiesOpenFromAltEnterAndAnAuxItemIsAddedByKeys)
{
  const int text = AlicesText();
  ASSERT_GT(text, 0);
  HWND prompt = OpenFromReading("alt+Return", "Edit text properties");
  ASSERT_NE(prompt, nullptr) << "Alt+Enter asked nothing";
  Walk(*Program, prompt, "text-properties-prompt");
  TypeText(std::to_string(text));
  Keys("Return");
  const std::string caption = "Text properties for text " + std::to_string(text) + " by [6] " + AliceName;
  HWND window = AwaitWindow(caption);
  ASSERT_NE(window, nullptr) << "no window captioned \"" << caption << "\"";

  // Every page, from its first control; Ctrl+Tab turns to the next. The
  // check box below the pages is on every one.
  const TAccessKey lock = Ticks('l', "&Lock text number");
  const struct
  {
    const char* Name;
    TAccessKeys Keys;
  } pages[] = {
    {"recipients", {lock, FieldInside('n', "&Name", "RichEdit20A")}},
    {"texts", {lock, FieldBeside('n', "Text &number:", "Edit")}},
    {"aux",
     {lock, FieldBeside('t', "&Tag:", "ComboBox"), FieldBeside('g', "Fla&gs:", "Edit"),
      FieldBeside('e', "Inh&erit:", "Edit"), FieldBeside('d', "&Data:", "Edit")}},
    {"stats", {lock}},
  };
  for (int page = 0; page < 4; ++page) {
    SCOPED_TRACE(pages[page].Name);
    ASSERT_EQ(ShownPage(window), page);
    Walk(*Program, window, std::string("text-properties-") + pages[page].Name, pages[page].Keys);
    if (page == 2) {
      // An aux item: the tag typed, the data, and the page's "Add", each
      // reached by its access key.
      HWND tag = ControlBeside(window, Labelled(window, "&Tag:"), "ComboBox");
      HWND data = ControlBeside(window, Labelled(window, "&Data:"), "Edit");
      ASSERT_TRUE(tag && data);
      Keys("alt+t");
      ASSERT_TRUE(WaitUntil([&] { return FocusedStop(*Program, window) == tag; }, 3000))
        << "Alt+T: the focus is on " << Describe(Program->FocusedControl());
      TypeText("2");
      Keys("alt+d");
      ASSERT_TRUE(WaitUntil([&] { return Program->FocusedControl() == data; }, 3000))
        << "Alt+D: the focus is on " << Describe(Program->FocusedControl());
      TypeText("Seen by keys");
      Keys("alt+a");
      EXPECT_TRUE(WaitUntil([&] {
        const std::vector<std::string> replies = AuxData(*Admin, text, 2);
        return std::find(replies.begin(), replies.end(), "Seen by keys") != replies.end();
      })) << "the aux item did not reach the server";
      ShowWalk("text-properties-aux-added");
    }
    Keys("ctrl+Tab");
    // The page turns and the focus moves to it in one step of the program.
    ASSERT_TRUE(WaitUntil([&] { return ShownPage(window) == (page + 1) % 4; }, 5000)) << "Ctrl+Tab";
  }
  // "Close" is the window's cancel: Escape.
  Keys("Escape");
  EXPECT_TRUE(Closes(window));
}

TEST_F(WalkTexts, FindTextsIsWalkedFindsByKeysAndGoesOnEscape)
{
  HWND window = OpenChildFromReading("shift+ctrl+f", "Find texts");
  ASSERT_NE(window, nullptr) << "Shift+Ctrl+F opened no window of its own";
  // The conference comes first: the other fields wait for it.
  HWND recipient = nullptr, subject = nullptr;
  ASSERT_TRUE(WaitUntil([&] {
    recipient = ControlInside(window, Labelled(window, "&Rcpt: (required)"), "RichEdit20A");
    subject = ControlBeside(window, Labelled(window, "&Subj:"), "ComboBox");
    return recipient && subject && Program->FocusedControl() == recipient;
  })) << "the window does not open on its conference field";
  EXPECT_FALSE(IsWindowEnabled(subject));
  TypeText("Cooking");
  ASSERT_TRUE(WaitUntil([&] { return IsWindowEnabled(subject); })) << "a conference named left the subject disabled";
  Walk(*Program, window, "find-texts",
       {FieldInside('r', "&Rcpt: (required)", "RichEdit20A"), FieldInside('b', "&By:", "RichEdit20A"),
        FieldBeside('s', "&Subj:", "ComboBox"), FieldBeside('o', "B&ody:", "ComboBox"),
        Ticks('r', "&Regexp search (subj and body)")});
  // A word of the subject named, Enter finds the conference's texts about it.
  Keys("alt+s");
  ASSERT_TRUE(WaitUntil([&] { return FocusedStop(*Program, window) == subject; }, 3000));
  TypeText("pancakes");
  Keys("Return");
  HWND list = nullptr;
  for (HWND h : Descendants(window, "SysListView32"))
    if (IsWindowVisible(h)) list = h;
  ASSERT_NE(list, nullptr);
  EXPECT_TRUE(WaitUntil([&] { return ListRows(list) == 2; })) << ListRows(list) << " texts found";
  ShowWalk("find-texts-found");
  // "Done" is the window's cancel: Escape closes it.
  Keys("Escape");
  EXPECT_TRUE(Closes(window));
}

TEST_F(WalkTexts, AMarkedTextIsMarkedByKeysAndListed)
{
  const int text = AlicesText();
  HWND prompt = OpenFromReading("alt+n t m", "Mark text");
  ASSERT_NE(prompt, nullptr) << "Online > Texts > Mark text asked nothing";
  std::unique_ptr<TSession> alice = NewSession(Alice, AlicePassword);
  TypeText(std::to_string(text));
  Keys("Escape");
  ASSERT_TRUE(Closes(prompt));
  EXPECT_TRUE(Marks(*alice).empty());
  prompt = OpenFromReading("alt+n t m", "Mark text");
  ASSERT_NE(prompt, nullptr);
  TypeText(std::to_string(text));
  Keys("Return");
  ASSERT_TRUE(Closes(prompt));
  EXPECT_TRUE(WaitUntil([&] { return Marks(*alice) == std::vector<int>{text}; })) << "the text is not marked";

  HWND window = OpenChildFromReading("alt+n t v", "Marked texts");
  ASSERT_NE(window, nullptr) << "Online > Texts > View marked texts opened no window";
  HWND list = Descendants(window, "SysListView32").front();
  EXPECT_TRUE(WaitUntil([&] { return ListRows(list) == 1; })) << ListRows(list) << " marked texts listed";
  Walk(*Program, window, "marked-texts");
  EXPECT_TRUE(EscapeKeepsEveryField(*Program, window));
  // Its key opens another.
  ASSERT_NE(OpenChildFromReading("shift+ctrl+m", "Marked texts"), nullptr) << "Shift+Ctrl+M";
}

TEST_F(WalkTexts, StatisticsWindowsOpenFromTheirMenus)
{
  HWND prompt = OpenFromReading("alt+n c s", "View statistics");
  ASSERT_NE(prompt, nullptr) << "Online > Conferences > Conference statistics asked nothing";
  TypeText("Cooking");
  Keys("Return");
  HWND conference = nullptr;
  ASSERT_TRUE(WaitUntil([&] { return (conference = StatisticsOf("[11] Cooking")) != nullptr; }))
    << "no statistics of the conference";
  ASSERT_TRUE(Program->Activate(conference));
  Walk(*Program, conference, "conference-statistics");
  PostMessageA(conference, WM_CLOSE, 0, 0);
  ASSERT_TRUE(Closes(conference));

  prompt = OpenFromReading("alt+n u u", "View statistics");
  ASSERT_NE(prompt, nullptr) << "Online > Users > User statistics... asked nothing";
  TypeText(BertilName);
  Keys("Return");
  HWND person = nullptr;
  ASSERT_TRUE(WaitUntil([&] { return (person = StatisticsOf("[7] Bertil Berg")) != nullptr; }))
    << "no statistics of the person";
  ASSERT_TRUE(Program->Activate(person));
  Walk(*Program, person, "user-statistics");
  PostMessageA(person, WM_CLOSE, 0, 0);
  ASSERT_TRUE(Closes(person));

  ASSERT_TRUE(Program->Activate(Reading));
  Keys("alt+h s");
  HWND server = nullptr;
  ASSERT_TRUE(WaitUntil([&] { return (server = Program->ChildOrWindow("Statisitics")) != nullptr; }))
    << "Help > Statistics... opened nothing";
  ASSERT_TRUE(Program->Activate(server));
  Walk(*Program, server, "server-statistics");
  Keys("Escape");
  EXPECT_TRUE(Closes(server)) << "Escape kept the statistics";
}

} // namespace

// The options and window settings dialogs opened for real: the options are
// read from the person's user area on the server and written back to it
// (another client's section untouched), a user area that cannot be read is
// never overwritten, and the window settings go to the registry.
#include <gtest/gtest.h>

#include <string>

#include "AdminTestSupport.h"
#include "ConfigForm.h"
#include "DecimalInput.h"
#include "FontSettings.h"
#include "LyskomConfiguration.h"
#include "ModalScript.h"
#include "ReadArticleForm.h"
#include "SettingDefaults.h"
#include "SharedTables.h"
#include "UserMessages.h"
#include "WindowSettingsForm.h"
#include "WindowInput.h"

namespace {

using namespace AdminTest;
using TestSupport::ClickControl;
using TestSupport::ClickPageTab;
using TestSupport::TypeInto;

TTabSheet* Sheet(TForm* form, const char* name)
{
  auto* sheet = dynamic_cast<TTabSheet*>(form->FindComponent(name));
  EXPECT_NE(sheet, nullptr) << name;
  return sheet;
}

auto* const Environment = testing::AddGlobalTestEnvironment(new TProgramEnvironment);

std::string H(const std::string& s)
{
  return std::to_string(s.size()) + "H" + s;
}

// Another client's section, exactly as that client wrote it.
const std::string OtherSectionBody = " 5Hcolor red\n 4Hsize 12 \n 3Hzap x\\y z\n";

std::string UserAreaWith(const std::string& ownBody)
{
  const std::string header = " " + H("other-client") + " " + H("Omnora");
  return H(header) + " " + H(OtherSectionBody) + " " + H(ownBody);
}

class SettingsDialogs : public TLoggedInProgram
{
protected:
  void TearDown() override
  {
    while (UserMessageCount() > 0) TakeUserMessage();
    for (const char* name : {"StartWindowSizeMode", "ReadingViewStyle", "HeaderFont", "SubjectFont", "BodyFont",
                             "MessageFont", "SentMessageFont"})
      DeleteSetting(name);
    TLoggedInProgram::TearDown();
  }

  static int UserAreaTextNo()
  {
    TComPtr<ILKCollection> stat = Ask(L_GET_PERSON_STAT, "5");
    return stat ? int(LKInt(stat.Get(), "result.user_area")) : -1;
  }
  static std::string UserAreaText()
  {
    TComPtr<ILKCollection> text = Ask(L_GET_TEXT, TRequestArgs().Int(UserAreaTextNo()).Int(0).Int(2147483647));
    return text ? LKString(text.Get(), "result") : std::string();
  }
  static void SetUserArea(const std::string& area)
  {
    const int text = AskInt(L_CREATE_TEXT, TRequestArgs().Str(area).List({}));
    ASSERT_GT(text, 0);
    Ask(L_SET_USER_AREA, TRequestArgs().Int(5).Int(text));
  }

  static void RunDialog(TModalScript& script)
  {
    script.Start();
    ExecuteConfigForm(*ServerConfiguration, TLyskomdServer::AdminPerson);
    EXPECT_TRUE(script.Done()) << "stopped after step " << script.StepsDone();
    EXPECT_FALSE(script.GaveUp());
  }

  static TListItem* RowOf(TListView* list, const std::string& caption)
  {
    for (int i = 0; i < list->Count(); ++i)
      if (list->Item(i)->Caption() == caption) return list->Item(i);
    return nullptr;
  }
};

TEST_F(SettingsDialogs, OptionsShowTheClientsDefaultsAndSurviveANewLogin)
{
  SetUserArea(UserAreaWith(" " + H("Keymapping2") + " " + H("q") + H("nosuchcmd") + "\n"));
  ServerConfiguration->Clear();

  TModalScript script;
  script
    .Then<TConfigForm>("ConfigForm",
                       [](TConfigForm* f) {
                         EXPECT_EQ(f->Caption(), "Configuration");
                         EXPECT_TRUE(f->UserAreaRead());
                         EXPECT_EQ(f->PageControl1->ActivePage(), f->AlertsSheet);
                         // What the client does with nothing stored.
                         EXPECT_FALSE(f->SoundAllMsgCheckBox->Checked());
                         EXPECT_EQ(f->SoundPriTextLvlEdit->Text(), "255");
                         EXPECT_EQ(f->TrayPriTextLvlEdit->Text(), "255");
                         EXPECT_TRUE(f->MarkReadTextsCheckBox->Checked());
                         EXPECT_TRUE(f->ShowSubjTreeCheckBox->Checked());
                         EXPECT_TRUE(f->ShowCommentedTextCheckBox->Checked());
                         EXPECT_FALSE(f->ReformatTextsCheckBox->Checked());
                         EXPECT_TRUE(f->FilterAddedTextsCheckBox->Checked());
                         EXPECT_FALSE(f->ThreadIntoNonMemberConfCheckBox->Visible());
                         // Activity messages: the display text, but nothing for "override".
                         ASSERT_EQ(f->ActivityListView->Count(), ActivityCount);
                         EXPECT_EQ(f->ActivityListView->Item(2)->ColumnText(0), "Override");
                         EXPECT_EQ(f->ActivityListView->Item(2)->ColumnText(1), "");
                         EXPECT_EQ(f->ActivityListView->Item(3)->ColumnText(1), "Reading");
                         // A stored binding of a command this client lacks.
                         ASSERT_EQ(f->KeyListView->Count(), 1);
                         EXPECT_EQ(f->KeyListView->Item(0)->Caption(), "q");
                         EXPECT_EQ(f->KeyListView->Item(0)->ColumnText(1), "");
                         EXPECT_EQ(f->CommandComboBox->Items().size(), size_t(KeyCommandCount));
                         EXPECT_FALSE(f->RemoveKeyButton->Enabled());

                         Screenshot(f, "options-dialog.png");
                         EXPECT_TRUE(TypeInto(f->SoundPriTextLvlEdit->Handle(), "200"));
                         TModalScript::Click(f->SoundAllMsgCheckBox);
                         TModalScript::Click(f->ApplyButton);
                       })
    .Then<TConfigForm>("ConfigForm",
                       [](TConfigForm* f) {
                         EXPECT_TRUE(f->SoundAllMsgCheckBox->Checked());
                         // Changed after "Apply", then cancelled.
                         EXPECT_TRUE(TypeInto(f->SoundPriTextLvlEdit->Handle(), "77"));
                         TModalScript::Click(f->CancelButton);
                       });
  RunDialog(script);
  {
    TLyskomServerConfiguration reread;
    ASSERT_TRUE(LoadServerConfiguration(reread, UserAreaText()));
    EXPECT_EQ(reread.ReadString("SoundPriTextLvl", ""), "200");
    EXPECT_EQ(reread.ReadString("SoundAllMsg", ""), "1");
  }

  TMessageBoxRecorder* boxes = Boxes.get();
  TModalScript again;
  again
    .Then<TConfigForm>("ConfigForm",
                       [boxes](TConfigForm* f) {
                         EXPECT_EQ(f->SoundPriTextLvlEdit->Text(), "200");
                         boxes->SetAnswer(IDYES);
                         EXPECT_TRUE(ClickPageTab(Sheet(f, "KeyboardSheet")));
                       })
    .Then<TConfigForm>("ConfigForm", [](TConfigForm* f) { TModalScript::Click(f->DefaultKeysButton); })
    .Then<TConfigForm>("ConfigForm",
                       [boxes](TConfigForm* f) {
                         ASSERT_FALSE(boxes->Boxes().empty());
                         EXPECT_EQ(boxes->Boxes().back().Text, DefaultKeysQuestion);
                         EXPECT_EQ(boxes->Boxes().back().Caption, DefaultKeysCaption);
                         ASSERT_EQ(f->KeyListView->Count(), DefaultKeyBindingCount);
                         EXPECT_EQ(f->KeyListView->Item(1)->Caption(), "k");
                         EXPECT_EQ(f->KeyListView->Item(1)->ColumnText(1), "Write comment to");
                         // With no command chosen, "Add" adds nothing.
                         EXPECT_EQ(f->CommandComboBox->ItemIndex(), -1);
                         EXPECT_TRUE(TypeInto(f->KeySequenceEdit->Handle(), "zz"));
                         TModalScript::Click(f->AddKeyButton);
                       })
    .Then<TConfigForm>("ConfigForm",
                       [](TConfigForm* f) {
                         EXPECT_EQ(f->KeyListView->Count(), DefaultKeyBindingCount);
                         // "zz" bound twice: the later row wins.
                         EXPECT_TRUE(TestSupport::ChooseComboItem(f->CommandComboBox->Handle(), 4));  // "Write a new text"
                         TModalScript::Click(f->AddKeyButton);
                       })
    .Then<TConfigForm>("ConfigForm",
                       [](TConfigForm* f) {
                         EXPECT_TRUE(TestSupport::ChooseComboItem(f->CommandComboBox->Handle(), 5));  // "Write a new letter"
                         TModalScript::Click(f->AddKeyButton);
                       })
    .Then<TConfigForm>("ConfigForm",
                       [](TConfigForm* f) {
                         EXPECT_EQ(f->KeyListView->Count(), DefaultKeyBindingCount + 2);
                         // Removing "h": its row chosen shows it in the fields.
                         for (int i = 0; i < f->KeyListView->Count(); ++i)
                           if (f->KeyListView->Item(i)->Caption() == "h") {
                             EXPECT_TRUE(TestSupport::ClickListRow(f->KeyListView->Handle(), i));
                           }
                       })
    .Then<TConfigForm>("ConfigForm",
                       [](TConfigForm* f) {
                         EXPECT_TRUE(f->RemoveKeyButton->Enabled());
                         EXPECT_EQ(f->KeySequenceEdit->Text(), "h");
                         EXPECT_EQ(f->CommandComboBox->ItemIndex(), 12);  // "Skip over comments"
                         TModalScript::Click(f->RemoveKeyButton);
                       })
    .Then<TConfigForm>("ConfigForm",
                       [](TConfigForm* f) {
                         EXPECT_EQ(RowOf(f->KeyListView, "h"), nullptr);
                         EXPECT_TRUE(ClickPageTab(Sheet(f, "ActivitySheet")));
                       })
    .Then<TConfigForm>("ConfigForm",
                       [](TConfigForm* f) {
                         EXPECT_TRUE(TestSupport::ClickListRow(f->ActivityListView->Handle(), 3));
                       })
    .Then<TConfigForm>("ConfigForm",
                       [](TConfigForm* f) {
                         EXPECT_EQ(f->ActivityMessageEdit->Text(), "Reading");
                         EXPECT_TRUE(TypeInto(f->ActivityMessageEdit->Handle(), "Studying the texts"));
                         TModalScript::Click(f->SetActivityButton);
                       })
    .Then<TConfigForm>("ConfigForm", [](TConfigForm* f) { EXPECT_TRUE(ClickPageTab(Sheet(f, "MiscSheet"))); })
    .Then<TConfigForm>("ConfigForm",
                       [](TConfigForm* f) {
                         TModalScript::Click(f->ReformatTextsCheckBox);
                         TModalScript::Click(f->OkButton);
                       });
  RunDialog(again);

  // A new login reads all of it back from the server.
  ServerConfiguration->Clear();
  ASSERT_TRUE(ReadUserArea(*ServerConfiguration, TLyskomdServer::AdminPerson, true));
  EXPECT_EQ(ServerConfiguration->ReadString("SoundPriTextLvl", ""), "200");
  EXPECT_EQ(ServerConfiguration->ReadString("ReformatTexts", ""), "1");
  EXPECT_EQ(ServerConfiguration->ReadString("Activity-read", ""), "Studying the texts");
  EXPECT_EQ(ServerConfiguration->ReadString("Activity-override", "x"), "");
  EXPECT_EQ(LookupKeyBinding(ServerConfiguration->KeyMappingPairs(), "zz"), 6);
  EXPECT_EQ(LookupKeyBinding(ServerConfiguration->KeyMappingPairs(), "h"), KeyBindingNone);
  EXPECT_EQ(LookupKeyBinding(ServerConfiguration->KeyMappingPairs(), "k"), 2);

  // The other client's section, byte for byte.
  const std::string area = UserAreaText();
  EXPECT_NE(area.find(" " + H(OtherSectionBody)), std::string::npos) << area;
  EXPECT_EQ(ServerConfiguration->SectionNames(), (std::vector<std::string>{"other-client", "Omnora"}));
}

TEST_F(SettingsDialogs, AUserAreaThatCannotBeReadIsNeverOverwritten)
{
  // A list of sections cut short cannot be read.
  SetUserArea("99999H" + UserAreaWith(" " + H("SoundAllMsg") + " 1\n"));
  const int area = UserAreaTextNo();
  ServerConfiguration->Clear();
  while (UserMessageCount() > 0) TakeUserMessage();

  TModalScript script;
  script.Then<TConfigForm>("ConfigForm", [](TConfigForm* f) {
    EXPECT_FALSE(f->UserAreaRead());
    EXPECT_TRUE(ClickPageTab(Sheet(f, "MiscSheet")));
  }).Then<TConfigForm>("ConfigForm", [](TConfigForm* f) {
    TModalScript::Click(f->ReformatTextsCheckBox);
    TModalScript::Click(f->OkButton);
  });
  RunDialog(script);

  ASSERT_GE(Boxes->Count(), 1u);
  EXPECT_EQ(Boxes->Boxes()[0].Text, ConfigLoadFailedMessage);
  EXPECT_EQ(Boxes->Boxes()[0].Caption, "Omnora");
  EXPECT_EQ(Boxes->Boxes()[0].Flags & MB_ICONMASK, 0u);
  EXPECT_EQ(UserAreaTextNo(), area);
  EXPECT_EQ(TakeUserMessage(), UserAreaNotReadMessage);
  // The change holds for this run.
  EXPECT_EQ(ServerConfiguration->ReadString("ReformatTexts", ""), "1");
}

TEST_F(SettingsDialogs, ALevelThatIsNotANumberKeepsTheDialogOpenAndSavesNothing)
{
  SetUserArea(UserAreaWith(" " + H("TrayPriTextLvl") + " 150\n"));
  ServerConfiguration->Clear();
  const int area = UserAreaTextNo();

  TModalScript script;
  script
    .Then<TConfigForm>("ConfigForm",
                       [](TConfigForm* f) {
                         EXPECT_EQ(f->TrayPriTextLvlEdit->Text(), "150");
                         EXPECT_TRUE(TypeInto(f->TrayPriTextLvlEdit->Handle(), "high"));
                         EXPECT_TRUE(ClickPageTab(Sheet(f, "MiscSheet")));
                       })
    .Then<TConfigForm>("ConfigForm",
                       [](TConfigForm* f) {
                         TModalScript::Click(f->ReformatTextsCheckBox);
                         TModalScript::Click(f->OkButton);
                       })
    .Then<TConfigForm>("ConfigForm",
                       [](TConfigForm* f) {
                         // Still open, on the page of the refused level.
                         EXPECT_EQ(TakeUserMessage(), NotAValidNumberMessage);
                         EXPECT_EQ(f->PageControl1->ActivePage(), f->AlertsSheet);
                         EXPECT_EQ(ServerConfiguration->ReadString("ReformatTexts", ""), "");
                         EXPECT_TRUE(TypeInto(f->TrayPriTextLvlEdit->Handle(), " 180 "));
                         TModalScript::Click(f->OkButton);
                       });
  RunDialog(script);
  EXPECT_NE(UserAreaTextNo(), area);
  ServerConfiguration->Clear();
  ASSERT_TRUE(ReadUserArea(*ServerConfiguration, TLyskomdServer::AdminPerson, true));
  EXPECT_EQ(ServerConfiguration->ReadString("TrayPriTextLvl", ""), "180");
  EXPECT_EQ(ServerConfiguration->ReadString("ReformatTexts", ""), "1");
}

class WindowSettings : public TStartedProgram
{
protected:
  void TearDown() override
  {
    for (const char* name : {"StartWindowSizeMode", "ReadingViewStyle", "HeaderFont", "SubjectFont", "BodyFont",
                             "MessageFont", "SentMessageFont", "CommSplitSize", "SubjSplitSize", "ConfListListCol1"})
      DeleteSetting(name);
    TStartedProgram::TearDown();
  }

  static void RunDialog(TModalScript& script)
  {
    script.Start();
    ExecuteWindowSettingsForm();
    EXPECT_TRUE(script.Done()) << "stopped after step " << script.StepsDone();
    EXPECT_FALSE(script.GaveUp());
  }

  static std::string SampleFaceAt(TWindowSettingsForm* f, int position)
  {
    CHARRANGE r{position, position + 1};
    SendMessageA(f->SampleRichEdit->Handle(), EM_EXSETSEL, 0, LPARAM(&r));
    CHARFORMAT2A format{};
    format.cbSize = sizeof(format);
    SendMessageA(f->SampleRichEdit->Handle(), EM_GETCHARFORMAT, SCF_SELECTION, LPARAM(&format));
    return format.szFaceName;
  }
};

TEST_F(WindowSettings, SizesViewAndFontsGoToTheRegistryOnlyWhenConfirmed)
{
  ShowMain();
  WriteSetting("StartWindowSizeMode", "abc");
  WriteSetting("BodyFont", "Arial;12;$80000008;B");

  TModalScript script;
  script
    .Then<TWindowSettingsForm>("WindowSettingsForm",
                               [](TWindowSettingsForm* f) {
                                 EXPECT_EQ(f->Caption(), "Window settings");
                                 // Not a number: the default, the current size.
                                 EXPECT_TRUE(f->CurrentSizeRadioButton->Checked());
                                 EXPECT_FALSE(f->MaximizedRadioButton->Checked());
                                 EXPECT_TRUE(f->FormViewRadioButton->Checked());
                                 EXPECT_EQ(f->WidthEdit->Text(), std::to_string(MainForm->Width()));
                                 EXPECT_EQ(f->FontCategoryComboBox->Items().size(), 5u);
                                 EXPECT_EQ(f->FontNameEdit->Text(), "MS Sans Serif, 11");
                                 EXPECT_TRUE(ClickPageTab(f->FontSheet));
                               })
    .Then<TWindowSettingsForm>("WindowSettingsForm",
                               [](TWindowSettingsForm* f) {
                                 EXPECT_TRUE(TestSupport::ChooseComboItem(f->FontCategoryComboBox->Handle(), fcBody));
                               })
    .Then<TWindowSettingsForm>("WindowSettingsForm",
                               [](TWindowSettingsForm* f) {
                                 EXPECT_EQ(f->FontNameEdit->Text(), "Arial, 12");
                                 f->FontDialog = [](TFontSetting& font) {
                                   EXPECT_EQ(font.Name, "Arial");
                                   font.Name = "Tahoma";
                                   font.Size = 14;
                                   return true;
                                 };
                                 TModalScript::Click(f->EditFontButton);
                               })
    .Then<TWindowSettingsForm>("WindowSettingsForm",
                               [](TWindowSettingsForm* f) {
                                 EXPECT_EQ(f->FontStrings[fcBody], "Tahoma;14;$80000008;B");
                                 // The sample shows the edited font, the edit the stored one.
                                 EXPECT_EQ(f->FontNameEdit->Text(), "Arial, 12");
                                 const int bodyLine = int(f->SampleRichEdit->Text().find("The body"));
                                 EXPECT_EQ(SampleFaceAt(f, bodyLine), "Tahoma");
                                 Screenshot(f, "window-settings.png");
                                 TModalScript::Click(f->CancelButton);
                               });
  RunDialog(script);
  EXPECT_EQ(RegistryConfiguration->ReadString("BodyFont", ""), "Arial;12;$80000008;B");
  EXPECT_EQ(RegistryConfiguration->ReadString("ReadingViewStyle", "none"), "none");

  TModalScript confirmed;
  confirmed
    .Then<TWindowSettingsForm>("WindowSettingsForm",
                               [](TWindowSettingsForm* f) {
                                 // Cancelled before: the stored font again.
                                 EXPECT_EQ(f->FontStrings[fcBody], "Arial;12;$80000008;B");
                                 f->FontDialog = [](TFontSetting& font) {
                                   font.Name = "Courier New";
                                   font.Size = 9;
                                   font.Italic = true;
                                   return true;
                                 };
                                 EXPECT_TRUE(ClickPageTab(f->FontSheet));
                               })
    .Then<TWindowSettingsForm>("WindowSettingsForm",
                               [](TWindowSettingsForm* f) {
                                 EXPECT_TRUE(TestSupport::ChooseComboItem(f->FontCategoryComboBox->Handle(), fcSentMessage));
                               })
    .Then<TWindowSettingsForm>("WindowSettingsForm",
                               [](TWindowSettingsForm* f) {
                                 TModalScript::Click(f->EditFontButton);
                               })
    .Then<TWindowSettingsForm>("WindowSettingsForm",
                               [](TWindowSettingsForm* f) { EXPECT_TRUE(ClickPageTab(f->PageControl1->Page(0))); })
    .Then<TWindowSettingsForm>("WindowSettingsForm",
                               [](TWindowSettingsForm* f) { TModalScript::Click(f->EditBufferRadioButton); })
    .Then<TWindowSettingsForm>("WindowSettingsForm", [](TWindowSettingsForm* f) {
      EXPECT_EQ(f->ReadingViewIndex(), 1);
      TModalScript::Click(f->OkButton);
    });
  // The reading window's layout, changed by the user, survives the reload.
  ReadArticleForm->CommentedViewPanel->SetHeight(123);
  ReadArticleForm->ConfListView->SetColumnWidth(1, 140);
  ReadArticleForm->Realign();
  RunDialog(confirmed);
  EXPECT_EQ(RegistryConfiguration->ReadString("CommSplitSize", ""), "123");
  EXPECT_EQ(RegistryConfiguration->ReadString("ConfListListCol1", ""), "140");
  EXPECT_EQ(RegistryConfiguration->ReadInteger("SubjSplitSize", 0), ReadArticleForm->ConfListView->Height());
  EXPECT_EQ(ReadArticleForm->CommentedViewPanel->Height(), 123);
  EXPECT_EQ(ReadArticleForm->ConfListView->ColumnWidth(1), 140);
  EXPECT_EQ(RegistryConfiguration->ReadString("ReadingViewStyle", ""), "1");
  EXPECT_EQ(RegistryConfiguration->ReadString("StartWindowSizeMode", ""), "2");
  EXPECT_EQ(RegistryConfiguration->ReadString("SentMessageFont", ""), "Courier New;9;$80000008;BI");
  EXPECT_EQ(RegistryConfiguration->ReadString("BodyFont", ""), "Arial;12;$80000008;B");
  EXPECT_EQ(RegistryConfiguration->ReadString("HeaderFont", ""), FontSettingTable[fcHeader].Default);
  // The windows stored their layout before reloading it.
  EXPECT_EQ(RegistryConfiguration->ReadInteger("WindowPosWidth", 0), MainForm->Width());

  // Closing the reading window (it is minimised) stores its layout too.
  DeleteSetting("CommSplitSize");
  TestSupport::CloseWindow(ReadArticleForm);
  EXPECT_TRUE(WaitFor([] { return RegistryConfiguration->ReadString("CommSplitSize", "") == "123"; }, 5000));
}

} // namespace

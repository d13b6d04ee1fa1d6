// What a newcomer meets first: Esc closes the about box, and a new host
// profile whose properties are cancelled is not left behind.
#include "AboutBoxForm.h"
#include "ConfigListForm.h"
#include "HostConfigForm.h"
#include "MainTestSupport.h"
#include "ModalScript.h"

namespace {

using namespace MainTest;

auto* const Environment = testing::AddGlobalTestEnvironment(new TProgramEnvironment);

TEST(Newcomer, EscapeClosesTheAboutBox)
{
  TModalScript script(5000);
  script.Then("AboutBox", [](TForm* f) {
    HWND button = dynamic_cast<TControl*>(f->FindComponent("OKButton"))->Handle();
    SetFocus(button);
    PostMessageA(button, WM_KEYDOWN, VK_ESCAPE, 0);
  });
  script.Start();
  ShowAboutBox();
  EXPECT_TRUE(script.Done());
  EXPECT_FALSE(script.GaveUp());
}

TEST(Newcomer, CancelledPropertiesOfANewHostLeaveNoProfile)
{
  TModalScript script;
  script.Then("ConfigListForm", [](TForm* f) {
    TModalScript::Click(dynamic_cast<TButton*>(f->FindComponent("AddButton")));
  });
  script.Then("InputQueryForm", [](TForm* f) {
    dynamic_cast<TEdit*>(f->FindComponent("ValueEdit"))->SetText("Half made");
    TModalScript::Click(dynamic_cast<TButton*>(f->FindComponent("OkButton")));
  });
  script.Then("HostConfigForm", [](TForm* f) {
    TModalScript::Click(dynamic_cast<TButton*>(f->FindComponent("CancelButton")));
  });
  script.Then<TConfigListForm>("ConfigListForm", [](TConfigListForm* f) {
    EXPECT_EQ(f->ListView1->FindCaption("Half made"), nullptr);
    TModalScript::Click(f->DoneButton);
  });
  script.Start();
  ShowConfigList();
  EXPECT_TRUE(script.Done());
  EXPECT_FALSE(ConnectionProfileExists("Half made"));
}

} // namespace

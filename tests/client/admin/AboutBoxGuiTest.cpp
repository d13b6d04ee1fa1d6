// The about box, opened modally for real: it shows the program's version
// from its own version resource, animates its figures while shown and only
// then, opens its home page through the shell, and closes with OK. The
// spinning control survives tiny and empty drawing areas.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <typeinfo>

#include "AboutBoxForm.h"
#include "OmnoraForms.h"
#include "OmnoraVersion.h"
#include "ProgramVersion.h"
#include "TestSupport.h"
#include "Application.h"
#include "ComponentRegistry.h"
#include "WindowInput.h"

namespace {

const int ExpectedVersion[4] = {OMNORA_VERSION_NUMBERS};

std::unique_ptr<TKub> FreshLike(const TKub& figure)
{
  const std::type_info& t = typeid(figure);
  if (t == typeid(THalKub)) return std::make_unique<THalKub>();
  if (t == typeid(TPyramid)) return std::make_unique<TPyramid>();
  if (t == typeid(TZata)) return std::make_unique<TZata>();
  if (t == typeid(TBoll)) return std::make_unique<TBoll>();
  if (t == typeid(TRing)) return std::make_unique<TRing>();
  return std::make_unique<TKub>();
}

bool InStartPosition(const TKub& figure)
{
  auto fresh = FreshLike(figure);
  const TPoint3d& a = figure.Faces()[0]->Vertices()[0];
  const TPoint3d& b = fresh->Faces()[0]->Vertices()[0];
  return a.Minus(b).Length() < 1e-5f;
}

SIZE BitmapSize(HBITMAP bitmap)
{
  BITMAP bm{};
  GetObjectA(bitmap, sizeof(bm), &bm);
  return {bm.bmWidth, bm.bmHeight};
}

class AboutBox : public testing::Test
{
protected:
  static void SetUpTestSuite()
  {
    Application().Initialize();
    RegisterOmnoraForms();
  }

  void SetUp() override
  {
    Opened.clear();
    TAboutBox::ShellOpen = [this](const std::string& address) { Opened.push_back(address); };
  }

  // Shows the box modally and runs check on the window thread once ready()
  // holds; then presses OK.
  void WhileShown(TAboutBox* box, const std::function<bool(TAboutBox*)>& ready,
                  const std::function<void(TAboutBox*)>& check)
  {
    bool done = false;
    TTimer driver(nullptr);
    driver.SetInterval(20);
    driver.OnTimer = [&](TComponent*) {
      auto* box = dynamic_cast<TAboutBox*>(Application().FindForm("AboutBox"));
      if (done || !box || !box->IsModal() || !ready(box)) return;
      done = true;
      driver.SetEnabled(false);
      check(box);
      EXPECT_TRUE(TestSupport::ClickControl(box->OKButton->Handle()));
    };
    driver.SetEnabled(true);
    EXPECT_EQ(box->ShowModal(), mrOk);
    EXPECT_TRUE(done) << "the box was never ready";
  }

  std::vector<std::string> Opened;
};

TEST_F(AboutBox, ProgramVersionComesFromTheVersionResource)
{
  TProgramVersion sample;
  sample.Major = 0;
  sample.Minor = 4;
  sample.Release = 6;
  sample.Build = 137;
  EXPECT_EQ(FormatVersionMajor(sample), "0");
  EXPECT_EQ(FormatVersionMinor(sample), "46 (build 137)");

  const TProgramVersion& v = ProgramVersion();
  ASSERT_TRUE(v.Found);
  EXPECT_EQ(v.Major, ExpectedVersion[0]);
  EXPECT_EQ(v.Minor, ExpectedVersion[1]);
  EXPECT_EQ(v.Release, ExpectedVersion[2]);
  EXPECT_EQ(v.Build, ExpectedVersion[3]);
  EXPECT_EQ(ProgramBuildDate(), OMNORA_BUILD_DATE);

  TProgramVersion engine = ReadProductVersion(TestSupport::ProgramDir() + "\\Vantor.dll");
  EXPECT_TRUE(engine.Found);
  EXPECT_FALSE(ReadProductVersion(TestSupport::ProgramDir() + "\\NoSuchModule.dll").Found);
}

TEST_F(AboutBox, OpensModallyShowsTheVersionAnimatesAndClosesWithOk)
{
  const std::string expected = "Version " + std::to_string(ExpectedVersion[0]) + "." +
                               std::to_string(ExpectedVersion[1]) + std::to_string(ExpectedVersion[2]) + " (build " +
                               std::to_string(ExpectedVersion[3]) + ") " + OMNORA_BUILD_DATE;
  EXPECT_EQ(TAboutBox::VersionCaption(), expected);

  TAboutBox* box = CreateForm<TAboutBox>(nullptr);
  EXPECT_FALSE(box->Timer1->Enabled());
  TPoint3d vertex, light;
  int firstSteps = -1;
  WhileShown(box, [&](TAboutBox* b) {
      // The animation runs: the figures and the light turn, tick by tick.
      if (firstSteps < 0) {
        firstSteps = b->SpinCube1->StepCount();
        vertex = b->SpinCube1->Figures()[0]->Faces()[0]->Vertices()[0];
        light = SpinCubeShared().Light;
        return false;
      }
      return b->SpinCube1->StepCount() >= firstSteps + 30;
    },
    [&](TAboutBox* b) {
      EXPECT_EQ(b, box);
      EXPECT_EQ(b->Caption(), "About");
      EXPECT_EQ(b->ClientWidth(), 298);
      EXPECT_EQ(b->ClientHeight(), 201);
      EXPECT_EQ(b->Version->Caption(), expected);
      EXPECT_EQ(b->ProductName->Caption(), "Omnora");
      EXPECT_TRUE(b->Timer1->Enabled());
      EXPECT_EQ(b->Timer1->Interval(), 10u);
      EXPECT_EQ(b->SpinCube1->Width(), 81);
      EXPECT_EQ(b->SpinCube1->DrawWidth(), 81);
      EXPECT_TRUE(b->SpinCube1->BackgroundReady());
      EXPECT_GT(b->SpinCube1->Figures()[0]->Faces()[0]->Vertices()[0].Minus(vertex).Length(), 0.0f);
      EXPECT_GT(SpinCubeShared().Light.Minus(light).Length(), 0.0f);
      // Centred on the screen.
      RECT work{}, r{};
      SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
      GetWindowRect(b->HostHandle(), &r);
      EXPECT_NEAR((r.left + r.right) / 2, (work.left + work.right) / 2, 2);

      RedrawWindow(b->HostHandle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
      std::string shot = TestSupport::UnixPathOf(TestSupport::OutputDir()) + "/about-box.png";
      EXPECT_TRUE(TestSupport::RunUnixCommand("import -window root '" + shot + "'", 20000));

      // The address opens in the browser when clicked.
      HWND edit = b->Edit1->Handle();
      ASSERT_TRUE(TestSupport::ClickAt(edit, 5, 5));
      Application().ProcessMessages();
      ASSERT_EQ(Opened.size(), 1u);
      EXPECT_EQ(Opened[0], b->Edit1->Text());
      EXPECT_EQ(Opened[0].rfind("https://", 0), 0u);
    });
  // Hidden: the timer stops, so showing it again does not add a second one.
  EXPECT_FALSE(box->Timer1->Enabled());
  EXPECT_FALSE(box->Visible());
  int stepsWhileHidden = box->SpinCube1->StepCount();
  WhileShown(box, [&](TAboutBox* b) { return b->SpinCube1->StepCount() > stepsWhileHidden + 5; },
             [&](TAboutBox* b) { EXPECT_TRUE(b->Timer1->Enabled()); });
  EXPECT_FALSE(box->Timer1->Enabled());
  box->Free();
  Application().ProcessMessages();
  EXPECT_EQ(Application().FindForm("AboutBox"), nullptr);
}

TEST_F(AboutBox, SpinCubeSurvivesTinyAreasAndRebuildsItsBackground)
{
  TAboutBox* box = CreateForm<TAboutBox>(nullptr);
  ASSERT_NE(box, nullptr);
  WhileShown(box, [](TAboutBox* b) { return b->SpinCube1->StepCount() > 3; },
    [&](TAboutBox* b) {
      TSpinCube* cube = b->SpinCube1;
      for (SIZE s : {SIZE{0, 0}, SIZE{1, 1}, SIZE{0, 40}, SIZE{3, 0}, SIZE{2, 2}}) {
        cube->SetBounds(8, 8, s.cx, s.cy);
        EXPECT_EQ(cube->DrawWidth(), s.cx);
        EXPECT_EQ(cube->DrawHeight(), s.cy);
        for (int i = 0; i < 10; ++i) cube->Step();
        Application().ProcessMessages();
      }
      // Resizing rebuilds the background on the next step, at the new size.
      cube->SetBounds(8, 8, 60, 50);
      EXPECT_FALSE(cube->BackgroundReady());
      EXPECT_EQ(SpinCubeShared().ScreenCentre.x, 30);
      EXPECT_EQ(SpinCubeShared().ScreenCentre.y, 25);
      cube->Step();
      EXPECT_TRUE(cube->BackgroundReady());
      SIZE size = BitmapSize(cube->BackgroundBitmap());
      EXPECT_EQ(size.cx, 60);
      EXPECT_EQ(size.cy, 50);
      cube->SetBounds(8, 8, 81, 81);

      // A left double click chooses new figures, which start unturned; a
      // right double click switches the face overlay, which draws too. Sent
      // straight to the cube: any paint that the loop runs turns the figures
      // on at once.
      for (int i = 0; i < 5; ++i) cube->Step();
      SendMessageA(cube->Handle(), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(10, 10));
      for (const auto& figure : cube->Figures()) EXPECT_TRUE(InStartPosition(*figure));
      bool overlay = SpinCubeShared().FaceOverlay;
      SendMessageA(cube->Handle(), WM_RBUTTONDBLCLK, MK_RBUTTON, MAKELPARAM(10, 10));
      EXPECT_NE(SpinCubeShared().FaceOverlay, overlay);
      cube->Step();
      SendMessageA(cube->Handle(), WM_RBUTTONDBLCLK, MK_RBUTTON, MAKELPARAM(10, 10));
      EXPECT_EQ(SpinCubeShared().FaceOverlay, overlay);
    });
  box->Free();
  Application().ProcessMessages();
}

} // namespace

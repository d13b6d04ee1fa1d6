// Showing a text with many comments in the two text views of the reading
// window, on a local lyskomd: the flow view (the text with its "Comments
// in" line of links) and the form view (the text with its comment
// previews), with cold caches (everything fetched) and warm ones, and the
// form view going from one such text to the next. Each
// figure is the median of five runs. Needs a display:
//   . tests/support/wine-env.sh; omnora_wine_prefix build; omnora_shared_display build
//   build/wine-run build/bin/TextViewBench.exe [comments]
#include <winsock2.h>
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <vector>

#include "../tests/client/core/EngineSession.h"
#include "ArticleFormViewForm.h"
#include "ArticleViewForm.h"
#include "ClientCaches.h"
#include "Form.h"
#include "Application.h"
#include "LyskomdServer.h"
#include "MessageBoxes.h"
#include "OmnoraForms.h"
#include "ProcessObjects.h"
#include "ReadArticleForm.h"

namespace {

using Clock = std::chrono::steady_clock;

double MedianMs(int runs, const std::function<void()>& prepare, const std::function<void()>& work)
{
  std::vector<double> times;
  for (int i = 0; i < runs; ++i) {
    prepare();
    auto start = Clock::now();
    work();
    Application().ProcessMessages();
    times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
  const int comments = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1000;
  TestSupport::EnsureVantorRegistered();
  TestSupport::TLyskomdServer server;
  server.Start();
  TUnitsScope units;
  if (!units.Ok()) return 1;
  TMessageBoxRecorder boxes;
  Application().Initialize();
  CreateStartupForms();
  Application().MainForm()->Show();
  EngineSession::TSession session(TestSupport::TLyskomdServer::Host(), server.Port());
  const int conf = session.CreateConference("Bench");
  const int root = session.TextTo(conf, "Popular\nA text with many comments.\n");
  // A second such text: the reading window goes from one text to the next
  // without emptying its view in between.
  const int other = session.TextTo(conf, "Also popular\nAnother text with many comments.\n");
  int created = 0;
  for (int i = 0; i < comments; ++i) {
    created +=
      session.CreateText("Re\nComment " + std::to_string(i) + ".\n", {RecipientItem(conf), CommentToItem(root)}) > 0;
    session.CreateText("Re\nOther " + std::to_string(i) + ".\n", {RecipientItem(conf), CommentToItem(other)});
  }

  ReadArticleForm->MainView->Hide();
  auto* flow = CreateEmbeddedForm<TArticleViewForm>(ReadArticleForm->MainViewPanel, ReadArticleForm);
  auto* form = CreateEmbeddedForm<TArticleFormViewForm>(ReadArticleForm->MainViewPanel, ReadArticleForm);
  ReadArticleForm->SetBounds(0, 0, 900, 700);
  const int runs = 5;
  auto cold = [] { ClearAllCaches(); };
  auto warm = [] {};
  auto showFlow = [&] {
    flow->ClearView();
    flow->ShowText(root);
  };
  auto showForm = [&] {
    flow->Hide();
    form->Show();
    form->ClearView();
    form->ShowText(root);
  };
  std::printf("Text with %d comments (the server took %d), median of %d runs\n", comments, created, runs);
  std::printf("flow view, cold caches: %8.1f ms\n", MedianMs(runs, cold, showFlow));
  std::printf("flow view, warm caches: %8.1f ms\n", MedianMs(runs, warm, showFlow));
  const double formCold = MedianMs(runs, cold, showForm);
  std::printf("form view, cold caches: %8.1f ms (%zu previews)\n", formCold, form->CommentViews().size());
  std::printf("form view, warm caches: %8.1f ms\n", MedianMs(runs, warm, showForm));
  // As the reading window shows texts one after the other: each text with
  // many comments follows another one.
  int next = other;
  auto showNext = [&] {
    form->ShowText(next);
    next = next == root ? other : root;
  };
  std::printf("form view, the next text, warm caches: %8.1f ms\n", MedianMs(runs, warm, showNext));
  flow->Free();
  form->Free();
  Application().Shutdown();
  return 0;
}

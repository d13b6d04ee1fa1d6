#include "TextServiceCommands.h"

#include <string>

#include "ClientCaches.h"
#include "DecimalInput.h"
#include "EngineBinding.h"
#include "Form.h"
#include "InputQuery.h"
#include "Application.h"
#include "GetNameForm.h"
#include "LKRequest.h"
#include "LyskomErrors.h"
#include "MessageBoxes.h"
#include "ProtocolText.h"
#include "ReadArticleForm.h"
#include "ReadingOrder.h"
#include "SessionState.h"
#include "TextServices.h"
#include "UserMessages.h"
#include "WriteTextForm.h"

namespace {

void Say(const std::string& text)
{
  ShowMessageBox(nullptr, text, Application().Title, MB_OK);
}

void ShowWithHistory(int textNo)
{
  if (ReadArticleForm) ReadArticleForm->ShowTextByNumber(textNo, true);
}

// Drops the conference from the store and loads it anew.
void ReloadConference(int confNo)
{
  InvalidateConference(confNo);
  if (TConferenceRef conf = ConferenceByNumber(confNo)) conf->LoadStatus();
}

} // namespace

void ViewFaq(int confNo)
{
  if (confNo < 1) {
    Say("No such conference");
    return;
  }
  int error = 0;
  const int faq = GetFaqTextNo(confNo, &error);
  if (faq == -2) {
    // Only a server that lacks the request is said not to support it.
    if (error == L_ERR_NOT_IMPLEMENTED || error == L_ERR_OBSOLETE_CALL)
      Say("The server does not support this function");
    else
      Say(LyskomErrorText(error));
  } else if (faq == -1) {
    Say("The conference has no FAQ");
  } else {
    ShowWithHistory(faq);
  }
}

void ViewPresentation(int number)
{
  if (number < 1) {
    Say("No such conference");
    return;
  }
  const int presentation = PresentationTextNo(number);
  if (presentation < 0) {
    Say("No presentation found");
    return;
  }
  ShowWithHistory(presentation);
}

void WritePresentation(int number, bool forPerson)
{
  if (number > 0) WritePresentationText(number, forPerson);
}

void ChangePresentation(bool forPerson)
{
  const int number = AskForName("Change presentation", "", forPerson ? ctUsers : ctConferences);
  if (number > 0) WritePresentation(number, forPerson);
}

void ChangeFaq()
{
  const int conf = AskForName("Change FAQ", "", ctConferences);
  if (conf > 0) WriteFaqText(conf);
}

void ChangeMessageOfTheDay()
{
  const int conf = AskForName("Change Message Of The Day", "", ctConferences | ctUsers);
  if (conf < 1) return;
  // The editor drops the stored conference once the note is set.
  WriteMotdText(conf);
}

void RemoveMessageOfTheDay()
{
  const int conf = AskForName("Change Message Of The Day", "", ctConferences | ctUsers);
  if (conf < 1) return;
  if (TComPtr<ILKCommunication> comm = GetCommunicationOrNull()) {
    TLKRequest request(L_SET_CONF_MOTD, TRequestArgs().Int(conf).Int(0));
    if (request.SyncSend(comm.Get()) != TRequestOutcome::Answered)
      ReportLyskomError(request.Response(), "A error occured while adding text as Message Of The Day.", '!');
  }
  ReloadConference(conf);
}

bool SetUnreadInConference(int& confNo, bool postpone)
{
  const std::string caption = postpone ? "Postpone reading" : "Set unread in conference";
  const int chosen = AskForName(caption, confNo > 0 ? NameByNumber(confNo) : std::string(), ctConferences | ctUsers);
  if (chosen < 1) return false;
  confNo = chosen;
  if (!MembershipByConf(confNo)) {
    QueueUserMessage("iYou are not a member of that conference");
    return false;
  }
  std::string answer;
  if (!InputQuery(caption, "How many unread?", answer)) return false;
  const size_t first = answer.find_first_not_of(" \t");
  const size_t last = answer.find_last_not_of(" \t");
  const std::string digits = first == std::string::npos ? std::string() : answer.substr(first, last - first + 1);
  const bool negative = !digits.empty() && digits[0] == '-';
  const std::string magnitude = negative ? digits.substr(1) : digits;
  if (magnitude.empty() || magnitude.size() > 9 || magnitude.find_first_not_of("0123456789") != std::string::npos) {
    QueueUserMessage(NotAValidNumberMessage);
    return false;
  }
  const int count = (negative ? -1 : 1) * std::stoi(magnitude);
  return SetUnreadCount(confNo, count, postpone, CurrentPersNo) == TSetUnreadResult::Done;
}

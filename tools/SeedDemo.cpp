// Fills a fresh LysKOM server with demo data, through the engine as Omnora
// uses it, and stores a connection profile for it in Omnora's settings.
//
//   SeedDemo host port [profile]
//   SeedDemo --profile host port name   (the profile alone, made the default)
//
// Logs in as the administrator of a new server database (person 5,
// password "gazonk"), creates three persons and three conferences, makes
// everyone a member, and writes texts with comments, a footnote and a
// letter, each as its author. With a profile name, then stores that
// connection profile (the demo person Alice, with the password saved) and
// makes it the default.
#include <winsock2.h>
#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "ComHandles.h"
#include "EngineBinding.h"
#include "HostConfigForm.h"
#include "LKRequest.h"
#include "LyskomConfiguration.h"
#include "Vantor.h"
#include "ProtocolText.h"

namespace {

struct TPerson
{
  const char* Name;
  const char* Password;
  int Number = 0;
};

struct TConference
{
  const char* Name;
  int Number = 0;
};

class TSeeder
{
public:
  TSeeder(const std::string& host, const std::string& port)
  {
    HRESULT hr = CreateCommunication();
    if (FAILED(hr) && RegisterEngineLibrary()) hr = CreateCommunication();
    if (FAILED(hr)) throw std::runtime_error("the engine (Vantor.dll) cannot be created");
    TBStr h(host), p(port), user("seed");
    FComm->Set_Server(h.Get());
    FComm->Set_Port(p.Get());
    FComm->Set_UserName(user.Get());
    VARIANT_BOOL connected = VARIANT_FALSE;
    if (FAILED(FComm->Connect(&connected)) || !connected)
      throw std::runtime_error("cannot connect to " + host + ":" + port);
  }

  ~TSeeder()
  {
    if (FComm) {
      VARIANT_BOOL ended = VARIANT_FALSE;
      FComm->Disconnect(&ended);
    }
  }

  // Sends one request and waits; throws with the server's error on failure.
  TLKRequest Request(LONG requestNo, const std::string& arguments, const char* what)
  {
    TLKRequest request(requestNo, arguments);
    if (request.SyncSend(FComm.Get()) != TRequestOutcome::Answered)
      throw std::runtime_error(std::string(what) + " failed (error " + std::to_string(request.ErrorNo()) + ")");
    return request;
  }

  // The number of what a create request made.
  int Create(LONG requestNo, const std::string& arguments, const char* what)
  {
    return int(LKInt(Request(requestNo, arguments, what).Response(), "result", -1));
  }

  void Login(int person, const std::string& password)
  {
    Request(L_LOGIN, TRequestArgs().Int(person).Str(password).Bool(false), "login");
  }

  int CreatePerson(const std::string& name, const std::string& password)
  {
    return Create(L_CREATE_PERSON, TRequestArgs().Str(name).Str(password), "create person");
  }

  int CreateConference(const std::string& name)
  {
    return Create(L_CREATE_CONF, TRequestArgs().Str(name).Bits("00000000"), "create conference");
  }

  void AddMember(int conference, int person)
  {
    Request(L_ADD_MEMBER, TRequestArgs().Int(conference).Int(person).Int(100).Int(0), "add member");
  }

  // misc: the misc-info items as "tag value" pairs, e.g. "0 6 2 17".
  int CreateText(const std::string& subject, const std::string& body, const std::vector<std::pair<int, int>>& misc)
  {
    std::vector<TRequestArgs> items;
    for (const auto& [tag, value] : misc) items.push_back(TRequestArgs().Int(tag).Int(value));
    return Create(L_CREATE_TEXT, TRequestArgs().Str(subject + "\n" + body).List(items), "create text");
  }

private:
  HRESULT CreateCommunication()
  {
    return CoCreateInstance(CLSID_LKCommunication, nullptr, CLSCTX_INPROC_SERVER, IID_ILKCommunication,
                            FComm.PutVoid());
  }

  TComPtr<ILKCommunication> FComm;
};

constexpr int Administrator = 5;
constexpr const char* AdministratorPassword = "gazonk";
constexpr int Recipient = 0, CommentTo = 2, FootnoteTo = 4;

// The demo person the profile logs in as: someone with unread texts in
// several conferences, a comment chain and a letter.
constexpr const char* DemoUser = "Alice Andersson";
constexpr const char* DemoPassword = "alice";

void StoreProfile(const std::string& name, const std::string& host, const std::string& port, bool demoUser = true)
{
  TLyskomRegistryConfiguration store(OmnoraRegistryBaseKey, false);
  store.SetKeyPath(ProfileKeyPath(name));
  TConnectionProfile profile;
  profile.Server = host;
  profile.Port = port;
  if (demoUser) {
    profile.User = DemoUser;
    profile.Password = DemoPassword;
    profile.SavePwd = true;
  }
  WriteConnectionProfile(store, profile);
  WriteDefaultConfiguration(name);
}

void Seed(const std::string& host, const std::string& port)
{
  TSeeder kom(host, port);
  kom.Login(Administrator, AdministratorPassword);

  TPerson people[] = {{"Alice Andersson", "alice"}, {"Bertil Berg", "bertil"}, {"Cecilia Carlsson", "cecilia"}};
  for (TPerson& p : people) p.Number = kom.CreatePerson(p.Name, p.Password);
  TConference confs[] = {{"Omnora demo"}, {"Books and reading"}, {"Cooking"}};
  for (TConference& c : confs) {
    c.Number = kom.CreateConference(c.Name);
    kom.AddMember(c.Number, Administrator);
    for (const TPerson& p : people) kom.AddMember(c.Number, p.Number);
  }
  TPerson& alice = people[0];
  TPerson& bertil = people[1];
  TPerson& cecilia = people[2];
  const int demo = confs[0].Number, books = confs[1].Number, cooking = confs[2].Number;

  kom.Login(alice.Number, alice.Password);
  // A presentation, so that logging in as Alice asks for none.
  const int presentation = kom.CreateText(alice.Name, "I read about books and cooking.", {{Recipient, 2}});
  kom.Request(L_SET_PRESENTATION, std::to_string(alice.Number) + " " + std::to_string(presentation),
              "set presentation");
  int welcome = kom.CreateText("Welcome",
                               "Welcome to the demo conference of Omnora.\n\nRead on with Next text; the comments "
                               "follow the text they comment.",
                               {{Recipient, demo}});
  kom.CreateText("A footnote to the welcome", "Only the author of a text can add footnotes to it.",
                 {{Recipient, demo}, {FootnoteTo, welcome}});
  int pancakes = kom.CreateText("Pancakes",
                                "3 eggs, 6 dl milk, 2.5 dl flour, a pinch of salt.\nLet the batter rest for half an "
                                "hour.",
                                {{Recipient, cooking}});

  kom.Login(bertil.Number, bertil.Password);
  int thanks = kom.CreateText("Welcome", "Thank you, nice to be here.", {{Recipient, demo}, {CommentTo, welcome}});
  int book = kom.CreateText("A good book", "I have just finished a long novel about a lighthouse keeper. Recommended.",
                            {{Recipient, books}});
  kom.CreateText("Pancakes", "Try them with lingonberries.", {{Recipient, cooking}, {CommentTo, pancakes}});
  kom.CreateText("Dinner on Friday?", "Shall we cook together on Friday?", {{Recipient, alice.Number}});

  kom.Login(cecilia.Number, cecilia.Password);
  kom.CreateText("Welcome", "Me too! Which conference do you read first?", {{Recipient, demo}, {CommentTo, thanks}});
  kom.CreateText("A good book", "Who wrote it? I would like to read it too.",
                 {{Recipient, books}, {CommentTo, book}});

  std::printf("Demo data: persons %d, %d, %d (passwords alice, bertil, cecilia); conferences %d \"%s\", %d \"%s\", "
              "%d \"%s\".\n",
              alice.Number, bertil.Number, cecilia.Number, demo, confs[0].Name, books, confs[1].Name, cooking,
              confs[2].Name);
}

} // namespace

int main(int argc, char** argv)
{
  // "--profile host port name": only the connection profile, for a server
  // that is not a demo; the login dialog then asks who logs in.
  if (argc == 5 && std::string(argv[1]) == "--profile") {
    StoreProfile(argv[4], argv[2], argv[3], false);
    return 0;
  }
  if (argc != 3 && argc != 4) {
    std::fprintf(stderr, "usage: SeedDemo host port [profile]\n       SeedDemo --profile host port name\n");
    return 2;
  }
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  int rc = 0;
  try {
    Seed(argv[1], argv[2]);
    if (argc == 4) StoreProfile(argv[3], argv[1], argv[2]);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "SeedDemo: %s\n", e.what());
    rc = 1;
  }
  CoUninitialize();
  return rc;
}

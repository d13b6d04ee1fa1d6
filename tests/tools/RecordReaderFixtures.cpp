// Records the reply fixtures of the Protocol A readers from a real lyskomd:
// one raw reply for each request that has a reader, and the first of each
// asynchronous message that the server can be made to send.
//
//   wine-run bin/record_reader_fixtures.exe [folder]
//
// With RECORDER_TRACE set it shows every request and reply on stderr.
//
// The folder defaults to the fixtures folder of the source tree. Files are
// named reply-NNN-<request>.txt and async-NN-<message>.txt and hold exactly
// the bytes the server sent, from the marker through the closing newline.
#include <winsock2.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "LyskomdServer.h"
#include "TestSupport.h"

namespace {

std::string H(const std::string& s)
{
  return std::to_string(s.size()) + "H" + s;
}

bool IsDigit(char c)
{
  return c >= '0' && c <= '9';
}

// Length of the first whole reply or message in the buffer, through its
// newline, or 0 while it is incomplete. Strings may hold newlines.
size_t UnitLength(const std::string& buf)
{
  size_t i = 0;
  while (i < buf.size()) {
    char c = buf[i];
    if (c == '\n') return i + 1;
    bool tokenStart = i == 0 || buf[i - 1] == ' ';
    if (tokenStart && IsDigit(c)) {
      size_t j = i;
      size_t n = 0;
      while (j < buf.size() && IsDigit(buf[j])) n = n * 10 + size_t(buf[j++] - '0');
      if (j == buf.size()) return 0;
      if (buf[j] == 'H') {
        i = j + 1 + n;
        continue;
      }
      i = j;
      continue;
    }
    ++i;
  }
  return 0;
}

class TSession
{
public:
  TSession(int port, const std::string& clientName, std::map<int, std::string>& asyncs) : FAsyncs(asyncs)
  {
    FSock = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr = {};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(u_short(port));
    if (connect(FSock, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0)
      throw std::runtime_error("cannot connect to lyskomd");
    SendBytes("A" + H(clientName) + "\n");
    while (FBuffer.find("LysKOM\n") == std::string::npos) Receive();
    FBuffer.erase(0, FBuffer.find("LysKOM\n") + 7);
  }
  ~TSession() { closesocket(FSock); }

  // Sends one request and answers its raw ok reply; an error reply ends the recording.
  std::string Call(int request, const std::string& args)
  {
    int ref = FNextRef++;
    if (std::getenv("RECORDER_TRACE")) std::fprintf(stderr, "> %d %d %s\n", ref, request, args.c_str());
    SendBytes(std::to_string(ref) + " " + std::to_string(request) + (args.empty() ? "" : " " + args) + "\n");
    std::string okMark = "=" + std::to_string(ref);
    std::string errorMark = "%" + std::to_string(ref);
    for (;;) {
      std::string unit = NextUnit();
      if (std::getenv("RECORDER_TRACE")) std::fprintf(stderr, "< %s", unit.c_str());
      if (unit[0] == ':') {
        int number = std::atoi(unit.c_str() + unit.find(' ') + 1);
        FAsyncs.emplace(number, unit);
        continue;
      }
      auto matches = [&](const std::string& mark) {
        return unit.compare(0, mark.size(), mark) == 0 && (unit[mark.size()] == ' ' || unit[mark.size()] == '\n');
      };
      if (matches(okMark)) return unit;
      if (matches(errorMark))
        throw std::runtime_error("request " + std::to_string(request) + " " + args + " failed: " + unit);
      throw std::runtime_error("unexpected reply: " + unit);
    }
  }

  // The first number of an ok reply, e.g. the number of what was created.
  int CallForNumber(int request, const std::string& args)
  {
    std::string reply = Call(request, args);
    return std::atoi(reply.c_str() + reply.find(' ') + 1);
  }

private:
  void SendBytes(const std::string& bytes)
  {
    size_t done = 0;
    while (done < bytes.size()) {
      int n = send(FSock, bytes.data() + done, int(bytes.size() - done), 0);
      if (n <= 0) throw std::runtime_error("send failed");
      done += size_t(n);
    }
  }

  void Receive()
  {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(FSock, &set);
    timeval tv = {10, 0};
    if (select(0, &set, nullptr, nullptr, &tv) != 1) throw std::runtime_error("lyskomd did not answer");
    char buf[16384];
    int n = recv(FSock, buf, sizeof(buf), 0);
    if (n <= 0) throw std::runtime_error("lyskomd closed the connection");
    FBuffer.append(buf, size_t(n));
  }

  std::string NextUnit()
  {
    for (;;) {
      size_t n = UnitLength(FBuffer);
      if (n > 0) {
        std::string unit = FBuffer.substr(0, n);
        FBuffer.erase(0, n);
        return unit;
      }
      Receive();
    }
  }

  SOCKET FSock;
  std::string FBuffer;
  int FNextRef = 2;
  std::map<int, std::string>& FAsyncs;
};

struct TRecording
{
  std::string File;
  std::string Bytes;
};

const char* const kPassword = "secret";
const char* const kTime2000 = "0 0 0 1 0 100 0 0 0";

// A body with what a careless splitter would take for replies and messages.
std::string TrickyBody()
{
  return "Fixture subject \xe5\xe4\xf6\n"
         "A body with {braces}, 12H digits and\n"
         "=5 1 2\n"
         "%3 4 5\n"
         ":2 12 5 7\n"
         "\xc5ngstr\xf6m the last line";
}

std::string ReplyFile(int request, const char* name)
{
  char buf[128];
  std::snprintf(buf, sizeof(buf), "reply-%03d-%s.txt", request, name);
  return buf;
}

std::string AsyncFile(int number, const char* name)
{
  char buf[128];
  std::snprintf(buf, sizeof(buf), "async-%02d-%s.txt", number, name);
  return buf;
}

void Record(const std::string& folder)
{
  TestSupport::TLyskomdServer server;
  server.Start();
  std::map<int, std::string> asyncs;
  std::vector<TRecording> out;
  auto keep = [&](int request, const char* name, const std::string& reply) {
    out.push_back({ReplyFile(request, name), reply});
  };

  TSession a(server.Port(), "fixture-recorder", asyncs);
  a.Call(62, "5 " + H("gazonk") + " 0");
  a.Call(80, "14 { 0 5 6 7 8 9 11 12 13 14 15 16 17 18 }");
  a.Call(69, H("Fixture Recorder") + " " + H("1.0"));
  a.Call(42, "255");
  int session = a.CallForNumber(56, "");
  keep(56, "who-am-i", a.Call(56, ""));

  // Persons, conferences and memberships.
  std::string reply = a.Call(5, H("Fixture Person") + " " + H(kPassword));
  keep(5, "create-person", reply);
  int person = std::atoi(reply.c_str() + reply.find(' ') + 1);
  reply = a.Call(10, H("Fixture Conference") + " 0000");
  keep(10, "create-conf", reply);
  int conf = std::atoi(reply.c_str() + reply.find(' ') + 1);
  int sparse = a.CallForNumber(10, H("Fixture Sparse Conference") + " 0000");
  int passing = a.CallForNumber(10, H("Fixture Passing Conference") + " 0000");
  std::string c = std::to_string(conf), p = std::to_string(person), s = std::to_string(sparse);
  a.Call(14, c + " 5 200 1");
  a.Call(14, c + " " + p + " 100 1");
  a.Call(14, s + " 5 150 2");

  // Texts with a comment, a footnote, copies and an aux item.
  reply = a.Call(86, H(TrickyBody()) + " 1 { 0 " + c + " } 1 { 1 00000000 0 " + H("x-kom/text") + " }");
  keep(86, "create-text", reply);
  int t1 = std::atoi(reply.c_str() + reply.find(' ') + 1);
  std::string t1s = std::to_string(t1);
  int t2 = a.CallForNumber(86, H("Comment\nto the first") + " 2 { 0 " + c + " 2 " + t1s + " } 0 { }");
  a.Call(86, H("Footnote\nto the first") + " 2 { 0 " + c + " 4 " + t1s + " } 0 { }");
  int t4 = a.CallForNumber(86, H("Copies\nfor three") + " 3 { 0 " + c + " 1 5 15 " + p + " } 0 { }");
  reply = a.Call(28, H("Old text\nmade the old way") + " 1 { 0 " + c + " }");
  keep(28, "create-text-old", reply);
  reply = a.Call(59, H("Anonymous\ntext") + " 1 { 0 " + c + " }");
  keep(59, "create-anonymous-text-old", reply);
  a.Call(72, t1s + " 100");
  a.Call(72, std::to_string(t2) + " 7");
  a.Call(57, "5 " + std::to_string(t4));
  // Local 1 stays unread, so the read texts above it are listed.
  a.Call(27, c + " 2 { 2 3 }");
  keep(27, "mark-as-read", a.Call(27, c + " 1 { 4 }"));

  // A conference whose map is mostly holes.
  std::vector<int> sparseTexts;
  for (int i = 0; i < 40; ++i)
    sparseTexts.push_back(a.CallForNumber(86, H("Sparse " + std::to_string(i)) + " 1 { 0 " + s + " } 0 { }"));
  for (int i = 0; i < 40; ++i)
    if (i != 0 && i != 19 && i != 39) a.Call(29, std::to_string(sparseTexts[size_t(i)]));

  // The requests with a reader, each once.
  std::string ss = std::to_string(session);
  keep(6, "get-person-stat-old", a.Call(6, "5 1"));
  keep(9, "query-read-texts", a.Call(9, "5 " + c));
  keep(13, "get-conf-stat-old", a.Call(13, c + " 1"));
  keep(23, "get-marks", a.Call(23, ""));
  keep(25, "get-text", a.Call(25, t1s + " 0 32766"));
  keep(26, "get-text-stat", a.Call(26, t1s));
  keep(34, "get-map", a.Call(34, c + " 1 10"));
  keep(35, "get-time", a.Call(35, ""));
  keep(36, "get-server-info", a.Call(36, ""));
  keep(46, "get-membership", a.Call(46, "5 0 10 1"));
  keep(47, "get-created-texts", a.Call(47, "5 0 100"));
  keep(48, "get-members", a.Call(48, c + " 0 10"));
  keep(49, "get-person-stat", a.Call(49, "5"));
  keep(50, "get-conf-stat", a.Call(50, c));
  keep(52, "get-unread-confs", a.Call(52, "5"));
  keep(54, "get-session-info", a.Call(54, ss));
  keep(58, "get-last-text", a.Call(58, kTime2000));
  keep(60, "find-next-text-no", a.Call(60, t1s));
  keep(61, "find-previous-text-no", a.Call(61, std::to_string(t4)));
  keep(64, "get-session-info-ident", a.Call(64, ss));
  keep(68, "lookup-conf", a.Call(68, H("Fixture")));
  keep(70, "get-client-name", a.Call(70, ss));
  keep(71, "get-client-version", a.Call(71, ss));
  keep(74, "re-z-lookup", a.Call(74, H("Fixture") + " 1 1"));
  keep(75, "get-version-info", a.Call(75, ""));
  keep(76, "lookup-z-name", a.Call(76, H("Fixture") + " 1 1"));
  keep(78, "get-uconf-stat", a.Call(78, c));
  keep(81, "query-async", a.Call(81, ""));
  keep(84, "get-static-session-info", a.Call(84, ss));
  keep(90, "get-text-stat-10", a.Call(90, t1s));
  keep(91, "get-conf-stat-10", a.Call(91, c));
  keep(99, "get-membership-10", a.Call(99, "5 0 10 1"));
  keep(101, "get-members-10", a.Call(101, c + " 0 10"));
  keep(103, "local-to-global-sparse", a.Call(103, s + " 1 50"));
  keep(103, "local-to-global-dense", a.Call(103, c + " 1 10"));

  // A second session makes the server talk to the first.
  {
    TSession b(server.Port(), "fixture-actor", asyncs);
    b.Call(62, "5 " + H("gazonk") + " 0");
    a.Call(35, "");  // whatever b caused reaches a before this reply
    keep(51, "who-is-on", a.Call(51, ""));
    keep(83, "who-is-on-dynamic", a.Call(83, "1 1 0"));
    b.Call(4, H("Recording fixtures"));
    b.Call(53, "5 " + H("A message\n=5 1 2\n%3 4 5\n:2 12 5 7\nend"));
    b.Call(3, c + " " + H("Fixture Conference Renamed"));
    int t5 = b.CallForNumber(86, H("New text\nseen by the other session") + " 2 { 0 " + c + " 1 " + s + " } 0 { }");
    std::string t5s = std::to_string(t5);
    b.Call(31, t5s + " " + s);
    b.Call(30, t5s + " " + s + " 0");
    b.Call(29, t5s);
    b.Call(14, std::to_string(passing) + " 5 50 3");
    b.Call(15, std::to_string(passing) + " 5");
    b.Call(42, "255");
    b.Call(43, "");
    b.Call(1, "");
    a.Call(35, "");
  }

  struct TAsyncName
  {
    int Number;
    const char* Name;
  } asyncNames[] = {{0, "new-text-old"},  {5, "new-name"},     {6, "i-am-on"},       {7, "sync-db"},
                    {8, "leave-conf"},    {9, "login"},        {12, "send-message"}, {13, "logout"},
                    {14, "deleted-text"}, {15, "new-text"},    {16, "new-recipient"}, {17, "sub-recipient"},
                    {18, "new-membership"}};
  for (const TAsyncName& n : asyncNames) {
    auto it = asyncs.find(n.Number);
    if (it == asyncs.end()) throw std::runtime_error("lyskomd sent no asynchronous message " + std::to_string(n.Number));
    out.push_back({AsyncFile(n.Number, n.Name), it->second});
  }

  CreateDirectoryA(folder.c_str(), nullptr);
  for (const TRecording& r : out) {
    if (!TestSupport::WriteFileText(folder + "\\" + r.File, r.Bytes))
      throw std::runtime_error("cannot write " + r.File);
    std::printf("%s\n", r.File.c_str());
  }
  std::printf("%zu fixtures recorded in %s\n", out.size(), folder.c_str());
}

} // namespace

int main(int argc, char** argv)
{
  WSADATA data;
  WSAStartup(MAKEWORD(2, 2), &data);
  std::string folder = argc > 1 ? argv[1] : TestSupport::WindowsPathOf(OMNORA_FIXTURE_DIR);
  try {
    Record(folder);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "recording failed: %s\n", e.what());
    return 1;
  }
  return 0;
}

// The demo data of the run script: written through the engine into a fresh
// lyskomd, it holds the persons, conferences, texts, comments, the footnote
// and the letter that the demo shows.
#include <gtest/gtest.h>

#include "EngineClient.h"
#include "LyskomdServer.h"
#include "TestSupport.h"
#include "ProtocolText.h"

namespace {

using namespace TestSupport;

int RunSeeder(const std::string& arguments, std::string& output)
{
  const std::string folder = NewTempDir("seed");
  const std::string log = folder + "\\out.txt";
  SECURITY_ATTRIBUTES sa{sizeof(sa), nullptr, TRUE};
  HANDLE out = CreateFileA(log.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS, 0, nullptr);
  if (out == INVALID_HANDLE_VALUE) return -1;
  std::string line = "\"" + ProgramDir() + "\\SeedDemo.exe\" " + arguments;
  STARTUPINFOA si{sizeof(si)};
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = out;
  si.hStdError = out;
  PROCESS_INFORMATION pi{};
  BOOL started = CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
  CloseHandle(out);
  if (!started) return -1;
  CloseHandle(pi.hThread);
  DWORD code = DWORD(-1);
  if (WaitForSingleObject(pi.hProcess, 120000) == WAIT_OBJECT_0) GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hProcess);
  output = ReadFileText(log);
  return int(code);
}

long Query(ILKCommunication* comm, LONG request, const std::string& args, const std::string& path)
{
  TComPtr<ILKTransaction> trans = NewTransaction(request, args);
  comm->SyncSend(trans.Get());
  if (trans->Get_Ok() != S_OK) return -1;
  return QueryInt(ResponseOf(trans.Get()).Get(), path);
}

TEST(SeedDemo, FillsAFreshServerThroughTheEngine)
{
  EnsureVantorRegistered();
  TLyskomdServer server;
  server.Start();
  std::string output;
  ASSERT_EQ(RunSeeder("127.0.0.1 " + server.PortText(), output), 0) << output;
  EXPECT_NE(output.find("conferences"), std::string::npos) << output;

  TComPtr<ILKCommunication> comm = NewCommunication();
  SetTarget(comm.Get(), "127.0.0.1", server.PortText(), "tester");
  ASSERT_TRUE(ConnectComm(comm.Get()));
  ASSERT_EQ(Query(comm.Get(), L_LOGIN, TRequestArgs().Int(5).Str("gazonk").Bool(false), "ref_no") > 0, true);
  // Persons 6-8 and conferences 9-11, in the order the seeder creates them.
  // The server refuses a footnote by another person than the author, and a
  // refusal ends the seeder with an error: all texts stand as written.
  const long demo = 9, books = 10, cooking = 11, alice = 6;
  EXPECT_EQ(Query(comm.Get(), L_GET_CONF_STAT, TRequestArgs().Int(demo), "result.no_of_texts"), 4);
  EXPECT_EQ(Query(comm.Get(), L_GET_CONF_STAT, TRequestArgs().Int(books), "result.no_of_texts"), 2);
  EXPECT_EQ(Query(comm.Get(), L_GET_CONF_STAT, TRequestArgs().Int(cooking), "result.no_of_texts"), 2);
  EXPECT_EQ(Query(comm.Get(), L_GET_CONF_STAT, TRequestArgs().Int(alice), "result.no_of_texts"), 1);
  EXPECT_EQ(Query(comm.Get(), L_GET_CONF_STAT, TRequestArgs().Int(demo), "result.no_of_members"), 4);
  VARIANT_BOOL ended = VARIANT_FALSE;
  comm->Disconnect(&ended);

  // Against no server it fails with a message and an error code.
  server.Stop();
  EXPECT_NE(RunSeeder("127.0.0.1 " + server.PortText(), output), 0);
  EXPECT_NE(output.find("cannot connect"), std::string::npos) << output;
}

} // namespace

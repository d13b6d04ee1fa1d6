// A started program beside a lyskomd of the suite's own, with an engine
// session on it for the test to prepare the server through.
#pragma once

#include <memory>

#include "../core/EngineSession.h"
#include "LyskomdServer.h"
#include "MainTestSupport.h"

namespace MainTest {

class TProgramWithServer : public TStartedProgram
{
protected:
  static void SetUpTestSuite()
  {
    Server = new TestSupport::TLyskomdServer();
    Server->Start();
  }
  static void TearDownTestSuite()
  {
    delete Server;
    Server = nullptr;
  }
  void SetUp() override
  {
    TStartedProgram::SetUp();
    Session = std::make_unique<EngineSession::TSession>(TestSupport::TLyskomdServer::Host(), Server->Port());
  }
  void TearDown() override
  {
    Session.reset();
    TStartedProgram::TearDown();
  }

  inline static TestSupport::TLyskomdServer* Server = nullptr;
  std::unique_ptr<EngineSession::TSession> Session;
};

} // namespace MainTest

// A test suite whose tests share one lyskomd, started before the suite's
// first test and stopped after its last.
#pragma once

#include <gtest/gtest.h>

#include "LyskomdServer.h"
#include "TestSupport.h"

namespace TestSupport {

class TLyskomdSuite : public testing::Test
{
protected:
  static void SetUpTestSuite() { StartServer(); }
  static void TearDownTestSuite() { StopServer(); }

  // For suites that prepare more in set-ups of their own.
  static void StartServer()
  {
    EnsureVantorRegistered();
    Server = new TLyskomdServer();
    Server->Start();
  }
  static void StopServer()
  {
    delete Server;
    Server = nullptr;
  }

  inline static TLyskomdServer* Server = nullptr;
};

} // namespace TestSupport

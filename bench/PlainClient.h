// A plain blocking Winsock client of a LysKOM server, as simple as a client
// can be: the yardstick the benchmarks measure the engine against.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <stdexcept>
#include <string>

// A client that writes each request with one send and reads its reply line
// with blocking recv calls, as simple as a client can be.
class TPlainClient
{
public:
  explicit TPlainClient(int port)
  {
    FSock = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr = {};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(u_short(port));
    if (connect(FSock, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0) throw std::runtime_error("connect");
    SendAll("A5Hbench\n");
    if (ReadLine() != "LysKOM") throw std::runtime_error("no greeting");
  }
  ~TPlainClient() { closesocket(FSock); }

  // One get-time request; true when its own reply came.
  bool GetTime()
  {
    std::string ref = std::to_string(++FRef);
    SendAll(ref + " 35\n");
    std::string line = ReadLine();
    return line.compare(0, ref.size() + 2, "=" + ref + " ") == 0;
  }

private:
  void SendAll(const std::string& s)
  {
    size_t done = 0;
    while (done < s.size()) {
      int n = send(FSock, s.data() + done, int(s.size() - done), 0);
      if (n <= 0) throw std::runtime_error("send");
      done += size_t(n);
    }
  }
  std::string ReadLine()
  {
    for (;;) {
      size_t nl = FBuffer.find('\n');
      if (nl != std::string::npos) {
        std::string line = FBuffer.substr(0, nl);
        FBuffer.erase(0, nl + 1);
        return line;
      }
      char buf[4096];
      int n = recv(FSock, buf, sizeof(buf), 0);
      if (n <= 0) throw std::runtime_error("recv");
      FBuffer.append(buf, size_t(n));
    }
  }

  SOCKET FSock;
  std::string FBuffer;
  int FRef = 1;
};

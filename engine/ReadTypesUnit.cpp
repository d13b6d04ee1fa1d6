#include "ReadTypesUnit.h"

namespace Vantor {

long ReadInteger(TQueue& queue)
{
  uint8_t b = queue.ReadByte();
  while (b < '0' || b > '9') b = queue.ReadByte();
  long long value = 0;
  while (b >= '0' && b <= '9') {
    value = value * 10 + (b - '0');
    b = queue.ReadByte();
  }
  queue.PutBack(b);
  return value > 0x7fffffffLL ? 0 : long(value);
}

std::string ReadToken(TQueue& queue)
{
  uint8_t b = queue.ReadByte();
  while (b == ' ' || b == '\n') b = queue.ReadByte();
  std::string token;
  while (b != ' ' && b != '\n') {
    token.push_back(char(b));
    b = queue.ReadByte();
  }
  queue.PutBack(b);
  return token;
}

std::string ReadHollerith(TQueue& queue)
{
  long n = ReadInteger(queue);
  queue.ReadByte();  // the "H"
  std::string s;
  for (long i = 0; i < n; ++i) s.push_back(char(queue.ReadByte()));
  return s;
}

void ReadReplyResult(TLKCollection&, long, TQueue&) {}

void ReadAsyncMessage(TLKCollection&, long, TQueue&) {}

void SkipRestOfReply(TQueue&) {}

} // namespace Vantor

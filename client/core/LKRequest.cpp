#include "LKRequest.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

#include "EngineBinding.h"
#include "TrafficStatistics.h"

namespace {

// The member of one level, found by name without raising.
bool FindMember(ILKCollection* c, const std::string& name, TVariant& value)
{
  if (!c) return false;
  TBStr key(name);
  LONG index = -1;
  if (FAILED(c->Find(key.Get(), &index)) || index < 0) return false;
  return SUCCEEDED(c->Get_Items(index, value.Put()));
}

} // namespace

TComPtr<ILKCollection> LKCollectionOf(const VARIANT& v)
{
  if (v.vt != VT_UNKNOWN && v.vt != VT_DISPATCH) return {};
  return ComQuery<ILKCollection>(v.punkVal);
}

TVariant LKValue(ILKCollection* c, const std::string& path)
{
  TComPtr<ILKCollection> current(c);
  size_t start = 0;
  for (;;) {
    size_t dot = path.find('.', start);
    TVariant value;
    if (!FindMember(current.Get(), path.substr(start, dot == std::string::npos ? std::string::npos : dot - start), value))
      return TVariant();
    if (dot == std::string::npos) return value;
    current = LKCollectionOf(value.Get());
    if (!current) return TVariant();
    start = dot + 1;
  }
}

bool LKHas(ILKCollection* c, const std::string& name)
{
  if (!c) return false;
  TBStr key(name);
  LONG index = -1;
  return SUCCEEDED(c->Find(key.Get(), &index)) && index >= 0;
}

long LKInt(ILKCollection* c, const std::string& path, long fallback)
{
  TVariant v = LKValue(c, path);
  if (v.Type() == VT_I4) return v.Get().lVal;
  if (v.Type() == VT_BSTR) return v.AsInt();
  return fallback;
}

std::string LKString(ILKCollection* c, const std::string& path)
{
  TVariant v = LKValue(c, path);
  if (v.Type() == VT_BSTR || v.Type() == VT_I4) return v.AsString();
  return {};
}

bool LKFlag(ILKCollection* c, const std::string& path)
{
  TVariant v = LKValue(c, path);
  if (v.Type() == VT_BSTR) return v.AsString() == "1";
  if (v.Type() == VT_I4) return v.Get().lVal != 0;
  return false;
}

TComPtr<ILKCollection> LKSub(ILKCollection* c, const std::string& path)
{
  TVariant v = LKValue(c, path);
  return LKCollectionOf(v.Get());
}

long LKCount(ILKCollection* c)
{
  LONG n = 0;
  if (!c || FAILED(c->Get_Count(&n))) return 0;
  return n;
}

std::string LKKeyOf(ILKCollection* c, long index)
{
  TBStr name;
  if (!c || FAILED(c->KeyOf(index, name.Put()))) return {};
  return name.Str();
}

TVariant LKItem(ILKCollection* c, long index)
{
  TVariant v;
  if (c && FAILED(c->Get_Items(index, v.Put()))) return TVariant();
  return v;
}

TLKRequest::TLKRequest(long transType, const std::string& arguments)
{
  if (FAILED(CreateEngineObject(CLSID_LKTransaction, __uuidof(ILKTransaction), FTrans.PutVoid()))) return;
  TBStr args(arguments);
  // A transaction that did not take its request would send another one: it is
  // dropped, and the request is not sent.
  if (FAILED(FTrans->Set_TransType(transType)) || FAILED(FTrans->Set_Arguments(args.Get()))) FTrans.Reset();
}

namespace {

// The request line as the engine writes it: reference, request number and
// arguments, separated by blanks, ended by a line feed.
void CountSent(ILKTransaction* trans)
{
  LONG ref = 0, type = 0;
  TBStr args;
  // The length is a statistic: a member that cannot be read counts as empty.
  (void)trans->Get_RefID(&ref);
  (void)trans->Get_TransType(&type);
  (void)trans->Get_Arguments(args.Put());
  const std::string text = args.Str();
  CountRequestSent(long(std::to_string(ref).size() + 1 + std::to_string(type).size() +
                        (text.empty() ? 0 : 1 + text.size()) + 1));
}

} // namespace

TRequestOutcome TLKRequest::SyncSend(ILKCommunication* comm)
{
  FOutcome = TRequestOutcome::NotSent;
  if (!FTrans || !comm) return FOutcome;
  if (FAILED(comm->SyncSend(FTrans.Get()))) return FOutcome;
  CountSent(FTrans.Get());
  return Collect();
}

bool TLKRequest::Send(ILKCommunication* comm)
{
  if (!FTrans || !comm) return false;
  if (FAILED(comm->Send(FTrans.Get()))) return false;
  CountSent(FTrans.Get());
  return true;
}

TRequestOutcome TLKRequest::Collect()
{
  FResponse = nullptr;
  FErrorNo = 0;
  FOutcome = TRequestOutcome::NoReply;
  if (!FTrans) return FOutcome = TRequestOutcome::NotSent;
  const HRESULT ok = FTrans->Get_Ok();
  // A reply that cannot be had is no reply.
  if (FAILED(FTrans->Get_Response(FResponse.Put()))) return FOutcome;
  if (ok == S_OK) {
    CountReply();
    return FOutcome = TRequestOutcome::Answered;
  }
  if (ok != S_FALSE || !FResponse) return FOutcome;
  FErrorNo = int(LKInt(FResponse.Get(), "error_no", 0));
  if (FErrorNo < 1) return FOutcome = TRequestOutcome::EngineError;
  CountReply();
  return FOutcome = TRequestOutcome::ServerError;
}

void TLKRequest::CountReply()
{
  // A reply read twice came over the wire once.
  if (!FResponse || FResponse.Get() == FCountedReply) return;
  FCountedReply = FResponse.Get();
  CountReplyReceived(ReplyByteCount(FResponse.Get()));
}

void SyncSendTogether(ILKCommunication* comm, const std::vector<TLKRequest*>& requests, LONG timeoutMs)
{
  // The communication object is the callback that completes a waiting lock.
  TComPtr<ILKTransEvent> callback = ComQuery<ILKTransEvent>(comm);
  std::vector<TComPtr<ILockable>> locks(requests.size());
  for (size_t i = 0; callback && i < requests.size(); ++i) {
    ILKTransaction* trans = requests[i]->Transaction();
    TComPtr<ILockable> lock = ComQuery<ILockable>(trans);
    if (!lock || FAILED(trans->Set_Callback(callback.Get()))) continue;
    if (SUCCEEDED(lock->Lock())) {
      if (requests[i]->Send(comm)) {
        locks[i] = lock;
        continue;
      }
      // Not sent: nothing will complete the lock, and nobody waits on it.
      (void)lock->Unlock();
    }
    // The transaction goes with its request; so does the callback it holds.
    (void)trans->Set_Callback(nullptr);
  }
  for (size_t i = 0; i < requests.size(); ++i) {
    if (!locks[i]) continue;
    // Whatever the wait answers, the reply itself says whether one came.
    (void)locks[i]->Waitfor(timeoutMs);
    requests[i]->Collect();
    // The transaction goes with its request; so does the callback it holds.
    (void)requests[i]->Transaction()->Set_Callback(nullptr);
  }
}

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
  TComPtr<ILKCollection> result;
  if ((v.vt == VT_UNKNOWN || v.vt == VT_DISPATCH) && v.punkVal)
    v.punkVal->QueryInterface(__uuidof(ILKCollection), result.PutVoid());
  return result;
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
  FTrans->Set_TransType(transType);
  TBStr args(arguments);
  FTrans->Set_Arguments(args.Get());
}

namespace {

// The request line as the engine writes it: reference, request number and
// arguments, separated by blanks, ended by a line feed.
void CountSent(ILKTransaction* trans)
{
  LONG ref = 0, type = 0;
  trans->Get_RefID(&ref);
  trans->Get_TransType(&type);
  TBStr args;
  trans->Get_Arguments(args.Put());
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
  HRESULT ok = FTrans->Get_Ok();
  FTrans->Get_Response(FResponse.Put());
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

// The NET commands: thin wrappers over the session object pZyNet.
#include <tavelor/net.h>

#include <cstdio>
#include <string>

#include "frame/Runtime.h"
#include "net/ZyHawkNetwork.h"
#include "platform/replay.h"
#include "values/Numbers.h"

namespace TAVELOR {

namespace {

int IdOf(const DGStr& text) { return TruncToInt(text.Number()); }

DGStr IdText(int id) { return DGStr(static_cast<double>(id)); }

int GetInt(const char* p) {
  const auto* b = reinterpret_cast<const unsigned char*>(p);
  return static_cast<int>(b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<unsigned int>(b[3]) << 24));
}

}  // namespace

double NETHOSTGAME(double, DGStr, DGStr, DGStr port) {
  platform::replay::NetworkCommand("NETHOSTGAME");
  if (!pZyNet) return 0;
  return pZyNet->HostGame(IdOf(port));
}

double NETJOINGAME(double, DGStr, DGStr address, DGStr port) {
  platform::replay::NetworkCommand("NETJOINGAME");
  if (!pZyNet) return 0;
  return pZyNet->JoinGame(address.c_str(), IdOf(port));
}

DGStr NETCREATEPLAYER_Str(DGStr name) {
  if (!pZyNet) return IdText(-1);
  return IdText(pZyNet->CreatePlayer(name.c_str()));
}

double NETDESTROYPLAYER(DGStr id) {
  if (pZyNet) pZyNet->DeletePlayer(IdOf(id));
  return 1;
}

double NETSENDMSG(DGStr from, DGStr to, DGStr text) {
  if (!pZyNet) return 0;
  return pZyNet->SendText(IdOf(from), IdOf(to), text.c_str(), text.Len()) ? 1 : 0;
}

DGStr NETGETMSG_Str(DGStr id) {
  std::string text;
  if (!pZyNet || !pZyNet->TakeMessage(IdOf(id), &text)) return DGStr("");
  DGStr result;
  result.Append(text.data(), static_cast<unsigned int>(text.size()));
  return result;
}

DGStr NETPLAYERNAME_Str(DGStr id) {
  ZyHawkNetwork::Message answer;
  const int value = IdOf(id);
  char data[4] = {static_cast<char>(value), static_cast<char>(value >> 8), static_cast<char>(value >> 16),
                  static_cast<char>(value >> 24)};
  if (!pZyNet || !pZyNet->Query(ZyHawkNetwork::NLM_QUERY_PLAYERNAME, data, 4, &answer)) return DGStr("NO_DATA");
  DGStr result;
  result.Append(answer.data, static_cast<unsigned int>(answer.length));
  return result;
}

double NETNUMPLAYERS() {
  ZyHawkNetwork::Message answer;
  if (!pZyNet || !pZyNet->Query(ZyHawkNetwork::NLM_QUERY_NUMPLAYERS, nullptr, 0, &answer)) return 0;
  return GetInt(answer.data);
}

DGStr NETGETPLAYERID_Str(double index) {
  const int value = TruncToInt(index);
  Trace("client: request id for %d\n", value);
  char data[4] = {static_cast<char>(value), static_cast<char>(value >> 8), static_cast<char>(value >> 16),
                  static_cast<char>(value >> 24)};
  ZyHawkNetwork::Message answer;
  if (!pZyNet || !pZyNet->Query(ZyHawkNetwork::NLM_QUERY_PLAYERID, data, 4, &answer)) return DGStr("0");
  return IdText(GetInt(answer.data));
}

DGStr NETGETIP_Str() {
  platform::replay::NetworkCommand("NETGETIP$");
  if (!pZyNet) return DGStr("");
  return DGStr(pZyNet->LocalAddresses().c_str());
}

}  // namespace TAVELOR

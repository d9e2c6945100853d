// Taking messages on the game's thread while that thread also waits and queries: the taking
// thread and the worker both read the connection, and every message must still arrive
// exactly once and in the order it was sent.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "NetTestSupport.h"
#include "net/ZyHawkNetwork.h"

using TAVELOR::ZyHawkNetwork;

TEST(NetTake, StreamStaysWholeAndInOrderAcrossWaitsAndQueries) {
  ZyHawkNetwork host, client;
  host.StartNetwork();
  const int port = nettest::FreePort();
  ASSERT_EQ(host.HostGame(port), 1);
  const int from = host.CreatePlayer("h");
  ASSERT_EQ(client.JoinGame("127.0.0.1", port), 1);
  const int to = client.CreatePlayer("c");
  ASSERT_GT(to, 0);

  constexpr int kCount = 4000, kWindow = 48;
  int sent = 0, next = 0, queries = 0;
  std::string text;
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  for (int round = 0; next < kCount && std::chrono::steady_clock::now() < giveUp; ++round) {
    for (; sent < kCount && sent - next < kWindow; ++sent) {
      const std::string s = std::to_string(sent);
      ASSERT_TRUE(host.SendText(from, to, s.data(), s.size()));
    }
    // In turn: take only, wait first (the worker reads), or ask the server something.
    if (round % 3 == 1) client.WaitMessage(to, std::chrono::steady_clock::now() + std::chrono::milliseconds(2));
    if (round % 3 == 2 && round % 30 == 2) {
      ZyHawkNetwork::Message answer;
      ASSERT_TRUE(client.Query(ZyHawkNetwork::NLM_QUERY_NUMPLAYERS, nullptr, 0, &answer));
      EXPECT_EQ(answer.data[0], 2);
      ++queries;
    }
    while (client.TakeMessage(to, &text)) {
      ASSERT_EQ(text, std::to_string(next));
      ++next;
    }
  }
  EXPECT_EQ(next, kCount);
  EXPECT_GT(queries, 0);
  client.Stop();
  host.Stop();
}

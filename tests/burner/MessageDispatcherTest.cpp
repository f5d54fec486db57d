#include "burner/MessageDispatcher.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> g_Received;

void SinkA(LONG level, const char* text)
{
    g_Received.push_back("A" + std::to_string(level) + ":" + text);
}

void SinkB(LONG level, const char* text)
{
    g_Received.push_back("B" + std::to_string(level) + ":" + text);
}

// Keys of these tests are their own, so other tests' sinks never see them.
constexpr LONG kKeyOrder = 100;
constexpr LONG kKeyLong = 101;
constexpr LONG kKeyNobody = 102;

TEST(MessageDispatcher, SinksOfTheKeyRunOnceEachInSubscriptionOrder)
{
    g_Received.clear();
    SubscribeMessages(&SinkB, kKeyOrder);
    SubscribeMessages(&SinkA, kKeyOrder);
    SubscribeMessages(&SinkB, kKeyOrder); // the same pair again adds nothing
    SubscribeMessages(&SinkA, kKeyOrder + 50);

    PublishMessage(kKeyOrder, 2, "n=%d s=%s %ld%%", 7, "x", 9L);
    EXPECT_EQ(g_Received, (std::vector<std::string>{"B2:n=7 s=x 9%", "A2:n=7 s=x 9%"}));
}

TEST(MessageDispatcher, SixtyFourBitConversionAndCutAt4095Characters)
{
    g_Received.clear();
    SubscribeMessages(&SinkA, kKeyLong);
    PublishMessage(kKeyLong, 0, "%I64d UCHARs, %I64d%% ", 5368709120LL, 100LL);
    ASSERT_EQ(g_Received.size(), 1u);
    EXPECT_EQ(g_Received[0], "A0:5368709120 UCHARs, 100% ");

    g_Received.clear();
    const std::string longText(5000, 'z');
    PublishMessage(kKeyLong, 3, "%s", longText.c_str());
    ASSERT_EQ(g_Received.size(), 1u);
    EXPECT_EQ(g_Received[0], "A3:" + std::string(4095, 'z'));
}

TEST(MessageDispatcher, KeyWithoutSinksIsDropped)
{
    g_Received.clear();
    SubscribeMessages(&SinkA, kKeyOrder);
    PublishMessage(kKeyNobody, 0, "nobody %s", "listens");
    EXPECT_TRUE(g_Received.empty());
}

} // namespace

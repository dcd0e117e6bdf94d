#include "platform/UdpSocket.h"
#include "platform/WaitableEvent.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

using namespace quillory;

namespace {

struct Pair {
    CUdpSocket a, b;
    Pair() {
        EXPECT_TRUE(a.Open(0, LoopbackAddress()));
        EXPECT_TRUE(b.Open(0, LoopbackAddress()));
    }
};

} // namespace

TEST(UdpSocket, SendsAndReceivesWithHostOrderPortAndNetworkOrderAddress) {
    Pair p;
    ASSERT_NE(p.a.LocalPort(), 0);
    const std::string hello = "\\status\\";
    ASSERT_EQ(p.a.SendTo(LoopbackAddress(), p.b.LocalPort(), hello.data(), hello.size()), 8);
    ASSERT_TRUE(p.b.WaitReadable(5000));
    char buffer[64];
    uint32_t address = 0;
    uint16_t port = 0;
    ASSERT_EQ(p.b.ReceiveFrom(buffer, sizeof buffer, address, port), 8);
    EXPECT_EQ(std::string(buffer, 8), hello);
    EXPECT_EQ(port, p.a.LocalPort());
    EXPECT_EQ(address, inet_addr("127.0.0.1"));
}

TEST(UdpSocket, NothingWaitingAndClosedSocketReportFailure) {
    CUdpSocket s;
    char buffer[8];
    uint32_t address;
    uint16_t port;
    EXPECT_EQ(s.ReceiveFrom(buffer, sizeof buffer, address, port), -1);
    EXPECT_EQ(s.SendTo(LoopbackAddress(), 9, buffer, 1), -1);
    EXPECT_EQ(s.Close(), 0);
    ASSERT_TRUE(s.Open(0, LoopbackAddress()));
    EXPECT_EQ(s.ReceiveFrom(buffer, sizeof buffer, address, port), -1);
    EXPECT_FALSE(s.WaitReadable(0));
}

TEST(UdpSocket, OversizedDatagramIsDroppedWhole) {
    Pair p;
    std::vector<char> big(100, 'x');
    p.a.SendTo(LoopbackAddress(), p.b.LocalPort(), big.data(), big.size());
    p.a.SendTo(LoopbackAddress(), p.b.LocalPort(), "ok", 2);
    char buffer[16];
    uint32_t address;
    uint16_t port;
    ASSERT_TRUE(p.b.WaitReadable(5000));
    EXPECT_EQ(p.b.ReceiveFrom(buffer, sizeof buffer, address, port), -1);
    ASSERT_TRUE(p.b.WaitReadable(5000));
    EXPECT_EQ(p.b.ReceiveFrom(buffer, sizeof buffer, address, port), 2);
}

// Several datagrams in one call: in order, each with its sender, an oversized one dropped in
// its slot without disturbing the rest, and a batch smaller than the queue leaving the rest.
TEST(UdpSocket, ReceiveManyTakesWaitingDatagramsInOrder) {
    Pair p;
    CUdpSocket c;
    ASSERT_TRUE(c.Open(0, LoopbackAddress()));
    char buffers[3][16];
    CUdpSocket::Datagram slots[3];
    for (size_t i = 0; i < 3; ++i) {
        slots[i].buffer = buffers[i];
        slots[i].size = sizeof buffers[i];
    }
    EXPECT_EQ(p.b.ReceiveMany(slots, 3), 0u);

    const std::vector<char> big(100, 'x');
    p.a.SendTo(LoopbackAddress(), p.b.LocalPort(), "one", 3);
    p.a.SendTo(LoopbackAddress(), p.b.LocalPort(), big.data(), big.size());
    c.SendTo(LoopbackAddress(), p.b.LocalPort(), "three", 5);
    p.a.SendTo(LoopbackAddress(), p.b.LocalPort(), "four!", 5);
    // Loopback queues each datagram before its send returns.
    ASSERT_TRUE(p.b.WaitReadable(5000));

    ASSERT_EQ(p.b.ReceiveMany(slots, 3), 3u);
    EXPECT_EQ(slots[0].length, 3);
    EXPECT_EQ(std::string(buffers[0], 3), "one");
    EXPECT_EQ(slots[0].port, p.a.LocalPort());
    EXPECT_EQ(slots[0].address, inet_addr("127.0.0.1"));
    EXPECT_EQ(slots[1].length, -1);
    EXPECT_EQ(slots[2].length, 5);
    EXPECT_EQ(std::string(buffers[2], 5), "three");
    EXPECT_EQ(slots[2].port, c.LocalPort());

    ASSERT_EQ(p.b.ReceiveMany(slots, 3), 1u);
    EXPECT_EQ(slots[0].length, 5);
    EXPECT_EQ(std::string(buffers[0], 5), "four!");
    EXPECT_EQ(p.b.ReceiveMany(slots, 3), 0u);

    p.b.Close();
    EXPECT_EQ(p.b.ReceiveMany(slots, 3), 0u);
}

TEST(UdpSocket, BindingATakenPortFails) {
    CUdpSocket a, b;
    ASSERT_TRUE(a.Open(0, LoopbackAddress()));
    EXPECT_FALSE(b.Open(a.LocalPort(), LoopbackAddress()));
    EXPECT_FALSE(b.IsOpen());
}

// A datagram to a closed port on loopback is answered by a refusal, which names where it went
// and holds back no datagram behind it.
TEST(UdpSocket, RefusalsAreToldWithTheirDestinationWhenAskedFor) {
    Pair p;
    CUdpSocket closed;
    ASSERT_TRUE(closed.Open(0, LoopbackAddress()));
    const uint16_t closedPort = closed.LocalPort();
    closed.Close();
    uint32_t address = 0;
    uint16_t port = 0;
    EXPECT_FALSE(p.a.TakeRefusal(address, port));
    ASSERT_TRUE(p.a.ReportRefusals());
    p.a.SendTo(LoopbackAddress(), closedPort, "x", 1);
    p.b.SendTo(LoopbackAddress(), p.a.LocalPort(), "ok", 2);
    std::vector<bool> ready;
    ASSERT_TRUE(WaitAnyReadable({&p.b, &p.a}, 5000, ready));
    EXPECT_EQ(ready, (std::vector<bool>{false, true}));
    ASSERT_TRUE(p.a.TakeRefusal(address, port));
    EXPECT_EQ(address, LoopbackAddress());
    EXPECT_EQ(port, closedPort);
    EXPECT_FALSE(p.a.TakeRefusal(address, port));
    char buffer[8];
    ASSERT_TRUE(p.a.WaitReadable(5000));
    EXPECT_EQ(p.a.ReceiveFrom(buffer, sizeof buffer, address, port), 2);
    EXPECT_FALSE(WaitAnyReadable({&p.a, &p.b}, 0, ready));
    EXPECT_EQ(ready, (std::vector<bool>{false, false}));
}

TEST(WaitableEvent, AutoResetIsClearedByTheWaitThatSeesIt) {
    CWaitableEvent e(false, false);
    EXPECT_FALSE(e.Wait(0));
    e.Set();
    e.Set();
    EXPECT_TRUE(e.Wait(0));
    EXPECT_FALSE(e.Wait(0));
}

TEST(WaitableEvent, ManualResetStaysSetUntilReset) {
    CWaitableEvent e(true, true);
    EXPECT_TRUE(e.Wait(0));
    EXPECT_TRUE(e.Wait(0));
    e.Reset();
    EXPECT_FALSE(e.Wait(0));
}

TEST(WaitableEvent, WakesAWaiterOnAnotherThread) {
    CWaitableEvent e(false, false);
    std::thread t([&] { e.Set(); });
    EXPECT_TRUE(e.Wait(10000));
    t.join();
}

TEST(WaitForSocketOrEvent, ReportsTimeoutEventAndSocketWithSocketFirst) {
    Pair p;
    CWaitableEvent e(false, false);
    EXPECT_EQ(WaitForSocketOrEvent(p.b, e, 10), WaitResult::Timeout);
    e.Set();
    EXPECT_EQ(WaitForSocketOrEvent(p.b, e, 5000), WaitResult::Event);
    EXPECT_EQ(WaitForSocketOrEvent(p.b, e, 0), WaitResult::Timeout);

    e.Set();
    p.a.SendTo(LoopbackAddress(), p.b.LocalPort(), "x", 1);
    ASSERT_TRUE(p.b.WaitReadable(5000));
    EXPECT_EQ(WaitForSocketOrEvent(p.b, e, 5000), WaitResult::Socket);
    char c;
    uint32_t address;
    uint16_t port;
    p.b.ReceiveFrom(&c, 1, address, port);
    EXPECT_EQ(WaitForSocketOrEvent(p.b, e, 5000), WaitResult::Event);
}

TEST(WaitForSocketOrEvent, ClosedSocketStillWaitsOnTheEvent) {
    CUdpSocket closed;
    CWaitableEvent e(false, false);
    EXPECT_EQ(WaitForSocketOrEvent(closed, e, 10), WaitResult::Timeout);
    e.Set();
    EXPECT_EQ(WaitForSocketOrEvent(closed, e, 5000), WaitResult::Event);
}

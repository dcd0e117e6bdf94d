#pragma once
// An engine driven straight through its handlers, with a tick the test sets.

#include "net/ServerQuery.h"
#include "net/WatchState.h"
#include "platform/UdpSocket.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>

namespace quillory::test {

class EngineFixture : public ::testing::Test {
protected:
    static constexpr uint16_t GAME_PORT = 2302;

    CWatchState state;
    std::atomic<uint32_t> now{1000};
    CServerQuery engine{state, [this] { return now.load(); }};

    void SetUp() override { engine.HandleMessage(QM_SET_SERVER, LoopbackAddress(), GAME_PORT); }

    void Feed(const std::string& bytes, uint16_t fromPort = GAME_PORT,
              uint32_t address = LoopbackAddress()) {
        engine.HandleDatagram(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), address,
                              fromPort);
    }

    ServerStatus Status() {
        std::lock_guard guard(state.StatusLock());
        return state.status;
    }

    uint32_t StatusReplies() {
        std::lock_guard guard(state.StatusLock());
        return state.statusReplies;
    }
};

} // namespace quillory::test

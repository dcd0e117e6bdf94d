// Datagram handling of the query engine, and the CPU its thread spends watching a silent
// server.
#include "net/ServerQuery.h"
#include "platform/UdpSocket.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <string>
#include <sys/resource.h>
#include <thread>

using namespace quillory;

namespace {

constexpr uint16_t GAME_PORT = 2302;

void Put32(std::string& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = char((v >> (8 * i)) & 0xFF);
}

std::string SocketsReply() {
    std::string b(348, '\0');
    b[0] = char(348 & 0xFF);
    b[1] = char(348 >> 8);
    b.replace(28, 25, "Dedicated server on Alpha");
    Put32(b, 284, 196);
    Put32(b, 288, 195);
    b.replace(292, 13, "Border Patrol");
    Put32(b, 332, 14);
    Put32(b, 344, 12);
    return b;
}

// A status reply of a full server: 32 players over three datagrams.
std::vector<std::string> StatusReply(int queryId) {
    std::string all = "\\gamename\\ironval\\mapname\\Everon\\maxplayers\\34\\timeleft\\17"
                      "\\param1\\a\\param2\\b\\platform\\win";
    for (int p = 0; p < 32; ++p) {
        std::string n = std::to_string(p);
        all += "\\player_" + n + "\\Player" + n + "\\team_" + n + "\\1\\score_" + n + "\\" +
               std::to_string(p * 3) + "\\deaths_" + n + "\\" + std::to_string(p % 5);
    }
    all += "\\final\\";
    std::vector<std::string> pieces;
    const size_t third = all.size() / 3;
    size_t start = 0;
    for (int i = 0; i < 3; ++i) {
        size_t end = i == 2 ? all.size() : all.find('\\', (i + 1) * third);
        while (i < 2 && all.compare(end, 8, "\\player_") != 0)
            end = all.find('\\', end + 1);
        pieces.push_back(all.substr(start, end - start) + "\\queryid\\" + std::to_string(queryId) +
                         "." + std::to_string(i));
        start = end;
    }
    return pieces;
}

struct Engine {
    CWatchState state;
    CServerQuery engine{state, [] { return 1000u; }};
    Engine() { engine.HandleMessage(QM_SET_SERVER, LoopbackAddress(), GAME_PORT); }
    void Feed(const std::string& d, uint16_t port) {
        engine.HandleDatagram(reinterpret_cast<const uint8_t*>(d.data()), d.size(),
                              LoopbackAddress(), port);
    }
};

void BM_SocketsReply(benchmark::State& st) {
    Engine e;
    const std::string reply = SocketsReply();
    for (auto _ : st)
        e.Feed(reply, GAME_PORT);
    st.SetItemsProcessed(st.iterations());
    st.SetBytesProcessed(st.iterations() * int64_t(reply.size()));
}
BENCHMARK(BM_SocketsReply);

// Each iteration is one whole reply arriving out of order (2, 0, 1).
void BM_StatusReplyThreeDatagrams(benchmark::State& st) {
    Engine e;
    const auto a = StatusReply(1), b = StatusReply(2);
    int64_t bytes = 0;
    for (const auto& p : a)
        bytes += int64_t(p.size());
    bool flip = false;
    for (auto _ : st) {
        const auto& r = flip ? a : b; // a new query id every time, as a server sends
        flip = !flip;
        e.Feed(r[2], GAME_PORT + 1);
        e.Feed(r[0], GAME_PORT + 1);
        e.Feed(r[1], GAME_PORT + 1);
    }
    std::lock_guard guard(e.state.StatusLock());
    if (e.state.status.playerList.size() != 32)
        st.SkipWithError("reply not taken whole");
    st.SetItemsProcessed(st.iterations());
    st.SetBytesProcessed(st.iterations() * bytes);
}
BENCHMARK(BM_StatusReplyThreeDatagrams);

double CpuSeconds(int who) {
    rusage u{};
    getrusage(who, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// The engine watches a port where nobody answers for 10 s. Its thread's CPU is the
// process's minus this (sleeping) thread's.
void BM_IdleEngineCpu(benchmark::State& st) {
    for (auto _ : st) {
        CUdpSocket silent;
        silent.Open(0, LoopbackAddress());
        CWatchState state;
        CServerQuery engine(state);
        engine.Create(0, 0, LoopbackAddress());
        double before = CpuSeconds(RUSAGE_SELF) - CpuSeconds(RUSAGE_THREAD);
        auto start = std::chrono::steady_clock::now();
        engine.Start();
        engine.Post(QM_SET_SERVER, LoopbackAddress(), silent.LocalPort());
        engine.Post(QM_START);
        std::this_thread::sleep_for(std::chrono::seconds(10));
        engine.Post(QM_QUIT);
        engine.Wait(WAIT_FOREVER);
        double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        double cpu = CpuSeconds(RUSAGE_SELF) - CpuSeconds(RUSAGE_THREAD) - before;
        st.counters["engine_cpu_ms"] = cpu * 1000;
        st.counters["cpu_percent_of_core"] = 100 * cpu / wall;
    }
}
BENCHMARK(BM_IdleEngineCpu)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace

BENCHMARK_MAIN();

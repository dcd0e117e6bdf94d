#pragma once
// A worker thread that owns one UDP socket and turns network events, queued messages and idle
// time into calls of its handlers.

#include "platform/UdpSocket.h"
#include "platform/WorkerThread.h"

#include <cstddef>
#include <cstdint>

namespace quillory {

class CUdpSocketThread : public CWorkerThread {
public:
    // The loop calls OnIdle after this long without an event.
    static constexpr uint32_t IDLE_MS = 100;

    CUdpSocketThread() = default;
    // Waits for the thread without a limit: post the quit message first. The socket is left
    // for the owner to Close (it is closed here at the latest).
    ~CUdpSocketThread() override;

    // kind 0 is a datagram socket; no other kind is used. Port and address 0: any.
    bool Create(int kind, uint16_t port, uint32_t address);
    int Close();
    int SendTo(uint32_t address, uint16_t port, const void* bytes, size_t length);
    int ReceiveFrom(void* buffer, size_t size, uint32_t& address, uint16_t& port);
    uint16_t LocalPort() const { return socket_.LocalPort(); }
    // For a caller that drives the handlers from its own loop instead of the thread.
    CUdpSocket& Socket() { return socket_; }

protected:
    uint32_t Run() override;

    // Every handler runs on the worker thread, never two at once.
    virtual void OnRead(int) {}
    virtual void OnWrite(int) {}
    virtual void OnOutOfBand(int) {}
    virtual void OnAccept(int) {}
    virtual void OnConnect(int) {}
    virtual void OnClose(int) {}
    virtual void OnMessage(uint32_t, uint32_t, uint32_t) {}
    virtual void OnStart() {}
    virtual uint32_t OnStop() { return 0; }
    virtual void OnIdle() {}

private:
    void DispatchMessages();
    void DispatchNetworkEvents();

    CUdpSocket socket_;
};

} // namespace quillory

#include "net/UdpSocketThread.h"

#include "common/Tick.h"

namespace quillory {

CUdpSocketThread::~CUdpSocketThread() {
    Wait(WAIT_FOREVER);
    CloseThreadHandle();
}

bool CUdpSocketThread::Create(int kind, uint16_t port, uint32_t address) {
    if (kind != 0)
        return false;
    return socket_.Open(port, address);
}

int CUdpSocketThread::Close() {
    return socket_.Close();
}

int CUdpSocketThread::SendTo(uint32_t address, uint16_t port, const void* bytes, size_t length) {
    return socket_.SendTo(address, port, bytes, length);
}

int CUdpSocketThread::ReceiveFrom(void* buffer, size_t size, uint32_t& address, uint16_t& port) {
    return socket_.ReceiveFrom(buffer, size, address, port);
}

uint32_t CUdpSocketThread::Run() {
    OnStart();
    uint32_t lastIdle = TickCount();
    while (!StopFlag()) {
        WaitResult result = WaitForSocketOrEvent(socket_, WakeEvent().Native(), IDLE_MS);
        if (result == WaitResult::Event)
            DispatchMessages();
        else if (result == WaitResult::Socket) {
            DispatchNetworkEvents();
            // Busy sockets win the wait; queued messages (quit among them) still get through.
            DispatchMessages();
        }
        // A steady stream of datagrams or messages must not starve the idle step, which
        // drives the poll timers.
        uint32_t now = TickCount();
        if (result == WaitResult::Timeout || TicksSince(now, lastIdle) >= IDLE_MS) {
            if (!StopFlag())
                OnIdle();
            lastIdle = now;
        }
    }
    return OnStop();
}

void CUdpSocketThread::DispatchMessages() {
    uint32_t code, first, second;
    while (TryGet(code, &first, &second))
        OnMessage(code, first, second);
}

void CUdpSocketThread::DispatchNetworkEvents() {
    int readError = 0;
    uint32_t events = socket_.PendingEvents(readError);
    if (events & CUdpSocket::EV_READ)
        OnRead(readError);
    if (events & CUdpSocket::EV_WRITE)
        OnWrite(0);
    if (events & CUdpSocket::EV_OOB)
        OnOutOfBand(0);
    if (events & CUdpSocket::EV_ACCEPT)
        OnAccept(0);
    if (events & CUdpSocket::EV_CONNECT)
        OnConnect(0);
    if (events & CUdpSocket::EV_CLOSE)
        OnClose(0);
}

} // namespace quillory

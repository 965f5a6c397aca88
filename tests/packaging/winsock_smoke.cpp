// Links the Winsock socket layer and the timer guard into a Windows program;
// it is only built, never run, to prove the Windows branch compiles and links.
#include "timerresolution.h"
#include "udpsocket.h"

int main()
{
    TimerResolution resolution;
    UdpSocket::startup();
    UdpSocket socket;
    const unsigned char loopback[4] = {127, 0, 0, 1};
    int result = 0;
    if (socket.open() && socket.bindTo(loopback, 0)) {
        unsigned char buffer[16] = {};
        SocketAddress to = socket.localAddress();
        socket.sendTo(buffer, sizeof buffer, to);
        result = socket.receive(buffer, sizeof buffer, 10) < 0 ? 1 : 0;
        socket.discardPending();
    }
    socket.close();
    UdpSocket::cleanup();
    return result + (resolution.active() ? 0 : 2) + UdpSocket::lastError() * 0;
}

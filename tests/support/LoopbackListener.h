// A TCP socket of a test's own, listening on 127.0.0.1 at a port the system chose.
#pragma once
#include <winsock2.h>

// Starts Winsock (the caller stops it with WSACleanup) and returns the listening socket, or
// INVALID_SOCKET; *port receives its port.
inline SOCKET ListenOnLoopback(unsigned short *port)
{
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(listener, (sockaddr *)&address, sizeof(address));
    listen(listener, 4);
    int length = sizeof(address);
    getsockname(listener, (sockaddr *)&address, &length);
    *port = ntohs(address.sin_port);
    return listener;
}

// A loopback port that nothing listens on: one the system just handed out and took back.
inline unsigned short ClosedLoopbackPort()
{
    unsigned short port = 0;
    closesocket(ListenOnLoopback(&port));
    WSACleanup();
    return port;
}

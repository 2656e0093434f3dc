// What the discovery tests share: hand-made cmd_Who datagrams, a blocking datagram socket of the
// test with a receive limit, and waiting for trace lines. Everything runs on 127.0.0.1 inside
// the test sandbox; the ports are fixed (below the system's ephemeral range) and the tests of
// this program hold the "discovery" lock, so no two of them use the ports at once.
#pragma once

#include <winsock2.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "protocol/Message.h"
#include "protocol/WhoMessage.h"
#include "runtime/EventSocket.h"
#include "support/DebugOutputCapture.h"

namespace discoverytest {

constexpr DWORD kGenerousMs = 30000;
constexpr ULONG kLoopback = INADDR_LOOPBACK;   // 127.0.0.1, host order

inline USHORT LocalPort(SOCKET handle) {
    sockaddr_in address{};
    int length = sizeof address;
    if (::getsockname(handle, reinterpret_cast<sockaddr*>(&address), &length) != 0) return 0;
    return ::ntohs(address.sin_port);
}

inline void PutLE32(std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + static_cast<size_t>(i)] = static_cast<uint8_t>(value >> (8 * i));
}

inline uint32_t GetLE32(const std::vector<uint8_t>& bytes, size_t at) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = (value << 8) | bytes[at + static_cast<size_t>(i)];
    return value;
}

// A cmd_Who datagram written out field by field (not with the program's encoder):
// signature, command, error, length, checksum, sequence, then 16 UTF-16LE units of nickname.
inline std::vector<uint8_t> WhoDatagram(uint32_t command, const std::u16string& nick, uint32_t length = 16,
                                        uint32_t signature = MessageSignature, uint32_t sequence = 0x01020304) {
    std::vector<uint8_t> bytes(56, 0);
    PutLE32(bytes, 0, signature);
    PutLE32(bytes, 4, command);
    PutLE32(bytes, 12, length);
    PutLE32(bytes, 20, sequence);
    for (size_t i = 0; i < nick.size() && i < 16; ++i) {
        bytes[24 + 2 * i] = static_cast<uint8_t>(nick[i] & 0xFF);
        bytes[25 + 2 * i] = static_cast<uint8_t>(nick[i] >> 8);
    }
    return bytes;
}

// The bytes that a host named `nick` sends with the command, except the sequence field (20-23),
// which every message takes fresh: the caller copies it from the received bytes.
inline std::vector<uint8_t> ExpectedWho(uint32_t command, const std::u16string& nick, uint32_t sequence) {
    return WhoDatagram(command, nick, 16, MessageSignature, sequence);
}

// A blocking datagram socket of the test; receives give up after the generous limit.
class CTestDatagramSocket : public EventSocket {
public:
    bool Open(USHORT port, const wchar_t* address) {
        if (!Create(SOCK_DGRAM, AllNetworkEvents, true)) return false;
        const DWORD limit = kGenerousMs;
        ::setsockopt(Handle(), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&limit), sizeof limit);
        return Bind(port, address);
    }
    bool SendBytes(ULONG address, USHORT port, const std::vector<uint8_t>& bytes) {
        return SendTo(address, port, bytes.data(), static_cast<int>(bytes.size())) == static_cast<int>(bytes.size());
    }
    // One datagram (at most 2048 bytes); empty with ok false when none came in time.
    std::vector<uint8_t> ReceiveOne(bool& ok, ULONG* from = nullptr, USHORT* fromPort = nullptr) {
        std::vector<uint8_t> bytes(2048);
        ULONG address = 0;
        USHORT port = 0;
        const int received = ReceiveFrom(bytes.data(), static_cast<int>(bytes.size()), address, port);
        ok = received >= 0;
        bytes.resize(ok ? static_cast<size_t>(received) : 0);
        if (from) *from = address;
        if (fromPort) *fromPort = port;
        return bytes;
    }
    // Bytes waiting to be read (0 when nothing arrived).
    u_long Pending() {
        u_long count = 0;
        IoCtl(FIONREAD, &count);
        return count;
    }
};

// Waits until `count` trace messages (without their numbers) start with the prefix; returns
// every message that does, in order.
inline std::vector<std::wstring> WaitForMessages(DebugOutputCapture& capture, const std::wstring& prefix,
                                                 size_t count = 1) {
    const ULONGLONG end = ::GetTickCount64() + kGenerousMs;
    for (;;) {
        std::vector<std::wstring> found;
        for (const auto& message : capture.Messages())
            if (message.compare(0, prefix.size(), prefix) == 0) found.push_back(message);
        if (found.size() >= count || ::GetTickCount64() > end) return found;
        ::Sleep(5);
    }
}

// The messages of the capture that begin with "Ear:", "Hosts:", "CServer" (the discovery's own).
inline std::vector<std::wstring> DiscoveryMessages(DebugOutputCapture& capture) {
    std::vector<std::wstring> found;
    for (const auto& message : capture.Messages()) {
        if (message.rfind(L"Ear:", 0) == 0 || message.rfind(L"Hosts:", 0) == 0 || message.rfind(L"CServer", 0) == 0)
            found.push_back(message);
    }
    return found;
}

inline std::wstring ReceiveLine(const wchar_t* address, USHORT port, int result, int error) {
    return std::wstring(L"Ear: ReceiveFrom IP: ") + address + L" Port: " + std::to_wstring(port) + L";  res=" +
           std::to_wstring(result) + L"; err=" + std::to_wstring(error) + L";";
}

inline std::wstring ComputerName() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD length = MAX_COMPUTERNAME_LENGTH + 1;
    ::GetComputerNameW(name, &length);
    return std::wstring(name, length);
}

}  // namespace discoverytest

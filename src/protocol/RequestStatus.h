// The status of the last remote request and the message that tells the user about it: the
// string-table entry of the status, with the system's own words for the error that caused it in
// place of its "%s" (the network and internal errors).
//
// Threads: the coordinator's, the main thread: the client's result reaches it only after the
// client's worker has finished the request.
#pragma once

#include <windows.h>

#include <string>

#include "protocol/Status.h"

class CRequestStatus {
public:
    // Records the status; kStatusNone has no text. A system error of 0 leaves the "%s" empty.
    void Set(StatusId status, DWORD systemError);
    [[nodiscard]] StatusId Id() const noexcept { return m_id; }
    [[nodiscard]] const std::wstring& Text() const noexcept { return m_text; }

private:
    StatusId m_id = kStatusNone;
    std::wstring m_text;
};

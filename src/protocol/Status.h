// The status of a remote request is the string-table id of the message that tells the user about
// it (IDS_UNKNOWN_ERROR means that nothing was recorded).
// Portable: the mapping of a serving host's error code to the status that the client records.
#pragma once

#include <cstdint>

#include "resource.h"

using StatusId = std::uint32_t;

inline constexpr StatusId kStatusNone = IDS_UNKNOWN_ERROR;
inline constexpr StatusId kStatusNetworkError = IDS_NETWORK_ERROR;
inline constexpr StatusId kStatusCorruptedData = IDS_CORRUPTED_DATA;

// The serving host's error codes: 1 busy, 2 rejected, 3 no formats, 4 no data, 5 malformed,
// 6 unknown command; anything else is a general error.
constexpr StatusId StatusForServerError(std::uint32_t error) noexcept {
    switch (error) {
        case 1: return IDS_REMOTE_BUSY;
        case 2: return IDS_REJECTED;
        case 3: return IDS_NO_FORMATS;
        case 4: return IDS_RENDER_FAILED;
        case 5: return IDS_COMM_PROBLEM;
        case 6: return IDS_RENDER_FAILED;
        default: return IDS_REMOTE_GENERAL_ERROR;
    }
}

// The status of a remote request is the string-table id of the message that tells the user about
// it (resource.h names them IDS_...; 118, "unknown error", means that nothing was recorded).
// Portable: the mapping of a serving host's error code to the status that the client records.
#pragma once

#include <cstdint>

using StatusId = std::uint32_t;

inline constexpr StatusId kStatusNone = 118;            // IDS_UNKNOWN_ERROR
inline constexpr StatusId kStatusNetworkError = 108;    // IDS_NETWORK_ERROR
inline constexpr StatusId kStatusCorruptedData = 110;   // IDS_CORRUPTED_DATA

// 1 busy -> 106, 2 rejected -> 122, 3 no formats -> 127, 4 no data -> 126, 5 malformed -> 128,
// 6 unknown command -> 126, anything else -> 112 (general error).
constexpr StatusId StatusForServerError(std::uint32_t error) noexcept {
    switch (error) {
        case 1: return 106;
        case 2: return 122;
        case 3: return 127;
        case 4: return 126;
        case 5: return 128;
        case 6: return 126;
        default: return 112;
    }
}

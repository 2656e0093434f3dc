// What the user is told when a serving host answers with an error: each error code, the status
// recorded for it, and that status's text in the program's string table (read from pelko.rc).
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "protocol/Message.h"
#include "protocol/Status.h"
#include "resource.h"

// The text of a STRINGTABLE entry as the resource script writes it (escapes left as they are).
static std::string ResourceText(const std::string& name) {
    std::ifstream script(PELKO_TEST_RC_FILE);
    for (std::string line; std::getline(script, line);) {
        const size_t start = line.find_first_not_of(" \t"), open = line.find('"'), close = line.rfind('"');
        if (start != std::string::npos && line.compare(start, name.size() + 1, name + " ") == 0 && open < close)
            return line.substr(open + 1, close - open - 1);
    }
    return "(no such string)";
}

#define ROW(error, status, text) {error, status, #status, text}

TEST(Status, EveryServerErrorShowsItsOwnText) {
    const char* general = "The remote computer reported some general error.";
    const char* render = "The remote computer failed to render clipboard data in the requested format.";
    const struct { uint32_t error; StatusId status; const char* name; const char* text; } rows[] = {
        ROW(SrvErr_Busy, IDS_REMOTE_BUSY,
            R"(The remote computer has requested for clipboard contents from another computer.\nPlease retry later.)"),
        ROW(SrvErr_Rejected, IDS_REJECTED, "The remote host has rejected your request."),
        ROW(SrvErr_NoFormats, IDS_NO_FORMATS, "The remote computer failed to specify available clipboard data formats."),
        ROW(SrvErr_NoData, IDS_RENDER_FAILED, render),
        ROW(SrvErr_Protocol, IDS_COMM_PROBLEM, "The remote computer reported communication problem."),
        ROW(SrvErr_BadCommand, IDS_RENDER_FAILED, render),
        ROW(SrvErr_SendFailed, IDS_REMOTE_GENERAL_ERROR, general),
        ROW(0xFFFFFFFF, IDS_REMOTE_GENERAL_ERROR, general),
    };
    for (const auto& row : rows) {
        EXPECT_EQ(StatusForServerError(row.error), row.status) << "error " << row.error << ": " << row.name;
        EXPECT_EQ(ResourceText(row.name), row.text) << row.name;
    }
}

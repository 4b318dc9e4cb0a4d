#include "recorder/CommandLog.h"

#include "base/Bytes.h"
#include "base/File.h"

#include <cstdio>

namespace {

const char* CommandName(int opcode)
{
    switch (opcode) {
    case 0x00:
        return "TEST UNIT READY";
    case 0x01:
        return "REZERO UNIT";
    case 0x03:
        return "REQUEST SENSE";
    case 0x04:
        return "FORMAT UNIT";
    case 0x12:
        return "INQUIRY";
    case 0x15:
        return "MODE SELECT(6)";
    case 0x1B:
        return "START STOP UNIT";
    case 0x1E:
        return "PREVENT ALLOW MEDIUM REMOVAL";
    case 0x23:
        return "READ FORMAT CAPACITIES";
    case 0x25:
        return "READ CAPACITY";
    case 0x28:
        return "READ(10)";
    case 0x2A:
        return "WRITE(10)";
    case 0x35:
        return "SYNCHRONIZE CACHE";
    case 0x46:
        return "GET CONFIGURATION";
    case 0x51:
        return "READ DISC INFORMATION";
    case 0x52:
        return "READ TRACK INFORMATION";
    case 0x53:
        return "RESERVE TRACK";
    case 0x54:
        return "SEND OPC INFORMATION";
    case 0x55:
        return "MODE SELECT(10)";
    case 0x5A:
        return "MODE SENSE(10)";
    case 0x5B:
        return "CLOSE TRACK/SESSION";
    case 0x5C:
        return "READ BUFFER CAPACITY";
    case 0xB6:
        return "SET STREAMING";
    case 0xBB:
        return "SET CD SPEED";
    default:
        return "UNKNOWN";
    }
}

}  // namespace

void CCommandLog::Add(const uint8_t* cdb, CASPI::Direction direction, const uint8_t* data, int length,
                      const std::string& answer)
{
    using Direction = CASPI::Direction;
    const int opcode = cdb[0];
    if (answer == "good" && (opcode == 0x2A || opcode == 0x28)) {
        NoteRun(CommandName(opcode), int64_t(GetBe32(cdb + 2)), int(GetBe16(cdb + 7)));
    } else if (answer == "good" && opcode == 0x5C) {
        NoteRun(CommandName(opcode), -1, 0);
    } else {
        char line[200];
        char args[96] = "";
        if (opcode == 0x2A || opcode == 0x28)
            std::snprintf(args, sizeof args, " block %u count %u", GetBe32(cdb + 2), GetBe16(cdb + 7));
        else if (opcode == 0x1B)
            std::snprintf(args, sizeof args, " %s",
                          (cdb[4] & 3) == 3       ? "load"
                              : (cdb[4] & 3) == 2 ? "eject"
                                                  : "start/stop");
        else if (opcode == 0x5B)
            std::snprintf(args, sizeof args, " function %d track %u", cdb[2] & 7, GetBe16(cdb + 4));
        else if (opcode == 0x53)
            std::snprintf(args, sizeof args, " %u blocks", GetBe32(cdb + 5));
        else if (opcode == 0x35)
            std::snprintf(args, sizeof args, "%s", (cdb[1] & 2) ? " immediate" : "");
        else if (opcode == 0x46)
            std::snprintf(args, sizeof args, " type %d feature %04X", cdb[1] & 3, GetBe16(cdb + 2));
        else if (opcode == 0x5A || opcode == 0x55)
            std::snprintf(args, sizeof args, " page %02X",
                          opcode == 0x5A ? cdb[2] & 0x3F
                                         : (direction == Direction::Out && data && length > 8 ? data[8] & 0x3F : 0));
        else if (opcode == 0xBB)
            std::snprintf(args, sizeof args, " %u kB/s", GetBe16(cdb + 4));
        else if (opcode == 0xB6 && direction == Direction::Out && length >= 28)
            std::snprintf(args, sizeof args, " end %u write %u kB/s", GetBe32(data + 8), GetBe32(data + 20));
        std::snprintf(line, sizeof line, "%s%s -> %s", CommandName(opcode), args, answer.c_str());
        Note(line);
    }
}

void CCommandLog::Note(const std::string& line)
{
    lastRun.clear();
    lines.push_back(line);
}

void CCommandLog::NoteRun(const std::string& name, int64_t lba, int count)
{
    if (!lines.empty() && lastRun == name && (lba < 0 || lba == runEnd)) {
        ++runCount;
        if (lba >= 0) runEnd = lba + count;
        char text[160];
        if (lba >= 0)
            std::snprintf(text, sizeof text, "%s blocks %lld..%lld in %d commands -> good", name.c_str(),
                          static_cast<long long>(runFirst), static_cast<long long>(runEnd - 1), runCount);
        else
            std::snprintf(text, sizeof text, "%s x %d -> good", name.c_str(), runCount);
        lines.back() = text;
        return;
    }
    char text[160];
    if (lba >= 0)
        std::snprintf(text, sizeof text, "%s blocks %lld..%lld in 1 command -> good", name.c_str(),
                      static_cast<long long>(lba), static_cast<long long>(lba + count - 1));
    else
        std::snprintf(text, sizeof text, "%s x 1 -> good", name.c_str());
    lines.push_back(text);
    lastRun = name;
    runFirst = lba;
    runEnd = lba + count;
    runCount = 1;
}

bool CCommandLog::Write(const std::string& path) const
{
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    std::string reason;
    return ReplaceFileContent(path, text.data(), text.size(), reason);
}

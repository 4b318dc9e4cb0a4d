// CFakeTapeTransport: a tape transport without hardware, for tests and for captures
// from DV files. It answers the queries as the chosen device does (a VCR with a tape,
// a camera, a VCR without tape) and records every query and command in its log, one
// line each ("type", "status", "Play", "Stop", ...), also into a file when one is set.
#pragma once

#include "media/TapeTransport.h"

#include <mutex>
#include <string>
#include <vector>

class CFakeTapeTransport : public CTapeTransport {
public:
    enum class EKind { VcrWithTape, Camera, VcrWithoutTape };

    explicit CFakeTapeTransport(EKind kind_ = EKind::VcrWithTape) : kind(kind_) {}

    int32_t DeviceType() override;
    bool QueryStatus() override;
    bool Command(int32_t mode) override;
    const std::string& Error() const override { return error; }

    // Appends every log line to `path` as well (the file is started empty). False when
    // it cannot be written; Error() names it.
    bool SetLogFile(const std::string& path);
    // The lines logged so far.
    std::vector<std::string> Log() const;
    // The last command sent (0 before any).
    int32_t LastCommand() const;

private:
    void Note(const std::string& line);

    EKind kind;
    mutable std::mutex lock;
    std::vector<std::string> log;
    std::string logFile;
    int32_t last = 0;
    std::string error;
};

// The command log of the virtual recorder: one line per command with its answer
// ("good" or the sense as "K/AA/QQ"), runs of consecutive WRITE or READ commands over
// following blocks, and of READ BUFFER CAPACITY, gathered into one line each, so that
// a burn's sequence of commands can be read at a glance.
#pragma once

#include "recorder/ASPI.h"

#include <cstdint>
#include <string>
#include <vector>

class CCommandLog {
public:
    // Adds the command `cdb` with its data (`direction`, `data`, `length`) and `answer`.
    void Add(const uint8_t* cdb, CASPI::Direction direction, const uint8_t* data, int length,
             const std::string& answer);
    // The lines so far.
    const std::vector<std::string>& Lines() const { return lines; }
    // Writes the lines to `path` (replacing it). False when it could not be written.
    bool Write(const std::string& path) const;

private:
    void Note(const std::string& line);
    void NoteRun(const std::string& name, int64_t lba, int count);

    std::vector<std::string> lines;
    std::string lastRun;
    int64_t runFirst = 0;
    int64_t runEnd = 0;
    int runCount = 0;
};

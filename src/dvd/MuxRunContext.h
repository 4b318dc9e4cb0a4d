// SMuxRunContext: the state the multiplexers of one job share from title to title. The
// job owns it and hands it, through the title builder, to each title's multiplexer.
#pragma once

#include <cstdint>

struct SMuxRunContext {
    // The last system clock reference written (27 MHz); -1 before the first pack of a
    // title set. A pack stamped earlier than this is reported as a fault.
    int64_t lastScrWritten = -1;
    // The PTS of the last video access unit sent (90 kHz).
    uint32_t lastVideoPtsSent = 0;
};

// CAudioFrameEnd: follows the access units of the audio bytes a title sends, so that the
// title's audio can end on a whole unit. Layer II and AC-3 frames are found from their
// headers, each where the previous frame ends; linear PCM is cut into sample pairs (two
// channels of 16 bits). The multiplexer feeds it every audio payload in order and, when
// the pictures have ended, asks how many bytes still finish the unit in hand.
#pragma once

#include <cstdint>

class CAudioFrameEnd {
public:
    // Starts following a new stream of `kind` (CAudio::kindMp2, kindAc3 or kindLpcm).
    void Start(int kind);
    // Follows the next `n` bytes of the stream.
    void Feed(const uint8_t* data, int n);
    // Bytes still to send so that the stream ends on a whole unit: the rest of the
    // frame in hand; while a frame header is only partly sent, the rest of that header
    // (ask again once it is sent); 0 on a unit boundary, and 0 for a coded stream in
    // which no frame has been found where one was due.
    int BytesToUnitEnd() const;

private:
    // Frame length of the header collected in `header`, 0 when it is none.
    int FrameLength() const;
    int HeaderBytes() const;

    int kind = 0;
    int64_t sent = 0;  // bytes followed since Start
    int left = 0;  // bytes of the frame in hand still to come
    uint8_t header[8] = {};  // the next frame's header as far as it has come
    int collected = 0;  // bytes in header
    bool inStep = false;  // the last frame header was found where it was due
};

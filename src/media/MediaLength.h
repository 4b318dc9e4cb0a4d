// Measuring music and narration files for the slide show.
#pragma once

#include <cstdint>
#include <string>

// Opens `path` for its sound alone and returns its duration in units of 1/10,000 s,
// truncated; 0 when the file cannot be opened or its length is unknown (the caller
// then refuses it with "Unable to determine the duration of %s", key 4301).
int32_t MeasureAudioLength(const std::string& path);

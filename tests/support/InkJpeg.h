// Four-component JPEGs as print workflows write them, for the tests of photo decoding.
#pragma once

#include <cstdint>
#include <string>

namespace testsupport {

// Writes a 16 x 8 four-component JPEG whose left half holds `left` and right half
// `right` (four stored bytes each), as CMYK or YCCK, with or without the Adobe marker.
// False when the file cannot be created.
bool WriteInkJpeg(const std::string& path, const uint8_t left[4], const uint8_t right[4], bool ycck, bool adobe);

}  // namespace testsupport

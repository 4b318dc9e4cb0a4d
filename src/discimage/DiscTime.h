// The time stamps written into a disc image.
#pragma once

// A wall-clock time with the offset of its zone from UTC.
struct CDiscTime {
    int year = 2000, month = 1, day = 1;  // month 1-12
    int hour = 0, minute = 0, second = 0;
    int offsetMinutes = 0;  // east of UTC is positive
};

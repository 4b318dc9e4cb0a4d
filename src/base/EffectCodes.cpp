#include "base/EffectCodes.h"

#include <strings.h>

namespace {

const CEffectCode kTransitions[] = {
    {999, "Auto"},
    {21, "Blend"},
    {22, "FadeInOut"},
    {0, "BoxIn"},
    {1, "BoxOut"},
    {2, "CircleIn"},
    {3, "CircleOut"},
    {4, "WipeUp"},
    {5, "WipeDown"},
    {6, "WipeRight"},
    {7, "WipeLeft"},
    {8, "VerticalBlinds"},
    {9, "HorizontalBlinds"},
    {10, "CheckboardAcross"},
    {11, "CheckboardDown"},
    {12, "RandomDissolve"},
    {13, "SplitVerticalIn"},
    {14, "SplitVerticalOut"},
    {15, "SplitHorizontalIn"},
    {16, "SplitHorizontalOut"},
    {17, "StripsLeftDown"},
    {18, "StripsLeftUp"},
    {19, "StripsRightDown"},
    {20, "StripsRightUp"},
    {23, "IrisCross"},
    {24, "IrisDiamond"},
    {27, "ClockWipe"},
    {28, "RadialWipe"},
    {29, "PinwheelWipe"},
    {30, "WedgeWipe"},
    {31, "Inset"},
    {32, "Slide"},
    {33, "Push"},
    {34, "BandSlide"},
    {36, "SwinIn"},
    {37, "SwinOut"},
    {-1, "None"},
};

const CEffectCode kPanZooms[] = {
    {999, "Auto"},
    {0, "ZoomIn"},
    {1, "ZoomOut"},
    {2, "PanLeft"},
    {3, "PanRight"},
    {4, "ZoomIn and PanLeft"},
    {5, "ZoomIn and PanRight"},
    {6, "ZoomOut and PanLeft"},
    {7, "ZoomOut and PanRight"},
    {8, "ZoomIn to UpperLeft"},
    {9, "ZoomIn to LowerLeft"},
    {10, "ZoomIn to UpperRight"},
    {11, "ZoomIn to LowerRight"},
    {12, "ZoomOut from UpperLeft"},
    {13, "ZoomOut from LowerLeft"},
    {14, "ZoomOut from UpperRight"},
    {15, "ZoomOut from LowerRight"},
    {-1, "None"},
};

template <size_t N>
int CodeOf(const CEffectCode (&table)[N], const char* name)
{
    if (!name) return kEffectNone;
    for (const CEffectCode& row : table)
        if (strcasecmp(row.name, name) == 0) return row.code;
    return kEffectNone;
}

template <size_t N>
const char* NameOf(const CEffectCode (&table)[N], int code)
{
    for (const CEffectCode& row : table)
        if (row.code == code) return row.name;
    return "None";
}

}  // namespace

const CEffectCode* TransitionTable(size_t& count)
{
    count = sizeof(kTransitions) / sizeof(kTransitions[0]);
    return kTransitions;
}

const CEffectCode* PanZoomTable(size_t& count)
{
    count = sizeof(kPanZooms) / sizeof(kPanZooms[0]);
    return kPanZooms;
}

int TransitionCodeOf(const char* name) { return CodeOf(kTransitions, name); }
const char* TransitionNameOf(int code) { return NameOf(kTransitions, code); }
int PanZoomCodeOf(const char* name) { return CodeOf(kPanZooms, name); }
const char* PanZoomNameOf(int code) { return NameOf(kPanZooms, code); }

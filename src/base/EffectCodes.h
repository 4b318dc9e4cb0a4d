// The numeric codes of transitions and pan-zoom motions with their names, as stored in
// project files (by name) and used by the renderer (by code). 999 stands for Auto (the
// renderer picks one), -1 for None.
#pragma once

#include <cstddef>
#include <string>

constexpr int kEffectAuto = 999;
constexpr int kEffectNone = -1;

struct CEffectCode {
    int code;
    const char* name;
};

// The transition table in its listing order, ending with -1 "None"; `count` receives
// the number of rows, "None" included.
const CEffectCode* TransitionTable(size_t& count);
// The pan-zoom table in its listing order, ending with -1 "None".
const CEffectCode* PanZoomTable(size_t& count);

// The code of the first transition whose name equals `name` ignoring letter case; -1
// when none does (so "None" and unknown names both give -1).
int TransitionCodeOf(const char* name);
// The name of the first transition with `code`; "None" when no row has it.
const char* TransitionNameOf(int code);

// The same two look-ups in the pan-zoom table.
int PanZoomCodeOf(const char* name);
const char* PanZoomNameOf(int code);

// The code look-ups for names held in strings.
inline int TransitionCodeOf(const std::string& name) { return TransitionCodeOf(name.c_str()); }
inline int PanZoomCodeOf(const std::string& name) { return PanZoomCodeOf(name.c_str()); }

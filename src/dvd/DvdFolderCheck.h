// Checks that a VIDEO_TS folder would play before it is made into a disc: its
// information files read as a player reads them, and every file they need is there, is
// a regular file, and has the size they give it. A disc made of a folder that fails
// here has no video behind its menus or titles, or addresses that point elsewhere.
#pragma once

#include <string>

// Checks the DVD-Video folder `folder` (the one holding VIDEO_TS.IFO):
// - VIDEO_TS.IFO and each VTS_nn_0.IFO it lists parse (see IfoReader.h) and have a BUP
//   with the same bytes (players fall back to the BUP when the IFO cannot be read, so a
//   missing or different one is refused as authoring programs refuse it);
// - each menu VOB the IFO files name, and the title VOBs VTS_nn_1.VOB ... numbered
//   without gaps, is a regular file, not empty, whole sectors, smaller than 1 GiB;
// - the title VOBs together have exactly the sectors the title set's IFO gives them, a
//   menu VOB fits in the room its IFO leaves it, and no cell lies past their end;
// - the title table's titles exist in their title sets and the title sets' start
//   sectors leave room for the files before them.
// Returns false at the first problem with a one-line `error` that names the file.
bool CheckDvdFolder(const std::string& folder, std::string& error);

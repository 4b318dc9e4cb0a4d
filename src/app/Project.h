// The slide-show project file (.osh): an INI file with a [General] section (ID,
// PhotoCount, MusicCount), one [PhotoN] section per photo (Path, WavePath, ShowingTime,
// TransitionTime, KenBurns, TransitionType) and one [MusicN] section per music file
// (Path). Effects are stored by name; relative paths are taken from the project
// file's own folder.
#pragma once

#include "base/Album.h"

#include <functional>
#include <string>
#include <vector>

// Measures a music file: its playing length in whole seconds, 0 when unknown.
using MusicLengthFn = std::function<int(const std::string& path)>;

// The playing length of a music file in whole seconds as the media decoder measures
// it; 0 when the file cannot be opened or its length is unknown.
int MeasureMusicSeconds(const std::string& path);

// The file name extension of project files.
constexpr const char* kProjectExtension = ".osh";

// Writes `album` to `path` as a project file. The file is built completely beside the
// target and then renamed over it, so a failure leaves any existing file intact.
// Returns false on failure, with a one-line description naming the file in `error`.
bool SaveProject(const CAlbum& album, const std::string& path, std::string* error = nullptr);

// Reads the project file `path` into `album`, replacing its photos and music, while a
// progress window ("Loading...", body "Photos") shows each photo path. Missing keys take
// their defaults; unknown effect names give -1 (None). Each music file is measured with
// `measure` (the media decoder unless told otherwise) and refused with the "Unable to
// determine the duration" message when its length is 0; an empty `measure` keeps every
// music file with length 0. Returns false, leaving
// `album` unchanged, when the file cannot be read, is not a Kestrova project (its
// [General] ID is not "OrvoPhotoShow") or claims an impossible number of entries;
// `error` then holds one line naming the file and the problem. A photo time that is not
// a whole number from 0 to 86400 is read as far as it goes and kept in that range, with
// one line in `notes` ("photo 3: ShowingTime \"-5\" is negative; 0 s is used").
bool LoadProject(CAlbum& album, const std::string& path, std::string* error = nullptr,
                 const MusicLengthFn& measure = MeasureMusicSeconds, std::vector<std::string>* notes = nullptr);

// `path` as the project file at `projectPath` means it: absolute paths, empty paths and
// the word "NONE" (any letter case) stay as they are; any other path is taken relative
// to the project file's folder.
std::string ResolveProjectPath(const std::string& path, const std::string& projectPath);

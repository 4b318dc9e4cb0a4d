// Opening the files the program reads: only regular files are opened, so that a FIFO,
// a device or a folder given as an input is refused at once with a line saying what it
// is, instead of blocking the program or feeding it bytes without end.
#pragma once

#include "base/File.h"

#include <cstdint>
#include <string>

// No size limit for OpenInputFile.
constexpr int64_t kAnyInputSize = -1;
// The largest text file (project, settings, language file) that is read whole.
constexpr int64_t kMaxTextFileBytes = int64_t(16) << 20;

// Opens `path` read-only when it is a regular file of at most `maxBytes` bytes
// (kAnyInputSize: any size). The open never blocks (a FIFO is refused before anyone
// writes to it). Returns the descriptor, with the file's size in `bytes` when given; an
// empty descriptor with a one-line "<path>: <what is wrong>" in `error` otherwise, errno
// being ENOENT when nothing has that name.
CFileDescriptor OpenInputFile(const std::string& path, std::string& error, int64_t maxBytes = kAnyInputSize,
                              int64_t* bytes = nullptr);

// As OpenInputFile, but `reason` gets only what is wrong ("no such file", "is a folder,
// not a file", ...), for messages that name the file in their own words.
CFileDescriptor OpenInputFileFor(const std::string& path, std::string& reason, int64_t maxBytes = kAnyInputSize,
                                 int64_t* bytes = nullptr);

// As OpenInputFile, as a C stream for reading ("rb").
FilePtr OpenInputStream(const std::string& path, std::string& error, int64_t maxBytes = kAnyInputSize,
                        int64_t* bytes = nullptr);

// Reads the whole regular file `path` of at most `maxBytes` bytes into `content`. False
// with a one-line `error` naming the file when it cannot be opened, is too large (also
// when it grew past the limit while being read) or cannot be read.
bool ReadInputFile(const std::string& path, int64_t maxBytes, std::string& content, std::string& error);

// "16 MB", "4 GB" or "1000 bytes": a size limit as messages show it.
std::string SizeLimitText(int64_t bytes);

// A slide-show album: the ordered photos, each with its showing time, transition,
// pan-zoom motion and optional narration, and the ordered background music files.
// Held by the slide-show window (or built by the command line), saved and loaded as a
// project file (app/Project.h) and handed to the slide-show source by the DVD job.
#pragma once

#include "base/EffectCodes.h"

#include <cstdint>
#include <string>
#include <vector>

struct CAlbumPhoto {
    std::string name;  // file name with extension, shown in lists
    int showSeconds = 5;  // time on screen before the transition starts
    int transitionSeconds = 2;  // length of the transition into the next photo
    int transitionType = kEffectAuto;  // transition table code
    int panZoomType = kEffectAuto;  // pan-zoom table code
    std::string narrationPath = "NONE";  // WAV spoken over the photo, or "NONE"
    std::string photoPath;  // the photo file
};

struct CAlbumMusic {
    std::string path;
    int seconds = 0;  // playing length in whole seconds
};

class CAlbum {
public:
    static constexpr size_t maxPhotos = 800;
    static constexpr size_t maxMusic = 99;

    virtual ~CAlbum() = default;

    // The entry a newly added photo gets: the defaults above, `name` the file name of
    // `photoPath`.
    static CAlbumPhoto NewPhoto(const std::string& photoPath);

    // Appends a new photo; returns false (adding nothing) once the album holds 800.
    bool AddPhoto(const std::string& photoPath);
    // Appends a music file with its length; returns false once the list holds 99.
    bool AddMusic(const std::string& path, int seconds);

    // Length of the show in seconds: every photo's showing plus transition time, the
    // last photo's transition included.
    int64_t TotalSeconds() const;
    // Sum of the music lengths in seconds.
    int64_t MusicSeconds() const;

    // "Total %d photos, total time: %s" (key 4200) filled with the photo count and the
    // show length as HH:MM:SS.
    std::string PhotoTotalsText() const;
    // "Total %d background musics, total music length: " (key 4201) filled with the
    // music count, followed by the music length as HH:MM:SS.
    std::string MusicTotalsText() const;

    void Clear();
    bool operator==(const CAlbum& other) const;

    std::vector<CAlbumPhoto> photos;
    std::vector<CAlbumMusic> music;
};

bool operator==(const CAlbumPhoto& a, const CAlbumPhoto& b);
bool operator==(const CAlbumMusic& a, const CAlbumMusic& b);

// A length in seconds as "HH:MM:SS" (hours keep counting past 99; negatives are 0).
std::string FormatSeconds(int64_t seconds);

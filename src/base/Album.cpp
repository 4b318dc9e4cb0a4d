#include "base/Album.h"

#include "base/Texts.h"

#include <cstdio>

CAlbumPhoto CAlbum::NewPhoto(const std::string& photoPath)
{
    CAlbumPhoto photo;
    size_t slash = photoPath.find_last_of('/');
    photo.name = slash == std::string::npos ? photoPath : photoPath.substr(slash + 1);
    photo.photoPath = photoPath;
    return photo;
}

bool CAlbum::AddPhoto(const std::string& photoPath)
{
    if (photos.size() >= maxPhotos) return false;
    photos.push_back(NewPhoto(photoPath));
    return true;
}

bool CAlbum::AddMusic(const std::string& path, int seconds)
{
    if (music.size() >= maxMusic) return false;
    music.push_back({path, seconds});
    return true;
}

int64_t CAlbum::TotalSeconds() const
{
    int64_t total = 0;
    for (const CAlbumPhoto& p : photos) total += int64_t(p.showSeconds) + p.transitionSeconds;
    return total;
}

int64_t CAlbum::MusicSeconds() const
{
    int64_t total = 0;
    for (const CAlbumMusic& m : music) total += m.seconds;
    return total;
}

std::string CAlbum::PhotoTotalsText() const
{
    return FormatText(Text(4200), {std::to_string(photos.size()), FormatSeconds(TotalSeconds())});
}

std::string CAlbum::MusicTotalsText() const
{
    return FormatText(Text(4201), {std::to_string(music.size())}) + FormatSeconds(MusicSeconds());
}

void CAlbum::Clear()
{
    photos.clear();
    music.clear();
}

bool CAlbum::operator==(const CAlbum& other) const { return photos == other.photos && music == other.music; }

bool operator==(const CAlbumPhoto& a, const CAlbumPhoto& b)
{
    return a.name == b.name && a.showSeconds == b.showSeconds && a.transitionSeconds == b.transitionSeconds &&
        a.transitionType == b.transitionType && a.panZoomType == b.panZoomType && a.narrationPath == b.narrationPath &&
        a.photoPath == b.photoPath;
}

bool operator==(const CAlbumMusic& a, const CAlbumMusic& b) { return a.path == b.path && a.seconds == b.seconds; }

std::string FormatSeconds(int64_t seconds)
{
    if (seconds < 0) seconds = 0;
    char text[32];
    std::snprintf(text, sizeof text, "%02lld:%02d:%02d", static_cast<long long>(seconds / 3600),
                  static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60));
    return text;
}

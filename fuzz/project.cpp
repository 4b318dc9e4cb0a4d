// Loading a slide-show project file of any content. The input is the project file.
// Checked for every input: a loaded album keeps its times within a day and at most 99
// music files, and an album that loads is saved and loaded again unchanged.
#include <string>

#include "MemoryFile.h"
#include "ScratchFolder.h"
#include "app/Project.h"

namespace {

// A stand-in for the media decoder: a length from the name alone, 0 (refused) for
// every fifth length of name, so that both the kept and the refused music are tried.
int FakeMusicSeconds(const std::string& path) { return int(path.size() % 5) * 60; }

bool PathsFitTheReader(const CAlbum& album)
{
    // The loader reads paths up to 4095 characters; a relative path near that length
    // grows by the project's folder, and a longer one cannot come back whole.
    for (const CAlbumPhoto& p : album.photos)
        if (p.photoPath.size() > 4000 || p.narrationPath.size() > 4000) return false;
    for (const CAlbumMusic& m : album.music)
        if (m.path.size() > 4000) return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CMemoryFile file(data, size);
    CAlbum album;
    album.AddMusic("before.mp3", 12);
    const CAlbum before = album;
    std::string error;
    if (!LoadProject(album, file.Path(), &error, FakeMusicSeconds)) {
        FUZZ_CHECK(!error.empty());
        FUZZ_CHECK(album == before);
        return 0;
    }
    FUZZ_CHECK(album.music.size() <= CAlbum::maxMusic);
    for (const CAlbumPhoto& p : album.photos) {
        FUZZ_CHECK(p.showSeconds >= 0 && p.showSeconds <= 86400);
        FUZZ_CHECK(p.transitionSeconds >= 0 && p.transitionSeconds <= 86400);
    }
    for (const CAlbumMusic& m : album.music) FUZZ_CHECK(m.seconds > 0);
    album.TotalSeconds();
    album.PhotoTotalsText();
    album.MusicTotalsText();

    // Saving writes every key into the lines held in memory, which takes time growing
    // with the square of the entries: the round trip is kept to albums a job can use.
    if (album.photos.size() > CAlbum::maxPhotos || !PathsFitTheReader(album)) return 0;
    const CScratchFolder folder;
    const std::string saved = folder.Path() + "album.osh";
    if (!SaveProject(album, saved, &error)) {
        // Only a path holding a line break is refused.
        FUZZ_CHECK(error.find("line break") != std::string::npos);
        return 0;
    }
    CAlbum again;
    FUZZ_CHECK(LoadProject(again, saved, &error, FakeMusicSeconds));
    FUZZ_CHECK(again == album);
    return 0;
}

// `kestrova project info FILE.osh` lists a slide-show project; `kestrova project create
// OUT.osh PHOTO...` writes one from photos and music files given on the command line.
#include "cli/Commands.h"

#include "app/Project.h"
#include "base/EffectCodes.h"
#include "base/InputFile.h"
#include "base/Texts.h"

#include <strings.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace {

const char* const kUsage =
    "Usage: kestrova project info FILE.osh\n"
    "       kestrova project create OUT.osh PHOTO... [--music FILE]... [--show SECONDS]\n"
    "                        [--transition SECONDS] [--effect NAME] [--motion NAME] [--force]\n"
    "       kestrova project effects\n"
    "\n"
    "info    lists the photos (showing time, transition time, transition and motion,\n"
    "        narration), the background music and the totals of a project file.\n"
    "create  writes a project file with the photos in the order given and every\n"
    "        --music file; each photo gets the same settings:\n"
    "  --show SECONDS        time each photo is shown (default 5)\n"
    "  --transition SECONDS  length of each transition (default 2)\n"
    "  --effect NAME         transition into the next photo (default Auto; None for none)\n"
    "  --motion NAME         pan-and-zoom motion (default Auto; None for none)\n"
    "  --force               replace OUT.osh when it exists\n"
    "effects lists the transition and motion names.\n"
    "Names are matched ignoring letter case.\n";

std::string Quoted(const std::string& s) { return "'" + s + "'"; }

int Info(const CArgs& args)
{
    if (args.positional.size() != 2) return Fail("project info needs one project file (see kestrova project --help)");
    const std::string& path = args.positional[1];
    CAlbum album;
    std::string error;
    if (!LoadProject(album, path, &error)) return Fail(error);

    std::printf("Project: %s\n\nPhotos:\n", path.c_str());
    for (size_t i = 0; i < album.photos.size(); ++i) {
        const CAlbumPhoto& p = album.photos[i];
        std::printf(
            "%4zu  %s\n      show %s, transition %s %s, motion %s, narration %s\n"
            "      %s\n",
            i + 1, p.name.empty() ? "(no file)" : p.name.c_str(), FormatSeconds(p.showSeconds).c_str(),
            FormatSeconds(p.transitionSeconds).c_str(), TransitionNameOf(p.transitionType),
            PanZoomNameOf(p.panZoomType), p.narrationPath.c_str(), p.photoPath.c_str());
    }
    if (album.photos.empty()) std::printf("      (none)\n");
    std::printf("\nBackground music:\n");
    for (size_t j = 0; j < album.music.size(); ++j)
        std::printf("%4zu  %s  %s\n", j + 1, FormatSeconds(album.music[j].seconds).c_str(),
                    album.music[j].path.c_str());
    if (album.music.empty()) std::printf("      (none)\n");
    std::printf("\n%s\n%s\n", album.PhotoTotalsText().c_str(), album.MusicTotalsText().c_str());
    return 0;
}

// Whole seconds from an option value; false unless it is a plain number in range.
bool ParseSeconds(const std::string& text, int low, int& out)
{
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return false;
    errno = 0;
    long v = std::strtol(text.c_str(), nullptr, 10);
    if (errno || v < low || v > 86400) return false;
    out = static_cast<int>(v);
    return true;
}

std::string NameList(const CEffectCode* rows, size_t count)
{
    std::string list;
    for (size_t i = 0; i < count; ++i) list += (i ? ", " : "") + std::string(rows[i].name);
    return list;
}

// The code for an effect option: the table's code, or false for an unknown name.
bool EffectOption(const std::string& name, int (*codeOf)(const char*), int& code)
{
    code = codeOf(name.c_str());
    return code != kEffectNone || strcasecmp(name.c_str(), "None") == 0;
}

// A readable file, or a one-line description of what is wrong with it.
bool CheckInputFile(const std::string& what, const std::string& path, std::string& error)
{
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) {
        error = what + " " + Quoted(path) + " does not exist";
        return false;
    }
    if (!std::filesystem::is_regular_file(path, ec)) {
        error = what + " " + Quoted(path) + " is not a file";
        return false;
    }
    std::string reason;
    if (!OpenInputFileFor(path, reason)) {
        error = "cannot read " + what + " " + Quoted(path) + ": " + reason;
        return false;
    }
    return true;
}

std::string Absolute(const std::string& path)
{
    std::error_code ec;
    std::filesystem::path abs = std::filesystem::absolute(path, ec);
    return ec ? path : abs.lexically_normal().string();
}

int Create(const CArgs& args)
{
    if (args.positional.size() < 3)
        return Fail("project create needs an output file and at least one photo (see kestrova project --help)");
    std::string out = args.positional[1];
    if (std::filesystem::path(out).extension().empty()) out += kProjectExtension;

    int show = 5, transition = 2, effect = kEffectAuto, motion = kEffectAuto;
    size_t count = 0;
    if (args.Has("--show") && !ParseSeconds(args.Get("--show"), 1, show))
        return Fail("--show needs a whole number of seconds from 1 to 86400, not " + Quoted(args.Get("--show")));
    if (args.Has("--transition") && !ParseSeconds(args.Get("--transition"), 0, transition))
        return Fail("--transition needs a whole number of seconds from 0 to 86400, not " +
                    Quoted(args.Get("--transition")));
    if (args.Has("--effect") && !EffectOption(args.Get("--effect"), TransitionCodeOf, effect)) {
        const CEffectCode* rows = TransitionTable(count);
        return Fail("unknown transition " + Quoted(args.Get("--effect")) + "; choose one of " + NameList(rows, count));
    }
    if (args.Has("--motion") && !EffectOption(args.Get("--motion"), PanZoomCodeOf, motion)) {
        const CEffectCode* rows = PanZoomTable(count);
        return Fail("unknown motion " + Quoted(args.Get("--motion")) + "; choose one of " + NameList(rows, count));
    }

    CAlbum album;
    std::string error;
    for (size_t i = 2; i < args.positional.size(); ++i) {
        const std::string& photo = args.positional[i];
        if (!CheckInputFile("photo", photo, error)) return Fail(error);
        if (!album.AddPhoto(Absolute(photo))) {
            std::fprintf(stderr, "kestrova: an album holds at most %zu photos; %zu were left out\n", CAlbum::maxPhotos,
                         args.positional.size() - i);
            break;
        }
        CAlbumPhoto& p = album.photos.back();
        p.showSeconds = show;
        p.transitionSeconds = transition;
        p.transitionType = effect;
        p.panZoomType = motion;
    }
    const std::vector<std::string> music = args.GetAll("--music");
    for (size_t j = 0; j < music.size(); ++j) {
        if (!CheckInputFile("music file", music[j], error)) return Fail(error);
        // As when music is added in the window: a file without a length is refused.
        const int seconds = MeasureMusicSeconds(music[j]);
        if (seconds <= 0) return Fail(FormatText(Text(4301), {Quoted(music[j])}));
        if (!album.AddMusic(Absolute(music[j]), seconds)) {
            std::fprintf(stderr, "kestrova: an album holds at most %zu music files; %zu were left out\n",
                         CAlbum::maxMusic, music.size() - j);
            break;
        }
    }

    std::error_code ec;
    if (std::filesystem::exists(out, ec) && !args.Has("--force"))
        return Fail(Quoted(out) + " already exists (use --force to replace it)");
    if (!SaveProject(album, out, &error)) return Fail(error);
    std::printf("Wrote %s: %zu photos, %zu music files\n", out.c_str(), album.photos.size(), album.music.size());
    return 0;
}

int Effects()
{
    size_t count = 0;
    const CEffectCode* rows = TransitionTable(count);
    std::printf("Transitions (--effect):\n");
    for (size_t i = 0; i < count; ++i) std::printf("  %s\n", rows[i].name);
    rows = PanZoomTable(count);
    std::printf("Motions (--motion):\n");
    for (size_t i = 0; i < count; ++i) std::printf("  %s\n", rows[i].name);
    return 0;
}

int RunProject(const CArgs& args)
{
    const std::string what = args.positional.empty() ? "" : args.positional[0];
    if (what == "info") return Info(args);
    if (what == "create") return Create(args);
    if (what == "effects") return Effects();
    if (what.empty()) return Fail("project needs info, create or effects (see kestrova project --help)");
    return Fail("unknown project command " + Quoted(what) + " (see kestrova project --help)");
}

CCommandRegistrar registrar(CCommand{"project",
                                     "list or create a slide-show project file (.osh)",
                                     kUsage,
                                     {"--music", "--show", "--transition", "--effect", "--motion"},
                                     RunProject});

}  // namespace

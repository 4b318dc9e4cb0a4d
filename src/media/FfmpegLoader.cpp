#include "media/FfmpegLoader.h"

#include <cstdlib>
#include <mutex>
#include <type_traits>

#include <dlfcn.h>

// The sonames come from the build: the major versions pkg-config reported for the
// headers the program is compiled with.
#ifndef KESTROVA_SONAME_AVUTIL
#error "KESTROVA_SONAME_AVUTIL and its siblings are defined by the build"
#endif

namespace {

std::string LoaderReason()
{
    const char* why = dlerror();
    return why ? why : "unknown reason";
}

}  // namespace

CFfmpegLoader::CFfmpegLoader()
{
    for (int i = 0; i < int(FfmpegLibrary::count); ++i) sonames[i] = DefaultSoname(FfmpegLibrary(i));
}

CFfmpegLoader::~CFfmpegLoader() { Unload(); }

const char* CFfmpegLoader::DefaultSoname(FfmpegLibrary library)
{
    switch (library) {
    case FfmpegLibrary::avutil:
        return KESTROVA_SONAME_AVUTIL;
    case FfmpegLibrary::swresample:
        return KESTROVA_SONAME_SWRESAMPLE;
    case FfmpegLibrary::swscale:
        return KESTROVA_SONAME_SWSCALE;
    case FfmpegLibrary::avcodec:
        return KESTROVA_SONAME_AVCODEC;
    case FfmpegLibrary::avformat:
        return KESTROVA_SONAME_AVFORMAT;
    case FfmpegLibrary::count:
        break;
    }
    return "";
}

void CFfmpegLoader::SetSoname(FfmpegLibrary library, const std::string& soname)
{
    if (library != FfmpegLibrary::count) sonames[int(library)] = soname;
}

const std::string& CFfmpegLoader::Soname(FfmpegLibrary library) const
{
    static const std::string none;
    return library == FfmpegLibrary::count ? none : sonames[int(library)];
}

bool CFfmpegLoader::Load()
{
    Unload();
    error.clear();
    for (int i = 0; i < int(FfmpegLibrary::count); ++i) {
        dlerror();
        // RTLD_NODELETE: FFmpeg and the libraries it pulls in (fonts, ICU, OpenMP…) are
        // not made to be unloaded; their own allocations would dangle if they were.
        handles[i] = dlopen(sonames[i].c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
        if (!handles[i]) {
            error = "The FFmpeg library " + sonames[i] + " could not be loaded (" + LoaderReason() + ").";
            Unload();
            return false;
        }
    }
    // Each pointer is taken from the library that exports the function, so that a
    // function of the wrong library (or a wrong file under a library's name) is noticed.
    const auto resolve = [this](FfmpegLibrary library, const char* name, auto& pointer) {
        if (!error.empty()) return;
        dlerror();
        void* symbol = dlsym(handles[int(library)], name);
        if (!symbol) {
            error = "The FFmpeg library " + sonames[int(library)] + " has no function " + name + " (" + LoaderReason() +
                ").";
            return;
        }
        pointer = reinterpret_cast<std::remove_reference_t<decltype(pointer)>>(symbol);
    };
#define KESTROVA_FFMPEG_RESOLVE(library, name) resolve(FfmpegLibrary::library, #name, name);
    KESTROVA_FFMPEG_FUNCTIONS(KESTROVA_FFMPEG_RESOLVE)
#undef KESTROVA_FFMPEG_RESOLVE
    if (!error.empty()) {
        Unload();
        return false;
    }
    return true;
}

void CFfmpegLoader::Unload()
{
    // No pointer may outlive its library: a failed load leaves an empty table.
#define KESTROVA_FFMPEG_CLEAR(library, name) name = nullptr;
    KESTROVA_FFMPEG_FUNCTIONS(KESTROVA_FFMPEG_CLEAR)
#undef KESTROVA_FFMPEG_CLEAR
    for (int i = int(FfmpegLibrary::count) - 1; i >= 0; --i) {
        if (handles[i]) dlclose(handles[i]);
        handles[i] = nullptr;
    }
}

namespace {

struct ProgramLoader {
    std::once_flag once;
    // Never destroyed: decoding threads and static destructors may use FFmpeg until
    // the process ends.
    CFfmpegLoader* loader = nullptr;
    bool loaded = false;
};

ProgramLoader& Program()
{
    static ProgramLoader program;
    std::call_once(program.once, [] {
        program.loader = new CFfmpegLoader;
        const char* folder = std::getenv("KESTROVA_FFMPEG_LIBDIR");
        if (folder && *folder) {
            std::string prefix = folder;
            if (prefix.back() != '/') prefix += '/';
            for (int i = 0; i < int(FfmpegLibrary::count); ++i) {
                const FfmpegLibrary library = FfmpegLibrary(i);
                program.loader->SetSoname(library, prefix + CFfmpegLoader::DefaultSoname(library));
            }
        }
        program.loaded = program.loader->Load();
    });
    return program;
}

}  // namespace

bool FfmpegAvailable(std::string* error)
{
    ProgramLoader& program = Program();
    if (error) *error = program.loader->Error();
    return program.loaded;
}

const CFfmpegLoader& ff() { return *Program().loader; }

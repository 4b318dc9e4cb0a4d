// FFmpeg's libraries are opened when media is first decoded, not when the program
// starts: linked in, they (and the hundred-odd libraries they pull in) cost every run
// tens of milliseconds before main(), also runs that never touch a media file (disc
// images, project files, --version).
//
// Every FFmpeg function the program calls is a pointer in CFfmpegLoader, resolved by
// dlopen/dlsym. Call sites read `ff().av_read_frame(...)`, so that it is plain which
// calls go through the loader. Code that opens media first asks FfmpegAvailable() and
// fails like an unreadable file (with the loader's message) when it answers false;
// ff() may be used only after that.
//
// The headers are still FFmpeg's own: the pointer types are taken from the declared
// functions, so a signature can never be copied wrongly. Header inline functions that
// call into the libraries (av_err2str, av_make_error_string, ...) must not be used.
#pragma once

#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
#include <libavutil/channel_layout.h>
#include <libavutil/dict.h>
#include <libavutil/frame.h>
#include <libavutil/log.h>
#include <libavutil/mathematics.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

// The FFmpeg libraries, in the order they are opened (each after those it needs).
enum class FfmpegLibrary { avutil, swresample, swscale, avcodec, avformat, count };

// Every FFmpeg function the program calls, with the library that exports it.
#define KESTROVA_FFMPEG_FUNCTIONS(X)          \
    X(avutil, avutil_version)                 \
    X(avutil, av_version_info)                \
    X(avutil, av_log_set_level)               \
    X(avutil, av_rescale_q)                   \
    X(avutil, av_get_media_type_string)       \
    X(avutil, av_frame_alloc)                 \
    X(avutil, av_frame_free)                  \
    X(avutil, av_frame_unref)                 \
    X(avutil, av_frame_ref)                   \
    X(avutil, av_frame_get_buffer)            \
    X(avutil, av_channel_layout_default)      \
    X(avutil, av_channel_layout_copy)         \
    X(avutil, av_channel_layout_uninit)       \
    X(avutil, av_dict_set)                    \
    X(avutil, av_dict_free)                   \
    X(avutil, av_malloc)                      \
    X(avutil, av_free)                        \
    X(swresample, swresample_version)         \
    X(swresample, swr_alloc_set_opts2)        \
    X(swresample, swr_init)                   \
    X(swresample, swr_free)                   \
    X(swresample, swr_get_delay)              \
    X(swresample, swr_convert)                \
    X(swscale, swscale_version)               \
    X(swscale, sws_getCachedContext)          \
    X(swscale, sws_scale)                     \
    X(swscale, sws_freeContext)               \
    X(avcodec, avcodec_version)               \
    X(avcodec, avcodec_find_decoder)          \
    X(avcodec, avcodec_alloc_context3)        \
    X(avcodec, avcodec_parameters_to_context) \
    X(avcodec, avcodec_open2)                 \
    X(avcodec, avcodec_free_context)          \
    X(avcodec, avcodec_flush_buffers)         \
    X(avcodec, avcodec_send_packet)           \
    X(avcodec, avcodec_receive_frame)         \
    X(avcodec, avcodec_decode_subtitle2)      \
    X(avcodec, avsubtitle_free)               \
    X(avcodec, avcodec_get_name)              \
    X(avcodec, av_packet_alloc)               \
    X(avcodec, av_packet_free)                \
    X(avcodec, av_packet_unref)               \
    X(avformat, avformat_version)             \
    X(avformat, av_find_input_format)         \
    X(avformat, avformat_open_input)          \
    X(avformat, avformat_find_stream_info)    \
    X(avformat, avformat_close_input)         \
    X(avformat, avformat_seek_file)           \
    X(avformat, av_seek_frame)                \
    X(avformat, av_read_frame)                \
    X(avformat, avformat_alloc_context)       \
    X(avformat, avio_alloc_context)           \
    X(avformat, avio_context_free)

class CFfmpegLoader {
public:
    // A loader for the libraries the program was built against (see DefaultSoname).
    CFfmpegLoader();
    // Closes the libraries this loader opened. The program's own loader (ff()) lives
    // for the whole run and is never destroyed.
    ~CFfmpegLoader();
    CFfmpegLoader(const CFfmpegLoader&) = delete;
    CFfmpegLoader& operator=(const CFfmpegLoader&) = delete;

    // The file name the dynamic loader knows `library` by, e.g. "libavcodec.so.59",
    // with the major version of the headers the program was built with.
    static const char* DefaultSoname(FfmpegLibrary library);

    // Loads `library` from `soname` instead (a file name or a path); for use before Load.
    void SetSoname(FfmpegLibrary library, const std::string& soname);
    // The file name `library` is loaded from.
    const std::string& Soname(FfmpegLibrary library) const;

    // Opens every library and resolves every function. Returns true when all were
    // found; otherwise every pointer stays null and Error() names the library (and
    // function) and gives the dynamic loader's reason. Call once per loader.
    bool Load();
    // Why Load failed; empty after a successful one.
    const std::string& Error() const { return error; }

    // The function table: FFmpeg's functions under their own names.
#define KESTROVA_FFMPEG_POINTER(library, name) decltype(&::name) name = nullptr;
    KESTROVA_FFMPEG_FUNCTIONS(KESTROVA_FFMPEG_POINTER)
#undef KESTROVA_FFMPEG_POINTER

private:
    void Unload();

    std::string sonames[int(FfmpegLibrary::count)];
    void* handles[int(FfmpegLibrary::count)] = {};
    std::string error;
};

// Loads FFmpeg for the whole run the first time it is asked, from any thread (later
// calls wait for the first and give its answer). Returns true when FFmpeg can be used;
// otherwise, when `error` is given, it receives the loader's message. The environment
// variable KESTROVA_FFMPEG_LIBDIR, when set, names the folder to load the libraries
// from instead of the system's search path.
bool FfmpegAvailable(std::string* error = nullptr);

// The program's function table. Only valid after FfmpegAvailable() returned true:
// the pointers are null otherwise.
const CFfmpegLoader& ff();

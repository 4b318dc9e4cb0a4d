// CSlideShowJob: the "Create DVD" job of the slide-show window. It checks and clears the
// DVD folder, derives the output settings from the album and the chosen format, fills a
// slide-show source and lets the title builder encode, multiplex and write one video
// title set plus VIDEO_TS.IFO/.BUP; then it plays "done.wav" and offers to burn.
//
// The job talks to the person only through the user-interface port it is given, so the
// desktop window, the command line and the tests all run it unchanged.
#pragma once

#include "base/Album.h"
#include "base/DVDParams.h"
#include "base/UiPort.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class CDebugger;
class CPhotoSlideSource;

class CSlideShowJob {
public:
    // The job asks its questions and shows its progress through `ui`, which must outlive
    // it (the command line's default port unless one is given).
    explicit CSlideShowJob(CUiPort& ui_ = Ui()) : ui(ui_) {}

    enum class Result {
        Done,  // the title set and VIDEO_TS.IFO/.BUP were written
        Cancelled,  // the person cancelled; the pictures coded so far form a complete title
        Declined,  // the person did not want to replace the DVD already in the folder
        NotWritable,  // a file of the folder could not be created; nothing was deleted
        EmptyAlbum,  // the album has no photo (or names no file); nothing was touched
        TooLong,  // the show does not fit the disc size; nothing was touched
        Refused,  // the chosen title set cannot be reached (an earlier one is missing), or
        // the folder holds one of the show's own files among those replaced
        Failed,  // the title set could not be finished (reported through the port); the
        // folder was left as it was
        Busy,  // another job is writing into the folder; nothing was touched
    };

    // One planned cell in whole seconds of the show; `end` is -1 for the open last cell.
    struct CellSpan {
        int start;
        int end;
    };

    static constexpr double maxSlideShowBitRate = 6500000.0;
    // The least video bit rate a show may be given to fit the disc; below it the
    // pictures would fall apart, so the job is refused before anything is encoded.
    static constexpr double minSlideShowBitRate = 500000.0;
    static constexpr int cellSeconds = 120;
    static constexpr int maxCells = 255;
    static constexpr int maxTitleSetNumber = 99;

    // Inputs, as the slide-show window (or the command line) chose them.
    CAlbum album;
    std::string dvdFolder;  // the VIDEO_TS folder ("/" added; empty: ~/TempDVD/VIDEO_TS/)
    int resolution = 0;  // 0 High, 1 Medium, other Low
    bool wide = false;  // 16:9 instead of 4:3
    bool pal = false;  // PAL instead of NTSC
    int compressAudio = 1;  // 1 Layer II, 0 linear PCM
    int startingFootage = 1;  // number of the title set written, 1..99
    std::string discSizeText = "4700000000";
    std::string intraMatrixText = "Default";
    std::string interMatrixText = kDefaultInterMatrix;
    bool highQuality = false;  // the video encoder's high-quality mode
    double fixedVideoBitRate = 0;  // > 0: this video rate instead of the fitted one
    std::string soundFolder;  // folder holding "done.wav"; empty: no sound
    std::string projectFile;  // the project the album was loaded from, "" when none
    // Called with each warning line of a run as it is found (photos left out, photos
    // shown black); the lines also go into the diagnostic log. Unset: the log only.
    std::function<void(const std::string& line)> onNote;
    // Called when the person answers Yes to the ready-to-burn question, with the DVD
    // folder. Unset: the answer is noted and nothing else happens.
    std::function<void(const std::string& folder)> openBurnWindow;

    // Runs the whole job: an album that names no photo and a show too long for the
    // disc (CheckShowFits) are refused before anything else; then the lock on the folder
    // (refused while another job writes into it), the checks of the folder (ask before
    // replacing a DVD, make sure every file can be written, refuse a title set that could
    // never be reached and an input among the files replaced), PrepareParams and
    // RunSlideShowJob into a new version of the folder beside it, which then takes the
    // folder's place with title sets startingFootage..99 and VIDEO_TS.* replaced (also
    // after a cancel; after a failure the old folder stays as it was), then "done.wav"
    // and the ready-to-burn question when a title set was written. Returns what happened.
    Result CreateDvd();

    // The files the show is made of: the project file (when set), the photos the job
    // uses, their narrations and the music.
    std::vector<std::string> InputFiles() const;
    // The input that `output` is the same file as (by any name), "" when none: an output
    // at that name would destroy it.
    std::string InputAt(const std::string& output) const;

    // Fills `params` from the album and the inputs: one title of the show's length,
    // the audio kind, the picture format, the fitted bit rate capped for slide shows,
    // the DVD folder and the job name.
    void PrepareParams();

    // The album's slide show as the title is made of it, from `params` (PrepareParams):
    // the first 800 photos with their times taken between 0 and one day, their
    // narrations (none for an empty path or "none"), the music, and the audio timeline
    // built for Layer II or linear PCM as params.compressAudio says. Null with
    // Error() set when the renderer cannot be set up. Every output of a show (the
    // DVD title, its elementary streams, its frames) is made from this one.
    std::unique_ptr<CPhotoSlideSource> BuildShow();

    // The slide-show source of `album` as every show is made of it, at `width` x
    // `height` pictures and `frameRate` (the DVD's rate for the title, 20 for the
    // preview): the first 800 photos with their times taken between 0 and one day,
    // their narrations, the music and the audio timeline, `compressAudio` copied. Null
    // with `error` set when the renderer cannot be set up for that size.
    static std::unique_ptr<CPhotoSlideSource> BuildSource(const CAlbum& album, int width, int height, double frameRate,
                                                          bool compressAudio, std::string& error);

    // True when the album gives no show: no photo, or no photo that names a file (a
    // project whose photo sections are missing).
    static bool AlbumIsEmpty(const CAlbum& album);

    // False with Error() set, saying how long the show is, what video bit rate the disc
    // size leaves it and what disc size it would need, when that rate is below
    // minSlideShowBitRate. Uses `params` (PrepareParams).
    bool CheckShowFits();

    // Starts the diagnostic log (dvdlog.txt in the state folder, emptied) for this job's
    // notes when the program has none open, as on the command line; otherwise the
    // program's log takes them.
    void OpenLog();

    // Looks at the album as the show uses it, from `params` (PrepareParams): a line for
    // the photos past the 800 a show holds, and "photo N: FILE: reason; shown black" for
    // every photo that cannot be decoded (each one is decoded at the frame size). Sets
    // photosLeftOut and photosShownBlack, writes each line into the diagnostic log and
    // hands it to onNote. Returns the lines.
    std::vector<std::string> ReportAlbum();

    // Builds the slide-show source from the album and writes title set
    // `startingFootage` into the DVD folder with `params`. Reports an empty album with
    // message 4302. Returns Done, Cancelled, EmptyAlbum or Failed.
    Result RunSlideShowJob();

    // The cells of a show of `totalSeconds`: [0,120), [120,240) ... up to the first
    // boundary at or after the end, then one open cell from that boundary; at most 255.
    static std::vector<CellSpan> CellPlan(int totalSeconds);
    // Lowers `params.videoBitRate` to the slide-show ceiling of 6,500,000 bit/s.
    static void CapBitRate(CDVDParams& params);
    // Seconds of the show: showing plus transition time of every photo the job uses
    // (the first 800), each time taken between 0 and one day.
    static int32_t ShowSeconds(const CAlbum& album);
    // "<folder>VTS_nn_k.VOB", "<folder>VTS_nn_0.IFO", "<folder>VTS_nn_0.BUP".
    static std::string VobName(const std::string& folder, int titleSet, int part);
    static std::string IfoName(const std::string& folder, int titleSet);
    static std::string BupName(const std::string& folder, int titleSet);

    // Results of the last run.
    CDVDParams params;  // the settings handed to the encoders
    int64_t framesCoded = 0;  // pictures in the written title
    int64_t framesPlanned = 0;  // pictures the whole show has
    int photosShownBlack = 0;  // photos that could not be decoded (ReportAlbum)
    int photosLeftOut = 0;  // photos past the 800 a show holds (ReportAlbum)
    // One line for the last failure, naming the file.
    const std::string& Error() const { return error; }
    // The port the job reports through.
    CUiPort& Port() const { return ui; }

private:
    CUiPort& ui;
    std::string error;
    std::shared_ptr<CDebugger> ownLog;  // OpenLog's log, when the program had none; copies share it
};

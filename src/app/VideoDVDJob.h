// CVideoDVDJob: the "Convert video files to DVDs" job without its window. It keeps the
// media list (one row per file: duration, sound kind, range, picture size; at most 50)
// and the subtitle list beside it, and makes the DVD: one title set per row, in order,
// from startingFootage on, each encoded from its range of the file — or, for a
// slide-show project (.osh), rendered as that project's slide show.
//
// Like the slide-show job it talks to the person only through its user-interface port,
// and it writes into a new version of the DVD folder that takes the old one's place
// only when every title set is complete.
#pragma once

#include "base/DVDParams.h"
#include "base/UiPort.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class CDebugger;

class CVideoDVDJob {
public:
    static constexpr int maxRows = 50;
    // The least video bit rate the rows may be given to fit the disc; below it the
    // pictures fall apart, so the job is refused before anything is encoded.
    static constexpr double minVideoBitRate = 500000.0;
    static constexpr double maxSlideShowBitRate = 6500000.0;

    // One row of the media list.
    struct SRow {
        std::string path;
        double duration = 0;  // seconds of the source (as measured, not rounded)
        std::string audioType;  // "AC3", "PCM" or "No Audio"
        double start = 0;  // the range, in seconds of the source
        double end = 0;
        std::string size;  // "%dx%d", a single space for slide-show projects
        bool isProject = false;

        // Seconds the row's title lasts (its range; 0 when empty).
        double Seconds() const { return end > start ? end - start : 0.0; }
    };

    enum class Result {
        Done,  // every title set and VIDEO_TS.IFO/.BUP were written
        Cancelled,  // the person cancelled: the titles made so far form the DVD
        Declined,  // the person kept the DVD already in the folder
        NotWritable,  // a file of the folder could not be created; nothing was changed
        Empty,  // no row with a range to make
        TooLong,  // the rows do not fit the disc size; nothing was touched
        Refused,  // a title set cannot be reached, or an input would be replaced
        Failed,  // a title could not be made (reported); the folder was left as it was
        Busy,  // another job is writing into the folder; nothing was touched
    };

    explicit CVideoDVDJob(CUiPort& ui_ = Ui()) : ui(ui_) {}

    // Probes `path` and appends its row (range: the whole file) unless the list is full.
    // A file that cannot be opened or has no length is refused with message 3200 or
    // 3201 naming it (shown through the port, kept in Error()); returns false then, and
    // also when the list already has 50 rows (silently).
    bool AddMedia(const std::string& path);
    // Appends a subtitle file unless the list has 50 already; false when it is full.
    bool AddSubtitle(const std::string& path);
    // Gives media row `index` the subtitle file `path` (SubRip text, or VobSub .sub with
    // its .idx), as subtitle row `index` of the list (rows before it without one stay
    // empty). The file is read first: false, with Error() naming it and the problem,
    // when it holds no subtitle the title could show.
    bool SetRowSubtitle(int index, const std::string& path);
    // Removes the rows at `indices` (any order; out-of-range ones are ignored) and the
    // subtitle rows of the same numbers, so every later subtitle stays with its video.
    void RemoveRows(std::vector<int> indices);
    // Moves the rows at `indices` (kept in their order) to stand before the row that is
    // now at `insertAt` (the number of rows: to the end), each with its subtitle row (the
    // subtitle list is padded with empty rows as needed). Returns the new position of the
    // first row moved, -1 when `indices` names no row.
    int MoveRows(std::vector<int> indices, int insertAt);
    // Takes the subtitle rows at `indices` off their videos: each becomes empty, so the
    // rows after it keep belonging to their videos; empty rows at the end are dropped.
    void RemoveSubtitles(std::vector<int> indices);
    // Looks for the subtitle file beside media row `index` (AssociatedSubtitle); when
    // there is one, asks whether to use it (3221) and on Yes gives it to the row. A file
    // that cannot be read is reported by name. Returns the file given, or empty.
    std::string OfferAssociatedSubtitle(int index);
    // Sets row `index`'s range as the range dialog does: an end of 0 becomes 1, a start
    // not before the end becomes end - 1 (never below 0).
    void SetRange(int index, double start, double end);
    // Sets row `index`'s range from the whole seconds the range dialog shows: a time left
    // as the list shows it keeps its exact value (so a range to the end of the file stays
    // to its very end); then the rules of SetRange apply.
    void SetShownRange(int index, int64_t start, int64_t end);
    // The sum of the rows' positive ranges, in seconds.
    double TotalSeconds() const;

    const std::vector<SRow>& Rows() const { return rows; }
    const std::vector<std::string>& Subtitles() const { return subtitles; }

    // One group of the Add Media chooser: its text's key and its patterns ("*.avi;*.asf").
    struct SFilterGroup {
        int key;
        const char* patterns;
    };
    // The twelve groups of the Add Media chooser, in order; the last ("All Files") takes
    // any file, since every file is tried with the media decoder.
    static const std::vector<SFilterGroup>& MediaFilterGroups();
    // The subtitle chooser's patterns.
    static constexpr const char* kSubtitlePatterns = "*.srt;*.sub;*.srt.txt";

    // Whole seconds as "HH:MM:SS" (hours past 99 keep their digits).
    static std::string TimeText(double seconds);
    // A time text read back as the list does: hours from characters 0-1, minutes from
    // 3-4, seconds from 6-7. Returns -1 when the text is not of that form.
    static int64_t ParseTimeText(const std::string& text);
    // A time as a person types it: "HH:MM:SS", "MM:SS" or seconds (decimals allowed).
    // Returns -1 when it is neither.
    static double ParseTime(const std::string& text);
    // The files a drop of `items` adds: each folder searched through (names starting
    // with "." skipped), every file kept whose extension is a video one the window
    // takes on a drop (.avi .wmv .asf .mov .rm .rmvb .mpg .mpeg, any case), in order.
    static std::vector<std::string> DroppedFiles(const std::vector<std::string>& items);
    // The subtitle file beside `mediaPath` (same folder and name, ending .srt, .srt.txt
    // or .sub, tried in that order); empty when there is none.
    static std::string AssociatedSubtitle(const std::string& mediaPath);

    // Settings, as the window (or the command line) chose them.
    std::string dvdFolder;  // the VIDEO_TS folder ("/" added; empty: ~/TempDVD/VIDEO_TS/)
    int resolution = 0;  // 0 High, 1 Medium, other Low
    bool wide = false;  // 16:9 for sources that are not wide themselves
    bool pal = false;
    int compressAudio = 1;  // 1 Layer II, 0 linear PCM (AC-3 sources keep AC-3)
    int startingFootage = 1;  // number of the first title set, 1..99
    double audioDelay = 0;  // seconds the sound is moved later
    double videoDelay = 0;  // seconds the pictures are moved later
    bool flip = false;  // turn every picture upside down
    std::string discSizeText = "4700000000";
    std::string intraMatrixText = "Default";
    std::string interMatrixText;  // empty: the default
    bool highQuality = false;  // the video encoder's high-quality mode
    std::string soundFolder;  // folder holding "done.wav"; empty: no sound
    // Each warning line of a run as it is found (a slide show's photos left out, ...).
    std::function<void(const std::string& line)> onNote;
    // Called with the DVD folder when the person wants to burn it.
    std::function<void(const std::string& folder)> openBurnWindow;
    // Called before each title is made: its row, title set number and how many rows.
    std::function<void(int row, int titleSet, int rows)> onTitle;

    // Starts the diagnostic log (dvdlog.txt in the state folder, emptied) for this job's
    // files and notes when the program has none open, as on the command line.
    void OpenLog();

    // Fills `params` from the rows and settings: one title per row with its range and
    // sound kind, the picture format, the video bit rate fitted to the disc.
    void PrepareParams();
    // Makes the DVD (see the class comment). Returns what happened.
    Result CreateDvd();

    // Results of the last run.
    CDVDParams params;
    std::vector<int64_t> framesCoded;  // per row; 0 for rows not made
    int titleSetsWritten = 0;
    const std::string& Error() const { return error; }
    CUiPort& Port() const { return ui; }

private:
    // The files the DVD is made of: every row's file (a project's photos, narrations and
    // music too) and every subtitle file.
    std::vector<std::string> InputFiles() const;
    // The rows that make titles, in order.
    std::vector<int> RowsToMake() const;
    bool CheckFits();
    // Drops the empty subtitle rows at the end of the list.
    void TrimSubtitles();
    Result MakeTitles(const std::string& folder);
    // A warning line for the diagnostic log and onNote.
    void Note(const std::string& line);
    bool MakeSlideShowTitle(const SRow& row, int titleSet, const std::string& folder, int64_t& frames, bool& cancelled);

    CUiPort& ui;
    std::shared_ptr<CDebugger> ownLog;  // OpenLog's log, when the program had none
    std::vector<SRow> rows;
    std::vector<std::string> subtitles;
    std::string error;
};

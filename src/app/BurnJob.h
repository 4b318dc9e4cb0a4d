// The burn job: writes a DVD-Video disc from a VIDEO_TS folder (its UDF/ISO 9660 bridge
// image made on the fly, without a temporary file) or from an ISO image file, through
// the selected recorder of a recorder list, once per copy: load, prepare, write in
// 16-sector blocks, close, (verify,) eject. It holds the state of the burn window
// (source, label, speed, copies, test writing) without any user-interface toolkit and
// talks to the person only through the port given to it.
#pragma once

#include "base/UiPort.h"
#include "discimage/DiscTime.h"
#include "discimage/ISO_Disc.h"
#include "discimage/UDF_Disc.h"
#include "recorder/Burner.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class CProgress;

class CBurnJob {
public:
    // Sectors taken as the capacity of a 4.7 GB disc: an image this long or longer is
    // refused.
    static constexpr int64_t kDiscSectors = 2297888;
    // Sectors per write.
    static constexpr int kBlockSectors = 16;
    static constexpr int kSpeedCount = 6;
    // The speed list: its texts and the speeds sent (kB/s; 0 is the drive's maximum).
    static const char* const kSpeedTexts[kSpeedCount];
    static const int kSpeedKbps[kSpeedCount];
    // The line the recorder list shows when there is no recorder.
    static constexpr const char* kNoRecorder = "No DVD +-R/RW Drive Found!";

    enum class Source { None = 0, Folder = 1, Image = 2 };

    // Where a burn stands, for a window that shows it beside the progress window.
    struct SStatus {
        int copy = 0;  // the disc being written, from 1
        int copies = 1;
        int percent = 0;  // of this disc's image sent to the drive
        double megabytesPerSecond = 0;  // the writing rate so far (10^6 bytes a second)
        int bufferPercent = -1;  // how full the drive's buffer is; -1 when it does not say
        bool writing = false;  // false once the disc's writing has ended
    };

    // A job over `burner` (its entries must already be enumerated); messages and the
    // progress window go to `ui`. Both must outlive the job.
    CBurnJob(CBurner& burner, CUiPort& ui = Ui());
    ~CBurnJob();
    CBurnJob(const CBurnJob&) = delete;
    CBurnJob& operator=(const CBurnJob&) = delete;

    // Takes `path` as the source: an ISO image file (a regular file), a VIDEO_TS folder
    // or the folder holding one, or a VIDEO_TS.IFO, VOB or BUP file (its folder is burned). Describes the folder's image with the current
    // label, works out the size texts and refuses (with message 6205) an image of
    // kDiscSectors or more. False with Error set (and a message shown) when the path is
    // neither, cannot be read or is too large; the previous source is then dropped.
    bool OpenSource(const std::string& path);

    // The recorder list's lines: the entries' names, or the single "No DVD +-R/RW Drive
    // Found!" line.
    std::vector<std::string> RecorderLines() const;
    // True when there is a recorder and a source that fits on a disc.
    bool CanBurn() const;
    // Clamps `n` to 1..99 and keeps it as the number of copies; returns the value kept.
    int SetCopies(int n);

    // Asks whether to test-write (OK / Cancel); on OK burns with test writing (DVD-R and
    // DVD-RW only; other discs are refused, not written). Returns true when the person
    // said OK and every disc was test-written.
    bool TestWrite();
    // Burns `copies` discs (with test writing when `test`). Returns true when every disc
    // was written, closed (and verified, when asked).
    bool Burn(bool test = false);
    // Opens the tray of the selected recorder. False with Error set when there is no
    // recorder or it cannot be selected.
    bool Eject();
    // True when `path` names a file of a DVD-Video folder (.IFO, .VOB or .BUP) rather
    // than a disc image: such a file stands for the folder that holds it.
    static bool IsDvdFile(const std::string& path);
    // The source a file chosen in the desktop program's file dialog stands for: a name
    // with ".iso" in any letter case is an image, any other file stands for the folder
    // that holds it, and a folder for itself.
    static std::string ChosenSource(const std::string& path);

    // Choices, as the window's controls hold them.
    std::string label = "My Movie";
    int recorderIndex = 0;
    int speedIndex = 0;  // position in the speed list
    bool burnProof = true;  // shown and remembered; drives always get underrun protection
    bool verify = false;  // read every burned sector back and compare it with the source
    int Copies() const { return copies; }

    Source SourceKind() const { return kind; }
    // "DVD Video files at %s" / "DVD Disc image file: %s".
    const std::string& SourceText() const { return sourceText; }
    // "%s, %3.1f%% of a 4.7G DVD Disc".
    const std::string& SizeText() const { return sizeText; }
    // How full the disc will be, in percent (truncated).
    int Percent() const { return percent; }
    // The image's length in sectors (0 without a source).
    int64_t TotalSectors() const { return total; }
    // The files the image is read from (the image file, or the folder's files).
    std::vector<std::string> SourceFiles() const;
    // Discs written and closed in the last Burn, and discs that failed.
    int DiscsWritten() const { return written; }
    int DiscsFailed() const { return failed; }
    // The last failure in one line (names the source or the recorder).
    const std::string& Error() const { return error; }

    // Makes every later folder description use this creation time (reproducible images).
    void SetCreationTime(const CDiscTime& time) { fixedTime = time; }
    // Replaces the sleep of the recorder driver (tests).
    void SetSleeper(std::function<void(int)> sleep) { sleeper = std::move(sleep); }
    // How often the progress text shows the writing rate and the drive's buffer fill
    // (default once a second).
    void SetRateInterval(std::chrono::milliseconds interval) { rateInterval = interval; }
    // Called (on the burning thread) whenever the percentage, the rate or the buffer fill
    // changes, and once when a disc's writing ends.
    void SetStatusListener(std::function<void(const SStatus&)> listener) { statusListener = std::move(listener); }

private:
    bool OpenFolder(const std::string& folder);
    bool OpenImage(const std::string& path);
    bool Refuse(const std::string& detail, const std::string& message);
    // Makes the chosen recorder's driver current. False with `error` set otherwise.
    bool SelectRecorder();
    // Measures the rate and the drive's buffer after `sectors` sectors in `seconds`.
    void MeasureRate(CCDRDRV& driver, int64_t sectors, double seconds);
    void Notify();
    void UpdateSizeTexts();
    // Burns one disc; `more` when further copies follow. True when it was written.
    bool BurnOneDisc(CCDRDRV& driver, bool test, bool more);
    // Loads the disc and waits for the drive; the profile read afterwards.
    int LoadDisc(CCDRDRV& driver);
    // Writes the padded image in 16-sector blocks. False with `error` on a failure.
    bool WriteImage(CCDRDRV& driver, CProgress& progress, int64_t padded);
    // Reads every written sector back and compares it with the source.
    bool VerifyImage(CCDRDRV& driver, CProgress& progress, int64_t padded);
    // Fills `buffer` with `count` sectors of the image from `index` on, zeros past its end.
    void ReadSource(int64_t index, int count, uint8_t* buffer);
    // The end of one disc: close the progress window, eject, and tell the person.
    void EndDisc(CCDRDRV& driver, CProgress* progress, bool ok, bool more, bool eject = true);

    CBurner& burner;
    CUiPort& ui;
    Source kind = Source::None;
    std::string folder;
    std::string imagePath;
    std::unique_ptr<UDF_Disc> disc;
    std::unique_ptr<ISO_Disc> imageFile;
    std::optional<CDiscTime> fixedTime;
    std::function<void(int)> sleeper;
    std::chrono::milliseconds rateInterval{1000};
    std::function<void(const SStatus&)> statusListener;
    SStatus status;
    int copies = 1;
    int64_t total = 0;
    int percent = 0;
    std::string sourceText;
    std::string sizeText;
    std::string error;
    int written = 0;
    int failed = 0;
};

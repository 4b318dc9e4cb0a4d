// The disc image job: takes an existing DVD-Video folder, describes it as a UDF/ISO 9660
// bridge image and writes that image to an .iso file sector by sector, with a progress
// window that can be cancelled. It holds the state of the "Create ISO Disc Image"
// dialog (folder, label, size text) without any user-interface toolkit; windows and the
// command line drive it and show its texts.
#pragma once

#include "base/UiPort.h"
#include "discimage/UDF_Disc.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class CIsoJob {
public:
    // Sectors taken as the capacity of a 4.7 GB disc for the percentage text.
    static constexpr int64_t kDiscSectors = 2297888;

    enum class Result { Written, Cancelled, Failed };

    // `dvdFolder` is the folder shown before anything has been chosen; messages, the
    // folder chooser and the progress window go to `ui` (not owned; it must outlive the
    // job).
    explicit CIsoJob(const std::string& dvdFolder = "", CUiPort& ui = Ui());
    ~CIsoJob();

    // Asks for a folder through the user-interface port (starting at the folder text)
    // and accepts it as ChooseFolder does. Returns true when a folder was accepted.
    bool Browse();
    // Accepts `path` as the source: the folder itself when its name ends in "VIDEO_TS"
    // (and it holds VIDEO_TS.IFO), else its VIDEO_TS subfolder when that holds
    // VIDEO_TS.IFO, else the folder itself when it holds VIDEO_TS.IFO. On success the
    // folder text becomes the source, a fresh description is built with the current
    // label and the size text is updated; otherwise a message is shown and nothing
    // changes. Returns true when accepted.
    bool ChooseFolder(const std::string& path);
    // The VIDEO_TS folder that `path` stands for by the rules above, or "" when none.
    static std::string ResolveSource(const std::string& path);

    // Writes the image of the accepted folder to `isoPath` with the current label: beside
    // it first, renamed over it when complete. Returns Written, Cancelled (the file then
    // holds the sectors written up to the cancel) or Failed (nothing accepted yet, the
    // file could not be created or is one of the source files, or a write failed; the
    // half-written image is dropped and an earlier file of that name left as it was).
    // "Done!" is shown after writing or cancelling; a failure is shown as a message and
    // kept in Error.
    Result CreateImage(const std::string& isoPath);

    // The disc label applied when writing (default "My Movie").
    std::string label = "My Movie";

    const std::string& FolderText() const { return folderText; }
    // "Data size: " until a folder is accepted, then "Data size is ..., ...% of a 4.7G
    // DVD Disc".
    const std::string& SizeText() const { return sizeText; }
    // True when a folder has been accepted and its image has sectors.
    bool CanCreate() const { return disc != nullptr && ImageSectors() != 0; }
    // Sectors of the image file: N + 512, or 0 before a folder is accepted.
    int64_t ImageSectors() const { return disc ? disc->ImageSectors() : 0; }
    // Details of the last failure (path and reason), for logs and the command line.
    const std::string& Error() const { return error; }

    // "Data size is %s, %3.1f%% of a 4.7G DVD Disc" for an image of `sectors` sectors.
    static std::string SizeTextFor(int64_t sectors);

    // Makes every later description use this creation time instead of the clock
    // (reproducible images for comparisons).
    void SetCreationTime(const CDiscTime& time) { fixedTime = time; }

private:
    // The source file `isoPath` is (through any link or other name), "" when none.
    std::string SourceFileAt(const std::string& isoPath) const;
    // Writes every sector of the image to `fd` under a progress window; the file ends
    // after the last sector handled (all of them, or up to a cancel, then `cancelled`).
    // False with `reason` when a write failed.
    bool WriteImage(int fd, const std::string& isoPath, bool& cancelled, std::string& reason);
    // Records `detail` as the last error, shows `message` and returns Failed.
    Result Fail(const std::string& detail, const std::string& message);

    CUiPort& ui;
    std::unique_ptr<UDF_Disc> disc;
    std::string folderText;
    std::string sizeText = "Data size: ";
    std::string error;
    std::optional<CDiscTime> fixedTime;
};

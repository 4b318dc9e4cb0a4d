// CDvdFolderJob: what every DVD creation job does around its encoding, whatever its
// titles are made of. Before: lock the DVD folder against a second job, refuse a first
// title set that could never be reached, ask before replacing a DVD already there,
// refuse to replace one of the job's own input files, and make sure every file can be
// written — all in a new version of the folder beside it (CDvdFolderUpdate), so that a
// refusal or failure leaves the old folder as it was. After: swap the new version in
// (or drop it), then play "done.wav" and ask whether to burn.
#pragma once

#include "app/DvdFolderUpdate.h"
#include "base/UiPort.h"

#include <functional>
#include <string>
#include <vector>

class CDvdFolderJob {
public:
    enum class EPrepared {
        Ready,  // WorkFolder() is the new version to write into
        Busy,  // another job is writing into the folder
        Refused,  // the first title set cannot be reached, or an input would be replaced
        Declined,  // the person keeps the DVD already in the folder
        NotWritable,  // a file could not be created; nothing was changed
    };

    // `folder` is the DVD folder (ending in "/"); the job writes title sets
    // firstTitleSet .. lastTitleSet and replaces every later one. Reports through `ui`.
    CDvdFolderJob(CUiPort& ui, const std::string& folder, int firstTitleSet, int lastTitleSet);

    // Runs the checks in order and prepares the new version of the folder. Each refusal
    // has been shown through the port and is kept in Error(). `inputs` are the job's
    // own files, none of which may be among those the new DVD replaces.
    EPrepared Prepare(const std::vector<std::string>& inputs);
    // The folder the titles are written into (the new version), ending in "/".
    const std::string& WorkFolder() const { return update.WorkFolder(); }

    // The job's own result for a refused Prepare (Busy, Declined, NotWritable, else
    // Refused); every DVD job's result names all four.
    template <class Result>
    static Result Refusal(EPrepared prepared)
    {
        switch (prepared) {
        case EPrepared::Busy:
            return Result::Busy;
        case EPrepared::Declined:
            return Result::Declined;
        case EPrepared::NotWritable:
            return Result::NotWritable;
        default:
            return Result::Refused;
        }
    }

    // Ends a run: a run that left a playable DVD (`keep`) is committed, any other is
    // abandoned; then the folder is unlocked. `jobError` takes the reason the new version
    // could not take the folder's place, or the note that the old DVD was kept. True
    // when the new version is in place.
    bool Conclude(bool keep, std::string& jobError);

    // Puts the new version in the folder's place (with an empty AUDIO_TS beside a
    // VIDEO_TS folder). False, shown and kept in Error(), when the old one had to stay.
    bool Commit();
    // Drops the new version; the old folder stays (Error() says so when there was one).
    void Abandon();
    // Lets the folder go for other jobs.
    void Unlock() { update.Unlock(); }

    // After a run that left a playable DVD: plays "done.wav" from `soundFolder` (when
    // set and present) and asks whether to burn; Yes calls `openBurnWindow` (when set)
    // with the DVD folder.
    void Finish(const std::string& soundFolder, const std::function<void(const std::string&)>& openBurnWindow);

    const std::string& Error() const { return error; }

private:
    bool CheckEarlierTitleSets();
    bool AskToReplace();
    void MakeFolders(bool audioTs);
    bool CheckInputs(const std::vector<std::string>& inputs);
    bool CheckWritable(bool locked);
    void ReportNotWritable(const std::string& file, const std::string& reason);

    CUiPort& ui;
    std::string folder;
    int firstTitleSet;
    int lastTitleSet;
    bool hadDvd = false;
    CDvdFolderUpdate update;
    std::string error;
};

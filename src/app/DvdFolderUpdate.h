// CDvdFolderUpdate: how the DVD job replaces title sets of a DVD folder without ever
// leaving a folder that does not play. It locks the folder against a second job, builds
// the new version beside it (the title sets before the one written and any files of
// other programs taken over, the rest left out) and swaps it in once the new title set
// and VIDEO_TS.IFO/.BUP are complete. Until then the old folder is untouched; a run that
// fails or is abandoned leaves it exactly as it was.
#pragma once

#include "base/OutputLock.h"
#include "base/StagedFolder.h"

#include <string>
#include <vector>

class CDvdFolderUpdate {
public:
    // `folder` is the DVD folder (ending in "/"); the job writes title set
    // `titleSet` and replaces every later one.
    CDvdFolderUpdate(const std::string& folder, int titleSet);

    // Locks the folder and then tidies what a killed run left beside it. Error() names
    // the folder and the process holding it when Busy; LockReason() says why the lock
    // could not be made when Failed.
    COutputLock::EResult Lock();
    const std::string& Error() const { return lock.Error(); }
    const std::string& LockReason() const { return lock.Reason(); }

    // True when the old folder's entry `name` is replaced or removed by the update:
    // VIDEO_TS.IFO/.BUP/.VOB and every file of the title set written and later ones.
    bool Replaces(const std::string& name) const;
    // The files of the old folder that the update replaces or removes.
    std::vector<std::string> ReplacedFiles() const;

    // Makes the new version (see CStagedFolder::Begin); false with `error`.
    bool Begin(std::string& error);
    // The folder the job writes into, ending in "/"; empty before Begin.
    const std::string& WorkFolder() const { return staged.Path(); }
    // Swaps the new version in; false with `error` when the old folder had to stay.
    bool Commit(std::string& error) { return staged.Commit(error); }
    // Drops the new version; the old folder stays.
    void Abandon() { staged.Abandon(); }
    // Lets the folder go for other jobs.
    void Unlock() { lock.Release(); }

private:
    std::string folder;
    int titleSet;
    COutputLock lock;
    CStagedFolder staged;
};

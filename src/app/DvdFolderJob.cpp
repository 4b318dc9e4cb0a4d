#include "app/DvdFolderJob.h"

#include "base/DvdFileNames.h"
#include "base/FileIdentity.h"
#include "base/InputFile.h"
#include "base/Texts.h"
#include "platform/Folders.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

CDvdFolderJob::CDvdFolderJob(CUiPort& ui_, const std::string& folder_, int first, int last)
    : ui(ui_),
      folder(CFolders::WithSlash(folder_)),
      firstTitleSet(first),
      lastTitleSet(last < first ? first : last),
      update(folder, first)
{}

CDvdFolderJob::EPrepared CDvdFolderJob::Prepare(const std::vector<std::string>& inputs)
{
    error.clear();
    const COutputLock::EResult lock = update.Lock();
    if (lock == COutputLock::EResult::Busy) {
        error = update.Error();
        ui.MessageBox(error, "Kestrova", MsgButtons::Ok, MsgIcon::Warning);
        return EPrepared::Busy;
    }
    if (!CheckEarlierTitleSets()) return EPrepared::Refused;
    hadDvd = IsReadableRegularFile(folder + kVideoTsIfo);
    if (!AskToReplace()) return EPrepared::Declined;
    if (!CheckInputs(inputs)) return EPrepared::Refused;
    if (!CheckWritable(lock == COutputLock::EResult::Locked)) return EPrepared::NotWritable;
    return EPrepared::Ready;
}

bool CDvdFolderJob::CheckEarlierTitleSets()
{
    // VIDEO_TS.IFO lists the title sets from VTS_01 up to the first one missing, so a
    // title set written after a gap could never be played.
    for (int n = 1; n < firstTitleSet; ++n) {
        const std::string ifo = folder + VtsFileName(n, 0, "IFO");
        std::error_code ec;
        if (!std::filesystem::exists(ifo, ec)) {
            error = "Title set " + std::to_string(firstTitleSet) + " needs title set " + std::to_string(n) +
                " first: " + ifo + " is missing.";
            ui.MessageBox(error, "Kestrova", MsgButtons::Ok, MsgIcon::Warning);
            return false;
        }
        // The kept title set's IFO is copied into the new version of the folder: it must
        // be a file that can be read.
        if (!OpenInputFile(ifo, error)) {
            ui.MessageBox(error, "Kestrova", MsgButtons::Ok, MsgIcon::Warning);
            return false;
        }
    }
    return true;
}

bool CDvdFolderJob::AskToReplace()
{
    if (!hadDvd) return true;  // no DVD there to replace
    const std::string text = FormatText(Text(428), {folder}) + Text(429);
    if (ui.MessageBox(text, Text(422), MsgButtons::YesNo, MsgIcon::Warning) == MsgAnswer::Yes) return true;
    error = "The DVD in " + folder + " was kept.";
    return false;
}

void CDvdFolderJob::MakeFolders(bool audioTs)
{
    // The VIDEO_TS folder and (after the swap) an empty AUDIO_TS beside it when the
    // folder is named VIDEO_TS. A failure shows up in the write check that follows,
    // naming the first file.
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::path videoTs = fs::path(folder).parent_path();
    fs::create_directories(videoTs, ec);
    if (ec) return;
    if (audioTs && videoTs.filename() == "VIDEO_TS") fs::create_directories(videoTs.parent_path() / "AUDIO_TS", ec);
}

bool CDvdFolderJob::CheckInputs(const std::vector<std::string>& inputs)
{
    // The files the new DVD replaces must not be any of the job's own.
    for (const std::string& replaced : update.ReplacedFiles()) {
        const std::string input = FindSameFile(replaced, inputs);
        if (input.empty()) continue;
        error = input + " is " + replaced + ", which the new DVD replaces; move it out of the folder first.";
        ui.MessageBox(error, "Kestrova", MsgButtons::Ok, MsgIcon::Warning);
        return false;
    }
    return true;
}

void CDvdFolderJob::ReportNotWritable(const std::string& file, const std::string& reason)
{
    error = file + ": cannot write (" + reason + ")";
    const std::string text = FormatText(Text(430), {file + " (" + reason + ")"}) + Text(431);
    ui.MessageBox(text, Text(422), MsgButtons::Ok, MsgIcon::Warning);
}

bool CDvdFolderJob::CheckWritable(bool locked)
{
    // Every file the job writes first must be creatable in the new version of the
    // folder, and no name it replaces may be taken by a folder of the person's. Only
    // the new version is touched, so a failed check leaves the folder as it was.
    std::vector<std::string> files = {folder + kVideoTsIfo, folder + kVideoTsBup};
    for (int n = firstTitleSet; n <= lastTitleSet; ++n)
        for (const std::string& name : {VtsFileName(n, 1, "VOB"), VtsFileName(n, 0, "IFO"), VtsFileName(n, 0, "BUP")})
            files.push_back(folder + name);
    if (!locked) {
        ReportNotWritable(files[0], update.LockReason());
        return false;
    }
    for (const std::string& file : files) {
        struct stat st {};
        if (::stat(file.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
            ReportNotWritable(file, S_ISDIR(st.st_mode) ? std::strerror(EISDIR) : "not a regular file");
            return false;
        }
    }
    std::string reason;
    if (!update.Begin(reason)) {
        ReportNotWritable(files[0], reason);
        return false;
    }
    for (const std::string& file : files) {
        const std::string probe = update.WorkFolder() + std::filesystem::path(file).filename().string();
        const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0) {
            ReportNotWritable(file, std::strerror(errno));
            update.Abandon();
            return false;
        }
        ::close(fd);
        std::remove(probe.c_str());
    }
    return true;
}

bool CDvdFolderJob::Commit()
{
    std::string swapError;
    if (update.Commit(swapError)) {
        MakeFolders(true);
        return true;
    }
    error = swapError;
    ui.MessageBox(error, "Kestrova", MsgButtons::Ok, MsgIcon::Error);
    return false;
}

void CDvdFolderJob::Abandon()
{
    update.Abandon();
    if (hadDvd) error += std::string(error.empty() ? "" : " ") + "The DVD already in " + folder + " was kept.";
}

bool CDvdFolderJob::Conclude(bool keep, std::string& jobError)
{
    bool committed = false;
    if (keep) {
        committed = Commit();
        if (!committed) jobError = error;
    } else {
        Abandon();
        if (!error.empty()) jobError += std::string(jobError.empty() ? "" : " ") + error;
    }
    Unlock();
    return committed;
}

void CDvdFolderJob::Finish(const std::string& soundFolder,
                           const std::function<void(const std::string&)>& openBurnWindow)
{
    if (!soundFolder.empty()) {
        const std::string sound = CFolders::WithSlash(soundFolder) + "done.wav";
        std::error_code ec;
        if (std::filesystem::exists(sound, ec)) ui.PlaySoundFile(sound);
    }
    const std::string text = Text(424) + Text(425) + Text(426) + Text(427);
    if (ui.MessageBox(text, Text(423), MsgButtons::YesNo, MsgIcon::Information) == MsgAnswer::Yes && openBurnWindow)
        openBurnWindow(folder);
}

#include "app/IsoJob.h"

#include "base/DvdFileNames.h"
#include "base/File.h"
#include "base/OutputLock.h"
#include "base/Progress.h"
#include "base/Texts.h"
#include "dvd/DvdFolderCheck.h"

#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr const char* kCaption = "Kestrova";
constexpr const char* kNoDvdFiles = "This folder does not contain required DVD Video files.";
constexpr const char* kCannotCreate = "Failed creating disc image file.";
constexpr size_t kSectorBytes = UDF_Disc::kSectorSize;
// Sectors gathered before each write to the image file.
constexpr int kSectorsPerWrite = 128;
// File data is copied by the kernel (copy_file_range: no trip through our memory, and
// on file systems that share extents no copy at all) in runs of up to this many
// sectors; shorter runs are not worth a system call of their own.
constexpr int kSectorsPerCopy = 4096;
constexpr int kShortestCopy = 64;

// Appends `length` bytes of `from` at `offset` to `to` (at its current position) by
// copy_file_range. Returns 1 when all were copied; 0 when the kernel cannot copy
// between these files and nothing was copied (the caller reads and writes instead);
// -1 with `reason` on a failure after which the image is unusable. Bytes the source
// no longer holds (it shrank) are written as zeros, as reading would give.
int CopyFileData(int from, int64_t offset, int to, size_t length, std::string& reason)
{
    size_t done = 0;
    while (done < length) {
        loff_t in = static_cast<loff_t>(offset) + static_cast<loff_t>(done);
        ssize_t got = ::copy_file_range(from, &in, to, nullptr, length - done, 0);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            if (done == 0 &&
                (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP || errno == EBADF ||
                 errno == ETXTBSY))
                return 0;
            reason = std::strerror(errno);
            return -1;
        }
        if (got == 0) {
            static const std::vector<uint8_t> zeros(size_t(kSectorsPerWrite) * kSectorBytes, 0);
            while (done < length) {
                const size_t n = std::min(zeros.size(), length - done);
                if (!WriteToDescriptor(to, zeros.data(), n, reason)) return -1;
                done += n;
            }
            break;
        }
        done += static_cast<size_t>(got);
    }
    return 1;
}

// Writes the sectors of a disc image to an open file, in order: blocks of sectors read
// through the disc description, and long runs of file data copied by the kernel
// straight from the source files. The sectors are handed in one at a time, so that the
// caller can show progress and stop after any of them.
class CImageSink {
public:
    CImageSink(UDF_Disc& disc_, int fd_)
        : disc(disc_), fd(fd_), total(disc_.ImageSectors()), block(size_t(kSectorsPerWrite) * kSectorBytes)
    {}

    // Takes sector `index`; sectors are taken in order from 0, each once. A copied run
    // may reach ahead of `index`. False (see Reason) when a write failed.
    bool Take(int64_t index)
    {
        if (index != filled) return true;  // read or copied already
        if (kernelCopy && !CopyRun(index)) return false;
        if (index != filled) return true;
        if (filled - flushed == kSectorsPerWrite && !Flush()) return false;
        const int want = int(std::min<int64_t>(kSectorsPerWrite - (filled - flushed), total - index));
        disc.ReadSectors(index, want, block.data() + size_t(filled - flushed) * kSectorBytes);
        filled += want;
        return true;
    }

    // Makes the file hold exactly the sectors before `end`: writes those still in the
    // block and cuts off a copied run that went further. False when that failed.
    bool Finish(int64_t end)
    {
        if (end > flushed && !WriteToDescriptor(fd, block.data(), size_t(end - flushed) * kSectorBytes, reason))
            return false;
        if (flushed > end && ::ftruncate(fd, off_t(end) * off_t(kSectorBytes)) != 0) {
            reason = std::strerror(errno);
            return false;
        }
        return true;
    }

    const std::string& Reason() const { return reason; }

private:
    // Writes the sectors read into the block so far.
    bool Flush()
    {
        if (filled > flushed && !WriteToDescriptor(fd, block.data(), size_t(filled - flushed) * kSectorBytes, reason))
            return false;
        flushed = filled;
        return true;
    }

    // Copies the run of file data starting at sector `index` into the file when it is
    // long enough; after the first refusal of the kernel, every sector is read.
    bool CopyRun(int64_t index)
    {
        int sourceFd = -1;
        int64_t sourceOffset = 0;
        const int run = disc.FileRun(index, kSectorsPerCopy, sourceFd, sourceOffset);
        if (run < kShortestCopy) return true;
        if (!Flush()) return false;
        const int copied = CopyFileData(sourceFd, sourceOffset, fd, size_t(run) * kSectorBytes, reason);
        if (copied < 0) return false;
        if (copied > 0)
            filled = flushed = index + run;
        else
            kernelCopy = false;
        return true;
    }

    UDF_Disc& disc;
    const int fd;
    const int64_t total;
    std::vector<uint8_t> block;
    // Sectors before `filled` have been read or copied; those before `flushed` are in
    // the file, the others wait in the block.
    int64_t filled = 0;
    int64_t flushed = 0;
    bool kernelCopy = true;
    std::string reason;
};

}  // namespace

CIsoJob::CIsoJob(const std::string& dvdFolder, CUiPort& port) : ui(port), folderText(dvdFolder) {}

CIsoJob::~CIsoJob() = default;

std::string CIsoJob::ResolveSource(const std::string& path)
{
    std::string p = path;
    while (p.size() > 1 && (p.back() == '/' || p.back() == '\\')) p.pop_back();
    if (p.empty()) return "";
    const std::string videoTs = kVideoTsFolder;
    const bool namedVideoTs =
        p.size() > videoTs.size() && strcasecmp(p.c_str() + p.size() - videoTs.size(), kVideoTsFolder) == 0;
    const std::string prefix = p == "/" ? p : p + "/";
    if (!namedVideoTs && IsReadableRegularFile(prefix + videoTs + "/" + kVideoTsIfo)) return prefix + videoTs;
    if (IsReadableRegularFile(prefix + kVideoTsIfo)) return p;
    return "";
}

bool CIsoJob::Browse()
{
    auto chosen = ui.ChooseFolder("Select a DVD VIDEO_TS Folder.", folderText);
    if (!chosen) return false;
    return ChooseFolder(*chosen);
}

bool CIsoJob::ChooseFolder(const std::string& path)
{
    std::string source = ResolveSource(path);
    if (source.empty()) {
        error = path + ": no VIDEO_TS.IFO in the folder or in a VIDEO_TS folder inside it";
        ui.MessageBox(kNoDvdFiles, kCaption, MsgButtons::Ok, MsgIcon::Warning);
        return false;
    }
    auto fresh = fixedTime ? std::make_unique<UDF_Disc>(*fixedTime) : std::make_unique<UDF_Disc>();
    if (!fresh->Build(label, source)) {
        error = fresh->ErrorText();
        ui.MessageBox(error, kCaption, MsgButtons::Ok, MsgIcon::Warning);
        return false;
    }
    folderText = source;
    disc = std::move(fresh);
    sizeText = SizeTextFor(disc->ImageSectors());
    return true;
}

std::string CIsoJob::SizeTextFor(int64_t sectors)
{
    char size[64];
    if (sectors < 512)
        std::snprintf(size, sizeof size, "%lld KB", static_cast<long long>(2 * sectors));
    else
        std::snprintf(size, sizeof size, "%lld MB", static_cast<long long>(sectors / 512));
    double percent = static_cast<double>(sectors) * 100.0 / static_cast<double>(kDiscSectors);
    char text[160];
    std::snprintf(text, sizeof text, "Data size is %s, %3.1f%% of a 4.7G DVD Disc", size, percent);
    return text;
}

CIsoJob::Result CIsoJob::CreateImage(const std::string& isoPath)
{
    if (!CanCreate()) {
        error = "no DVD folder has been chosen";
        return Result::Failed;
    }
    // A folder that would not play (files missing, empty, cut short or not files at
    // all) is refused before anything is written; it may have changed since it was chosen.
    if (std::string problem; !CheckDvdFolder(folderText, problem))
        return Fail(problem, "This DVD Video folder would not play: " + problem);
    // The image replaces the chosen file: never let that be a source file.
    if (const std::string source = SourceFileAt(isoPath); !source.empty())
        return Fail(isoPath + " is " + source + ", one of the DVD files the image is made from",
                    "The disc image file cannot replace " + source + ", one of the DVD files it is made from.");
    // One job at a time per image file.
    COutputLock lock;
    if (const COutputLock::EResult locked = lock.Acquire(isoPath); locked != COutputLock::EResult::Locked)
        return Fail(lock.Error(), locked == COutputLock::EResult::Busy ? lock.Error() : kCannotCreate);
    CReplaceFile out(isoPath);
    std::string reason;
    if (!out.Open(reason)) return Fail(reason, kCannotCreate);

    disc->SetLabel(label);
    bool cancelled = false;
    // An image cut short by a full disk or an I/O error is useless and would look
    // complete to a burner: it is dropped and any earlier file stays as it was.
    if (!WriteImage(out.Descriptor(), isoPath, cancelled, reason)) {
        out.Abandon();
        return Fail(isoPath + ": " + reason, "Failed writing disc image file " + isoPath + ": " + reason);
    }
    if (!out.Commit(reason)) return Fail(reason, "Failed writing disc image file " + reason);
    ui.MessageBox(Text(6303), kCaption, MsgButtons::Ok, MsgIcon::Information);
    return cancelled ? Result::Cancelled : Result::Written;
}

std::string CIsoJob::SourceFileAt(const std::string& isoPath) const
{
    struct stat target {};
    if (::stat(isoPath.c_str(), &target) != 0) return "";
    const CUDF_DVDFiles& files = disc->Files();
    for (int i = 0; i < files.FileCount(); ++i) {
        const std::string source = files.Folder() + CUDF_DVDFiles::SlotName(files.File(i).slot);
        struct stat st {};
        if (::stat(source.c_str(), &st) == 0 && st.st_dev == target.st_dev && st.st_ino == target.st_ino) return source;
    }
    return "";
}

bool CIsoJob::WriteImage(int fd, const std::string& isoPath, bool& cancelled, std::string& reason)
{
    CProgress progress(ui);
    progress.Open("Create Disc Image", "Writing " + isoPath);
    const int64_t total = disc->ImageSectors();
    CImageSink sink(*disc, fd);
    bool written = true;
    int64_t i = 0;
    for (; i < total; ++i) {
        if (!sink.Take(i)) {
            written = false;
            break;
        }
        progress.SetPercent(static_cast<int>(i * 100 / total));
        progress.Pump();
        if (progress.IsCancelled()) {
            cancelled = true;
            ++i;  // the current sector counts as written
            break;
        }
    }
    // The file ends after the sectors handled: all of them, or up to the cancelled one.
    written = written && sink.Finish(i);
    if (written) {
        progress.SetPercent(100);
        progress.Pump();
    }
    reason = sink.Reason();
    return written;
}

CIsoJob::Result CIsoJob::Fail(const std::string& detail, const std::string& message)
{
    error = detail;
    ui.MessageBox(message, kCaption, MsgButtons::Ok, MsgIcon::Error);
    return Result::Failed;
}

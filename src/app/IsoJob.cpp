#include "app/IsoJob.h"

#include "base/Progress.h"
#include "base/Texts.h"
#include "base/UiPort.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr const char* kCaption = "Kestrova";
constexpr const char* kNoDvdFiles = "This folder does not contain required DVD Video files.";
constexpr const char* kCannotCreate = "Failed creating disc image file.";
// Sectors gathered before each write to the image file.
constexpr int kSectorsPerWrite = 128;
// File data is copied by the kernel (copy_file_range: no trip through our memory, and
// on file systems that share extents no copy at all) in runs of up to this many
// sectors; shorter runs are not worth a system call of their own.
constexpr int kSectorsPerCopy = 4096;
constexpr int kShortestCopy = 64;

bool IsReadableFile(const std::string& path)
{
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    ::close(fd);
    return regular;
}

bool WriteAll(int fd, const uint8_t* data, size_t length, std::string& reason)
{
    while (length > 0) {
        ssize_t put = ::write(fd, data, length);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) {
            reason = put < 0 ? std::strerror(errno) : "nothing written";
            return false;
        }
        data += put;
        length -= static_cast<size_t>(put);
    }
    return true;
}

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
            if (done == 0 && (errno == EXDEV || errno == EINVAL || errno == ENOSYS ||
                              errno == EOPNOTSUPP || errno == EBADF || errno == ETXTBSY))
                return 0;
            reason = std::strerror(errno);
            return -1;
        }
        if (got == 0) {
            static const std::vector<uint8_t> zeros(size_t(kSectorsPerWrite) * 2048, 0);
            while (done < length) {
                const size_t n = std::min(zeros.size(), length - done);
                if (!WriteAll(to, zeros.data(), n, reason)) return -1;
                done += n;
            }
            break;
        }
        done += static_cast<size_t>(got);
    }
    return 1;
}

}  // namespace

CIsoJob::CIsoJob(const std::string& dvdFolder) : folderText(dvdFolder) {}

CIsoJob::~CIsoJob() = default;

std::string CIsoJob::ResolveSource(const std::string& path)
{
    std::string p = path;
    while (p.size() > 1 && (p.back() == '/' || p.back() == '\\')) p.pop_back();
    if (p.empty()) return "";
    bool namedVideoTs =
        p.size() >= 9 && strcasecmp(p.c_str() + p.size() - 8, "VIDEO_TS") == 0;
    std::string prefix = p == "/" ? p : p + "/";
    if (!namedVideoTs && IsReadableFile(prefix + "VIDEO_TS/VIDEO_TS.IFO"))
        return prefix + "VIDEO_TS";
    if (IsReadableFile(prefix + "VIDEO_TS.IFO")) return p;
    return "";
}

bool CIsoJob::Browse()
{
    auto chosen = Ui().ChooseFolder("Select a DVD VIDEO_TS Folder.", folderText);
    if (!chosen) return false;
    return ChooseFolder(*chosen);
}

bool CIsoJob::ChooseFolder(const std::string& path)
{
    std::string source = ResolveSource(path);
    if (source.empty()) {
        lastError = path + ": no VIDEO_TS.IFO in the folder or in a VIDEO_TS folder inside it";
        Ui().MessageBox(kNoDvdFiles, kCaption, MsgButtons::Ok, MsgIcon::Warning);
        return false;
    }
    auto fresh = fixedTime ? std::make_unique<UDF_Disc>(*fixedTime) : std::make_unique<UDF_Disc>();
    if (!fresh->Build(label, source)) {
        lastError = fresh->ErrorText();
        Ui().MessageBox(lastError, kCaption, MsgButtons::Ok, MsgIcon::Warning);
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
        lastError = "no DVD folder has been chosen";
        return Result::Failed;
    }
    // Creating the image truncates the chosen file: never let that be a source file.
    struct stat target {};
    if (::stat(isoPath.c_str(), &target) == 0) {
        const CUDF_DVDFiles& files = disc->Files();
        for (int i = 0; i < files.FileCount(); ++i) {
            std::string source = files.Folder() + CUDF_DVDFiles::SlotName(files.File(i).slot);
            struct stat st {};
            if (::stat(source.c_str(), &st) == 0 && st.st_dev == target.st_dev &&
                st.st_ino == target.st_ino) {
                lastError = isoPath + " is " + source + ", one of the DVD files the image is made from";
                Ui().MessageBox("The disc image file cannot replace " + source +
                                ", one of the DVD files it is made from.",
                                kCaption, MsgButtons::Ok, MsgIcon::Error);
                return Result::Failed;
            }
        }
    }
    int fd = ::open(isoPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        lastError = isoPath + ": " + std::strerror(errno);
        Ui().MessageBox(kCannotCreate, kCaption, MsgButtons::Ok, MsgIcon::Error);
        return Result::Failed;
    }

    disc->SetLabel(label);
    const int64_t total = disc->ImageSectors();
    std::vector<uint8_t> block(size_t(kSectorsPerWrite) * UDF_Disc::kSectorSize);
    bool cancelled = false;
    std::string reason;
    bool writeFailed = false;
    {
        CProgress progress;
        progress.Open("Create Disc Image", "Writing " + isoPath);
        // Sectors are read and written a block at a time, while progress and cancel
        // are handled sector by sector: `filled` sectors have been read, the first
        // `flushed` of them written to the file.
        // A run of file data may be copied straight into the file, ahead of `i`; a
        // cancel then cuts the file back to the sectors handled.
        int64_t filled = 0, flushed = 0, i = 0;
        bool kernelCopy = true;
        for (; i < total; ++i) {
            if (i == filled) {
                int sourceFd = -1;
                int64_t sourceOffset = 0;
                const int run = kernelCopy ? disc->FileRun(i, kSectorsPerCopy, sourceFd, sourceOffset) : 0;
                if (run >= kShortestCopy) {
                    if (filled > flushed &&
                        !WriteAll(fd, block.data(), size_t(filled - flushed) * UDF_Disc::kSectorSize, reason)) {
                        writeFailed = true;
                        break;
                    }
                    flushed = filled;
                    const int copied = CopyFileData(sourceFd, sourceOffset, fd,
                                                    size_t(run) * UDF_Disc::kSectorSize, reason);
                    if (copied < 0) {
                        writeFailed = true;
                        break;
                    }
                    if (copied > 0) {
                        filled = flushed = i + run;
                    } else {
                        kernelCopy = false;
                    }
                }
            }
            if (i == filled) {
                if (filled - flushed == kSectorsPerWrite) {
                    if (!WriteAll(fd, block.data(), block.size(), reason)) {
                        writeFailed = true;
                        break;
                    }
                    flushed = filled;
                }
                int want = int(std::min<int64_t>(kSectorsPerWrite - (filled - flushed), total - i));
                disc->ReadSectors(i, want, block.data() + size_t(filled - flushed) * UDF_Disc::kSectorSize);
                filled += want;
            }
            progress.SetPercent(static_cast<int>(i * 100 / total));
            progress.Pump();
            if (progress.IsCancelled()) {
                cancelled = true;
                ++i;  // the current sector counts as written
                break;
            }
        }
        // The sectors handled so far: all of them, or up to the cancelled one.
        if (!writeFailed && i > flushed &&
            !WriteAll(fd, block.data(), size_t(i - flushed) * UDF_Disc::kSectorSize, reason))
            writeFailed = true;
        if (!writeFailed && flushed > i && ::ftruncate(fd, off_t(i) * UDF_Disc::kSectorSize) != 0) {
            writeFailed = true;
            reason = std::strerror(errno);
        }
        if (!writeFailed) {
            progress.SetPercent(100);
            progress.Pump();
        }
    }
    if (!writeFailed && ::close(fd) != 0) {
        writeFailed = true;
        reason = std::strerror(errno);
    } else if (writeFailed) {
        ::close(fd);
    }

    if (writeFailed) {
        // An image cut short by a full disk or an I/O error is useless and would look
        // complete to a burner; it is removed rather than left behind.
        ::unlink(isoPath.c_str());
        lastError = isoPath + ": " + reason;
        Ui().MessageBox("Failed writing disc image file " + isoPath + ": " + reason, kCaption,
                        MsgButtons::Ok, MsgIcon::Error);
        return Result::Failed;
    }
    Ui().MessageBox(Text(6303), kCaption, MsgButtons::Ok, MsgIcon::Information);
    return cancelled ? Result::Cancelled : Result::Written;
}

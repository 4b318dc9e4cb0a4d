#include "app/BurnJob.h"

#include "app/IsoJob.h"
#include "base/Progress.h"
#include "base/Texts.h"
#include "diag/Debugger.h"
#include "dvd/DvdFolderCheck.h"

#include <sys/stat.h>
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>

namespace {

constexpr const char* kCaption = "Kestrova";
constexpr int kSector = 2048;
// Sectors read back and compared at a time when verifying.
constexpr int kVerifySectors = 32;

// `text` with its first "%s" replaced by `value`.
std::string Substitute(std::string text, const std::string& marker, const std::string& value)
{
    if (size_t at = text.find(marker); at != std::string::npos) text.replace(at, marker.size(), value);
    return text;
}

bool ProfileWritable(int profile)
{
    return profile == CCDRDRV::kProfileDvdMinusR || profile == CCDRDRV::kProfileDvdMinusRwSequential ||
        profile == CCDRDRV::kProfileDvdPlusRw || profile == CCDRDRV::kProfileDvdPlusR;
}

// The file name of `path` in lower case.
std::string LowerName(const std::string& path)
{
    std::string name = path.substr(path.rfind('/') == std::string::npos ? 0 : path.rfind('/') + 1);
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return name;
}

// The folder that holds the file `path`.
std::string FolderOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

const char* const CBurnJob::kSpeedTexts[kSpeedCount] = {"Maximum",         "1x (1385KB/s)", "2x (2770KB/s)",
                                                        "2.4x (3324KB/s)", "4x (5540KB/s)", "8x (11080KB/s)"};
const int CBurnJob::kSpeedKbps[kSpeedCount] = {0, 1385, 2770, 3324, 5540, 11080};

CBurnJob::CBurnJob(CBurner& burner_, CUiPort& ui_) : burner(burner_), ui(ui_) {}

CBurnJob::~CBurnJob() = default;

std::vector<std::string> CBurnJob::RecorderLines() const
{
    std::vector<std::string> lines = burner.Names();
    if (lines.empty()) lines.push_back(kNoRecorder);
    return lines;
}

std::vector<std::string> CBurnJob::SourceFiles() const
{
    std::vector<std::string> files;
    if (kind == Source::Image) files.push_back(imagePath);
    if (kind == Source::Folder) {
        const CUDF_DVDFiles& list = disc->Files();
        for (int i = 0; i < list.FileCount(); ++i)
            files.push_back(list.Folder() + CUDF_DVDFiles::SlotName(list.File(i).slot));
    }
    return files;
}

bool CBurnJob::CanBurn() const
{
    return burner.EntryCount() > 0 && kind != Source::None && total > 0 && total < kDiscSectors;
}

int CBurnJob::SetCopies(int n)
{
    copies = std::clamp(n, 1, 99);
    return copies;
}

bool CBurnJob::Refuse(const std::string& detail, const std::string& message)
{
    error = detail;
    if (!message.empty()) ui.MessageBox(message, kCaption, MsgButtons::Ok, MsgIcon::Warning);
    return false;
}

bool CBurnJob::OpenSource(const std::string& path)
{
    kind = Source::None;
    disc.reset();
    imageFile.reset();
    total = 0;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return OpenFolder(path);
    if (IsDvdFile(path)) {
        return OpenFolder(FolderOf(path));
    }
    return OpenImage(path);
}

bool CBurnJob::IsDvdFile(const std::string& path)
{
    const std::string name = LowerName(path);
    // A name with ".iso" in it is an image whatever else it says.
    if (name.find(".iso") != std::string::npos || name.size() < 5) return false;
    const std::string extension = name.substr(name.size() - 4);
    return extension == ".ifo" || extension == ".vob" || extension == ".bup";
}

std::string CBurnJob::ChosenSource(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return path;
    const std::string name = LowerName(path);
    if (name.find(".iso") != std::string::npos) return path;
    return FolderOf(path);
}

bool CBurnJob::OpenFolder(const std::string& path)
{
    const std::string source = CIsoJob::ResolveSource(path);
    if (source.empty())
        return Refuse(path + ": no VIDEO_TS.IFO in the folder or in a VIDEO_TS folder inside it",
                      "This folder does not contain required DVD Video files.");
    if (std::string problem; !CheckDvdFolder(source, problem))
        return Refuse(problem, "This DVD Video folder would not play: " + problem);
    if (label.empty()) label = "Orvo Movie";
    auto fresh = fixedTime ? std::make_unique<UDF_Disc>(*fixedTime) : std::make_unique<UDF_Disc>();
    if (!fresh->Build(label, source)) return Refuse(fresh->ErrorText(), fresh->ErrorText());
    disc = std::move(fresh);
    folder = source;
    kind = Source::Folder;
    total = disc->ImageSectors();
    sourceText = Substitute(Text(6003), "%s", folder);
    UpdateSizeTexts();
    return total < kDiscSectors;
}

bool CBurnJob::OpenImage(const std::string& path)
{
    auto fresh = std::make_unique<ISO_Disc>();
    char message[600];
    std::snprintf(message, sizeof message, "Can not open disc image: %s", path.c_str());
    if (!fresh->Open(path)) return Refuse(path + ": not a readable disc image file", message);
    if (fresh->SectorCount() == 0) return Refuse(path + ": the disc image file is empty", message);
    imageFile = std::move(fresh);
    imagePath = path;
    kind = Source::Image;
    total = imageFile->SectorCount();
    sourceText = Substitute(Text(6002), "%s", path);
    UpdateSizeTexts();
    return total < kDiscSectors;
}

void CBurnJob::UpdateSizeTexts()
{
    char size[64];
    if (total >= 512)
        std::snprintf(size, sizeof size, "%lld MB", static_cast<long long>(total / 512));
    else
        std::snprintf(size, sizeof size, "%lld KB", static_cast<long long>(2 * total));
    const double share = double(total) * 100.0 / double(kDiscSectors);
    percent = int(share);
    char shareText[32];
    std::snprintf(shareText, sizeof shareText, "%3.1f%%", share);
    sizeText = Substitute(Substitute(Text(6006), "%s", size), "%3.1f%%", shareText);
    if (total >= kDiscSectors) {
        error = (kind == Source::Image ? imagePath : folder) + ": " + std::to_string(total) +
            " sectors do not fit on a 4.7 GB disc (" + sizeText + ")";
        ui.MessageBox(Text(6205), Text(6204), MsgButtons::Ok, MsgIcon::Warning);
    }
}

void CBurnJob::ReadSource(int64_t index, int count, uint8_t* buffer)
{
    std::memset(buffer, 0, size_t(count) * kSector);
    const int inImage = int(std::clamp<int64_t>(total - index, 0, count));
    if (kind == Source::Folder) {
        disc->ReadSectors(index, inImage, buffer);
    } else {
        for (int i = 0; i < inImage; ++i) imageFile->ReadSector(index + i, buffer + size_t(i) * kSector);
    }
}

bool CBurnJob::TestWrite()
{
    const std::string text = Text(6200) + Text(6201) + Text(6202);
    if (ui.MessageBox(text, Text(6203), MsgButtons::OkCancel, MsgIcon::Information) != MsgAnswer::Ok) return false;
    return Burn(true);
}

bool CBurnJob::Burn(bool test)
{
    written = failed = 0;
    if (!CanBurn()) {
        if (burner.EntryCount() == 0) error = kNoRecorder;
        if (kind == Source::None && error.empty()) error = "no source to burn";
        return false;
    }
    if (!SelectRecorder()) return false;
    CCDRDRV& driver = *burner.Driver();
    if (kind == Source::Folder) {
        // The folder may have changed since it was chosen: a DVD that would not play is
        // not burned.
        if (std::string problem; !CheckDvdFolder(folder, problem))
            return Refuse(problem, "This DVD Video folder would not play: " + problem);
        if (label.empty()) label = "Orvo Movie";
        disc->SetLabel(label);
    }
    driver.testWrite = test;
    const std::string device = burner.Transport().DevicePath(burner.Entry(recorderIndex).slot);
    status = SStatus();
    status.copies = copies;
    for (int copy = 0; copy < copies; ++copy) {
        status.copy = copy + 1;
        if (BurnOneDisc(driver, test, copy + 1 < copies)) {
            ++written;
        } else {
            ++failed;
            if (error.rfind(device, 0) != 0) error = device + ": " + error;
        }
    }
    return failed == 0;
}

bool CBurnJob::SelectRecorder()
{
    if (burner.EntryCount() == 0) {
        error = kNoRecorder;
        return false;
    }
    if (burner.DriverIndex() != recorderIndex && burner.Select(recorderIndex) == 0) {
        error = "recorder " + std::to_string(recorderIndex + 1) + " cannot be selected";
        return false;
    }
    if (sleeper) burner.Driver()->SetSleeper(sleeper);
    return true;
}

bool CBurnJob::Eject()
{
    error.clear();
    if (!SelectRecorder()) return false;
    CCDRDRV& driver = *burner.Driver();
    driver.TestUnitReady();
    driver.TestUnitReady();
    if (driver.LoadEject(false) != 0) {
        error = burner.Transport().DevicePath(burner.Entry(recorderIndex).slot) + ": the tray did not open";
        return false;
    }
    return true;
}

int CBurnJob::LoadDisc(CCDRDRV& driver)
{
    driver.TestUnitReady();
    driver.TestUnitReady();
    driver.LoadEject(true);
    driver.TestUnitReady();
    driver.TestUnitReady();
    driver.WaitReady(15);
    driver.RezeroUnit();
    return driver.GetCurrentProfile();
}

bool CBurnJob::BurnOneDisc(CCDRDRV& driver, bool test, bool more)
{
    error.clear();
    const int profile = LoadDisc(driver);
    if (!ProfileWritable(profile)) {
        error = "no blank DVD-R, DVD-RW, DVD+R or DVD+RW disc in the recorder";
        ui.MessageBox(Text(6206), kCaption, MsgButtons::Ok, MsgIcon::Warning);
        return false;
    }
    // A test write on DVD+R or DVD+RW would write the disc for real.
    if (test && (profile == CCDRDRV::kProfileDvdPlusR || profile == CCDRDRV::kProfileDvdPlusRw)) {
        error = CCDRDRV::ProfileText(profile) + " discs cannot be test-written; nothing was written";
        ui.MessageBox(
            "DVD+R and DVD+RW discs do not support test writing, so nothing was written.\n"
            "Insert a DVD-R or DVD-RW disc for a test write, or burn the disc for real.",
            kCaption, MsgButtons::Ok, MsgIcon::Warning);
        EndDisc(driver, nullptr, false, more);
        return false;
    }
    const int speed = kSpeedKbps[std::clamp(speedIndex, 0, kSpeedCount - 1)];
    // The last block is padded with zero sectors to a whole 16-sector block.
    const int64_t padded = (total + kBlockSectors - 1) / kBlockSectors * kBlockSectors;
    if (driver.PrepareWrite(speed, padded) != 0) {
        error = "the disc cannot be prepared for writing: " +
            (driver.Error().empty() ? std::string("it is not blank or its information cannot be read")
                                    : driver.Error());
        ui.MessageBox(Text(6207), kCaption, MsgButtons::Ok, MsgIcon::Warning);
        EndDisc(driver, nullptr, false, more);
        return false;
    }
    if (CDebugger* log = CDebugger::Active()) {
        log->RecordBurn(recorderIndex, profile, speed);
        log->WriteSystem();
    }
    CProgress progress(ui);
    progress.Open(Text(6300), Text(6301));
    progress.SetPercent(0);
    progress.Pump();
    status.percent = 0;
    status.megabytesPerSecond = 0;
    status.bufferPercent = -1;
    status.writing = true;
    Notify();
    bool ok = WriteImage(driver, progress, padded);
    if (ok && driver.FinishDisc() != 0) {
        error = "closing the disc failed: " + driver.Error();
        ok = false;
    }
    if (ok && !driver.CheckDiscFinished()) {
        error = driver.Error();
        ok = false;
    }
    if (ok && verify && !test) ok = VerifyImage(driver, progress, padded);
    status.writing = false;
    if (ok) status.percent = 100;
    Notify();
    EndDisc(driver, &progress, ok, more);
    return ok;
}

bool CBurnJob::WriteImage(CCDRDRV& driver, CProgress& progress, int64_t padded)
{
    // Two buffers in turn: one is being sent while the other holds the block before.
    std::vector<uint8_t> buffers[2] = {std::vector<uint8_t>(size_t(kBlockSectors) * kSector),
                                       std::vector<uint8_t>(size_t(kBlockSectors) * kSector)};
    const int64_t blocks = padded / kBlockSectors;
    int64_t address = 0;
    using Clock = std::chrono::steady_clock;
    const Clock::time_point started = Clock::now();
    Clock::time_point shown = started;
    for (int64_t k = 0; k < blocks; ++k) {
        std::vector<uint8_t>& buffer = buffers[k % 2];
        ReadSource(k * kBlockSectors, kBlockSectors, buffer.data());
        if (k + 1 == blocks) {
            progress.SetText(Text(6300));
            progress.Pump();
        }
        if (driver.WriteBlocks(address, buffer.data(), kBlockSectors) != 0) {
            error = "writing stopped at block " + std::to_string(address) + ": " + driver.Error();
            return false;
        }
        const Clock::time_point now = Clock::now();
        bool changed = false;
        if (now - shown >= rateInterval && k + 1 < blocks) {
            shown = now;
            MeasureRate(driver, address, std::chrono::duration<double>(now - started).count());
            char text[160];
            if (status.bufferPercent >= 0)
                std::snprintf(text, sizeof text, "%s %.1f MB/s, drive buffer %d%%", Text(6301).c_str(),
                              status.megabytesPerSecond, status.bufferPercent);
            else
                std::snprintf(text, sizeof text, "%s %.1f MB/s", Text(6301).c_str(), status.megabytesPerSecond);
            progress.SetText(text);
            changed = true;
        }
        const int percentNow = int(99 * k / blocks);
        if (percentNow != status.percent || changed) {
            status.percent = percentNow;
            Notify();
        }
        progress.SetPercent(percentNow);
        progress.Pump();
    }
    return true;
}

void CBurnJob::MeasureRate(CCDRDRV& driver, int64_t sectors, double seconds)
{
    status.megabytesPerSecond = seconds > 0 ? double(sectors) * kSector / 1e6 / seconds : 0.0;
    status.bufferPercent = -1;
    if (driver.ReadBufferCapacity() == 0 && driver.BufferLength() > 0) {
        const int fill = int(int64_t(driver.BufferLength() - driver.BufferAvailable()) * 100 / driver.BufferLength());
        status.bufferPercent = std::clamp(fill, 0, 100);
    }
}

void CBurnJob::Notify()
{
    if (statusListener) statusListener(status);
}

bool CBurnJob::VerifyImage(CCDRDRV& driver, CProgress& progress, int64_t padded)
{
    progress.SetText("Verifying the disc...");
    std::vector<uint8_t> fromDisc(size_t(kVerifySectors) * kSector);
    std::vector<uint8_t> fromSource(size_t(kVerifySectors) * kSector);
    for (int64_t at = 0; at < padded; at += kVerifySectors) {
        const int n = int(std::min<int64_t>(kVerifySectors, padded - at));
        if (driver.ReadBlocks(at, fromDisc.data(), n) != 0) {
            error = "verify: " + driver.Error();
            return false;
        }
        ReadSource(at, n, fromSource.data());
        for (int i = 0; i < n; ++i) {
            if (std::memcmp(fromDisc.data() + size_t(i) * kSector, fromSource.data() + size_t(i) * kSector, kSector) !=
                0) {
                error = "verify: sector " + std::to_string(at + i) + " on the disc differs from the source";
                return false;
            }
        }
        progress.SetPercent(int(99 * (at + n) / padded));
        progress.Pump();
    }
    return true;
}

void CBurnJob::EndDisc(CCDRDRV& driver, CProgress* progress, bool ok, bool more, bool eject)
{
    if (progress && progress->IsOpen()) {
        progress->SetPercent(100);
        progress->Pump();
    }
    if (eject) {
        driver.TestUnitReady();
        driver.TestUnitReady();
        driver.LoadEject(false);
    }
    if (!ok && !error.empty())
        ui.MessageBox("The disc was not written: " + error + (error.back() == '.' ? "" : "."), kCaption, MsgButtons::Ok,
                      MsgIcon::Error);
    if (more)
        ui.MessageBox(Text(6208), kCaption, MsgButtons::Ok, MsgIcon::Information);
    else if (ok)
        ui.MessageBox(Text(6303), kCaption, MsgButtons::Ok, MsgIcon::Information);
}

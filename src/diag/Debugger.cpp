#include "diag/Debugger.h"

#include "base/File.h"
#include "base/Ini.h"
#include "base/InputFile.h"
#include "base/UiPort.h"
#include "platform/Clock.h"
#include "platform/Folders.h"
#include "platform/SystemInfo.h"

#include <algorithm>
#include <cstdio>

namespace {

std::string Format(const char* format, auto... args)
{
    char text[512];
    std::snprintf(text, sizeof text, format, args...);
    return text;
}

const char packetWriterWarningHead[] = "Warning! The following packet writing is found on your PC:\n\n";
const char packetWriterWarningTail[] =
    "\nPacket writing constantly talks to your CD/DVD burner, and may cause problems with "
    "Kestrova while burning your DVD movie discs. You'd better unmount the disc and remove "
    "the packet-writing device (pktsetup -d NAME) before burning.";

CDebugger* activeLog = nullptr;

}  // namespace

CDebugger* CDebugger::Active() { return activeLog; }

void CDebugger::SetActive(CDebugger* log) { activeLog = log; }

CDebugger::CDebugger(const std::string& folder)
{
    std::string where = CFolders::WithSlash(folder.empty() ? CFolders::State() : folder);
    logPath = where + "dvdlog.txt";
    if (!CFolders::Make(where)) return;
    // Each run starts a log of its own with the eight audio slots at zero, stored at once
    // (a partial file of its own and one rename, as every write); where that cannot be
    // written, nothing is logged.
    std::vector<std::string> lines;
    bool exists = false;
    for (int slot = 1; slot <= audioSlots; ++slot) {
        IniSetInLines(lines, exists, "AUDIO", "AUD" + std::to_string(slot), "T=0 S=0 C=0 B=0");
        exists = true;
    }
    enabled = IniStoreLines(logPath, lines);
}

bool CDebugger::Load(std::vector<std::string>& lines, bool& exists) const
{
    if (holding) {
        lines = held;
        exists = true;
        return true;
    }
    exists = false;
    return IniLoadLines(logPath, lines, &exists) || !exists;
}

bool CDebugger::Store(const std::vector<std::string>& lines)
{
    if (!holding) return IniStoreLines(logPath, lines);
    held = lines;
    return true;
}

void CDebugger::Write(const std::string& section, const std::string& key, const std::string& value)
{
    if (!enabled) return;
    // A line break inside a name or value would split its line and end the section early.
    for (const std::string* part : {&section, &key, &value})
        if (part->find_first_of("\r\n") != std::string::npos) return;
    std::vector<std::string> lines;
    bool exists = false;
    // A log that is there but cannot be read is left alone.
    if (!Load(lines, exists)) return;
    IniSetInLines(lines, exists, section, key, value);
    Store(lines);
}

void CDebugger::Hold()
{
    if (!enabled || holding) return;
    bool exists = false;
    std::vector<std::string> lines;
    // A log that is there but cannot be read is not held (a release would replace it);
    // the writes then go to the file one by one and find it as they can.
    if (!Load(lines, exists)) return;
    held = std::move(lines);
    holding = true;
}

bool CDebugger::Release()
{
    if (!holding) return enabled;
    holding = false;
    std::vector<std::string> lines = std::move(held);
    held.clear();
    return IniStoreLines(logPath, lines);
}

int CDebugger::MeasureCpu(unsigned parts)
{
    if (parts == 0) parts = 1;
    CClock& clock = Clock();
    const uint64_t span = clock.CounterFrequency() / parts;
    const uint64_t c0 = clock.Counter();
    const uint64_t t0 = clock.TimeStampCounter();
    while (clock.Counter() - c0 < span) {}
    const uint64_t t1 = clock.TimeStampCounter();
    const int speed = static_cast<int>((t1 - t0) * parts / 1000000u);
    cpuTypeText = Format("CPU Type: %s, Speed = %d MHz", System().CpuVendor().c_str(), speed);
    return speed;
}

void CDebugger::CollectSystemTexts(const std::string& diskPath)
{
    CSystemInfo& system = System();
    std::string os = system.KernelText();
    std::string distribution = system.DistributionText();
    if (!distribution.empty()) os += " (" + distribution + ")";
    osText = "Windows Version: " + os;

    uint64_t total = 0, available = 0;
    system.Memory(total, available);
    memoryText =
        Format("Total Memory = %d MB, Free=%d MB", static_cast<int>(total >> 20), static_cast<int>(available >> 20));

    CCpuFeatures features = system.CpuFeatures();
    cpuFeatureText = Format("CPU (MMX,SSE,SSE2,nCPU): %d,%d,%d,%d", features.mmx ? 1 : 0, features.sse ? 1 : 0,
                            features.sse2 ? 1 : 0, system.CoreCount());

    uint64_t freeBytes = 0;
    system.FreeSpace(diskPath.empty() ? CFolders::Home() : diskPath, freeBytes);
    const float gigabytes = static_cast<float>(freeBytes >> 20) / 1024.0f;
    diskText = Format("Free Space on C: %3.2f GB", static_cast<double>(gigabytes));
}

void CDebugger::SetBurners(const std::vector<std::string>& names)
{
    burnerCount = static_cast<int>(names.size());
    burnerNames.assign(names.begin(), names.begin() + std::min<size_t>(names.size(), maxBurnerNames));
}

void CDebugger::DetectPacketWriters() { packetWriters = System().PacketWriters(); }

bool CDebugger::WarnPacketWriters()
{
    if (packetWriters.empty()) return false;
    std::string text = packetWriterWarningHead;
    for (const SPacketWriter& writer : packetWriters) text += "       " + PacketWriterText(writer) + "\n";
    text += packetWriterWarningTail;
    Ui().MessageBox(text, "Kestrova", MsgButtons::Ok, MsgIcon::Warning);
    return true;
}

std::string CDebugger::PacketWriterText(const SPacketWriter& writer)
{
    std::string text = writer.device;
    if (!writer.drive.empty() && writer.drive != writer.device) text += " on " + writer.drive;
    if (!writer.mountPoint.empty()) text += " at " + writer.mountPoint;
    // A mount point may hold any byte but "/" and zero; a line break would cost the
    // report its line, so control characters are shown as "?".
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 32 || c == 127) c = '?';
    return text;
}

void CDebugger::RecordBurn(int burnerIndex, int profile, int speed)
{
    lastBurner = burnerIndex;
    lastDiscType = profile;
    lastSpeed = speed;
}

std::string CDebugger::DiscTypeText(int profile)
{
    switch (profile) {
    case 17:
        return "DVD-R";
    case 18:
        return "DVD RAM";
    case 19:
        return "DVD-RW (RO)";
    case 20:
        return "DVD-RW (SEQ)";
    case 26:
        return "DVD+RW";
    case 27:
        return "DVD+R";
    default:
        return "N/A";
    }
}

std::string CDebugger::OtherSoftwareText() const
{
    std::string text = " ";
    for (const SPacketWriter& writer : packetWriters) text += PacketWriterText(writer) + ", ";
    return text;
}

std::vector<std::pair<std::string, std::string>> CDebugger::SystemEntries() const
{
    std::vector<std::pair<std::string, std::string>> entries = {
        {"OS", osText},       {"DirectX", directxText}, {"Memory", memoryText},
        {"CPU", cpuTypeText}, {"MMX", cpuFeatureText},  {"DISK", diskText},
    };
    for (size_t i = 0; i < burnerNames.size(); ++i)
        entries.emplace_back("Burner" + std::to_string(i + 1), burnerNames[i]);
    entries.emplace_back("OtherSoftware", OtherSoftwareText());
    return entries;
}

void CDebugger::WriteSystem()
{
    if (!enabled) return;
    for (const auto& [key, value] : SystemEntries()) Write("System", key, value);
    if (lastBurner != -1) WriteLastBurn();
}

void CDebugger::WriteLastBurn()
{
    // The record's value ends with a line feed, so an empty line follows it in the file.
    // The writer keeps line breaks out of values, so the line and the empty line after it
    // are placed here; a rewrite reuses that empty line instead of adding another.
    const std::string value = Format("%d,%s,%d", lastBurner, DiscTypeText(lastDiscType).c_str(), lastSpeed);
    std::vector<std::string> lines;
    bool exists = false;
    if (!Load(lines, exists)) return;
    IniSetInLines(lines, exists, "System", "LastBuringJob", value);
    const std::string entry = "LastBuringJob=" + value;
    auto line = std::find(lines.begin(), lines.end(), "[System]");
    line = std::find(line, lines.end(), entry);
    if (line == lines.end()) return;
    ++line;
    if (line == lines.end() || !line->empty()) lines.insert(line, std::string());
    Store(lines);
}

void CDebugger::WriteProcesses()
{
    if (!enabled) return;
    std::vector<std::string> names = System().Processes();
    for (size_t i = 0; i < names.size(); ++i) Write("Process", "Process" + std::to_string(i + 1), names[i]);
}

void CDebugger::WriteVersion(const std::string& version) { Write("kestrova", "Version", version); }

void CDebugger::WriteVideoFile(const std::string& path)
{
    if (!enabled) return;
    Write("VIDEO", "File", path);
    std::string info;
    std::string unreadable;
    const CFileDescriptor in = OpenInputFile(path, unreadable);
    char bytes[400];
    if (in) {
        const size_t got = ReadDescriptorAt(in.Get(), bytes, sizeof bytes, 0);
        for (size_t i = 0; i < got; ++i) {
            unsigned char c = static_cast<unsigned char>(bytes[i]);
            info += (c < 32 || c > 127) ? '.' : static_cast<char>(c);
        }
    }
    Write("VIDEO", "Info", info);
}

void CDebugger::WriteVideoQuality(const std::string& mode)
{
    if (enabled) Write("VIDEO", "Quality", mode);
}

void CDebugger::WriteUsb(const std::string& text)
{
    if (!enabled) return;
    ++usbCount;
    Write("USB", "USB" + std::to_string(usbCount), text);
}

void CDebugger::WriteJobNote(const std::string& text)
{
    if (!enabled) return;
    ++noteCount;
    Write("SLIDESHOW", "Note" + std::to_string(noteCount), text);
}

void CDebugger::WriteAudioSlot(int slot, int t, int s, int c, int b)
{
    if (slot < 1 || slot > audioSlots) return;
    Write("AUDIO", "AUD" + std::to_string(slot), Format("T=%d S=%d C=%d B=%d", t, s, c, b));
}

void CDebugger::WriteSampleSize(int n) { Write("AUDIO", "samplesize", std::to_string(n)); }

void CDebugger::WriteAudioModel(const std::string& text) { Write("AUDIO", "model", text); }

// The diagnostic log: a small INI report about the machine and the last jobs, kept in
// dvdlog.txt in the state folder so that a user can send it when something goes wrong.
// Each fact is written the moment it becomes known (the whole file is rewritten each
// time), so the file is useful even when the program later fails. The log is emptied at
// every start. When its folder or file cannot be made the log stays disabled, silently,
// and every write does nothing.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

class CDebugger {
public:
    static constexpr int maxBurnerNames = 8;
    static constexpr int audioSlots = 8;

    // Creates `folder` (default: the state folder) and an empty "dvdlog.txt" in it, then
    // writes the eight "AUD%d" keys with zeros. `enabled` tells whether that worked.
    explicit CDebugger(const std::string& folder = std::string());
    virtual ~CDebugger() = default;

    // Measures the processor's clock against the monotonic clock over one second, fills
    // `cpuTypeText` with the vendor text and the speed, and returns the speed in MHz.
    int MeasureCpu();
    // Fills `osText`, `memoryText`, `cpuFeatureText` and `diskText` from the running system
    // (free space of the file system holding `diskPath`, default the home folder).
    void CollectSystemTexts(const std::string& diskPath = std::string());
    // Sets the burner list kept for the report (at most eight names are kept).
    void SetBurners(const std::vector<std::string>& names);
    // Looks for packet-writing software in the registry stand-in and sets the three flags.
    void DetectPacketWriters();
    // Shows the packet-writing warning through the port when no recorder was found and
    // Sonic DLA is present; returns true when it was shown.
    bool WarnPacketWriters();
    // Records the burn that is about to start; "LastBuringJob" is written from then on.
    // `profile` is the recorder's current MMC profile number.
    void RecordBurn(int burnerIndex, int profile, int speed);

    // The "System" keys and values in the order they are written, without the burn
    // record.
    std::vector<std::pair<std::string, std::string>> SystemEntries() const;
    // Writes the "System" section: OS, DirectX, Memory, CPU, MMX, DISK, Burner1..n,
    // OtherSoftware and, once a burn was recorded, LastBuringJob.
    void WriteSystem();
    // Writes "Process1".."Processn" with the executable names of the running processes.
    void WriteProcesses();
    // Writes the program's version text under "kestrova", "Version".
    void WriteVersion(const std::string& version);
    // Writes "VIDEO" "File" (the path) and "Info" (its first 400 bytes, every byte below
    // 32 or above 127 shown as "."); "Info" is empty when the file cannot be read.
    void WriteVideoFile(const std::string& path);
    // Writes a text about a USB-attached device as "USB%d", numbered by a running count.
    void WriteUsb(const std::string& text);
    // Writes a job's warning (a photo shown black, photos left out) as "Note%d" under
    // "SLIDESHOW", numbered by a running count.
    void WriteJobNote(const std::string& text);
    // Writes "AUD%d" = "T=%d S=%d C=%d B=%d" for slot 1..8; other slots are ignored.
    void WriteAudioSlot(int slot, int t, int s, int c, int b);
    // Writes "samplesize" under "AUDIO".
    void WriteSampleSize(int n);
    // Writes the Layer II encoder's model line (its psychoacoustic model's set-up
    // message) as "model" under "AUDIO".
    void WriteAudioModel(const std::string& text);

    // The application's log, for the parts of the program that add facts to it (media
    // import, recorder transport, burn job); nullptr before start-up made one.
    static CDebugger* Active();
    // Makes `log` the application's log (not owned); nullptr clears it.
    static void SetActive(CDebugger* log);

    // The disc type text for an MMC profile number ("DVD-R", ..., "N/A").
    static std::string DiscTypeText(int profile);
    // The text of "OtherSoftware" for the current flags.
    std::string OtherSoftwareText() const;

    bool enabled = false;
    std::string logPath;
    std::string osText;
    std::string directxText;
    std::string memoryText;
    std::string cpuFeatureText;
    std::string cpuTypeText;
    std::string diskText;
    int burnerCount = 0;
    std::vector<std::string> burnerNames;
    bool sonicDla = false;
    bool roxioDragToDisc = false;
    bool neroInCd = false;
    int lastBurner = -1;
    int lastDiscType = -1;
    int lastSpeed = -1;

private:
    void WriteLastBurn();
    void Write(const std::string& section, const std::string& key, const std::string& value);
    int usbCount = 0;
    int noteCount = 0;
};

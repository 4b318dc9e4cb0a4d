// The diagnostic log: a small INI report about the machine and the last jobs, kept in
// dvdlog.txt in the state folder so that a user can send it when something goes wrong.
// Each fact is written the moment it becomes known (the whole file is rewritten each
// time), so the file is useful even when the program later fails. The log is emptied at
// every start. When its folder or file cannot be made the log stays disabled, silently,
// and every write does nothing. A run that writes a whole report at once (the command
// line's start) holds the writes and stores them with one rename, so two runs starting
// together each leave a whole report.
#pragma once

#include "platform/SystemInfo.h"

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

    // Measures the processor's clock against the monotonic clock over one second (over
    // 1/`parts` of a second for a quick start, scaled up), fills `cpuTypeText` with the
    // vendor text and the speed, and returns the speed in MHz.
    int MeasureCpu(unsigned parts = 1);
    // Fills `osText`, `memoryText`, `cpuFeatureText` and `diskText` from the running system
    // (free space of the file system holding `diskPath`, default the home folder).
    void CollectSystemTexts(const std::string& diskPath = std::string());
    // Sets the burner list kept for the report (at most eight names are kept).
    void SetBurners(const std::vector<std::string>& names);
    // Asks the system for drives in packet-writing use (pktcdvd devices, UDF mounted for
    // writing from an optical drive) and keeps them in `packetWriters`.
    void DetectPacketWriters();
    // Shows the packet-writing warning, naming each device, through the port when a drive
    // is in packet-writing use (recorders listed or not: a pktcdvd device does not hide
    // its drive, it competes with the burn); returns true when it was shown.
    bool WarnPacketWriters();
    // From now on writes change a copy of the log in memory only, until Release.
    void Hold();
    // Stores the held copy with one rename and ends holding; false when it could not be
    // written (the log file keeps what it had).
    bool Release();
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
    // Writes the video encoder's mode as "Quality" under "VIDEO" ("high" for the
    // high-quality mode; nothing is written for the standard one).
    void WriteVideoQuality(const std::string& mode);
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
    // The text of "OtherSoftware": " " followed by "<device>, " for each packet writer
    // ("/dev/pktcdvd/dvd0 on /dev/sr0 at /media/dvd, ").
    std::string OtherSoftwareText() const;
    // One packet writer as the report and the warning name it.
    static std::string PacketWriterText(const SPacketWriter& writer);

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
    std::vector<SPacketWriter> packetWriters;
    int lastBurner = -1;
    int lastDiscType = -1;
    int lastSpeed = -1;

private:
    // The log's lines (the held copy while holding); false when the file is there but
    // cannot be read.
    bool Load(std::vector<std::string>& lines, bool& exists) const;
    // Stores `lines` as the log (into the held copy while holding).
    bool Store(const std::vector<std::string>& lines);
    void WriteLastBurn();
    void Write(const std::string& section, const std::string& key, const std::string& value);
    bool holding = false;
    std::vector<std::string> held;
    int usbCount = 0;
    int noteCount = 0;
};

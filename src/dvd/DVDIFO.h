// CDVDIFO: writes VIDEO_TS.IFO and VIDEO_TS.BUP for a DVD folder that holds title sets
// VTS_01 ... VTS_nn. Each title set becomes one title; a command-only title menu plays
// the titles one after another and stops after the last one. The title sets' own
// end-of-title commands are renumbered, and every IFO file is copied to its BUP.
#pragma once

#include <cstdint>
#include <string>

class CDVDIFO {
public:
    static constexpr int maxTitleSets = 99;
    static constexpr int vmgSectors = 53;

    // Scans `folder` for VTS_01_0.IFO, VTS_02_0.IFO ... (stopping at the first one
    // missing), writes VIDEO_TS.IFO and copies every IFO to its BUP. Returns false when
    // no title set was found or a file could not be read or written; Error() then names
    // the file and the problem.
    bool WriteVmg(const std::string& folder);

    // Results of the last WriteVmg.
    int TitleSetCount() const { return titleSets; }
    // Size in sectors of title set i (0-based), IFO, VOBs and BUP together.
    int32_t TitleSetSectors(int i) const { return setSectors[i]; }
    int Chapters(int i) const { return chapters[i]; }
    const std::string& Error() const { return error; }

private:
    bool ScanTitleSet(int number, bool& found);
    bool RenumberEndOfTitle(const std::string& path, int number);
    bool WriteVideoTsIfo();
    bool CopyFile(const std::string& from, const std::string& to);

    std::string folder;
    int titleSets = 0;
    int32_t setSectors[maxTitleSets] = {};
    uint8_t attributes[maxTitleSets][768] = {};
    int chapters[maxTitleSets] = {};
    std::string error;
};

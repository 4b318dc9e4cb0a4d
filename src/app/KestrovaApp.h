// The application object: the start-up sequence (working folders, language, remembered
// folders, machine checks, system report) and the folders remembered for the file
// dialogs. The desktop program derives from it to create and show its main window; the
// command-line program uses the checks and the report without a window.
#pragma once

#include "base/Language.h"
#include "diag/Debugger.h"
#include "picture/Photo.h"

#include <memory>
#include <string>
#include <vector>

// One library the program was built against and the one found when it runs.
struct CLibraryVersion {
    std::string name;  // "libavcodec"
    unsigned built = 0;  // major << 16 | minor << 8 | micro, as the headers gave it
    unsigned running = 0;  // the same, as the loaded library reports it
};

class CKestrovaApp {
public:
    enum Folder { kPhoto = 1, kProject = 2, kMusic = 3, kMedia = 4, kDiscImage = 5 };

    CKestrovaApp();
    virtual ~CKestrovaApp();

    // The whole start-up in order. Returns false when the program must end (a check
    // failed or the person chose to quit); true after the main window closed.
    bool InitInstance();

    // Sets programFolder (the data folder), configFolder and settingsPath, creates the
    // configuration folder and ~/TempDVD/ with AUDIO_TS/ and VIDEO_TS/ inside, and sets
    // dvdFolder. Returns false when the DVD folder could not be made (start-up goes on:
    // the jobs report it when they need the folder).
    bool PrepareFolders();
    // Reads the five remembered folders from Kestrova.ini, with their defaults.
    void LoadSettings();
    // Remembers the folder of `chosenPath` (a file, or a folder itself) for the dialog of
    // kind `kind` (1 photo, 2 project, 3 music, 4 media, 5 disc image) and writes it to
    // Kestrova.ini at once. Returns false for an unknown kind or when the file could not
    // be written (the folder is still remembered for this run).
    bool RememberFolder(int kind, const std::string& chosenPath);
    // The remembered folder for a dialog kind ("" for an unknown kind).
    std::string RememberedFolder(int kind) const;

    // Asks about optical drives this user may not open for reading and writing; false
    // when the person chose to quit.
    bool CheckDrives();
    // Checks that the FFmpeg libraries in use are not older than the ones the program
    // was built with, and keeps the FFmpeg version for the report. False (after a
    // message) when one is older or cannot be loaded (the message names it and why).
    bool CheckLibraries();
    // Identifies the processor; false (after key 302) when it lacks MMX.
    bool CheckProcessor();
    // Empties the diagnostic log and makes it the application's (CDebugger::Active) when
    // this run has none yet.
    void StartLog();
    // Lists the machine's DVD recorders and keeps their names for the report; the drives
    // are closed again at once, so that a burn session can open them for itself.
    void ListRecorders();
    // Measures the processor (over 1/`cpuParts` of a second), collects the system texts
    // and burner names, detects and warns about packet-writing use of a drive and writes
    // the system report and the process list into the diagnostic log.
    void WriteSystemReport(unsigned cpuParts = 1);
    // The start-up of the command-line program, without questions and kept short: the
    // working folders, the remembered folders, the recorder list and the system report
    // with the version, written to the log with one rename. The language is the caller's. Never ends the
    // program: a run without a log or a DVD folder goes on.
    void StartCommandLine();

    // The libraries checked by CheckLibraries, with their built and running versions
    // (running 0 when FFmpeg's libraries cannot be loaded at all).
    static std::vector<CLibraryVersion> FfmpegVersions();
    // The names of the libraries in `libraries` that are older than at build time or of
    // another major version, joined with ", "; "" when all are fine.
    static std::string OutdatedLibraries(const std::vector<CLibraryVersion>& libraries);

    // Folders. A folder used as a prefix ends with "/".
    std::string programFolder;  // the data folder: Language/, done.wav, still.jpg
    std::string configFolder;  // Kestrova.ini and language.set
    std::string settingsPath;  // configFolder + "Kestrova.ini"
    std::string dvdFolder;  // ~/TempDVD/VIDEO_TS/
    std::string photoDir;
    std::string musicDir;
    std::string photoShowDir;
    std::string mediaDir;
    std::string isoDir;

    // Facts kept for the report.
    std::string directxText;  // "DirectX Version: " + the FFmpeg version text
    std::vector<std::string> burnerNames;
    bool cpuMmx = false;
    bool cpuSse = false;
    bool cpuSse2 = false;
    bool stillPrepared = false;  // "still.jpg" was turned into the media import's picture
    // "still.jpg" of the data folder fitted into 720 x 480 on black (bottom-up lines), or
    // none when the file is missing or cannot be decoded.
    std::unique_ptr<CPhoto> stillPhoto;

    // Chooses a language when neither language.set nor the locale decides (the desktop
    // program asks the person); empty keeps English.
    LanguageAsk languageAsk;
    std::unique_ptr<CDebugger> debugger;

protected:
    // Creates the main window (the desktop program); the default has none.
    virtual void CreateMainWindow() {}
    // Shows the main window until it closes; the default returns at once.
    virtual void ShowMainWindow() {}
    // Prepares the still picture from programFolder + "still.jpg"; true when done.
    virtual bool PrepareStillPicture();
};

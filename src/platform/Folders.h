// The folders the program works in, following Linux conventions. Every folder returned
// ends with "/". Each answer is worked out from the environment when asked, so tests
// steer it through HOME, XDG_CONFIG_HOME, XDG_STATE_HOME and KESTROVA_DATA_DIR.
#pragma once

#include <string>

class CFolders {
public:
    enum class User { Pictures, Music, Videos, Documents };

    // The home folder: $HOME, else the password database's entry, else "/tmp/".
    static std::string Home();
    // The program's data folder (Language/, done.wav, still.jpg): $KESTROVA_DATA_DIR when
    // set; else the installed share/kestrova beside the program (../share/kestrova from the
    // executable) when it exists; else the source tree's data/ folder.
    static std::string Data();
    // The configuration folder for Kestrova.ini and language.set:
    // $XDG_CONFIG_HOME/kestrova/, default ~/.config/kestrova/. Not created.
    static std::string Config();
    // The state folder for dvdlog.txt and graph.txt: $XDG_STATE_HOME/kestrova/, default
    // ~/.local/state/kestrova/. Not created.
    static std::string State();
    // An XDG user folder (from $XDG_CONFIG_HOME/user-dirs.dirs, else the usual English
    // name under the home folder) when it exists as a folder and is not the home folder
    // itself; else an empty string.
    static std::string UserFolder(User which);
    // The root of the default DVD folder: ~/TempDVD/.
    static std::string DvdRoot();
    // The default DVD folder: ~/TempDVD/VIDEO_TS/.
    static std::string DefaultDvdFolder();
    // The folder of the running program (from /proc/self/exe), or "" when unknown.
    static std::string ExecutableFolder();

    // `path` with a "/" added when it does not end in one (an empty path stays empty).
    static std::string WithSlash(const std::string& path);
    // Creates `path` and its missing parents; true when it exists as a folder afterwards.
    static bool Make(const std::string& path);
};

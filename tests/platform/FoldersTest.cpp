#include "platform/Folders.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>

namespace fs = std::filesystem;

namespace {

// Sets environment variables for one test and restores them afterwards.
class CEnvScope {
public:
    void Set(const std::string& name, const std::optional<std::string>& value)
    {
        if (!saved.count(name)) {
            const char* old = std::getenv(name.c_str());
            saved.emplace(name, old ? std::optional<std::string>(old) : std::nullopt);
        }
        if (value)
            setenv(name.c_str(), value->c_str(), 1);
        else
            unsetenv(name.c_str());
    }
    ~CEnvScope()
    {
        for (auto& [name, value] : saved) {
            if (value)
                setenv(name.c_str(), value->c_str(), 1);
            else
                unsetenv(name.c_str());
        }
    }

private:
    std::map<std::string, std::optional<std::string>> saved;
};

}  // namespace

TEST(Folders, BaseFoldersFollowXdgVariablesAndTheirDefaults)
{
    testsupport::TempDir home;
    CEnvScope env;
    env.Set("HOME", home.Path().string() + "/");
    env.Set("XDG_CONFIG_HOME", std::nullopt);
    env.Set("XDG_STATE_HOME", std::nullopt);
    const std::string h = home.Path().string() + "/";
    EXPECT_EQ(CFolders::Home(), h);
    EXPECT_EQ(CFolders::Config(), h + ".config/kestrova/");
    EXPECT_EQ(CFolders::State(), h + ".local/state/kestrova/");
    EXPECT_EQ(CFolders::DefaultDvdFolder(), h + "TempDVD/VIDEO_TS/");

    env.Set("XDG_CONFIG_HOME", "/etc/xdg-test");
    env.Set("XDG_STATE_HOME", "/var/state/");
    EXPECT_EQ(CFolders::Config(), "/etc/xdg-test/kestrova/");
    EXPECT_EQ(CFolders::State(), "/var/state/kestrova/");

    // Relative values are not allowed by the XDG rules and are ignored.
    env.Set("XDG_STATE_HOME", "relative/state");
    EXPECT_EQ(CFolders::State(), h + ".local/state/kestrova/");
    env.Set("XDG_CONFIG_HOME", "");
    EXPECT_EQ(CFolders::Config(), h + ".config/kestrova/");
}

TEST(Folders, DataFolderOverrideAndSourceTreeFallback)
{
    CEnvScope env;
    env.Set("KESTROVA_DATA_DIR", "/opt/kestrova-data");
    EXPECT_EQ(CFolders::Data(), "/opt/kestrova-data/");
    env.Set("KESTROVA_DATA_DIR", std::nullopt);
    // The test program is not installed, so the source tree's data folder is used.
    EXPECT_EQ(CFolders::Data(), CFolders::WithSlash(testsupport::DataDir()));
}

TEST(Folders, UserFoldersFromUserDirsFile)
{
    testsupport::TempDir home;
    CEnvScope env;
    env.Set("HOME", home.Path().string());
    env.Set("XDG_CONFIG_HOME", home.File("cfg"));
    fs::create_directories(home.File("cfg"));
    fs::create_directories(home.File("Bilder mit \"Zitat\""));
    fs::create_directories(home.File("abs"));
    fs::create_directories(home.File("Documents"));
    fs::create_directories(home.File("Videos"));
    testsupport::WriteText(home.File("cfg/user-dirs.dirs"),
                           "  # comment\n"
                           "XDG_PICTURES_DIR=\"$HOME/Bilder mit \\\"Zitat\\\"\"\n"
                           "XDG_MUSIC_DIR=\"" +
                               home.File("abs") +
                               "\"\n"
                               "XDG_VIDEOS_DIR=\"$HOME/\"\n"
                               "XDG_DOCUMENTS_DIR=\"$HOME/NotThere\"\n");
    EXPECT_EQ(CFolders::UserFolder(CFolders::User::Pictures), home.File("Bilder mit \"Zitat\"") + "/");
    EXPECT_EQ(CFolders::UserFolder(CFolders::User::Music), home.File("abs") + "/");
    // Set to the home folder: switched off, even though ~/Videos exists.
    EXPECT_EQ(CFolders::UserFolder(CFolders::User::Videos), "");
    // Named but missing: absent (the English default is not tried instead).
    EXPECT_EQ(CFolders::UserFolder(CFolders::User::Documents), "");

    // Without the file the usual English names are used when they exist.
    fs::remove(home.File("cfg/user-dirs.dirs"));
    EXPECT_EQ(CFolders::UserFolder(CFolders::User::Documents), home.File("Documents") + "/");
    EXPECT_EQ(CFolders::UserFolder(CFolders::User::Videos), home.File("Videos") + "/");
    EXPECT_EQ(CFolders::UserFolder(CFolders::User::Music), "");
}

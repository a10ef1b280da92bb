// End-to-end, in a Wine prefix of its own: a player installed under the system
// folder is found there, but only after the executable's folder and Kivox.
#include <gtest/gtest.h>

#include <string>

#include "test_support.h"

using namespace lumvtest;

namespace {

// The installed player "<system folder>\Vantorel\Brisklume 8\lumv.dll", for the
// lifetime of the object. Removing it again leaves the folders in place only
// when they hold something else.
class InstalledPlayer {
public:
    InstalledPlayer() {
        char system[MAX_PATH];
        UINT length = GetSystemDirectoryA(system, sizeof system);
        if (length == 0 || length >= sizeof system) {
            return;
        }
        vendorFolder_ = std::string(system) + "\\Vantorel";
        playerFolder_ = vendorFolder_ + "\\Brisklume 8";
        playerPath_ = playerFolder_ + "\\lumv.dll";
        installed_ = MakeFolder(playerFolder_) && CopyFileTo(TestPlayerDllPath(), playerPath_);
    }
    ~InstalledPlayer() {
        if (playerPath_.empty()) {
            return;
        }
        DeleteFileA(playerPath_.c_str());
        RemoveDirectoryA(playerFolder_.c_str());
        RemoveDirectoryA(vendorFolder_.c_str());
    }
    InstalledPlayer(const InstalledPlayer &) = delete;
    InstalledPlayer &operator=(const InstalledPlayer &) = delete;

    bool installed() const { return installed_; }
    const std::string &path() const { return playerPath_; }

private:
    std::string vendorFolder_;
    std::string playerFolder_;
    std::string playerPath_;
    bool installed_ = false;
};

TEST(SystemInstall, IsTheLastPlaceSearched) {
    enum Copy { InstalledOnly, AlsoBesideExe, AlsoInKivox };
    struct Case {
        const char *name;
        Copy copy;
        const char *expectedLocation;
    };
    const Case cases[] = {
        {"installed only", InstalledOnly, "4"},
        {"also beside the executable", AlsoBesideExe, "1"},
        {"also in Kivox", AlsoInKivox, "3"},
    };
    InstalledPlayer installedPlayer;
    ASSERT_TRUE(installedPlayer.installed()) << installedPlayer.path();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Presentation show("sysinstall");
        std::string expectedModule = installedPlayer.path();
        if (c.copy == AlsoBesideExe) {
            ASSERT_TRUE(show.PutPlayer(show.exeFolder()));
            expectedModule = show.exeFolder() + "\\lumv.dll";
        } else if (c.copy == AlsoInKivox) {
            ASSERT_TRUE(show.PutPlayer(show.KivoxFolder()));
            expectedModule = show.KivoxFolder() + "\\lumv.dll";
        }

        EXPECT_TRUE(PlayerRanFrom(show, c.expectedLocation, expectedModule));
    }
}

}  // namespace

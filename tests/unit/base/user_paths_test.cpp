// Where a portable and an installed copy write, and the private folders
// they make.

#include "base/user_paths.h"

#include <map>
#include <set>
#include <string>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "tests/support/temp_files.h"

namespace kestrix {
namespace {

struct Case {
    const char* what;
    std::string program;
    bool writable;
    std::map<std::string, std::string> vars;
    std::string home;
    std::set<std::string> files;  // regular files that exist
    UserPaths expected;
};

PathEnvironment Fake(const Case& c) {
    PathEnvironment env;
    env.getenv = [&c](const char* name) -> const char* {
        auto it = c.vars.find(name);
        return it == c.vars.end() ? nullptr : it->second.c_str();
    };
    env.writable = [&c](const std::string&) { return c.writable; };
    env.fileExists = [&c](const std::string& path) { return c.files.count(path) > 0; };
    env.home = [&c] { return c.home; };
    return env;
}

TEST(UserPaths, PortableCopiesWriteBesideTheProgramInstalledOnesInTheUsersFolders) {
    const std::map<std::string, std::string> xdg = {{"XDG_RUNTIME_DIR", "/run/user/1000"},
                                                    {"XDG_STATE_HOME", "/home/op/st"},
                                                    {"XDG_CONFIG_HOME", "/home/op/cf"}};
    const std::string lib = "/usr/lib/kestrix/";
    const std::vector<Case> cases = {
        {"build folder, XDG set: as ever",
         "/src/build/bundle/",
         true,
         xdg,
         "/home/op",
         {"/home/op/cf/kestrix/Setting.ini"},
         {false, "/src/build/bundle/", "/src/build/bundle/", "/src/build/bundle/",
          "/src/build/bundle/service/"}},
        {"installed, XDG set, no own settings",
         lib,
         false,
         xdg,
         "/home/op",
         {},
         {true, lib, lib, "/run/user/1000/kestrix/", "/home/op/st/kestrix/"}},
        {"installed, own Setting.ini",
         lib,
         false,
         xdg,
         "/home/op",
         {"/home/op/cf/kestrix/Setting.ini"},
         {true, lib, "/home/op/cf/kestrix/", "/run/user/1000/kestrix/", "/home/op/st/kestrix/"}},
        {"installed, no XDG: the home defaults; no runtime folder",
         "/usr/lib/kestrix",
         false,
         {},
         "/home/op/",
         {"/home/op/.config/kestrix/Setting.ini"},
         {true, lib, "/home/op/.config/kestrix/", "/home/op/.local/state/kestrix/",
          "/home/op/.local/state/kestrix/"}},
        {"installed, relative XDG values are ignored",
         lib,
         false,
         {{"XDG_RUNTIME_DIR", "run"}, {"XDG_STATE_HOME", "st"}, {"XDG_CONFIG_HOME", ""}},
         "/home/op",
         {"/home/op/.config/kestrix/Setting.ini"},
         {true, lib, "/home/op/.config/kestrix/", "/home/op/.local/state/kestrix/",
          "/home/op/.local/state/kestrix/"}},
        {"installed, no home and no XDG: nowhere else to go",
         lib,
         false,
         {},
         "",
         {},
         {true, lib, lib, lib, lib + "service/"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        UserPaths p = ResolveUserPaths(c.program, Fake(c));
        EXPECT_EQ(p.installed, c.expected.installed);
        EXPECT_EQ(p.programDir, c.expected.programDir);
        EXPECT_EQ(p.settingsDir, c.expected.settingsDir);
        EXPECT_EQ(p.scratchDir, c.expected.scratchDir);
        EXPECT_EQ(p.stateDir, c.expected.stateDir);
    }
}

TEST(UserPaths, EnsureUserFolderMakesPrivateParentsAndRefusesAFileInTheWay) {
    kestrix::testing::TempDir tmp;
    const std::string deep = tmp.File("state/kestrix/");
    ASSERT_TRUE(EnsureUserFolder(deep));
    EXPECT_TRUE(EnsureUserFolder(deep)) << "a second call finds it there";
    struct stat st {};
    ASSERT_EQ(::stat(tmp.File("state").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    ASSERT_EQ(::stat(deep.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    tmp.Write("plain", "x");
    EXPECT_FALSE(EnsureUserFolder(tmp.File("plain/kestrix/")));
    EXPECT_FALSE(EnsureUserFolder(""));
}

}  // namespace
}  // namespace kestrix

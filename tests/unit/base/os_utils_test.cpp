#include "base/os_utils.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <signal.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include <gtest/gtest.h>

#include "base/single_instance.h"
#include "base/text_utils.h"
#include "kestrix_version.h"

namespace kestrix {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

class TempFolder : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("kx-os-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string Write(const std::string& name, const std::string& text, bool executable = false) {
        fs::path p = dir_ / name;
        std::ofstream(p, std::ios::binary) << text;
        if (executable) fs::permissions(p, fs::perms::owner_all, fs::perm_options::add);
        return p.string();
    }
    // A copy of sleep under a name no other process on the machine has.
    std::string Sleeper() {
        name_ = "kx-sleeper-" + std::to_string(::getpid());
        fs::path p = dir_ / name_;
        fs::copy_file("/bin/sleep", p);
        return p.string();
    }
    static std::string Slurp(const fs::path& p) {
        std::ifstream in(p);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    // Polls `done` for up to 10 s (a generous bound, not a timing check).
    template <typename F>
    static bool Eventually(F done) {
        for (auto end = Clock::now() + std::chrono::seconds(10); Clock::now() < end;) {
            if (done()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return done();
    }

    fs::path dir_;
    std::string name_;
};

TEST(FormatText, FormatsAndCutsAt1022BytesOnACharacterBoundary) {
    EXPECT_EQ(FormatText("%s:%d", "count", 7), "count:7");
    const std::string big(2000, 'x');
    EXPECT_EQ(FormatText("%s", big.c_str()).size(), 1022u);
    // 1021 ASCII bytes and then a three-byte character: it does not fit
    // whole, so it is left out rather than cut in half.
    const std::string text = std::string(1021, 'a') + "\xE4\xB8\xAD";
    EXPECT_EQ(FormatText("%s", text.c_str()), std::string(1021, 'a'));
    EXPECT_EQ(FormatText("%s", ""), "");
}

TEST(ProgramFolder, IsTheFolderOfTheRunningExecutable) {
    const std::string folder = COperateSystemInfo::ProgramFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), '/');
    const fs::path exe = fs::read_symlink("/proc/self/exe");
    EXPECT_EQ(folder, exe.parent_path().string() + "/");
    EXPECT_EQ(COperateSystemInfo::ProgramFolderCached(), folder);
    EXPECT_EQ(&COperateSystemInfo::ProgramFolderCached(),
              &COperateSystemInfo::ProgramFolderCached());
}

TEST_F(TempFolder, FileVersionTextReadsOnlyOurStamp) {
    EXPECT_EQ(COperateSystemInfo::FileVersionText("/proc/self/exe"), KESTRIX_VERSION_TEXT);
    EXPECT_EQ(COperateSystemInfo::FileVersionText(fs::read_symlink("/proc/self/exe").string()),
              KESTRIX_VERSION_TEXT);
    // A copy of our executable carries the stamp in its bytes.
    const fs::path copy = dir_ / "copy";
    fs::copy_file("/proc/self/exe", copy);
    EXPECT_EQ(COperateSystemInfo::FileVersionText(copy.string()), KESTRIX_VERSION_TEXT);

    EXPECT_EQ(COperateSystemInfo::FileVersionText(Write("plain.txt", "no version here")), "");
    EXPECT_EQ(COperateSystemInfo::FileVersionText("/bin/sleep"), "");
    EXPECT_EQ(COperateSystemInfo::FileVersionText((dir_ / "missing").string()), "");
    EXPECT_EQ(COperateSystemInfo::FileVersionText(dir_.string()), "");
    EXPECT_EQ(COperateSystemInfo::FileVersionText(""), "");
    // A broken stamp first, then a good one across the 1 MiB read boundary.
    // Both are put together at run time: whole in this program's bytes,
    // they would be found in the copy above.
    const std::string prefix =
        std::string("\x01KX") + std::to_string(::getpid()).substr(0, 0) + "VER:";
    const std::string good = prefix + std::to_string(12) + "." + std::to_string(3) + "." +
                             std::to_string(45) + "." + std::to_string(6) + "\x01";
    std::string bytes = prefix + "1.2\x01" + std::string((1 << 20) - 20, 'z') + good;
    EXPECT_EQ(COperateSystemInfo::FileVersionText(Write("stamped.bin", bytes)), "12.3.45.6");
}

TEST_F(TempFolder, RunProgramPassesParametersAndFolder) {
    const std::string script = Write(
        "show.sh", "#!/bin/sh\npwd > out.txt\nfor a in \"$@\"; do echo \"[$a]\" >> out.txt; done\n",
        true);
    ASSERT_TRUE(COperateSystemInfo::RunProgram(script, "one \"two words\"  three", true));
    EXPECT_EQ(Slurp(dir_ / "out.txt"), dir_.string() + "\n[one]\n[two words]\n[three]\n");

    EXPECT_FALSE(COperateSystemInfo::RunProgram((dir_ / "missing").string(), "", true));
    EXPECT_FALSE(COperateSystemInfo::RunProgram((dir_ / "missing").string(), "", false));
    EXPECT_FALSE(COperateSystemInfo::RunProgram(Write("not-exec.sh", "#!/bin/sh\n"), "", false));
    EXPECT_FALSE(COperateSystemInfo::RunProgram("", "", false));

    // Not waited for: it starts, and finishes on its own.
    const std::string later =
        Write("later.sh", "#!/bin/sh\nsleep 0.2\necho done > late.txt\n", true);
    ASSERT_TRUE(COperateSystemInfo::RunProgram(later, "", false));
    EXPECT_TRUE(Eventually([&] { return Slurp(dir_ / "late.txt") == "done\n"; }));
}

TEST_F(TempFolder, TerminateEndsEveryCopy) {
    const std::string sleeper = Sleeper();
    EXPECT_FALSE(COperateSystemInfo::FindProcessByName(name_).has_value());
    ASSERT_TRUE(COperateSystemInfo::RunProgram(sleeper, "60", false));
    ASSERT_TRUE(COperateSystemInfo::RunProgram(sleeper, "60", false));
    ASSERT_TRUE(
        Eventually([&] { return COperateSystemInfo::FindProcessByName(name_).has_value(); }));
    const pid_t first = *COperateSystemInfo::FindProcessByName(name_);
    EXPECT_EQ(ProcessExecutableName(first), name_);
    // Only the exact name: a prefix or another case does not match.
    EXPECT_FALSE(COperateSystemInfo::FindProcessByName(name_.substr(0, name_.size() - 1)));
    EXPECT_FALSE(COperateSystemInfo::FindProcessByName("KX" + name_.substr(2)));

    int signalled = COperateSystemInfo::TerminateProcessesByName(
        name_, [](pid_t pid, int sig) { return ::kill(pid, sig); });
    EXPECT_EQ(signalled, 2);
    EXPECT_TRUE(Eventually([&] { return !COperateSystemInfo::FindProcessByName(name_); }));
}

TEST_F(TempFolder, TerminateStopsOnAProcessItCannotEnd) {
    const std::string sleeper = Sleeper();
    ASSERT_TRUE(COperateSystemInfo::RunProgram(sleeper, "60", false));
    ASSERT_TRUE(
        Eventually([&] { return COperateSystemInfo::FindProcessByName(name_).has_value(); }));

    // Not allowed to signal it (as for another user's process).
    int calls = 0;
    int signalled = COperateSystemInfo::TerminateProcessesByName(name_, [&](pid_t, int) {
        ++calls;
        errno = EPERM;
        return -1;
    });
    EXPECT_EQ(signalled, 0);
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(COperateSystemInfo::FindProcessByName(name_).has_value());

    // Signalled, but it does not go: the loop gives up after the grace time
    // instead of signalling it for ever.
    calls = 0;
    signalled = COperateSystemInfo::TerminateProcessesByName(
        name_, [&](pid_t, int) { return ++calls, 0; }, /*graceMs=*/50);
    EXPECT_EQ(signalled, 1);
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(COperateSystemInfo::FindProcessByName(name_).has_value());

    COperateSystemInfo::TerminateProcessesByName(name_);
    EXPECT_TRUE(Eventually([&] { return !COperateSystemInfo::FindProcessByName(name_); }));
}

TEST_F(TempFolder, AnEndedProcessIsNotFound) {
    const std::string sleeper = Sleeper();
    // Our own child, left unreaped after it ends: a zombie.
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::execl(sleeper.c_str(), sleeper.c_str(), "60", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ASSERT_TRUE(
        Eventually([&] { return COperateSystemInfo::FindProcessByName(name_).has_value(); }));
    ::kill(child, SIGKILL);
    EXPECT_TRUE(Eventually([&] { return !COperateSystemInfo::FindProcessByName(name_); }));
    EXPECT_TRUE(fs::exists("/proc/" + std::to_string(child)));  // still a zombie
    int status = 0;
    ::waitpid(child, &status, 0);
}

class InstanceLock : public TempFolder {
protected:
    void SetUp() override {
        TempFolder::SetUp();
        const char* old = std::getenv("XDG_RUNTIME_DIR");
        saved_ = old ? std::optional<std::string>(old) : std::nullopt;
        ::setenv("XDG_RUNTIME_DIR", dir_.c_str(), 1);
    }
    void TearDown() override {
        if (saved_) {
            ::setenv("XDG_RUNTIME_DIR", saved_->c_str(), 1);
        } else {
            ::unsetenv("XDG_RUNTIME_DIR");
        }
        TempFolder::TearDown();
    }
    std::optional<std::string> saved_;
};

TEST_F(InstanceLock, SecondHolderIsRefusedUntilTheFirstEnds) {
    const std::string name = "Kx_Test_" + std::to_string(::getpid());
    EXPECT_EQ(SingleInstanceLock::LockPathFor(name), dir_.string() + "/kestrix/" + name + ".lock");

    // The first copy: another process that holds the lock until told to end.
    int toChild[2];
    int fromChild[2];
    ASSERT_EQ(::pipe(toChild), 0);
    ASSERT_EQ(::pipe(fromChild), 0);
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        SingleInstanceLock lock(name);
        char result = lock.Acquire() == SingleInstanceLock::Result::Acquired ? 'y' : 'n';
        (void)!::write(fromChild[1], &result, 1);
        char go;
        (void)!::read(toChild[0], &go, 1);
        ::_exit(0);
    }
    char result = 0;
    ASSERT_EQ(::read(fromChild[0], &result, 1), 1);
    ASSERT_EQ(result, 'y');

    SingleInstanceLock second(name);
    EXPECT_EQ(second.Acquire(), SingleInstanceLock::Result::HeldElsewhere);
    EXPECT_FALSE(second.Held());

    // The first copy ends (the kernel drops its lock): now we get it.
    (void)!::write(toChild[1], "x", 1);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_EQ(second.Acquire(), SingleInstanceLock::Result::Acquired);
    EXPECT_TRUE(second.Held());
    // Even in one process, a second holder is refused.
    SingleInstanceLock third(name);
    EXPECT_EQ(third.Acquire(), SingleInstanceLock::Result::HeldElsewhere);
    for (int fd : {toChild[0], toChild[1], fromChild[0], fromChild[1]}) ::close(fd);
}

TEST_F(InstanceLock, RuntimeFolderFallbackAndPlantedLink) {
    ::setenv("XDG_RUNTIME_DIR", (dir_ / "missing").c_str(), 1);
    EXPECT_EQ(SingleInstanceLock::LockPathFor("X"), "/tmp/X.lock");
    ::setenv("XDG_RUNTIME_DIR", "relative/dir", 1);
    EXPECT_EQ(SingleInstanceLock::LockPathFor("X"), "/tmp/X.lock");
    ::setenv("XDG_RUNTIME_DIR", dir_.c_str(), 1);

    // A symbolic link planted where the lock file goes is not followed.
    const std::string target = Write("victim", "keep me");
    fs::create_directories(dir_ / "kestrix");
    fs::create_symlink(target, dir_ / "kestrix" / "Planted.lock");
    SingleInstanceLock lock("Planted");
    EXPECT_EQ(lock.Acquire(), SingleInstanceLock::Result::Unavailable);
    EXPECT_EQ(Slurp(target), "keep me");
}

}  // namespace
}  // namespace kestrix

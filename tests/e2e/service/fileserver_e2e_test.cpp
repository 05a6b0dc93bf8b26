// FileServer end to end: started from its settings file, fetched from by
// curl, tftp-hpa's tftp and atftp over loopback. Runs only inside a private
// network namespace (scripts/private-net), where loopback is all there is.

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <netinet/in.h>
#include <poll.h>
#include <random>
#include <signal.h>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "service/tftp_packet.h"

namespace kestrix::tftp {
namespace {

using namespace std::chrono;

constexpr uint16_t kPort = 16969;

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void WriteRandom(const std::string& path, size_t size, unsigned seed) {
    std::mt19937_64 rng(seed);
    std::string data(size, '\0');
    for (size_t i = 0; i + 8 <= size; i += 8) {
        uint64_t v = rng();
        std::memcpy(&data[i], &v, 8);
    }
    std::ofstream(path, std::ios::binary) << data;
}

int Shell(const std::string& command) {
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// One raw request and the first answer to it (empty after 2 s of silence).
std::vector<uint8_t> RawRequest(uint16_t opcode, const std::string& name, uint16_t port = kPort) {
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::vector<uint8_t> req{0, static_cast<uint8_t>(opcode)};
    req.insert(req.end(), name.begin(), name.end());
    req.push_back(0);
    for (char c : std::string("octet")) req.push_back(static_cast<uint8_t>(c));
    req.push_back(0);
    sendto(fd, req.data(), req.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    std::vector<uint8_t> answer(70000);
    pollfd p{fd, POLLIN, 0};
    ssize_t n = poll(&p, 1, 2000) == 1 ? recv(fd, answer.data(), answer.size(), 0) : -1;
    close(fd);
    answer.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return answer;
}

// A UDP relay in front of the server that loses a share of the datagrams
// either way, for kernels without netem. It follows the server's transfer
// port like a client would.
class LossyRelay {
public:
    LossyRelay(uint16_t listen, uint16_t server, double loss) : server_port_(server), loss_(loss) {
        front_ = Bound(listen);
        thread_ = std::thread([this] { Loop(); });
    }
    ~LossyRelay() {
        stop_ = true;
        thread_.join();
        close(front_);
        for (auto& [key, c] : clients_) close(c.fd);
    }

private:
    struct Client {
        sockaddr_in addr{};
        int fd = -1;
        sockaddr_in server{};
    };
    static int Bound(uint16_t port) {
        int fd = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        return fd;
    }
    void Loop() {
        std::mt19937 rng(7);
        std::bernoulli_distribution lose(loss_);
        std::vector<uint8_t> buf(70000);
        while (!stop_) {
            std::vector<pollfd> fds{{front_, POLLIN, 0}};
            std::vector<uint64_t> keys{0};
            for (auto& [key, c] : clients_) {
                fds.push_back({c.fd, POLLIN, 0});
                keys.push_back(key);
            }
            if (poll(fds.data(), fds.size(), 20) <= 0) continue;
            for (size_t i = 0; i < fds.size(); ++i) {
                if (!(fds[i].revents & POLLIN)) continue;
                sockaddr_in from{};
                socklen_t len = sizeof from;
                ssize_t n = recvfrom(fds[i].fd, buf.data(), buf.size(), 0,
                                     reinterpret_cast<sockaddr*>(&from), &len);
                if (n < 0 || lose(rng)) continue;
                if (i == 0) {
                    uint64_t key = (uint64_t{from.sin_addr.s_addr} << 16) | from.sin_port;
                    auto& c = clients_[key];
                    if (c.fd < 0) {
                        c.addr = from;
                        c.fd = Bound(0);
                        c.server.sin_family = AF_INET;
                        c.server.sin_port = htons(server_port_);
                        c.server.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
                    }
                    sendto(c.fd, buf.data(), n, 0, reinterpret_cast<sockaddr*>(&c.server),
                           sizeof c.server);
                } else {
                    auto& c = clients_[keys[i]];
                    c.server = from;  // the transfer's own port from now on
                    sendto(front_, buf.data(), n, 0, reinterpret_cast<sockaddr*>(&c.addr),
                           sizeof c.addr);
                }
            }
        }
    }
    uint16_t server_port_;
    double loss_;
    int front_ = -1;
    std::map<uint64_t, Client> clients_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

class FileServerE2E : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (const char* p = std::getenv("KESTRIX_PRIVATE_NET"); !p || std::string(p) != "1") return;
        char tmpl[] = "/tmp/kx_fileserver_e2e_XXXXXX";
        root_ = mkdtemp(tmpl);
        dir_ = root_ + "/firmware";
        mkdir(dir_.c_str(), 0755);
        mkdir((root_ + "/service").c_str(), 0755);
        WriteRandom(dir_ + "/fw3m.bin", (3 << 20) + 77, 1);
        WriteRandom(dir_ + "/fw8m.bin", 8 << 20, 2);
        WriteRandom(dir_ + "/fw40m.bin", 40 << 20, 3);
        WriteRandom(dir_ + "/fw256k.bin", 256 << 10, 4);
        WriteRandom(dir_ + "/fw64k.bin", 64 << 10, 5);
        std::ofstream(dir_ + "/notes.txt", std::ios::binary) << "one\ntwo\r\nthree\rfour\n";
        std::ofstream(root_ + "/secret") << "outside";
        mkdir((dir_ + "/sub").c_str(), 0755);
        std::ofstream(dir_ + "/sub/inner") << "inner";
        std::ofstream(dir_ + "/a\\b") << "backslash";
        symlink((root_ + "/secret").c_str(), (dir_ + "/link").c_str());
        mkfifo((dir_ + "/fifo").c_str(), 0644);
        ini_ = root_ + "/service/FileServer.ini";
        std::ofstream(ini_) << "[SERVER]\r\nDirectory=" << dir_ << "\r\nPort=" << kPort << "\r\n";
        server_ = Start({"--max-sessions", "16"});
    }
    static void TearDownTestSuite() {
        if (server_ > 0) Stop(server_);
        // KX_FILESERVER_KEEP=1 keeps the files and the log for a look.
        if (!root_.empty() && !std::getenv("KX_FILESERVER_KEEP")) Shell("rm -rf '" + root_ + "'");
    }
    void SetUp() override {
        if (root_.empty()) GTEST_SKIP() << "runs only inside scripts/private-net";
        ASSERT_GT(server_, 0);
    }

    static pid_t Start(std::vector<std::string> extra, const std::string& ini = ini_) {
        pid_t pid = fork();
        if (pid == 0) {
            std::vector<std::string> args{KX_FILESERVER_PATH, "--config", ini};
            args.insert(args.end(), extra.begin(), extra.end());
            std::vector<char*> argv;
            for (auto& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        // Ready once it answers a request for a missing file.
        for (int i = 0; i < 50; ++i) {
            if (!RawRequest(1, "probe-missing").empty()) break;
            std::this_thread::sleep_for(50ms);
        }
        return pid;
    }
    // SIGTERM; returns how long the exit took (nullopt: it did not end).
    static std::optional<milliseconds> Stop(pid_t pid) {
        auto begun = steady_clock::now();
        kill(pid, SIGTERM);
        for (int i = 0; i < 300; ++i) {
            int status = 0;
            if (waitpid(pid, &status, WNOHANG) == pid) {
                return duration_cast<milliseconds>(steady_clock::now() - begun);
            }
            std::this_thread::sleep_for(5ms);
        }
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        return std::nullopt;
    }
    static std::string Log() { return ReadAll(root_ + "/service/FileServer.log"); }
    static std::string Out(const std::string& name) { return root_ + "/" + name; }
    static bool SameAs(const std::string& got, const std::string& served) {
        std::string a = ReadAll(got), b = ReadAll(dir_ + "/" + served);
        return !b.empty() && a == b;
    }
    static std::string Curl(const std::string& file, const std::string& out, int blksize,
                            uint16_t port = kPort) {
        return "timeout 120 curl -sS --tftp-blksize " + std::to_string(blksize) + " -o '" + out +
               "' tftp://127.0.0.1:" + std::to_string(port) + "/" + file;
    }
    static std::string Atftp(const std::string& file, const std::string& out, int blksize,
                             int window, uint16_t port = kPort, bool timeout = true) {
        std::string cmd = "timeout 120 atftp --option 'blksize " + std::to_string(blksize) +
                          "' --option 'tsize 0'";
        // Without the option the client retransmits after 1 s (atftp waits
        // for its own timer before it answers a repeated block again).
        cmd += timeout ? " --option 'timeout 2'" : " --tftp-timeout 1";
        if (window > 1) cmd += " --option 'windowsize " + std::to_string(window) + "'";
        return cmd + " --trace -g -r '" + file + "' -l '" + out + "' 127.0.0.1 " +
               std::to_string(port) + " >'" + out + ".trace' 2>&1";
    }
    static std::string Hpa(const std::string& file, const std::string& out, const char* mode,
                           uint16_t port = kPort) {
        return "timeout 120 tftp -m " + std::string(mode) + " 127.0.0.1 " + std::to_string(port) +
               " -c get '" + file + "' '" + out + "' >/dev/null 2>&1";
    }

    static inline std::string root_, dir_, ini_;
    static inline pid_t server_ = -1;
};

TEST_F(FileServerE2E, ForeignClientsGetIdenticalFiles) {
    struct Case {
        std::string name, command, file;
        std::string logged;  // options the log line must show
    };
    std::vector<Case> cases;
    for (int blk : {512, 1428, 8192, 65464}) {
        std::string b = std::to_string(blk);
        cases.push_back({"curl-" + b, Curl("fw3m.bin", Out("curl-" + b), blk), "fw3m.bin",
                         "blksize=" + b + " windowsize=1"});
        cases.push_back({"atftp-" + b, Atftp("fw3m.bin", Out("atftp-" + b), blk, 1), "fw3m.bin",
                         "blksize=" + b + " windowsize=1"});
        int window = blk == 65464 ? 2 : 8;  // the window is bounded in bytes
        std::string w = std::to_string(window);
        cases.push_back({"atftp-w-" + b, Atftp("fw3m.bin", Out("atftp-w-" + b), blk, window),
                         "fw3m.bin", "blksize=" + b + " windowsize=" + w});
    }
    cases.push_back({"hpa-octet", Hpa("fw3m.bin", Out("hpa-octet"), "binary"), "fw3m.bin",
                     "blksize=512 windowsize=1"});
    // netascii there and back gives the file as it was.
    cases.push_back({"hpa-netascii", Hpa("notes.txt", Out("hpa-netascii"), "netascii"), "notes.txt",
                     "blksize=512"});
    for (const auto& c : cases) {
        EXPECT_EQ(Shell(c.command), 0) << c.name << ": " << c.command;
        EXPECT_TRUE(SameAs(Out(c.name), c.file)) << c.name;
        unlink(Out(c.name).c_str());
    }
    std::string log = Log();
    for (const auto& c : cases) {
        EXPECT_NE(log.find("file=\"" + c.file + "\" bytes="), std::string::npos) << c.name;
        EXPECT_NE(log.find(c.logged), std::string::npos) << c.name << " " << c.logged;
    }
}

TEST_F(FileServerE2E, LargeFileRollsOverBlockNumbers) {
    // 40 MiB at 512 bytes is 81 921 blocks: the number passes 65 535.
    ASSERT_EQ(Shell(Curl("fw40m.bin", Out("big"), 512)), 0);
    EXPECT_TRUE(SameAs(Out("big"), "fw40m.bin"));
    unlink(Out("big").c_str());
    EXPECT_NE(Log().find("file=\"fw40m.bin\" bytes=41943040 result=ok blksize=512"),
              std::string::npos);
}

TEST_F(FileServerE2E, TenConcurrentDownloads) {
    std::string script;
    for (int i = 0; i < 10; ++i) {
        std::string out = Out("par" + std::to_string(i));
        script += (i % 2 ? Atftp("fw8m.bin", out, 1428, 4) : Curl("fw8m.bin", out, 1428)) + " & ";
    }
    script += "wait";
    EXPECT_EQ(Shell("bash -c \"" + script + "\""), 0);
    for (int i = 0; i < 10; ++i) {
        std::string out = Out("par" + std::to_string(i));
        EXPECT_TRUE(SameAs(out, "fw8m.bin")) << out;
        unlink(out.c_str());
    }
}

TEST_F(FileServerE2E, CompletesThroughTenPercentLoss) {
    // netem on loopback where the kernel has it, the relay otherwise. The
    // server retransmits sooner (test hook) so the run stays short.
    std::string ini = root_ + "/service/lossy.ini";
    constexpr uint16_t kLossyPort = 16970, kRelayPort = 16971;
    std::ofstream(ini) << "[SERVER]\nDirectory=" << dir_ << "\nPort=" << kLossyPort << "\n";
    bool netem = Shell("tc qdisc add dev lo root netem loss 10% 2>/dev/null") == 0;
    std::optional<LossyRelay> relay;
    uint16_t port = kLossyPort;
    if (!netem) {
        relay.emplace(kRelayPort, kLossyPort, 0.10);
        port = kRelayPort;
    }
    RecordProperty("loss", netem ? "netem" : "relay");
    pid_t pid = Start({"--retransmit-ms", "100", "--retries", "10"}, ini);
    // curl waits seconds before it repeats a lost request or ACK, so it
    // gets a file of a few blocks; atftp's window recovers quickly.
    std::string script = Curl("fw64k.bin", Out("loss-curl"), 8192, port) + " & " +
                         Atftp("fw256k.bin", Out("loss-atftp"), 1428, 4, port, false) + " & wait";
    Shell("bash -c \"" + script + "\"");
    if (netem) Shell("tc qdisc del dev lo root");
    relay.reset();
    Stop(pid);
    EXPECT_TRUE(SameAs(Out("loss-curl"), "fw64k.bin")) << (netem ? "netem" : "relay");
    EXPECT_TRUE(SameAs(Out("loss-atftp"), "fw256k.bin")) << (netem ? "netem" : "relay");
}

TEST_F(FileServerE2E, TraversalAndSpecialFilesGetAnErrorAndNoData) {
    struct Case {
        std::string name;
        ErrorCode code;
    };
    const Case cases[] = {
        {"../secret", ErrorCode::kAccessViolation}, {"/etc/passwd", ErrorCode::kAccessViolation},
        {"sub/inner", ErrorCode::kAccessViolation}, {"a\\b", ErrorCode::kAccessViolation},
        {"link", ErrorCode::kAccessViolation},      {"sub", ErrorCode::kAccessViolation},
        {"fifo", ErrorCode::kAccessViolation},      {"missing.bin", ErrorCode::kFileNotFound},
    };
    for (const auto& c : cases) {
        auto answer = RawRequest(1, c.name);
        ASSERT_GE(answer.size(), 5u) << c.name;
        EXPECT_EQ(PeekOpcode(answer), Opcode::kError) << c.name;
        EXPECT_EQ((answer[2] << 8) | answer[3], static_cast<int>(c.code)) << c.name;
        // The same through a foreign client: it fails and keeps no data.
        std::string out = Out("trav");
        Shell(Atftp(c.name, out, 512, 1));
        struct stat st {};
        EXPECT_TRUE(stat(out.c_str(), &st) != 0 || st.st_size == 0) << c.name;
        unlink(out.c_str());
        EXPECT_NE(Log().find("bytes=0 result=refused"), std::string::npos);
    }
}

TEST_F(FileServerE2E, WriteRequestsAreRefused) {
    std::string local = Out("upload.bin");
    std::ofstream(local) << "payload";
    Shell("cd '" + root_ + "' && timeout 20 tftp -m binary 127.0.0.1 " + std::to_string(kPort) +
          " -c put upload.bin put-hpa.bin >/dev/null 2>&1");
    Shell("timeout 20 atftp -p -l '" + local + "' -r put-atftp.bin 127.0.0.1 " +
          std::to_string(kPort) + " >/dev/null 2>&1");
    auto answer = RawRequest(2, "put-raw.bin");
    ASSERT_GE(answer.size(), 5u);
    EXPECT_EQ(PeekOpcode(answer), Opcode::kError);
    EXPECT_EQ((answer[2] << 8) | answer[3], static_cast<int>(ErrorCode::kAccessViolation));
    for (const char* name : {"put-hpa.bin", "put-atftp.bin", "put-raw.bin"}) {
        EXPECT_NE(access((dir_ + "/" + name).c_str(), F_OK), 0) << name;
        EXPECT_NE(Log().find(std::string("file=\"") + name + "\" bytes=0 result=refused: write"),
                  std::string::npos)
            << name;
    }
}

TEST_F(FileServerE2E, ExcessSessionsGetABusyErrorAndStopEndsQuickly) {
    std::string ini = root_ + "/service/small.ini";
    constexpr uint16_t kSmallPort = 16972;
    std::ofstream(ini) << "[SERVER]\nDirectory=" << dir_ << "\nPort=" << kSmallPort << "\n";
    pid_t pid = fork();
    if (pid == 0) {
        execl(KX_FILESERVER_PATH, KX_FILESERVER_PATH, "--config", ini.c_str(), "--max-sessions",
              "2", static_cast<char*>(nullptr));
        _exit(127);
    }
    std::vector<uint8_t> first;
    for (int i = 0; i < 50 && first.empty(); ++i) first = RawRequest(1, "fw8m.bin", kSmallPort);
    // Two transfers that are never acknowledged hold both places.
    auto second = RawRequest(1, "fw8m.bin", kSmallPort);
    auto third = RawRequest(1, "fw8m.bin", kSmallPort);
    EXPECT_EQ(PeekOpcode(first), Opcode::kData);
    EXPECT_EQ(PeekOpcode(second), Opcode::kData);
    ASSERT_EQ(PeekOpcode(third), Opcode::kError);
    auto took = Stop(pid);
    ASSERT_TRUE(took) << "FileServer did not end on SIGTERM";
    RecordProperty("stop_ms", static_cast<int>(took->count()));
    // Generous bound for a loaded machine; the loop wakes on the signal itself.
    EXPECT_LT(took->count(), 1000);
    EXPECT_NE(Log().find("result=aborted: server stopped"), std::string::npos);
}

}  // namespace
}  // namespace kestrix::tftp

#include "tests/support/labkit.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <netinet/in.h>
#include <poll.h>
#include <random>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tools/devsim/control_client.h"

extern char** environ;

namespace kestrix::labkit {

namespace {

void SetErr(std::string* err, const std::string& text) {
    if (err != nullptr) *err = text;
}

bool HexToBytes(const std::string& hex, uint8_t* out, size_t n) {
    if (hex.size() != n * 2) return false;
    auto nibble = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    for (size_t i = 0; i < n; ++i) {
        int hi = nibble(hex[2 * i]), lo = nibble(hex[2 * i + 1]);
        if (hi < 0 || lo < 0) return false;
        out[i] = static_cast<uint8_t>(hi << 4 | lo);
    }
    return true;
}

std::string ReadWholeFile(const std::string& path, bool* ok) {
    std::ifstream in(path, std::ios::binary);
    *ok = static_cast<bool>(in);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string Trim(std::string s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == ' ' || s.back() == '\r')) s.pop_back();
    return s;
}

}  // namespace

// ---------------------------------------------------------------------------
// Dump

const SimDevice* SimDump::ByMac(std::string_view mac) const {
    for (const SimDevice& d : devices) {
        if (d.mac == mac) return &d;
    }
    return nullptr;
}

const SimDevice* SimDump::ByIp(std::string_view ip) const {
    for (const SimDevice& d : devices) {
        if (d.ip == ip) return &d;
    }
    return nullptr;
}

std::optional<SimDump> ParseDump(std::string_view json, std::string* err) {
    auto doc = ParseJson(json, err);
    if (!doc) return std::nullopt;
    if ((*doc)["format"].Str() != "kestrix-devsim-dump/1" || !(*doc)["devices"].IsArray()) {
        SetErr(err, "not a simulator dump");
        return std::nullopt;
    }
    SimDump dump;
    dump.time_ms = (*doc)["time_ms"].Int();
    dump.timing = (*doc)["timing"];
    dump.faults = (*doc)["faults"];
    dump.stats = (*doc)["stats"];
    for (const JsonValue& j : (*doc)["devices"].items()) {
        SimDevice d;
        d.index = static_cast<int>(j["index"].Int(-1));
        d.mac = j["mac"].Str();
        d.ip = j["ip"].Str();
        d.own_ip = j["own_ip"].Str();
        d.state = j["state"].Str();
        d.manager = j["manager"].Str();
        d.pending_ip = j["pending_ip"].Str();
        d.type = static_cast<uint16_t>(j["type"].Int());
        d.up_time = static_cast<uint32_t>(j["up_time"].Int());
        d.name = j["name"].Str();
        d.version = j["version"].Str();
        d.ssid = j["ssid"].Str();
        d.bridge_mac = j["bridge_mac"].Str();
        d.bridge_ssid = j["bridge_ssid"].Str();
        d.work_mode = static_cast<int>(j["work_mode"].Int());
        d.channel = static_cast<int>(j["channel"].Int());
        d.secure_mode = static_cast<int>(j["secure_mode"].Int());
        d.bridge_transparent = static_cast<int>(j["bridge_transparent"].Int());
        d.pxsync = static_cast<int>(j["pxsync"].Int());
        d.announces = static_cast<uint32_t>(j["announces"].Int());
        d.heartbeats = static_cast<uint32_t>(j["heartbeats"].Int());
        d.commands = static_cast<uint32_t>(j["commands"].Int());
        d.reboots = static_cast<uint32_t>(j["reboots"].Int());
        d.restores = static_cast<uint32_t>(j["restores"].Int());
        d.last_command = static_cast<int>(j["last_command"].Int());
        d.mute_info = j["mute_info"].Bool();
        d.bridge_fail = j["bridge_fail"].Bool();
        d.claim = static_cast<int>(j["claim"].Int(-1));
        if (!HexToBytes(j["info"].Str(), d.info.data(), DeviceInfoBlock::kSize)) {
            SetErr(err, "device " + std::to_string(d.index) + " has no valid info bytes");
            return std::nullopt;
        }
        d.raw = j;
        dump.devices.push_back(std::move(d));
    }
    return dump;
}

std::optional<SimDump> ReadDumpFile(const std::string& path, std::string* err) {
    bool ok = false;
    std::string text = ReadWholeFile(path, &ok);
    if (!ok) {
        SetErr(err, "cannot read " + path);
        return std::nullopt;
    }
    return ParseDump(text, err);
}

// ---------------------------------------------------------------------------
// Trace

std::string TraceLine::Get(const std::string& key) const {
    auto it = fields.find(key);
    return it == fields.end() ? std::string() : it->second;
}

long long TraceLine::GetInt(const std::string& key, long long fallback) const {
    std::string v = Get(key);
    if (v.empty()) return fallback;
    char* end = nullptr;
    long long n = std::strtoll(v.c_str(), &end, 10);
    return end != nullptr && *end == '\0' ? n : fallback;
}

std::vector<TraceLine> ReadTrace(const std::string& path) {
    std::vector<TraceLine> lines;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        TraceLine t;
        t.text = line;
        if (!(words >> t.ms >> t.kind)) continue;
        std::string word;
        while (words >> word) {
            size_t eq = word.find('=');
            if (eq != std::string::npos) t.fields[word.substr(0, eq)] = word.substr(eq + 1);
        }
        lines.push_back(std::move(t));
    }
    return lines;
}

// ---------------------------------------------------------------------------
// Commands

int RunCommand(const std::vector<std::string>& argv, std::string* output) {
    if (argv.empty()) return -1;
    int pipefd[2];
    if (pipe2(pipefd, O_CLOEXEC) != 0) return -1;
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = fork();
    if (pid < 0) {
        close(pipefd[0]);
        close(pipefd[1]);
        return -1;
    }
    if (pid == 0) {
        dup2(pipefd[1], 1);
        dup2(pipefd[1], 2);
        int devnull = open("/dev/null", O_RDONLY);
        if (devnull >= 0) dup2(devnull, 0);
        execvp(args[0], args.data());
        _exit(127);
    }
    close(pipefd[1]);
    std::string text;
    char buf[4096];
    for (;;) {
        ssize_t n = read(pipefd[0], buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        text.append(buf, static_cast<size_t>(n));
    }
    close(pipefd[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (output != nullptr) *output = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// ---------------------------------------------------------------------------
// Lab

Lab::Lab() {
    const char* script = std::getenv("KESTRIX_LAB_SCRIPT");
    script_ = script != nullptr ? script : KX_LAB_SCRIPT;
    const char* devsim = std::getenv("KESTRIX_DEVSIM");
    devsim_ = devsim != nullptr ? devsim : KX_DEVSIM_PATH;
    // Every lab command a test runs by hand (not only Up) must find the
    // simulator of this build, whatever the build folder is called.
    if (devsim == nullptr && !devsim_.empty()) setenv("KESTRIX_DEVSIM", devsim_.c_str(), 1);
    const char* dir = std::getenv("KESTRIX_LAB_DIR");
    if (dir != nullptr && *dir != '\0') {
        dir_ = dir;
    } else {
        std::string out;
        if (RunCommand({script_, "dir"}, &out) == 0) dir_ = Trim(out);
        if (!dir_.empty()) setenv("KESTRIX_LAB_DIR", dir_.c_str(), 1);
    }
}

bool Lab::Up(const LabOptions& options, std::string* err) {
    std::vector<std::string> argv = {script_,     "up",
                                     "--devices", std::to_string(options.devices),
                                     "--owner",   std::to_string(getpid())};
    if (!devsim_.empty()) {
        argv.push_back("--devsim");
        argv.push_back(devsim_);
    }
    if (options.trace) argv.push_back("--trace");
    if (options.fresh) argv.push_back("--restart");
    argv.push_back("--");
    argv.insert(argv.end(), options.sim_args.begin(), options.sim_args.end());
    std::string out;
    int status = RunCommand(argv, &out);
    if (status != 0) {
        SetErr(err, "scripts/lab up failed (" + std::to_string(status) + "): " + out);
        return false;
    }
    return true;
}

bool Lab::Down(std::string* err) {
    std::string out;
    int status = RunCommand({script_, "down"}, &out);
    if (status != 0) {
        SetErr(err, "scripts/lab down failed: " + out);
        return false;
    }
    return true;
}

std::optional<std::string> Lab::Control(const std::string& command, std::string* err) const {
    std::string why;
    auto answer = devsim::ControlRequest(ControlPath(), command, why);
    if (!answer) SetErr(err, why);
    return answer;
}

namespace {

bool ExpectOk(const std::optional<std::string>& answer, std::string* err) {
    if (!answer) return false;
    if (answer->rfind("ok", 0) != 0) {
        SetErr(err, Trim(*answer));
        return false;
    }
    return true;
}

}  // namespace

bool Lab::Fault(const std::string& key, const std::string& value, std::string* err) const {
    return ExpectOk(Control("fault " + key + " " + value, err), err);
}

bool Lab::SetDevices(const std::string& selector, const std::string& keyValues,
                     std::string* err) const {
    return ExpectOk(Control("set " + selector + " " + keyValues, err), err);
}

std::optional<SimDump> Lab::Dump(std::string* err) const {
    auto answer = Control("dump", err);
    if (!answer) return std::nullopt;
    return ParseDump(*answer, err);
}

int Lab::SimulatorPid() const {
    int pid = 0;
    std::ifstream(dir_ + "/devsim.pid") >> pid;
    return pid > 0 && kill(pid, 0) == 0 ? pid : 0;
}

double ProcessCpuSeconds(int pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    // The command name in parentheses may hold blanks: count from its end.
    size_t close = text.rfind(')');
    if (close == std::string::npos || close + 2 > text.size()) return 0;
    std::istringstream rest(text.substr(close + 2));
    std::string field;
    long long ticks = 0;
    for (int i = 3; i <= 15 && rest >> field; ++i) {
        if (i == 14 || i == 15) ticks += std::atoll(field.c_str());
    }
    return static_cast<double>(ticks) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

std::string ReadAll(const std::string& path) {
    bool ok = false;
    return ReadWholeFile(path, &ok);
}

// ---------------------------------------------------------------------------
// kestrix-cli

std::string Describe(const CliRun& run) {
    return "exit " + std::to_string(run.exit) + "\n--- stdout\n" + run.out + "--- stderr\n" +
           run.err;
}

CliRun RunCliProcess(const std::vector<std::string>& args, const CliOptions& options) {
    const std::string outPath = options.dir + "/cli.out", errPath = options.dir + "/cli.err";
    int in[2];
    if (pipe2(in, O_CLOEXEC) != 0) return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        if (entry.rfind("XDG_RUNTIME_DIR=", 0) == 0 || entry.rfind("LC_", 0) == 0 ||
            entry.rfind("LANG=", 0) == 0 || entry.rfind("KESTRIX_CLI_", 0) == 0)
            continue;
        env.push_back(entry);
    }
    env.push_back("XDG_RUNTIME_DIR=" + options.dir);
    env.push_back("LC_ALL=C");
    env.push_back("KESTRIX_CLI_SEARCH_INTERVAL_MS=" + std::to_string(options.searchIntervalMs));
    env.insert(env.end(), options.env.begin(), options.env.end());
    std::vector<std::string> argv = {options.binary};
    argv.insert(argv.end(), args.begin(), args.end());
    auto pointers = [](std::vector<std::string>& v) {
        std::vector<char*> p;
        for (auto& s : v) p.push_back(s.data());
        p.push_back(nullptr);
        return p;
    };
    auto argp = pointers(argv);
    auto envp = pointers(env);
    pid_t pid = -1;
    const int spawned =
        posix_spawn(&pid, argv[0].c_str(), &actions, nullptr, argp.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    CliRun run;
    if (spawned != 0) {
        close(in[1]);
        return run;
    }

    // Nothing is written to a program that has ended (no SIGPIPE here).
    bool reaped = false;
    auto sendInput = [&] {
        if (!options.input.empty() && !reaped)
            (void)!write(in[1], options.input.data(), options.input.size());
        close(in[1]);
    };
    if (!options.onPrompt) sendInput();
    if (options.during) options.during(pid);
    int status = 0;
    if (options.onPrompt) {
        // Until the prompt shows, or the program ends without one.
        for (;;) {
            if (waitpid(pid, &status, WNOHANG) == pid) {
                reaped = true;
                break;
            }
            if (ReadAll(errPath).find(options.promptText) != std::string::npos) {
                options.onPrompt();
                break;
            }
            usleep(20 * 1000);
        }
        sendInput();
    }
    if (!reaped)
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    run.exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = ReadAll(outPath);
    run.err = ReadAll(errPath);
    return run;
}

const JsonValue& ResultOf(const JsonValue& results, const std::string& mac) {
    static const JsonValue none;
    for (const JsonValue& r : results.items())
        if (r["mac"].Str() == mac) return r;
    return none;
}

// ---------------------------------------------------------------------------
// Firmware upgrades

UpgradeFolders MakeUpgradeFolders(const std::string& pattern, const std::string& fileServer,
                                  const std::string& name, uint32_t size, unsigned seed) {
    std::string root = "/tmp/" + pattern + ".XXXXXX";
    if (mkdtemp(root.data()) == nullptr) return {};
    UpgradeFolders f{root, root + "/service", root + "/firmware"};
    namespace fs = std::filesystem;
    std::error_code failed;
    fs::create_directories(f.service, failed);
    if (!failed) fs::create_directories(f.firmware, failed);
    if (!failed) fs::copy_file(fileServer, f.service + "/FileServer", failed);
    std::mt19937 rng(seed);
    std::string image(size, '\0');
    for (char& c : image) c = static_cast<char>(rng());
    if (failed || !(std::ofstream(f.firmware + "/" + name, std::ios::binary) << image)) {
        fs::remove_all(root, failed);
        return {};
    }
    return f;
}

std::string WholeFetchLine(const SimDevice& d, const std::string& file, uint32_t size) {
    return "fetch dev=" + std::to_string(d.index) + " mac=" + d.mac + " file=\"" + file +
           "\" from=" + kHostAddress + ":69 bytes=" + std::to_string(size) +
           " expected=" + std::to_string(size) + " result=ok\n";
}

// ---------------------------------------------------------------------------
// Namespaces

bool EnterNetns(const std::string& name, std::string* err) {
    std::string path = "/run/netns/" + name;
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        SetErr(err, "no network namespace " + name + " (is the lab up?): " + std::strerror(errno));
        return false;
    }
    int r = setns(fd, CLONE_NEWNET);
    int e = errno;
    close(fd);
    if (r != 0) {
        SetErr(err, "cannot enter " + name + ": " + std::strerror(e));
        return false;
    }
    return true;
}

ScopedNetns::ScopedNetns(const std::string& name) {
    home_ = open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
    if (home_ < 0) {
        error_ = std::string("cannot open this thread's namespace: ") + std::strerror(errno);
        return;
    }
    if (!EnterNetns(name, &error_)) {
        close(home_);
        home_ = -1;
    }
}

ScopedNetns::~ScopedNetns() {
    if (home_ >= 0) {
        (void)setns(home_, CLONE_NEWNET);
        close(home_);
    }
}

// ---------------------------------------------------------------------------
// Peer

namespace {

constexpr uint16_t kPeerPorts[4] = {kPortAnnounce, kPortSearch, kPortHeartbeat, kPortReply};

sockaddr_in Endpoint(const std::string& ip, uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    inet_pton(AF_INET, ip.c_str(), &a.sin_addr);
    return a;
}

}  // namespace

Peer::Peer(const std::string& netns, const std::string& hostAddress) {
    std::optional<ScopedNetns> inside;
    if (!netns.empty()) {
        inside.emplace(netns);
        if (!inside->ok()) {
            error_ = inside->error();
            return;
        }
    }
    for (int i = 0; i < 4; ++i) {
        const uint16_t port = kPeerPorts[i];
        int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            error_ = std::string("socket: ") + std::strerror(errno);
            return;
        }
        fds_[i] = fd;
        int on = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
        // Thousands of devices answer a search at once.
        int size = 32 << 20;
        if (setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &size, sizeof size) != 0) {
            setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
        }
        // The search leaves from the host address so its directed broadcast
        // has a route; the receivers listen on every address like the tool.
        sockaddr_in local = Endpoint(port == kPortSearch ? hostAddress : "0.0.0.0", port);
        if (bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
            error_ = "bind port " + std::to_string(port) + ": " + std::strerror(errno);
            return;
        }
        if (port == kPortHeartbeat) {
            in_addr ifaddr{};
            inet_pton(AF_INET, hostAddress.c_str(), &ifaddr);
            setsockopt(fd, SOL_IP, IP_MULTICAST_IF, &ifaddr, sizeof ifaddr);
            unsigned char loop = 0;
            setsockopt(fd, SOL_IP, IP_MULTICAST_LOOP, &loop, sizeof loop);
        }
    }
}

Peer::~Peer() {
    for (int fd : fds_) {
        if (fd >= 0) close(fd);
    }
}

int Peer::Fd(uint16_t port) const {
    for (int i = 0; i < 4; ++i) {
        if (kPeerPorts[i] == port) return fds_[i];
    }
    return -1;
}

bool Peer::SendRaw(uint16_t fromPort, const std::string& to, uint16_t toPort,
                   const std::vector<uint8_t>& bytes) {
    int fd = Fd(fromPort);
    if (fd < 0) return false;
    sockaddr_in dst = Endpoint(to, toPort);
    return sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&dst),
                  sizeof dst) == static_cast<ssize_t>(bytes.size());
}

bool Peer::Search(const std::string& to) {
    return SendRaw(kPortSearch, to, kPortSearch,
                   BuildMessage(MsgType::Announce, "", nullptr, 0, false));
}

bool Peer::SendCommand(MsgType type, const MacBytes& mac, const std::vector<uint8_t>& payload) {
    return SendRaw(kPortHeartbeat, kMulticastGroup, kPortHeartbeat,
                   BuildMessage(ToCode(type), mac, payload.data(), payload.size(), true));
}

bool Peer::SendCommand(MsgType type, const std::string& mac, const std::vector<uint8_t>& payload) {
    return SendCommand(type, MacTextToBytes(mac), payload);
}

std::optional<Datagram> Peer::Receive(uint16_t port, std::chrono::milliseconds timeout) {
    int fd = Fd(port);
    if (fd < 0) return std::nullopt;
    auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd p{fd, POLLIN, 0};
        int r = poll(&p, 1, static_cast<int>(std::max<long long>(0, left.count())));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return std::nullopt;
        Datagram d;
        d.port = port;
        d.bytes.resize(65536);
        sockaddr_in from{};
        socklen_t len = sizeof from;
        ssize_t n = recvfrom(fd, d.bytes.data(), d.bytes.size(), MSG_DONTWAIT,
                             reinterpret_cast<sockaddr*>(&from), &len);
        if (n < 0) continue;
        d.bytes.resize(static_cast<size_t>(n));
        char text[INET_ADDRSTRLEN] = {};
        inet_ntop(AF_INET, &from.sin_addr, text, sizeof text);
        d.from = text;
        d.from_port = ntohs(from.sin_port);
        return d;
    }
}

std::vector<Datagram> Peer::Collect(uint16_t port, size_t count, std::chrono::milliseconds timeout,
                                    const std::function<bool(const Datagram&)>& match) {
    std::vector<Datagram> got;
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (got.size() < count) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        auto d = Receive(port, left);
        if (!d) break;
        if (!match || match(*d)) got.push_back(std::move(*d));
    }
    return got;
}

void Peer::Drain() {
    for (uint16_t port : kPeerPorts) {
        while (Receive(port, std::chrono::milliseconds(0))) {
        }
    }
}

}  // namespace kestrix::labkit

// kestrix-devsim: a fleet of simulated devices in one process. See --help.

#include <algorithm>
#include <arpa/inet.h>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iostream>
#include <memory>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <string>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <unistd.h>
#include <unordered_set>
#include <vector>

#include "tools/devsim/config_text.h"
#include "tools/devsim/control_client.h"
#include "tools/devsim/net_io.h"
#include "tools/devsim/sim_options.h"
#include "tools/devsim/simulator.h"
#include "tools/devsim/tftp_fetcher.h"

using namespace kestrix;
using namespace kestrix::devsim;

namespace {

int Fail(const std::string& message, int code = 2) {
    std::cerr << "kestrix-devsim: " << message << "\n";
    return code;
}

int PrefixLength(const Ipv4Bytes& mask) {
    uint32_t m = IpToU32(mask);
    int n = 0;
    while (n < 32 && (m & (0x80000000u >> n))) ++n;
    return n;
}

bool WriteFileAtomically(const std::string& path, const std::string& text, std::string& err) {
    std::string tmp = path + ".tmp";
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        if (!out) {
            err = "cannot write '" + tmp + "': " + std::strerror(errno);
            return false;
        }
        out << text;
        if (!out.flush()) {
            err = "cannot write '" + tmp + "'";
            return false;
        }
    }
    if (std::rename(tmp.c_str(), path.c_str()) != 0) {
        err = "cannot rename '" + tmp + "' to '" + path + "': " + std::strerror(errno);
        return false;
    }
    return true;
}

bool FillUnixAddress(const std::string& path, sockaddr_un& addr, std::string& err) {
    std::memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof addr.sun_path) {
        err = "control socket path too long: " + path;
        return false;
    }
    std::memcpy(addr.sun_path, path.c_str(), path.size());
    return true;
}

// --ctl: one command to a running simulator, its answer to stdout.
int RunClient(const SimConfig& config) {
    std::string err;
    auto answer = ControlRequest(config.ctl_socket, config.ctl_command, err);
    if (!answer) return Fail(err, 1);
    std::cout << *answer;
    return answer->rfind("error", 0) == 0 ? 1 : 0;
}

class ControlServer {
public:
    ~ControlServer() {
        if (fd_ >= 0) {
            close(fd_);
            unlink(path_.c_str());
        }
    }
    bool Open(const std::string& path, std::string& err) {
        if (path.empty()) return true;
        sockaddr_un addr;
        if (!FillUnixAddress(path, addr, err)) return false;
        unlink(path.c_str());  // a stale socket of an earlier run
        fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
            listen(fd_, 16) != 0) {
            err = "cannot open the control socket " + path + ": " + std::strerror(errno);
            return false;
        }
        path_ = path;
        return true;
    }
    int fd() const { return fd_; }
    // Accepts one client and reads its command line (a slow client is cut
    // off after a second so the fleet keeps answering).
    int Accept(std::string& line) {
        int c = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (c < 0) return -1;
        timeval tv{1, 0};
        setsockopt(c, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        timeval send{10, 0};
        setsockopt(c, SOL_SOCKET, SO_SNDTIMEO, &send, sizeof send);
        line.clear();
        char buf[4096];
        while (line.find('\n') == std::string::npos && line.size() < 65536) {
            ssize_t n = read(c, buf, sizeof buf);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            line.append(buf, static_cast<size_t>(n));
        }
        size_t nl = line.find('\n');
        if (nl != std::string::npos) line.erase(nl);
        return c;
    }
    static void Answer(int c, const std::string& text) {
        size_t off = 0;
        while (off < text.size()) {
            ssize_t n = write(c, text.data() + off, text.size() - off);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            off += static_cast<size_t>(n);
        }
        close(c);
    }

private:
    int fd_ = -1;
    std::string path_;
};

struct Runtime {
    Simulator& sim;
    Trace& trace;
    const SimConfig& config;
    bool quit = false;
};

std::string DumpTo(Runtime& rt, const std::string& path) {
    std::string err;
    if (!WriteFileAtomically(path, rt.sim.DumpJson(NowMs()), err)) return "error: " + err + "\n";
    return "ok " + path + "\n";
}

std::string HandleControl(Runtime& rt, const std::string& line) {
    std::vector<std::string> words;
    std::string err;
    if (!SplitWords(line, words, err)) return "error: " + err + "\n";
    if (words.empty()) return "error: empty command\n";
    const std::string& cmd = words[0];
    if (cmd == "ping" && words.size() == 1) return "ok\n";
    if (cmd == "dump" && words.size() == 1) return rt.sim.DumpJson(NowMs());
    if (cmd == "dump" && words.size() == 2) return DumpTo(rt, words[1]);
    if (cmd == "stats" && words.size() == 1) return rt.sim.StatsJson() + "\n";
    if (cmd == "fault" && words.size() == 3) {
        if (!rt.sim.SetGlobal(words[1], words[2], err)) return "error: " + err + "\n";
        rt.trace.Note(NowMs(), "control: " + line);
        return "ok\n";
    }
    if (cmd == "set" && words.size() >= 3) {
        std::string rest = line.substr(line.find("set") + 3);
        if (!rt.sim.SetDeviceFaults(rest, err)) return "error: " + err + "\n";
        rt.trace.Note(NowMs(), "control: " + line);
        return "ok\n";
    }
    if (cmd == "quit" && words.size() == 1) {
        rt.quit = true;
        return "ok\n";
    }
    return "error: unknown command '" + line + "' (ping, dump [PATH], stats, fault KEY VALUE, " +
           "set SEL KEY=VALUE..., quit)\n";
}

// Every fetch that ended goes to the log (standard error) and the trace.
void LogFetches(Simulator& sim, Trace& trace) {
    for (const FetchRecord& r : sim.TakeFetchLog()) {
        std::string line = FetchLogLine(r);
        std::cerr << "kestrix-devsim: " << line << "\n";
        trace.Note(r.time_ms, line);
    }
}

int OpenPidWatch(int pid) {
    long fd = syscall(SYS_pidfd_open, pid, 0);
    return static_cast<int>(fd);
}

int RunFleet(const SimConfig& config, std::vector<DeviceSpec> fleet) {
    std::string err;
    Trace trace;
    if (!trace.Open(config.trace_path, err)) return Fail(err);

    std::vector<int> joinIndexes;
    std::vector<std::string> joined;
    if (!ResolveInterfaces(config.interfaces, joinIndexes, joined, err)) return Fail(err);
    if (joinIndexes.empty()) {
        std::cerr << "kestrix-devsim: warning: no interface to join the command group on; "
                     "commands will not arrive (use --interface)\n";
    }
    int searchFd = OpenFleetSocket(kPortSearch, {}, err);
    if (searchFd < 0) return Fail(err);
    int commandFd = OpenFleetSocket(kPortHeartbeat, joinIndexes, err);
    if (commandFd < 0) return Fail(err);

    // Signals arrive through a descriptor; block them before any thread starts
    // so the sender thread inherits the mask.
    sigset_t mask;
    sigemptyset(&mask);
    for (int s : {SIGTERM, SIGINT, SIGHUP, SIGUSR1}) sigaddset(&mask, s);
    pthread_sigmask(SIG_BLOCK, &mask, nullptr);
    signal(SIGPIPE, SIG_IGN);
    int sigFd = signalfd(-1, &mask, SFD_CLOEXEC | SFD_NONBLOCK);
    if (sigFd < 0) return Fail(std::string("signalfd: ") + std::strerror(errno));

    int watchFd = -1;
    if (config.exit_with_pid > 0) {
        watchFd = OpenPidWatch(config.exit_with_pid);
        if (watchFd < 0) {
            return Fail("cannot watch process " + std::to_string(config.exit_with_pid) + ": " +
                        std::strerror(errno));
        }
    }
    ControlServer control;
    if (!control.Open(config.control_path, err)) return Fail(err);
    if (!config.pid_file.empty()) {
        std::ofstream(config.pid_file, std::ios::trunc) << getpid() << "\n";
    }

    // libcurl is set up before the sender thread starts.
    TftpFetcher fetcher(config.fetch_limit);
    if (!fetcher.Open(err)) return Fail(err);
    Simulator sim(std::move(fleet), config.timing, config.faults, config.fleet.seed, NowMs());
    sim.SetFetcher(&fetcher);
    Runtime rt{sim, trace, config};
    Sender sender(searchFd, commandFd, trace, config.tx_rate);
    std::cerr << "kestrix-devsim: " << sim.size() << " devices, command group joined on "
              << (joined.empty() ? std::string("no interface") : joined.front())
              << (joined.size() > 1 ? " and " + std::to_string(joined.size() - 1) + " more" : "")
              << (config.control_path.empty() ? "" : ", control " + config.control_path) << "\n";
    trace.Note(NowMs(), "start devices=" + std::to_string(sim.size()));

    std::vector<Outgoing> out;
    constexpr int kBatch = 64;
    constexpr int kMaxPerWake = 2048;  // keep timers and the other port served
    std::vector<std::array<uint8_t, 1500>> bufs(kBatch);
    std::vector<mmsghdr> msgs(kBatch);
    std::vector<iovec> iovs(kBatch);
    std::vector<sockaddr_in> froms(kBatch);

    auto drain = [&](int fd, uint16_t port) {
        int total = 0;
        while (total < kMaxPerWake) {
            for (int i = 0; i < kBatch; ++i) {
                std::memset(&msgs[i], 0, sizeof msgs[i]);
                iovs[i] = {bufs[i].data(), bufs[i].size()};
                msgs[i].msg_hdr.msg_iov = &iovs[i];
                msgs[i].msg_hdr.msg_iovlen = 1;
                msgs[i].msg_hdr.msg_name = &froms[i];
                msgs[i].msg_hdr.msg_namelen = sizeof froms[i];
            }
            int n = recvmmsg(fd, msgs.data(), kBatch, MSG_DONTWAIT, nullptr);
            if (n <= 0) break;
            int64_t now = NowMs();
            for (int i = 0; i < n; ++i) {
                Ipv4Bytes from;
                std::memcpy(from.data(), &froms[i].sin_addr, 4);
                uint16_t fromPort = ntohs(froms[i].sin_port);
                // A datagram cut by the buffer counts as oversized.
                size_t size = msgs[i].msg_len;
                if (msgs[i].msg_hdr.msg_flags & MSG_TRUNC) size = bufs[i].size() + 1;
                RxVerdict v = sim.OnDatagram(port, from, fromPort, bufs[i].data(),
                                             std::min(size, bufs[i].size() + 1), now, out);
                if (trace.enabled()) trace.Rx(now, port, from, fromPort, bufs[i].data(), size, v);
            }
            sender.Submit(out);
            total += n;
            if (n < kBatch) break;
        }
    };

    bool running = true;
    while (running && !rt.quit) {
        int timeout = 1000;
        if (auto due = sim.NextDeadline()) {
            int64_t wait = *due - NowMs();
            timeout = static_cast<int>(std::clamp<int64_t>(wait, 0, 1000));
        }
        pollfd fds[6] = {{searchFd, POLLIN, 0}, {commandFd, POLLIN, 0},
                         {sigFd, POLLIN, 0},    {control.fd(), POLLIN, 0},
                         {watchFd, POLLIN, 0},  {fetcher.notify_fd(), POLLIN, 0}};
        int r = poll(fds, 6, timeout);
        if (r < 0 && errno != EINTR) return Fail(std::string("poll: ") + std::strerror(errno), 1);
        if (r > 0) {
            if (fds[1].revents & POLLIN) drain(commandFd, kPortHeartbeat);
            if (fds[0].revents & POLLIN) drain(searchFd, kPortSearch);
            if (fds[2].revents & POLLIN) {
                signalfd_siginfo si;
                while (read(sigFd, &si, sizeof si) == static_cast<ssize_t>(sizeof si)) {
                    if (si.ssi_signo == SIGUSR1) {
                        if (!config.dump_path.empty()) {
                            std::string answer = DumpTo(rt, config.dump_path);
                            if (answer.rfind("error", 0) == 0)
                                std::cerr << "kestrix-devsim: " << answer;
                        }
                    } else {
                        running = false;
                    }
                }
            }
            if (fds[3].revents & POLLIN) {
                std::string line;
                int c = control.Accept(line);
                if (c >= 0) ControlServer::Answer(c, HandleControl(rt, line));
            }
            if (fds[4].revents & (POLLIN | POLLHUP)) {
                trace.Note(NowMs(), "watched process ended");
                running = false;
            }
            if (fds[5].revents & POLLIN) {
                for (const FetchResult& result : fetcher.TakeResults()) {
                    sim.OnFetchDone(result, NowMs(), out);
                }
            }
        }
        sim.Advance(NowMs(), out);
        LogFetches(sim, trace);
        sender.Submit(out);
    }
    fetcher.Stop();
    sender.Stop();
    trace.Note(NowMs(), "stop sent=" + std::to_string(sender.sent()));
    if (!config.dump_path.empty()) {
        std::string answer = DumpTo(rt, config.dump_path);
        if (answer.rfind("error", 0) == 0) std::cerr << "kestrix-devsim: " << answer;
    }
    if (!config.pid_file.empty()) unlink(config.pid_file.c_str());
    close(searchFd);
    close(commandFd);
    close(sigFd);
    if (watchFd >= 0) close(watchFd);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    SimConfig config;
    std::string err;
    if (!ParseCommandLine(args, config, err)) return Fail(err);
    if (config.mode == Mode::Help) {
        std::cout << HelpText();
        return 0;
    }
    if (config.mode == Mode::Control) return RunClient(config);

    std::vector<DeviceSpec> fleet;
    if (!BuildFleet(config.fleet, fleet, err)) return Fail(err);
    if (config.mode == Mode::ListAddresses) {
        // Unique addresses in fleet order, each with the prefix of its subnet.
        const int prefix = PrefixLength(config.fleet.netmask);
        std::unordered_set<uint32_t> seen;
        std::string text;
        for (const DeviceSpec& d : fleet) {
            if (!seen.insert(IpToU32(d.ip())).second) continue;
            text += IpBytesToText(d.ip()) + "/" + std::to_string(prefix) + "\n";
        }
        std::cout << text;
        return 0;
    }
    if (config.mode == Mode::Check) {
        size_t aps = 0, stations = 0, chinese = 0, full = 0;
        for (const DeviceSpec& d : fleet) {
            aps += d.info.work_mode() == kModeAp;
            stations += d.info.work_mode() == kModeStation;
            std::string name = d.info.ap_name();
            chinese += std::any_of(name.begin(), name.end(), [](char c) { return c & 0x80; });
            full += name.size() == 32;
        }
        std::cout << fleet.size() << " devices: " << aps << " access points, " << stations
                  << " stations, " << chinese << " Chinese names, " << full
                  << " names of 32 bytes\n";
        return 0;
    }
    return RunFleet(config, std::move(fleet));
}

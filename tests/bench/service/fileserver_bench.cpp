// Throughput of FileServer and of Debian's in.tftpd (tftpd-hpa) serving one
// 64 MiB file over loopback to the same client (curl) with the same options
// (blksize, tsize), in one run, and the ratio ours / theirs (above 1: ours
// is faster). Both servers are started here, each on a port of its own;
// it runs only inside a private network namespace, as root (in.tftpd
// changes root into the served folder):
//
//   scripts/private-net build/tests/bench/service/fileserver_bench

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <random>
#include <signal.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include <benchmark/benchmark.h>

namespace {

constexpr uint16_t kOurPort = 17069;
constexpr uint16_t kTheirPort = 17070;
constexpr size_t kFileBytes = 64u << 20;

std::string g_dir;
// Best throughput (bytes per second) per server and block size.
std::map<std::pair<std::string, int>, double> g_best;

pid_t Spawn(std::vector<std::string> args) {
    pid_t pid = fork();
    if (pid == 0) {
        // in.tftpd takes descriptor 0 for its socket's place; it must hold
        // something of ours, whatever this process was started with.
        int null = open("/dev/null", O_RDWR);
        if (null >= 0) dup2(null, 0);
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    return pid;
}

void Fetch(benchmark::State& state, const std::string& server, uint16_t port) {
    int blksize = static_cast<int>(state.range(0));
    std::string cmd =
        "curl -sS --max-time 120 --tftp-blksize " + std::to_string(blksize) +
        " -o /dev/null -w '%{size_download}' tftp://127.0.0.1:" + std::to_string(port) +
        "/fw64m.bin > " + g_dir + "/size.txt";
    for (auto _ : state) {
        auto begun = std::chrono::steady_clock::now();
        int rc = std::system(cmd.c_str());
        double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - begun).count();
        std::ifstream in(g_dir + "/size.txt");
        size_t got = 0;
        in >> got;
        if (rc != 0 || got != kFileBytes) {
            state.SkipWithError("transfer failed or incomplete");
            return;
        }
        state.SetIterationTime(seconds);
        double rate = static_cast<double>(kFileBytes) / seconds;
        auto& best = g_best[{server, blksize}];
        best = std::max(best, rate);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileBytes));
}

void BM_FileServer(benchmark::State& state) {
    Fetch(state, "FileServer", kOurPort);
}
void BM_TftpdHpa(benchmark::State& state) {
    Fetch(state, "in.tftpd", kTheirPort);
}

// Alternating blocks sizes, ours first then theirs for each, so a slow
// phase of the machine is not all on one side.
BENCHMARK(BM_FileServer)->Arg(1428)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TftpdHpa)->Arg(1428)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FileServer)->Arg(65464)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TftpdHpa)->Arg(65464)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    const char* inside = std::getenv("KESTRIX_PRIVATE_NET");
    if (!inside || std::string(inside) != "1") {
        std::fprintf(stderr, "fileserver_bench: run me inside scripts/private-net\n");
        return 2;
    }
    char tmpl[] = "/tmp/kx_fileserver_bench_XXXXXX";
    g_dir = mkdtemp(tmpl);
    std::string served = g_dir + "/served";
    mkdir(served.c_str(), 0755);
    chmod(g_dir.c_str(), 0755);
    {
        std::mt19937_64 rng(42);
        std::vector<uint64_t> data(kFileBytes / 8);
        for (auto& v : data) v = rng();
        std::ofstream(served + "/fw64m.bin", std::ios::binary)
            .write(reinterpret_cast<const char*>(data.data()), kFileBytes);
    }
    std::string ini = g_dir + "/FileServer.ini";
    std::ofstream(ini) << "[SERVER]\nDirectory=" << served << "\nPort=" << kOurPort << "\n";
    pid_t ours = Spawn({KX_FILESERVER_PATH, "--config", ini});
    pid_t theirs =
        // With only loopback in the namespace in.tftpd cannot resolve a named
        // bind address; an empty host binds every address there is.
        Spawn({"/usr/sbin/in.tftpd", "-4", "-L", "-a", ":" + std::to_string(kTheirPort), "-u",
               "nobody", "-B", "65464", "-s", served});
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    for (pid_t pid : {ours, theirs}) {
        if (waitpid(pid, nullptr, WNOHANG) == pid) {
            std::fprintf(stderr, "fileserver_bench: a server did not start\n");
            kill(ours, SIGTERM);
            kill(theirs, SIGTERM);
            return 1;
        }
    }

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    for (int blksize : {1428, 65464}) {
        double a = g_best[{"FileServer", blksize}], b = g_best[{"in.tftpd", blksize}];
        std::printf("blksize %5d: FileServer %7.1f MB/s, in.tftpd %7.1f MB/s, ratio %.2f\n",
                    blksize, a / 1e6, b / 1e6, b > 0 ? a / b : 0.0);
    }
    kill(ours, SIGTERM);
    kill(theirs, SIGTERM);
    waitpid(ours, nullptr, 0);
    waitpid(theirs, nullptr, 0);
    std::system(("rm -rf '" + g_dir + "'").c_str());
    return 0;
}

// tshark with the dissector from the source tree, isolated from whatever
// Wireshark configuration and plugins the machine has.

#include "tests/e2e/wireshark/tshark_runner.h"

#include <arpa/inet.h>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

#include "link/wire/byte_io.h"

namespace kestrix::dissector_test {
namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// The folder Wireshark loads Lua plugins from for everyone.
std::string GlobalLuaPluginDir() {
    static const std::string dir = [] {
        std::string out;
        FILE* p = popen(KX_TSHARK_PATH " -G folders 2>/dev/null", "r");
        if (p == nullptr) return std::string();
        char buf[512];
        while (fgets(buf, sizeof buf, p) != nullptr) out += buf;
        pclose(p);
        const std::string key = "Global Lua Plugins:";
        auto at = out.find(key);
        if (at == std::string::npos) return std::string();
        auto end = out.find('\n', at);
        std::string v = out.substr(at + key.size(), end - at - key.size());
        v.erase(0, v.find_first_not_of(" \t"));
        return v;
    }();
    return dir;
}

// Runs tshark with `args`; stdout and stderr go to the two strings.
int RunTshark(const std::vector<std::string>& args, std::string* out, std::string* err) {
    auto tmp = std::filesystem::temp_directory_path();
    std::string base = (tmp / ("kx-tshark-" + std::to_string(getpid()))).string();
    std::string home = base + "-home", outPath = base + ".out", errPath = base + ".err";
    std::filesystem::create_directories(home);

    std::vector<std::string> argv;
    // An installed copy of the dissector (the package puts one into the
    // global plugin folder) would load first; hide that folder from this
    // one tshark behind an empty one.
    std::string global = GlobalLuaPluginDir();
    if (!global.empty() && std::filesystem::exists(global + "/kestrix.lua")) {
        argv = {"unshare",
                "--mount",
                "sh",
                "-c",
                "mount -t tmpfs kx-empty \"$0\" && shift && exec \"$@\"",
                global,
                "sh"};
    }
    argv.push_back(KX_TSHARK_PATH);
    argv.push_back("-X");
    argv.push_back(std::string("lua_script:") + KX_DISSECTOR_PATH);
    argv.insert(argv.end(), args.begin(), args.end());

    pid_t pid = fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        int o = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int e = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (o < 0 || e < 0) _exit(126);
        dup2(o, 1);
        dup2(e, 2);
        setenv("HOME", home.c_str(), 1);
        setenv("WIRESHARK_CONFIG_DIR", home.c_str(), 1);
        std::vector<char*> a;
        for (auto& s : argv) a.push_back(s.data());
        a.push_back(nullptr);
        execvp(a[0], a.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    *out = ReadAll(outPath);
    *err = ReadAll(errPath);
    std::error_code ec;
    std::filesystem::remove(outPath, ec);
    std::filesystem::remove(errPath, ec);
    std::filesystem::remove_all(home, ec);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<std::string> Split(const std::string& s, char sep) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t at = s.find(sep, start);
        parts.push_back(s.substr(start, at == std::string::npos ? std::string::npos : at - start));
        if (at == std::string::npos) break;
        start = at + 1;
    }
    return parts;
}

// tshark writes control characters of a text field as C escapes.
std::string Unescape(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\' || i + 1 == s.size()) {
            out += s[i];
            continue;
        }
        char c = s[++i];
        switch (c) {
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case '\\':
                out += '\\';
                break;
            default:
                out += '\\';
                out += c;
                break;
        }
    }
    return out;
}

}  // namespace

TsharkResult Tshark(const std::string& capture, const std::string& filter,
                    const std::vector<std::string>& fields) {
    // The unit separator between occurrences: no device text holds it.
    std::vector<std::string> args = {"-r", capture,          "-T", "fields",
                                     "-E", "separator=/t",   "-E", "occurrence=a",
                                     "-E", "aggregator=\x1f"};
    if (!filter.empty()) {
        args.push_back("-Y");
        args.push_back(filter);
    }
    for (const auto& f : fields) {
        args.push_back("-e");
        args.push_back(f);
    }
    TsharkResult r;
    std::string out;
    r.status = RunTshark(args, &out, &r.errors);
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        Row row;
        for (const std::string& cell : Split(line, '\t')) {
            Cell values;
            if (!cell.empty()) {
                for (const std::string& v : Split(cell, '\x1f')) values.push_back(Unescape(v));
            }
            row.push_back(std::move(values));
        }
        row.resize(fields.size());
        r.rows.push_back(std::move(row));
    }
    return r;
}

std::string TsharkVerbose(const std::string& capture, std::string* errors) {
    std::string out, err;
    RunTshark({"-r", capture, "-V"}, &out, &err);
    if (errors != nullptr) *errors = err;
    return out;
}

bool WritePcap(const std::string& path, const std::vector<RawDatagram>& datagrams) {
    std::vector<uint8_t> file(24, 0);
    StoreU32(file.data(), 0xa1b2c3d4);
    StoreU16(file.data() + 4, 2);
    StoreU16(file.data() + 6, 4);
    StoreU32(file.data() + 16, 65535);
    StoreU32(file.data() + 20, 101);  // raw IPv4
    uint32_t second = 1700000000;
    for (const RawDatagram& d : datagrams) {
        size_t ipLen = 20 + 8 + d.bytes.size();
        std::vector<uint8_t> frame(ipLen, 0);
        frame[0] = 0x45;
        frame[2] = static_cast<uint8_t>(ipLen >> 8);
        frame[3] = static_cast<uint8_t>(ipLen);
        frame[8] = 64;
        frame[9] = 17;
        if (inet_pton(AF_INET, d.src.c_str(), frame.data() + 12) != 1) return false;
        if (inet_pton(AF_INET, d.dst.c_str(), frame.data() + 16) != 1) return false;
        uint32_t sum = 0;
        for (size_t i = 0; i < 20; i += 2) sum += (frame[i] << 8) | frame[i + 1];
        while (sum >> 16) sum = (sum & 0xffff) + (sum >> 16);
        uint16_t check = static_cast<uint16_t>(~sum);
        frame[10] = static_cast<uint8_t>(check >> 8);
        frame[11] = static_cast<uint8_t>(check);
        size_t udpLen = 8 + d.bytes.size();
        frame[20] = static_cast<uint8_t>(d.sport >> 8);
        frame[21] = static_cast<uint8_t>(d.sport);
        frame[22] = static_cast<uint8_t>(d.dport >> 8);
        frame[23] = static_cast<uint8_t>(d.dport);
        frame[24] = static_cast<uint8_t>(udpLen >> 8);
        frame[25] = static_cast<uint8_t>(udpLen);
        std::copy(d.bytes.begin(), d.bytes.end(), frame.begin() + 28);  // UDP checksum 0: none

        uint8_t rec[16];
        StoreU32(rec, second++);
        StoreU32(rec + 4, 0);
        StoreU32(rec + 8, static_cast<uint32_t>(frame.size()));
        StoreU32(rec + 12, static_cast<uint32_t>(frame.size()));
        file.insert(file.end(), rec, rec + 16);
        file.insert(file.end(), frame.begin(), frame.end());
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(file.data()),
              static_cast<std::streamsize>(file.size()));
    return static_cast<bool>(out);
}

}  // namespace kestrix::dissector_test

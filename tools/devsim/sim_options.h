#pragma once
// Command line and fleet file of kestrix-devsim. The help text below is the
// reference for both; keep it in step with the parser.

#include <cstdint>
#include <string>
#include <vector>

#include "tools/devsim/fleet.h"
#include "tools/devsim/simulator.h"

namespace kestrix::devsim {

enum class Mode { Run, Help, ListAddresses, Check, Control };

struct SimConfig {
    Mode mode = Mode::Run;
    FleetConfig fleet;
    SimTiming timing;
    GlobalFaults faults;
    std::vector<std::string> interfaces;  // multicast joins; empty: every non-loopback one
    std::string control_path;
    std::string dump_path;
    std::string trace_path;  // "-" is stderr
    std::string pid_file;
    int exit_with_pid = 0;
    int tx_rate = 0;       // datagrams per second, 0 unlimited
    int fetch_limit = 16;  // firmware fetches under way at once
    // --ctl SOCKET COMMAND...: act as a client of a running simulator.
    std::string ctl_socket;
    std::string ctl_command;
};

// Parses argv (argv[0] excluded). A --fleet file is read first, wherever it
// stands, so flags override it. On failure `err` says what is wrong.
bool ParseCommandLine(const std::vector<std::string>& args, SimConfig& config, std::string& err);
// Reads the fleet file format into config (global keys and device lines).
bool ParseFleetText(const std::string& text, const std::string& name, SimConfig& config,
                    std::string& err);

const char* HelpText();

}  // namespace kestrix::devsim

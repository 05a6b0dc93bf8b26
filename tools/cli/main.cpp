// kestrix-cli: the headless front end. Everything it does goes through the
// same device link, store and rules as the desktop application.

#include <cstdio>
#include <string>
#include <vector>

#include "base/language.h"
#include "base/os_utils.h"
#include "tools/cli/cli_options.h"
#include "tools/cli/commands.h"
#include "tools/cli/session.h"

int main(int argc, char** argv) {
    using namespace kestrix;
    using namespace kestrix::cli;

    InitLanguage(COperateSystemInfo::ProgramFolderCached());
    std::vector<std::string> args(argv + 1, argv + argc);
    const ParseOutcome parsed = ParseArguments(args);
    if (!parsed.ok) {
        std::fprintf(stderr, "kestrix-cli: %s\n", parsed.error.c_str());
        return kExitInvalid;
    }
    if (parsed.options.help) {
        std::fputs(HelpText(parsed.options.command).c_str(), stdout);
        return kExitOk;
    }
    InstallStopHandlers();
    return RunCommand(parsed.options);
}

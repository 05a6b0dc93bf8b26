#pragma once
// The client side of the simulator's control socket: one command line out,
// the whole answer back (the server closes the connection after answering).
// Used by "kestrix-devsim --ctl" and by the test support library.

#include <optional>
#include <string>

namespace kestrix::devsim {

std::optional<std::string> ControlRequest(const std::string& socketPath, const std::string& command,
                                          std::string& err);

}  // namespace kestrix::devsim

#pragma once
// The small text grammar shared by the command line, the fleet file and the
// control socket: words split at blanks with double quotes for values that
// hold blanks, durations ("250ms", "10s", "2m"), probabilities ("0.3",
// "30%"), integers, IPv4 addresses and device selectors.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "link/wire/addr_text.h"

namespace kestrix::devsim {

// Splits at blanks and tabs. Inside double quotes blanks are kept, and \" and
// \\ stand for a quote and a backslash; the quotes themselves are dropped, so
// name="Roof east" is the one word name=Roof east. An unterminated quote is
// an error.
bool SplitWords(std::string_view line, std::vector<std::string>& words, std::string& err);

// "10s", "250ms", "1.5s", "2m", or a plain number of seconds. Negative
// values and trailing junk are rejected.
std::optional<int64_t> ParseDurationMs(std::string_view text);
// "0.25" or "25%", within 0..1.
std::optional<double> ParseProbability(std::string_view text);
// A decimal integer within [lo, hi], nothing else around it.
std::optional<long long> ParseInteger(std::string_view text, long long lo, long long hi);
// Strict dotted quad: four decimal numbers 0..255, nothing else.
std::optional<Ipv4Bytes> ParseIpStrict(std::string_view text);
// Strict MAC: six two-digit hex numbers separated by colons.
std::optional<MacBytes> ParseMacStrict(std::string_view text);

// Device selectors: "all", "none", an index ("3"), a range ("5-9"), a MAC
// text, or a comma-separated list of these. Indices are 0-based. `macIndex`
// resolves a MAC to an index (or -1); it may be empty when MACs are not
// accepted. The result is sorted and free of duplicates.
template <class MacLookup>
bool ParseSelector(std::string_view text, int count, const MacLookup& macIndex,
                   std::vector<int>& out, std::string& err);

uint32_t IpToU32(const Ipv4Bytes& ip);  // a.b.c.d -> a<<24 | ... | d
Ipv4Bytes U32ToIp(uint32_t v);

}  // namespace kestrix::devsim

#include "tools/devsim/config_text_inl.h"

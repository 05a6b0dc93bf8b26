// Request parsing, option negotiation, netascii conversion and the settings
// file of the file server.

#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "service/block_source.h"
#include "service/server_config.h"
#include "service/tftp_options.h"
#include "service/tftp_packet.h"
#include "service/transfer_log.h"

namespace kestrix::tftp {
namespace {

std::vector<uint8_t> Bytes(std::string_view text) {
    return {text.begin(), text.end()};
}

// A request datagram: opcode, then the strings, each with its NUL.
std::vector<uint8_t> Packet(uint16_t op, std::initializer_list<std::string_view> parts,
                            bool terminate_last = true) {
    std::vector<uint8_t> out{static_cast<uint8_t>(op >> 8), static_cast<uint8_t>(op)};
    size_t i = 0;
    for (auto p : parts) {
        out.insert(out.end(), p.begin(), p.end());
        if (++i < parts.size() || terminate_last) out.push_back(0);
    }
    return out;
}

TEST(TftpRequest, ParsesOrRefuses) {
    struct Case {
        const char* what;
        std::vector<uint8_t> datagram;
        bool ok;
        ErrorCode code;
    };
    std::vector<uint8_t> huge = Packet(1, {std::string(5000, 'a'), "octet"});
    const Case cases[] = {
        {"plain octet read", Packet(1, {"fw.bin", "octet"}), true, {}},
        {"mode in capitals", Packet(1, {"fw.bin", "OCTET"}), true, {}},
        {"netascii", Packet(1, {"fw.bin", "NetAscii"}), true, {}},
        {"write request is read as such", Packet(2, {"fw.bin", "octet"}), true, {}},
        {"mail mode", Packet(1, {"fw.bin", "mail"}), false, ErrorCode::kIllegalOperation},
        {"unknown mode", Packet(1, {"fw.bin", "binary"}), false, ErrorCode::kIllegalOperation},
        {"no mode", Packet(1, {"fw.bin"}), false, ErrorCode::kIllegalOperation},
        {"mode not terminated", Packet(1, {"fw.bin", "octet"}, false), false,
         ErrorCode::kIllegalOperation},
        {"empty name", Packet(1, {"", "octet"}), false, ErrorCode::kIllegalOperation},
        {"option without value", Packet(1, {"fw.bin", "octet", "blksize"}), false,
         ErrorCode::kIllegalOperation},
        {"option value not terminated", Packet(1, {"fw.bin", "octet", "blksize", "1428"}, false),
         false, ErrorCode::kIllegalOperation},
        {"padding NULs after options",
         Packet(1, {"fw.bin", "octet", "tsize", "0", "", ""}),
         true,
         {}},
        {"ack is no request", Packet(4, {}), false, ErrorCode::kIllegalOperation},
        {"opcode out of range", Packet(9, {"fw.bin", "octet"}), false,
         ErrorCode::kIllegalOperation},
        {"one byte", {1}, false, ErrorCode::kIllegalOperation},
        {"empty", {}, false, ErrorCode::kIllegalOperation},
        {"too long", huge, false, ErrorCode::kIllegalOperation},
    };
    for (const auto& c : cases) {
        auto parsed = ParseRequest(c.datagram);
        EXPECT_EQ(parsed.request.has_value(), c.ok) << c.what;
        if (!c.ok) {
            EXPECT_EQ(parsed.error.code, c.code) << c.what;
            EXPECT_FALSE(parsed.error.message.empty()) << c.what;
        }
    }
}

TEST(TftpRequest, KeepsFirstOfRepeatedOptionsAndLowerCasesNames) {
    auto parsed = ParseRequest(
        Packet(1, {"Fw.BIN", "netascii", "BlkSize", "1428", "blksize", "8", "TSIZE", "0"}));
    ASSERT_TRUE(parsed.request);
    EXPECT_EQ(parsed.request->filename, "Fw.BIN");
    EXPECT_EQ(parsed.request->mode, Mode::kNetascii);
    using Opt = std::pair<std::string, std::string>;
    EXPECT_EQ(parsed.request->options, (std::vector<Opt>{{"blksize", "1428"}, {"tsize", "0"}}));
}

TEST(TftpOptions, Negotiation) {
    using Opts = std::vector<std::pair<std::string, std::string>>;
    struct Case {
        Opts asked;
        Opts answered;
        uint32_t block, window;
        int timeout;  // 0: none
    };
    const Case cases[] = {
        {{}, {}, 512, 1, 0},
        {{{"blksize", "7"}}, {}, 512, 1, 0},
        {{{"blksize", "8"}}, {{"blksize", "8"}}, 8, 1, 0},
        {{{"blksize", "1428"}}, {{"blksize", "1428"}}, 1428, 1, 0},
        {{{"blksize", "65464"}}, {{"blksize", "65464"}}, 65464, 1, 0},
        {{{"blksize", "65465"}}, {{"blksize", "65464"}}, 65464, 1, 0},
        {{{"blksize", "99999999999999999999"}}, {}, 512, 1, 0},
        {{{"blksize", "-512"}}, {}, 512, 1, 0},
        {{{"blksize", " 512"}}, {}, 512, 1, 0},
        {{{"blksize", ""}}, {}, 512, 1, 0},
        {{{"tsize", "0"}}, {{"tsize", "123456"}}, 512, 1, 0},
        {{{"tsize", "x"}}, {}, 512, 1, 0},
        {{{"timeout", "0"}}, {}, 512, 1, 0},
        {{{"timeout", "1"}}, {{"timeout", "1"}}, 512, 1, 1},
        {{{"timeout", "255"}}, {{"timeout", "255"}}, 512, 1, 255},
        {{{"timeout", "256"}}, {}, 512, 1, 0},
        {{{"windowsize", "0"}}, {}, 512, 1, 0},
        {{{"windowsize", "16"}}, {{"windowsize", "16"}}, 512, 16, 0},
        {{{"windowsize", "65536"}}, {}, 512, 1, 0},
        {{{"windowsize", "65535"}}, {{"windowsize", "64"}}, 512, 64, 0},
        {{{"windowsize", "65535"}, {"blksize", "8192"}},
         {{"windowsize", "16"}, {"blksize", "8192"}},
         8192,
         16,
         0},
        // The window is bounded in bytes too, whichever option came first.
        {{{"windowsize", "64"}, {"blksize", "65464"}},
         {{"windowsize", "2"}, {"blksize", "65464"}},
         65464,
         2,
         0},
        {{{"multicast", ""}, {"utimeout", "1000"}, {"blksize", "1024"}},
         {{"blksize", "1024"}},
         1024,
         1,
         0},
    };
    for (const auto& c : cases) {
        Request req;
        req.filename = "f";
        req.options = c.asked;
        auto got = NegotiateOptions(req, 123456);
        std::string label = c.asked.empty() ? "none" : c.asked[0].first + "=" + c.asked[0].second;
        EXPECT_EQ(got.accepted, c.answered) << label;
        EXPECT_EQ(got.block_size, c.block) << label;
        EXPECT_EQ(got.window_size, c.window) << label;
        EXPECT_EQ(got.timeout ? static_cast<int>(got.timeout->count()) : 0, c.timeout) << label;
    }
}

TEST(TftpPackets, OackAndErrorLayout) {
    EXPECT_EQ(BuildOack({{"blksize", "1428"}, {"tsize", "9"}}),
              Packet(6, {"blksize", "1428", "tsize", "9"}));
    EXPECT_EQ(BuildError(ErrorCode::kFileNotFound, ""),
              (std::vector<uint8_t>{0, 5, 0, 1, 'F', 'i', 'l', 'e', ' ', 'n', 'o', 't', ' ', 'f',
                                    'o', 'u', 'n', 'd', 0}));
    // A NUL inside a message must not leave a second string behind.
    EXPECT_EQ(BuildError(ErrorCode::kNotDefined, std::string_view("a\0b", 3)),
              (std::vector<uint8_t>{0, 5, 0, 0, 'a', 0}));
    EXPECT_EQ(ParseAck(std::vector<uint8_t>{0, 4, 0xFF, 0xFE}), 0xFFFE);
    EXPECT_FALSE(ParseAck(std::vector<uint8_t>{0, 4, 0}));
    EXPECT_FALSE(ParseAck(std::vector<uint8_t>{0, 3, 0, 1}));
}

TEST(Netascii, ConversionAcrossEveryBlockBoundary) {
    struct Case {
        std::string in, out;
    };
    const Case cases[] = {
        {"", ""},
        {"abc", "abc"},
        {"a\nb", "a\r\nb"},
        {"a\r\nb", std::string("a\r\0\r\nb", 6)},
        {"\r", std::string("\r\0", 2)},
        {"\n\n", "\r\n\r\n"},
        {std::string("x\0y", 3), std::string("x\0y", 3)},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ToNetascii(Bytes(c.in)), Bytes(c.out)) << c.in;
    }
    // The stream form must agree with the whole-buffer form whatever the
    // block size, also when a CR LF pair is cut by a block end.
    std::vector<uint8_t> text;
    for (int i = 0; i < 5000; ++i) text.push_back("ab\r\n\n\rz"[i % 7]);
    auto expected = ToNetascii(text);
    for (size_t block : {1u, 2u, 3u, 7u, 512u, 16384u, 70000u}) {
        auto src = MakeMemorySource(text, true);
        std::vector<uint8_t> got, buf(block);
        for (;;) {
            auto n = src->Read(buf);
            ASSERT_TRUE(n);
            got.insert(got.end(), buf.begin(), buf.begin() + static_cast<long>(*n));
            if (*n < block) break;
        }
        EXPECT_EQ(got, expected) << "block " << block;
    }
}

TEST(ServerConfig, ReadsDirectoryAndPort) {
    struct Case {
        const char* text;
        bool ok;
        const char* directory;
        uint16_t port;
    };
    const Case cases[] = {
        {"[SERVER]\nDirectory=/srv/fw\n", true, "/srv/fw", 69},
        {"[server]\r\ndirectory = /srv/fw \r\nPort=6969\r\n", true, "/srv/fw", 6969},
        {"[SERVER]\nDirectory=fw\n", true, "DIR/fw", 69},
        {"[SERVER]\nDirectory=\n", false, "", 0},
        {"[OTHER]\nDirectory=/srv\n", false, "", 0},
        {"[SERVER]\nDirectory=/srv\nPort=0\n", false, "", 0},
        {"[SERVER]\nDirectory=/srv\nPort=65536\n", false, "", 0},
        {"[SERVER]\nDirectory=/srv\nPort=69x\n", false, "", 0},
        {"[SERVER]\nDirectory=/srv\nPort=\n", true, "/srv", 69},
    };
    std::string dir = ::testing::TempDir() + "fileserver_config";
    std::string ini = dir + "/FileServer.ini";
    ASSERT_EQ(system(("mkdir -p '" + dir + "'").c_str()), 0);
    for (const auto& c : cases) {
        std::ofstream(ini, std::ios::trunc) << c.text;
        std::string error;
        auto config = LoadServerConfig(ini, &error);
        ASSERT_EQ(config.has_value(), c.ok) << c.text << error;
        if (!c.ok) {
            EXPECT_FALSE(error.empty());
            continue;
        }
        std::string want = c.directory;
        if (want.rfind("DIR", 0) == 0) want = dir + want.substr(3);
        EXPECT_EQ(config->directory, want) << c.text;
        EXPECT_EQ(config->port, c.port) << c.text;
    }
    std::string error;
    EXPECT_FALSE(LoadServerConfig(dir + "/missing.ini", &error));
}

TEST(TransferLog, QuotesNamesSafely) {
    EXPECT_EQ(QuoteForLog("fw.bin"), "\"fw.bin\"");
    EXPECT_EQ(QuoteForLog("a\nb\"c\\"), "\"a\\x0Ab\\x22c\\x5C\"");
    EXPECT_EQ(QuoteForLog("\xE5\x9B\xBA"), "\"\\xE5\\x9B\\xBA\"");
}

}  // namespace
}  // namespace kestrix::tftp

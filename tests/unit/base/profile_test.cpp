#include "base/profile.h"

#include <climits>
#include <string>

#include <gtest/gtest.h>

#include "tests/support/temp_files.h"

namespace kestrix {
namespace {

using testing::TempDir;

std::string Get(const ProfileFile& f, std::string_view section, std::string_view key,
                size_t bufferSize = 1024) {
    return f.Get(section, key, "<default>", bufferSize);
}

TEST(ProfileParse, SectionAndKeyIgnoreAsciiCase) {
    ProfileFile f = ProfileFile::Parse("[ProgramOutStr]\nWelcome=Bienvenue\n");
    EXPECT_EQ(Get(f, "programoutstr", "welcome"), "Bienvenue");
    EXPECT_EQ(Get(f, "PROGRAMOUTSTR", "WELCOME"), "Bienvenue");
    EXPECT_TRUE(f.HasSection("PROGRAMOUTSTR"));
    // Folding is ASCII only: a key that differs in a non-ASCII letter is another key.
    ProfileFile g = ProfileFile::Parse("[s]\n\xC3\xA9t\xC3\xA9=summer\n");
    EXPECT_EQ(Get(g, "s", "\xC3\x89T\xC3\x89"), "<default>");
}

TEST(ProfileParse, OnlyTheFirstEqualsSignSplitsAndBlanksAreTrimmed) {
    ProfileFile f = ProfileFile::Parse(
        "[ProgramOutStr]\n"
        "Online device count:%d = \t Online: %d \t\n"
        "Please enter a key for 8~63 ASCII characters, or HEX!=a=b==c\n"
        "  indented key\t=  inner  blanks  stay  \n");
    EXPECT_EQ(Get(f, "ProgramOutStr", "online device count:%d"), "Online: %d");
    EXPECT_EQ(Get(f, "ProgramOutStr", "please enter a key for 8~63 ascii characters, or hex!"),
              "a=b==c");
    EXPECT_EQ(Get(f, "ProgramOutStr", "indented key"), "inner  blanks  stay");
}

TEST(ProfileParse, FirstKeyAndFirstSectionWin) {
    ProfileFile f = ProfileFile::Parse(
        "[Color]\nChildBkColor=1,2,3\nchildbkcolor=4,5,6\n"
        "[Font]\nFontName=Arial\n"
        "[COLOR]\nChildBkColor=7,8,9\nLineColor=10,11,12\n");
    EXPECT_EQ(Get(f, "Color", "ChildBkColor"), "1,2,3");
    // A repeated section is never consulted, not even for keys the first lacks.
    EXPECT_EQ(Get(f, "Color", "LineColor"), "<default>");
    EXPECT_EQ(Get(f, "Font", "FontName"), "Arial");
}

TEST(ProfileParse, CommentsBlankLinesAndStrayLinesAreSkipped) {
    ProfileFile f = ProfileFile::Parse(
        "orphan=before any section\n"
        "; a comment\n"
        "[s]\n"
        "   ; indented comment=x\n"
        "# hash comment=y\n"
        "\n"
        "no equals sign here\n"
        "key=value ; not a comment\n");
    EXPECT_EQ(Get(f, "s", "; indented comment"), "<default>");
    EXPECT_EQ(Get(f, "s", "# hash comment"), "<default>");
    EXPECT_EQ(Get(f, "s", "no equals sign here"), "<default>");
    EXPECT_EQ(Get(f, "s", "orphan"), "<default>");
    EXPECT_EQ(Get(f, "s", "key"), "value ; not a comment");
}

TEST(ProfileParse, ByteOrderMarkAndCrLf) {
    ProfileFile f = ProfileFile::Parse("\xEF\xBB\xBF[LCID]\r\n2052=Chinese\r\n1033 = English \r\n");
    EXPECT_EQ(Get(f, "LCID", "2052"), "Chinese");
    EXPECT_EQ(Get(f, "LCID", "1033"), "English");
    // Without the mark the first header is read all the same.
    EXPECT_EQ(Get(ProfileFile::Parse("[LCID]\r\n2052=Chinese"), "lcid", "2052"), "Chinese");
}

TEST(ProfileParse, Utf16FileWithByteOrderMark) {
    // "[s]\r\nk=\u4E2D\r\n" in UTF-16LE, then the same in UTF-16BE.
    const std::string le("\xFF\xFE[\0s\0]\0\r\0\n\0k\0=\0\x2D\x4E\r\0\n\0", 22);
    EXPECT_EQ(Get(ProfileFile::Parse(le), "s", "k"), "\xE4\xB8\xAD");
    const std::string be("\xFE\xFF\0[\0s\0]\0\r\0\n\0k\0=\x4E\x2D\0\r\0\n", 22);
    EXPECT_EQ(Get(ProfileFile::Parse(be), "s", "k"), "\xE4\xB8\xAD");
}

TEST(ProfileParse, MatchingQuotesAreRemoved) {
    ProfileFile f = ProfileFile::Parse(
        "[s]\na=\"quoted value\"\nb=' x '\nc=\"unbalanced\nd='10,20',30\ne=\"\n");
    EXPECT_EQ(Get(f, "s", "a"), "quoted value");
    EXPECT_EQ(Get(f, "s", "b"), " x ");
    EXPECT_EQ(Get(f, "s", "c"), "\"unbalanced");
    EXPECT_EQ(Get(f, "s", "d"), "'10,20',30");
    EXPECT_EQ(Get(f, "s", "e"), "\"");
}

TEST(ProfileParse, EmptyValueIsNotTheDefault) {
    ProfileFile f = ProfileFile::Parse("[Setting]\nretransmission_max=\n");
    EXPECT_EQ(Get(f, "Setting", "retransmission_max"), "");
    EXPECT_EQ(Get(f, "Setting", "retransmission_interval"), "<default>");
    EXPECT_EQ(Get(f, "Other", "retransmission_max"), "<default>");
}

TEST(ProfileParse, BufferSizeCutsBytesButNeverHalfACharacter) {
    // Three 3-byte characters, then "ab".
    ProfileFile f = ProfileFile::Parse(
        "[s]\nk=\xE4\xB8\xAD\xE6\x96\x87\xE5\xAD\x97"
        "ab\n");
    EXPECT_EQ(Get(f, "s", "k", 12),
              "\xE4\xB8\xAD\xE6\x96\x87\xE5\xAD\x97"
              "ab");
    EXPECT_EQ(Get(f, "s", "k", 11),
              "\xE4\xB8\xAD\xE6\x96\x87\xE5\xAD\x97"
              "a");
    EXPECT_EQ(Get(f, "s", "k", 9), "\xE4\xB8\xAD\xE6\x96\x87");  // 8 bytes allowed: two characters
    EXPECT_EQ(Get(f, "s", "k", 4), "\xE4\xB8\xAD");
    EXPECT_EQ(Get(f, "s", "k", 3), "");
    EXPECT_EQ(Get(f, "s", "k", 1), "");
    EXPECT_EQ(Get(f, "s", "k", 0), "");
    // The default is held to the same size, as a 64-character buffer holds 63.
    EXPECT_EQ(f.Get("s", "missing", "0123456789", 5), "0123");
}

TEST(ProfileCut, Utf8BytesAndUtf16Units) {
    const std::string text = "a\xC3\xA9\xF0\x9F\x98\x80z";  // a, e-acute, an emoji, z
    EXPECT_EQ(CutUtf8Bytes(text, 2), "a");
    EXPECT_EQ(CutUtf8Bytes(text, 3), "a\xC3\xA9");
    EXPECT_EQ(CutUtf8Bytes(text, 6), "a\xC3\xA9");
    EXPECT_EQ(CutUtf8Bytes(text, 7), "a\xC3\xA9\xF0\x9F\x98\x80");
    EXPECT_EQ(CutUtf16Units(text, 2), "a\xC3\xA9");
    EXPECT_EQ(CutUtf16Units(text, 3), "a\xC3\xA9");  // the emoji needs two units
    EXPECT_EQ(CutUtf16Units(text, 4), "a\xC3\xA9\xF0\x9F\x98\x80");
    EXPECT_EQ(CutUtf16Units(text, 5), text);
    // A broken byte is stepped over one byte at a time, never read past the end.
    EXPECT_EQ(CutUtf8Bytes("ab\xE4\xB8", 10), "ab\xE4\xB8");
    EXPECT_EQ(CutUtf8Bytes("ab\xE4\xB8", 3), "ab\xE4");
}

TEST(ReadDecimal, BehavesLikeAtoi) {
    EXPECT_EQ(ReadDecimal("42"), 42);
    EXPECT_EQ(ReadDecimal("  \t42abc"), 42);
    EXPECT_EQ(ReadDecimal("+7"), 7);
    EXPECT_EQ(ReadDecimal("-5"), -5);
    EXPECT_EQ(ReadDecimal("abc"), 0);
    EXPECT_EQ(ReadDecimal(""), 0);
    EXPECT_EQ(ReadDecimal("- 5"), 0);
    EXPECT_EQ(ReadDecimal("99999999999999999999"), INT_MAX);
    EXPECT_EQ(ReadDecimal("-99999999999999999999"), INT_MIN);
    EXPECT_EQ(ReadDecimal("-2147483648"), INT_MIN);
}

TEST(ProfileFiles, MissingFileGivesTheDefault) {
    TempDir dir;
    EXPECT_EQ(ReadProfileString(dir.File("nothing.ini"), "s", "k", "dflt", 64), "dflt");
    EXPECT_EQ(ReadProfileString(dir.Dir(), "s", "k", "dflt", 64), "dflt");  // a folder
    EXPECT_FALSE(ProfileFile::Load(dir.File("nothing.ini")).has_value());
    EXPECT_EQ(LoadProfileCached(dir.File("nothing.ini")), nullptr);
}

TEST(ProfileFiles, ReadsAndSeesAChangedFile) {
    TempDir dir;
    const std::string path = dir.Write("Setting.ini", "[Setting]\nretransmission_max=3\n");
    EXPECT_EQ(ReadProfileString(path, "setting", "RETRANSMISSION_MAX", "9", 64), "3");
    dir.Write("Setting.ini", "[Setting]\nretransmission_max=12\n");
    EXPECT_EQ(ReadProfileString(path, "Setting", "retransmission_max", "9", 64), "12");
    std::filesystem::remove(path);
    EXPECT_EQ(ReadProfileString(path, "Setting", "retransmission_max", "9", 64), "9");
}

TEST(ProfileWrite, CreatesFileAndSection) {
    TempDir dir;
    const std::string path = dir.File("FileServer.ini");
    ASSERT_TRUE(WriteProfileString(path, "SERVER", "Directory", "/srv/fw one"));
    EXPECT_EQ(TempDir::Read(path), "[SERVER]\nDirectory=/srv/fw one\n");
    ASSERT_TRUE(WriteProfileString(path, "Other", "k", "v"));
    EXPECT_EQ(TempDir::Read(path), "[SERVER]\nDirectory=/srv/fw one\n\n[Other]\nk=v\n");
    EXPECT_EQ(ReadProfileString(path, "server", "directory", "", 512), "/srv/fw one");
}

TEST(ProfileWrite, ReplacesOrAddsTheKeyAndKeepsEverythingElse) {
    TempDir dir;
    const std::string path = dir.Write("FileServer.ini",
                                       "\xEF\xBB\xBF; settings\r\n[server]\r\nPort=69\r\ndirectory "
                                       "= /old\r\n\r\n[Log]\r\nlevel=1\r\n");
    ASSERT_TRUE(WriteProfileString(path, "SERVER", "Directory", "/new"));
    EXPECT_EQ(TempDir::Read(path),
              "\xEF\xBB\xBF; settings\r\n[server]\r\nPort=69\r\nDirectory=/new\r\n\r\n[Log]\r\n"
              "level=1\r\n");
    ASSERT_TRUE(WriteProfileString(path, "server", "Timeout", "5"));
    EXPECT_EQ(TempDir::Read(path),
              "\xEF\xBB\xBF; settings\r\n[server]\r\nPort=69\r\nDirectory=/new\r\nTimeout=5\r\n\r\n"
              "[Log]\r\nlevel=1\r\n");
    EXPECT_EQ(ReadProfileString(path, "Log", "level", "", 64), "1");
}

TEST(ProfileWrite, RefusesTextsThatWouldBreakTheFile) {
    TempDir dir;
    const std::string path = dir.Write("a.ini", "[s]\nk=v\n");
    EXPECT_FALSE(WriteProfileString(path, "s", "k", "two\nlines"));
    EXPECT_FALSE(WriteProfileString(path, "s", "k", "cr\rhere"));
    EXPECT_FALSE(WriteProfileString(path, "s", "k", std::string_view("nul\0x", 5)));
    EXPECT_FALSE(WriteProfileString(path, "s]x", "k", "v"));
    EXPECT_FALSE(WriteProfileString(path, "s", "a=b", "v"));
    EXPECT_FALSE(WriteProfileString(path, "s", "  ", "v"));
    EXPECT_FALSE(WriteProfileString(path, "s", "[k", "v"));
    EXPECT_FALSE(WriteProfileString(path, "s", ";k", "v"));
    EXPECT_EQ(TempDir::Read(path), "[s]\nk=v\n");
    EXPECT_FALSE(WriteProfileString(dir.File("missing/dir/a.ini"), "s", "k", "v"));
}

}  // namespace
}  // namespace kestrix

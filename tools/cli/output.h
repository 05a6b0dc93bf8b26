#pragma once
// The three forms every listing of kestrix-cli takes: an aligned table for
// people, JSON (an array of objects whose keys never change) and CSV (a
// header row of the same keys) for scripts. A listing is built once as
// typed rows and handed to one of the writers.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrix::cli {

struct Cell {
    enum class Kind { kText, kNumber, kBool, kNull, kTextList };
    Kind kind = Kind::kNull;
    std::string text;
    int64_t number = 0;
    bool flag = false;
    std::vector<std::string> list;
    // What the table shows instead of the value, when set (the status page
    // leaves some cells of announced-only devices blank, for instance).
    std::optional<std::string> tableText;

    static Cell Text(std::string t);
    static Cell Number(int64_t n);
    static Cell Bool(bool b);
    static Cell Null();
    static Cell TextList(std::vector<std::string> items);

    // The cell as one line of text: numbers in decimal, true/false, the
    // empty text for null, list items joined with `listSeparator`.
    std::string Plain(std::string_view listSeparator) const;
};

struct Column {
    std::string key;      // JSON key and CSV heading; empty: only in the table
    std::string heading;  // table heading (translated); empty: not in the table
};

struct Listing {
    std::vector<Column> columns;
    std::vector<std::vector<Cell>> rows;  // one cell per column
    // The table's columns in the order shown (indexes into `columns`);
    // empty: every column with a heading, in order.
    std::vector<size_t> tableOrder;
    bool tableHeadings = true;  // false: rows only, no heading line
};

enum class Format { kTable, kJson, kCsv };

// Text between the items of a list cell in the table and in CSV (the
// system tool page joins an adapter's addresses this way).
inline constexpr std::string_view kListSeparator = "--";

std::string RenderJson(const Listing& listing);
std::string RenderCsv(const Listing& listing);
// Headings, then one line per row; columns two spaces apart, padded to the
// widest cell as a terminal shows it. Texts from devices are made safe for
// a terminal first.
std::string RenderTable(const Listing& listing);
std::string Render(const Listing& listing, Format format);

// A JSON string literal (quotes included). Control characters and the
// characters that must be escaped are escaped; bytes that do not form
// UTF-8 come out as \u00XX so the document stays valid.
std::string JsonQuote(std::string_view text);
// A CSV field: quoted when it holds a comma, a quote, a line break or
// surrounding blanks, with quotes doubled.
std::string CsvField(std::string_view text);
// Columns a terminal uses for the text: East Asian wide and full-width
// characters count two, combining marks none, everything else one.
size_t DisplayWidth(std::string_view text);
// Control characters (C0, DEL, C1) and invalid bytes replaced by '?', so a
// device name cannot move the cursor or change the terminal's settings.
std::string TerminalSafe(std::string_view text);

}  // namespace kestrix::cli

#include "tools/cli/output.h"

#include <algorithm>
#include <cstdio>

namespace kestrix::cli {

namespace {

// One step of UTF-8 decoding: the code point and the bytes it took, or
// valid = false for a byte that starts no well-formed sequence (overlong
// forms and surrogates included), which then takes one byte.
struct Decoded {
    char32_t cp = 0;
    size_t length = 1;
    bool valid = false;
};

Decoded DecodeAt(std::string_view s, size_t i) {
    const auto b = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = b(i);
    if (c < 0x80) return {c, 1, true};
    size_t n = 0;
    char32_t cp = 0;
    char32_t min = 0;
    if ((c & 0xE0) == 0xC0) {
        n = 2, cp = c & 0x1F, min = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
        n = 3, cp = c & 0x0F, min = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
        n = 4, cp = c & 0x07, min = 0x10000;
    } else {
        return {};
    }
    if (i + n > s.size()) return {};
    for (size_t k = 1; k < n; ++k) {
        if ((b(i + k) & 0xC0) != 0x80) return {};
        cp = (cp << 6) | (b(i + k) & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return {};
    return {cp, n, true};
}

bool InRanges(char32_t cp, std::initializer_list<std::pair<char32_t, char32_t>> ranges) {
    for (const auto& [lo, hi] : ranges) {
        if (cp >= lo && cp <= hi) return true;
    }
    return false;
}

int CharWidth(char32_t cp) {
    if (InRanges(cp, {{0x0300, 0x036F}, {0x200B, 0x200F}, {0x20D0, 0x20FF}, {0xFE00, 0xFE0F}}))
        return 0;
    if (InRanges(cp, {{0x1100, 0x115F},
                      {0x2E80, 0x303E},
                      {0x3041, 0x33FF},
                      {0x3400, 0x4DBF},
                      {0x4E00, 0x9FFF},
                      {0xA000, 0xA4CF},
                      {0xAC00, 0xD7A3},
                      {0xF900, 0xFAFF},
                      {0xFE10, 0xFE19},
                      {0xFE30, 0xFE6F},
                      {0xFF00, 0xFF60},
                      {0xFFE0, 0xFFE6},
                      {0x1F300, 0x1F64F},
                      {0x1F900, 0x1F9FF},
                      {0x20000, 0x3FFFD}}))
        return 2;
    return 1;
}

bool IsControl(char32_t cp) {
    return cp < 0x20 || cp == 0x7F || (cp >= 0x80 && cp <= 0x9F);
}

void AppendHex4(std::string& out, unsigned value) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "\\u%04x", value & 0xFFFFu);
    out += buf;
}

}  // namespace

Cell Cell::Text(std::string t) {
    Cell c;
    c.kind = Kind::kText;
    c.text = std::move(t);
    return c;
}
Cell Cell::Number(int64_t n) {
    Cell c;
    c.kind = Kind::kNumber;
    c.number = n;
    return c;
}
Cell Cell::Bool(bool b) {
    Cell c;
    c.kind = Kind::kBool;
    c.flag = b;
    return c;
}
Cell Cell::Null() {
    return Cell{};
}
Cell Cell::TextList(std::vector<std::string> items) {
    Cell c;
    c.kind = Kind::kTextList;
    c.list = std::move(items);
    return c;
}

std::string Cell::Plain(std::string_view listSeparator) const {
    switch (kind) {
        case Kind::kText:
            return text;
        case Kind::kNumber:
            return std::to_string(number);
        case Kind::kBool:
            return flag ? "true" : "false";
        case Kind::kNull:
            return {};
        case Kind::kTextList: {
            std::string joined;
            for (size_t i = 0; i < list.size(); ++i) {
                if (i > 0) joined += listSeparator;
                joined += list[i];
            }
            return joined;
        }
    }
    return {};
}

std::string JsonQuote(std::string_view text) {
    std::string out = "\"";
    for (size_t i = 0; i < text.size();) {
        const Decoded d = DecodeAt(text, i);
        if (!d.valid) {
            AppendHex4(out, static_cast<unsigned char>(text[i]));
            ++i;
            continue;
        }
        const char32_t cp = d.cp;
        if (cp == '"') {
            out += "\\\"";
        } else if (cp == '\\') {
            out += "\\\\";
        } else if (cp == '\n') {
            out += "\\n";
        } else if (cp == '\r') {
            out += "\\r";
        } else if (cp == '\t') {
            out += "\\t";
        } else if (cp < 0x20 || cp == 0x7F) {
            AppendHex4(out, static_cast<unsigned>(cp));
        } else {
            out.append(text.substr(i, d.length));
        }
        i += d.length;
    }
    out += '"';
    return out;
}

std::string CsvField(std::string_view text) {
    const bool quote = text.find_first_of(",\"\r\n") != std::string_view::npos ||
                       (!text.empty() && (text.front() == ' ' || text.back() == ' ' ||
                                          text.front() == '\t' || text.back() == '\t'));
    if (!quote) return std::string(text);
    std::string out = "\"";
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
    return out;
}

size_t DisplayWidth(std::string_view text) {
    size_t width = 0;
    for (size_t i = 0; i < text.size();) {
        const Decoded d = DecodeAt(text, i);
        width += d.valid ? static_cast<size_t>(CharWidth(d.cp)) : 1;
        i += d.length;
    }
    return width;
}

std::string TerminalSafe(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const Decoded d = DecodeAt(text, i);
        if (!d.valid || IsControl(d.cp)) {
            out += '?';
        } else {
            out.append(text.substr(i, d.length));
        }
        i += d.length;
    }
    return out;
}

std::string RenderJson(const Listing& listing) {
    std::string out = "[";
    for (size_t r = 0; r < listing.rows.size(); ++r) {
        out += r == 0 ? "\n  {" : ",\n  {";
        const auto& row = listing.rows[r];
        bool first = true;
        for (size_t c = 0; c < listing.columns.size() && c < row.size(); ++c) {
            if (listing.columns[c].key.empty()) continue;
            if (!first) out += ", ";
            first = false;
            out += JsonQuote(listing.columns[c].key);
            out += ": ";
            const Cell& cell = row[c];
            switch (cell.kind) {
                case Cell::Kind::kText:
                    out += JsonQuote(cell.text);
                    break;
                case Cell::Kind::kNumber:
                    out += std::to_string(cell.number);
                    break;
                case Cell::Kind::kBool:
                    out += cell.flag ? "true" : "false";
                    break;
                case Cell::Kind::kNull:
                    out += "null";
                    break;
                case Cell::Kind::kTextList: {
                    out += '[';
                    for (size_t i = 0; i < cell.list.size(); ++i) {
                        if (i > 0) out += ", ";
                        out += JsonQuote(cell.list[i]);
                    }
                    out += ']';
                    break;
                }
            }
        }
        out += '}';
    }
    out += listing.rows.empty() ? "]\n" : "\n]\n";
    return out;
}

std::string RenderCsv(const Listing& listing) {
    std::vector<size_t> keyed;
    for (size_t c = 0; c < listing.columns.size(); ++c) {
        if (!listing.columns[c].key.empty()) keyed.push_back(c);
    }
    std::string out;
    for (size_t i = 0; i < keyed.size(); ++i) {
        if (i > 0) out += ',';
        out += CsvField(listing.columns[keyed[i]].key);
    }
    out += "\r\n";
    for (const auto& row : listing.rows) {
        for (size_t i = 0; i < keyed.size(); ++i) {
            if (i > 0) out += ',';
            if (keyed[i] < row.size()) out += CsvField(row[keyed[i]].Plain(kListSeparator));
        }
        out += "\r\n";
    }
    return out;
}

std::string RenderTable(const Listing& listing) {
    std::vector<size_t> shown = listing.tableOrder;
    if (shown.empty()) {
        for (size_t c = 0; c < listing.columns.size(); ++c) {
            if (!listing.columns[c].heading.empty()) shown.push_back(c);
        }
    }
    std::vector<std::vector<std::string>> lines;
    if (listing.tableHeadings) {
        std::vector<std::string> head;
        for (size_t c : shown)
            head.push_back(
                TerminalSafe(c < listing.columns.size() ? listing.columns[c].heading : ""));
        lines.push_back(std::move(head));
    }
    for (const auto& row : listing.rows) {
        std::vector<std::string> line;
        for (size_t c : shown) {
            std::string text;
            if (c < row.size())
                text = row[c].tableText ? *row[c].tableText : row[c].Plain(kListSeparator);
            line.push_back(TerminalSafe(text));
        }
        lines.push_back(std::move(line));
    }
    std::vector<size_t> widths(shown.size(), 0);
    for (const auto& line : lines)
        for (size_t i = 0; i < line.size(); ++i)
            widths[i] = std::max(widths[i], DisplayWidth(line[i]));

    std::string out;
    for (const auto& line : lines) {
        std::string text;
        for (size_t i = 0; i < line.size(); ++i) {
            text += line[i];
            if (i + 1 < line.size()) text.append(widths[i] - DisplayWidth(line[i]) + 2, ' ');
        }
        out += text;
        out += '\n';
    }
    return out;
}

std::string Render(const Listing& listing, Format format) {
    switch (format) {
        case Format::kJson:
            return RenderJson(listing);
        case Format::kCsv:
            return RenderCsv(listing);
        case Format::kTable:
            break;
    }
    return RenderTable(listing);
}

}  // namespace kestrix::cli

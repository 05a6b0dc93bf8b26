#pragma once
// A plain implementation of the device page query, used to check the
// store's aggregate-and-LIMIT version against and to time it beside it: it
// reads every row of the table in sort order, keeps those whose filter
// columns contain the filter text (ASCII letters compared without case, as
// SQL LIKE does), counts them and the online ones, and copies the rows that
// fall on the page.

#include <string>
#include <vector>

#include "link/wire/wire_format.h"
#include "store/ado_database.h"

namespace kestrix::testing {

class ReferencePager {
public:
    // Reads a copy of the store's file taken now (the store keeps its own
    // file locked), so it sees the table as it is at construction.
    explicit ReferencePager(const std::string& path);
    ~ReferencePager();
    ReferencePager(const ReferencePager&) = delete;
    ReferencePager& operator=(const ReferencePager&) = delete;

    bool QueryDevicePage(const std::string& filter, int sortColumn, bool ascending, int pageSize,
                         int pageNumber, std::vector<ap_info_stu>& list, int& pageCount,
                         int& onlineCount);

private:
    std::string copy_;
    CADODatabase db_;
    CADORecordset rows_;
};

// Byte-wise "contains" with ASCII letters folded.
bool ContainsNoCase(const std::string& text, const std::string& needle);

}  // namespace kestrix::testing

#include "store/ado_database.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <utility>

#include <sqlite3.h>

#include "base/text_utils.h"

namespace kestrix {

namespace {

// The name under which OpenQuery adds the rowid to a SELECT.
constexpr std::string_view kRowidAlias = "kx_rowid_";
// Prepared statements kept per connection. The store uses a few dozen
// distinct texts; anything beyond this is someone's ad-hoc SQL and is
// simply prepared again later.
constexpr size_t kStatementCacheLimit = 256;

std::string QuoteIdentifier(std::string_view name) {
    std::string out = "\"";
    for (char c : name) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
    return out;
}

// "select ..." -> "select rowid AS kx_rowid_, ...", so every row of the
// snapshot knows which table row to write back to. Empty when the text is
// not a plain SELECT.
std::string WithRowid(const std::string& statement) {
    std::string_view s = TrimWhiteSpace(statement);
    constexpr std::string_view kSelect = "select";
    if (s.size() <= kSelect.size() || !IsCSpace(s[kSelect.size()])) return {};
    for (size_t i = 0; i < kSelect.size(); ++i) {
        if ((s[i] | 0x20) != kSelect[i]) return {};
    }
    std::string out = "select rowid AS ";
    out += kRowidAlias;
    out += ", ";
    out += s.substr(kSelect.size() + 1);
    return out;
}

SqlValue ColumnValue(sqlite3_stmt* stmt, int i) {
    switch (sqlite3_column_type(stmt, i)) {
        case SQLITE_INTEGER:
            return static_cast<int64_t>(sqlite3_column_int64(stmt, i));
        case SQLITE_FLOAT:
            return sqlite3_column_double(stmt, i);
        case SQLITE_TEXT:
        case SQLITE_BLOB: {
            const void* p = sqlite3_column_blob(stmt, i);
            const int n = sqlite3_column_bytes(stmt, i);
            if (p == nullptr || n <= 0) return std::string();
            return std::string(static_cast<const char*>(p), static_cast<size_t>(n));
        }
        default:
            return std::monostate{};
    }
}

}  // namespace

bool SqlValueToInt64(const SqlValue& cell, int64_t& out) {
    if (std::holds_alternative<std::monostate>(cell)) {
        out = 0;
        return true;
    }
    if (const auto* i = std::get_if<int64_t>(&cell)) {
        out = *i;
        return true;
    }
    if (const auto* d = std::get_if<double>(&cell)) {
        if (!std::isfinite(*d) || std::fabs(*d) >= 9.2e18) return false;
        out = static_cast<int64_t>(*d);
        return true;
    }
    std::string_view t = TrimWhiteSpace(std::get<std::string>(cell));
    if (t.empty()) {
        out = 0;
        return true;
    }
    if (t.front() == '+') t.remove_prefix(1);
    int64_t v = 0;
    const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
    if (ec != std::errc() || end != t.data() + t.size()) return false;
    out = v;
    return true;
}

namespace {

std::string CellToText(const SqlValue& cell) {
    if (const auto* i = std::get_if<int64_t>(&cell)) return std::to_string(*i);
    if (const auto* d = std::get_if<double>(&cell)) {
        if (std::isfinite(*d) && *d == std::trunc(*d) && std::fabs(*d) < 9.2e18) {
            return std::to_string(static_cast<int64_t>(*d));
        }
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.17g", *d);
        return buf;
    }
    if (const auto* s = std::get_if<std::string>(&cell)) return *s;
    return {};
}

int TraceCallback(unsigned type, void* context, void* /*stmt*/, void* sqlText) {
    auto* hook = static_cast<std::function<void(std::string_view)>*>(context);
    if (type == SQLITE_TRACE_STMT && hook != nullptr && *hook && sqlText != nullptr) {
        (*hook)(static_cast<const char*>(sqlText));
    }
    return 0;
}

}  // namespace

int CompareSqlValues(const SqlValue& a, const SqlValue& b) {
    // Storage classes in the engine's order: NULL, numbers, texts.
    const auto rank = [](const SqlValue& v) {
        return std::holds_alternative<std::monostate>(v) ? 0
               : std::holds_alternative<std::string>(v)  ? 2
                                                         : 1;
    };
    const int ra = rank(a), rb = rank(b);
    if (ra != rb) return ra < rb ? -1 : 1;
    if (ra == 0) return 0;
    if (ra == 2) return std::get<std::string>(a).compare(std::get<std::string>(b));
    const auto* ia = std::get_if<int64_t>(&a);
    const auto* ib = std::get_if<int64_t>(&b);
    if (ia && ib) return *ia < *ib ? -1 : (*ia > *ib ? 1 : 0);
    // long double holds every 64-bit integer exactly, so mixed pairs
    // compare by their true values.
    const long double x = ia ? static_cast<long double>(*ia) : std::get<double>(a);
    const long double y = ib ? static_cast<long double>(*ib) : std::get<double>(b);
    return x < y ? -1 : (x > y ? 1 : 0);
}

bool BindParams(sqlite3_stmt* stmt, const SqlParams& params) {
    if (static_cast<int>(params.size()) > sqlite3_bind_parameter_count(stmt)) return false;
    int i = 1;
    for (const SqlValue& p : params) {
        int rc = SQLITE_OK;
        if (const auto* v = std::get_if<int64_t>(&p)) {
            rc = sqlite3_bind_int64(stmt, i, *v);
        } else if (const auto* d = std::get_if<double>(&p)) {
            rc = sqlite3_bind_double(stmt, i, *d);
        } else if (const auto* s = std::get_if<std::string>(&p)) {
            rc = sqlite3_bind_text64(stmt, i, s->data(), s->size(), SQLITE_TRANSIENT, SQLITE_UTF8);
        } else {
            rc = sqlite3_bind_null(stmt, i);
        }
        if (rc != SQLITE_OK) return false;
        ++i;
    }
    return true;
}

// ---------------------------------------------------------------------------
// CADODatabase

CADODatabase::CADODatabase() = default;

CADODatabase::~CADODatabase() {
    CloseConnection();
}

bool CADODatabase::CreateDatabaseFile(const std::string& connectionString) {
    if (connectionString.empty()) return false;
    std::error_code ec;
    if (std::filesystem::symlink_status(connectionString, ec).type() !=
        std::filesystem::file_type::not_found) {
        return false;
    }
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(connectionString.c_str(), &db,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    const bool ok = rc == SQLITE_OK && sqlite3_exec(db, "PRAGMA user_version=0", nullptr, nullptr,
                                                    nullptr) == SQLITE_OK;
    sqlite3_close_v2(db);
    return ok;
}

bool CADODatabase::OpenConnection(const std::string& connectionString) {
    CloseConnection();
    if (!connectionString.empty()) connectionString_ = connectionString;
    if (connectionString_.empty()) return false;
    sqlite3* db = nullptr;
    // The engine's own per-call mutex is left out: every use of a connection
    // is serialised by its owner (the store lock), and the column reads of a
    // whole-table scan would otherwise each take and release it.
    const int rc = sqlite3_open_v2(connectionString_.c_str(), &db,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_close_v2(db);
        return false;
    }
    db_ = db;
    if (!ApplyConnectionSettings()) {
        CloseConnection();
        return false;
    }
    InstallTrace();
    return true;
}

bool CADODatabase::ApplyConnectionSettings() {
    if (timeoutSeconds_ > 0) sqlite3_busy_timeout(db_, timeoutSeconds_ * 1000);
    // The file is scratch storage of one run, deleted at exit: durability
    // buys nothing, so the journal lives in memory and nothing is synced.
    // The last statement reads the schema, which fails for a file that is
    // not a database.
    static const char* const kSettings =
        "PRAGMA journal_mode=MEMORY;"
        "PRAGMA synchronous=OFF;"
        "PRAGMA temp_store=MEMORY;"
        // Room for the whole table of a large fleet (about 8 MB for 10 000
        // devices), so that paging never goes back to the file.
        "PRAGMA cache_size=-65536;"
        "SELECT count(*) FROM sqlite_master;";
    if (exclusive_ && sqlite3_exec(db_, "PRAGMA locking_mode=EXCLUSIVE", nullptr, nullptr,
                                   nullptr) != SQLITE_OK) {
        return false;
    }
    return sqlite3_exec(db_, kSettings, nullptr, nullptr, nullptr) == SQLITE_OK;
}

void CADODatabase::CloseConnection() {
    if (db_ == nullptr) return;
    DropStatements();
    sqlite3_close_v2(db_);
    db_ = nullptr;
}

void CADODatabase::SetTraceHook(std::function<void(std::string_view)> hook) {
    trace_ = std::move(hook);
    InstallTrace();
}

void CADODatabase::InstallTrace() {
    if (db_ == nullptr) return;
    if (trace_) {
        sqlite3_trace_v2(db_, SQLITE_TRACE_STMT, TraceCallback, &trace_);
    } else {
        sqlite3_trace_v2(db_, 0, nullptr, nullptr);
    }
}

void CADODatabase::DropStatements() {
    for (auto& [text, cached] : cache_) sqlite3_finalize(cached.stmt);
    cache_.clear();
}

sqlite3_stmt* CADODatabase::Prepare(const std::string& statement) {
    if (db_ == nullptr) return nullptr;
    if (auto it = cache_.find(statement); it != cache_.end()) {
        sqlite3_reset(it->second.stmt);
        sqlite3_clear_bindings(it->second.stmt);
        return it->second.stmt;
    }
    sqlite3_stmt* stmt = nullptr;
    const char* tail = nullptr;
    const int rc =
        sqlite3_prepare_v3(db_, statement.c_str(), static_cast<int>(statement.size()) + 1,
                           SQLITE_PREPARE_PERSISTENT, &stmt, &tail);
    if (rc != SQLITE_OK || stmt == nullptr) {
        sqlite3_finalize(stmt);
        return nullptr;
    }
    // One statement per call: a second one hidden behind a semicolon is
    // refused rather than silently dropped.
    if (tail != nullptr) {
        std::string_view rest(tail);
        while (!rest.empty() && (IsCSpace(rest.front()) || rest.front() == ';'))
            rest.remove_prefix(1);
        if (!rest.empty()) {
            sqlite3_finalize(stmt);
            return nullptr;
        }
    }
    if (cache_.size() >= kStatementCacheLimit) DropStatements();
    cache_.emplace(statement, Cached{stmt, nullptr});
    return stmt;
}

std::shared_ptr<const ResultShape> CADODatabase::ShapeOf(const std::string& statement,
                                                         sqlite3_stmt* stmt) {
    auto it = cache_.find(statement);
    if (it != cache_.end() && it->second.shape) return it->second.shape;
    auto shape = std::make_shared<ResultShape>();
    const int n = sqlite3_column_count(stmt);
    shape->names.reserve(static_cast<size_t>(n));
    shape->origins.reserve(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        const char* name = sqlite3_column_name(stmt, i);
        shape->names.emplace_back(name != nullptr ? name : "");
        const char* origin = sqlite3_column_origin_name(stmt, i);
        shape->origins.emplace_back(origin != nullptr ? origin : "");
    }
    if (n > 0 && shape->names[0] == kRowidAlias) {
        shape->rowidColumn = 0;
        const char* table = sqlite3_column_table_name(stmt, 0);
        if (table != nullptr) shape->table = table;
    }
    // Only rows made of plain columns of one table can be written back: an
    // expression or an aggregate (count(*)) has no row to go to.
    bool plain = true;
    for (int i = 0; i < n; ++i) {
        if (i == shape->rowidColumn) continue;
        const char* table = sqlite3_column_table_name(stmt, i);
        if (table == nullptr || shape->table != table) plain = false;
        // The first of two equal names wins, as with the engine's own lookup.
        shape->index.emplace(shape->names[static_cast<size_t>(i)], i);
    }
    if (!plain) shape->table.clear();
    if (it != cache_.end()) it->second.shape = shape;
    return shape;
}

bool CADODatabase::ExecuteStatement(const std::string& statement, const SqlParams& params) {
    sqlite3_stmt* stmt = Prepare(statement);
    if (stmt == nullptr) return false;
    if (!BindParams(stmt, params)) {
        sqlite3_reset(stmt);
        return false;
    }
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
    }
    sqlite3_reset(stmt);
    return rc == SQLITE_DONE;
}

bool CADODatabase::ForEachRow(const std::string& statement, const SqlParams& params,
                              const std::function<void(std::vector<SqlValue>&)>& visit) {
    sqlite3_stmt* stmt = Prepare(statement);
    if (stmt == nullptr) return false;
    if (!BindParams(stmt, params)) {
        sqlite3_reset(stmt);
        return false;
    }
    const int n = sqlite3_column_count(stmt);
    std::vector<SqlValue> row(static_cast<size_t>(n));
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        for (int i = 0; i < n; ++i) row[static_cast<size_t>(i)] = ColumnValue(stmt, i);
        visit(row);
    }
    sqlite3_reset(stmt);
    return rc == SQLITE_DONE;
}

// ---------------------------------------------------------------------------
// CADORecordset

CADORecordset::CADORecordset(CADODatabase* database) : database_(database) {}

CADORecordset::~CADORecordset() {
    CloseQuery();
}

bool CADORecordset::OpenQuery(const std::string& statement, const SqlParams& params) {
    CloseQuery();
    if (!statement.empty()) {
        statement_ = statement;
        params_ = params;
    } else if (!params.empty()) {
        params_ = params;
    }
    if (database_ == nullptr || !database_->IsOpen() || statement_.empty()) return false;

    std::string text = WithRowid(statement_);
    sqlite3_stmt* stmt = text.empty() ? nullptr : database_->Prepare(text);
    if (stmt == nullptr) {
        // Not a single-table SELECT: the rows can be read but not written.
        text = statement_;
        stmt = database_->Prepare(text);
        if (stmt == nullptr) return false;
    }
    if (!BindParams(stmt, params_)) {
        sqlite3_reset(stmt);
        return false;
    }
    auto shape = database_->ShapeOf(text, stmt);
    const int n = static_cast<int>(shape->names.size());
    std::vector<Row> rows;
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        Row row;
        row.cells.reserve(static_cast<size_t>(n));
        for (int i = 0; i < n; ++i) row.cells.push_back(ColumnValue(stmt, i));
        if (shape->rowidColumn >= 0) row.rowid = sqlite3_column_int64(stmt, shape->rowidColumn);
        rows.push_back(std::move(row));
    }
    sqlite3_reset(stmt);
    if (rc != SQLITE_DONE) return false;
    shape_ = std::move(shape);
    rows_ = std::move(rows);
    current_ = 0;
    open_ = true;
    return true;
}

bool CADORecordset::IsQueryOpen() const {
    return open_ && database_ != nullptr && database_->IsOpen();
}

void CADORecordset::CloseQuery() {
    if (!open_) return;
    AbandonChange();
    rows_.clear();
    current_ = 0;
    open_ = false;
}

void CADORecordset::AbandonChange() {
    editState_ = kEditNone;
    pending_.clear();
    written_.clear();
}

int CADORecordset::RowCount() const {
    return open_ ? static_cast<int>(rows_.size()) : 0;
}

bool CADORecordset::AtEnd() const {
    return !open_ || current_ >= rows_.size();
}

void CADORecordset::ToFirstRow() {
    current_ = 0;
}

void CADORecordset::ToNextRow() {
    if (current_ < rows_.size()) ++current_;
}

const SqlValue* CADORecordset::Cell(std::string_view field) {
    if (AtEnd()) return nullptr;
    auto it = shape_->index.find(field);
    if (it == shape_->index.end()) return nullptr;
    Row& row = rows_[current_];
    if (row.stale && !RefreshRow(row)) return nullptr;
    if (row.gone) return nullptr;
    return &row.cells[static_cast<size_t>(it->second)];
}

bool CADORecordset::RefreshRow(Row& row) {
    if (database_ == nullptr || !database_->IsOpen() || shape_->table.empty()) return false;
    std::string sql = "SELECT ";
    std::vector<size_t> columns;
    for (size_t i = 0; i < shape_->origins.size(); ++i) {
        if (static_cast<int>(i) == shape_->rowidColumn) continue;
        if (!columns.empty()) sql += ',';
        sql += QuoteIdentifier(shape_->origins[i]);
        columns.push_back(i);
    }
    if (columns.empty()) {
        row.stale = false;
        return true;
    }
    sql += " FROM " + QuoteIdentifier(shape_->table) + " WHERE rowid=?";
    sqlite3_stmt* stmt = database_->Prepare(sql);
    if (stmt == nullptr) return false;
    sqlite3_bind_int64(stmt, 1, row.rowid);
    const int rc = sqlite3_step(stmt);
    if (rc == SQLITE_ROW) {
        for (size_t k = 0; k < columns.size(); ++k) {
            row.cells[columns[k]] = ColumnValue(stmt, static_cast<int>(k));
        }
    } else if (rc == SQLITE_DONE) {
        row.gone = true;
    }
    sqlite3_reset(stmt);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) return false;
    row.stale = false;
    return true;
}

bool CADORecordset::ReadInt64(std::string_view field, int64_t& value) {
    const SqlValue* cell = Cell(field);
    return cell != nullptr && SqlValueToInt64(*cell, value);
}

bool CADORecordset::ReadInt32(std::string_view field, int32_t& value) {
    int64_t v = 0;
    if (!ReadInt64(field, v)) return false;
    value = static_cast<int32_t>(static_cast<uint32_t>(v));
    return true;
}

bool CADORecordset::ReadInt16(std::string_view field, int32_t& value) {
    int64_t v = 0;
    if (!ReadInt64(field, v)) return false;
    value = static_cast<int16_t>(static_cast<uint16_t>(v));
    return true;
}

bool CADORecordset::ReadText(std::string_view field, std::string& text) {
    const SqlValue* cell = Cell(field);
    if (cell == nullptr) return false;
    text = CellToText(*cell);
    return true;
}

bool CADORecordset::Write(std::string_view field, SqlValue value) {
    if (editState_ == kEditNone || !open_) return false;
    auto it = shape_->index.find(field);
    if (it == shape_->index.end()) return false;
    const auto i = static_cast<size_t>(it->second);
    if (shape_->table.empty()) return false;
    pending_[i] = std::move(value);
    written_[i] = true;
    return true;
}

bool CADORecordset::WriteText(std::string_view field, std::string_view text) {
    if (text.empty()) return Write(field, std::monostate{});
    return Write(field, std::string(text));
}

bool CADORecordset::WriteInt32(std::string_view field, int32_t value) {
    return Write(field, static_cast<int64_t>(value));
}

bool CADORecordset::WriteIpNum(uint32_t value) {
    return Write("ip_num", static_cast<int64_t>(value));
}

bool CADORecordset::BeginAppend() {
    AbandonChange();
    if (!IsQueryOpen() || shape_->table.empty()) return false;
    pending_.assign(shape_->names.size(), SqlValue{});
    written_.assign(shape_->names.size(), false);
    editState_ = kEditAppending;
    return true;
}

void CADORecordset::BeginEdit() {
    AbandonChange();
    const size_t n = open_ ? shape_->names.size() : 0;
    pending_.assign(n, SqlValue{});
    written_.assign(n, false);
    editState_ = kEditEditing;
}

bool CADORecordset::BeginEditOrAppend() {
    if (RowCount() > 0) {
        BeginEdit();
        return true;
    }
    return BeginAppend();
}

const std::string& CADORecordset::CommitStatement(EditState state,
                                                  const std::vector<bool>& written) {
    // A store operation writes the same columns every time: the statement
    // text is built once and reused (and so is its prepared statement).
    if (state == commitState_ && written == commitColumns_ && shape_ == commitShape_) {
        return commitSql_;
    }
    std::string columns;
    size_t count = 0;
    for (size_t i = 0; i < written.size(); ++i) {
        if (!written[i]) continue;
        if (count++ > 0) columns += ',';
        columns += QuoteIdentifier(shape_->origins[i]);
        if (state == kEditEditing) columns += "=?";
    }
    const std::string table = QuoteIdentifier(shape_->table);
    if (state == kEditEditing) {
        commitSql_ = "UPDATE " + table + " SET " + columns + " WHERE rowid=?";
    } else if (count == 0) {
        commitSql_ = "INSERT INTO " + table + " DEFAULT VALUES";
    } else {
        commitSql_ = "INSERT INTO " + table + " (" + columns + ") VALUES (?";
        for (size_t i = 1; i < count; ++i) commitSql_ += ",?";
        commitSql_ += ')';
    }
    commitState_ = state;
    commitColumns_ = written;
    commitShape_ = shape_;
    return commitSql_;
}

bool CADORecordset::CommitRow() {
    if (editState_ == kEditNone) return true;
    const EditState state = editState_;
    std::vector<SqlValue> pending = std::move(pending_);
    std::vector<bool> written = std::move(written_);
    AbandonChange();
    if (!IsQueryOpen() || shape_->table.empty()) return false;

    SqlParams params;
    for (size_t i = 0; i < written.size(); ++i) {
        if (written[i]) params.push_back(std::move(pending[i]));
    }
    if (state == kEditEditing) {
        if (AtEnd() || rows_[current_].gone) return false;
        if (params.empty()) return true;
        params.emplace_back(rows_[current_].rowid);
        if (!database_->ExecuteStatement(CommitStatement(state, written), params)) return false;
        // Zero rows changed: the row went away underneath us.
        if (sqlite3_changes(database_->Handle()) != 1) return false;
        rows_[current_].stale = true;
        return true;
    }
    if (!database_->ExecuteStatement(CommitStatement(state, written), params)) return false;
    Row row;
    row.rowid = sqlite3_last_insert_rowid(database_->Handle());
    row.cells.assign(shape_->names.size(), SqlValue{});
    if (shape_->rowidColumn >= 0) row.cells[static_cast<size_t>(shape_->rowidColumn)] = row.rowid;
    row.stale = true;
    rows_.push_back(std::move(row));
    current_ = rows_.size() - 1;
    return true;
}

}  // namespace kestrix

#pragma once
// The database access layer: a connection (CADODatabase) and an updatable
// row set (CADORecordset) over the SQLite C API. Every operation answers
// true/false (or a number); an engine error never travels past the class
// that met it.
//
// A row set is a snapshot: OpenQuery runs the SELECT to its end and keeps
// every row together with its rowid, so the statement is never left running
// between calls. Editing a row and committing it becomes one
// "UPDATE ... WHERE rowid = ?", appending one becomes an INSERT.
//
// Neither class locks: the store serialises every use with its own lock.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <variant>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace kestrix {

// A statement parameter or a cell of a row: NULL, integer, real or text.
using SqlValue = std::variant<std::monostate, int64_t, double, std::string>;
using SqlParams = std::vector<SqlValue>;

// Hashing that lets field names be looked up as string_view without
// building a std::string on every read or write.
struct FieldNameHash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
};

// What a prepared SELECT returns: column names and, for row sets that can be
// written back, the table and the table column behind each result column.
struct ResultShape {
    std::vector<std::string> names;
    std::unordered_map<std::string, int, FieldNameHash, std::equal_to<>> index;
    std::string table;                 // empty: the row set is read-only
    std::vector<std::string> origins;  // the table column behind each result column
    int rowidColumn = -1;              // the injected rowid column, -1 if none
};

class CADODatabase {
public:
    CADODatabase();
    virtual ~CADODatabase();
    CADODatabase(const CADODatabase&) = delete;
    CADODatabase& operator=(const CADODatabase&) = delete;

    // The connection string is the database file's path. Creating fails when
    // anything already exists at the path: a scratch database is never
    // built on top of a file we did not make.
    bool CreateDatabaseFile(const std::string& connectionString);
    // Closes an open connection first; a non-empty string replaces the kept
    // one. Opens an existing file only (never creates one) and checks that
    // it really is a database.
    bool OpenConnection(const std::string& connectionString = {});
    bool IsOpen() const { return db_ != nullptr; }
    void CloseConnection();
    // For statements that return no rows; any rows are stepped over.
    bool ExecuteStatement(const std::string& statement, const SqlParams& params = {});
    // Runs a SELECT and hands every row's cells to `visit` as it is read,
    // without a snapshot: for scans over a whole table. The vector is
    // reused from row to row; `visit` may move values out of it.
    bool ForEachRow(const std::string& statement, const SqlParams& params,
                    const std::function<void(std::vector<SqlValue>&)>& visit);

    const std::string& ConnectionString() const { return connectionString_; }
    // Seconds to wait for a lock held by another connection; 0 keeps the
    // engine's default (no waiting).
    void SetConnectionTimeout(int seconds) { timeoutSeconds_ = seconds; }
    // Takes effect at the next open. An exclusive connection keeps the
    // file locked from its first statement until it closes: no other
    // connection can read or write the file meanwhile, and no statement pays
    // for taking and dropping the file lock.
    void SetExclusiveAccess(bool exclusive) { exclusive_ = exclusive; }
    // Called with the text of every statement the engine starts running
    // (statement tracing for diagnostics). Survives reconnection.
    void SetTraceHook(std::function<void(std::string_view)> hook);

    // For CADORecordset. Returns a cached prepared statement, reset and
    // with parameters cleared, or nullptr when the engine rejects the text.
    sqlite3_stmt* Prepare(const std::string& statement);
    // The shape of a cached SELECT, worked out once per statement text.
    std::shared_ptr<const ResultShape> ShapeOf(const std::string& statement, sqlite3_stmt* stmt);
    sqlite3* Handle() const { return db_; }

private:
    struct Cached {
        sqlite3_stmt* stmt = nullptr;
        std::shared_ptr<const ResultShape> shape;
    };
    bool ApplyConnectionSettings();
    void InstallTrace();
    void DropStatements();

    sqlite3* db_ = nullptr;
    std::string connectionString_;
    int timeoutSeconds_ = 0;
    bool exclusive_ = false;
    std::function<void(std::string_view)> trace_;
    std::unordered_map<std::string, Cached> cache_;
};

// Binds params to stmt (1-based, in order). False when the engine refuses.
bool BindParams(sqlite3_stmt* stmt, const SqlParams& params);
// `s` without surrounding white space (space, tab, CR, LF, VT, FF).
// A cell as a 64-bit integer: NULL and "" are 0, a real is cut toward zero,
// a text must hold a whole decimal number (else false).
bool SqlValueToInt64(const SqlValue& cell, int64_t& out);
// The engine's ORDER BY order of two cells (binary collation): NULL first,
// then numbers by value, then texts byte by byte. <0, 0 or >0.
int CompareSqlValues(const SqlValue& a, const SqlValue& b);

class CADORecordset {
public:
    enum EditState { kEditNone = 0, kEditAppending = 1, kEditEditing = 2 };

    explicit CADORecordset(CADODatabase* database);
    virtual ~CADORecordset();
    CADORecordset(const CADORecordset&) = delete;
    CADORecordset& operator=(const CADORecordset&) = delete;

    // Closes the row set first. A non-empty statement replaces the kept one
    // (and its parameters); an empty one reruns the kept statement. The
    // current row is the first one.
    bool OpenQuery(const std::string& statement, const SqlParams& params = {});
    bool IsQueryOpen() const;
    // Abandons any pending change and drops the snapshot.
    void CloseQuery();

    int RowCount() const;
    bool AtEnd() const;
    void ToFirstRow();
    void ToNextRow();

    // Reads of the current row. NULL (and an empty text, for the numbers)
    // gives 0 or "". False, value untouched, for an unknown field, no current
    // row, or a text that is not a number.
    bool ReadInt32(std::string_view field, int32_t& value);
    // The low 16 bits, sign-extended.
    bool ReadInt16(std::string_view field, int32_t& value);
    // Texts as stored (not trimmed); numbers in decimal.
    bool ReadText(std::string_view field, std::string& text);

    // Writes to the current (editing) or new (appending) row; refused
    // outside an edit. An empty text is written as NULL.
    bool WriteText(std::string_view field, std::string_view text);
    bool WriteInt32(std::string_view field, int32_t value);
    // Always the field ip_num, as an unsigned 32-bit number.
    bool WriteIpNum(uint32_t value);

    bool BeginAppend();
    // Starts changing the current row in place (no engine call).
    void BeginEdit();
    // The write pattern of a keyed table: edit the current (first) row when
    // the row set has one, else append a new row.
    bool BeginEditOrAppend();
    // One UPDATE (editing) or INSERT (appending). On failure the change is
    // abandoned and the row stays as it was. Either way the state becomes none.
    bool CommitRow();
    EditState GetEditState() const { return editState_; }

private:
    struct Row {
        int64_t rowid = 0;
        std::vector<SqlValue> cells;
        bool stale = false;  // changed by a commit; reread before the next read
        bool gone = false;   // no longer in the table
    };
    const SqlValue* Cell(std::string_view field);
    bool ReadInt64(std::string_view field, int64_t& value);
    bool Write(std::string_view field, SqlValue value);
    bool RefreshRow(Row& row);
    const std::string& CommitStatement(EditState state, const std::vector<bool>& written);
    void AbandonChange();

    CADODatabase* database_;
    std::string statement_;
    SqlParams params_;
    bool open_ = false;
    std::shared_ptr<const ResultShape> shape_;
    std::vector<Row> rows_;
    size_t current_ = 0;
    EditState editState_ = kEditNone;
    // The pending change: one slot per result column, set when written.
    std::vector<SqlValue> pending_;
    std::vector<bool> written_;
    // The last commit's statement and what it was built for.
    std::string commitSql_;
    EditState commitState_ = kEditNone;
    std::vector<bool> commitColumns_;
    std::shared_ptr<const ResultShape> commitShape_;
};

}  // namespace kestrix

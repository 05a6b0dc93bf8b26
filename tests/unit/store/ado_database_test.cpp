// The access layer on its own: snapshots, editing states, NULLs and the
// conversions of the reads, and what a failed commit leaves behind.

#include "store/ado_database.h"

#include <gtest/gtest.h>

#include "tests/support/store_test_util.h"

namespace kestrix {
namespace {

using testing::RawDb;
using testing::TempDir;

class AccessLayer : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(db.CreateDatabaseFile(path));
        ASSERT_TRUE(db.OpenConnection(path));
        ASSERT_TRUE(db.ExecuteStatement(
            "create table t(ID INTEGER PRIMARY KEY AUTOINCREMENT, n INTEGER CHECK (n < 1000), "
            "s VARCHAR(16), ip_num REAL)"));
        ASSERT_TRUE(db.ExecuteStatement("insert into t(n, s) values (?, ?)",
                                        {int64_t{500}, std::string("five")}));
    }
    TempDir dir;
    std::string path = dir.File("a.mdb");
    CADODatabase db;
    CADORecordset rs{&db};
};

TEST_F(AccessLayer, CreatingRefusesAnExistingFileAndOpeningNeedsADatabase) {
    EXPECT_FALSE(db.CreateDatabaseFile(path));
    CADODatabase other;
    EXPECT_FALSE(other.OpenConnection(dir.File("missing.mdb")));
    EXPECT_FALSE(other.IsOpen());
    EXPECT_FALSE(other.OpenConnection(dir.Write("junk.mdb", std::string(4096, 'x'))));
    EXPECT_FALSE(other.IsOpen());
    EXPECT_TRUE(other.OpenConnection(path));
    other.CloseConnection();
    EXPECT_FALSE(other.IsOpen());
    EXPECT_FALSE(other.ExecuteStatement("select 1"));
    // Reopening without a string reuses the kept one.
    EXPECT_TRUE(other.OpenConnection());
}

TEST_F(AccessLayer, EmptySelectOpensWithNoRows) {
    ASSERT_TRUE(rs.OpenQuery("select * from t where n = ?", {int64_t{-1}}));
    EXPECT_TRUE(rs.IsQueryOpen());
    EXPECT_EQ(rs.RowCount(), 0);
    EXPECT_TRUE(rs.AtEnd());
    int32_t v = 7;
    EXPECT_FALSE(rs.ReadInt32("n", v));
    EXPECT_EQ(v, 7);
    EXPECT_FALSE(rs.OpenQuery("select * from no_such_table"));
    EXPECT_FALSE(rs.IsQueryOpen());
}

TEST_F(AccessLayer, WritesOutsideAnEditAreRefused) {
    ASSERT_TRUE(rs.OpenQuery("select * from t"));
    EXPECT_FALSE(rs.WriteInt32("n", 1));
    EXPECT_FALSE(rs.WriteText("s", "x"));
    EXPECT_FALSE(rs.WriteIpNum(1));
    EXPECT_TRUE(rs.CommitRow());  // nothing pending: nothing done
    EXPECT_EQ(RawDb(path).One("select n || s from t"), "500five");
}

TEST_F(AccessLayer, EmptyTextIsNullAndReadsAsEmptyOrZero) {
    ASSERT_TRUE(rs.OpenQuery("select * from t"));
    rs.BeginEdit();
    ASSERT_TRUE(rs.WriteText("s", ""));
    ASSERT_TRUE(rs.CommitRow());
    EXPECT_EQ(RawDb(path).One("select s is null from t"), "1");
    std::string s = "old";
    int32_t n = 5;
    ASSERT_TRUE(rs.ReadText("s", s));  // the row is read again after the commit
    EXPECT_EQ(s, "");
    ASSERT_TRUE(rs.ReadInt32("s", n));
    EXPECT_EQ(n, 0);
    EXPECT_FALSE(rs.ReadInt32("no_such_field", n));
    EXPECT_FALSE(rs.WriteInt32("no_such_field", 1));
}

TEST_F(AccessLayer, ReadConversions) {
    ASSERT_TRUE(db.ExecuteStatement("update t set n = 70000 - 69001, s = '-12', ip_num = 3.5"));
    ASSERT_TRUE(db.ExecuteStatement("create table big(v INTEGER)"));
    ASSERT_TRUE(db.ExecuteStatement("insert into big values (70000), (-70000), (4294967295)"));
    ASSERT_TRUE(rs.OpenQuery("select v from big"));
    std::vector<int32_t> low16, low32;
    for (int i = 0; i < rs.RowCount(); ++i, rs.ToNextRow()) {
        int32_t a = 0, b = 0;
        ASSERT_TRUE(rs.ReadInt16("v", a));
        ASSERT_TRUE(rs.ReadInt32("v", b));
        low16.push_back(a);
        low32.push_back(b);
    }
    EXPECT_EQ(low16, (std::vector<int32_t>{4464, -4464, -1}));
    EXPECT_EQ(low32, (std::vector<int32_t>{70000, -70000, -1}));
    ASSERT_TRUE(rs.OpenQuery("select * from t"));
    int32_t v = 0;
    std::string text;
    ASSERT_TRUE(rs.ReadInt32("s", v));
    EXPECT_EQ(v, -12);
    ASSERT_TRUE(rs.ReadText("n", text));
    EXPECT_EQ(text, "999");
    ASSERT_TRUE(rs.ReadText("ip_num", text));
    EXPECT_EQ(text, "3.5");
    ASSERT_TRUE(db.ExecuteStatement("update t set s = 'abc'"));
    ASSERT_TRUE(rs.OpenQuery(""));  // the kept statement, run again
    v = 42;
    EXPECT_FALSE(rs.ReadInt32("s", v));
    EXPECT_EQ(v, 42);
}

TEST_F(AccessLayer, FailedCommitAbandonsTheChangeAndKeepsTheRowSetUsable) {
    ASSERT_TRUE(rs.OpenQuery("select * from t"));
    rs.BeginEdit();
    ASSERT_TRUE(rs.WriteText("s", "changed"));
    ASSERT_TRUE(rs.WriteInt32("n", 5000));  // breaks the CHECK
    EXPECT_FALSE(rs.CommitRow());
    EXPECT_EQ(rs.GetEditState(), CADORecordset::kEditNone);
    EXPECT_EQ(RawDb(path).One("select n || s from t"), "500five");
    std::string s;
    ASSERT_TRUE(rs.ReadText("s", s));
    EXPECT_EQ(s, "five");
    // The same row set goes on working, and the abandoned value is gone.
    rs.BeginEdit();
    ASSERT_TRUE(rs.WriteInt32("n", 7));
    ASSERT_TRUE(rs.CommitRow());
    EXPECT_EQ(RawDb(path).One("select n || s from t"), "7five");
    // An append that fails adds nothing.
    ASSERT_TRUE(rs.BeginAppend());
    ASSERT_TRUE(rs.WriteInt32("n", 1000));
    EXPECT_FALSE(rs.CommitRow());
    EXPECT_EQ(RawDb(path).One("select count(*) from t"), "1");
}

TEST_F(AccessLayer, AppendAddsARowThatBecomesCurrent) {
    ASSERT_TRUE(rs.OpenQuery("select * from t where n = ?", {int64_t{-1}}));
    ASSERT_TRUE(rs.BeginAppend());
    EXPECT_EQ(rs.GetEditState(), CADORecordset::kEditAppending);
    ASSERT_TRUE(rs.WriteText("s", "new"));
    ASSERT_TRUE(rs.WriteIpNum(0xC0A80001u));
    ASSERT_TRUE(rs.CommitRow());
    EXPECT_EQ(rs.RowCount(), 1);
    int32_t id = 0;
    ASSERT_TRUE(rs.ReadInt32("ID", id));
    EXPECT_EQ(id, 2);
    EXPECT_EQ(RawDb(path).One("select s || ':' || ip_num from t where ID = 2"), "new:3232235521.0");
    // A pending append is dropped when the row set closes.
    ASSERT_TRUE(rs.BeginAppend());
    ASSERT_TRUE(rs.WriteText("s", "never"));
    rs.CloseQuery();
    EXPECT_EQ(RawDb(path).One("select count(*) from t"), "2");
    // A row set that is not a single table cannot be written back.
    ASSERT_TRUE(rs.OpenQuery("select count(*) AS c from t"));
    EXPECT_FALSE(rs.BeginAppend());
}

TEST_F(AccessLayer, EditOfARowDeletedMeanwhileFails) {
    ASSERT_TRUE(rs.OpenQuery("select * from t"));
    ASSERT_TRUE(db.ExecuteStatement("delete from t"));
    rs.BeginEdit();
    ASSERT_TRUE(rs.WriteInt32("n", 1));
    EXPECT_FALSE(rs.CommitRow());
    EXPECT_EQ(RawDb(path).One("select count(*) from t"), "0");
}

TEST_F(AccessLayer, OneStatementPerCallAndParametersStayData) {
    const std::string hostile = "x'); drop table t; --";
    EXPECT_FALSE(db.ExecuteStatement("delete from t; drop table t"));
    ASSERT_TRUE(db.ExecuteStatement("insert into t(n, s) values (1, ?)", {hostile}));
    EXPECT_EQ(RawDb(path).One("select s from t where n = 1"), hostile);
    // More parameters than the statement has is an error, not a silent drop.
    EXPECT_FALSE(db.ExecuteStatement("delete from t where n = ?", {int64_t{1}, int64_t{2}}));
    EXPECT_EQ(RawDb(path).One("select count(*) from t"), "2");
}

}  // namespace
}  // namespace kestrix

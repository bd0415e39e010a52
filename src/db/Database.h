#pragma once

// A thin RAII layer over the Firebird 3 OO API. UI-free: failures are thrown as EDatabaseError
// (gds code + the server's text) and the caller decides what to show.
//
// Usage:
//
//     db::TDatabase database;
//     database.open(db::TConnectionSettings::fromOptions(options));   // DBServ:DBPath, WIN1251
//
//     db::TTransaction tr(database, db::TTransactionKind::Write);      // "concurrency", "nowait"
//     tr.start();
//     db::TQuery q(tr, "select out_fuel_level from proc_getfuel(" + QString::number(n) + ", :s)");
//     q.setParam("s", reading);            // ":name" markers are bound parameters
//     q.open();                            // or q.execute() for statements without rows
//     while (q.next())
//         double litres = q.field("OUT_FUEL_LEVEL").asDouble();   // names are case-insensitive
//     q.close();
//     tr.commit();                         // the destructor rolls back what was not committed
//
// Text formatted into SQL goes through sql::quote / sql::quoteOrNull (app/SqlLiteral.h) or is
// bound as a parameter; nothing here pastes user text into a statement.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <vector>

#include "app/DateUtils.h"

struct TOptions;

namespace Firebird {
class IAttachment;
class ITransaction;
class IStatement;
class IResultSet;
class IMessageMetadata;
} // namespace Firebird

namespace db {

// A database failure: the first gds code of the status vector and the formatted status text.
class EDatabaseError : public std::runtime_error {
public:
    explicit EDatabaseError(const QString &text, intptr_t code = 0);
    const QString &text() const { return m_text; }
    intptr_t code() const { return m_code; }
    // Every gds code of the status vector, in order, and the operating system's error number it
    // carries (0 when none): "no such file" and "permission denied" share one gds code.
    const std::vector<intptr_t> &codes() const { return m_codes; }
    bool hasCode(intptr_t code) const;
    int osError() const { return m_osError; }
    void setDetails(std::vector<intptr_t> codes, int osError);

private:
    QString m_text;
    intptr_t m_code;
    std::vector<intptr_t> m_codes;
    int m_osError = 0;
};

// gds codes the program looks at.
constexpr intptr_t isc_login_failed = 335544472;  // wrong user name or password
constexpr intptr_t isc_io_error = 335544344;      // file cannot be opened
constexpr intptr_t isc_network_error = 335544721; // the server cannot be reached

// The transaction parameter sets of the program; every operation names the one it uses.
enum class TTransactionKind {
    Write,              // concurrency, nowait
    WriteFlag,          // write, concurrency, nowait
    CommittedReadWrite, // write, wait, read_committed
    SnapshotRead,       // read, consistency, wait
    Read,               // read, concurrency
    ReadCommitted,      // read, read_committed, rec_version, nowait
    Editing,            // read_committed, rec_version, nowait
    Default,            // the server's default: write, concurrency, wait
};

// The parameter block of a kind (isc_tpb_version3 followed by the tags, in order).
QByteArray transactionParameters(TTransactionKind kind);

// Where a connection goes: "DBServ:DBPath", or the path alone for the embedded engine when
// the server is empty.
struct TConnectionSettings {
    QString server;
    QString path;
    QString login;
    QString password;

    QString databaseName() const;
    static TConnectionSettings fromOptions(const TOptions &options);
};

QString databaseName(const QString &server, const QString &path);

// "host:/path" goes to a server; "/path" or a bare name to the embedded engine.
bool IsEmbeddedName(const QString &databaseName);
// The embedded engine of a user other than root keeps its lock files in a folder of that user's
// own (/tmp/zarnex-fblock-<uid>): the shared one, /tmp/firebird, holds files made by the
// server's user that nobody else may open. A FIREBIRD_LOCK set by the caller is kept. Called
// before the process's first use of the Firebird library, which reads it only then.
void PrepareEmbeddedEngine();

class TDatabase {
public:
    TDatabase();
    ~TDatabase();
    TDatabase(const TDatabase &) = delete;
    TDatabase &operator=(const TDatabase &) = delete;

    // Opens with "user_name", "password", "lc_ctype=WIN1251". Closes an open connection first.
    void open(const QString &databaseName, const QString &login, const QString &password);
    void open(const TConnectionSettings &settings);
    // Creates the database (page size, default character set WIN1251) and keeps it open.
    void create(const QString &databaseName, const QString &login, const QString &password,
                int pageSize = 8192);
    // Drops the open database; the connection is gone afterwards.
    void drop();
    // Closes; throws when the server refuses (active transactions, lost link). The handle is
    // released either way.
    void close();
    // Closes without asking anything of the server; never throws.
    void forceClose() noexcept;

    bool isOpen() const { return m_att != nullptr; }
    // A round trip to the server; false when the connection is gone.
    bool ping() noexcept;
    const QString &name() const { return m_name; }

    // Runs one statement, sent as it is (no parameters), in a transaction of its own and
    // commits it.
    void execute(const QString &sql, TTransactionKind kind = TTransactionKind::Write);

    Firebird::IAttachment *attachment() const { return m_att; }

private:
    Firebird::IAttachment *m_att = nullptr;
    QString m_name;
};

class TTransaction {
public:
    // Not started yet: call start().
    TTransaction(TDatabase &database, TTransactionKind kind);
    ~TTransaction(); // rolls back when still active
    TTransaction(const TTransaction &) = delete;
    TTransaction &operator=(const TTransaction &) = delete;

    void start();
    bool isActive() const { return m_tra != nullptr; }
    void commit();
    void rollback();
    void commitRetaining();
    void rollbackRetaining();
    // Rolls back and releases whatever the server says; never throws.
    void forceRollback() noexcept;

    TDatabase &database() const { return m_db; }
    TTransactionKind kind() const { return m_kind; }
    Firebird::ITransaction *handle() const { return m_tra; }

private:
    TDatabase &m_db;
    TTransactionKind m_kind;
    Firebird::ITransaction *m_tra = nullptr;
};

// One column of a result set.
struct TColumn {
    QString name;     // alias (the name a result is read by)
    QString field;    // the underlying field name
    QString relation; // its table, empty for expressions
    unsigned sqlType = 0;
    int subType = 0;
    int scale = 0;
    unsigned length = 0;
    unsigned charSet = 0;

    bool isText() const;      // CHAR, VARCHAR, text blob
    bool isFloating() const;  // FLOAT, DOUBLE PRECISION
    bool isTimestamp() const; // TIMESTAMP
};

// One value read from a result set.
class TValue {
public:
    enum class Kind { Null, Integer, Scaled, Float, Text, Timestamp, Date, Time, Boolean, Binary };

    TValue() = default;
    static TValue null() { return {}; }
    static TValue integer(qint64 v);
    static TValue scaled(qint64 v, int scale);
    static TValue floating(double v);
    static TValue text(const QString &v);
    static TValue dateTime(TDateTime v, Kind kind = Kind::Timestamp);
    static TValue boolean(bool v);
    static TValue binary(const QByteArray &v);

    Kind kind() const { return m_kind; }
    bool isNull() const { return m_kind == Kind::Null; }
    // NULL reads as 0, empty text, false. Text that is not a number throws EDatabaseError.
    qint64 asInt64() const;
    int asInteger() const { return int(asInt64()); }
    double asDouble() const;
    TDateTime asDateTime() const;
    bool asBoolean() const { return asInt64() != 0; }
    // Numbers with the platform's decimal separator, times as the default date-time text.
    QString asString() const;
    QByteArray asBytes() const;
    QVariant toVariant() const;

private:
    Kind m_kind = Kind::Null;
    qint64 m_int = 0;
    int m_scale = 0;
    double m_double = 0;
    QString m_text;
    QByteArray m_bytes;
};

// A value to bind: QVariant of int/qlonglong/double/QString/bool, or null QVariant for NULL.
// Date-times are bound with TParam::timestamp().
struct TParam {
    QVariant value;
    bool isTimestamp = false;

    TParam() = default;
    TParam(const QVariant &v) : value(v) {}
    TParam(int v) : value(v) {}
    TParam(qint64 v) : value(v) {}
    TParam(double v) : value(v) {}
    TParam(const QString &v) : value(v) {}
    TParam(const char *v) : value(QString::fromUtf8(v)) {}
    static TParam timestamp(TDateTime v) {
        TParam p(v);
        p.isTimestamp = true;
        return p;
    }
    static TParam nullValue() { return TParam(QVariant()); }
};

// A statement on a started transaction. ":name" markers outside quotes and comments are bound
// parameters (each name may appear several times); "?" markers are bound by position.
class TQuery {
public:
    explicit TQuery(TTransaction &transaction, const QString &sql = QString());
    ~TQuery();
    TQuery(const TQuery &) = delete;
    TQuery &operator=(const TQuery &) = delete;

    // Replaces the text; the statement is prepared again at the next run. With rawText the
    // text is sent as it is (no ":name" parsing), as a script does.
    void setSql(const QString &sql, bool rawText = false);
    const QString &sql() const { return m_sql; }
    void prepare();

    int paramCount();
    QStringList paramNames();
    void setParam(int index, const TParam &value);
    void setParam(const QString &name, const TParam &value);
    void clearParams();

    // Runs a statement. For a select it opens the cursor (as open()); a statement that returns
    // one row (EXECUTE PROCEDURE, ... RETURNING) makes that row current.
    void execute();
    // Runs and opens a cursor; next() moves to the first row.
    void open();
    bool next();
    void close();
    bool isOpen() const { return m_cursor != nullptr; }
    // Statement type as isc_info_sql_stmt_* (after prepare).
    unsigned statementType();
    quint64 rowsAffected();

    int fieldCount() const { return int(m_columns.size()); }
    const std::vector<TColumn> &columns() const { return m_columns; }
    // -1 when there is no such column (case-insensitive).
    int fieldIndex(const QString &name) const;
    // Throws EDatabaseError when the column does not exist.
    const TValue &field(const QString &name) const;
    const TValue &field(int index) const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
    TTransaction &m_tr;
    QString m_sql;
    Firebird::IResultSet *m_cursor = nullptr;
    std::vector<TColumn> m_columns;
    std::vector<TValue> m_row;

    void freeStatement() noexcept;
    void readRow();
    void bindAndRun(bool wantCursor);
};

// Reads the first column of the first row of a select in a transaction of the given kind;
// a null QVariant when there is no row.
QVariant selectValue(TDatabase &database, const QString &sql,
                     TTransactionKind kind = TTransactionKind::ReadCommitted);

} // namespace db

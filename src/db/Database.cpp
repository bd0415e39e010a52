#include "db/Database.h"

#include <firebird/Interface.h>

#include <QHash>

#include <algorithm>
#include <cmath>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

#include "app/Cp1251.h"
#include "app/FormatSettings.h"
#include "app/Options.h"

namespace fb = Firebird;

namespace db {

namespace {

constexpr unsigned CharsetWin1251 = 52;
constexpr unsigned CharsetOctets = 1;
// ISC_DATE counts days from 1858-11-17, TDateTime from 1899-12-30.
constexpr int IscDateOffset = 15018;
constexpr double IscTimeUnitsPerDay = 864000000.0; // 1/10000 s

fb::IMaster *master() {
    // The client library reads its lock folder once, at its first use, whatever engine that
    // use is for.
    static fb::IMaster *m = (PrepareEmbeddedEngine(), fb::fb_get_master_interface());
    return m;
}

// A status object for one call; ThrowStatusWrapper turns failures into FbException.
struct Status {
    fb::IStatus *raw = master()->getStatus();
    fb::ThrowStatusWrapper w{raw};
    ~Status() { raw->dispose(); }
    fb::ThrowStatusWrapper *operator&() { return &w; }
};

EDatabaseError toError(const fb::FbException &e) {
    fb::IStatus *st = e.getStatus();
    char buf[2048];
    master()->getUtilInterface()->formatStatus(buf, sizeof buf, st);
    const intptr_t *v = st->getErrors();
    const intptr_t code = (v && v[0] == isc_arg_gds) ? v[1] : 0;
    std::vector<intptr_t> codes;
    int osError = 0;
    // Pairs of (kind, value); a counted string takes two values.
    for (const intptr_t *p = v; p && *p != isc_arg_end;) {
        const intptr_t kind = p[0];
        if (kind == isc_arg_gds)
            codes.push_back(p[1]);
        else if (kind == isc_arg_unix && osError == 0)
            osError = int(p[1]);
        p += kind == isc_arg_cstring ? 3 : 2;
    }
    // Server texts come in the connection's character set.
    EDatabaseError error(cp1251::decode(QByteArray(buf)).trimmed(), code);
    error.setDetails(std::move(codes), osError);
    return error;
}

template <typename F> auto guarded(F &&f) -> decltype(f()) {
    try {
        return f();
    } catch (const fb::FbException &e) {
        throw toError(e);
    }
}

QByteArray encodeText(const QString &s) {
    return cp1251::encode(s);
}

TDateTime fromIsc(ISC_DATE date, ISC_TIME time) {
    return double(date - IscDateOffset) + double(time) / IscTimeUnitsPerDay;
}

void toIsc(TDateTime v, ISC_DATE &date, ISC_TIME &time) {
    // Round to whole milliseconds first so 23:59:59.9996 does not become a 24:00 time.
    const qint64 ms = qint64(std::llround(v * dt::MsPerDay));
    qint64 days = ms / 86400000;
    qint64 rest = ms % 86400000;
    if (rest < 0) {
        rest += 86400000;
        --days;
    }
    date = ISC_DATE(days + IscDateOffset);
    time = ISC_TIME(rest * 10);
}

} // namespace

// ---------------------------------------------------------------- errors, kinds, settings

EDatabaseError::EDatabaseError(const QString &text, intptr_t code)
    : std::runtime_error(text.toStdString()), m_text(text), m_code(code) {}

bool EDatabaseError::hasCode(intptr_t code) const {
    return std::find(m_codes.begin(), m_codes.end(), code) != m_codes.end() || m_code == code;
}

void EDatabaseError::setDetails(std::vector<intptr_t> codes, int osError) {
    m_codes = std::move(codes);
    m_osError = osError;
}

QByteArray transactionParameters(TTransactionKind kind) {
    QByteArray t;
    t.append(char(isc_tpb_version3));
    auto add = [&](std::initializer_list<int> tags) {
        for (int tag : tags)
            t.append(char(tag));
    };
    switch (kind) {
    case TTransactionKind::Write:
        add({isc_tpb_concurrency, isc_tpb_nowait});
        break;
    case TTransactionKind::WriteFlag:
        add({isc_tpb_write, isc_tpb_concurrency, isc_tpb_nowait});
        break;
    case TTransactionKind::CommittedReadWrite:
        add({isc_tpb_write, isc_tpb_wait, isc_tpb_read_committed});
        break;
    case TTransactionKind::SnapshotRead:
        add({isc_tpb_read, isc_tpb_consistency, isc_tpb_wait});
        break;
    case TTransactionKind::Read:
        add({isc_tpb_read, isc_tpb_concurrency});
        break;
    case TTransactionKind::ReadCommitted:
        add({isc_tpb_read, isc_tpb_read_committed, isc_tpb_rec_version, isc_tpb_nowait});
        break;
    case TTransactionKind::Editing:
        add({isc_tpb_read_committed, isc_tpb_rec_version, isc_tpb_nowait});
        break;
    case TTransactionKind::Default:
        add({isc_tpb_write, isc_tpb_concurrency, isc_tpb_wait});
        break;
    }
    return t;
}

QString databaseName(const QString &server, const QString &path) {
    return server.isEmpty() ? path : server + QLatin1Char(':') + path;
}

bool IsEmbeddedName(const QString &name) {
    const int colon = name.indexOf(QLatin1Char(':'));
    return colon < 0 || name.startsWith(QLatin1Char('/'));
}

void PrepareEmbeddedEngine() {
    if (!qEnvironmentVariableIsEmpty("FIREBIRD_LOCK") || ::geteuid() == 0)
        return;
    // One fixed folder per user, so that every process of that user (the client, the batch
    // front end from cron) shares the locks of the same database.
    const QByteArray dir = "/tmp/zarnex-fblock-" + QByteArray::number(::geteuid());
    ::mkdir(dir.constData(), 0700);
    struct stat st {};
    if (::lstat(dir.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid())
        return; // someone else's: the engine's default it is
    qputenv("FIREBIRD_LOCK", dir);
}

QString TConnectionSettings::databaseName() const {
    return db::databaseName(server, path);
}

TConnectionSettings TConnectionSettings::fromOptions(const TOptions &o) {
    return {o.DBServ, o.DBPath, o.DBLogin, o.DBPass};
}

// ---------------------------------------------------------------- TDatabase

namespace {

QByteArray connectParameters(const QString &login, const QString &password, int pageSize,
                             bool create) {
    return guarded([&] {
        Status st;
        fb::IXpbBuilder *b =
            master()->getUtilInterface()->getXpbBuilder(&st, fb::IXpbBuilder::DPB, nullptr, 0);
        b->insertString(&st, isc_dpb_user_name, encodeText(login).constData());
        b->insertString(&st, isc_dpb_password, encodeText(password).constData());
        b->insertString(&st, isc_dpb_lc_ctype, "WIN1251");
        if (create) {
            b->insertInt(&st, isc_dpb_page_size, pageSize);
            b->insertString(&st, isc_dpb_set_db_charset, "WIN1251");
            b->insertInt(&st, isc_dpb_sql_dialect, 3);
        }
        QByteArray out(reinterpret_cast<const char *>(b->getBuffer(&st)),
                       int(b->getBufferLength(&st)));
        b->dispose();
        return out;
    });
}

} // namespace

TDatabase::TDatabase() = default;

TDatabase::~TDatabase() {
    forceClose();
}

void TDatabase::open(const QString &name, const QString &login, const QString &password) {
    if (m_att)
        close();
    const QByteArray dpb = connectParameters(login, password, 0, false);
    const QByteArray path = encodeText(name);
    m_att = guarded([&] {
        Status st;
        fb::IProvider *prov = master()->getDispatcher();
        fb::IAttachment *a =
            prov->attachDatabase(&st, path.constData(), unsigned(dpb.size()),
                                 reinterpret_cast<const unsigned char *>(dpb.constData()));
        prov->release();
        return a;
    });
    m_name = name;
}

void TDatabase::open(const TConnectionSettings &s) {
    open(s.databaseName(), s.login, s.password);
}

void TDatabase::create(const QString &name, const QString &login, const QString &password,
                       int pageSize) {
    if (m_att)
        close();
    const QByteArray dpb = connectParameters(login, password, pageSize, true);
    const QByteArray path = encodeText(name);
    m_att = guarded([&] {
        Status st;
        fb::IProvider *prov = master()->getDispatcher();
        fb::IAttachment *a =
            prov->createDatabase(&st, path.constData(), unsigned(dpb.size()),
                                 reinterpret_cast<const unsigned char *>(dpb.constData()));
        prov->release();
        return a;
    });
    m_name = name;
}

void TDatabase::drop() {
    if (!m_att)
        throw EDatabaseError(QStringLiteral("Database is not open"));
    guarded([&] {
        Status st;
        m_att->dropDatabase(&st); // releases the attachment on success
    });
    m_att = nullptr;
}

void TDatabase::close() {
    if (!m_att)
        return;
    fb::IAttachment *a = m_att;
    m_att = nullptr;
    try {
        Status st;
        a->detach(&st); // releases on success
    } catch (const fb::FbException &e) {
        a->release();
        throw toError(e);
    }
}

void TDatabase::forceClose() noexcept {
    if (!m_att)
        return;
    fb::IAttachment *a = m_att;
    m_att = nullptr;
    fb::IStatus *st = master()->getStatus();
    fb::CheckStatusWrapper w(st);
    a->detach(&w);
    if (w.getState() & fb::IStatus::STATE_ERRORS)
        a->release();
    st->dispose();
}

bool TDatabase::ping() noexcept {
    if (!m_att)
        return false;
    fb::IStatus *st = master()->getStatus();
    fb::CheckStatusWrapper w(st);
    m_att->ping(&w);
    const bool ok = !(w.getState() & fb::IStatus::STATE_ERRORS);
    st->dispose();
    return ok;
}

void TDatabase::execute(const QString &sql, TTransactionKind kind) {
    TTransaction tr(*this, kind);
    tr.start();
    TQuery q(tr);
    q.setSql(sql, true); // no parameters here, so ":" is left to the server (PSQL variables)
    q.execute();
    q.close();
    tr.commit();
}

// ---------------------------------------------------------------- TTransaction

TTransaction::TTransaction(TDatabase &database, TTransactionKind kind)
    : m_db(database), m_kind(kind) {}

TTransaction::~TTransaction() {
    forceRollback();
}

void TTransaction::start() {
    if (m_tra)
        return;
    if (!m_db.isOpen())
        throw EDatabaseError(QStringLiteral("Database is not open"));
    const QByteArray tpb = transactionParameters(m_kind);
    m_tra = guarded([&] {
        Status st;
        return m_db.attachment()->startTransaction(
            &st, unsigned(tpb.size()), reinterpret_cast<const unsigned char *>(tpb.constData()));
    });
}

void TTransaction::commit() {
    if (!m_tra)
        return;
    guarded([&] {
        Status st;
        m_tra->commit(&st);
    });
    m_tra = nullptr;
}

void TTransaction::rollback() {
    if (!m_tra)
        return;
    guarded([&] {
        Status st;
        m_tra->rollback(&st);
    });
    m_tra = nullptr;
}

void TTransaction::commitRetaining() {
    if (!m_tra)
        return;
    guarded([&] {
        Status st;
        m_tra->commitRetaining(&st);
    });
}

void TTransaction::rollbackRetaining() {
    if (!m_tra)
        return;
    guarded([&] {
        Status st;
        m_tra->rollbackRetaining(&st);
    });
}

void TTransaction::forceRollback() noexcept {
    if (!m_tra)
        return;
    fb::ITransaction *t = m_tra;
    m_tra = nullptr;
    fb::IStatus *st = master()->getStatus();
    fb::CheckStatusWrapper w(st);
    t->rollback(&w);
    if (w.getState() & fb::IStatus::STATE_ERRORS)
        t->release();
    st->dispose();
}

// ---------------------------------------------------------------- TColumn, TValue

bool TColumn::isText() const {
    return sqlType == SQL_TEXT || sqlType == SQL_VARYING || (sqlType == SQL_BLOB && subType == 1);
}

bool TColumn::isFloating() const {
    return sqlType == SQL_FLOAT || sqlType == SQL_DOUBLE || sqlType == SQL_D_FLOAT;
}

bool TColumn::isTimestamp() const {
    return sqlType == SQL_TIMESTAMP;
}

TValue TValue::integer(qint64 v) {
    TValue r;
    r.m_kind = Kind::Integer;
    r.m_int = v;
    return r;
}

TValue TValue::scaled(qint64 v, int scale) {
    TValue r;
    r.m_kind = Kind::Scaled;
    r.m_int = v;
    r.m_scale = scale;
    return r;
}

TValue TValue::floating(double v) {
    TValue r;
    r.m_kind = Kind::Float;
    r.m_double = v;
    return r;
}

TValue TValue::text(const QString &v) {
    TValue r;
    r.m_kind = Kind::Text;
    r.m_text = v;
    return r;
}

TValue TValue::dateTime(TDateTime v, Kind kind) {
    TValue r;
    r.m_kind = kind;
    r.m_double = v;
    return r;
}

TValue TValue::boolean(bool v) {
    TValue r;
    r.m_kind = Kind::Boolean;
    r.m_int = v ? 1 : 0;
    return r;
}

TValue TValue::binary(const QByteArray &v) {
    TValue r;
    r.m_kind = Kind::Binary;
    r.m_bytes = v;
    return r;
}

namespace {
double scaledToDouble(qint64 v, int scale) {
    return double(v) * std::pow(10.0, scale);
}

QString floatText(double v) {
    QString s = QString::number(v, 'g', 15);
    s.replace(QLatin1Char('.'), TFormatSettings::current().decimalSeparator);
    return s;
}

QString scaledText(qint64 v, int scale) {
    if (scale >= 0)
        return QString::number(v * qint64(std::pow(10, scale)));
    const bool neg = v < 0;
    QString digits = QString::number(neg ? -v : v).rightJustified(-scale + 1, QLatin1Char('0'));
    QString intPart = digits.left(digits.size() + scale);
    QString frac = digits.right(-scale);
    while (frac.endsWith(QLatin1Char('0')))
        frac.chop(1);
    QString s = intPart;
    if (!frac.isEmpty())
        s += TFormatSettings::current().decimalSeparator + frac;
    return neg ? QLatin1Char('-') + s : s;
}
} // namespace

qint64 TValue::asInt64() const {
    switch (m_kind) {
    case Kind::Null:
        return 0;
    case Kind::Integer:
    case Kind::Boolean:
        return m_int;
    case Kind::Scaled:
        return qint64(std::llround(scaledToDouble(m_int, m_scale)));
    case Kind::Float:
        return qint64(std::llround(m_double));
    case Kind::Timestamp:
    case Kind::Date:
    case Kind::Time:
        return qint64(m_double);
    case Kind::Text: {
        bool ok = false;
        const qint64 v = m_text.trimmed().toLongLong(&ok);
        if (!ok)
            throw EDatabaseError(QStringLiteral("'%1' is not a valid integer value").arg(m_text));
        return v;
    }
    case Kind::Binary:
        break;
    }
    throw EDatabaseError(QStringLiteral("Binary value cannot be read as a number"));
}

double TValue::asDouble() const {
    switch (m_kind) {
    case Kind::Float:
    case Kind::Timestamp:
    case Kind::Date:
    case Kind::Time:
        return m_double;
    case Kind::Scaled:
        return scaledToDouble(m_int, m_scale);
    case Kind::Text: {
        QString t = m_text.trimmed();
        t.replace(TFormatSettings::current().decimalSeparator, QLatin1Char('.'));
        bool ok = false;
        const double v = t.toDouble(&ok);
        if (!ok)
            throw EDatabaseError(
                QStringLiteral("'%1' is not a valid floating point value").arg(m_text));
        return v;
    }
    default:
        return double(asInt64());
    }
}

TDateTime TValue::asDateTime() const {
    if (m_kind == Kind::Text) {
        TDateTime v = 0;
        if (!dt::tryStrToDateTime(m_text, v))
            throw EDatabaseError(QStringLiteral("'%1' is not a valid date and time").arg(m_text));
        return v;
    }
    return asDouble();
}

QString TValue::asString() const {
    switch (m_kind) {
    case Kind::Null:
        return QString();
    case Kind::Integer:
        return QString::number(m_int);
    case Kind::Boolean:
        return m_int ? QStringLiteral("True") : QStringLiteral("False");
    case Kind::Scaled:
        return scaledText(m_int, m_scale);
    case Kind::Float:
        return floatText(m_double);
    case Kind::Text:
        return m_text;
    case Kind::Timestamp:
        return dt::dateTimeToStr(m_double);
    case Kind::Date:
        return dt::dateToStr(m_double);
    case Kind::Time:
        return dt::timeToStr(m_double);
    case Kind::Binary:
        return QString::fromLatin1(m_bytes);
    }
    return QString();
}

QByteArray TValue::asBytes() const {
    return m_kind == Kind::Binary ? m_bytes : cp1251::encode(asString());
}

QVariant TValue::toVariant() const {
    switch (m_kind) {
    case Kind::Null:
        return QVariant();
    case Kind::Integer:
        return QVariant(m_int);
    case Kind::Boolean:
        return QVariant(m_int != 0);
    case Kind::Scaled:
    case Kind::Float:
    case Kind::Timestamp:
    case Kind::Date:
    case Kind::Time:
        return QVariant(asDouble());
    case Kind::Text:
        return QVariant(m_text);
    case Kind::Binary:
        return QVariant(m_bytes);
    }
    return QVariant();
}

// ---------------------------------------------------------------- TQuery

namespace {

// ":name" markers become "?"; quotes, identifiers in double quotes and comments are skipped.
QByteArray convertNamedParams(const QString &sql, QStringList &names) {
    QString out;
    out.reserve(sql.size());
    const int n = int(sql.size());
    for (int i = 0; i < n; ++i) {
        const QChar c = sql[i];
        if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            int j = i + 1;
            while (j < n) {
                if (sql[j] == c) {
                    if (j + 1 < n && sql[j + 1] == c) {
                        j += 2;
                        continue;
                    }
                    break;
                }
                ++j;
            }
            out += sql.mid(i, j - i + 1);
            i = j;
        } else if (c == QLatin1Char('-') && i + 1 < n && sql[i + 1] == QLatin1Char('-')) {
            int j = sql.indexOf(QLatin1Char('\n'), i);
            if (j < 0)
                j = n - 1;
            out += sql.mid(i, j - i + 1);
            i = j;
        } else if (c == QLatin1Char('/') && i + 1 < n && sql[i + 1] == QLatin1Char('*')) {
            int j = sql.indexOf(QLatin1String("*/"), i + 2);
            j = j < 0 ? n - 1 : j + 1;
            out += sql.mid(i, j - i + 1);
            i = j;
        } else if (c == QLatin1Char(':') && i + 1 < n &&
                   (sql[i + 1].isLetter() || sql[i + 1] == QLatin1Char('_'))) {
            int j = i + 1;
            while (j < n && (sql[j].isLetterOrNumber() || sql[j] == QLatin1Char('_') ||
                             sql[j] == QLatin1Char('$')))
                ++j;
            names << sql.mid(i + 1, j - i - 1).toUpper();
            out += QLatin1Char('?');
            i = j - 1;
        } else if (c == QLatin1Char('?')) {
            names << QString();
            out += c;
        } else {
            out += c;
        }
    }
    return encodeText(out);
}

} // namespace

struct TQuery::Impl {
    fb::IStatement *stmt = nullptr;
    fb::IMessageMetadata *outMeta = nullptr;
    std::vector<unsigned char> outBuf;
    QByteArray text;
    QStringList paramNames; // upper case, empty for "?"
    std::vector<TParam> params;
    bool raw = false;
    // The input message built for the last run, kept while the parameter types match.
    fb::IMessageMetadata *inMeta = nullptr;
    std::vector<unsigned> inSignature;
    std::vector<unsigned char> inBuf;
    bool singletonRow = false;
};

TQuery::TQuery(TTransaction &transaction, const QString &sql)
    : d(std::make_unique<Impl>()), m_tr(transaction) {
    if (!sql.isEmpty())
        setSql(sql);
}

TQuery::~TQuery() {
    close();
    freeStatement();
}

void TQuery::freeStatement() noexcept {
    if (d->inMeta) {
        d->inMeta->release();
        d->inMeta = nullptr;
    }
    d->inSignature.clear();
    if (d->outMeta) {
        d->outMeta->release();
        d->outMeta = nullptr;
    }
    if (d->stmt) {
        fb::IStatus *st = master()->getStatus();
        fb::CheckStatusWrapper w(st);
        d->stmt->free(&w);
        if (w.getState() & fb::IStatus::STATE_ERRORS)
            d->stmt->release();
        st->dispose();
        d->stmt = nullptr;
    }
}

void TQuery::setSql(const QString &sql, bool rawText) {
    close();
    freeStatement();
    m_sql = sql;
    d->raw = rawText;
    d->paramNames.clear();
    if (rawText)
        d->text = encodeText(sql);
    else
        d->text = convertNamedParams(sql, d->paramNames);
    d->params.assign(size_t(d->paramNames.size()), TParam());
    m_columns.clear();
    m_row.clear();
}

void TQuery::prepare() {
    if (d->stmt)
        return;
    if (!m_tr.isActive())
        throw EDatabaseError(QStringLiteral("Transaction is not active"));
    guarded([&] {
        Status st;
        d->stmt = m_tr.database().attachment()->prepare(
            &st, m_tr.handle(), unsigned(d->text.size()), d->text.constData(), SQL_DIALECT_V6,
            fb::IStatement::PREPARE_PREFETCH_METADATA);
        d->outMeta = d->stmt->getOutputMetadata(&st);
        const unsigned count = d->outMeta->getCount(&st);
        m_columns.clear();
        for (unsigned i = 0; i < count; ++i) {
            TColumn c;
            c.name = cp1251::decode(QByteArray(d->outMeta->getAlias(&st, i)));
            c.field = cp1251::decode(QByteArray(d->outMeta->getField(&st, i)));
            c.relation = cp1251::decode(QByteArray(d->outMeta->getRelation(&st, i)));
            c.sqlType = d->outMeta->getType(&st, i);
            c.subType = d->outMeta->getSubType(&st, i);
            c.scale = d->outMeta->getScale(&st, i);
            c.length = d->outMeta->getLength(&st, i);
            c.charSet = d->outMeta->getCharSet(&st, i);
            m_columns.push_back(c);
        }
        d->outBuf.assign(d->outMeta->getMessageLength(&st), 0);
        // Statements written with "?" but no names still need their parameter slots.
        fb::IMessageMetadata *in = d->stmt->getInputMetadata(&st);
        const unsigned inCount = in->getCount(&st);
        in->release();
        if (int(inCount) != d->paramNames.size()) {
            d->paramNames.clear();
            for (unsigned i = 0; i < inCount; ++i)
                d->paramNames << QString();
            d->params.assign(inCount, TParam());
        }
    });
}

int TQuery::paramCount() {
    prepare();
    return int(d->paramNames.size());
}

QStringList TQuery::paramNames() {
    return d->paramNames;
}

void TQuery::setParam(int index, const TParam &value) {
    if (index < 0 || index >= int(d->params.size()))
        throw EDatabaseError(QStringLiteral("Parameter index %1 out of range").arg(index));
    d->params[size_t(index)] = value;
}

void TQuery::setParam(const QString &name, const TParam &value) {
    const QString key = name.toUpper();
    bool found = false;
    for (int i = 0; i < d->paramNames.size(); ++i)
        if (d->paramNames[i] == key) {
            d->params[size_t(i)] = value;
            found = true;
        }
    if (!found)
        throw EDatabaseError(QStringLiteral("Parameter '%1' not found").arg(name));
}

void TQuery::clearParams() {
    for (auto &p : d->params)
        p = TParam();
}

unsigned TQuery::statementType() {
    prepare();
    return guarded([&] {
        Status st;
        return d->stmt->getType(&st);
    });
}

quint64 TQuery::rowsAffected() {
    if (!d->stmt)
        return 0;
    return guarded([&] {
        Status st;
        return quint64(d->stmt->getAffectedRecords(&st));
    });
}

void TQuery::bindAndRun(bool wantCursor) {
    close();
    prepare();
    guarded([&] {
        Status st;
        // Each parameter is sent in the type of its value; the server converts it to the
        // type it needs, so text goes to text blobs and numbers to NUMERIC columns unchanged.
        fb::IMessageMetadata *described = d->stmt->getInputMetadata(&st);
        const unsigned count = described->getCount(&st);
        std::vector<unsigned> sig;
        std::vector<QByteArray> texts(count);
        sig.reserve(count * 2);
        for (unsigned i = 0; i < count; ++i) {
            const TParam &p = d->params[i];
            unsigned type = described->getType(&st, i);
            unsigned len = described->getLength(&st, i);
            if (!p.value.isNull()) {
                if (p.isTimestamp) {
                    type = SQL_TIMESTAMP;
                    len = 8;
                } else {
                    switch (p.value.typeId()) {
                    case QMetaType::Int:
                    case QMetaType::LongLong:
                    case QMetaType::UInt:
                    case QMetaType::Bool:
                        type = SQL_INT64;
                        len = 8;
                        break;
                    case QMetaType::Double:
                    case QMetaType::Float:
                        type = SQL_DOUBLE;
                        len = 8;
                        break;
                    default: {
                        texts[i] = p.value.typeId() == QMetaType::QByteArray
                                       ? p.value.toByteArray()
                                       : encodeText(p.value.toString());
                        type = SQL_VARYING;
                        // Round lengths up so a prepared insert reuses its message.
                        unsigned want = 32;
                        while (want < unsigned(texts[i].size()))
                            want *= 2;
                        len = want;
                        break;
                    }
                    }
                }
            } else if (type == SQL_NULL) {
                type = SQL_VARYING;
                len = 1;
            }
            sig.push_back(type);
            sig.push_back(len);
        }
        if (!d->inMeta || sig != d->inSignature) {
            if (d->inMeta) {
                d->inMeta->release();
                d->inMeta = nullptr;
            }
            fb::IMetadataBuilder *b = described->getBuilder(&st);
            for (unsigned i = 0; i < count; ++i) {
                const unsigned type = sig[i * 2];
                const unsigned len = sig[i * 2 + 1];
                // A NUMERIC column is described as a scaled integer: a bound integer is not.
                const bool scaled = type == SQL_INT64 && described->getScale(&st, i) != 0;
                if (type == described->getType(&st, i) && len == described->getLength(&st, i) &&
                    !scaled)
                    continue;
                b->setType(&st, i, type);
                b->setLength(&st, i, len);
                if (type == SQL_VARYING) {
                    b->setCharSet(&st, i,
                                  d->params[i].value.typeId() == QMetaType::QByteArray
                                      ? CharsetOctets
                                      : CharsetWin1251);
                    b->setSubType(&st, i, 0);
                }
                if (type == SQL_INT64 || type == SQL_DOUBLE || type == SQL_TIMESTAMP)
                    b->setScale(&st, i, 0);
            }
            d->inMeta = b->getMetadata(&st);
            b->release();
            d->inSignature = sig;
            d->inBuf.assign(d->inMeta->getMessageLength(&st), 0);
        }
        described->release();

        fb::IMessageMetadata *m = d->inMeta;
        for (unsigned i = 0; i < count; ++i) {
            const TParam &p = d->params[i];
            unsigned char *base = d->inBuf.data();
            auto *nul = reinterpret_cast<short *>(base + m->getNullOffset(&st, i));
            unsigned char *data = base + m->getOffset(&st, i);
            if (p.value.isNull()) {
                *nul = -1;
                continue;
            }
            *nul = 0;
            const unsigned type = m->getType(&st, i);
            if (type == SQL_TIMESTAMP) {
                ISC_TIMESTAMP ts;
                toIsc(p.value.toDouble(), ts.timestamp_date, ts.timestamp_time);
                std::memcpy(data, &ts, sizeof ts);
            } else if (type == SQL_INT64) {
                const qint64 v = p.value.toLongLong();
                std::memcpy(data, &v, sizeof v);
            } else if (type == SQL_DOUBLE) {
                const double v = p.value.toDouble();
                std::memcpy(data, &v, sizeof v);
            } else if (type == SQL_VARYING) {
                const QByteArray &t = texts[i];
                const unsigned short l = static_cast<unsigned short>(t.size());
                std::memcpy(data, &l, sizeof l);
                std::memcpy(data + 2, t.constData(), size_t(t.size()));
            } else {
                throw EDatabaseError(QStringLiteral("Unsupported parameter type %1").arg(type));
            }
        }

        const bool hasCursor = d->stmt->getFlags(&st) & fb::IStatement::FLAG_HAS_CURSOR;
        if (hasCursor) {
            m_cursor = d->stmt->openCursor(&st, m_tr.handle(), m, d->inBuf.data(), d->outMeta, 0);
            d->singletonRow = false;
        } else {
            d->stmt->execute(&st, m_tr.handle(), m, d->inBuf.data(), d->outMeta, d->outBuf.data());
            d->singletonRow = !m_columns.empty();
        }
    });
    m_row.clear();
    if (d->singletonRow)
        readRow();
    Q_UNUSED(wantCursor);
}

void TQuery::execute() {
    bindAndRun(false);
}

void TQuery::open() {
    bindAndRun(true);
    if (!m_cursor && !d->singletonRow)
        throw EDatabaseError(QStringLiteral("Statement returns no rows"));
}

bool TQuery::next() {
    if (!m_cursor) {
        // A singleton result (EXECUTE PROCEDURE) is its one row.
        if (d->singletonRow) {
            d->singletonRow = false;
            return true;
        }
        return false;
    }
    const int r = guarded([&] {
        Status st;
        return m_cursor->fetchNext(&st, d->outBuf.data());
    });
    if (r != fb::IStatus::RESULT_OK) {
        m_row.clear();
        return false;
    }
    readRow();
    return true;
}

void TQuery::readRow() {
    guarded([&] {
        Status st;
        fb::IMessageMetadata *m = d->outMeta;
        m_row.assign(m_columns.size(), TValue());
        const unsigned char *base = d->outBuf.data();
        for (size_t i = 0; i < m_columns.size(); ++i) {
            const TColumn &c = m_columns[i];
            const unsigned idx = unsigned(i);
            if (*reinterpret_cast<const short *>(base + m->getNullOffset(&st, idx)))
                continue;
            const unsigned char *p = base + m->getOffset(&st, idx);
            switch (c.sqlType) {
            case SQL_SHORT:
            case SQL_LONG:
            case SQL_INT64: {
                qint64 v = 0;
                if (c.sqlType == SQL_SHORT) {
                    short s;
                    std::memcpy(&s, p, sizeof s);
                    v = s;
                } else if (c.sqlType == SQL_LONG) {
                    ISC_LONG l;
                    std::memcpy(&l, p, sizeof l);
                    v = l;
                } else {
                    std::memcpy(&v, p, sizeof v);
                }
                m_row[i] = c.scale == 0 ? TValue::integer(v) : TValue::scaled(v, c.scale);
                break;
            }
            case SQL_FLOAT: {
                float f;
                std::memcpy(&f, p, sizeof f);
                m_row[i] = TValue::floating(double(f));
                break;
            }
            case SQL_DOUBLE:
            case SQL_D_FLOAT: {
                double v;
                std::memcpy(&v, p, sizeof v);
                m_row[i] = TValue::floating(v);
                break;
            }
            case SQL_TIMESTAMP: {
                ISC_TIMESTAMP ts;
                std::memcpy(&ts, p, sizeof ts);
                m_row[i] = TValue::dateTime(fromIsc(ts.timestamp_date, ts.timestamp_time));
                break;
            }
            case SQL_TYPE_DATE: {
                ISC_DATE dd;
                std::memcpy(&dd, p, sizeof dd);
                m_row[i] = TValue::dateTime(fromIsc(dd, 0), TValue::Kind::Date);
                break;
            }
            case SQL_TYPE_TIME: {
                ISC_TIME tt;
                std::memcpy(&tt, p, sizeof tt);
                m_row[i] = TValue::dateTime(double(tt) / IscTimeUnitsPerDay, TValue::Kind::Time);
                break;
            }
            case SQL_BOOLEAN:
                m_row[i] = TValue::boolean(*p != 0);
                break;
            case SQL_TEXT: {
                QByteArray b(reinterpret_cast<const char *>(p), int(c.length));
                // CHAR values come padded with blanks.
                while (b.endsWith(' '))
                    b.chop(1);
                m_row[i] = c.charSet == CharsetOctets ? TValue::binary(b)
                                                      : TValue::text(cp1251::decode(b));
                break;
            }
            case SQL_VARYING: {
                unsigned short l;
                std::memcpy(&l, p, sizeof l);
                QByteArray b(reinterpret_cast<const char *>(p + 2), int(l));
                m_row[i] = c.charSet == CharsetOctets ? TValue::binary(b)
                                                      : TValue::text(cp1251::decode(b));
                break;
            }
            case SQL_BLOB: {
                ISC_QUAD id;
                std::memcpy(&id, p, sizeof id);
                fb::IBlob *blob =
                    m_tr.database().attachment()->openBlob(&st, m_tr.handle(), &id, 0, nullptr);
                QByteArray data;
                char seg[8192];
                for (;;) {
                    unsigned got = 0;
                    const int r = blob->getSegment(&st, sizeof seg, seg, &got);
                    if (r == fb::IStatus::RESULT_OK || r == fb::IStatus::RESULT_SEGMENT)
                        data.append(seg, int(got));
                    else
                        break;
                }
                blob->close(&st);
                m_row[i] =
                    c.subType == 1 ? TValue::text(cp1251::decode(data)) : TValue::binary(data);
                break;
            }
            default:
                m_row[i] = TValue::text(QStringLiteral("(type %1)").arg(c.sqlType));
                break;
            }
        }
    });
}

void TQuery::close() {
    if (m_cursor) {
        fb::IStatus *st = master()->getStatus();
        fb::CheckStatusWrapper w(st);
        m_cursor->close(&w);
        if (w.getState() & fb::IStatus::STATE_ERRORS)
            m_cursor->release();
        st->dispose();
        m_cursor = nullptr;
    }
    if (d)
        d->singletonRow = false;
}

int TQuery::fieldIndex(const QString &name) const {
    for (size_t i = 0; i < m_columns.size(); ++i)
        if (m_columns[i].name.compare(name, Qt::CaseInsensitive) == 0)
            return int(i);
    return -1;
}

const TValue &TQuery::field(const QString &name) const {
    const int i = fieldIndex(name);
    if (i < 0)
        throw EDatabaseError(QStringLiteral("Field '%1' not found").arg(name));
    return field(i);
}

const TValue &TQuery::field(int index) const {
    static const TValue nullValue;
    if (index < 0 || index >= int(m_columns.size()))
        throw EDatabaseError(QStringLiteral("Field index %1 out of range").arg(index));
    if (size_t(index) >= m_row.size())
        return nullValue; // no current row
    return m_row[size_t(index)];
}

QVariant selectValue(TDatabase &database, const QString &sql, TTransactionKind kind) {
    TTransaction tr(database, kind);
    tr.start();
    TQuery q(tr, sql);
    q.open();
    QVariant v;
    if (q.next() && q.fieldCount() > 0)
        v = q.field(0).toVariant();
    q.close();
    tr.commit();
    return v;
}

} // namespace db

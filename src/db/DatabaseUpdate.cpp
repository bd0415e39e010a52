#include "db/DatabaseUpdate.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QTime>

#include <cmath>

#include "app/Cp1251.h"
#include "app/DateUtils.h"
#include "app/Options.h"
#include "app/SqlLiteral.h"
#include "db/Database.h"
#include "db/SqlScript.h"

namespace db {

namespace {

const QString CopyLogin = QStringLiteral("SYSDBA");
const QString CopyPassword = QStringLiteral("qvx7tpl2m");

// The user said No to a copy question: the whole update ends with this text.
class EUpdateAborted : public std::runtime_error {
public:
    explicit EUpdateAborted(const QString &text)
        : std::runtime_error(text.toStdString()), m_text(text) {}
    QString m_text;
};

QString quoted(const QString &s) {
    return QLatin1Char('"') + s + QLatin1Char('"');
}

QString trimmedStart(const QString &line) {
    return line.trimmed();
}

bool startsWithCI(const QString &s, const QString &prefix) {
    return s.startsWith(prefix, Qt::CaseInsensitive);
}

// A value of the old table as a literal of the insert statement.
QString literal(const TValue &v) {
    switch (v.kind()) {
    case TValue::Kind::Null:
        return QStringLiteral("NULL");
    case TValue::Kind::Text:
        return sql::quote(v.asString());
    case TValue::Kind::Float: {
        const double d = v.asDouble();
        if (!std::isfinite(d))
            return QStringLiteral("NULL");
        return QString::number(d, 'g', QLocale::FloatingPointShortest);
    }
    case TValue::Kind::Scaled: {
        QString s = v.asString();
        s.replace(TFormatSettings::current().decimalSeparator, QLatin1Char('.'));
        return s;
    }
    case TValue::Kind::Timestamp:
        // Milliseconds kept; the form parses whatever the locale.
        return sql::timestamp(v.asDateTime());
    case TValue::Kind::Date:
        return QLatin1Char('\'') +
               dt::formatDateTime(QStringLiteral("dd.mm.yyyy"), v.asDateTime()) + QLatin1Char('\'');
    case TValue::Kind::Time:
        return QLatin1Char('\'') +
               dt::formatDateTime(QStringLiteral("hh:nn:ss.zzz"), v.asDateTime()) +
               QLatin1Char('\'');
    case TValue::Kind::Boolean:
        return v.asBoolean() ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
    case TValue::Kind::Binary:
        return QStringLiteral("x'") + QString::fromLatin1(v.asBytes().toHex()) + QLatin1Char('\'');
    case TValue::Kind::Integer:
        break;
    }
    return v.asString();
}

} // namespace

// ---------------------------------------------------------------- script parts

TUpdateScript TUpdateScript::parse(const QStringList &lines) {
    TUpdateScript s;
    int marker = -1;
    for (int i = 0; i < lines.size(); ++i)
        if (lines[i].contains(QLatin1String("-- insert data here"), Qt::CaseInsensitive)) {
            marker = i;
            break;
        }
    if (marker < 0) {
        // Without the marker the whole file is part 1 and nothing is left for part 2.
        s.part1 = lines;
        return s;
    }
    s.hasMarker = true;
    s.part1 = lines.mid(0, marker);
    // The directive block is a comment; its opening line belongs to it, not to part 1.
    int last = int(s.part1.size()) - 1;
    while (last >= 0 && s.part1[last].trimmed().isEmpty())
        --last;
    if (last >= 0 && s.part1[last].trimmed().startsWith(QLatin1String("/*")))
        s.part1 = s.part1.mid(0, last);
    int end = -1;
    for (int i = marker; i < lines.size(); ++i) {
        const QString t = trimmedStart(lines[i]);
        if (lines[i].contains(QLatin1String("*/"))) {
            end = i;
            break;
        }
        if (startsWithCI(t, QStringLiteral("-- ignoretable ")))
            s.ignoreTables << t.mid(15).trimmed();
        else if (startsWithCI(t, QStringLiteral("-- skiptable ")))
            s.skipTables << t.mid(13).trimmed();
    }
    if (end >= 0)
        s.part2 = lines.mid(end + 1);
    return s;
}

QStringList TUpdateScript::tablesToSkip(bool skipHistory) const {
    QStringList l = ignoreTables;
    if (skipHistory)
        l += skipTables;
    return l;
}

QStringList readScriptLines(const QString &path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw EDatabaseError(QStringLiteral("Cannot open file %1: %2").arg(path, f.errorString()));
    const QByteArray bytes = f.readAll();
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (utf8.hasError())
        text = cp1251::decode(bytes);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    QStringList lines = text.split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

void BuildFromUpdateScript(TDatabase &database, const QString &scriptPath) {
    const TUpdateScript script = TUpdateScript::parse(readScriptLines(scriptPath));
    for (const QStringList *part : {&script.part1, &script.part2}) {
        TSqlScript s(part->join(QLatin1Char('\n')));
        TTransaction tr(database, TTransactionKind::Default);
        tr.start();
        s.run(tr);
        tr.commit();
    }
}

// ---------------------------------------------------------------- the updater

TDatabaseUpdater::TDatabaseUpdater(TOptions &options, TDialogs &dialogs, TDatabase &mainDatabase,
                                   QObject *parent)
    : QObject(parent), m_options(options), m_dialogs(dialogs), m_main(mainDatabase) {}

TDatabaseUpdater::~TDatabaseUpdater() {
    closeCopy();
}

void TDatabaseUpdater::addLog(const QString &line) {
    m_log << line;
    emit logLine(line);
}

void TDatabaseUpdater::cancel() {
    if (!m_running)
        return;
    m_cancelled = true;
    addLog(QStringLiteral("...отменено"));
}

QString TDatabaseUpdater::newDatabasePath(const QTime &time) const {
    const QFileInfo current(m_options.DBPath);
    QString folder = QDir::cleanPath(current.absolutePath());
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    const QString stem = QStringLiteral("ZARNEXLDB") + time.toString(QStringLiteral("HHmmss"));
    auto inUse = [&](const QString &candidate) {
        const QFileInfo c(candidate);
        if (QDir::cleanPath(c.absoluteFilePath()) == QDir::cleanPath(current.absoluteFilePath()))
            return true;
        return current.exists() && c.exists() &&
               c.canonicalFilePath() == current.canonicalFilePath();
    };
    QString path = folder + stem + QStringLiteral(".FDB");
    for (int n = 1; inUse(path); ++n)
        path = folder + stem + QLatin1Char('_') + QString::number(n) + QStringLiteral(".FDB");
    return path;
}

QString TDatabaseUpdater::copyName() const {
    return databaseName(m_options.DBServ, m_newPath);
}

void TDatabaseUpdater::closeCopy() noexcept {
    if (m_copy) {
        m_copy->forceClose();
        delete m_copy;
        m_copy = nullptr;
    }
}

bool TDatabaseUpdater::createCopy() {
    m_copy = new TDatabase;
    const QString shown = quoted(m_newPath);
    bool exists = false;
    try {
        m_copy->open(copyName(), CopyLogin, CopyPassword);
        exists = true;
    } catch (const EDatabaseError &) {
    }
    if (exists) {
        addLog(QStringLiteral("Файл копии БД с именем ") + shown +
               QStringLiteral(" уже существует. Очистка БД..."));
        try {
            m_copy->drop();
        } catch (const EDatabaseError &e) {
            addLog(QStringLiteral("Файл ") + shown + QStringLiteral(" недоступен для удаления"));
            addLog(e.text());
            return false;
        }
    } else {
        addLog(QStringLiteral("Файл копии БД ") + shown +
               QStringLiteral(" не существует. Создание нового файла..."));
    }
    m_copy->create(copyName(), CopyLogin, CopyPassword);
    addLog(QStringLiteral("Создание копии БД ") + shown + QStringLiteral(": Выполнено"));
    m_copy->close();
    m_copy->open(copyName(), CopyLogin, CopyPassword);
    return true;
}

bool TDatabaseUpdater::runHere(const QString &scriptPath, bool skipHistory) {
    run(scriptPath, skipHistory).runToEnd();
    return m_switched;
}

TRunTask TDatabaseUpdater::run(QString scriptPath, bool skipHistory) {
    m_switched = false;
    if (m_running)
        co_return;
    m_running = true;
    m_cancelled = false;
    m_log.clear();
    emit runningChanged(true);
    struct Done {
        TDatabaseUpdater *u;
        ~Done() {
            u->m_running = false;
            emit u->runningChanged(false);
        }
    } done{this};

    const QString server = m_options.DBServ;
    const QString path = m_options.DBPath;
    addLog(QStringLiteral("Создание копии базы данных ") + server + QLatin1Char(':') + path +
           QStringLiteral("..."));

    auto finish = [&] {
        emit disconnectMainRequested();
        closeCopy();
        addLog(QStringLiteral("Операция завершена."));
    };

    // 2. The database in use.
    if (!m_main.isOpen()) {
        try {
            m_main.open(TConnectionSettings::fromOptions(m_options));
        } catch (const EDatabaseError &e) {
            addLog(QStringLiteral("Не удалось подключиться к базе данных ") + server +
                   QLatin1Char(':') + path);
            addLog(e.text());
            finish();
            co_return;
        }
    }

    // 3. The new database.
    m_newPath = newDatabasePath(clock ? clock() : QTime::currentTime());
    try {
        if (!createCopy()) {
            closeCopy();
            finish();
            co_return;
        }
    } catch (const EDatabaseError &e) {
        addLog(e.text());
        closeCopy();
        finish();
        co_return;
    }

    // 4, 5. Script and copy, then the settings.
    try {
        emit newFileName(m_newPath);
        bool ok = false;
        co_await runScript(scriptPath, skipHistory, ok);
        if (m_cancelled) {
            addLog(QStringLiteral("Операция отменена пользователем. Копирование не завершено."));
            closeCopy();
            co_return;
        }
        closeCopy();
        if (!ok) {
            // A script that failed leaves an unusable copy: the settings stay on the old file.
            finish();
            co_return;
        }
        m_options.DBPath = m_newPath;
        m_options.DBLogin = CopyLogin;
        m_options.DBPass = CopyPassword;
        emit saveSettingsRequested();
    } catch (const std::exception &e) {
        addLog(QStringLiteral("Ошибка при копировании базы данных:"));
        if (auto *a = dynamic_cast<const EUpdateAborted *>(&e))
            addLog(a->m_text);
        else if (auto *d = dynamic_cast<const EDatabaseError *>(&e))
            addLog(d->text());
        else
            addLog(QString::fromStdString(e.what()));
        emit disconnectMainRequested();
        closeCopy();
        co_return;
    }
    finish();
    m_switched = true;
}

TRunTask TDatabaseUpdater::runScript(QString path, bool skipHistory, bool &ok) {
    ok = false;
    addLog(QStringLiteral("Выполняем скрипт ") + quoted(path) + QStringLiteral("."));
    const TUpdateScript script = TUpdateScript::parse(readScriptLines(path));

    TSqlScript part1(script.part1.join(QLatin1Char('\n')));
    if (!part1.validate()) {
        addLog(QStringLiteral("В скрипте ") + quoted(path) + QStringLiteral(" обнаружена ошибка."));
        co_return;
    }
    const QStringList skip = script.tablesToSkip(skipHistory);
    addLog(QString());
    addLog(QStringLiteral("Будут пропущены таблицы: ") + skip.join(QLatin1Char(',')));
    addLog(QStringLiteral("Подтверждение после копирования ") + QString::number(CommitBlock) +
           QStringLiteral(" записей."));
    addLog(QString());
    addLog(QString());

    try {
        TTransaction tr(*m_copy, TTransactionKind::Default);
        tr.start();
        part1.run(tr);
        tr.commit();
        addLog(QStringLiteral("Скрипт выполнен. Создана структура БД (таблицы)."));
    } catch (const EDatabaseError &e) {
        addLog(QStringLiteral("Ошибка при выполнении скрипта:"));
        addLog(e.text());
        co_return;
    }

    QStringList tables;
    {
        TTransaction tr(*m_copy, TTransactionKind::ReadCommitted);
        tr.start();
        TQuery q(tr, QStringLiteral("SELECT trim(RDB$RELATION_NAME) FROM RDB$RELATIONS "
                                    "WHERE RDB$SYSTEM_FLAG = 0 AND RDB$VIEW_BLR IS NULL "
                                    "ORDER BY RDB$RELATION_NAME"));
        q.open();
        while (q.next()) {
            const QString name = q.field(0).asString().trimmed();
            if (!name.contains(QLatin1Char('$')))
                tables << name;
        }
        q.close();
        tr.commit();
    }
    for (const QString &table : tables) {
        if (m_cancelled)
            break;
        if (skip.contains(table)) {
            addLog(QStringLiteral("Пропускаем копирование таблицы ") + table);
            continue;
        }
        addLog(QStringLiteral("Выполняется копирование таблицы ") + table);
        co_await copyTable(table);
        if (!m_cancelled)
            addLog(QStringLiteral("  ...завершено (") + table + QLatin1Char(')'));
    }
    if (m_cancelled)
        co_return;

    addLog(QStringLiteral("Настройка связей между таблицами, создание триггеров"));
    const QString part2Text = script.part2.join(QLatin1Char('\n'));
    TSqlScript part2(part2Text);
    if (!part2.validate()) {
        addLog(QStringLiteral("В скрипте ") + quoted(path) + QStringLiteral(" обнаружена ошибка."));
        addLog(part2Text);
        co_return;
    }
    try {
        TTransaction tr(*m_copy, TTransactionKind::Default);
        tr.start();
        part2.run(tr);
        tr.commit();
    } catch (const EDatabaseError &e) {
        addLog(QStringLiteral("Ошибка при выполнении скрипта:"));
        addLog(e.text());
        m_dialogs.message(
            QStringLiteral("Произошла ошибка при настройке связей между таблицами: \r\n") +
                e.text() + QStringLiteral("\r\n") +
                QStringLiteral("!ЭТУ КОПИЮ БАЗЫ ДАННЫХ ЛУЧШЕ НЕ ИСПОЛЬЗОВАТЬ!"),
            QStringLiteral("Ошибка копирования базы данных"), TMsgIcon::Error);
        co_return;
    }
    addLog(QStringLiteral("  Завершено..."));
    addLog(QStringLiteral("Копирование базы данных успешно завершено!"));
    addLog(QString());
    ok = true;
}

TRunTask TDatabaseUpdater::copyTable(QString table) {
    try {
        QStringList columns;
        {
            TTransaction tr(*m_copy, TTransactionKind::ReadCommitted);
            tr.start();
            TQuery q(tr, QStringLiteral(
                             "SELECT trim(b.RDB$FIELD_NAME) RDB$FIELD_NAME, b.RDB$RELATION_NAME "
                             "FROM RDB$RELATION_FIELDS b where (b.RDB$RELATION_NAME=:tbl_name) "
                             "ORDER BY b.RDB$FIELD_POSITION"));
            q.setParam(QStringLiteral("tbl_name"), table);
            q.open();
            while (q.next())
                columns << q.field(QStringLiteral("RDB$FIELD_NAME")).asString().trimmed();
            q.close();
            tr.commit();
        }
        if (columns.isEmpty()) {
            addLog(QStringLiteral("  таблица ") + table + QStringLiteral(" не содержит данных"));
            co_return;
        }
        // A table this structure added has nothing to copy from the database in use.
        {
            TTransaction tr(m_main, TTransactionKind::ReadCommitted);
            tr.start();
            TQuery q(tr, QStringLiteral("SELECT COUNT(*) FROM RDB$RELATIONS WHERE "
                                        "RDB$RELATION_NAME = :tbl_name"));
            q.setParam(QStringLiteral("tbl_name"), table);
            q.open();
            const bool present = q.next() && q.field(0).asInteger() > 0;
            q.close();
            tr.commit();
            if (!present) {
                addLog(QStringLiteral("  таблица ") + table +
                       QStringLiteral(" не содержит данных"));
                co_return;
            }
        }
        QStringList quotedColumns;
        for (const QString &c : columns)
            quotedColumns << quoted(c);
        const QString head = QStringLiteral("insert into ") + table + QStringLiteral(" (") +
                             quotedColumns.join(QLatin1Char(',')) + QStringLiteral(") values (");

        TTransaction oldTr(m_main, TTransactionKind::Read);
        oldTr.start();
        TQuery old(oldTr, QStringLiteral("select * from ") + table);
        old.open();
        std::vector<int> index;
        for (const QString &c : columns) {
            const int i = old.fieldIndex(c);
            if (i < 0)
                throw EDatabaseError(QStringLiteral("Field '%1' not found").arg(c));
            index.push_back(i);
        }

        TTransaction tr(*m_copy, TTransactionKind::Write);
        tr.start();
        int rows = 0;
        auto progress = [&] {
            addLog(QStringLiteral("  ") + QString::number(rows) +
                   QStringLiteral(" записей таблицы ") + table + QStringLiteral(" скопировано"));
        };
        while (!m_cancelled && old.next()) {
            QStringList values;
            for (int i : index)
                values << literal(old.field(i));
            const QString stmt = head + values.join(QLatin1Char(',')) + QLatin1Char(')');
            try {
                TQuery ins(tr);
                ins.setSql(stmt, true);
                ins.execute();
            } catch (const EDatabaseError &e) {
                addLog(QStringLiteral("  Ошибка копирования:\r\n  ") + stmt + QStringLiteral(": ") +
                       QStringLiteral("\r\n") + QStringLiteral("  ") + e.text());
                if (m_dialogs.question(
                        QStringLiteral("При копирования БД произошла ошибка. Продолжить?\r\n") +
                            e.text(),
                        QStringLiteral("Ошибка копирования"), TMsgIcon::Error, mbYes | mbNo,
                        mbYes) != mbYes)
                    throw EUpdateAborted(QStringLiteral("Ошибка копирования. Операция отменена!"));
            }
            ++rows;
            if (rows % CommitBlock == 0) {
                if (m_cancelled)
                    tr.rollbackRetaining();
                else
                    tr.commitRetaining();
                progress();
                co_yield TRunPause::Busy;
            }
        }
        old.close();
        oldTr.commit();
        if (m_cancelled)
            tr.rollbackRetaining();
        tr.commit();
        progress();
    } catch (const EUpdateAborted &) {
        throw;
    } catch (const EDatabaseError &e) {
        addLog(QStringLiteral("  Ошибка копирования таблицы ") + table + QStringLiteral(": ") +
               QStringLiteral("\r\n") + QStringLiteral("  ") + e.text());
        if (m_dialogs.question(QStringLiteral("При копирования таблицы БД произошла ошибка.\r\n") +
                                   e.text() +
                                   QStringLiteral("Данная таблица будет содержать неполную "
                                                  "информацию, но копирование можно продолжить.") +
                                   QStringLiteral("\r\n") + QStringLiteral("Продолжить?"),
                               QStringLiteral("Ошибка копирования таблицы"), TMsgIcon::Question,
                               mbYes | mbNo, mbYes) != mbYes)
            throw EUpdateAborted(QStringLiteral("Ошибка копирования таблицы. Операция отменена!"));
    }
}

} // namespace db

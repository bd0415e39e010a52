#include "db/SqlScript.h"

#include <ibase.h>

#include <QRegularExpression>

#include "db/Database.h"

namespace db {

TSqlScript::TSqlScript(const QString &text) : m_text(text) {}

void TSqlScript::setText(const QString &text) {
    m_text = text;
    m_statements.clear();
    m_error.clear();
    m_errorLine = 0;
}

namespace {

int lineAt(const QString &s, int pos) {
    return int(s.left(pos).count(QLatin1Char('\n'))) + 1;
}

// "SET TERM <new>" without its terminator; empty when the statement is something else.
bool isSetTerm(const QString &stmt, QString &newTerm) {
    static const QRegularExpression re(QStringLiteral("^SET\\s+TERM\\s+(\\S+)\\s*$"),
                                       QRegularExpression::CaseInsensitiveOption);
    const auto m = re.match(stmt);
    if (!m.hasMatch())
        return false;
    newTerm = m.captured(1);
    return true;
}

} // namespace

bool TSqlScript::validate() {
    m_statements.clear();
    m_error.clear();
    m_errorLine = 0;
    const QString &s = m_text;
    const int n = int(s.size());
    QString term = QStringLiteral(";");
    QString current;
    int stmtStart = -1;
    int i = 0;
    auto fail = [&](const QString &msg, int pos) {
        m_error = msg;
        m_errorLine = lineAt(s, pos);
        m_statements.clear();
        return false;
    };
    while (i < n) {
        const QChar c = s[i];
        if (c == QLatin1Char('-') && i + 1 < n && s[i + 1] == QLatin1Char('-')) {
            int j = s.indexOf(QLatin1Char('\n'), i);
            j = j < 0 ? n : j;
            if (stmtStart >= 0)
                current += s.mid(i, j - i);
            i = j;
            continue;
        }
        if (c == QLatin1Char('/') && i + 1 < n && s[i + 1] == QLatin1Char('*')) {
            const int j = s.indexOf(QLatin1String("*/"), i + 2);
            if (j < 0)
                return fail(QStringLiteral("Unterminated comment"), i);
            if (stmtStart >= 0)
                current += s.mid(i, j + 2 - i);
            i = j + 2;
            continue;
        }
        if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            int j = i + 1;
            for (;;) {
                if (j >= n)
                    return fail(c == QLatin1Char('\'') ? QStringLiteral("Unterminated string")
                                                       : QStringLiteral("Unterminated identifier"),
                                i);
                if (s[j] == c) {
                    if (j + 1 < n && s[j + 1] == c) {
                        j += 2;
                        continue;
                    }
                    break;
                }
                ++j;
            }
            if (stmtStart < 0)
                stmtStart = i;
            current += s.mid(i, j + 1 - i);
            i = j + 1;
            continue;
        }
        if (s.mid(i, term.size()) == term) {
            const QString stmt = current.trimmed();
            current.clear();
            i += int(term.size());
            stmtStart = -1;
            if (stmt.isEmpty())
                continue;
            QString newTerm;
            if (isSetTerm(stmt, newTerm)) {
                term = newTerm;
                continue;
            }
            if (stmt.startsWith(QLatin1String("SET TERM"), Qt::CaseInsensitive))
                return fail(QStringLiteral("SET TERM needs a terminator"), i);
            m_statements << stmt;
            continue;
        }
        if (stmtStart < 0 && !c.isSpace())
            stmtStart = i;
        if (stmtStart >= 0)
            current += c;
        ++i;
    }
    if (!current.trimmed().isEmpty())
        return fail(QStringLiteral("Statement not terminated by \"%1\"").arg(term), stmtStart);
    return true;
}

void TSqlScript::run(TTransaction &tr) {
    if (!validate())
        throw EDatabaseError(
            QStringLiteral("%1 (line %2)").arg(m_error, QString::number(m_errorLine)));
    static const QRegularExpression ignored(
        QStringLiteral("^SET\\s+(SQL\\s+DIALECT|NAMES|AUTODDL|ECHO|LIST|STATS|PLAN|COUNT|"
                       "WARNINGS|BAIL|HEADING|TIME|BLOB|WIDTH)\\b"),
        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression commit(QStringLiteral("^COMMIT(\\s+WORK)?$"),
                                           QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression rollback(QStringLiteral("^ROLLBACK(\\s+WORK)?$"),
                                             QRegularExpression::CaseInsensitiveOption);
    for (int k = 0; k < m_statements.size(); ++k) {
        const QString &stmt = m_statements[k];
        if (beforeStatement && !beforeStatement(k, stmt))
            return;
        if (ignored.match(stmt).hasMatch())
            continue;
        if (!tr.isActive())
            tr.start();
        if (commit.match(stmt).hasMatch()) {
            tr.commitRetaining();
            continue;
        }
        if (rollback.match(stmt).hasMatch()) {
            tr.rollbackRetaining();
            continue;
        }
        try {
            TQuery q(tr);
            q.setSql(stmt, true);
            q.prepare();
            const unsigned type = q.statementType();
            q.execute();
            if (q.isOpen())
                while (q.next()) {
                }
            q.close();
            // Like isql's AUTODDL: later statements may use what this one created.
            if (type == isc_info_sql_stmt_ddl)
                tr.commitRetaining();
        } catch (const EDatabaseError &e) {
            throw EDatabaseError(e.text() + QStringLiteral("\r\n") + stmt, e.code());
        }
    }
}

} // namespace db

#pragma once

// Multi-statement SQL scripts as isql reads them: statements end with the terminator (";"
// unless "SET TERM" changed it), "--" and "/* */" comments and quoted text are skipped when
// looking for it. "COMMIT [WORK]" and "ROLLBACK [WORK]" act on the script's transaction;
// "SET SQL DIALECT", "SET NAMES", "SET AUTODDL" and the like are accepted and ignored.
//
//     db::TSqlScript script(text);
//     if (!script.validate()) show(script.errorText());     // splits, runs nothing
//     script.run(transaction);                              // DDL is committed (retaining) at
//                                                           // once, so later DML sees it
//     transaction.commit();

#include <QString>
#include <QStringList>

#include <functional>

namespace db {

class TTransaction;

class TSqlScript {
public:
    explicit TSqlScript(const QString &text = QString());
    void setText(const QString &text);
    const QString &text() const { return m_text; }

    // Splits the text into statements; false (with errorText and errorLine) when a quote or
    // comment is not closed, SET TERM lacks a terminator, or text follows the last terminator.
    bool validate();
    const QStringList &statements() const { return m_statements; }
    const QString &errorText() const { return m_error; }
    int errorLine() const { return m_errorLine; } // 1-based

    // Validates, then runs every statement in the transaction. A failing statement throws
    // EDatabaseError with the statement's text appended; what ran before it stays in the
    // transaction (the caller commits or rolls back).
    void run(TTransaction &transaction);

    // Called before each statement runs (index, text); a false return stops the run.
    std::function<bool(int, const QString &)> beforeStatement;

private:
    QString m_text;
    QStringList m_statements;
    QString m_error;
    int m_errorLine = 0;
};

} // namespace db

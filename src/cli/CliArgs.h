#pragma once

// Argument handling of zarnex-cli: the two ways a command ends early (bad usage, exit 2; a
// failed job, exit 1), one command's options, and the time and number forms of the command line.

#include <QMap>
#include <QString>
#include <QStringList>

#include <stdexcept>

#include "app/DateUtils.h"

namespace cli {

// Exit statuses of every command.
enum TExitCode { ExitDone = 0, ExitFailed = 1, ExitUsage = 2 };

// Bad usage: the reason and the command's usage go to stderr, exit 2.
class EUsage : public std::runtime_error {
public:
    explicit EUsage(const QString &text) : std::runtime_error(text.toStdString()), m_text(text) {}
    const QString &text() const { return m_text; }

private:
    QString m_text;
};

// The job failed: one line on stderr, exit 1.
class EFailure : public std::runtime_error {
public:
    explicit EFailure(const QString &text) : std::runtime_error(text.toStdString()), m_text(text) {}
    const QString &text() const { return m_text; }

private:
    QString m_text;
};

// A command's arguments: "--name VALUE" or "--name=VALUE" for the value options, "--name" for
// the flags, "--help" everywhere; everything else (and all after "--") is positional. An
// unknown option, a missing value or a repeated option is bad usage.
class TArgs {
public:
    TArgs(const QStringList &args, const QStringList &valueOptions, const QStringList &flags);

    bool help() const { return m_help; }
    bool has(const QString &name) const { return m_values.contains(name); }
    QString value(const QString &name) const { return m_values.value(name); }
    const QStringList &positional() const { return m_positional; }
    // Bad usage unless there are between min and max positional arguments.
    void expectPositional(int min, int max) const;

private:
    bool m_help = false;
    QMap<QString, QString> m_values; // flags map to an empty value
    QStringList m_positional;
};

// Which end of a range a date alone stands for.
enum class TDayEnd { Start, End };

// Local "YYYY-MM-DD" or "YYYY-MM-DD HH:MM:SS"; a date alone is 00:00:00 (Start) or 23:59:59
// (End). Bad usage naming the option otherwise.
TDateTime parseTime(const QString &option, const QString &text, TDayEnd dayEnd);
// A decimal integer; bad usage naming the option otherwise.
int parseInteger(const QString &option, const QString &text);

// Server texts span several lines; a failure reason is one.
QString oneLine(const QString &text);

} // namespace cli

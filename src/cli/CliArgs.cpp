#include "cli/CliArgs.h"

#include <QDate>
#include <QRegularExpression>
#include <QTime>

namespace cli {

TArgs::TArgs(const QStringList &args, const QStringList &valueOptions, const QStringList &flags) {
    bool optionsEnd = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        if (optionsEnd || !a.startsWith(QLatin1Char('-')) || a == QLatin1String("-")) {
            m_positional << a;
            continue;
        }
        if (a == QLatin1String("--")) {
            optionsEnd = true;
            continue;
        }
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            m_help = true;
            continue;
        }
        const int eq = a.indexOf(QLatin1Char('='));
        const QString name = eq < 0 ? a.mid(2) : a.mid(2, eq - 2);
        if (!a.startsWith(QLatin1String("--")) || name.isEmpty())
            throw EUsage(QStringLiteral("unknown option '%1'").arg(a));
        if (m_values.contains(name))
            throw EUsage(QStringLiteral("option '--%1' given twice").arg(name));
        if (valueOptions.contains(name)) {
            if (eq >= 0) {
                m_values.insert(name, a.mid(eq + 1));
            } else {
                if (i + 1 >= args.size())
                    throw EUsage(QStringLiteral("option '--%1' needs a value").arg(name));
                m_values.insert(name, args[++i]);
            }
        } else if (flags.contains(name)) {
            if (eq >= 0)
                throw EUsage(QStringLiteral("option '--%1' takes no value").arg(name));
            m_values.insert(name, QString());
        } else {
            throw EUsage(QStringLiteral("unknown option '%1'").arg(a));
        }
    }
}

void TArgs::expectPositional(int min, int max) const {
    if (m_positional.size() < min)
        throw EUsage(QStringLiteral("missing argument"));
    if (m_positional.size() > max)
        throw EUsage(QStringLiteral("unexpected argument '%1'").arg(m_positional.value(max)));
}

TDateTime parseTime(const QString &option, const QString &text, TDayEnd dayEnd) {
    static const QRegularExpression re(
        QStringLiteral("^(\\d{4})-(\\d{2})-(\\d{2})(?: (\\d{2}):(\\d{2}):(\\d{2}))?$"));
    const QRegularExpressionMatch m = re.match(text.trimmed());
    const auto bad = [&] {
        return EUsage(QStringLiteral("%1: '%2' is not a time (YYYY-MM-DD or YYYY-MM-DD HH:MM:SS)")
                          .arg(option, text));
    };
    if (!m.hasMatch())
        throw bad();
    const QDate date(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    if (!date.isValid())
        throw bad();
    QTime time = dayEnd == TDayEnd::End ? QTime(23, 59, 59) : QTime(0, 0, 0);
    if (!m.captured(4).isEmpty()) {
        time = QTime(m.captured(4).toInt(), m.captured(5).toInt(), m.captured(6).toInt());
        if (!time.isValid())
            throw bad();
    }
    return dt::encode(date.year(), date.month(), date.day(), time.hour(), time.minute(),
                      time.second());
}

int parseInteger(const QString &option, const QString &text) {
    bool ok = false;
    const int v = text.trimmed().toInt(&ok);
    if (!ok)
        throw EUsage(QStringLiteral("%1: '%2' is not an integer").arg(option, text));
    return v;
}

QString oneLine(const QString &text) {
    QStringList parts;
    for (const QString &l : text.split(QRegularExpression(QStringLiteral("[\r\n]+")))) {
        const QString t = l.trimmed();
        if (!t.isEmpty())
            parts << t;
    }
    return parts.join(QLatin1Char(' '));
}

} // namespace cli

#include "cli/CliDialogs.h"

#include <cstdio>

namespace cli {

namespace {

void print(std::FILE *f, const QString &text) {
    QString t = text;
    t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    if (!t.endsWith(QLatin1Char('\n')))
        t += QLatin1Char('\n');
    const QByteArray bytes = t.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), f);
    std::fflush(f);
}

QString captioned(const QString &caption, const QString &text) {
    return caption.isEmpty() ? text : caption + QStringLiteral(": ") + text;
}

QString buttonName(TMsgButton b) {
    switch (b) {
    case mbOK:
        return QStringLiteral("OK");
    case mbCancel:
        return QStringLiteral("Cancel");
    case mbYes:
        return QStringLiteral("Yes");
    case mbNo:
        return QStringLiteral("No");
    case mbAbort:
        return QStringLiteral("Abort");
    case mbRetry:
        return QStringLiteral("Retry");
    case mbIgnore:
        return QStringLiteral("Ignore");
    case mbNone:
        break;
    }
    return QStringLiteral("none");
}

} // namespace

void printErr(const QString &text) {
    print(stderr, text);
}

void printOut(const QString &text) {
    print(stdout, text);
}

void TCliDialogs::setAnswer(TMsgButton answer, const QString &hint) {
    m_answer = answer;
    m_hint = hint;
}

void TCliDialogs::message(const QString &text, const QString &caption, TMsgIcon) {
    printErr(captioned(caption, text));
}

TMsgButton TCliDialogs::question(const QString &text, const QString &caption, TMsgIcon,
                                 TMsgButtons buttons, TMsgButton) {
    printErr(captioned(caption, text));
    if (m_answer != mbNone && (buttons & m_answer)) {
        printErr(QStringLiteral("  -> ") + buttonName(m_answer));
        return m_answer;
    }
    ++m_refused;
    const TMsgButton refusal = (buttons & mbNo) ? mbNo : mbCancel;
    printErr(QStringLiteral("  -> ") + buttonName(refusal) + QStringLiteral(" (no one to ask") +
             (m_hint.isEmpty() ? QString() : QStringLiteral("; ") + m_hint) + QLatin1Char(')'));
    return refusal;
}

QStringList TCliDialogs::openFiles(const QString &, const QString &, const QString &, bool) {
    return {};
}

QString TCliDialogs::saveFile(const QString &, const QString &, const QString &, const QString &) {
    return {};
}

QString TCliDialogs::selectFolder(const QString &, const QString &) {
    return {};
}

bool TCliDialogs::inputText(const QString &, const QString &, QString &) {
    return false;
}

} // namespace cli

#include "app/Dialogs.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace {
// Nobody to ask: messages go to the debug log and questions take their default answer.
class TSilentDialogs final : public TDialogs {
public:
    void message(const QString &text, const QString &caption, TMsgIcon) override {
        qWarning().noquote() << caption << ":" << text;
    }
    TMsgButton question(const QString &text, const QString &caption, TMsgIcon, TMsgButtons,
                        TMsgButton def) override {
        qWarning().noquote() << caption << ":" << text;
        return def;
    }
    QStringList openFiles(const QString &, const QString &, const QString &, bool) override {
        return {};
    }
    QString saveFile(const QString &, const QString &, const QString &, const QString &) override {
        return {};
    }
    QString selectFolder(const QString &, const QString &) override { return {}; }
    bool inputText(const QString &, const QString &, QString &) override { return false; }
};

} // namespace

TDialogs &SilentDialogs() {
    static TSilentDialogs d;
    return d;
}

QString TDialogFolders::startFolder(const QString &asked) const {
    if (!asked.isEmpty())
        return asked;
    if (!m_last.isEmpty())
        return m_last;
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return QFileInfo(documents).isDir() ? documents : QDir::homePath();
}

QString TDialogFolders::startPath(const QString &asked, const QString &defaultName) const {
    const QString folder = startFolder(asked);
    return defaultName.isEmpty() ? folder : QDir(folder).filePath(defaultName);
}

void TDialogFolders::remember(const QString &chosen, bool isFolder) {
    if (!chosen.isEmpty())
        m_last = isFolder ? chosen : QFileInfo(chosen).absolutePath();
}

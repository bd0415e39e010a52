#include "app/Dialogs.h"

#include <QDebug>

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

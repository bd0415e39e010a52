#pragma once

#include "app/Dialogs.h"

class QWidget;

// TDialogs shown with Qt's message boxes and file dialogs, parented to the active window.
class TQtDialogs final : public TDialogs {
public:
    void message(const QString &text, const QString &caption, TMsgIcon icon) override;
    TMsgButton question(const QString &text, const QString &caption, TMsgIcon icon,
                        TMsgButtons buttons, TMsgButton defaultButton) override;
    QStringList openFiles(const QString &caption, const QString &folder, const QString &filter,
                          bool multiple) override;
    QString saveFile(const QString &caption, const QString &folder, const QString &filter,
                     const QString &defaultName) override;
    QString selectFolder(const QString &caption, const QString &folder) override;
    bool inputText(const QString &caption, const QString &prompt, QString &value) override;
    // TInputBox: a digits-only field.
    bool inputNumber(const QString &caption, const QString &prompt, int &value) override;

    // "Ozi Explorer maps (*.map)|*.map" -> "Ozi Explorer maps (*.map)".
    static QString toQtFilter(const QString &delphiFilter);

private:
    TDialogFolders m_folders;
};

#pragma once

#include <QString>
#include <QStringList>

#include <memory>

// Everything logic asks of the user goes through TDialogs: the application installs the Qt
// implementation, tests install a scripted one that records every call.
enum class TMsgIcon { None, Information, Warning, Error, Question };

enum TMsgButton : unsigned {
    mbNone = 0,
    mbOK = 1u << 0,
    mbCancel = 1u << 1,
    mbYes = 1u << 2,
    mbNo = 1u << 3,
    mbAbort = 1u << 4,
    mbRetry = 1u << 5,
    mbIgnore = 1u << 6,
};
using TMsgButtons = unsigned;

class TDialogs {
public:
    virtual ~TDialogs() = default;

    // A message with an OK button.
    virtual void message(const QString &text, const QString &caption, TMsgIcon icon) = 0;
    // A question; returns the button chosen (mbCancel or mbNo when the box is closed).
    virtual TMsgButton question(const QString &text, const QString &caption, TMsgIcon icon,
                                TMsgButtons buttons, TMsgButton defaultButton) = 0;
    // Empty list / text when cancelled.
    virtual QStringList openFiles(const QString &caption, const QString &folder,
                                  const QString &filter, bool multiple) = 0;
    virtual QString saveFile(const QString &caption, const QString &folder, const QString &filter,
                             const QString &defaultName) = 0;
    virtual QString selectFolder(const QString &caption, const QString &folder) = 0;
    // False when cancelled; value holds the initial text and receives the answer.
    virtual bool inputText(const QString &caption, const QString &prompt, QString &value) = 0;

    // A whole number typed into a digits-only field preset with value; an empty field reads as
    // 0. False when cancelled or closed. The plain form asks inputText and reads the digits.
    virtual bool inputNumber(const QString &caption, const QString &prompt, int &value) {
        QString text = QString::number(value);
        if (!inputText(caption, prompt, text))
            return false;
        bool ok = false;
        const int v = text.trimmed().toInt(&ok);
        value = ok ? v : 0;
        return true;
    }

    QString openFile(const QString &caption, const QString &folder, const QString &filter) {
        const QStringList l = openFiles(caption, folder, filter, false);
        return l.isEmpty() ? QString() : l.first();
    }
};

// Where a file dialog opens when its caller names no folder: the folder the last file was
// chosen in, else the user's documents folder (else the home folder).
class TDialogFolders {
public:
    QString startFolder(const QString &asked) const;
    // The full name the dialog opens with: the start folder, and the proposed name in it.
    QString startPath(const QString &asked, const QString &defaultName) const;
    // A file (or folder) the user chose: later dialogs without a folder start beside it.
    void remember(const QString &chosen, bool isFolder = false);

private:
    QString m_last;
};

// Dialogs for code that has nobody to ask (tests that do not look at messages): messages go to
// the debug log, questions take their default answer. Everything else is handed its dialogs.
TDialogs &SilentDialogs();

// The program's dialogs with a switch: once quiet (the program is ending on a signal, and
// nobody is there to answer), every call goes to SilentDialogs() instead.
class TQuietableDialogs final : public TDialogs {
public:
    explicit TQuietableDialogs(TDialogs &target) : m_target(target) {}
    void setQuiet(bool on) { m_quiet = on; }
    bool quiet() const { return m_quiet; }

    void message(const QString &text, const QString &caption, TMsgIcon icon) override {
        to().message(text, caption, icon);
    }
    TMsgButton question(const QString &text, const QString &caption, TMsgIcon icon,
                        TMsgButtons buttons, TMsgButton defaultButton) override {
        return to().question(text, caption, icon, buttons, defaultButton);
    }
    QStringList openFiles(const QString &caption, const QString &folder, const QString &filter,
                          bool multiple) override {
        return to().openFiles(caption, folder, filter, multiple);
    }
    QString saveFile(const QString &caption, const QString &folder, const QString &filter,
                     const QString &defaultName) override {
        return to().saveFile(caption, folder, filter, defaultName);
    }
    QString selectFolder(const QString &caption, const QString &folder) override {
        return to().selectFolder(caption, folder);
    }
    bool inputText(const QString &caption, const QString &prompt, QString &value) override {
        return to().inputText(caption, prompt, value);
    }
    bool inputNumber(const QString &caption, const QString &prompt, int &value) override {
        return to().inputNumber(caption, prompt, value);
    }

private:
    TDialogs &to() { return m_quiet ? SilentDialogs() : m_target; }
    TDialogs &m_target;
    bool m_quiet = false;
};

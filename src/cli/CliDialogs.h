#pragma once

// The dialogs of the batch front end: nobody is there to click. Messages go to stderr with
// their caption; a question gets the answer the command's options chose, or is refused (No,
// or Cancel when No is not offered) with a hint naming the option that would answer it. File,
// folder and text requests are cancelled.

#include <QString>

#include "app/Dialogs.h"

namespace cli {

// Writes a text to stderr (or stdout) as lines: CR LF becomes LF, a final LF is added.
void printErr(const QString &text);
void printOut(const QString &text);

class TCliDialogs final : public TDialogs {
public:
    // Every question from now on is answered with answer; mbNone refuses them, and the
    // refusal names hint (e.g. "--continue-on-error answers Yes").
    void setAnswer(TMsgButton answer, const QString &hint = QString());
    int refusedQuestions() const { return m_refused; }

    void message(const QString &text, const QString &caption, TMsgIcon icon) override;
    TMsgButton question(const QString &text, const QString &caption, TMsgIcon icon,
                        TMsgButtons buttons, TMsgButton defaultButton) override;
    QStringList openFiles(const QString &caption, const QString &folder, const QString &filter,
                          bool multiple) override;
    QString saveFile(const QString &caption, const QString &folder, const QString &filter,
                     const QString &defaultName) override;
    QString selectFolder(const QString &caption, const QString &folder) override;
    bool inputText(const QString &caption, const QString &prompt, QString &value) override;

private:
    TMsgButton m_answer = mbNone;
    QString m_hint;
    int m_refused = 0;
};

} // namespace cli

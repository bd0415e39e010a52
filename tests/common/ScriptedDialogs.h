#pragma once

#include "app/Dialogs.h"

#include <gtest/gtest.h>

#include <deque>
#include <vector>

// Dialogs for tests: records every call and answers from queues. A question, file or text
// request with nothing queued fails the test.
class TScriptedDialogs final : public TDialogs {
public:
    struct Call {
        QString kind; // "message", "question", "openFiles", "saveFile", "selectFolder", "inputText"
        QString text;
        QString caption;
        TMsgIcon icon = TMsgIcon::None;
        TMsgButtons buttons = mbNone;
    };

    std::vector<Call> calls;
    std::deque<TMsgButton> answers;
    std::deque<QStringList> files;
    std::deque<QString> texts; // folder and input-box answers; a null QString cancels

    void message(const QString &text, const QString &caption, TMsgIcon icon) override {
        calls.push_back({QStringLiteral("message"), text, caption, icon, mbOK});
    }
    TMsgButton question(const QString &text, const QString &caption, TMsgIcon icon,
                        TMsgButtons buttons, TMsgButton) override {
        calls.push_back({QStringLiteral("question"), text, caption, icon, buttons});
        if (answers.empty()) {
            ADD_FAILURE() << "unexpected question: " << text.toStdString();
            return (buttons & mbCancel) ? mbCancel : mbNo;
        }
        const TMsgButton a = answers.front();
        answers.pop_front();
        return a;
    }
    QStringList openFiles(const QString &caption, const QString &folder, const QString &filter,
                          bool) override {
        calls.push_back({QStringLiteral("openFiles"), folder + QLatin1Char('|') + filter, caption});
        return popFiles();
    }
    QString saveFile(const QString &caption, const QString &folder, const QString &filter,
                     const QString &name) override {
        calls.push_back({QStringLiteral("saveFile"),
                         folder + QLatin1Char('|') + filter + QLatin1Char('|') + name, caption});
        const QStringList l = popFiles();
        return l.isEmpty() ? QString() : l.first();
    }
    QString selectFolder(const QString &caption, const QString &folder) override {
        calls.push_back({QStringLiteral("selectFolder"), folder, caption});
        return popText();
    }
    bool inputText(const QString &caption, const QString &prompt, QString &value) override {
        calls.push_back({QStringLiteral("inputText"), prompt, caption});
        const QString a = popText();
        if (a.isNull())
            return false;
        value = a;
        return true;
    }

    // The messages (kind "message") in order, texts only.
    QStringList messages() const {
        QStringList out;
        for (const auto &c : calls)
            if (c.kind == QLatin1String("message"))
                out << c.text;
        return out;
    }
    void expectDone() const {
        EXPECT_TRUE(answers.empty()) << "questions answered but never asked";
    }

private:
    QStringList popFiles() {
        if (files.empty()) {
            ADD_FAILURE() << "unexpected file dialog";
            return {};
        }
        QStringList l = files.front();
        files.pop_front();
        return l;
    }
    QString popText() {
        if (texts.empty()) {
            ADD_FAILURE() << "unexpected folder or text dialog";
            return {};
        }
        QString t = texts.front();
        texts.pop_front();
        return t;
    }
};

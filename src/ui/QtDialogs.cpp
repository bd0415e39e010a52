#include "ui/QtDialogs.h"

#include "ui/InputBox.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>

namespace {
QWidget *parentWindow() {
    return QApplication::activeWindow();
}

QMessageBox::Icon toIcon(TMsgIcon icon) {
    switch (icon) {
    case TMsgIcon::Information:
        return QMessageBox::Information;
    case TMsgIcon::Warning:
        return QMessageBox::Warning;
    case TMsgIcon::Error:
        return QMessageBox::Critical;
    case TMsgIcon::Question:
        return QMessageBox::Question;
    case TMsgIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

struct ButtonMap {
    TMsgButton ours;
    QMessageBox::StandardButton qt;
};
const ButtonMap kButtons[] = {
    {mbOK, QMessageBox::Ok},         {mbCancel, QMessageBox::Cancel}, {mbYes, QMessageBox::Yes},
    {mbNo, QMessageBox::No},         {mbAbort, QMessageBox::Abort},   {mbRetry, QMessageBox::Retry},
    {mbIgnore, QMessageBox::Ignore},
};
} // namespace

void TQtDialogs::message(const QString &text, const QString &caption, TMsgIcon icon) {
    QMessageBox box(toIcon(icon), caption, text, QMessageBox::Ok, parentWindow());
    box.exec();
}

TMsgButton TQtDialogs::question(const QString &text, const QString &caption, TMsgIcon icon,
                                TMsgButtons buttons, TMsgButton defaultButton) {
    QMessageBox box(toIcon(icon), caption, text, QMessageBox::NoButton, parentWindow());
    for (const auto &b : kButtons) {
        if (buttons & b.ours) {
            QAbstractButton *btn = box.addButton(b.qt);
            if (b.qt == QMessageBox::Yes)
                btn->setText(QStringLiteral("Да"));
            else if (b.qt == QMessageBox::No)
                btn->setText(QStringLiteral("Нет"));
            else if (b.qt == QMessageBox::Cancel)
                btn->setText(QStringLiteral("Отмена"));
        }
    }
    for (const auto &b : kButtons)
        if (b.ours == defaultButton)
            box.setDefaultButton(b.qt);
    const int r = box.exec();
    for (const auto &b : kButtons)
        if (r == b.qt)
            return b.ours;
    return (buttons & mbCancel) ? mbCancel : mbNo;
}

QString TQtDialogs::toQtFilter(const QString &delphiFilter) {
    const QStringList parts = delphiFilter.split(QLatin1Char('|'));
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString name = parts[i];
        if (!name.contains(QLatin1Char('(')))
            name += QStringLiteral(" (") +
                    QString(parts[i + 1]).replace(QLatin1Char(';'), QLatin1Char(' ')) +
                    QLatin1Char(')');
        out << name;
    }
    return out.isEmpty() ? delphiFilter : out.join(QStringLiteral(";;"));
}

QStringList TQtDialogs::openFiles(const QString &caption, const QString &folder,
                                  const QString &filter, bool multiple) {
    const QString start = m_folders.startFolder(folder);
    QStringList files;
    if (multiple) {
        files = QFileDialog::getOpenFileNames(parentWindow(), caption, start, toQtFilter(filter));
    } else {
        const QString f =
            QFileDialog::getOpenFileName(parentWindow(), caption, start, toQtFilter(filter));
        if (!f.isEmpty())
            files << f;
    }
    if (!files.isEmpty())
        m_folders.remember(files.first());
    return files;
}

QString TQtDialogs::saveFile(const QString &caption, const QString &folder, const QString &filter,
                             const QString &defaultName) {
    const QString file = QFileDialog::getSaveFileName(
        parentWindow(), caption, m_folders.startPath(folder, defaultName), toQtFilter(filter));
    m_folders.remember(file);
    return file;
}

QString TQtDialogs::selectFolder(const QString &caption, const QString &folder) {
    const QString chosen =
        QFileDialog::getExistingDirectory(parentWindow(), caption, m_folders.startFolder(folder));
    m_folders.remember(chosen, true);
    return chosen;
}

bool TQtDialogs::inputText(const QString &caption, const QString &prompt, QString &value) {
    bool ok = false;
    const QString r =
        QInputDialog::getText(parentWindow(), caption, prompt, QLineEdit::Normal, value, &ok);
    if (ok)
        value = r;
    return ok;
}

bool TQtDialogs::inputNumber(const QString &caption, const QString &prompt, int &value) {
    TInputBox box(caption, prompt, value, parentWindow());
    if (box.exec() != QDialog::Accepted)
        return false;
    value = box.number();
    return true;
}

#include "ui/WindowFit.h"

#include <QApplication>
#include <QEvent>
#include <QFontMetrics>
#include <QFormLayout>
#include <QLineEdit>
#include <QMenu>
#include <QScreen>
#include <QWidget>

namespace {
// Icon, close, maximise and minimise buttons and the bar's paddings.
constexpr int kTitleBarChrome = 150;

class TTitleFit : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (event->type() == QEvent::Show && watched->isWidgetType()) {
            auto *w = static_cast<QWidget *>(watched);
            const Qt::WindowType type = w->windowType();
            if (w->isWindow() && !qobject_cast<QMenu *>(w) && !w->windowTitle().isEmpty() &&
                type != Qt::Popup && type != Qt::ToolTip && type != Qt::SplashScreen) {
                const int need = TitleBarWidth(w);
                if (w->width() < need && w->maximumWidth() >= need) {
                    w->setMinimumWidth(need);
                    w->resize(need, w->height());
                }
            }
        }
        return false;
    }
};
} // namespace

int TitleBarWidth(const QWidget *window) {
    QFont f = QApplication::font();
    f.setBold(true);
    return QFontMetrics(f).horizontalAdvance(window->windowTitle()) + kTitleBarChrome;
}

void InstallTitleFit(QApplication *app) {
    app->installEventFilter(new TTitleFit(app));
}

void SizeToDigits(QLineEdit *edit, int digits) {
    const QFontMetrics fm(edit->font());
    // The frame and the text margins of a line edit.
    edit->setFixedWidth(fm.horizontalAdvance(QString(digits + 1, QLatin1Char('0'))) + 16);
}

void AlignFormLabels(QWidget *page) {
    QList<QWidget *> labels;
    int widest = 0;
    for (QFormLayout *form : page->findChildren<QFormLayout *>()) {
        for (int row = 0; row < form->rowCount(); ++row) {
            QLayoutItem *item = form->itemAt(row, QFormLayout::LabelRole);
            if (QWidget *label = item ? item->widget() : nullptr) {
                labels << label;
                widest = qMax(widest, label->sizeHint().width());
            }
        }
    }
    for (QWidget *label : labels)
        label->setMinimumWidth(widest);
}

void ResizeWithinScreen(QWidget *window, int width, int height) {
    const QWidget *parent = window->parentWidget();
    QScreen *screen = parent ? parent->window()->screen() : window->screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (screen) {
        const QSize avail = screen->availableGeometry().size();
        width = qMin(width, avail.width());
        height = qMin(height, avail.height());
    }
    window->resize(width, height);
}

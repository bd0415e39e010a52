#include "ui/ArrowIndicators.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>
#include <QtMath>

#include <cmath>

namespace {
// The scale runs over 240 degrees, from lower left to lower right.
constexpr double kStart = 210, kSpan = 240;
} // namespace

TArrowGauge::TArrowGauge(const QString &title, QWidget *parent)
    : QWidget(parent), m_title(title), m_value(NAN) {
    setMinimumSize(150, 130);
}

void TArrowGauge::setScale(double maximum, double lowerMark, double upperMark) {
    m_max = maximum > 0 ? maximum : 1;
    m_lower = lowerMark;
    m_upper = upperMark;
    update();
}

void TArrowGauge::setValue(double value) {
    m_value = value;
    update();
}

void TArrowGauge::paintEvent(QPaintEvent *) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    // Room below the dial for its caption and reading, clear of the scale's end labels.
    const double r = qMax(20.0, qMin(width() / 2.0 - 10, (height() - 62) / 1.5));
    const QPointF c(width() / 2.0, r + 8);
    auto angleOf = [&](double v) {
        return qDegreesToRadians(kStart - kSpan * qBound(0.0, v / m_max, 1.0));
    };
    auto at = [&](double v, double radius) {
        const double a = angleOf(v);
        return QPointF(c.x() + radius * std::cos(a), c.y() - radius * std::sin(a));
    };
    const QRectF arc(c.x() - r, c.y() - r, 2 * r, 2 * r);

    p.setPen(QPen(palette().color(QPalette::Mid), 6, Qt::SolidLine, Qt::FlatCap));
    p.drawArc(arc, int((kStart - kSpan) * 16), int(kSpan * 16));
    if (m_upper > m_lower && m_upper > 0) {
        // The normal band between the marks.
        p.setPen(QPen(QColor(0x3C, 0xB4, 0x4B), 6, Qt::SolidLine, Qt::FlatCap));
        const double a0 = kStart - kSpan * qBound(0.0, m_lower / m_max, 1.0);
        const double a1 = kStart - kSpan * qBound(0.0, m_upper / m_max, 1.0);
        p.drawArc(arc, int(a1 * 16), int((a0 - a1) * 16));
    }
    p.setPen(QPen(palette().color(QPalette::WindowText), 1));
    QFont f = font();
    f.setPointSizeF(f.pointSizeF() * 0.8);
    p.setFont(f);
    for (int i = 0; i <= 10; ++i) {
        const double v = m_max * i / 10;
        p.drawLine(at(v, r - 4), at(v, r - (i % 5 == 0 ? 14 : 9)));
        if (i % 5 == 0) {
            const QPointF t = at(v, r - 26);
            p.drawText(QRectF(t.x() - 25, t.y() - 8, 50, 16), Qt::AlignCenter,
                       QString::number(v, 'f', m_max >= 100 ? 0 : 1));
        }
    }
    p.setFont(font());
    const double captionY = c.y() + r * 0.5 + 6;
    p.drawText(QRectF(0, captionY, width(), 18), Qt::AlignCenter, m_title);
    const QString reading = std::isnan(m_value)
                                ? QStringLiteral("—")
                                : QString::number(m_value, 'f', m_max >= 100 ? 0 : 2);
    QFont bf = font();
    bf.setBold(true);
    p.setFont(bf);
    p.drawText(QRectF(0, captionY + 18, width(), 18), Qt::AlignCenter, reading);
    if (!std::isnan(m_value)) {
        p.setPen(QPen(QColor(0xC8, 0x28, 0x28), 2.5, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(c, at(m_value, r - 12));
    }
    p.setPen(Qt::NoPen);
    p.setBrush(palette().color(QPalette::WindowText));
    p.drawEllipse(c, 4, 4);
}

TfmArrowIndicators::TfmArrowIndicators(QWidget *parent) : QWidget(parent, Qt::Tool) {
    m_object = new QLabel;
    m_object->setAlignment(Qt::AlignCenter);
    QFont bold = m_object->font();
    bold.setBold(true);
    m_object->setFont(bold);
    m_voltage = new TArrowGauge(QStringLiteral("Напряжение, В"));
    m_fuel = new TArrowGauge(QStringLiteral("Топливо, л"));
    m_voltage->setScale(40, 21.8, 30);
    auto *v = new QVBoxLayout(this);
    v->addWidget(m_object);
    auto *h = new QHBoxLayout;
    h->addWidget(m_voltage);
    h->addWidget(m_fuel);
    v->addLayout(h);
    setObject(0, QString());
    resize(380, 190);
    // A window manager that does not keep a tool window above its main window still gets it
    // raised when the main window comes to the front.
    if (parent)
        parent->installEventFilter(this);
}

void TfmArrowIndicators::setObject(int number, const QString &name) {
    QString caption = QStringLiteral("объект не выбран");
    if (number > 0) {
        caption = QStringLiteral("объект № ") + QString::number(number);
        if (!name.isEmpty())
            caption += QStringLiteral(" — ") + name;
    }
    m_object->setText(caption);
    setWindowTitle(QStringLiteral("Индикаторы: ") + caption);
}

QString TfmArrowIndicators::objectCaption() const {
    return m_object->text();
}

bool TfmArrowIndicators::eventFilter(QObject *watched, QEvent *event) {
    if (watched == parent() && event->type() == QEvent::WindowActivate && isVisible())
        raise();
    return QWidget::eventFilter(watched, event);
}

void TfmArrowIndicators::setVoltage(double volts) {
    m_voltage->setValue(volts);
}

void TfmArrowIndicators::setFuel(double litres, int scale, int lowerMark, int upperMark) {
    m_fuel->setScale(scale > 0 ? scale : 100, lowerMark, upperMark);
    m_fuel->setValue(scale > 0 ? litres : NAN);
}

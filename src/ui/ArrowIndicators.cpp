#include "ui/ArrowIndicators.h"

#include <QHBoxLayout>
#include <QLabel>

#include <cmath>

TfmArrowIndicators::TfmArrowIndicators(QWidget *parent) : QWidget(parent, Qt::Tool) {
    setWindowTitle(QStringLiteral("Индикаторы"));
    m_voltage = new QLabel;
    m_fuel = new QLabel;
    for (QLabel *l : {m_voltage, m_fuel}) {
        l->setAlignment(Qt::AlignCenter);
        l->setMinimumSize(120, 80);
        l->setFrameShape(QFrame::StyledPanel);
    }
    auto *h = new QHBoxLayout(this);
    h->addWidget(m_voltage);
    h->addWidget(m_fuel);
    setValues(NAN, NAN);
}

void TfmArrowIndicators::setValues(double voltage, double fuel) {
    m_voltage->setText(QStringLiteral("Питание, В\n") + (std::isnan(voltage)
                                                             ? QStringLiteral("—")
                                                             : QString::number(voltage, 'f', 1)));
    m_fuel->setText(QStringLiteral("Топливо, л\n") +
                    (std::isnan(fuel) ? QStringLiteral("—") : QString::number(fuel, 'f', 0)));
}

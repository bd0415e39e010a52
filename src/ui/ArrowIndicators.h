#pragma once

#include <QWidget>

class QLabel;

// "Индикаторы": the selected object's supply voltage and fuel level.
class TfmArrowIndicators : public QWidget {
    Q_OBJECT
public:
    explicit TfmArrowIndicators(QWidget *parent = nullptr);
    // Shows the values; NaN leaves a gauge empty.
    void setValues(double voltage, double fuel);

private:
    QLabel *m_voltage;
    QLabel *m_fuel;
};

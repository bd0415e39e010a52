#pragma once

#include <QWidget>

class QLabel;

// One arrow gauge: a scale from 0 to its maximum, an optional band between a lower and an
// upper mark, and the needle. NaN leaves the needle out.
class TArrowGauge : public QWidget {
    Q_OBJECT
public:
    explicit TArrowGauge(const QString &title, QWidget *parent = nullptr);
    void setScale(double maximum, double lowerMark = 0, double upperMark = 0);
    void setValue(double value);
    double value() const { return m_value; }
    QSize sizeHint() const override { return {180, 150}; }

protected:
    void paintEvent(QPaintEvent *) override;

private:
    QString m_title;
    double m_max = 30;
    double m_lower = 0, m_upper = 0;
    double m_value;
};

// "Индикаторы": the selected object's supply voltage and fuel level. A tool window of the main
// window (its parent): it stays above it and comes up with it whenever the main window is
// activated. The title and the caption above the gauges name the object shown.
class TfmArrowIndicators : public QWidget {
    Q_OBJECT
public:
    explicit TfmArrowIndicators(QWidget *parent = nullptr);
    // The object whose values the gauges show; number 0: none.
    void setObject(int number, const QString &name);
    QString objectCaption() const;
    // Volts; NaN empties the gauge.
    void setVoltage(double volts);
    // Litres on a scale of the tank volume with its lower and upper marks.
    void setFuel(double litres, int scale, int lowerMark, int upperMark);
    void setValues(double voltage, double fuel) { setVoltage(voltage), setFuel(fuel, 0, 0, 0); }

    TArrowGauge *voltage() const { return m_voltage; }
    TArrowGauge *fuel() const { return m_fuel; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QLabel *m_object;
    TArrowGauge *m_voltage;
    TArrowGauge *m_fuel;
};

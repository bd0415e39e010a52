#pragma once

#include <QWidget>

class QTableView;
class TDrainsPart;
class TErrorGuard;

// The events panel: the fuel-drain alerts of the drains part, the newest first, each with its
// "Подтвердить" button until an operator confirms it. A double click asks for the object.
class TDrainEventsPanel : public QWidget {
    Q_OBJECT
public:
    TDrainEventsPanel(TDrainsPart &drains, TErrorGuard &guard, QWidget *parent = nullptr);

    QTableView *table() const { return m_table; }

signals:
    // The operator wants to see the alert's object.
    void objectRequested(int number);

private:
    void placeButtons();

    TDrainsPart &m_drains;
    TErrorGuard &m_guard;
    QTableView *m_table = nullptr;
};

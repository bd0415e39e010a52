#pragma once

#include <QDate>
#include <QTime>

class QDateEdit;
class QDateTimeEdit;
class QTimeEdit;
class QWidget;

// Date and time edits show their value as the grids do (the platform's short date and long time:
// "11.12.2026", "11.12.2026 08:30:00", "08:30:00"), never in the locale's long form; the date
// ones drop down a calendar.
void FormatDateTimeEdit(QDateTimeEdit *edit);
// Every date or time edit inside the window.
void FormatDateTimeEdits(QWidget *window);

QDateEdit *NewDateEdit(const QDate &date = QDate::currentDate());
QTimeEdit *NewTimeEdit(const QTime &time = QTime(0, 0, 0));

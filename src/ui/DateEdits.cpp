#include "ui/DateEdits.h"

#include "app/FormatSettings.h"

#include <QDateEdit>
#include <QDateTimeEdit>
#include <QTimeEdit>

void FormatDateTimeEdit(QDateTimeEdit *edit) {
    const TFormatSettings &fs = TFormatSettings::current();
    const QDateTimeEdit::Sections s = edit->displayedSections();
    const bool date = s.testAnyFlag(QDateTimeEdit::DateSections_Mask);
    const bool time = s.testAnyFlag(QDateTimeEdit::TimeSections_Mask);
    if (date && time)
        edit->setDisplayFormat(fs.shortDateFormat + QLatin1Char(' ') + fs.longTimeFormat);
    else if (time)
        edit->setDisplayFormat(fs.longTimeFormat);
    else
        edit->setDisplayFormat(fs.shortDateFormat);
    if (date)
        edit->setCalendarPopup(true);
}

void FormatDateTimeEdits(QWidget *window) {
    for (QDateTimeEdit *e : window->findChildren<QDateTimeEdit *>())
        FormatDateTimeEdit(e);
}

QDateEdit *NewDateEdit(const QDate &date) {
    auto *e = new QDateEdit(date);
    FormatDateTimeEdit(e);
    return e;
}

QTimeEdit *NewTimeEdit(const QTime &time) {
    auto *e = new QTimeEdit(time);
    FormatDateTimeEdit(e);
    return e;
}

#include "ui/LoadTrackForm.h"
#include "ui/DateEdits.h"

#include <QCheckBox>
#include <QDate>
#include <QDateEdit>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTimeEdit>
#include <QVBoxLayout>

TfmLoadTrack::TfmLoadTrack(int number, QWidget *parent) : QDialog(parent), m_number(number) {
    setWindowTitle(QStringLiteral("Загрузить трек - объект №") + QString::number(number));
    dtStartDate = NewDateEdit();
    dtStartTime = NewTimeEdit(QTime(0, 0, 0));
    dtEndDate = NewDateEdit();
    dtEndTime = NewTimeEdit(QTime(23, 59, 59));
    cbToCurrent = new QCheckBox(QStringLiteral("До текущего момента"));
    cbToCurrent->setChecked(true);
    cbDownloadDataBeforeLoad =
        new QCheckBox(QStringLiteral("Скачать данные с сервера перед загрузкой трека"));

    auto *form = new QFormLayout;
    auto *start = new QHBoxLayout;
    start->addWidget(dtStartDate);
    start->addWidget(dtStartTime);
    auto *end = new QHBoxLayout;
    end->addWidget(dtEndDate);
    end->addWidget(dtEndTime);
    form->addRow(QStringLiteral("Начало:"), start);
    form->addRow(QStringLiteral("Окончание:"), end);
    form->addRow(QString(), cbToCurrent);
    form->addRow(QString(), cbDownloadDataBeforeLoad);

    btnOk = new QPushButton(QStringLiteral("OK"));
    btnCancel = new QPushButton(QStringLiteral("Отмена"));
    btnDemo = new QPushButton(QStringLiteral("Демо-трек"));
    btnOk->setDefault(true);
    // The demonstration track belongs to the demonstration object alone.
    btnDemo->setVisible(number == 1000);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(btnDemo);
    buttons->addStretch();
    buttons->addWidget(btnOk);
    buttons->addWidget(btnCancel);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);

    connect(cbToCurrent, &QCheckBox::toggled, this, &TfmLoadTrack::toCurrentChanged);
    connect(btnOk, &QPushButton::clicked, this, [this] { done(ResultOk); });
    connect(btnCancel, &QPushButton::clicked, this, [this] { done(ResultCancel); });
    connect(btnDemo, &QPushButton::clicked, this, [this] {
        cbToCurrent->setChecked(false);
        done(ResultDemo);
    });
    toCurrentChanged(true);
}

void TfmLoadTrack::toCurrentChanged(bool on) {
    dtEndDate->setEnabled(!on);
    dtEndTime->setEnabled(!on);
    if (on) {
        dtEndDate->setDate(QDate::currentDate());
        dtEndTime->setTime(QTime(23, 59, 59));
    }
}

TLoadTrackRequest TfmLoadTrack::request(int result) const {
    TLoadTrackRequest r;
    r.number = m_number;
    r.demo = result == ResultDemo;
    r.start = dt::encodeDate(dtStartDate->date()) + dt::encodeTime(dtStartTime->time().hour(),
                                                                   dtStartTime->time().minute(),
                                                                   dtStartTime->time().second());
    r.end = dt::encodeDate(dtEndDate->date()) + dt::encodeTime(dtEndTime->time().hour(),
                                                               dtEndTime->time().minute(),
                                                               dtEndTime->time().second());
    r.toCurrent = cbToCurrent->isChecked();
    r.download = cbDownloadDataBeforeLoad->isChecked();
    return r;
}

std::optional<TLoadTrackRequest> TfmLoadTrack::Ask(int number, QWidget *parent) {
    TfmLoadTrack dlg(number, parent);
    const int result = dlg.exec();
    if (result != ResultOk && result != ResultDemo)
        return std::nullopt;
    return dlg.request(result);
}

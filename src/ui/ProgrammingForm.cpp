#include "ui/ProgrammingForm.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

#include "session/ProgrammingPart.h"

using namespace programming;

namespace {

QLineEdit *edit(const QString &mask = QString(), int width = 0) {
    auto *e = new QLineEdit;
    if (!mask.isEmpty())
        e->setInputMask(mask);
    if (width > 0)
        e->setFixedWidth(width);
    return e;
}

QLineEdit *readOnly(int width) {
    auto *e = edit(QString(), width);
    e->setReadOnly(true);
    return e;
}

QComboBox *pickList(const QStringList &items) {
    auto *c = new QComboBox;
    c->addItems(items);
    return c;
}

QSpinBox *spin(int lo, int hi, int width) {
    auto *s = new QSpinBox;
    s->setRange(lo, hi);
    s->setFixedWidth(width);
    return s;
}

QLabel *label(const QString &text) {
    return new QLabel(text);
}

// Texts are set only when they differ: a refresh must not move the caret of a field being typed in.
void setText(QLineEdit *e, const QString &text) {
    if (e->text() != text)
        e->setText(text);
}

} // namespace

TfmProgramming::TfmProgramming(TProgrammingPart &part, int objectNumber, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint), m_part(part) {
    setWindowTitle(QStringLiteral("Программирование объектового оборудования"));
    auto *menuBar = new QMenuBar;
    QMenu *file = menuBar->addMenu(QStringLiteral("Файл"));
    ui.miSave = file->addAction(QStringLiteral("Сохранить"));
    ui.miLoad = file->addAction(QStringLiteral("Загрузить"));

    ui.object = new QLabel;
    ui.pages = new QTabWidget;
    ui.pages->addTab(connectionPage(), QStringLiteral("Параметры связи"));
    ui.pages->addTab(equipmentPage(), QStringLiteral("Параметры оборудования"));

    auto *main = new QVBoxLayout(this);
    main->setMenuBar(menuBar);
    main->addWidget(ui.object);
    main->addWidget(ui.pages);

    bind();
    m_part.setObjectNumber(objectNumber);
    ui.object->setText(QStringLiteral("Объект № ") + QString::number(objectNumber));
    showFields();
}

QWidget *TfmProgramming::connectionPage() {
    auto *page = new QWidget;
    auto *v = new QVBoxLayout(page);

    auto *conn = new QGroupBox(QStringLiteral("Параметры соединения:"));
    auto *cg = new QGridLayout(conn);
    ui.IPEdit = edit(QStringLiteral("999.999.999.999;_"), 130);
    ui.PortEdit = edit(QStringLiteral("99999;_"), 60);
    ui.IDEdit = edit(QStringLiteral("9000;_"), 50);
    ui.edDNS = edit();
    cg->addWidget(label(QStringLiteral("IP адрес:")), 0, 0);
    cg->addWidget(ui.IPEdit, 0, 1);
    cg->addWidget(label(QStringLiteral("порт:")), 0, 2);
    cg->addWidget(ui.PortEdit, 0, 3);
    cg->addWidget(label(QStringLiteral("Номер объекта:")), 0, 4);
    cg->addWidget(ui.IDEdit, 0, 5);
    cg->addWidget(label(QStringLiteral("DNS")), 0, 6);
    cg->addWidget(ui.edDNS, 0, 7);
    ui.cbUseDNS = new QCheckBox(QStringLiteral("Использовать DNS"));
    ui.cbRewriteIP = new QCheckBox(QStringLiteral("Перезаписывать IP из DNS"));
    ui.cbUseIP = new QCheckBox(QStringLiteral("Наличие IP адреса"));
    auto *flags = new QHBoxLayout;
    flags->addWidget(ui.cbUseDNS);
    flags->addWidget(ui.cbRewriteIP);
    flags->addWidget(ui.cbUseIP);
    flags->addStretch();
    cg->addLayout(flags, 1, 0, 1, 8);
    cg->setColumnStretch(7, 1);
    v->addWidget(conn);

    auto *sims = new QHBoxLayout;
    for (int s = 0; s < 3; ++s) {
        TSimControls &c = ui.sim[size_t(s)];
        auto *box = new QGroupBox(QStringLiteral("SIM") + QString::number(s + 1));
        auto *g = new QGridLayout(box);
        c.InitStrEdit = edit();
        c.LoginEdit = edit();
        c.PassEdit = edit();
        c.UssdEdit = edit(QString(), 80);
        c.cbUseBalance = new QCheckBox(QStringLiteral("используется"));
        g->addWidget(label(QStringLiteral("Строка инициализации")), 0, 0);
        g->addWidget(c.InitStrEdit, 0, 1, 1, 2);
        g->addWidget(label(QStringLiteral("Логин")), 1, 0);
        g->addWidget(c.LoginEdit, 1, 1, 1, 2);
        g->addWidget(label(QStringLiteral("Пароль")), 2, 0);
        g->addWidget(c.PassEdit, 2, 1, 1, 2);
        g->addWidget(label(QStringLiteral("Номер получения\nбаланса")), 3, 0);
        g->addWidget(c.UssdEdit, 3, 1);
        g->addWidget(c.cbUseBalance, 3, 2);
        g->setColumnStretch(1, 1);
        sims->addWidget(box);
    }
    v->addLayout(sims);

    auto *lower = new QHBoxLayout;
    auto *phones = new QGroupBox(QStringLiteral("Федеральные номера:"));
    auto *pg = new QGridLayout(phones);
    for (int i = 0; i < 5; ++i) {
        ui.PhoneNumEdit[size_t(i)] = edit(QStringLiteral("9999000000;_"), 110);
        ui.trsChkBox[size_t(i)] = new QCheckBox(QStringLiteral("тревога/сервисный"));
        pg->addWidget(label(QStringLiteral("№") + QString::number(i + 1)), i, 0);
        pg->addWidget(label(QStringLiteral("Номер:")), i, 1);
        pg->addWidget(ui.PhoneNumEdit[size_t(i)], i, 2);
        pg->addWidget(ui.trsChkBox[size_t(i)], i, 3);
    }
    lower->addWidget(phones);

    auto *right = new QVBoxLayout;
    auto *prefix = new QGridLayout;
    ui.PrefixComboBox = pickList(PrefixItems());
    ui.UseCustomPrefix = new QCheckBox(QStringLiteral("использовать свой:"));
    ui.CustomPrefixEdit = edit(QString(), 110);
    ui.CustomPrefixEdit->setMaxLength(10);
    ui.CustomPrefixEdit->setToolTip(QStringLiteral("не более 10 символов"));
    ui.SMSPassEdit = edit(QStringLiteral(">NNNNNNNN;_"), 110);
    prefix->addWidget(label(QStringLiteral("Префикс дозвона:")), 0, 0);
    prefix->addWidget(ui.PrefixComboBox, 0, 1);
    prefix->addWidget(ui.UseCustomPrefix, 1, 0);
    prefix->addWidget(ui.CustomPrefixEdit, 1, 1);
    prefix->addWidget(label(QStringLiteral("Пароль SMS")), 2, 0);
    prefix->addWidget(ui.SMSPassEdit, 2, 1);
    right->addLayout(prefix);
    auto *gps = new QGroupBox(QStringLiteral("Наличие GPS приемника:"));
    auto *gl = new QHBoxLayout(gps);
    ui.GPSRadioButton = new QRadioButton(QStringLiteral("присутствует"));
    ui.IntClkRadioButton = new QRadioButton(QStringLiteral("отсутствует"));
    gl->addWidget(ui.GPSRadioButton);
    gl->addWidget(ui.IntClkRadioButton);
    right->addWidget(gps);
    right->addStretch();
    lower->addLayout(right);
    lower->addStretch();
    v->addLayout(lower);

    auto *buttons = new QHBoxLayout;
    ui.btnProgram = new QPushButton(QStringLiteral("Программировать"));
    ui.btnRequest3 = new QPushButton(QStringLiteral("Запрос данных платы №3"));
    buttons->addStretch();
    buttons->addWidget(ui.btnProgram);
    buttons->addWidget(ui.btnRequest3);
    v->addStretch();
    v->addLayout(buttons);
    return page;
}

QWidget *TfmProgramming::equipmentPage() {
    auto *page = new QWidget;
    auto *h = new QHBoxLayout(page);
    auto *v = new QVBoxLayout;
    h->addLayout(v, 1);

    auto *akb =
        new QGroupBox(QStringLiteral("Напряжение аккумуляторной батареи (пороговое значение) [В]"));
    auto *al = new QHBoxLayout(akb);
    ui.tbAKB = new QSlider(Qt::Horizontal);
    ui.tbAKB->setRange(0, AkbMax);
    ui.tbAKB->setPageStep(10);
    ui.edAKB = readOnly(70);
    al->addWidget(ui.tbAKB, 1);
    al->addWidget(ui.edAKB);
    v->addWidget(akb);

    auto *tmas = new QGroupBox(QStringLiteral("Пороги срабатывания датчика температуры масла"));
    auto *tl = new QGridLayout(tmas);
    ui.tbTMAS = new QSlider(Qt::Horizontal);
    ui.tbTMAS->setRange(0, TmasMax);
    ui.tbTMAS->setPageStep(50);
    ui.edTMAS = readOnly(70);
    ui.edTMASmin = readOnly(70);
    ui.edTMASmax = readOnly(70);
    ui.btnRemember = new QPushButton(QStringLiteral("Запомнить"));
    ui.btnReset = new QPushButton(QStringLiteral("Сброс"));
    tl->addWidget(ui.tbTMAS, 0, 0, 1, 5);
    tl->addWidget(ui.edTMAS, 0, 5);
    tl->addWidget(label(QStringLiteral("нижний порог:")), 1, 0);
    tl->addWidget(ui.edTMASmin, 1, 1);
    tl->addWidget(label(QStringLiteral("верхний порог:")), 1, 2);
    tl->addWidget(ui.edTMASmax, 1, 3);
    auto *tb = new QHBoxLayout;
    tb->addWidget(ui.btnRemember);
    tb->addWidget(ui.btnReset);
    tl->addLayout(tb, 1, 4, 1, 2);
    tl->setColumnStretch(4, 1);
    v->addWidget(tmas);

    auto *lists = new QGridLayout;
    ui.cbTimeSr = pickList(TimeSrItems());
    ui.cbEngTempMin = pickList(EngTempItems());
    ui.cbEngTempMax = pickList(EngTempItems());
    ui.cbRecalcCoof = pickList(RecalcCoofItems());
    for (QComboBox *c : {ui.cbTimeSr, ui.cbEngTempMin, ui.cbEngTempMax})
        c->installEventFilter(this);
    lists->addWidget(label(QStringLiteral("Время работы насоса")), 0, 0);
    lists->addWidget(ui.cbTimeSr, 0, 1);
    lists->addWidget(label(QStringLiteral("минут")), 0, 2);
    auto *engine = new QGroupBox(QStringLiteral("Двигатель"));
    auto *el = new QGridLayout(engine);
    el->addWidget(label(QStringLiteral("Минимальная температура")), 0, 0);
    el->addWidget(ui.cbEngTempMin, 0, 1);
    el->addWidget(label(QStringLiteral("Максимальная температура")), 1, 0);
    el->addWidget(ui.cbEngTempMax, 1, 1);
    lists->addWidget(engine, 1, 0, 1, 3);
    lists->addWidget(label(QStringLiteral("Коэффициент пересчета")), 2, 0);
    lists->addWidget(ui.cbRecalcCoof, 2, 1);
    lists->setColumnStretch(3, 1);
    v->addLayout(lists);

    auto *clock = new QGroupBox;
    auto *cl = new QGridLayout(clock);
    ui.seDay = spin(1, 31, 55);
    ui.seMonth = spin(1, 12, 55);
    ui.seYear = spin(0, 9999, 70);
    ui.seHour = spin(0, 23, 55);
    ui.seMin = spin(0, 59, 55);
    cl->addWidget(label(QStringLiteral("Дата")), 0, 0);
    cl->addWidget(label(QStringLiteral("день")), 0, 1);
    cl->addWidget(ui.seDay, 0, 2);
    cl->addWidget(label(QStringLiteral("месяц")), 0, 3);
    cl->addWidget(ui.seMonth, 0, 4);
    cl->addWidget(label(QStringLiteral("год")), 0, 5);
    cl->addWidget(ui.seYear, 0, 6);
    cl->addWidget(label(QStringLiteral("Время")), 1, 0);
    cl->addWidget(label(QStringLiteral("часы")), 1, 1);
    cl->addWidget(ui.seHour, 1, 2);
    cl->addWidget(label(QStringLiteral("минуты")), 1, 3);
    cl->addWidget(ui.seMin, 1, 4);
    ui.cbTakeSysTime = new QCheckBox(QStringLiteral("Брать системное время"));
    cl->addWidget(ui.cbTakeSysTime, 2, 0, 1, 7);
    cl->setColumnStretch(7, 1);
    v->addWidget(clock);

    ui.cbCanWorkWithEngine =
        new QCheckBox(QStringLiteral("Может работать с запущенным двигателем"));
    ui.cbProgramParam = new QCheckBox(QStringLiteral("Программировать параметры"));
    ui.cbProgramTime = new QCheckBox(QStringLiteral("Программировать время"));
    ui.cbUseHeater2 = new QCheckBox(QStringLiteral("Использовать подогреватель №2"));
    auto *checks = new QGridLayout;
    checks->addWidget(ui.cbCanWorkWithEngine, 0, 0);
    checks->addWidget(ui.cbUseHeater2, 0, 1);
    checks->addWidget(ui.cbProgramParam, 1, 0);
    checks->addWidget(ui.cbProgramTime, 1, 1);
    v->addLayout(checks);
    v->addStretch();

    auto *buttons = new QHBoxLayout;
    ui.btnProgramEquip = new QPushButton(QStringLiteral("Программировать"));
    ui.btnRequest1 = new QPushButton(QStringLiteral("Запрос данных платы №1"));
    ui.btnDefaults = new QPushButton(QStringLiteral("По умолчанию"));
    buttons->addWidget(ui.btnDefaults);
    buttons->addStretch();
    buttons->addWidget(ui.btnProgramEquip);
    buttons->addWidget(ui.btnRequest1);
    v->addLayout(buttons);

    ui.mmLog = new QPlainTextEdit;
    ui.mmLog->setReadOnly(true);
    ui.mmLog->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    ui.mmLog->setFixedWidth(110);
    h->addWidget(ui.mmLog);
    return page;
}

void TfmProgramming::bind() {
    // Every edit goes to the session at once; the fields it derives come back by paramsChanged.
    const auto push = [this] { pushFields(); };
    for (QLineEdit *e :
         {ui.IPEdit, ui.PortEdit, ui.IDEdit, ui.edDNS, ui.CustomPrefixEdit, ui.SMSPassEdit})
        connect(e, &QLineEdit::textChanged, this, push);
    for (const TSimControls &s : ui.sim) {
        for (QLineEdit *e : {s.InitStrEdit, s.LoginEdit, s.PassEdit, s.UssdEdit})
            connect(e, &QLineEdit::textChanged, this, push);
        connect(s.cbUseBalance, &QCheckBox::toggled, this, push);
    }
    for (QLineEdit *e : ui.PhoneNumEdit)
        connect(e, &QLineEdit::textChanged, this, push);
    for (QCheckBox *c : ui.trsChkBox)
        connect(c, &QCheckBox::toggled, this, push);
    for (QCheckBox *c :
         {ui.UseCustomPrefix, ui.cbUseDNS, ui.cbRewriteIP, ui.cbUseIP, ui.cbCanWorkWithEngine,
          ui.cbProgramParam, ui.cbProgramTime, ui.cbUseHeater2, ui.cbTakeSysTime})
        connect(c, &QCheckBox::toggled, this, push);
    connect(ui.GPSRadioButton, &QRadioButton::toggled, this, push);
    for (QComboBox *c :
         {ui.PrefixComboBox, ui.cbTimeSr, ui.cbEngTempMin, ui.cbEngTempMax, ui.cbRecalcCoof})
        connect(c, &QComboBox::currentIndexChanged, this, push);
    for (QSpinBox *s : {ui.seDay, ui.seMonth, ui.seYear, ui.seHour, ui.seMin})
        connect(s, &QSpinBox::valueChanged, this, push);
    // A position shown from a report keeps the report's text; only the user's moves derive it.
    connect(ui.tbAKB, &QSlider::valueChanged, this, [this](int v) {
        if (!m_showing)
            m_part.tbAKBChange(v);
    });
    connect(ui.tbTMAS, &QSlider::valueChanged, this, [this](int v) {
        if (!m_showing)
            m_part.tbTMASChange(v);
    });

    connect(ui.btnProgram, &QPushButton::clicked, this,
            [this] { command(&TProgrammingPart::btnProgramClick); });
    connect(ui.btnRequest3, &QPushButton::clicked, this,
            [this] { command(&TProgrammingPart::btnRequest3Click); });
    connect(ui.btnProgramEquip, &QPushButton::clicked, this,
            [this] { command(&TProgrammingPart::btnProgramEquipClick); });
    connect(ui.btnRequest1, &QPushButton::clicked, this,
            [this] { command(&TProgrammingPart::btnRequest1Click); });
    connect(ui.btnDefaults, &QPushButton::clicked, &m_part, &TProgrammingPart::btnDefaultsClick);
    connect(ui.btnRemember, &QPushButton::clicked, &m_part, &TProgrammingPart::btnRememberClick);
    connect(ui.btnReset, &QPushButton::clicked, &m_part, &TProgrammingPart::btnResetClick);
    connect(ui.miSave, &QAction::triggered, &m_part, &TProgrammingPart::miSaveClick);
    connect(ui.miLoad, &QAction::triggered, &m_part, &TProgrammingPart::miLoadClick);

    connect(&m_part, &TProgrammingPart::paramsChanged, this, &TfmProgramming::showFields);
    connect(&m_part, &TProgrammingPart::waitCursorChanged, this, [this](bool wait) {
        if (wait)
            setCursor(Qt::WaitCursor);
        else
            unsetCursor();
    });
    connect(&m_part, &TProgrammingPart::logAdded, ui.mmLog,
            [this](const QStringList &lines) { ui.mmLog->appendPlainText(lines.join('\n')); });
}

void TfmProgramming::command(bool (TProgrammingPart::*cmd)()) {
    pushFields();
    (m_part.*cmd)();
}

void TfmProgramming::showForObject(int n) {
    m_part.setObjectNumber(n);
    ui.object->setText(QStringLiteral("Объект № ") + QString::number(n));
    show();
    raise();
    activateWindow();
}

void TfmProgramming::showEvent(QShowEvent *e) {
    QWidget::showEvent(e);
    m_part.FormShow();
}

bool TfmProgramming::eventFilter(QObject *watched, QEvent *e) {
    // The three pick lists take no typing (a typed digit would pick an item); the keys that
    // move through the list or the window still work.
    if (e->type() == QEvent::KeyPress) {
        const QString text = static_cast<QKeyEvent *>(e)->text();
        if (!text.isEmpty() && text.at(0).isPrint())
            return true;
    }
    return QWidget::eventFilter(watched, e);
}

TProgrammingParams TfmProgramming::fields() const {
    TProgrammingParams p = m_part.params();
    p.IPEdit = ui.IPEdit->text();
    p.PortEdit = ui.PortEdit->text();
    p.IDEdit = ui.IDEdit->text();
    p.edDNS = ui.edDNS->text();
    for (size_t s = 0; s < 3; ++s) {
        p.sim[s].InitStr = ui.sim[s].InitStrEdit->text();
        p.sim[s].Login = ui.sim[s].LoginEdit->text();
        p.sim[s].Pass = ui.sim[s].PassEdit->text();
        p.sim[s].Ussd = ui.sim[s].UssdEdit->text();
        p.sim[s].UseBalance = ui.sim[s].cbUseBalance->isChecked();
    }
    p.PrefixComboBox = ui.PrefixComboBox->currentText();
    p.UseCustomPrefix = ui.UseCustomPrefix->isChecked();
    p.CustomPrefixEdit = ui.CustomPrefixEdit->text();
    p.cbUseDNS = ui.cbUseDNS->isChecked();
    p.cbRewriteIP = ui.cbRewriteIP->isChecked();
    p.cbUseIP = ui.cbUseIP->isChecked();
    for (size_t i = 0; i < 5; ++i) {
        p.PhoneNum[i] = ui.PhoneNumEdit[i]->text();
        p.trs[i] = ui.trsChkBox[i]->isChecked();
    }
    p.SMSPassEdit = ui.SMSPassEdit->text();
    p.gpsPresent = ui.GPSRadioButton->isChecked();
    p.cbTimeSr = ui.cbTimeSr->currentIndex();
    p.cbEngTempMin = ui.cbEngTempMin->currentIndex();
    p.cbEngTempMax = ui.cbEngTempMax->currentIndex();
    p.cbRecalcCoof = ui.cbRecalcCoof->currentIndex();
    p.seDay = ui.seDay->value();
    p.seMonth = ui.seMonth->value();
    p.seYear = ui.seYear->value();
    p.seHour = ui.seHour->value();
    p.seMin = ui.seMin->value();
    p.cbTakeSysTime = ui.cbTakeSysTime->isChecked();
    p.cbCanWorkWithEngine = ui.cbCanWorkWithEngine->isChecked();
    p.cbProgramParam = ui.cbProgramParam->isChecked();
    p.cbProgramTime = ui.cbProgramTime->isChecked();
    p.cbUseHeater2 = ui.cbUseHeater2->isChecked();
    return p;
}

void TfmProgramming::pushFields() {
    if (!m_showing)
        m_part.setParams(fields());
}

void TfmProgramming::showFields() {
    // The widgets' own change signals would hand half-shown values back.
    m_showing = true;
    const TProgrammingParams &p = m_part.params();
    setText(ui.IPEdit, p.IPEdit);
    setText(ui.PortEdit, p.PortEdit);
    setText(ui.IDEdit, p.IDEdit);
    setText(ui.edDNS, p.edDNS);
    for (size_t s = 0; s < 3; ++s) {
        setText(ui.sim[s].InitStrEdit, p.sim[s].InitStr);
        setText(ui.sim[s].LoginEdit, p.sim[s].Login);
        setText(ui.sim[s].PassEdit, p.sim[s].Pass);
        setText(ui.sim[s].UssdEdit, p.sim[s].Ussd);
        ui.sim[s].cbUseBalance->setChecked(p.sim[s].UseBalance);
    }
    ui.PrefixComboBox->setCurrentIndex(p.PrefixComboBox == QLatin1String("+7") ? 1 : 0);
    ui.UseCustomPrefix->setChecked(p.UseCustomPrefix);
    setText(ui.CustomPrefixEdit, p.CustomPrefixEdit);
    ui.cbUseDNS->setChecked(p.cbUseDNS);
    ui.cbRewriteIP->setChecked(p.cbRewriteIP);
    ui.cbUseIP->setChecked(p.cbUseIP);
    for (size_t i = 0; i < 5; ++i) {
        setText(ui.PhoneNumEdit[i], p.PhoneNum[i]);
        ui.trsChkBox[i]->setChecked(p.trs[i]);
    }
    setText(ui.SMSPassEdit, p.SMSPassEdit);
    (p.gpsPresent ? ui.GPSRadioButton : ui.IntClkRadioButton)->setChecked(true);

    ui.tbAKB->setValue(p.tbAKB);
    setText(ui.edAKB, p.edAKB);
    ui.tbTMAS->setValue(p.tbTMAS);
    setText(ui.edTMAS, p.edTMAS);
    setText(ui.edTMASmin, p.edTMASmin);
    setText(ui.edTMASmax, p.edTMASmax);
    ui.cbTimeSr->setCurrentIndex(p.cbTimeSr);
    ui.cbEngTempMin->setCurrentIndex(p.cbEngTempMin);
    ui.cbEngTempMax->setCurrentIndex(p.cbEngTempMax);
    ui.cbRecalcCoof->setCurrentIndex(p.cbRecalcCoof);
    ui.seDay->setValue(p.seDay);
    ui.seMonth->setValue(p.seMonth);
    ui.seYear->setValue(p.seYear);
    ui.seHour->setValue(p.seHour);
    ui.seMin->setValue(p.seMin);
    ui.cbTakeSysTime->setChecked(p.cbTakeSysTime);
    ui.seHour->setEnabled(!p.cbTakeSysTime);
    ui.seMin->setEnabled(!p.cbTakeSysTime);
    ui.cbCanWorkWithEngine->setChecked(p.cbCanWorkWithEngine);
    ui.cbProgramParam->setChecked(p.cbProgramParam);
    ui.cbProgramTime->setChecked(p.cbProgramTime);
    ui.cbUseHeater2->setChecked(p.cbUseHeater2);
    m_showing = false;
}

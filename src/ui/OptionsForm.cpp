#include "ui/OptionsForm.h"
#include "ui/DateEdits.h"
#include "ui/GroupPanel.h"
#include "ui/WindowFit.h"

#include "app/Folders.h"
#include "app/OptionsIO.h"
#include "ui/MainWindow.h"
#include "ui/ParamCatalogueForms.h"
#include "ui/WebMapPathForm.h"
#include "webmap/WebMapList.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimeEdit>
#include <QVBoxLayout>

#include <stdexcept>

namespace {
const char *const kMonths[] = {"Январь", "Февраль", "Март",     "Апрель",  "Май",    "Июнь",
                               "Июль",   "Август",  "Сентябрь", "Октябрь", "Ноябрь", "Декабрь"};
const char *const kColourNames[] = {"Маркер объекта", "Активный объект", "Объект без связи", "Трек",
                                    "Разрыв трека"};

QColor fromBgr(int c) {
    return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}
int toBgr(const QColor &c) {
    return c.red() | (c.green() << 8) | (c.blue() << 16);
}

// Strict integer conversion of a control's text, as the settings file expects.
int strictInt(const QLineEdit *e) {
    bool ok = false;
    const int v = e->text().trimmed().toInt(&ok);
    if (!ok)
        throw std::runtime_error(
            QStringLiteral("'%1' is not a valid integer value").arg(e->text()).toStdString());
    return v;
}

QSpinBox *spin(int lo, int hi) {
    auto *s = new QSpinBox;
    s->setRange(lo, hi);
    return s;
}

QComboBox *monthCombo() {
    auto *c = new QComboBox;
    for (const char *m : kMonths)
        c->addItem(QString::fromUtf8(m));
    return c;
}
} // namespace

TfmOptions::TfmOptions(TOptions &options, TfmMain *main, QWidget *arrowIndicators,
                       TDialogs &dialogs, QWidget *parent)
    : QDialog(parent), FOptions(options), m_main(main), m_arrows(arrowIndicators),
      m_dialogs(dialogs) {
    setWindowTitle(QStringLiteral("Настройки"));
    auto *tabs = new QTabWidget;
    tabs->addTab(serverPage(), QStringLiteral("Сервер"));
    tabs->addTab(databasePage(), QStringLiteral("База данных"));
    tabs->addTab(dataServerPage(), QStringLiteral("Сервер данных"));
    tabs->addTab(mapsPage(), QStringLiteral("Карты"));
    tabs->addTab(filtersPage(), QStringLiteral("Фильтры"));
    tabs->addTab(webMapPage(), QStringLiteral("Интернет-карты"));
    tabs->addTab(drainsPage(), QStringLiteral("Сливы топлива"));
    paramsPage = new TParamGroupsPage(dialogs);
    tabs->addTab(paramsPage, QStringLiteral("Параметры"));
    // A caption saved in the catalogue applies as "Применить" does.
    connect(paramsPage, &TParamGroupsPage::applyRequested, this, [this] { Apply(); });

    ui.apply = new QPushButton(QStringLiteral("Применить"));
    ui.ok = new QPushButton(QStringLiteral("OK"));
    ui.exit = new QPushButton(QStringLiteral("Выход"));
    ui.ok->setDefault(true);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ui.apply);
    buttons->addWidget(ui.ok);
    buttons->addWidget(ui.exit);
    auto *l = new QVBoxLayout(this);
    l->addWidget(tabs);
    l->addLayout(buttons);

    connect(ui.apply, &QPushButton::clicked, this, [this] { Apply(); });
    connect(ui.ok, &QPushButton::clicked, this, &TfmOptions::btnOkClick);
    connect(ui.exit, &QPushButton::clicked, this, &TfmOptions::btnExitClick);
    resize(620, 520);

    LoadOptions();
    OptionsToInterface();
}

QWidget *TfmOptions::serverPage() {
    auto *w = new QWidget;
    auto *v = new QVBoxLayout(w);
    auto *g = new QGroupBox(QStringLiteral("Сервер мониторинга"));
    auto *f = new QFormLayout(g);
    ui.appServer = new QLineEdit;
    ui.appPort = new QLineEdit;
    ui.appLogin = new QLineEdit;
    ui.appPass = new QLineEdit;
    ui.appPass->setEchoMode(QLineEdit::Password);
    f->addRow(QStringLiteral("Адрес сервера:"), ui.appServer);
    f->addRow(QStringLiteral("Порт:"), ui.appPort);
    f->addRow(QStringLiteral("Логин:"), ui.appLogin);
    f->addRow(QStringLiteral("Пароль:"), ui.appPass);
    v->addWidget(g);

    auto *gf = new QGroupBox(QStringLiteral("Архив (FTP)"));
    auto *ff = new QFormLayout(gf);
    ui.ftpPort = new QLineEdit;
    ui.ftpIp = new QLineEdit;
    ui.ftpPassive = new QCheckBox(QStringLiteral("Пассивный режим"));
    ff->addRow(QStringLiteral("Порт FTP:"), ui.ftpPort);
    ff->addRow(QStringLiteral("Внешний IP-адрес:"), ui.ftpIp);
    ff->addRow(QString(), ui.ftpPassive);
    v->addWidget(gf);

    auto *gt = new QGroupBox(QStringLiteral("Потеря связи"));
    auto *ft = new QFormLayout(gt);
    ui.serverTimeOut = new QLineEdit;
    ft->addRow(QStringLiteral("Тайм-аут сервера, с:"), ui.serverTimeOut);
    auto *sound = new QHBoxLayout;
    ui.soundFile = new QLineEdit;
    ui.chooseSound = new QPushButton(QStringLiteral("..."));
    ui.chooseSound->setFixedWidth(32);
    ui.testSound = new QPushButton(QStringLiteral("Тест"));
    sound->addWidget(ui.soundFile);
    sound->addWidget(ui.chooseSound);
    sound->addWidget(ui.testSound);
    ft->addRow(QStringLiteral("Звуковой файл:"), sound);
    ui.playSound = new QCheckBox(QStringLiteral("Воспроизводить звук"));
    ft->addRow(QString(), ui.playSound);
    v->addWidget(gt);

    auto *ga = new QGroupBox(QStringLiteral("Запуск"));
    auto *fa = new QFormLayout(ga);
    ui.autoConnect = new QCheckBox(QStringLiteral("Подключаться автоматически после запуска"));
    ui.autoConnectDelay = new QLineEdit;
    fa->addRow(QString(), ui.autoConnect);
    fa->addRow(QStringLiteral("Задержка подключения, с:"), ui.autoConnectDelay);
    v->addWidget(ga);
    v->addStretch();

    connect(ui.chooseSound, &QPushButton::clicked, this, [this] {
        const QString f = m_dialogs.openFile(QStringLiteral("Звуковой файл"), QString(),
                                             QStringLiteral("Звуковой файл (*.wav)|*.wav"));
        if (!f.isEmpty())
            ui.soundFile->setText(f);
    });
    connect(ui.testSound, &QPushButton::clicked, this, [this] {
        // Played once, asynchronously; a machine without sound stays silent.
        if (!ui.soundFile->text().isEmpty())
            QProcess::startDetached(QStringLiteral("aplay"),
                                    {QStringLiteral("-q"), ui.soundFile->text()});
    });
    for (QLineEdit *e : {ui.appPort, ui.ftpPort, ui.serverTimeOut, ui.autoConnectDelay})
        SizeToDigits(e, 5);
    AlignFormLabels(w);
    return w;
}

QWidget *TfmOptions::databasePage() {
    auto *w = new QWidget;
    auto *v = new QVBoxLayout(w);
    auto *g = new QGroupBox(QStringLiteral("Локальная база данных"));
    auto *f = new QFormLayout(g);
    ui.dbServ = new QLineEdit;
    ui.dbServ->setPlaceholderText(QStringLiteral("пусто - без сервера (встроенный режим)"));
    ui.dbPath = new QLineEdit;
    ui.dbLogin = new QLineEdit;
    ui.dbPass = new QLineEdit;
    ui.dbPass->setEchoMode(QLineEdit::Password);
    f->addRow(QStringLiteral("Сервер БД:"), ui.dbServ);
    f->addRow(QStringLiteral("Файл базы данных:"), ui.dbPath);
    f->addRow(QStringLiteral("Пользователь:"), ui.dbLogin);
    f->addRow(QStringLiteral("Пароль:"), ui.dbPass);
    v->addWidget(g);
    v->addStretch();
    return w;
}

QWidget *TfmOptions::dataServerPage() {
    auto *w = new QWidget;
    auto *v = new QVBoxLayout(w);
    auto *g = new QGroupBox(QStringLiteral("Сервер данных (HTTP)"));
    auto *f = new QFormLayout(g);
    ui.useDServer = new QCheckBox(QStringLiteral("Загружать архив с сервера данных"));
    ui.dServer = new QLineEdit;
    ui.dPort = new QLineEdit;
    ui.dLogin = new QLineEdit;
    ui.dPass = new QLineEdit;
    ui.dPass->setEchoMode(QLineEdit::Password);
    f->addRow(QString(), ui.useDServer);
    f->addRow(QStringLiteral("Адрес:"), ui.dServer);
    f->addRow(QStringLiteral("Порт:"), ui.dPort);
    f->addRow(QStringLiteral("Логин:"), ui.dLogin);
    f->addRow(QStringLiteral("Пароль:"), ui.dPass);
    v->addWidget(g);
    auto *gp = new QGroupBox(QStringLiteral("Прокси-сервер"));
    auto *fp = new QFormLayout(gp);
    ui.useProxy = new QCheckBox(QStringLiteral("Использовать прокси-сервер"));
    ui.proxyServer = new QLineEdit;
    ui.proxyPort = new QLineEdit;
    ui.proxyUser = new QLineEdit;
    ui.proxyPassword = new QLineEdit;
    ui.proxyPassword->setEchoMode(QLineEdit::Password);
    fp->addRow(QString(), ui.useProxy);
    fp->addRow(QStringLiteral("Адрес:"), ui.proxyServer);
    fp->addRow(QStringLiteral("Порт:"), ui.proxyPort);
    fp->addRow(QStringLiteral("Пользователь:"), ui.proxyUser);
    fp->addRow(QStringLiteral("Пароль:"), ui.proxyPassword);
    v->addWidget(gp);
    v->addStretch();
    for (QLineEdit *e : {ui.dPort, ui.proxyPort})
        SizeToDigits(e, 5);
    AlignFormLabels(w);
    return w;
}

QWidget *TfmOptions::mapsPage() {
    auto *w = new QWidget;
    auto *v = new QVBoxLayout(w);
    auto *g = new QGroupBox(QStringLiteral("Растровые карты"));
    auto *gl = new QVBoxLayout(g);
    ui.maps = new QListWidget;
    ui.maps->setSelectionMode(QAbstractItemView::ExtendedSelection);
    gl->addWidget(ui.maps);
    auto *mb = new QHBoxLayout;
    ui.addMap = new QPushButton(QStringLiteral("Добавить"));
    ui.removeMap = new QPushButton(QStringLiteral("Удалить"));
    mb->addWidget(ui.addMap);
    mb->addWidget(ui.removeMap);
    mb->addStretch();
    gl->addLayout(mb);
    auto *df = new QFormLayout;
    ui.defaultMap = new QComboBox;
    df->addRow(QStringLiteral("Карта по умолчанию:"), ui.defaultMap);
    gl->addLayout(df);
    v->addWidget(g);

    auto *gc = new QGroupBox(QStringLiteral("Цвета"));
    auto *fc = new QFormLayout(gc);
    for (int i = 0; i < 5; ++i) {
        ui.colours[i] = new QPushButton;
        ui.colours[i]->setFixedSize(60, 20);
        fc->addRow(QString::fromUtf8(kColourNames[i]) + QLatin1Char(':'), ui.colours[i]);
        connect(ui.colours[i], &QPushButton::clicked, this, [this, i] {
            const QColor c = QColorDialog::getColor(fromBgr(m_colours[i]), this);
            if (c.isValid())
                setColour(i, toBgr(c));
        });
    }
    v->addWidget(gc);

    ui.showPointer = new QCheckBox(QStringLiteral("Показывать указатели на объекты вне карты"));
    ui.autoMapChange = new QCheckBox(QStringLiteral("Автоматически менять карту при слежении"));
    ui.selectBestMap = new QCheckBox(QStringLiteral("Выбирать карту с лучшим разрешением"));
    v->addWidget(ui.showPointer);
    v->addWidget(ui.autoMapChange);
    v->addWidget(ui.selectBestMap);

    connect(ui.addMap, &QPushButton::clicked, this, &TfmOptions::btnAddMapClick);
    connect(ui.removeMap, &QPushButton::clicked, this, &TfmOptions::btnRemoveMapClick);
    return w;
}

QWidget *TfmOptions::filtersPage() {
    auto *w = new QWidget;
    auto *v = new QVBoxLayout(w);
    auto *g = new QGroupBox(QStringLiteral("Анализ трека"));
    auto *f = new QFormLayout(g);
    ui.restMinTime = spin(0, 100000);
    ui.minSpeed = spin(0, 1000);
    ui.maxSpeed = spin(0, 10000);
    f->addRow(QStringLiteral("Минимальное время стоянки, мин:"), ui.restMinTime);
    f->addRow(QStringLiteral("Минимальная скорость движения, км/ч:"), ui.minSpeed);
    f->addRow(QStringLiteral("Максимальная скорость, км/ч:"), ui.maxSpeed);
    v->addWidget(g);

    auto *gs = new QGroupBox(QStringLiteral("Летний режим расхода топлива"));
    auto *fs = new QFormLayout(gs);
    ui.summerStart = monthCombo();
    ui.summerEnd = monthCombo();
    fs->addRow(QStringLiteral("С месяца:"), ui.summerStart);
    fs->addRow(QStringLiteral("По месяц:"), ui.summerEnd);
    v->addWidget(gs);

    auto *gt = new QGroupBox(QStringLiteral("Фильтрация точек трека"));
    auto *ft = new QFormLayout(gt);
    ui.removeOldTrackPoints = new QCheckBox(QStringLiteral("Удалять устаревшие точки"));
    ui.maxTrackTimeStampDiff = NewTimeEdit();
    ui.removePointsBySpeed = new QCheckBox(QStringLiteral("Удалять точки по скорости"));
    ui.removeRestPoints = new QCheckBox(QStringLiteral("Удалять точки стоянок"));
    ui.simplifyTrack = new QCheckBox(QStringLiteral("Упрощать трек"));
    ui.maxDiffAngle = spin(0, 540);
    ft->addRow(QString(), ui.removeOldTrackPoints);
    ft->addRow(QStringLiteral("Допустимое отставание точки:"), ui.maxTrackTimeStampDiff);
    ft->addRow(QString(), ui.removePointsBySpeed);
    ft->addRow(QString(), ui.removeRestPoints);
    ft->addRow(QString(), ui.simplifyTrack);
    ft->addRow(QStringLiteral("Допустимый угол, мин:"), ui.maxDiffAngle);
    v->addWidget(gt);
    v->addStretch();
    return w;
}

QWidget *TfmOptions::drainsPage() {
    auto *w = new QWidget;
    auto *v = new QVBoxLayout(w);
    auto *g = new QGroupBox(QStringLiteral("Слив топлива на стоянке (по умолчанию для объектов)"));
    auto *f = new QFormLayout(g);
    ui.drainLitres = spin(1, 100000);
    ui.drainWindow = spin(1, 1440);
    ui.drainMedian = spin(1, 99);
    f->addRow(QStringLiteral("Уровень падает не менее чем на, л:"), ui.drainLitres);
    f->addRow(QStringLiteral("За время не более, мин:"), ui.drainWindow);
    f->addRow(QStringLiteral("Медиана последних показаний:"), ui.drainMedian);
    v->addWidget(g);
    auto *gs = new QGroupBox(QStringLiteral("Сигнал о сливе"));
    auto *fs = new QFormLayout(gs);
    auto *sound = new QHBoxLayout;
    ui.drainSoundFile = new QLineEdit;
    ui.drainSoundFile->setPlaceholderText(QStringLiteral("звук потери связи"));
    ui.chooseDrainSound = new QPushButton(QStringLiteral("..."));
    ui.chooseDrainSound->setFixedWidth(32);
    sound->addWidget(ui.drainSoundFile);
    sound->addWidget(ui.chooseDrainSound);
    fs->addRow(QStringLiteral("Звуковой файл:"), sound);
    ui.drainPlaySound = new QCheckBox(QStringLiteral("Воспроизводить звук"));
    fs->addRow(QString(), ui.drainPlaySound);
    v->addWidget(gs);
    v->addStretch();
    connect(ui.chooseDrainSound, &QPushButton::clicked, this, [this] {
        const QString f = m_dialogs.openFile(QStringLiteral("Звуковой файл"), QString(),
                                             QStringLiteral("Звуковой файл (*.wav)|*.wav"));
        if (!f.isEmpty())
            ui.drainSoundFile->setText(f);
    });
    return w;
}

QWidget *TfmOptions::webMapPage() {
    auto *w = new QWidget;
    auto *v = new QVBoxLayout(w);
    ui.useGoogleMap = new QCheckBox(QStringLiteral("Использовать интернет-карту "));
    v->addWidget(ui.useGoogleMap);
    auto *g = new QGroupBox(QStringLiteral("Локальный web-сервер"));
    auto *h = new QHBoxLayout(g);
    h->addWidget(new QLabel(QStringLiteral("Порт:")));
    ui.webPort = new QLineEdit;
    ui.randomPort = new QPushButton(QStringLiteral("Случайный"));
    h->addWidget(ui.webPort);
    h->addWidget(ui.randomPort);
    h->addStretch();
    v->addWidget(g);

    auto *gl = new QGroupBox(QStringLiteral("Интернет-карты"));
    auto *l = new QVBoxLayout(gl);
    ui.webMaps = new QListWidget;
    l->addWidget(ui.webMaps);
    auto *b = new QHBoxLayout;
    ui.addWebMap = new QPushButton(QStringLiteral("Добавить"));
    ui.editWebMap = new QPushButton(QStringLiteral("Изменить"));
    ui.removeWebMap = new QPushButton(QStringLiteral("Удалить"));
    b->addWidget(ui.addWebMap);
    b->addWidget(ui.editWebMap);
    b->addWidget(ui.removeWebMap);
    b->addStretch();
    l->addLayout(b);
    auto *f = new QFormLayout;
    ui.defaultWebMap = new QComboBox;
    f->addRow(QStringLiteral("Карта по умолчанию:"), ui.defaultWebMap);
    l->addLayout(f);
    ui.webMapSilent = new QCheckBox(QStringLiteral("Не показывать ошибки скриптов страницы"));
    l->addWidget(ui.webMapSilent);
    v->addWidget(gl);
    v->addStretch();

    // Checking the box in code (the map choice menu, showing the record) switches the views too.
    connect(ui.useGoogleMap, &QCheckBox::toggled, this, &TfmOptions::webMapViewSwitched);
    connect(ui.randomPort, &QPushButton::clicked, this, &TfmOptions::btnRandomPortClick);
    connect(ui.addWebMap, &QPushButton::clicked, this, &TfmOptions::btnAddWebMapClick);
    connect(ui.editWebMap, &QPushButton::clicked, this, &TfmOptions::btnEditWebMapClick);
    connect(ui.removeWebMap, &QPushButton::clicked, this, &TfmOptions::btnRemoveWebMapClick);
    SizeToDigits(ui.webPort, 5);
    return w;
}

int TfmOptions::colourOf(int i) const {
    return m_colours[i];
}

void TfmOptions::setColour(int i, int bgr) {
    m_colours[i] = bgr;
    ui.colours[i]->setStyleSheet(
        QStringLiteral("QPushButton { background: %1; }").arg(fromBgr(bgr).name()));
}

bool TfmOptions::LoadOptions() {
    return options::LoadOptions(FOptions, Folders(), m_dialogs);
}

bool TfmOptions::SaveOptions() {
    return options::SaveOptions(FOptions, Folders(), m_dialogs);
}

void TfmOptions::rebuildDefaultMapChoice() {
    const int keep = ui.defaultMap->currentIndex();
    ui.defaultMap->clear();
    for (int i = 0; i < ui.maps->count(); ++i)
        ui.defaultMap->addItem(ui.maps->item(i)->text());
    if (keep >= 0 && keep < ui.defaultMap->count())
        ui.defaultMap->setCurrentIndex(keep);
}

void TfmOptions::refreshWebMapList() {
    const int keep = ui.defaultWebMap->currentIndex();
    ui.webMaps->clear();
    ui.defaultWebMap->clear();
    for (const auto &m : m_webMaps) {
        ui.webMaps->addItem(WebMapListLine(m));
        ui.defaultWebMap->addItem(m.Name);
    }
    ui.defaultWebMap->setCurrentIndex(RevalidatedDefaultWebMap(m_webMaps, keep));
}

bool TfmOptions::OptionsToInterface() {
    return FillFromOptions() && LayoutWindows();
}

bool TfmOptions::FillFromOptions() {
    try {
        // Refilling the window is no choice of the user's: the map shown stays.
        const QSignalBlocker quiet(ui.useGoogleMap);
        const TOptions &o = FOptions;
        ui.appServer->setText(o.AppServer);
        ui.appPort->setText(QString::number(o.AppPort));
        ui.appLogin->setText(o.AppLogin);
        ui.appPass->setText(o.AppPass);
        ui.ftpPort->setText(QString::number(o.FtpPort));
        ui.ftpIp->setText(o.FTPIP);
        ui.ftpPassive->setChecked(o.FTPPAssive);
        ui.serverTimeOut->setText(QString::number(o.ServerTimeOut));
        ui.soundFile->setText(o.TOSoundFile);
        ui.playSound->setChecked(o.TOPlaySound == 1);
        ui.drainLitres->setValue(o.DrainLitres);
        ui.drainWindow->setValue(o.DrainWindow);
        ui.drainMedian->setValue(o.DrainMedian);
        ui.drainSoundFile->setText(o.DrainSoundFile);
        ui.drainPlaySound->setChecked(o.DrainPlaySound);
        ui.autoConnect->setChecked(o.AutoConnect == 1);
        ui.autoConnectDelay->setText(QString::number(o.AutoConnectDelay));
        ui.dbServ->setText(o.DBServ);
        ui.dbPath->setText(o.DBPath);
        ui.dbLogin->setText(o.DBLogin);
        ui.dbPass->setText(o.DBPass);
        ui.useDServer->setChecked(o.UseDServer);
        ui.dServer->setText(o.DServer);
        ui.dPort->setText(QString::number(o.DPort));
        ui.dLogin->setText(o.DLogin);
        ui.dPass->setText(o.DPass);
        ui.useProxy->setChecked(o.UseProxy);
        ui.proxyServer->setText(o.ProxyServer);
        ui.proxyPort->setText(o.ProxyPort);
        ui.proxyUser->setText(o.ProxyUser);
        ui.proxyPassword->setText(o.ProxyPassword);
        ui.maps->clear();
        ui.maps->addItems(o.Maps);
        ui.defaultMap->clear();
        ui.defaultMap->addItems(o.Maps);
        ui.defaultMap->setCurrentIndex(
            o.DefaultMap >= 0 && o.DefaultMap < o.Maps.size() ? o.DefaultMap : -1);
        setColour(0, o.MarkerColor);
        setColour(1, o.ActiveMarkerColor);
        setColour(2, o.ArchiveMarkerColor);
        setColour(3, o.TrackColor);
        setColour(4, o.LostTrackColor);
        ui.showPointer->setChecked(o.ShowPointerToNotVisObj);
        ui.autoMapChange->setChecked(o.AutoMapChange);
        ui.selectBestMap->setChecked(o.SelectBestMap);
        ui.useGoogleMap->setChecked(o.UseGoogleMap);
        ui.restMinTime->setValue(o.RestMinTime);
        ui.minSpeed->setValue(o.MinSpeed);
        ui.maxSpeed->setValue(o.MaxSpeed);
        ui.summerStart->setCurrentIndex(qBound(0, o.SummerStart - 1, 11));
        ui.summerEnd->setCurrentIndex(qBound(0, o.SummerEnd - 1, 11));
        ui.removeOldTrackPoints->setChecked(o.RemoveOldTrackPoints);
        ui.maxTrackTimeStampDiff->setTime(dt::toQTime(dt::timeOf(o.MaxTrackTimeStampDiff)));
        ui.removePointsBySpeed->setChecked(o.RemovePointsBySpeed);
        ui.removeRestPoints->setChecked(o.RemoveRestPoints);
        ui.simplifyTrack->setChecked(o.SimplifyTrack);
        ui.maxDiffAngle->setValue(o.MaxDiffAngle);
        ui.webPort->setText(QString::number(o.WebServerPort));
        ui.webMapSilent->setChecked(o.WebMapSilent);
        m_webMaps = o.WebMapList;
        refreshWebMapList();
        ui.defaultWebMap->setCurrentIndex(
            o.DefaultWebMap >= 0 && o.DefaultWebMap < m_webMaps.size() ? o.DefaultWebMap : -1);
    } catch (const std::exception &e) {
        m_dialogs.message(QStringLiteral("OptionsToInterface error:\r\n") +
                              QString::fromStdString(e.what()),
                          options::ApplicationTitle(), TMsgIcon::Error);
        return false;
    }
    return true;
}

bool TfmOptions::LayoutWindows() {
    try {
        const TOptions &o = FOptions;
        if (m_main) {
            m_main->setStatisticsHeight(o.MapHeight);
            m_main->setGroupsWidth(o.GroupsWidth);
            m_main->setShowGroups(o.ShowGroups);
            m_main->groupPanel()->setExpandedGroups(o.ExpandedGroups);
            m_main->setShowGrid(o.ShowGrid);
            if (o.MainFormMaximized) {
                m_main->setWindowState(m_main->windowState() | Qt::WindowMaximized);
            } else {
                m_main->setWindowState(m_main->windowState() & ~Qt::WindowMaximized);
                QRect r(o.MainFormLeft, o.MainFormTop, o.MainFormWidth, o.MainFormHeight);
                // Keep the window fully on the screen.
                if (QScreen *s = QGuiApplication::primaryScreen()) {
                    const QRect avail = s->availableGeometry();
                    r.setWidth(qMin(r.width(), avail.width()));
                    r.setHeight(qMin(r.height(), avail.height()));
                    if (r.right() > avail.right())
                        r.moveRight(avail.right());
                    if (r.bottom() > avail.bottom())
                        r.moveBottom(avail.bottom());
                    if (r.left() < avail.left())
                        r.moveLeft(avail.left());
                    if (r.top() < avail.top())
                        r.moveTop(avail.top());
                }
                m_main->setGeometry(r);
            }
            m_main->setFollowMode(o.FollowMode);
            m_main->setShowArrowIndicators(o.ShowArrowIndicators);
            m_main->setTrackListHeight(o.TrackListHeight);
        }
        if (m_arrows) {
            m_arrows->move(o.ArrowIndicatorsLeft, o.ArrowIndicatorsTop);
            m_arrows->setVisible(o.ShowArrowIndicators);
        }
    } catch (const std::exception &e) {
        m_dialogs.message(QStringLiteral("OptionsToInterface error:\r\n") +
                              QString::fromStdString(e.what()),
                          options::ApplicationTitle(), TMsgIcon::Error);
        return false;
    }
    return true;
}

bool TfmOptions::InterfaceToOptions() {
    try {
        // Work on a copy so that a conversion error leaves the record as it was.
        TOptions o = FOptions;
        o.AppServer = ui.appServer->text();
        o.AppPort = strictInt(ui.appPort);
        o.AppLogin = ui.appLogin->text();
        o.AppPass = ui.appPass->text();
        bool ok = false;
        o.FtpPort = ui.ftpPort->text().trimmed().toInt(&ok);
        if (!ok)
            o.FtpPort = 2121;
        o.FTPIP = ui.ftpIp->text();
        o.FTPPAssive = ui.ftpPassive->isChecked();
        o.ServerTimeOut = strictInt(ui.serverTimeOut);
        o.TOSoundFile = ui.soundFile->text();
        o.TOPlaySound = ui.playSound->isChecked() ? 1 : 0;
        o.DrainLitres = ui.drainLitres->value();
        o.DrainWindow = ui.drainWindow->value();
        o.DrainMedian = ui.drainMedian->value();
        o.DrainSoundFile = ui.drainSoundFile->text();
        o.DrainPlaySound = ui.drainPlaySound->isChecked();
        o.AutoConnect = ui.autoConnect->isChecked() ? 1 : 0;
        if (!ui.autoConnectDelay->text().isEmpty())
            o.AutoConnectDelay = strictInt(ui.autoConnectDelay);
        o.DBServ = ui.dbServ->text();
        o.DBPath = ui.dbPath->text();
        o.DBLogin = ui.dbLogin->text();
        o.DBPass = ui.dbPass->text();
        o.UseDServer = ui.useDServer->isChecked();
        o.DServer = ui.dServer->text();
        o.DPort = strictInt(ui.dPort);
        o.DLogin = ui.dLogin->text();
        o.DPass = ui.dPass->text();
        o.UseProxy = ui.useProxy->isChecked();
        o.ProxyServer = ui.proxyServer->text();
        o.ProxyPort = ui.proxyPort->text();
        o.ProxyUser = ui.proxyUser->text();
        o.ProxyPassword = ui.proxyPassword->text();
        o.DefaultMap = ui.defaultMap->currentIndex();
        o.MarkerColor = colourOf(0);
        o.ActiveMarkerColor = colourOf(1);
        o.ArchiveMarkerColor = colourOf(2);
        o.TrackColor = colourOf(3);
        o.LostTrackColor = colourOf(4);
        o.ShowPointerToNotVisObj = ui.showPointer->isChecked();
        o.AutoMapChange = ui.autoMapChange->isChecked();
        o.SelectBestMap = ui.selectBestMap->isChecked();
        o.UseGoogleMap = ui.useGoogleMap->isChecked();
        o.RestMinTime = ui.restMinTime->value();
        o.MinSpeed = ui.minSpeed->value();
        o.MaxSpeed = ui.maxSpeed->value();
        o.SummerStart = ui.summerStart->currentIndex() + 1;
        o.SummerEnd = ui.summerEnd->currentIndex() + 1;
        o.RemoveOldTrackPoints = ui.removeOldTrackPoints->isChecked();
        const QTime t = ui.maxTrackTimeStampDiff->time();
        o.MaxTrackTimeStampDiff = dt::encodeTime(t.hour(), t.minute(), t.second());
        o.RemovePointsBySpeed = ui.removePointsBySpeed->isChecked();
        o.RemoveRestPoints = ui.removeRestPoints->isChecked();
        o.SimplifyTrack = ui.simplifyTrack->isChecked();
        o.MaxDiffAngle = ui.maxDiffAngle->value();
        if (m_main) {
            if (m_main->statisticsHeight() > 1)
                o.MapHeight = m_main->statisticsHeight();
            if (m_main->groupsWidth() > 1)
                o.GroupsWidth = m_main->groupsWidth();
            o.ShowGroups = m_main->showGroups();
            o.ExpandedGroups = m_main->groupPanel()->expandedGroups();
            o.ShowGrid = m_main->showGrid();
            o.FollowMode = m_main->followMode();
            o.ShowArrowIndicators = m_main->showArrowIndicators();
            o.MainFormMaximized = m_main->isMaximized();
            const QRect g = m_main->isMaximized() ? m_main->normalGeometry() : m_main->geometry();
            o.MainFormLeft = g.left();
            o.MainFormTop = g.top();
            o.MainFormWidth = g.width();
            o.MainFormHeight = g.height();
            o.TrackListHeight = m_main->trackListHeight();
        }
        if (m_arrows) {
            o.ArrowIndicatorsLeft = m_arrows->x();
            o.ArrowIndicatorsTop = m_arrows->y();
        }
        o.Maps.clear();
        for (int i = 0; i < ui.maps->count(); ++i)
            o.Maps << ui.maps->item(i)->text();
        o.WebServerPort = strictInt(ui.webPort);
        o.WebMapList = m_webMaps;
        o.DefaultWebMap = ui.defaultWebMap->currentIndex();
        o.WebMapSilent = ui.webMapSilent->isChecked();
        FOptions = o;
    } catch (const std::exception &e) {
        m_dialogs.message(QStringLiteral("InterfaceToOptions error:\r\n") +
                              QString::fromStdString(e.what()),
                          options::ApplicationTitle(), TMsgIcon::Error);
        return false;
    }
    return true;
}

bool TfmOptions::Apply() {
    emit aboutToApply();
    if (!InterfaceToOptions())
        return false;
    const bool saved = SaveOptions();
    emit applied();
    return saved;
}

void TfmOptions::btnOkClick() {
    Apply();
    emit okPressed();
    accept();
}

void TfmOptions::btnExitClick() {
    // The edits are dropped: the window shows the record again when it next opens. Neither the
    // map shown nor the main window's layout changes.
    FillFromOptions();
    reject();
}

void TfmOptions::btnAddMapClick() {
    const QStringList files =
        m_dialogs.openFiles(QStringLiteral("Добавить карты"), AppDir() + QStringLiteral("map"),
                            QStringLiteral("Ozi Explorer maps (*.map)|*.map"), true);
    for (const QString &f : files) {
        ui.maps->addItem(f);
        ui.defaultMap->addItem(f);
        FOptions.Maps << f;
    }
    if (!files.isEmpty())
        FOptions.FisMapListChanged = true;
}

void TfmOptions::btnRemoveMapClick() {
    const auto selected = ui.maps->selectedItems();
    if (selected.isEmpty())
        return;
    for (QListWidgetItem *it : selected)
        delete it;
    FOptions.Maps.clear();
    for (int i = 0; i < ui.maps->count(); ++i)
        FOptions.Maps << ui.maps->item(i)->text();
    ui.defaultMap->clear();
    ui.defaultMap->addItems(FOptions.Maps);
    ui.defaultMap->setCurrentIndex(FOptions.Maps.isEmpty() ? -1 : 0);
    FOptions.FisMapListChanged = true;
}

void TfmOptions::btnRandomPortClick() {
    ui.webPort->setText(QString::number(options::RandomWebPort()));
}

bool TfmOptions::editWebMapLocation(QString &name, QString &address) {
    TfrmWebMapPath dlg(m_dialogs, this);
    return dlg.EditWebMapLocation(name, address);
}

void TfmOptions::btnAddWebMapClick() {
    if (AddWebMapEntry(m_webMaps, webMapEditor()))
        refreshWebMapList();
}

void TfmOptions::btnEditWebMapClick() {
    const int row = ui.webMaps->currentRow();
    if (!EditWebMapEntry(m_webMaps, row, webMapEditor()))
        return;
    refreshWebMapList();
    ui.webMaps->setCurrentRow(row);
}

void TfmOptions::btnRemoveWebMapClick() {
    if (RemoveWebMapEntry(m_webMaps, ui.webMaps->currentRow(), m_dialogs))
        refreshWebMapList();
}

TWebMapEditor TfmOptions::webMapEditor() {
    return [this](QString &name, QString &address) { return editWebMapLocation(name, address); };
}

#include "ui/MainWindow.h"

#include "app/Folders.h"
#include "app/OptionsIO.h"
#include "maps/MapPanel.h"
#include "session/ClientSession.h"
#include "session/MapInteraction.h"
#include "ui/GroupPanel.h"
#include "ui/Icons.h"
#include "ui/MapPanelWidget.h"
#include "ui/StateGrid.h"

#include <QAction>
#include <QCloseEvent>
#include <QDockWidget>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {
QLabel *placeholder(const QString &text) {
    auto *l = new QLabel(text);
    l->setAlignment(Qt::AlignCenter);
    l->setStyleSheet(QStringLiteral("QLabel { color: #777; background: #f4f4f4; }"));
    return l;
}

QColor fromBgr(int c) {
    return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}
} // namespace

TfmMain::TfmMain(TClientSession &session, QWidget *parent)
    : QMainWindow(parent), m_session(session), m_options(session.options()) {
    setWindowTitle(options::ApplicationTitle() + QStringLiteral("  v.") + GetFileVersionText() +
                   QStringLiteral("  © Зарнекс"));
    createCommands();
    createMenus();
    createToolBar();
    createCentral();
    createStatusBar();
    resize(1000, 700);
}

TfmMain::~TfmMain() = default;

void TfmMain::createCommands() {
    auto make = [this](const QString &text, bool enabled) {
        auto *a = new QAction(text, this);
        a->setEnabled(enabled);
        return a;
    };
    Commands &c = m_cmd;
    c.dbConnect = make(QStringLiteral("Подключиться"), true);
    c.dbDisconnect = make(QStringLiteral("Отключиться"), false);
    c.serverConnect = make(QStringLiteral("Подключиться"), false);
    c.serverDisconnect = make(QStringLiteral("Отключиться"), false);
    c.clearCache = make(QStringLiteral("Очистить кэш"), true);
    c.demoObject = make(QStringLiteral("Включить демо-объект"), false);
    c.exit = make(QStringLiteral("Выход"), true);
    c.objects = make(QStringLiteral("Объекты"), false);
    c.download = make(QStringLiteral("Докачка информации"), false);
    c.importFiles = make(QStringLiteral("Импортировать данные из файлов..."), false);
    c.importFolder = make(QStringLiteral("Импортировать данные из каталога..."), false);
    c.execScript = make(QStringLiteral("Выполнить скрипт"), true);
    c.updateDb = make(QStringLiteral("Обновить базу данных "), true);
    c.options = make(QStringLiteral("Общие"), true);
    c.exportSettings = make(QStringLiteral("Экспортировать настройки во внешний файл"), false);
    c.importSettings = make(QStringLiteral("Импортировать настройки из внешнего файла"), false);
    c.statOneObject = make(QStringLiteral("По одному объекту"), false);
    c.statGroups = make(QStringLiteral("По группам объектов"), false);
    c.statCharges = make(QStringLiteral("Заправки"), false);
    c.statDrains = make(QStringLiteral("Сливы топлива"), false);
    c.showDrains = make(QStringLiteral("Показать сливы..."), false);
    c.loadTrack = make(QStringLiteral("Загрузить трек..."), false);
    c.clearTrack = make(QStringLiteral("Очистить трек"), false);
    c.downloadObject = make(QStringLiteral("Скачать данные по объекту..."), false);
    c.createCalibPoint = make(QStringLiteral("Создать точку тарировки..."), false);
    c.showCalibTable = make(QStringLiteral("Показать таблицу тарировки..."), false);
    c.showCharges = make(QStringLiteral("Показать таблицу заправок..."), false);
    c.objectData = make(QStringLiteral("Данные по объекту..."), false);
    c.clearStatistics = make(QStringLiteral("Очистить статистику..."), false);
    c.setupDevice = make(QStringLiteral("Настроить прибор"), false);

    c.tbDatabase = make(QStringLiteral("База данных"), true);
    c.tbDatabase->setCheckable(true);
    c.tbDatabase->setToolTip(QStringLiteral("Подключение к базе данных"));
    c.tbServer = make(QStringLiteral("Сервер"), false);
    c.tbServer->setCheckable(true);
    c.tbServer->setToolTip(QStringLiteral("Подключение к серверу"));
    c.tbShowGroups = make(QStringLiteral("Группы"), true);
    c.tbShowGroups->setCheckable(true);
    c.tbShowGroups->setChecked(true);
    c.tbShowGrid = make(QStringLiteral("Объекты"), true);
    c.tbShowGrid->setCheckable(true);
    c.tbShowGrid->setChecked(true);
    c.tbFollowMode = make(QStringLiteral("Режим слежения"), true);
    c.tbFollowMode->setCheckable(true);
    c.tbFollowMode->setChecked(true);
    c.tbArrowIndicators = make(QStringLiteral("Индикаторы"), true);
    c.tbArrowIndicators->setCheckable(true);
    c.tbMapSelect = make(QStringLiteral("Выбор карты"), true);
    c.tbMapSelect->setToolTip(QStringLiteral("Выбрать тип карты"));
    c.tbRefreshWebMap = make(QStringLiteral("Очистить Web-карту"), true);
    c.tbRefreshWebMap->setVisible(false);
    c.tbBrowseMode = make(QStringLiteral("Режим"), true);
    c.tbBrowseMode->setCheckable(true);
    c.tbBrowseMode->setToolTip(QStringLiteral("On-line режим"));
    c.exportGpx = make(QStringLiteral("Экспорт трека в GPX..."), true);
    // The map view's switches.
    c.tbZoomIn = make(QStringLiteral("Увеличить масштаб"), true);
    c.tbZoomOut = make(QStringLiteral("Уменьшить масштаб"), true);
    c.tbShowAll = make(QStringLiteral("Показать все объекты"), true);
    c.tbShowAll->setCheckable(true);
    c.tbShowAll->setChecked(true);
    c.tbShowNumbers = make(QStringLiteral("Показать номера объектов"), true);
    c.tbShowNumbers->setCheckable(true);
    c.tbTrackStyle = make(QStringLiteral("Вид трека (линия/точка)"), true);
    c.tbTrackStyle->setCheckable(true);
    c.tbDeleteTracks = make(QStringLiteral("Удалить трассы"), true);

    // Icons: the system theme's where it has one, the shipped drawings otherwise.
    const std::pair<QAction *, std::pair<const char *, const char *>> icons[] = {
        {c.dbConnect, {"network-connect", "connect"}},
        {c.dbDisconnect, {"network-disconnect", "disconnect"}},
        {c.serverConnect, {"network-connect", "connect"}},
        {c.serverDisconnect, {"network-disconnect", "disconnect"}},
        {c.clearCache, {"edit-clear-all", "clear"}},
        {c.demoObject, {"media-playback-start", "track"}},
        {c.exit, {"application-exit", "exit"}},
        {c.objects, {"view-list-details", "grid"}},
        {c.download, {"folder-download", "download"}},
        {c.importFiles, {"document-import", "import"}},
        {c.importFolder, {"folder-open", "folder-open"}},
        {c.execScript, {"text-x-script", "script"}},
        {c.updateDb, {"system-software-update", "refresh"}},
        {c.options, {"preferences-system", "settings"}},
        {c.exportSettings, {"document-export", "export"}},
        {c.importSettings, {"document-import", "import"}},
        {c.statOneObject, {"x-office-spreadsheet", "report"}},
        {c.statGroups, {"x-office-spreadsheet", "report"}},
        {c.statCharges, {"fuel", "fuel"}},
        {c.statDrains, {"fuel", "fuel"}},
        {c.showDrains, {"fuel", "fuel"}},
        {c.loadTrack, {"document-open", "track"}},
        {c.clearTrack, {"edit-clear", "clear"}},
        {c.downloadObject, {"folder-download", "download"}},
        {c.createCalibPoint, {"list-add", "calibration"}},
        {c.showCalibTable, {"calibration", "calibration"}},
        {c.showCharges, {"fuel", "fuel"}},
        {c.objectData, {"x-office-spreadsheet", "report"}},
        {c.clearStatistics, {"edit-delete", "delete"}},
        {c.setupDevice, {"preferences-other", "device"}},
        {c.tbDatabase, {"network-server-database", "database"}},
        {c.tbServer, {"network-server", "server"}},
        {c.tbShowGroups, {"folder", "groups"}},
        {c.tbShowGrid, {"view-list-details", "grid"}},
        {c.tbFollowMode, {"find-location", "follow"}},
        {c.tbBrowseMode, {"document-open-recent", "history"}},
        {c.tbArrowIndicators, {"speedometer", "gauge"}},
        {c.tbRefreshWebMap, {"view-refresh", "refresh"}},
        {c.exportGpx, {"document-save-as", "export"}},
        {c.tbZoomIn, {"zoom-in", "zoom-in"}},
        {c.tbZoomOut, {"zoom-out", "zoom-out"}},
        {c.tbShowAll, {"zoom-fit-best", "show-all"}},
        {c.tbShowNumbers, {"format-number", "numbers"}},
        {c.tbTrackStyle, {"draw-path", "track-style"}},
        {c.tbDeleteTracks, {"edit-delete", "delete"}},
    };
    for (const auto &[action, names] : icons)
        action->setIcon(
            AppIcon(QString::fromLatin1(names.first), QString::fromLatin1(names.second)));
    showMapKind(false);

    connect(c.exit, &QAction::triggered, this, &QWidget::close);
    connect(c.tbShowGroups, &QAction::toggled, this, &TfmMain::setShowGroups);
    connect(c.tbShowGrid, &QAction::toggled, this, &TfmMain::setShowGrid);
}

void TfmMain::createMenus() {
    Commands &c = m_cmd;
    QMenu *start = menuBar()->addMenu(QStringLiteral("Пуск"));
    QMenu *db = start->addMenu(QStringLiteral("База данных"));
    db->addAction(c.dbConnect);
    db->addAction(c.dbDisconnect);
    QMenu *srv = start->addMenu(QStringLiteral("Сервер"));
    srv->addAction(c.serverConnect);
    srv->addAction(c.serverDisconnect);
    start->addSeparator();
    start->addAction(c.clearCache);
    start->addAction(c.demoObject);
    start->addSeparator();
    start->addAction(c.exit);

    QMenu *base = menuBar()->addMenu(QStringLiteral("База данных"));
    base->addAction(c.objects);
    base->addAction(c.download);
    base->addSeparator();
    base->addAction(c.importFiles);
    base->addAction(c.importFolder);
    base->addSeparator();
    base->addAction(c.execScript);
    base->addAction(c.updateDb);

    QMenu *settings = menuBar()->addMenu(QStringLiteral("Настройки"));
    settings->addAction(c.options);
    settings->addSeparator();
    settings->addAction(c.exportSettings);
    settings->addAction(c.importSettings);

    c.statistics = menuBar()->addMenu(QStringLiteral("Статистика"));
    c.statistics->addAction(c.statOneObject);
    c.statistics->addAction(c.statGroups);
    c.statistics->addAction(c.statCharges);
    c.statistics->addAction(c.statDrains);
    c.statistics->setEnabled(false);

    m_gridMenu = new QMenu(this);
    m_gridMenu->addAction(c.loadTrack);
    m_gridMenu->addAction(c.clearTrack);
    m_gridMenu->addSeparator();
    m_gridMenu->addAction(c.downloadObject);
    m_gridMenu->addSeparator();
    m_gridMenu->addAction(c.createCalibPoint);
    m_gridMenu->addAction(c.showCalibTable);
    m_gridMenu->addAction(c.showCharges);
    m_gridMenu->addAction(c.showDrains);
    m_gridMenu->addAction(c.objectData);
    m_gridMenu->addAction(c.clearStatistics);
    m_gridMenu->addSeparator();
    c.relayControl = m_gridMenu->addMenu(AppIcon(QStringLiteral("relay"), QStringLiteral("relay")),
                                         QStringLiteral("Управление реле"));
    c.relayControl->setEnabled(false);
    // Codes 2..9: lock and unlock of relays 1..4; relay 4 is not fitted.
    for (int relay = 1; relay <= 4; ++relay) {
        for (int unlock = 0; unlock < 2; ++unlock) {
            QAction *a = c.relayControl->addAction(
                (unlock ? QStringLiteral("Разблокировать №") : QStringLiteral("Блокировать №")) +
                QString::number(relay));
            a->setData(2 * relay + unlock);
            a->setEnabled(relay != 4);
        }
    }
    m_gridMenu->addAction(c.setupDevice);

    m_mapMenu = new QMenu(this);
    c.mapSelect = m_mapMenu->addMenu(QStringLiteral("Выбор карты"));
    // The web maps of the settings, offered by the map-selection tool button.
    m_webMapMenu = new QMenu(QStringLiteral("Выбрать тип карты"), this);
    m_webMapMenu->addAction(QStringLiteral("Статическая карта"))->setData(0);
    c.tbMapSelect->setMenu(m_webMapMenu);
}

void TfmMain::createToolBar() {
    QToolBar *tb = addToolBar(QStringLiteral("Панель инструментов"));
    tb->setObjectName(QStringLiteral("mainToolBar"));
    tb->setMovable(false);
    tb->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    tb->addAction(m_cmd.tbDatabase);
    tb->addAction(m_cmd.tbServer);
    tb->addSeparator();
    tb->addAction(m_cmd.tbShowGroups);
    tb->addAction(m_cmd.tbShowGrid);
    tb->addSeparator();
    tb->addAction(m_cmd.tbFollowMode);
    tb->addAction(m_cmd.tbBrowseMode);
    tb->addAction(m_cmd.tbArrowIndicators);
    tb->addAction(m_cmd.tbMapSelect);
    tb->addSeparator();
    // The map view's switches by their icons alone; their names are in the hints.
    for (QAction *a : {m_cmd.tbZoomIn, m_cmd.tbZoomOut, m_cmd.tbShowAll, m_cmd.tbShowNumbers,
                       m_cmd.tbTrackStyle, m_cmd.tbDeleteTracks, m_cmd.tbRefreshWebMap}) {
        tb->addAction(a);
        if (auto *b = qobject_cast<QToolButton *>(tb->widgetForAction(a)))
            b->setToolButtonStyle(Qt::ToolButtonIconOnly);
    }
}

void TfmMain::createCentral() {
    m_hSplit = new QSplitter(Qt::Horizontal, this);

    m_groupPanel = new QWidget;
    auto *gl = new QVBoxLayout(m_groupPanel);
    gl->setContentsMargins(0, 0, 0, 0);
    m_groupPanelWidget = new TGroupPanel(m_session.guard());
    gl->addWidget(m_groupPanelWidget);
    m_hSplit->addWidget(m_groupPanel);

    m_vSplit = new QSplitter(Qt::Vertical);
    m_mapStack = new QStackedWidget;
    m_mapWidget = new TMapPanelWidget(m_session.map().panel());
    m_mapStack->addWidget(m_mapWidget);
    m_mapStack->addWidget(placeholder(QStringLiteral("Интернет-карта")));
    m_mapStack->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_mapStack, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &p) { m_mapMenu->popup(m_mapStack->mapToGlobal(p)); });
    m_vSplit->addWidget(m_mapStack);

    m_statTabs = new QTabWidget;
    m_stateGridHost = new QWidget;
    auto *sl = new QVBoxLayout(m_stateGridHost);
    sl->setContentsMargins(0, 0, 0, 0);
    m_stateGrid = new TSostGrid;
    m_stateGrid->setObjectName(QStringLiteral("stateGrid"));
    connect(m_stateGrid, &QWidget::customContextMenuRequested, this, [this](const QPoint &p) {
        m_gridMenu->popup(m_stateGrid->viewport()->mapToGlobal(p));
    });
    sl->addWidget(m_stateGrid);
    m_statTabs->addTab(m_stateGridHost, QStringLiteral("Состояние объектов"));

    m_trackTab = new QWidget;
    auto *tl = new QVBoxLayout(m_trackTab);
    tl->setContentsMargins(0, 0, 0, 0);
    m_trackParts = new QTableView;
    m_trackParts->setObjectName(QStringLiteral("trackParts"));
    m_trackParts->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_trackParts->setSelectionMode(QAbstractItemView::SingleSelection);
    m_trackParts->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_trackParts->horizontalHeader()->setStretchLastSection(true);
    m_trackParts->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_trackParts->verticalHeader()->setVisible(false);
    m_trackParts->verticalHeader()->setDefaultSectionSize(22);
    m_trackParts->setWordWrap(false);
    tl->addWidget(m_trackParts);
    auto *buttons = new QHBoxLayout;
    buttons->setContentsMargins(4, 0, 4, 4);
    auto *gpx = new QPushButton(m_cmd.exportGpx->text());
    gpx->setObjectName(QStringLiteral("exportGpx"));
    connect(gpx, &QPushButton::clicked, m_cmd.exportGpx, &QAction::trigger);
    buttons->addStretch();
    buttons->addWidget(gpx);
    tl->addLayout(buttons);
    m_statTabs->addTab(m_trackTab, QStringLiteral("Участки трека"));
    m_statTabs->setCurrentIndex(0);
    m_vSplit->addWidget(m_statTabs);
    m_vSplit->setStretchFactor(0, 1);
    m_vSplit->setStretchFactor(1, 0);
    m_hSplit->addWidget(m_vSplit);
    m_hSplit->setStretchFactor(0, 0);
    m_hSplit->setStretchFactor(1, 1);
    setCentralWidget(m_hSplit);

    m_eventsDock = new QDockWidget(QStringLiteral("События"), this);
    m_eventsDock->setObjectName(QStringLiteral("eventsDock"));
    m_eventsDock->setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
    m_eventsDock->setWidget(placeholder(QStringLiteral("Событий нет")));
    addDockWidget(Qt::BottomDockWidgetArea, m_eventsDock);
    resizeDocks({m_eventsDock}, {110}, Qt::Vertical);
    setGroupsWidth(m_options.GroupsWidth);
    setStatisticsHeight(m_options.MapHeight);
}

void TfmMain::createStatusBar() {
    const QString initial[7] = {QString(), QStringLiteral("БД:"),
                                QString(), QStringLiteral("Сервер:"),
                                QString(), QString(),
                                QString()};
    for (int i = 0; i < 7; ++i) {
        m_panels[i] = new QLabel(initial[i]);
        m_panels[i]->setObjectName(QStringLiteral("statusPanel%1").arg(i));
        if (i == 2 || i == 4) {
            m_panels[i]->setFixedSize(14, 14);
            m_panels[i]->setFrameShape(QFrame::Box);
        } else {
            m_panels[i]->setContentsMargins(4, 0, 4, 0);
        }
        statusBar()->addWidget(m_panels[i], i == 6 ? 1 : 0);
    }
    m_panels[0]->setMinimumWidth(120);
    setStatusLamp(2, 0x808080);
    setStatusLamp(4, 0x808080);
}

void TfmMain::setStatusText(int panel, const QString &text) {
    if (panel >= 0 && panel < 7)
        m_panels[panel]->setText(text);
}

QString TfmMain::statusText(int panel) const {
    return panel >= 0 && panel < 7 ? m_panels[panel]->text() : QString();
}

void TfmMain::setStatusLamp(int panel, int colour) {
    if (panel < 0 || panel >= 7)
        return;
    m_panels[panel]->setStyleSheet(
        QStringLiteral("QLabel { background: %1; border: 1px solid #555; }")
            .arg(fromBgr(colour).name()));
}

int TfmMain::statisticsHeight() const {
    const QList<int> s = m_vSplit->sizes();
    return s.size() > 1 ? s[1] : 0;
}

void TfmMain::setStatisticsHeight(int h) {
    if (h <= 1)
        return;
    const int total = qMax(m_vSplit->height(), h + 200);
    m_vSplit->setSizes({total - h, h});
}

int TfmMain::groupsWidth() const {
    const QList<int> s = m_hSplit->sizes();
    return s.isEmpty() ? 0 : s[0];
}

void TfmMain::setGroupsWidth(int w) {
    if (w <= 1)
        return;
    const int total = qMax(m_hSplit->width(), w + 400);
    m_hSplit->setSizes({w, total - w});
}

bool TfmMain::showGroups() const {
    return m_cmd.tbShowGroups->isChecked();
}
void TfmMain::setShowGroups(bool on) {
    m_cmd.tbShowGroups->setChecked(on);
    m_groupPanel->setVisible(on);
}
bool TfmMain::showGrid() const {
    return m_cmd.tbShowGrid->isChecked();
}
void TfmMain::setShowGrid(bool on) {
    m_cmd.tbShowGrid->setChecked(on);
    m_statTabs->setVisible(on);
}
bool TfmMain::followMode() const {
    return m_cmd.tbFollowMode->isChecked();
}
void TfmMain::setFollowMode(bool on) {
    m_cmd.tbFollowMode->setChecked(on);
}
bool TfmMain::showArrowIndicators() const {
    return m_cmd.tbArrowIndicators->isChecked();
}
void TfmMain::setShowArrowIndicators(bool on) {
    m_cmd.tbArrowIndicators->setChecked(on);
}
int TfmMain::trackListHeight() const {
    return m_trackListHeight;
}
void TfmMain::setTrackListHeight(int h) {
    m_trackListHeight = h;
}

void TfmMain::setWebMapMenu(const QStringList &captions) {
    m_webMapMenu->clear();
    m_webMapMenu->addAction(QStringLiteral("Статическая карта"))->setData(0);
    for (int i = 0; i < captions.size(); ++i)
        m_webMapMenu->addAction(captions[i])->setData(i + 1);
}

void TfmMain::showEvent(QShowEvent *e) {
    QMainWindow::showEvent(e);
    if (m_shown)
        return;
    m_shown = true;
    // Let the window appear before connecting or asking anything.
    QMetaObject::invokeMethod(&m_session, &TClientSession::FormShow, Qt::QueuedConnection);
}

void TfmMain::closeEvent(QCloseEvent *e) {
    // A running import ends first; the session asks to close again then.
    if (!m_session.requestClose()) {
        e->ignore();
        return;
    }
    m_session.FormClose();
    e->accept();
}

void TfmMain::showMapKind(bool web) {
    QAction *a = m_cmd.tbMapSelect;
    a->setIcon(web ? AppIcon(QStringLiteral("applications-internet"), QStringLiteral("web-map"))
                   : AppIcon(QStringLiteral("raster-map"), QStringLiteral("raster-map")));
    a->setIconText(web ? QStringLiteral("Интернет-карта") : QStringLiteral("Растровая карта"));
    a->setToolTip(QStringLiteral("Выбрать тип карты (сейчас: ") +
                  (web ? QStringLiteral("интернет-карта") : QStringLiteral("растровая карта")) +
                  QLatin1Char(')'));
}

void TfmMain::showWebMapView(bool web, QWidget *browser) {
    if (browser && m_mapStack->indexOf(browser) < 0) {
        QWidget *placeholder = m_mapStack->widget(1);
        m_mapStack->insertWidget(1, browser);
        if (placeholder) {
            m_mapStack->removeWidget(placeholder);
            placeholder->deleteLater();
        }
    }
    m_mapStack->setCurrentIndex(web ? 1 : 0);
    showMapKind(web);
    m_cmd.tbRefreshWebMap->setVisible(web);
    // "+", "–" and "Все" act on whichever map is shown; the raster map's own switches go.
    for (QAction *a : {m_cmd.tbTrackStyle, m_cmd.tbShowNumbers})
        a->setVisible(!web);
}

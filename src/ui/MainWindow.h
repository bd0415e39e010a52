#pragma once

#include "app/Options.h"

#include <QMainWindow>

class QAction;
class QDockWidget;
class QLabel;
class QMenu;
class QSplitter;
class QStackedWidget;
class QTabWidget;
class QToolButton;
class QTreeWidget;
class QTableView;
class TClientSession;
class TfmOptions;
class TGroupPanel;
class TMapPanelWidget;
class TSostGrid;

// The main window: menus, tool bar, group panel, map area, statistics area and status bar.
// It shows state and forwards commands; the behaviour lives in the session (TClientSession),
// to which TMainBinder binds the actions and widgets.
class TfmMain : public QMainWindow {
    Q_OBJECT
public:
    explicit TfmMain(TClientSession &session, QWidget *parent = nullptr);
    ~TfmMain() override;

    TClientSession &session() { return m_session; }

    // Commands, named after their menu captions; enabled states follow the connections.
    struct Commands {
        QAction *dbConnect, *dbDisconnect, *serverConnect, *serverDisconnect, *clearCache,
            *demoObject, *exit;
        QAction *objects, *download, *importFiles, *importFolder, *execScript, *updateDb;
        QAction *options, *exportSettings, *importSettings;
        QMenu *statistics;
        QAction *statOneObject, *statGroups, *statCharges;
        QAction *statDrains, *showDrains; // "Сливы топлива", "Показать сливы..."
        QAction *loadTrack, *clearTrack, *downloadObject, *createCalibPoint, *showCalibTable,
            *showCharges, *objectData, *clearStatistics, *setupDevice;
        QMenu *relayControl, *mapSelect;
        QAction *tbDatabase, *tbServer, *tbShowGroups, *tbShowGrid, *tbFollowMode,
            *tbArrowIndicators, *tbMapSelect;
        QAction *tbZoomIn, *tbZoomOut, *tbShowAll, *tbShowNumbers, *tbTrackStyle, *tbDeleteTracks;
        QAction *tbRefreshWebMap;
        QAction *tbBrowseMode; // "Режим": pressed for archive view
        QAction *exportGpx;    // "Экспорт трека в GPX..." beside the parts table
    };
    const Commands &commands() const { return m_cmd; }
    QMenu *gridContextMenu() const { return m_gridMenu; }
    QMenu *mapContextMenu() const { return m_mapMenu; }
    QMenu *webMapMenu() const { return m_webMapMenu; }

    // Status bar: panel 0 objects text, 2 database lamp, 4 link lamp, 6 link text.
    void setStatusText(int panel, const QString &text);
    // Colour 0x00BBGGRR of a lamp panel (2 or 4).
    void setStatusLamp(int panel, int colour);
    QString statusText(int panel) const;

    // Layout taken into and from the settings.
    int statisticsHeight() const;
    void setStatisticsHeight(int h);
    int groupsWidth() const;
    void setGroupsWidth(int w);
    bool showGroups() const;
    void setShowGroups(bool on);
    bool showGrid() const;
    void setShowGrid(bool on);
    bool followMode() const;
    void setFollowMode(bool on);
    bool showArrowIndicators() const;
    void setShowArrowIndicators(bool on);
    int trackListHeight() const;
    void setTrackListHeight(int h);
    // The map-type menu: "Статическая карта" (tag 0), then the web maps (tags 1, 2, ...).
    void setWebMapMenu(const QStringList &captions);
    // Shows the web map (the browser takes the map area's second page) or the raster map, with
    // the tool buttons that belong to each.
    void showWebMapView(bool web, QWidget *browser);
    // The map-type button shows the map in view: the raster map or the web map.
    void showMapKind(bool web);

    // Placeholders that later windows fill: the raster map, the web map, the grids.
    QStackedWidget *mapArea() const { return m_mapStack; }
    TMapPanelWidget *mapWidget() const { return m_mapWidget; }
    TGroupPanel *groupPanel() const { return m_groupPanelWidget; }
    TSostGrid *stateGrid() const { return m_stateGrid; }
    QTabWidget *statisticsArea() const { return m_statTabs; }
    QWidget *stateGridHost() const { return m_stateGridHost; }
    // The parts table "Участки трека" and its tab.
    QTableView *trackPartTable() const { return m_trackParts; }
    QWidget *trackPartTab() const { return m_trackTab; }
    // The events panel ("События") beside the map: the fuel-drain alerts go in it.
    QDockWidget *eventsDock() const { return m_eventsDock; }

protected:
    void showEvent(QShowEvent *e) override;
    void closeEvent(QCloseEvent *e) override;

private:
    void createCommands();
    void createMenus();
    void createToolBar();
    void createCentral();
    void createStatusBar();

    TClientSession &m_session;
    TOptions &m_options;
    Commands m_cmd{};
    QMenu *m_gridMenu = nullptr;
    QMenu *m_mapMenu = nullptr;
    QMenu *m_webMapMenu = nullptr;
    QSplitter *m_hSplit = nullptr;
    QSplitter *m_vSplit = nullptr;
    QWidget *m_groupPanel = nullptr;
    TGroupPanel *m_groupPanelWidget = nullptr;
    TSostGrid *m_stateGrid = nullptr;
    QStackedWidget *m_mapStack = nullptr;
    TMapPanelWidget *m_mapWidget = nullptr;
    QTabWidget *m_statTabs = nullptr;
    QWidget *m_stateGridHost = nullptr;
    QTableView *m_trackParts = nullptr;
    QWidget *m_trackTab = nullptr;
    QDockWidget *m_eventsDock = nullptr;
    int m_trackListHeight = 192;
    QLabel *m_panels[7] = {};
    bool m_shown = false;
};

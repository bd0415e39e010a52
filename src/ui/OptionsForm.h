#pragma once

#include "app/Dialogs.h"
#include "app/Options.h"
#include "webmap/WebMapList.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSpinBox;
class QTimeEdit;
class TfmMain;
class TParamGroupsPage;
class QWidget;

// The settings window. It owns the settings record FOptions; its creation loads the file and
// shows it, which also lays out the main window.
class TfmOptions : public QDialog {
    Q_OBJECT
public:
    TfmOptions(TOptions &options, TfmMain *main, QWidget *arrowIndicators, TDialogs &dialogs,
               QWidget *parent = nullptr);

    TOptions &FOptions;

    bool LoadOptions();
    bool SaveOptions();
    // The window's fields and the main window's layout from the record (at start).
    bool OptionsToInterface();
    // The window's fields only: the main window stays as the user arranged it.
    bool FillFromOptions();
    // The main window's and the indicators' layout from the record.
    bool LayoutWindows();
    bool InterfaceToOptions();
    void SetFirstRun(bool value) { FOptions.FirstRun = value; }

    // "Применить": takes the window's values and writes the file. False when nothing was saved.
    bool Apply();

    // Controls, exposed for headless tests.
    struct Controls {
        QLineEdit *appServer, *appPort, *appLogin, *appPass, *ftpPort, *ftpIp, *serverTimeOut,
            *soundFile, *autoConnectDelay;
        QCheckBox *ftpPassive, *playSound, *autoConnect;
        QLineEdit *dbServ, *dbPath, *dbLogin, *dbPass;
        QCheckBox *useDServer, *useProxy;
        QLineEdit *dServer, *dPort, *dLogin, *dPass, *proxyServer, *proxyPort, *proxyUser,
            *proxyPassword;
        QListWidget *maps;
        QComboBox *defaultMap;
        QPushButton *colours[5];
        QCheckBox *showPointer, *autoMapChange, *selectBestMap, *useGoogleMap;
        QSpinBox *restMinTime, *minSpeed, *maxSpeed, *maxDiffAngle;
        QComboBox *summerStart, *summerEnd;
        QCheckBox *removeOldTrackPoints, *removePointsBySpeed, *removeRestPoints, *simplifyTrack;
        QTimeEdit *maxTrackTimeStampDiff;
        QLineEdit *webPort;
        QListWidget *webMaps;
        QComboBox *defaultWebMap;
        QCheckBox *webMapSilent;
        QPushButton *apply, *ok, *exit, *addMap, *removeMap, *randomPort, *addWebMap, *editWebMap,
            *removeWebMap, *chooseSound, *testSound;
        // "Сливы топлива": the general drain rule and the alert's sound.
        QSpinBox *drainLitres, *drainWindow, *drainMedian;
        QLineEdit *drainSoundFile;
        QCheckBox *drainPlaySound;
        QPushButton *chooseDrainSound;
    };
    Controls ui{};
    // The parameter catalogue ("Параметры"); it works while the database is connected.
    TParamGroupsPage *paramsPage = nullptr;

    void btnAddMapClick();
    void btnRemoveMapClick();
    void btnRandomPortClick();
    void btnAddWebMapClick();
    void btnEditWebMapClick();
    void btnRemoveWebMapClick();
    void btnOkClick();
    void btnExitClick();

signals:
    // "Применить" around taking the window's values: the session saves and re-applies what
    // depends on them.
    void aboutToApply();
    void applied();
    // "OK" after applying (the web map is loaded when it was not yet).
    void okPressed();
    // The check box "Использовать интернет-карту " changed, by the user or in code: the main
    // window shows the web map (true) or the raster map.
    void webMapViewSwitched(bool on);

private:
    QWidget *serverPage();
    QWidget *databasePage();
    QWidget *dataServerPage();
    QWidget *mapsPage();
    QWidget *filtersPage();
    QWidget *webMapPage();
    QWidget *drainsPage();
    void rebuildDefaultMapChoice();
    void refreshWebMapList();
    // The web-map dialog, opened on a name and an address.
    bool editWebMapLocation(QString &name, QString &address);
    TWebMapEditor webMapEditor();
    int colourOf(int i) const;
    void setColour(int i, int bgr);

    TfmMain *m_main;
    QWidget *m_arrows;
    TDialogs &m_dialogs;
    QVector<TWebMapPath> m_webMaps; // working copy of the web-map list
    int m_colours[5] = {};
};

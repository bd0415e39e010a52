#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

#include "app/DateUtils.h"

// One web-map page: a name for the menu and an HTML page under the web-map folder.
struct TWebMapPath {
    QString Name;
    QString Path;
    bool operator==(const TWebMapPath &) const = default;
};

// All program settings. Other subsystems read the fields directly.
struct TOptions {
    QString DBPath;
    QString DBLogin = QStringLiteral("SYSDBA");
    QString DBPass = QStringLiteral("qvx7tpl2m");
    QString DBServ = QStringLiteral("localhost");
    QString AppServer;
    int AppPort = 7788;
    QString AppLogin;
    QString AppPass;
    int FtpPort = 2121;
    bool UseDServer = false;
    QString DServer;
    int DPort = 80;
    QString DLogin;
    QString DPass;
    bool UseProxy = false;
    QString ProxyServer;
    QString ProxyPort;
    QString ProxyUser;
    QString ProxyPassword;
    int ServerTimeOut = 120;
    QString TOSoundFile;
    int TOPlaySound = 0;
    int AutoConnect = 0;
    int AutoConnectDelay = 10;
    QStringList Maps;
    int DefaultMap = 1;
    int MarkerColor = 0xFF0000;
    int ActiveMarkerColor = 255;
    int ArchiveMarkerColor = 0x808080;
    int TrackColor = 0x008000;
    int LostTrackColor = 255;
    bool ShowPointerToNotVisObj = true;
    bool AutoMapChange = false;
    bool SelectBestMap = false;
    bool UseGoogleMap = false;
    int RestMinTime = 1;
    int MinSpeed = 10;
    int MaxSpeed = 300;
    int SummerStart = 6;
    int SummerEnd = 8;
    bool RemoveOldTrackPoints = false;
    TDateTime MaxTrackTimeStampDiff = 0;
    bool RemovePointsBySpeed = false;
    bool RemoveRestPoints = false;
    bool SimplifyTrack = false;
    int MaxDiffAngle = 180;
    bool FisMapListChanged = false;
    int MapHeight = 300;
    int GroupsWidth = 233;
    bool ShowGroups = true;
    QStringList ExpandedGroups; // the group tree's open groups (their ids), as last left
    bool ShowGrid = true;
    int MainFormWidth = 800;
    int MainFormHeight = 600;
    int MainFormLeft = 0;
    int MainFormTop = 0;
    bool MainFormMaximized = false;
    bool FollowMode = true;
    bool ShowArrowIndicators = false;
    int ArrowIndicatorsLeft = 100;
    int ArrowIndicatorsTop = 100;
    int TrackListHeight = 192;
    bool FirstRun = true;
    bool FTPPAssive = true;
    QString FTPIP;
    int WebServerPort = 0;
    QVector<TWebMapPath> WebMapList;
    int DefaultWebMap = -1;
    bool WebMapSilent = true;
    // Fuel drains: the general rule (an object may have its own) and the alert's sound (the
    // lost-connection sound when no file of its own is chosen).
    int DrainLitres = 20; // the least fall, litres
    int DrainWindow = 10; // the longest time it may take, minutes
    int DrainMedian = 5;  // readings the level is the median of
    QString DrainSoundFile;
    bool DrainPlaySound = true;
};

#pragma once

// Values the session shows to whoever presents it: status fields, connection news and the
// commands whose enabled state it decides.

#include <QMetaType>

#include "app/DateUtils.h"

// What the status line shows; a window maps them to its panels.
enum class TStatusField {
    Objects,      // "connected / registered" objects
    DatabaseLamp, // the database connection: grey none, green connected, red failed
    LinkLamp,     // the server link: grey none, green connecting or up, red failed
    LinkEvent,    // the link's latest event with its time
    CurrentMap,   // "Текущая карта: ..."
};

// What the server said about an object's connection.
enum class TConnectionNews {
    Listed,       // in the server's list of connected objects ("cobj")
    Connected,    // a "cnev" connection event
    Disconnected, // a "cnev" disconnection event
};

// The commands whose enabled state follows the session's state.
enum class TSessionCommand {
    DatabaseConnect,
    DatabaseDisconnect,
    DatabaseButton,
    ServerConnect,
    ServerDisconnect,
    ServerButton,
    ClearCache,
    ExecScript,
    UpdateDatabase,
    ClearStatistics,
    RelayControl,
    SetupDevice,
    ObjectRegistry, // "Объекты" and the field-settings export and import
    ImportFiles,    // "Импортировать данные из файлов..."
    ImportFolder,   // "Импортировать данные из каталога..."
    DemoObject,     // "Включить демо-объект"
    LoadTrack,      // "Загрузить трек..."
    ClearTrack,     // "Очистить трек"
    // "Создать точку тарировки...", "Показать таблицу тарировки..."
    Calibration,
    // "Заправки" of "Статистика" and "Показать таблицу заправок..."
    FuelCharges,
    // "Сливы топлива" of "Статистика" and "Показать сливы..."
    Drains,
    // "Докачка информации", "Скачать данные по объекту..."
    DownloadData,
    DownloadObject,
    Settings, // "Настройки": the settings window
    // "Статистика" -> "По одному объекту", "По группам объектов"; the grid's "Данные по
    // объекту..." also needs the row's object
    Reports,
    ObjectData,
    Count
};

// The object chosen in the state grid and how the map follows it: shared by the parts that act
// on the active object. The track display owns archiveView ("Режим"), the live objects the rest.
struct TSelection {
    int number = 0; // 0 or less: none
    int row = -1;   // the grid's row (1 is the first object)
    bool follow = true;
    bool archiveView = false;
};

// What the track loading dialog asks for: a period of the object's day files, or its
// demonstration track.
struct TLoadTrackRequest {
    int number = 0;
    bool demo = false;   // "Демо-трек"
    TDateTime start = 0; // the start date's day + the start time's time of day
    TDateTime end = 0;
    bool toCurrent = true; // "До текущего момента": stay in on-line mode
    bool download = false; // "Скачать данные с сервера перед загрузкой трека"
};

Q_DECLARE_METATYPE(TStatusField)
Q_DECLARE_METATYPE(TConnectionNews)

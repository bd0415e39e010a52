#pragma once

// The session's registry edits ("База данных" -> "Объекты"): every change goes to the database
// first and is then mirrored into the registry in memory through its own methods; the map items
// and the web map follow the signals. The window asks for files; the batch front end names them.

#include <QObject>
#include <QString>

#include <optional>
#include <utility>
#include <vector>

#include "db/ObjectRegistry.h"

class TControllableObject;
class TDataRuns;
class TDialogs;
class TManager;
namespace db {
class TDatabase;
}

class TRegistryEdits : public QObject {
    Q_OBJECT
public:
    TRegistryEdits(db::TDatabase &database, TDialogs &dialogs, TDataRuns &runs,
                   QObject *parent = nullptr);

    void setRegistry(TManager *registry) { m_registry = registry; }

    std::vector<TObjectRecord> registryList();
    // The object form's group choices: "нет группы" (empty id), then every group's path in
    // the registry's order, as (path, GRP_ID).
    std::vector<std::pair<QString, QString>> groupChoices() const;
    // The group the object is attached to in memory (empty for none).
    QString objectGroupId(int number) const;

    TRegistrySave addRegistryObject(const TObjectForm &form);
    // storedTimeZone: the time zone the form was opened with; it becomes the saved one.
    TRegistrySave editRegistryObject(const TObjectForm &form, int &storedTimeZone);
    bool deleteRegistryObject(int number);
    // "Экспорт": asks for the file, writes the object's ".oni".
    void exportRegistryObject(int number);
    // The same into a named file; false when the object is not registered.
    bool exportObject(int number, const QString &file);
    // "Импорт": asks for an ".oni" file; the imported number, or nothing.
    std::optional<int> importRegistryObject();
    // The same from a named file.
    std::optional<int> importObject(const QString &file);
    // The registry window closed: the display filter runs again, the server is asked which
    // objects are connected.
    void registryWindowClosed();

signals:
    // An object was added to the registry, or imported into it.
    void objectRegistered(const TControllableObject &object);
    // A registered object's settings changed (its name or label among them).
    void objectChanged(const TControllableObject &object);
    void objectRemoved(int number);
    // The registry's groups or objects changed: the status line's count.
    void registryEdited();
    // The registry window closed: the list of connected objects is asked for again.
    void windowClosed();

private:
    void mirror(const TObjectRecord &r, TControllableObject *o);
    TControllableObject *addToRegistry(const TObjectRecord &r, const QString &groupId);

    db::TDatabase &m_db;
    TDialogs &m_dialogs;
    TDataRuns &m_runs;
    TManager *m_registry = nullptr;
};

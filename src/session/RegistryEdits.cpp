#include "session/RegistryEdits.h"

#include "app/Dialogs.h"
#include "app/ErrorGuard.h"
#include "app/Folders.h"
#include "db/GroupManager.h"
#include "session/DataRuns.h"

#include <QDir>

#include <cmath>

namespace {
const QString kOniFilter = QStringLiteral("Информация об объекте (*.oni)|*.oni|Все файлы (*.*)|*");
}

TRegistryEdits::TRegistryEdits(db::TDatabase &database, TDialogs &dialogs, TDataRuns &runs,
                               QObject *parent)
    : QObject(parent), m_db(database), m_dialogs(dialogs), m_runs(runs) {}

std::vector<TObjectRecord> TRegistryEdits::registryList() {
    return TObjectRegistry(m_db, m_dialogs).LoadList();
}

std::vector<std::pair<QString, QString>> TRegistryEdits::groupChoices() const {
    std::vector<std::pair<QString, QString>> out{{QStringLiteral("нет группы"), QString()}};
    if (m_registry)
        for (const auto &g : m_registry->FGroups)
            if (!g->FPath.isEmpty()) // a group outside the tree cannot be chosen
                out.emplace_back(g->FPath, g->FID);
    return out;
}

QString TRegistryEdits::objectGroupId(int number) const {
    const TControllableObject *o = m_registry ? m_registry->FindObject(number) : nullptr;
    return o && o->Group ? o->Group->FID : QString();
}

void TRegistryEdits::mirror(const TObjectRecord &r, TControllableObject *o) {
    o->Name = r.name;
    o->ShortName = r.shortName;
    o->TankVolume = static_cast<int>(std::floor(r.tankVolume));
    o->FuelConsS = static_cast<int>(std::floor(r.fuelConsS));
    o->FuelConsW = static_cast<int>(std::floor(r.fuelConsW));
    o->UseEngineForPark = r.useEngineForPark;
    o->TimeZone = r.timeZone;
    // The object's track folder.
    QDir().mkpath(CoordCacheDir() + QString::number(o->Number));
}

TControllableObject *TRegistryEdits::addToRegistry(const TObjectRecord &r, const QString &groupId) {
    TControllableObject *o = m_registry->AddObject(
        r.number, r.name, r.timeZone, static_cast<int>(std::floor(r.fuelConsS)),
        static_cast<int>(std::floor(r.fuelConsW)),
        groupId.isEmpty() ? nullptr : m_registry->FindGroup(groupId), r.shortName);
    mirror(r, o);
    return o;
}

TRegistrySave TRegistryEdits::addRegistryObject(const TObjectForm &form) {
    const TRegistryEdit e = TObjectRegistry(m_db, m_dialogs).Add(form);
    if (e.result != TRegistrySave::Saved || !m_registry)
        return e.result;
    TControllableObject *o = addToRegistry(e.record, form.groupId);
    m_registry->RefreshGroups();
    m_registry->ExpandParents();
    emit objectRegistered(*o);
    emit registryEdited();
    return e.result;
}

TRegistrySave TRegistryEdits::editRegistryObject(const TObjectForm &form, int &storedTimeZone) {
    bool ok = false;
    const int number = form.number.trimmed().toInt(&ok);
    TObjectRegistry registry(m_db, m_dialogs);
    const TRegistryEdit e =
        registry.Edit(form, storedTimeZone, ok ? objectGroupId(number) : QString());
    if (e.result != TRegistrySave::Saved)
        return e.result;
    storedTimeZone = e.record.timeZone;
    TControllableObject *o = m_registry ? m_registry->FindObject(number) : nullptr;
    if (o) {
        mirror(e.record, o);
        if (e.groupChanged)
            m_registry->MoveObjectToGroup(o, m_registry->FindGroup(form.groupId));
    }
    if (e.deleteHistory && registry.DeleteHistory(number) && e.reimport) {
        // The object's data files are imported again with its new time zone.
        try {
            m_runs.ReloadTracks(number);
        } catch (const std::exception &x) {
            m_dialogs.message(QStringLiteral("Во время импорта данных произошла ошибка: \r\n") +
                                  TErrorGuard::ExceptionText(x),
                              QStringLiteral("Редактирование объекта"), TMsgIcon::Error);
        }
    }
    if (m_registry) {
        m_registry->RefreshGroups();
        m_registry->ExpandParents();
    }
    if (o)
        emit objectChanged(*o);
    emit registryEdited();
    return e.result;
}

bool TRegistryEdits::deleteRegistryObject(int number) {
    if (!TObjectRegistry(m_db, m_dialogs).Delete(number))
        return false;
    if (!m_registry)
        return true;
    // DeleteObject leaves every group's member list too.
    m_registry->DeleteObject(number);
    m_registry->RestructSostGridObjects();
    m_registry->RefreshGroups();
    m_registry->ExpandParents();
    emit objectRemoved(number);
    emit registryEdited();
    return true;
}

bool TRegistryEdits::exportObject(int number, const QString &file) {
    TObjectRegistry registry(m_db, m_dialogs);
    const std::optional<TObjectRecord> r = registry.Find(number);
    if (!r)
        return false;
    registry.Export(*r, file);
    return true;
}

void TRegistryEdits::exportRegistryObject(int number) {
    if (!TObjectRegistry(m_db, m_dialogs).Find(number))
        return;
    const QString file =
        m_dialogs.saveFile(QStringLiteral("Экспорт данных объекта"), QString(), kOniFilter,
                           QString::number(number) + QStringLiteral(".oni"));
    if (!file.isEmpty())
        exportObject(number, file);
}

std::optional<int> TRegistryEdits::importRegistryObject() {
    const QString file =
        m_dialogs.openFile(QStringLiteral("Импорт данных об объекте"), QString(), kOniFilter);
    if (file.isEmpty())
        return std::nullopt;
    return importObject(file);
}

std::optional<int> TRegistryEdits::importObject(const QString &file) {
    TObjectRegistry registry(m_db, m_dialogs);
    const std::optional<TObjectRecord> r = registry.Import(file);
    if (!r)
        return std::nullopt;
    if (m_registry) {
        TControllableObject *o = m_registry->FindObject(r->number);
        const bool added = !o;
        if (added)
            o = addToRegistry(*r, QString());
        else
            mirror(*r, o);
        if (added)
            emit objectRegistered(*o);
        else
            emit objectChanged(*o);
        emit registryEdited();
    }
    registry.ReportImported(r->number);
    return r->number;
}

void TRegistryEdits::registryWindowClosed() {
    if (!m_registry)
        return;
    m_registry->selectView(m_registry->viewIndex() < 0 ? 0 : m_registry->viewIndex());
    emit registryEdited();
    emit windowClosed();
}

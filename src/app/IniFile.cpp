#include "app/IniFile.h"

#include "app/Cp1251.h"

#include <QFile>
#include <QSaveFile>

#include <SimpleIni.h>

#include <stdexcept>

struct TIniFile::Impl {
    // Bytes in, bytes out: the text is Windows-1251, converted at the edges.
    CSimpleIniA ini{false, false, false};
};

namespace {
std::string enc(const QString &s) {
    const QByteArray b = cp1251::encode(s);
    return std::string(b.constData(), static_cast<size_t>(b.size()));
}
QString dec(const char *s) {
    return s ? cp1251::decode(s, static_cast<qsizetype>(strlen(s))) : QString();
}
} // namespace

TIniFile::TIniFile(const QString &fileName) : d(std::make_unique<Impl>()), m_fileName(fileName) {
    d->ini.SetSpaces(false);
}

TIniFile::~TIniFile() = default;

bool TIniFile::load() {
    d->ini.Reset();
    QFile f(m_fileName);
    if (!f.exists())
        return false;
    if (!f.open(QIODevice::ReadOnly))
        throw std::runtime_error(f.errorString().toStdString());
    fromBytes(f.readAll());
    return true;
}

void TIniFile::fromBytes(const QByteArray &bytes) {
    d->ini.Reset();
    if (d->ini.LoadData(bytes.constData(), static_cast<size_t>(bytes.size())) < 0)
        throw std::runtime_error("cannot parse settings text");
}

QByteArray TIniFile::toBytes() const {
    std::string out;
    d->ini.Save(out, false);
    QByteArray b = QByteArray::fromStdString(out);
    // SimpleIni writes the platform's newline; the files use CR LF.
    b.replace("\r\n", "\n");
    // One blank line between sections is enough.
    while (b.contains("\n\n\n"))
        b.replace("\n\n\n", "\n\n");
    b.replace("\n", "\r\n");
    return b;
}

void TIniFile::save(bool privateFile) const {
    writeFileAtomically(m_fileName, toBytes(), privateFile);
}

bool TIniFile::sectionExists(const QString &section) const {
    return d->ini.GetSection(enc(section).c_str()) != nullptr;
}

bool TIniFile::valueExists(const QString &section, const QString &key) const {
    return d->ini.GetValue(enc(section).c_str(), enc(key).c_str(), nullptr) != nullptr;
}

QStringList TIniFile::sections() const {
    CSimpleIniA::TNamesDepend names;
    d->ini.GetAllSections(names);
    names.sort(CSimpleIniA::Entry::LoadOrder());
    QStringList out;
    for (const auto &n : names)
        out << dec(n.pItem);
    return out;
}

QStringList TIniFile::keys(const QString &section) const {
    CSimpleIniA::TNamesDepend names;
    d->ini.GetAllKeys(enc(section).c_str(), names);
    names.sort(CSimpleIniA::Entry::LoadOrder());
    QStringList out;
    for (const auto &n : names)
        out << dec(n.pItem);
    return out;
}

QString TIniFile::readString(const QString &section, const QString &key, const QString &def) const {
    const char *v = d->ini.GetValue(enc(section).c_str(), enc(key).c_str(), nullptr);
    return v ? dec(v) : def;
}

int TIniFile::readInteger(const QString &section, const QString &key, int def) const {
    const char *v = d->ini.GetValue(enc(section).c_str(), enc(key).c_str(), nullptr);
    if (!v)
        return def;
    bool ok = false;
    const QString s = dec(v).trimmed();
    int r = s.toInt(&ok);
    if (!ok && s.startsWith(QLatin1Char('$')))
        r = s.mid(1).toInt(&ok, 16);
    return ok ? r : def;
}

int TIniFile::readIntegerStrict(const QString &section, const QString &key, int def) const {
    const char *v = d->ini.GetValue(enc(section).c_str(), enc(key).c_str(), nullptr);
    if (!v)
        return def;
    bool ok = false;
    const QString s = dec(v).trimmed();
    const int r = s.toInt(&ok);
    if (!ok)
        throw std::runtime_error(
            QStringLiteral("'%1' is not a valid integer value").arg(s).toStdString());
    return r;
}

bool TIniFile::readBool(const QString &section, const QString &key, bool def) const {
    return readInteger(section, key, def ? 1 : 0) != 0;
}

void TIniFile::writeString(const QString &section, const QString &key, const QString &value) {
    d->ini.SetValue(enc(section).c_str(), enc(key).c_str(), enc(value).c_str(), nullptr, true);
}

void TIniFile::writeInteger(const QString &section, const QString &key, int value) {
    writeString(section, key, QString::number(value));
}

void TIniFile::writeBool(const QString &section, const QString &key, bool value) {
    writeString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

void TIniFile::deleteKey(const QString &section, const QString &key) {
    d->ini.Delete(enc(section).c_str(), enc(key).c_str(), true);
}

void TIniFile::eraseSection(const QString &section) {
    d->ini.Delete(enc(section).c_str(), nullptr);
}

void writeFileAtomically(const QString &fileName, const QByteArray &bytes, bool privateFile) {
    QSaveFile f(fileName);
    // Unbuffered: a buffered QSaveFile commits a file cut short by a full disk (the flush's
    // partial write is not reported), unbuffered the short write shows in write()'s count.
    if (!f.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        throw std::runtime_error(f.errorString().toStdString());
    if (privateFile)
        f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    if (f.write(bytes) != bytes.size()) {
        const QString err = f.errorString();
        f.cancelWriting();
        throw std::runtime_error(err.toStdString());
    }
    if (!f.commit())
        throw std::runtime_error(f.errorString().toStdString());
}

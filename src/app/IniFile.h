#pragma once

#include <QString>
#include <QStringList>

#include <memory>

// INI-style settings files: sections and keys matched without regard to letter case, order and
// unknown keys kept, Windows-1251 text, CR LF lines, saved atomically (temporary file + rename).
class TIniFile {
public:
    explicit TIniFile(const QString &fileName = QString());
    ~TIniFile();
    TIniFile(const TIniFile &) = delete;
    TIniFile &operator=(const TIniFile &) = delete;

    // Reads the file; a missing file gives an empty document (false), other errors throw.
    bool load();
    // Writes the whole document; throws std::runtime_error with the system's reason on failure,
    // leaving the old file intact. Mode 0600 when privateFile is set (the file holds passwords).
    void save(bool privateFile = false) const;

    const QString &fileName() const { return m_fileName; }
    void setFileName(const QString &name) { m_fileName = name; }

    bool sectionExists(const QString &section) const;
    bool valueExists(const QString &section, const QString &key) const;
    QStringList sections() const;
    QStringList keys(const QString &section) const;

    QString readString(const QString &section, const QString &key, const QString &def) const;
    // Non-numeric text gives the default, as Delphi's ReadInteger does.
    int readInteger(const QString &section, const QString &key, int def) const;
    bool readBool(const QString &section, const QString &key, bool def) const;
    // Strict integer read: throws when the value exists but is not an integer.
    int readIntegerStrict(const QString &section, const QString &key, int def) const;

    void writeString(const QString &section, const QString &key, const QString &value);
    void writeInteger(const QString &section, const QString &key, int value);
    void writeBool(const QString &section, const QString &key, bool value);
    void deleteKey(const QString &section, const QString &key);
    void eraseSection(const QString &section);

    // The document as it would be saved (Windows-1251 bytes, CR LF).
    QByteArray toBytes() const;
    void fromBytes(const QByteArray &bytes);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
    QString m_fileName;
};

// Writes bytes to a file through a temporary file in the same folder and a rename.
// Throws std::runtime_error with the reason; the old file stays intact on failure.
void writeFileAtomically(const QString &fileName, const QByteArray &bytes,
                         bool privateFile = false);

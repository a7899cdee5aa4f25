#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

// Our stand-in for the local-machine branch of a registry: keys addressed by
// "\"-separated paths, each holding typed values, kept in one text file in the
// program directory and so shared by every user of this copy of the program.
// The functions answer with the registry's status codes, so the settings store
// above it keeps the behaviour those codes define. Key paths and value names
// are matched without regard to letter case, as a registry does.
class MachineRegistry
{
public:
    // Status codes.
    static constexpr long Success = 0;
    static constexpr long NotFound = 2;
    static constexpr long AccessDenied = 5;
    static constexpr long InvalidHandle = 6;
    static constexpr long InvalidData = 13;
    static constexpr long MoreData = 234;

    // Value types.
    static constexpr quint32 TypeString = 1;
    static constexpr quint32 TypeBinary = 3;
    static constexpr quint32 TypeDword = 4;

    // An open key; 0 never names one.
    using Key = quint32;

    explicit MachineRegistry(QString filePath);
    virtual ~MachineRegistry() = default;

    // programDirectory + "/machine-settings.reg"
    static QString defaultFilePath();
    const QString &filePath() const { return m_filePath; }

    // Opens path for writing, creating it when missing.
    virtual long createKey(const QString &path, Key *key);
    // Opens an existing path for reading; NotFound when there is none.
    virtual long openKey(const QString &path, Key *key);
    // Stores data of the given type under name in the open key.
    virtual long setValue(Key key, const QString &name, quint32 type, const QByteArray &data);
    // Without data: reports the value's type and byte size. With data: *size is
    // the room the caller offers; too little gives MoreData and the needed size.
    virtual long queryValue(Key key, const QString &name, quint32 *type, QByteArray *data,
                            quint32 *size);
    virtual long closeKey(Key key);

    int openKeyCount() const { return int(m_open.size()); }
    // Why the last failing call failed, naming the file; empty after successes.
    const QString &lastError() const { return m_lastError; }

private:
    struct Value
    {
        QString name;
        quint32 type = TypeString;
        QByteArray data;
    };
    struct KeyRecord
    {
        QString path;
        QList<Value> values;
    };

    long load(QList<KeyRecord> *keys);
    long save(const QList<KeyRecord> &keys);
    static qsizetype findKey(const QList<KeyRecord> &keys, const QString &path);
    static qsizetype findValue(const KeyRecord &key, const QString &name);
    Key remember(const QString &path);
    // The path an open key stands for and the file as it is now; InvalidHandle,
    // without reading the file, for a key that is not open.
    long loadOpenKey(Key key, QString *path, QList<KeyRecord> *keys);

    QString m_filePath;
    QHash<Key, QString> m_open;
    Key m_nextKey = 1;
    QString m_lastError;
};

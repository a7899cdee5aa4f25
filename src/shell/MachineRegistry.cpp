#include "MachineRegistry.h"

#include <QFile>
#include <QFileInfo>

#include "AppInfo.h"
#include "SafeFileWriter.h"

namespace {
const QByteArray kHeader = "TESSALY-MACHINE-SETTINGS 1";
// The file holds a handful of short values; anything far larger is not ours.
constexpr qint64 kMaxFileSize = 1 << 20;
const QString kWhat = QStringLiteral("machine settings file");

QByteArray encodeName(const QString &text)
{
    return text.toUtf8().toPercentEncoding();
}

QString decodeName(const QByteArray &field)
{
    return QString::fromUtf8(QByteArray::fromPercentEncoding(field));
}

bool isHex(const QByteArray &field)
{
    if (field.size() % 2 != 0)
        return false;
    for (const char c : field) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')))
            return false;
    }
    return true;
}
} // namespace

MachineRegistry::MachineRegistry(QString filePath)
    : m_filePath(std::move(filePath))
{
}

QString MachineRegistry::defaultFilePath()
{
    return AppInfo::programFile(QStringLiteral("machine-settings.reg"));
}

qsizetype MachineRegistry::findKey(const QList<KeyRecord> &keys, const QString &path)
{
    for (qsizetype i = 0; i < keys.size(); ++i) {
        if (keys[i].path.compare(path, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

qsizetype MachineRegistry::findValue(const KeyRecord &key, const QString &name)
{
    for (qsizetype i = 0; i < key.values.size(); ++i) {
        if (key.values[i].name.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

long MachineRegistry::load(QList<KeyRecord> *keys)
{
    keys->clear();
    QFile file(m_filePath);
    if (!file.exists())
        return Success; // nothing stored yet
    if (!file.open(QIODevice::ReadOnly)) {
        m_lastError = SafeFileWriter::describeFailure(kWhat, m_filePath, QStringLiteral("read"),
                                                      file.errorString());
        return AccessDenied;
    }
    if (file.size() > kMaxFileSize) {
        m_lastError = SafeFileWriter::describeFailure(kWhat, m_filePath, QStringLiteral("read"),
                                                      QStringLiteral("it is too large"));
        return InvalidData;
    }
    const QByteArray content = file.read(kMaxFileSize + 1);
    if (content.size() > kMaxFileSize) {
        m_lastError = SafeFileWriter::describeFailure(kWhat, m_filePath, QStringLiteral("read"),
                                                      QStringLiteral("it is too large"));
        return InvalidData;
    }

    // Lines that do not parse are skipped: a damaged line loses only itself.
    KeyRecord *current = nullptr;
    const QList<QByteArray> lines = content.split('\n');
    for (QByteArray line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() == 2 && fields[0] == "K") {
            const QString path = decodeName(fields[1]);
            qsizetype at = findKey(*keys, path);
            if (at < 0) {
                keys->append(KeyRecord{path, {}});
                at = keys->size() - 1;
            }
            current = &(*keys)[at];
        } else if (fields.size() == 4 && fields[0] == "V" && current) {
            bool typeOk = false;
            const quint32 type = fields[2].toUInt(&typeOk);
            if (!typeOk || !isHex(fields[3]))
                continue;
            const Value value{decodeName(fields[1]), type, QByteArray::fromHex(fields[3])};
            const qsizetype at = findValue(*current, value.name);
            if (at < 0)
                current->values.append(value);
            else
                current->values[at] = value;
        }
    }
    return Success;
}

long MachineRegistry::save(const QList<KeyRecord> &keys)
{
    QByteArray out = kHeader + "\r\n";
    for (const KeyRecord &key : keys) {
        out += "K " + encodeName(key.path) + "\r\n";
        for (const Value &value : key.values) {
            out += "V " + encodeName(value.name) + ' ' + QByteArray::number(value.type) + ' ' +
                   value.data.toHex() + "\r\n";
        }
    }
    const QString error = SafeFileWriter::write(m_filePath, out, kWhat);
    if (!error.isEmpty()) {
        m_lastError = error;
        return AccessDenied;
    }
    return Success;
}

MachineRegistry::Key MachineRegistry::remember(const QString &path)
{
    const Key key = m_nextKey++;
    if (m_nextKey == 0)
        m_nextKey = 1;
    m_open.insert(key, path);
    return key;
}

long MachineRegistry::loadOpenKey(Key key, QString *path, QList<KeyRecord> *keys)
{
    m_lastError.clear();
    const auto open = m_open.constFind(key);
    if (open == m_open.constEnd())
        return InvalidHandle;
    *path = *open;
    return load(keys);
}

long MachineRegistry::createKey(const QString &path, Key *key)
{
    *key = 0;
    m_lastError.clear();
    QList<KeyRecord> keys;
    if (const long status = load(&keys); status != Success)
        return status;
    if (findKey(keys, path) < 0)
        keys.append(KeyRecord{path, {}});
    // Written even when the key was there: opening for writing must prove that
    // writing is possible, or a later refusal would come as a surprise.
    if (const long status = save(keys); status != Success)
        return status;
    *key = remember(path);
    return Success;
}

long MachineRegistry::openKey(const QString &path, Key *key)
{
    *key = 0;
    m_lastError.clear();
    QList<KeyRecord> keys;
    if (const long status = load(&keys); status != Success)
        return status;
    if (findKey(keys, path) < 0)
        return NotFound;
    *key = remember(path);
    return Success;
}

long MachineRegistry::setValue(Key key, const QString &name, quint32 type, const QByteArray &data)
{
    QString path;
    QList<KeyRecord> keys;
    if (const long status = loadOpenKey(key, &path, &keys); status != Success)
        return status;
    qsizetype at = findKey(keys, path);
    if (at < 0) {
        // Removed by someone else since it was opened: bring it back.
        keys.append(KeyRecord{path, {}});
        at = keys.size() - 1;
    }
    KeyRecord &record = keys[at];
    const qsizetype valueAt = findValue(record, name);
    if (valueAt < 0)
        record.values.append(Value{name, type, data});
    else
        record.values[valueAt] = Value{record.values[valueAt].name, type, data};
    return save(keys);
}

long MachineRegistry::queryValue(Key key, const QString &name, quint32 *type, QByteArray *data,
                                 quint32 *size)
{
    QString path;
    QList<KeyRecord> keys;
    if (const long status = loadOpenKey(key, &path, &keys); status != Success)
        return status;
    const qsizetype at = findKey(keys, path);
    if (at < 0)
        return NotFound;
    const qsizetype valueAt = findValue(keys[at], name);
    if (valueAt < 0)
        return NotFound;
    const Value &value = keys[at].values[valueAt];
    if (type)
        *type = value.type;
    const auto needed = quint32(value.data.size());
    if (data) {
        if (!size || *size < needed) {
            if (size)
                *size = needed;
            return MoreData;
        }
        *data = value.data;
    }
    if (size)
        *size = needed;
    return Success;
}

long MachineRegistry::closeKey(Key key)
{
    return m_open.remove(key) ? Success : InvalidHandle;
}

// library: tessaly_shell
// The machine settings file as anything may have left it: the settings store
// reads through it, then a value is stored and must read back, and the other
// keys the file held must survive that write.
#include <QFile>

#include "FuzzSupport.h"
#include "MachineRegistry.h"
#include "MessageBoxes.h"
#include "SettingsStore.h"
#include "TessalyError.h"

namespace {
const QString kApp = QStringLiteral("Tessaly");
const QString kSection = QStringLiteral("Settings");

QString path()
{
    return MachineRegistry::defaultFilePath();
}

// Every key path and value name the file holds, by the registry's own reading.
QStringList keyPathsIn(const QByteArray &content)
{
    QStringList paths;
    for (QByteArray line : content.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() == 2 && fields[0] == "K")
            paths.append(QString::fromUtf8(QByteArray::fromPercentEncoding(fields[1])));
    }
    return paths;
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    FuzzSupport::init(argc, argv);
    // A refused write would ask the user; the fuzzer answers Abort.
    MessageBoxes::setAsker([](const MessageBoxes::Request &) { return MessageBoxes::Abort; });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray content = FuzzSupport::bytes(data, size);
    FuzzSupport::writeFile(path(), content);

    for (const QString &key : {QStringLiteral("autoSave"), QStringLiteral("x")}) {
        try {
            SettingsStore::GetMachineSetting(kApp, kSection, key, QStringLiteral("d"));
        } catch (const TessalyError &) {
            // A value of another type is a numbered error by design.
        }
    }
    FUZZ_CHECK(FuzzSupport::readFile(path()) == content, QStringLiteral("a read changed the file"));

    MachineRegistry registry(path());
    const QStringList pathsBefore = keyPathsIn(content);
    for (const QString &keyPath : pathsBefore) {
        MachineRegistry::Key key = 0;
        FUZZ_CHECK(registry.openKey(keyPath, &key) == MachineRegistry::Success, keyPath);
        quint32 type = 0;
        quint32 needed = 0;
        const long status =
            registry.queryValue(key, QStringLiteral("autoSave"), &type, nullptr, &needed);
        if (status == MachineRegistry::Success) {
            QByteArray value;
            quint32 room = needed;
            FUZZ_CHECK(registry.queryValue(key, QStringLiteral("autoSave"), &type, &value, &room) ==
                               MachineRegistry::Success &&
                           quint32(value.size()) == needed,
                       keyPath);
        }
        registry.closeKey(key);
    }

    if (!SettingsStore::SaveMachineSetting(kApp, kSection, QStringLiteral("autoSave"),
                                           QStringLiteral("fuzz 1"))) {
        // Only a file too large for the registry may refuse a write.
        FUZZ_CHECK(content.size() > (1 << 20), QStringLiteral("save refused"));
        FUZZ_CHECK(FuzzSupport::readFile(path()) == content, QString());
        return 0;
    }
    FUZZ_CHECK(SettingsStore::GetMachineSetting(kApp, kSection, QStringLiteral("autoSave"), {}) ==
                   QStringLiteral("fuzz 1"),
               QString());
    // Every key the file held is still there after the write.
    for (const QString &keyPath : pathsBefore) {
        MachineRegistry::Key key = 0;
        FUZZ_CHECK(registry.openKey(keyPath, &key) == MachineRegistry::Success, keyPath);
        registry.closeKey(key);
    }
    return 0;
}

// The settings' registry store: any bytes as a key's values file, then read
// by name and type and written back.

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "FuzzSupport.h"
#include "RegistryStore.h"

using zem::os::RegistryRoot;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static QTemporaryDir folder;
    static const zem::os::RegistryStore store(folder.path());
    static const QString key = QStringLiteral("Software\\ZemConverter\\Fuzz\\");
    static const bool made = store.CreateKey(RegistryRoot::CurrentUser, key);
    if (!made)
        __builtin_trap();
    QFile values(QDir(store.KeyFolder(RegistryRoot::CurrentUser, key)).filePath(QStringLiteral("values.reg")));
    if (!values.open(QIODevice::WriteOnly | QIODevice::Truncate))
        __builtin_trap();
    values.write(reinterpret_cast<const char*>(data), qint64(size));
    values.close();
    for (const QString& name : {QString(), QStringLiteral("Size"), QStringLiteral("Lang"), QStringLiteral("Window")}) {
        store.ReadNumber(RegistryRoot::CurrentUser, key, name);
        store.ReadString(RegistryRoot::CurrentUser, key, name);
        store.ReadBinary(RegistryRoot::CurrentUser, key, name);
    }
    // What was read is written back whole and read again the same.
    if (const auto text = store.ReadString(RegistryRoot::CurrentUser, key, QStringLiteral("Lang"))) {
        if (!store.WriteString(RegistryRoot::CurrentUser, key, QStringLiteral("Lang"), *text) ||
            store.ReadString(RegistryRoot::CurrentUser, key, QStringLiteral("Lang")) != text)
            __builtin_trap();
    }
    return 0;
}

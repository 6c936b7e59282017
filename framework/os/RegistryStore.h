#pragma once
// A small registry: keys are folders under a base folder (one per root), each
// key keeps its typed values in one text file. Key paths are written the
// Windows way ("Software\Vexlin\DVobSub\General\") so outside components keep
// their familiar names; the unnamed (default) value has the empty name.

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <map>
#include <optional>
#include <variant>

namespace zem::os {

enum class RegistryRoot { LocalMachine, CurrentUser, ClassesRoot };

using RegistryValue = std::variant<uint32_t, QString, QByteArray>;

// ~/.config/ZemConverter/registry (or $XDG_CONFIG_HOME/ZemConverter/registry).
QString DefaultRegistryFolder();

class RegistryStore {
public:
    explicit RegistryStore(QString baseFolder = DefaultRegistryFolder());


    bool KeyExists(RegistryRoot root, const QString& keyPath) const;
    // Creates the key and its parents; true when it exists afterwards.
    bool CreateKey(RegistryRoot root, const QString& keyPath) const;

    std::optional<uint32_t> ReadNumber(RegistryRoot root, const QString& keyPath, const QString& name) const;
    std::optional<QString> ReadString(RegistryRoot root, const QString& keyPath, const QString& name) const;
    std::optional<QByteArray> ReadBinary(RegistryRoot root, const QString& keyPath, const QString& name) const;

    // Writes go only into keys that exist, like opening a key for setting a
    // value: a missing key makes the write fail and changes nothing.
    bool WriteNumber(RegistryRoot root, const QString& keyPath, const QString& name, uint32_t value) const;
    bool WriteString(RegistryRoot root, const QString& keyPath, const QString& name, const QString& value) const;
    bool WriteBinary(RegistryRoot root, const QString& keyPath, const QString& name, const QByteArray& value) const;

    // The folder that holds a key's values (exposed for tests and tools).
    QString KeyFolder(RegistryRoot root, const QString& keyPath) const;

private:
    using Values = std::map<QString, RegistryValue>;
    std::optional<Values> ReadValues(RegistryRoot root, const QString& keyPath) const;
    bool WriteValue(RegistryRoot root, const QString& keyPath, const QString& name, RegistryValue value) const;

    QString m_baseFolder;
};

} // namespace zem::os

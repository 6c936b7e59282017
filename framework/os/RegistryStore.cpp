#include "RegistryStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QStringList>
#include <QUrl>

namespace zem::os {

namespace {

constexpr const char* kValuesFileName = "values.reg";
constexpr const char* kTypeNumber = "dword";
constexpr const char* kTypeString = "sz";
constexpr const char* kTypeBinary = "hex";

QString RootFolderName(RegistryRoot root) {
    switch (root) {
    case RegistryRoot::LocalMachine:
        return QStringLiteral("HKEY_LOCAL_MACHINE");
    case RegistryRoot::CurrentUser:
        return QStringLiteral("HKEY_CURRENT_USER");
    case RegistryRoot::ClassesRoot:
        return QStringLiteral("HKEY_CLASSES_ROOT");
    }
    return {};
}

// A key path names folders; "." and ".." components would leave the store.
std::optional<QStringList> KeyComponents(const QString& keyPath) {
    QStringList parts = keyPath.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    for (const QString& part : parts) {
        if (part == QLatin1String(".") || part == QLatin1String("..") || part.contains(QLatin1Char('/')))
            return std::nullopt;
    }
    return parts;
}

// Values file: one line per value, "name<TAB>type<TAB>data"; names and
// strings are percent-encoded so tabs and line breaks survive.
QByteArray Encode(const QString& text) {
    return QUrl::toPercentEncoding(text);
}
QString Decode(const QByteArray& text) {
    return QUrl::fromPercentEncoding(text);
}

} // namespace

QString DefaultRegistryFolder() {
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return QDir(base).filePath(QStringLiteral("ZemConverter/registry"));
}

RegistryStore::RegistryStore(QString baseFolder) : m_baseFolder(std::move(baseFolder)) {}

QString RegistryStore::KeyFolder(RegistryRoot root, const QString& keyPath) const {
    const auto parts = KeyComponents(keyPath);
    if (!parts)
        return {};
    QString folder = QDir(m_baseFolder).filePath(RootFolderName(root));
    for (const QString& part : *parts)
        folder = QDir(folder).filePath(part);
    return folder;
}

bool RegistryStore::KeyExists(RegistryRoot root, const QString& keyPath) const {
    const QString folder = KeyFolder(root, keyPath);
    return !folder.isEmpty() && QDir(folder).exists();
}

bool RegistryStore::CreateKey(RegistryRoot root, const QString& keyPath) const {
    const QString folder = KeyFolder(root, keyPath);
    return !folder.isEmpty() && QDir().mkpath(folder);
}

std::optional<RegistryStore::Values> RegistryStore::ReadValues(RegistryRoot root, const QString& keyPath) const {
    if (!KeyExists(root, keyPath))
        return std::nullopt;
    Values values;
    QFile file(QDir(KeyFolder(root, keyPath)).filePath(QLatin1String(kValuesFileName)));
    // Anything but a file (a FIFO would hold the read) holds no values.
    if (!QFileInfo(file).isFile() || !file.open(QIODevice::ReadOnly))
        return values; // a key without values
    while (!file.atEnd()) {
        QByteArray line = file.readLine();
        // Only the line end goes: the default value's name is empty, so a
        // line may start with its tab.
        while (line.endsWith('\n') || line.endsWith('\r'))
            line.chop(1);
        const QList<QByteArray> fields = line.split('\t');
        if (fields.size() != 3)
            continue;
        const QString name = Decode(fields[0]);
        const QByteArray& type = fields[1];
        if (type == kTypeNumber) {
            bool ok = false;
            const uint32_t number = fields[2].toUInt(&ok, 16);
            if (ok)
                values[name] = number;
        } else if (type == kTypeString) {
            values[name] = Decode(fields[2]);
        } else if (type == kTypeBinary) {
            values[name] = QByteArray::fromHex(fields[2]);
        }
    }
    return values;
}

bool RegistryStore::WriteValue(RegistryRoot root, const QString& keyPath, const QString& name,
                               RegistryValue value) const {
    auto values = ReadValues(root, keyPath);
    if (!values)
        return false;
    (*values)[name] = std::move(value);
    QSaveFile file(QDir(KeyFolder(root, keyPath)).filePath(QLatin1String(kValuesFileName)));
    if (!file.open(QIODevice::WriteOnly))
        return false;
    for (const auto& [valueName, data] : *values) {
        QByteArray line = Encode(valueName) + '\t';
        if (const auto* number = std::get_if<uint32_t>(&data))
            line += QByteArray(kTypeNumber) + '\t' + QByteArray::number(*number, 16).rightJustified(8, '0');
        else if (const auto* text = std::get_if<QString>(&data))
            line += QByteArray(kTypeString) + '\t' + Encode(*text);
        else
            line += QByteArray(kTypeBinary) + '\t' + std::get<QByteArray>(data).toHex();
        file.write(line + '\n');
    }
    return file.commit();
}

std::optional<uint32_t> RegistryStore::ReadNumber(RegistryRoot root, const QString& keyPath,
                                                  const QString& name) const {
    const auto values = ReadValues(root, keyPath);
    if (!values)
        return std::nullopt;
    const auto it = values->find(name);
    if (it == values->end() || !std::holds_alternative<uint32_t>(it->second))
        return std::nullopt;
    return std::get<uint32_t>(it->second);
}

std::optional<QString> RegistryStore::ReadString(RegistryRoot root, const QString& keyPath, const QString& name) const {
    const auto values = ReadValues(root, keyPath);
    if (!values)
        return std::nullopt;
    const auto it = values->find(name);
    if (it == values->end() || !std::holds_alternative<QString>(it->second))
        return std::nullopt;
    return std::get<QString>(it->second);
}

std::optional<QByteArray> RegistryStore::ReadBinary(RegistryRoot root, const QString& keyPath,
                                                    const QString& name) const {
    const auto values = ReadValues(root, keyPath);
    if (!values)
        return std::nullopt;
    const auto it = values->find(name);
    if (it == values->end() || !std::holds_alternative<QByteArray>(it->second))
        return std::nullopt;
    return std::get<QByteArray>(it->second);
}

bool RegistryStore::WriteNumber(RegistryRoot root, const QString& keyPath, const QString& name, uint32_t value) const {
    return WriteValue(root, keyPath, name, value);
}

bool RegistryStore::WriteString(RegistryRoot root, const QString& keyPath, const QString& name,
                                const QString& value) const {
    return WriteValue(root, keyPath, name, value);
}

bool RegistryStore::WriteBinary(RegistryRoot root, const QString& keyPath, const QString& name,
                                const QByteArray& value) const {
    return WriteValue(root, keyPath, name, value);
}

} // namespace zem::os

#include "QtSettingsStore.h"

#include <QDateTime>
#include <QFile>
#include <QMetaType>
#include <QStringList>

#include <limits>

namespace vq5::qt {

namespace {
QString Key(const std::string& section, const std::string& key) {
    // One group per section. QSettings treats '/' and '\' in a key as group separators; the
    // tools' names never contain them, and a name that does simply lands in a sub-group.
    return QString::fromStdString(section) + QLatin1Char('/') + QString::fromStdString(key);
}
} // namespace

std::optional<std::int64_t> VariantToInt(const QVariant& v) {
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::Short:
        return v.toLongLong();
    case QMetaType::UInt:
    case QMetaType::ULong:
    case QMetaType::UShort:
        return static_cast<std::int64_t>(v.toULongLong());
    case QMetaType::ULongLong: {
        qulonglong u = v.toULongLong();
        if (u > static_cast<qulonglong>(std::numeric_limits<std::int64_t>::max()))
            return std::nullopt;
        return static_cast<std::int64_t>(u);
    }
    case QMetaType::QString:
    case QMetaType::QByteArray: {
        // An INI file keeps every value as text: a number reads back as its digits.
        const QString text = v.toString();
        if (text.isEmpty() || text.trimmed() != text)
            return std::nullopt;
        bool ok = false;
        qlonglong n = text.toLongLong(&ok, 10);
        if (!ok)
            return std::nullopt;
        return static_cast<std::int64_t>(n);
    }
    default:
        return std::nullopt;
    }
}

std::optional<std::string> VariantToString(const QVariant& v) {
    switch (v.typeId()) {
    case QMetaType::QString:
        return v.toString().toStdString();
    case QMetaType::QByteArray:
        return v.toByteArray().toStdString();
    default:
        return std::nullopt;
    }
}

CQtSettingsStore::CQtSettingsStore(const QString& program)
    : m_Settings(std::make_unique<QSettings>(QString::fromLatin1(kOrganisation), program)) {}

CQtSettingsStore::CQtSettingsStore(std::unique_ptr<QSettings> settings) : m_Settings(std::move(settings)) {}

std::unique_ptr<CQtSettingsStore> CQtSettingsStore::FromFile(const QString& fileName) {
    return std::unique_ptr<CQtSettingsStore>(
        new CQtSettingsStore(std::make_unique<QSettings>(fileName, QSettings::IniFormat)));
}

QString KeepCorruptFileAside(const QString& fileName) {
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    const QString base = fileName + QStringLiteral(".corrupt-") + stamp;
    QString target = base;
    for (int n = 2; QFile::exists(target) && n < 1000; ++n)
        target = base + QLatin1Char('-') + QString::number(n);
    if (QFile::exists(target) || !QFile::rename(fileName, target))
        return {};
    return target;
}

std::unique_ptr<CQtSettingsStore>
CQtSettingsStore::KeepingDamage(const std::function<std::unique_ptr<QSettings>()>& open, QString* keptAs) {
    if (keptAs)
        keptAs->clear();
    std::unique_ptr<QSettings> settings = open();
    // QSettings parses the file on first use; only then does it know about a format error.
    const QStringList keys = settings->allKeys();
    if (settings->status() != QSettings::FormatError)
        return std::unique_ptr<CQtSettingsStore>(new CQtSettingsStore(std::move(settings)));
    // A sync would write the file back without the lines it could not read: keep the damaged
    // file as it is, and start a fresh one with every value that could be read.
    QList<std::pair<QString, QVariant>> readable;
    for (const QString& key : keys)
        readable.append({key, settings->value(key)});
    const QString fileName = settings->fileName();
    settings.reset();
    const QString aside = KeepCorruptFileAside(fileName);
    if (aside.isEmpty()) {
        // The file could not be renamed (read-only folder): use what was read and never
        // write over the damaged file.
        auto kept = std::unique_ptr<CQtSettingsStore>(new CQtSettingsStore(open()));
        kept->m_ReadOnly = true;
        return kept;
    }
    if (keptAs)
        *keptAs = aside;
    settings = open();
    for (const auto& [key, value] : readable)
        settings->setValue(key, value);
    return std::unique_ptr<CQtSettingsStore>(new CQtSettingsStore(std::move(settings)));
}

std::unique_ptr<CQtSettingsStore> CQtSettingsStore::ForTool(const QString& program, QString* keptAs) {
    return KeepingDamage(
        [&] { return std::make_unique<QSettings>(QString::fromLatin1(kOrganisation), program); }, keptAs);
}

std::unique_ptr<CQtSettingsStore> CQtSettingsStore::FromFileKeepingDamage(const QString& fileName,
                                                                          QString* keptAs) {
    return KeepingDamage([&] { return std::make_unique<QSettings>(fileName, QSettings::IniFormat); }, keptAs);
}

CQtSettingsStore::~CQtSettingsStore() {
    Sync();
}

QVariant CQtSettingsStore::Read(const std::string& section, const std::string& key) {
    std::lock_guard<std::mutex> lock(m_Lock);
    return m_Settings->value(Key(section, key));
}

std::optional<std::int64_t> CQtSettingsStore::ReadInt(const std::string& section, const std::string& key) {
    return VariantToInt(Read(section, key));
}

std::optional<std::string> CQtSettingsStore::ReadString(const std::string& section, const std::string& key) {
    return VariantToString(Read(section, key));
}

void CQtSettingsStore::WriteInt(const std::string& section, const std::string& key, std::int64_t value) {
    std::lock_guard<std::mutex> lock(m_Lock);
    if (m_ReadOnly)
        return;
    if (value >= std::numeric_limits<int>::min() && value <= std::numeric_limits<int>::max())
        m_Settings->setValue(Key(section, key), static_cast<int>(value));
    else
        m_Settings->setValue(Key(section, key), static_cast<qlonglong>(value));
}

void CQtSettingsStore::WriteString(const std::string& section, const std::string& key,
                                   const std::string& value) {
    std::lock_guard<std::mutex> lock(m_Lock);
    if (m_ReadOnly)
        return;
    m_Settings->setValue(Key(section, key), QString::fromStdString(value));
}

void CQtSettingsStore::Sync() {
    std::lock_guard<std::mutex> lock(m_Lock);
    if (m_ReadOnly)
        return; // a damaged file that could not be kept aside is never written over
    m_Settings->sync();
}

QString CQtSettingsStore::FileName() const {
    std::lock_guard<std::mutex> lock(m_Lock);
    return m_Settings->fileName();
}

QSettings::Status CQtSettingsStore::Status() const {
    std::lock_guard<std::mutex> lock(m_Lock);
    return m_Settings->status();
}

} // namespace vq5::qt

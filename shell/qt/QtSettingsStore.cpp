#include "QtSettingsStore.h"

#include <QMetaType>

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

CQtSettingsStore::~CQtSettingsStore() { Sync(); }

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
    if (value >= std::numeric_limits<int>::min() && value <= std::numeric_limits<int>::max())
        m_Settings->setValue(Key(section, key), static_cast<int>(value));
    else
        m_Settings->setValue(Key(section, key), static_cast<qlonglong>(value));
}

void CQtSettingsStore::WriteString(const std::string& section, const std::string& key, const std::string& value) {
    std::lock_guard<std::mutex> lock(m_Lock);
    m_Settings->setValue(Key(section, key), QString::fromStdString(value));
}

void CQtSettingsStore::Sync() {
    std::lock_guard<std::mutex> lock(m_Lock);
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

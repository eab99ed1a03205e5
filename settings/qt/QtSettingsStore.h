// The per-user settings store of a tool, kept by QSettings: organisation "Lumark Electronics",
// application = the program name, one group per section (the key
// Software\Lumark Electronics\<program> on Windows, ~/.config/Lumark Electronics/<program>.conf
// on Linux).
//
// Integers are stored as integers and strings as strings. A value of the other type reads
// as absent, so the caller takes its default: a text where a number is expected (a number
// written as text in the file counts as a number when the whole text is one), a number where
// a text is expected (possible in the Windows registry), a list or any other stored type.
#pragma once

#include "SettingsStore.h"

#include <QSettings>
#include <QString>

#include <functional>
#include <memory>
#include <mutex>

namespace vq5::qt {

inline constexpr const char* kOrganisation = "Lumark Electronics";

class CQtSettingsStore : public ISettingsStore {
public:
    // The tool's own key: organisation "Lumark Electronics", application `program`.
    explicit CQtSettingsStore(const QString& program);
    // A store kept in one INI file (tests, demo settings).
    static std::unique_ptr<CQtSettingsStore> FromFile(const QString& fileName);
    // The tool's own key, as the constructor. A settings file that QSettings cannot parse
    // (QSettings::FormatError) is not overwritten: it is renamed "<file>.corrupt-<timestamp>",
    // the values that could be read from it are carried into a fresh file, and `keptAs` (when
    // given) receives the new name of the damaged file; it stays empty otherwise.
    static std::unique_ptr<CQtSettingsStore> ForTool(const QString& program, QString* keptAs = nullptr);
    // The same for a store kept in one INI file.
    static std::unique_ptr<CQtSettingsStore> FromFileKeepingDamage(const QString& fileName,
                                                                   QString* keptAs = nullptr);
    ~CQtSettingsStore() override;

    std::optional<std::int64_t> ReadInt(const std::string& section, const std::string& key) override;
    std::optional<std::string> ReadString(const std::string& section, const std::string& key) override;
    void WriteInt(const std::string& section, const std::string& key, std::int64_t value) override;
    void WriteString(const std::string& section, const std::string& key, const std::string& value) override;

    // Writes what is pending to the settings file; the store also does this when it goes.
    void Sync();
    QString FileName() const;
    // Status of the last Sync (QSettings::NoError when fine).
    QSettings::Status Status() const;
    // True when the store only reads: a damaged file that could not be renamed.
    bool ReadOnly() const { return m_ReadOnly; }

private:
    explicit CQtSettingsStore(std::unique_ptr<QSettings> settings);
    static std::unique_ptr<CQtSettingsStore>
    KeepingDamage(const std::function<std::unique_ptr<QSettings>()>& open, QString* keptAs);
    QVariant Read(const std::string& section, const std::string& key);

    mutable std::mutex m_Lock; // guards m_Settings
    std::unique_ptr<QSettings> m_Settings;
    bool m_ReadOnly = false; // set before the store is handed out, then only read
};

// Interprets a stored value as an integer: integer types as they are, a text only when the
// whole text is one decimal number (optional sign); anything else is nullopt.
std::optional<std::int64_t> VariantToInt(const QVariant& v);
// A text value as UTF-8; numbers, lists and other types are nullopt.
std::optional<std::string> VariantToString(const QVariant& v);

// Renames a damaged settings file to "<file>.corrupt-<yyyyMMdd-HHmmss>" (with "-2", "-3" ...
// added when that name is taken). Returns the new name, or an empty text when it could not
// be renamed.
QString KeepCorruptFileAside(const QString& fileName);

} // namespace vq5::qt

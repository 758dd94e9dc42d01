#include "QtSettingsStore.h"

#include "core/XdgFolders.h"

#include <QSettings>
#include <QString>
#include <QStringList>
#include <QVariant>

namespace ambrel {

namespace {

QString keyOf(std::string_view key) {
    return QString::fromUtf8(key.data(), static_cast<qsizetype>(key.size()));
}

std::vector<std::string> listOf(const QStringList& list) {
    std::vector<std::string> result;
    for (const auto& item : list) {
        result.push_back(item.toStdString());
    }
    return result;
}

} // namespace

// The file Qt's native format would use, found afresh each time rather than through Qt's
// cache of the environment.
QtSettingsStore::QtSettingsStore()
    : QtSettingsStore(core::XdgFolders::configHome() / "Ambrel" / "Ambrel.conf") {}

QtSettingsStore::QtSettingsStore(const std::filesystem::path& file)
    : settings_(std::make_unique<QSettings>(QString::fromStdString(file.string()),
                                            QSettings::IniFormat)) {}

QtSettingsStore::~QtSettingsStore() = default;

std::optional<core::SettingsStore::Value> QtSettingsStore::value(std::string_view key) const {
    const std::lock_guard lock(mutex_);
    if (!settings_->contains(keyOf(key))) {
        return std::nullopt;
    }
    const QVariant stored = settings_->value(keyOf(key));
    switch (stored.typeId()) {
    case QMetaType::Bool:
        return stored.toBool();
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Int:
    case QMetaType::LongLong:
        return stored.toDouble();
    case QMetaType::QStringList:
        return listOf(stored.toStringList());
    case QMetaType::UnknownType:
        return std::vector<std::string>{}; // how the file writes an empty list
    default:
        return stored.toString().toStdString();
    }
}

void QtSettingsStore::setValue(std::string_view key, Value value) {
    QVariant stored;
    if (const auto* flag = std::get_if<bool>(&value)) {
        stored = *flag;
    } else if (const auto* number = std::get_if<double>(&value)) {
        stored = *number;
    } else if (const auto* text = std::get_if<std::string>(&value)) {
        stored = QString::fromStdString(*text);
    } else {
        QStringList list;
        for (const auto& item : std::get<std::vector<std::string>>(value)) {
            list.push_back(QString::fromStdString(item));
        }
        stored = list;
    }
    const std::lock_guard lock(mutex_);
    settings_->setValue(keyOf(key), stored);
}

void QtSettingsStore::remove(std::string_view key) {
    const std::lock_guard lock(mutex_);
    settings_->remove(keyOf(key));
}

namespace {

// The stored value when it has type T, else what its text (an INI file keeps only texts) reads as.
template <typename T, typename FromText>
std::optional<T> typedOrText(const std::optional<core::SettingsStore::Value>& stored,
                             FromText fromText) {
    if (!stored) {
        return std::nullopt;
    }
    if (const auto* typed = std::get_if<T>(&*stored)) {
        return *typed;
    }
    if (const auto* text = std::get_if<std::string>(&*stored)) {
        return fromText(*text);
    }
    return std::nullopt;
}

} // namespace

std::optional<bool> QtSettingsStore::boolValue(std::string_view key) const {
    return typedOrText<bool>(value(key), [](const std::string& text) -> std::optional<bool> {
        if (text == "true" || text == "false") {
            return text == "true";
        }
        return std::nullopt;
    });
}

std::optional<double> QtSettingsStore::doubleValue(std::string_view key) const {
    return typedOrText<double>(value(key), [](const std::string& text) -> std::optional<double> {
        bool ok = false;
        const double number = QString::fromStdString(text).toDouble(&ok);
        return ok ? std::optional(number) : std::nullopt;
    });
}

std::optional<std::vector<std::string>>
QtSettingsStore::stringListValue(std::string_view key) const {
    return typedOrText<std::vector<std::string>>(
        value(key), [](const std::string& text) { return std::vector<std::string>{text}; });
}

void QtSettingsStore::sync() {
    const std::lock_guard lock(mutex_);
    settings_->sync();
}

} // namespace ambrel

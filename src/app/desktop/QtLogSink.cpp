#include "QtLogSink.h"

#include "core/Log.h"

#include <QLoggingCategory>

namespace ambrel::QtLogSink {

namespace {

Q_LOGGING_CATEGORY(audioCategory, "org.ambrel.Ambrel.audio", QtInfoMsg)
Q_LOGGING_CATEGORY(transcriptCategory, "org.ambrel.Ambrel.transcript", QtInfoMsg)

void write(std::string_view category, core::LogLevel level, std::string_view message) {
    const QLoggingCategory& target =
        category.ends_with(".audio") ? audioCategory() : transcriptCategory();
    const QString text = QString::fromUtf8(message.data(), static_cast<qsizetype>(message.size()));
    switch (level) {
    case core::LogLevel::debug:
    case core::LogLevel::info:
        // Qt has no tier between info and warning: the routine ones are off unless asked for.
        qCDebug(target).noquote() << text;
        break;
    case core::LogLevel::notice:
        qCInfo(target).noquote() << text;
        break;
    case core::LogLevel::error:
        qCWarning(target).noquote() << text;
        break;
    case core::LogLevel::fault:
        qCCritical(target).noquote() << text;
        break;
    }
}

} // namespace

void install() {
    // The category in every line unless the user asked for another pattern.
    qSetMessagePattern(QStringLiteral("%{category} %{type}: %{message}"));
    core::Log::setSink(write);
}

} // namespace ambrel::QtLogSink

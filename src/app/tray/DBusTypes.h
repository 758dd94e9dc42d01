#pragma once

#include <QByteArray>
#include <QDBusArgument>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QStringList>
#include <QVariantMap>

// The structures the StatusNotifier and dbusmenu protocols send, marshalled for Qt D-Bus.
class QDBusConnection;
class QDBusMessage;

namespace ambrel::DBusTypes {

// One menu item with its children, as GetLayout answers: (ia{sv}av).
struct LayoutItem {
    int id = 0;
    QVariantMap properties;
    QList<LayoutItem> children;
};

// One menu item's properties: (ia{sv}).
struct ItemProperties {
    int id = 0;
    QVariantMap properties;
};

// The properties an item lost: (ias).
struct ItemPropertyNames {
    int id = 0;
    QStringList names;
};

// An image as width, height and ARGB32 bytes in network order: (iiay).
struct Image {
    int width = 0;
    int height = 0;
    QByteArray bytes;
};

// A tooltip: icon name, images, title and text: (sa(iiay)ss).
struct ToolTip {
    QString iconName;
    QList<Image> images;
    QString title;
    QString text;
};

// Registers every type above with Qt's D-Bus; once is enough, more is harmless.
void registerAll();

// Answers org.freedesktop.DBus.Properties Get and GetAll from `all`; false for other calls.
bool answerProperties(const QDBusMessage& message, const QDBusConnection& connection,
                      const QVariantMap& all);

} // namespace ambrel::DBusTypes

Q_DECLARE_METATYPE(ambrel::DBusTypes::LayoutItem)
Q_DECLARE_METATYPE(ambrel::DBusTypes::ItemProperties)
Q_DECLARE_METATYPE(ambrel::DBusTypes::ItemPropertyNames)
Q_DECLARE_METATYPE(ambrel::DBusTypes::Image)
Q_DECLARE_METATYPE(ambrel::DBusTypes::ToolTip)

QDBusArgument& operator<<(QDBusArgument& argument, const ambrel::DBusTypes::LayoutItem& item);
const QDBusArgument& operator>>(const QDBusArgument& argument, ambrel::DBusTypes::LayoutItem& item);
QDBusArgument& operator<<(QDBusArgument& argument, const ambrel::DBusTypes::ItemProperties& item);
const QDBusArgument& operator>>(const QDBusArgument& argument,
                                ambrel::DBusTypes::ItemProperties& item);
QDBusArgument& operator<<(QDBusArgument& argument,
                          const ambrel::DBusTypes::ItemPropertyNames& item);
const QDBusArgument& operator>>(const QDBusArgument& argument,
                                ambrel::DBusTypes::ItemPropertyNames& item);
QDBusArgument& operator<<(QDBusArgument& argument, const ambrel::DBusTypes::Image& image);
const QDBusArgument& operator>>(const QDBusArgument& argument, ambrel::DBusTypes::Image& image);
QDBusArgument& operator<<(QDBusArgument& argument, const ambrel::DBusTypes::ToolTip& tip);
const QDBusArgument& operator>>(const QDBusArgument& argument, ambrel::DBusTypes::ToolTip& tip);

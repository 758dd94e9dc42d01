#include "DBusTypes.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusVariant>

#include <mutex>

using namespace ambrel::DBusTypes;

QDBusArgument& operator<<(QDBusArgument& argument, const LayoutItem& item) {
    argument.beginStructure();
    argument << item.id << item.properties;
    argument.beginArray(qMetaTypeId<QDBusVariant>());
    for (const auto& child : item.children) {
        argument << QDBusVariant(QVariant::fromValue(child));
    }
    argument.endArray();
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, LayoutItem& item) {
    argument.beginStructure();
    argument >> item.id >> item.properties;
    argument.beginArray();
    item.children.clear();
    while (!argument.atEnd()) {
        QDBusVariant child;
        argument >> child;
        item.children.append(qdbus_cast<LayoutItem>(child.variant()));
    }
    argument.endArray();
    argument.endStructure();
    return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const ItemProperties& item) {
    argument.beginStructure();
    argument << item.id << item.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, ItemProperties& item) {
    argument.beginStructure();
    argument >> item.id >> item.properties;
    argument.endStructure();
    return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const ItemPropertyNames& item) {
    argument.beginStructure();
    argument << item.id << item.names;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, ItemPropertyNames& item) {
    argument.beginStructure();
    argument >> item.id >> item.names;
    argument.endStructure();
    return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const Image& image) {
    argument.beginStructure();
    argument << image.width << image.height << image.bytes;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, Image& image) {
    argument.beginStructure();
    argument >> image.width >> image.height >> image.bytes;
    argument.endStructure();
    return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const ToolTip& tip) {
    argument.beginStructure();
    argument << tip.iconName << tip.images << tip.title << tip.text;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, ToolTip& tip) {
    argument.beginStructure();
    argument >> tip.iconName >> tip.images >> tip.title >> tip.text;
    argument.endStructure();
    return argument;
}

namespace ambrel::DBusTypes {

bool answerProperties(const QDBusMessage& message, const QDBusConnection& connection,
                      const QVariantMap& all) {
    const QVariantList arguments = message.arguments();
    if (message.member() == QLatin1String("GetAll")) {
        return connection.send(message.createReply(QVariantList{all}));
    }
    if (message.member() != QLatin1String("Get") || arguments.size() != 2) {
        return false;
    }
    const auto found = all.find(arguments[1].toString());
    if (found == all.end()) {
        return connection.send(
            message.createErrorReply(QDBusError::InvalidArgs, QStringLiteral("No such property")));
    }
    return connection.send(
        message.createReply(QVariantList{QVariant::fromValue(QDBusVariant(*found))}));
}

void registerAll() {
    static std::once_flag once;
    std::call_once(once, [] {
        qDBusRegisterMetaType<LayoutItem>();
        qDBusRegisterMetaType<ItemProperties>();
        qDBusRegisterMetaType<QList<ItemProperties>>();
        qDBusRegisterMetaType<ItemPropertyNames>();
        qDBusRegisterMetaType<QList<ItemPropertyNames>>();
        qDBusRegisterMetaType<Image>();
        qDBusRegisterMetaType<QList<Image>>();
        qDBusRegisterMetaType<ToolTip>();
    });
}

} // namespace ambrel::DBusTypes

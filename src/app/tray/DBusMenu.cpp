#include "DBusMenu.h"

#include "DBusTypes.h"
#include "app/desktop/MenuIcons.h"

#include <QBuffer>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QImage>
#include <QMetaObject>
#include <QPixmap>

namespace ambrel {

namespace {

using DBusTypes::ItemProperties;
using DBusTypes::ItemPropertyNames;
using DBusTypes::LayoutItem;

// dbusmenu marks mnemonics with "_": a real one is written twice.
QString label(const std::string& text) {
    return QString::fromStdString(text).replace(QLatin1Char('_'), QStringLiteral("__"));
}

// The row's image as PNG bytes. Hosts draw on their own menu colours, so symbols take a middle
// grey that stands out from light and dark menus alike; switches become check marks instead.
QByteArray iconData(const std::string& description) {
    QIcon icon;
    if (description.starts_with("symbol:")) {
        icon = MenuIcons::symbol(QString::fromStdString(description.substr(7)),
                                 QColor(0x80, 0x80, 0x80));
    } else if (description.starts_with("red:") || description.starts_with("dot:")) {
        icon = MenuIcons::icon(description);
    }
    if (icon.isNull()) {
        return {};
    }
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    icon.pixmap(16, 16).toImage().save(&buffer, "PNG");
    return png;
}

QVariantMap propertiesOf(const MenuRow& row) {
    QVariantMap properties;
    if (row.kind == MenuRow::Kind::separator) {
        properties.insert(QStringLiteral("type"), QStringLiteral("separator"));
        return properties;
    }
    properties.insert(QStringLiteral("label"), label(row.text()));
    if (!row.enabled || row.kind == MenuRow::Kind::label) {
        properties.insert(QStringLiteral("enabled"), false);
    }
    const bool isSwitch = row.icon.starts_with("toggle-on:") || row.icon.starts_with("toggle-off:");
    if (row.checked || isSwitch) {
        properties.insert(QStringLiteral("toggle-type"), row.group.empty()
                                                             ? QStringLiteral("checkmark")
                                                             : QStringLiteral("radio"));
        const bool on = row.checked ? *row.checked : row.icon.starts_with("toggle-on:");
        properties.insert(QStringLiteral("toggle-state"), on ? 1 : 0);
    } else if (const auto data = iconData(row.icon); !data.isEmpty()) {
        properties.insert(QStringLiteral("icon-data"), data);
    }
    if (row.kind == MenuRow::Kind::submenu) {
        properties.insert(QStringLiteral("children-display"), QStringLiteral("submenu"));
    }
    return properties;
}

QVariantMap only(const QVariantMap& properties, const QStringList& names) {
    if (names.isEmpty()) {
        return properties;
    }
    QVariantMap result;
    for (const auto& name : names) {
        if (const auto found = properties.find(name); found != properties.end()) {
            result.insert(name, *found);
        }
    }
    return result;
}

QList<int> intList(const QVariant& value) {
    if (value.canConvert<QDBusArgument>()) {
        return qdbus_cast<QList<int>>(value.value<QDBusArgument>());
    }
    return value.value<QList<int>>();
}

} // namespace

DBusMenu::DBusMenu(QDBusConnection connection) : connection_(std::move(connection)) {
    DBusTypes::registerAll();
    items_[0] = Item{};
    items_[0].properties.insert(QStringLiteral("children-display"), QStringLiteral("submenu"));
}

int DBusMenu::idOf(const std::string& rowID) {
    const auto [found, added] = ids_.try_emplace(rowID, nextID_);
    if (added) {
        ++nextID_;
    }
    return found->second;
}

void DBusMenu::add(const std::vector<MenuRow>& rows, int parent, std::map<int, Item>& items,
                   std::vector<std::string>& shape) {
    for (const auto& row : rows) {
        const int id = idOf(row.id);
        items[parent].children.push_back(id);
        Item item;
        item.properties = ambrel::propertiesOf(row);
        item.action = row.action;
        items[id] = std::move(item);
        shape.push_back(std::to_string(parent) + ">" + std::to_string(id));
        if (row.kind == MenuRow::Kind::submenu) {
            add(row.children, id, items, shape);
        }
    }
}

void DBusMenu::setRows(const std::vector<MenuRow>& rows) {
    std::map<int, Item> items;
    items[0].properties = items_[0].properties;
    std::vector<std::string> shape;
    add(rows, 0, items, shape);
    if (shape != shape_) {
        items_ = std::move(items);
        shape_ = std::move(shape);
        ++revision_;
        auto signal =
            QDBusMessage::createSignal(QString::fromLatin1(path), QString::fromLatin1(interface),
                                       QStringLiteral("LayoutUpdated"));
        signal << revision_ << 0;
        send(signal);
        return;
    }
    QList<ItemProperties> updated;
    QList<ItemPropertyNames> removed;
    for (const auto& [id, item] : items) {
        const auto& before = items_[id].properties;
        if (item.properties == before) {
            continue;
        }
        updated.append({id, item.properties});
        QStringList gone;
        for (auto it = before.begin(); it != before.end(); ++it) {
            if (!item.properties.contains(it.key())) {
                gone.append(it.key());
            }
        }
        if (!gone.isEmpty()) {
            removed.append({id, gone});
        }
    }
    items_ = std::move(items);
    if (updated.isEmpty()) {
        return;
    }
    auto signal =
        QDBusMessage::createSignal(QString::fromLatin1(path), QString::fromLatin1(interface),
                                   QStringLiteral("ItemsPropertiesUpdated"));
    signal << QVariant::fromValue(updated) << QVariant::fromValue(removed);
    send(signal);
}

QVariantMap DBusMenu::propertiesOf(const std::string& rowID) const {
    const auto id = ids_.find(rowID);
    if (id == ids_.end()) {
        return {};
    }
    const auto item = items_.find(id->second);
    return item == items_.end() ? QVariantMap() : item->second.properties;
}

void DBusMenu::send(QDBusMessage message) const {
    if (connection_.isConnected()) {
        connection_.send(message);
    }
}

LayoutItem DBusMenu::layout(int id, int depth, const QStringList& names) const {
    LayoutItem result;
    result.id = id;
    const auto item = items_.find(id);
    if (item == items_.end()) {
        return result;
    }
    result.properties = only(item->second.properties, names);
    if (depth != 0) {
        for (const int child : item->second.children) {
            result.children.append(layout(child, depth < 0 ? depth : depth - 1, names));
        }
    }
    return result;
}

void DBusMenu::handleEvent(int id, const QString& event) {
    if (event == QLatin1String("clicked")) {
        const auto item = items_.find(id);
        if (item != items_.end() && item->second.action) {
            // After the reply has gone: the action may change the menu.
            QMetaObject::invokeMethod(
                this, [action = item->second.action] { action(); }, Qt::QueuedConnection);
        }
        // A click closes the menu in every host, whether or not it says so.
        if (onClosed) {
            onClosed();
        }
    } else if (event == QLatin1String("closed") && id == 0) {
        if (onClosed) {
            onClosed();
        }
    } else if (onOpened) {
        // Opened, hovered: the menu is in use.
        onOpened();
    }
}

bool DBusMenu::handleMessage(const QDBusMessage& message, const QDBusConnection& connection) {
    const QString member = message.member();
    const QVariantList arguments = message.arguments();
    auto reply = [&](const QVariantList& values) {
        connection.send(message.createReply(values));
        return true;
    };
    if (message.interface() == QLatin1String("org.freedesktop.DBus.Properties")) {
        QVariantMap all{{QStringLiteral("Version"), 3u},
                        {QStringLiteral("TextDirection"), QStringLiteral("ltr")},
                        {QStringLiteral("Status"), QStringLiteral("normal")},
                        {QStringLiteral("IconThemePath"), QStringList()}};
        return DBusTypes::answerProperties(message, connection, all);
    }
    if (member == QLatin1String("GetLayout") && arguments.size() == 3) {
        return reply(
            {revision_, QVariant::fromValue(layout(arguments[0].toInt(), arguments[1].toInt(),
                                                   arguments[2].toStringList()))});
    }
    if (member == QLatin1String("GetGroupProperties") && arguments.size() == 2) {
        QList<ItemProperties> result;
        for (const int id : intList(arguments[0])) {
            if (const auto item = items_.find(id); item != items_.end()) {
                result.append({id, only(item->second.properties, arguments[1].toStringList())});
            }
        }
        return reply({QVariant::fromValue(result)});
    }
    if (member == QLatin1String("GetProperty") && arguments.size() == 2) {
        const auto item = items_.find(arguments[0].toInt());
        const QVariant value = item == items_.end()
                                   ? QVariant()
                                   : item->second.properties.value(arguments[1].toString());
        return reply({QVariant::fromValue(QDBusVariant(value.isValid() ? value : QVariant(0)))});
    }
    if (member == QLatin1String("Event") && arguments.size() >= 2) {
        reply({});
        handleEvent(arguments[0].toInt(), arguments[1].toString());
        return true;
    }
    if (member == QLatin1String("EventGroup") && arguments.size() == 1) {
        QList<std::pair<int, QString>> events;
        const auto argument = arguments[0].value<QDBusArgument>();
        argument.beginArray();
        while (!argument.atEnd()) {
            int id = 0;
            QString event;
            QDBusVariant data;
            uint timestamp = 0;
            argument.beginStructure();
            argument >> id >> event >> data >> timestamp;
            argument.endStructure();
            events.append({id, event});
        }
        argument.endArray();
        reply({QVariant::fromValue(QList<int>())});
        for (const auto& [id, event] : events) {
            handleEvent(id, event);
        }
        return true;
    }
    // The rows are brought up to date before the answer, which says whether they changed.
    if (member == QLatin1String("AboutToShow") && arguments.size() == 1) {
        const unsigned before = revision_;
        if (onOpened) {
            onOpened();
        }
        return reply({revision_ != before});
    }
    if (member == QLatin1String("AboutToShowGroup") && arguments.size() == 1) {
        const unsigned before = revision_;
        if (onOpened) {
            onOpened();
        }
        QList<int> updates;
        if (revision_ != before) {
            updates = intList(arguments[0]);
        }
        return reply({QVariant::fromValue(updates), QVariant::fromValue(QList<int>())});
    }
    return false;
}

QString DBusMenu::introspect(const QString&) const {
    // Kept as one literal so the interface reads as the XML it is.
    return QStringLiteral(R"xml(<interface name="com.canonical.dbusmenu">
  <property name="Version" type="u" access="read"/>
  <property name="TextDirection" type="s" access="read"/>
  <property name="Status" type="s" access="read"/>
  <property name="IconThemePath" type="as" access="read"/>
  <method name="GetLayout">
    <arg type="i" name="parentId" direction="in"/>
    <arg type="i" name="recursionDepth" direction="in"/>
    <arg type="as" name="propertyNames" direction="in"/>
    <arg type="u" name="revision" direction="out"/>
    <arg type="(ia{sv}av)" name="layout" direction="out"/>
  </method>
  <method name="GetGroupProperties">
    <arg type="ai" name="ids" direction="in"/>
    <arg type="as" name="propertyNames" direction="in"/>
    <arg type="a(ia{sv})" name="properties" direction="out"/>
  </method>
  <method name="GetProperty">
    <arg type="i" name="id" direction="in"/>
    <arg type="s" name="name" direction="in"/>
    <arg type="v" name="value" direction="out"/>
  </method>
  <method name="Event">
    <arg type="i" name="id" direction="in"/>
    <arg type="s" name="eventId" direction="in"/>
    <arg type="v" name="data" direction="in"/>
    <arg type="u" name="timestamp" direction="in"/>
  </method>
  <method name="EventGroup">
    <arg type="a(isvu)" name="events" direction="in"/>
    <arg type="ai" name="idErrors" direction="out"/>
  </method>
  <method name="AboutToShow">
    <arg type="i" name="id" direction="in"/>
    <arg type="b" name="needUpdate" direction="out"/>
  </method>
  <method name="AboutToShowGroup">
    <arg type="ai" name="ids" direction="in"/>
    <arg type="ai" name="updatesNeeded" direction="out"/>
    <arg type="ai" name="idErrors" direction="out"/>
  </method>
  <signal name="ItemsPropertiesUpdated">
    <arg type="a(ia{sv})" name="updatedProps" direction="out"/>
    <arg type="a(ias)" name="removedProps" direction="out"/>
  </signal>
  <signal name="LayoutUpdated">
    <arg type="u" name="revision" direction="out"/>
    <arg type="i" name="parent" direction="out"/>
  </signal>
  <signal name="ItemActivationRequested">
    <arg type="i" name="id" direction="out"/>
    <arg type="u" name="timestamp" direction="out"/>
  </signal>
</interface>
)xml");
}

} // namespace ambrel

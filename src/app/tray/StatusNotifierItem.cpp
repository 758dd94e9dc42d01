#include "StatusNotifierItem.h"

#include "DBusTypes.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QtEndian>

namespace ambrel {

namespace {

// ARGB32 in network byte order, as the protocol wants it.
QList<DBusTypes::Image> pixels(const QImage& image) {
    if (image.isNull()) {
        return {};
    }
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    QByteArray bytes(static_cast<qsizetype>(argb.width()) * argb.height() * 4, '\0');
    auto* out = reinterpret_cast<quint32*>(bytes.data());
    for (int y = 0; y < argb.height(); ++y) {
        const auto* line = reinterpret_cast<const quint32*>(argb.constScanLine(y));
        for (int x = 0; x < argb.width(); ++x) {
            *out++ = qToBigEndian(line[x]);
        }
    }
    return {DBusTypes::Image{argb.width(), argb.height(), bytes}};
}

} // namespace

StatusNotifierItem::StatusNotifierItem(QDBusConnection connection, QString menuPath)
    : connection_(std::move(connection))
    , menuPath_(std::move(menuPath)) {
    DBusTypes::registerAll();
}

void StatusNotifierItem::setIcon(const QString& name, const QImage& image) {
    if (name == iconName_ && image == image_) {
        return;
    }
    iconName_ = name;
    image_ = image;
    signal("NewIcon");
}

void StatusNotifierItem::setToolTip(const QString& title, const QString& text) {
    if (title == toolTipTitle_ && text == toolTipText_) {
        return;
    }
    toolTipTitle_ = title;
    toolTipText_ = text;
    signal("NewToolTip");
}

void StatusNotifierItem::signal(const char* name) const {
    if (connection_.isConnected()) {
        connection_.send(QDBusMessage::createSignal(
            QString::fromLatin1(path), QString::fromLatin1(interface), QString::fromLatin1(name)));
    }
}

QVariantMap StatusNotifierItem::properties() const {
    return {
        {QStringLiteral("Category"), QStringLiteral("ApplicationStatus")},
        {QStringLiteral("Id"), QStringLiteral("org.ambrel.Ambrel")},
        {QStringLiteral("Title"), QStringLiteral("Ambrel")},
        {QStringLiteral("Status"), QStringLiteral("Active")},
        {QStringLiteral("WindowId"), 0},
        {QStringLiteral("IconThemePath"), themePath_},
        {QStringLiteral("IconName"), iconName_},
        {QStringLiteral("IconPixmap"), QVariant::fromValue(pixels(image_))},
        {QStringLiteral("OverlayIconName"), QString()},
        {QStringLiteral("OverlayIconPixmap"), QVariant::fromValue(QList<DBusTypes::Image>())},
        {QStringLiteral("AttentionIconName"), QString()},
        {QStringLiteral("AttentionIconPixmap"), QVariant::fromValue(QList<DBusTypes::Image>())},
        {QStringLiteral("AttentionMovieName"), QString()},
        {QStringLiteral("ToolTip"),
         QVariant::fromValue(DBusTypes::ToolTip{iconName_, {}, toolTipTitle_, toolTipText_})},
        {QStringLiteral("ItemIsMenu"), true},
        {QStringLiteral("Menu"), QVariant::fromValue(QDBusObjectPath(menuPath_))},
    };
}

bool StatusNotifierItem::handleMessage(const QDBusMessage& message,
                                       const QDBusConnection& connection) {
    const QString member = message.member();
    const QVariantList arguments = message.arguments();
    if (message.interface() == QLatin1String("org.freedesktop.DBus.Properties")) {
        return DBusTypes::answerProperties(message, connection, properties());
    }
    if (member == QLatin1String("Activate") || member == QLatin1String("ContextMenu") ||
        member == QLatin1String("SecondaryActivate")) {
        connection.send(message.createReply());
        if (arguments.size() == 2) {
            const QPoint where(arguments[0].toInt(), arguments[1].toInt());
            // Hosts that do not know the place send 0, 0.
            if (!where.isNull()) {
                lastClick_ = where;
            }
            if (member != QLatin1String("SecondaryActivate") && onActivate) {
                onActivate(where);
            }
        }
        return true;
    }
    if (member == QLatin1String("Scroll") || member == QLatin1String("ProvideXdgActivationToken")) {
        connection.send(message.createReply());
        return true;
    }
    return false;
}

QString StatusNotifierItem::introspect(const QString&) const {
    return QStringLiteral(R"xml(<interface name="org.kde.StatusNotifierItem">
  <property name="Category" type="s" access="read"/>
  <property name="Id" type="s" access="read"/>
  <property name="Title" type="s" access="read"/>
  <property name="Status" type="s" access="read"/>
  <property name="WindowId" type="i" access="read"/>
  <property name="IconThemePath" type="s" access="read"/>
  <property name="IconName" type="s" access="read"/>
  <property name="IconPixmap" type="a(iiay)" access="read"/>
  <property name="OverlayIconName" type="s" access="read"/>
  <property name="OverlayIconPixmap" type="a(iiay)" access="read"/>
  <property name="AttentionIconName" type="s" access="read"/>
  <property name="AttentionIconPixmap" type="a(iiay)" access="read"/>
  <property name="AttentionMovieName" type="s" access="read"/>
  <property name="ToolTip" type="(sa(iiay)ss)" access="read"/>
  <property name="ItemIsMenu" type="b" access="read"/>
  <property name="Menu" type="o" access="read"/>
  <method name="ContextMenu">
    <arg name="x" type="i" direction="in"/>
    <arg name="y" type="i" direction="in"/>
  </method>
  <method name="Activate">
    <arg name="x" type="i" direction="in"/>
    <arg name="y" type="i" direction="in"/>
  </method>
  <method name="SecondaryActivate">
    <arg name="x" type="i" direction="in"/>
    <arg name="y" type="i" direction="in"/>
  </method>
  <method name="Scroll">
    <arg name="delta" type="i" direction="in"/>
    <arg name="orientation" type="s" direction="in"/>
  </method>
  <signal name="NewTitle"/>
  <signal name="NewIcon"/>
  <signal name="NewAttentionIcon"/>
  <signal name="NewOverlayIcon"/>
  <signal name="NewToolTip"/>
  <signal name="NewStatus">
    <arg name="status" type="s"/>
  </signal>
</interface>
)xml");
}

} // namespace ambrel

#pragma once

#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QImage>
#include <QPoint>
#include <QString>

#include <functional>
#include <optional>

namespace ambrel {

// The app's icon in StatusNotifier hosts (KDE, GNOME with the AppIndicator extension, XFCE,
// and others): the org.kde.StatusNotifierItem interface, with the icon both by name (so the
// host can recolour a symbolic icon for its panel) and as pixels, and ItemIsMenu set, so that
// both clicks give the host's own menu.
class StatusNotifierItem : public QDBusVirtualObject {
public:
    static constexpr const char* path = "/StatusNotifierItem";
    static constexpr const char* interface = "org.kde.StatusNotifierItem";

    StatusNotifierItem(QDBusConnection connection, QString menuPath);

    // A click the host passed on instead of showing the menu, with the screen position it gave.
    std::function<void(QPoint where)> onActivate;

    void setIcon(const QString& name, const QImage& image);
    void setToolTip(const QString& title, const QString& text);
    void setThemePath(const QString& path) { themePath_ = path; }
    // Where the host last said the icon was clicked, if it did.
    const std::optional<QPoint>& lastClick() const { return lastClick_; }

    QString introspect(const QString& path) const override;
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;

private:
    QVariantMap properties() const;
    void signal(const char* name) const;

    QDBusConnection connection_;
    QString menuPath_;
    QString iconName_;
    QImage image_;
    QString themePath_;
    QString toolTipTitle_;
    QString toolTipText_;
    std::optional<QPoint> lastClick_;
};

} // namespace ambrel

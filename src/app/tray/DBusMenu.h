#pragma once

#include "StatusMenu.h"

#include <QDBusConnection>
#include <QDBusVirtualObject>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace ambrel {

namespace DBusTypes {
struct LayoutItem;
}

// The tray menu as StatusNotifier hosts draw it themselves, in their own colours: the
// com.canonical.dbusmenu interface (version 3) over the rows of the tray menu. Rows keep their
// item numbers between updates; a change of rows is announced as new properties when the menu
// has the same shape, else as a new layout, so a host never shows a stale menu.
class DBusMenu : public QDBusVirtualObject {
public:
    static constexpr const char* path = "/MenuBar";
    static constexpr const char* interface = "com.canonical.dbusmenu";

    explicit DBusMenu(QDBusConnection connection);

    // The host shows the menu or the user moves in it (called before the host is answered, so
    // rows set then are what it shows); the host closed it (not every host says so) or a row
    // was clicked.
    std::function<void()> onOpened;
    std::function<void()> onClosed;

    void setRows(const std::vector<MenuRow>& rows);
    // The properties of the item showing a row, for tests; empty when there is none.
    QVariantMap propertiesOf(const std::string& rowID) const;
    unsigned revision() const { return revision_; }

    QString introspect(const QString& path) const override;
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;

private:
    struct Item {
        QVariantMap properties;
        std::vector<int> children;
        std::function<void()> action;
    };

    int idOf(const std::string& rowID);
    void add(const std::vector<MenuRow>& rows, int parent, std::map<int, Item>& items,
             std::vector<std::string>& shape);
    DBusTypes::LayoutItem layout(int id, int depth, const QStringList& names) const;
    void handleEvent(int id, const QString& event);
    void send(QDBusMessage message) const;

    QDBusConnection connection_;
    std::map<std::string, int> ids_;
    int nextID_ = 1;
    std::map<int, Item> items_;
    std::vector<std::string> shape_;
    unsigned revision_ = 1;
};

} // namespace ambrel

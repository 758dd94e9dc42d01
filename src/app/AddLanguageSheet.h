#pragma once

#include <QDialog>

#include <optional>
#include <string>

class QLineEdit;
class QListWidget;
class QPushButton;

namespace ambrel {

class LanguageModel;

// Picks one language to add: a search field over the languages that can be added, by name.
class AddLanguageSheet : public QDialog {
public:
    AddLanguageSheet(LanguageModel& model, QWidget* parent);

    QLineEdit& searchField() { return *search_; }
    QListWidget& list() { return *list_; }
    QPushButton& addButton() { return *add_; }
    // The language Add would add: the one picked, else the first match of a typed query.
    std::optional<std::string> target() const;

private:
    void fill();
    void addTarget();

    LanguageModel& model_;
    QLineEdit* search_ = nullptr;
    QListWidget* list_ = nullptr;
    QPushButton* add_ = nullptr;
};

} // namespace ambrel

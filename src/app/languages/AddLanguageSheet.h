#pragma once

#include <QDialog>

#include <optional>
#include <string>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace ambrel {

class LanguageModel;

// Picks one language to add: a search field over the languages that can be added, by name.
// When the list of downloadable languages could not be loaded it says so and offers to try
// again; the installed ones are listed all the same.
class AddLanguageSheet : public QDialog {
public:
    AddLanguageSheet(LanguageModel& model, QWidget* parent);

    // Takes the model's catalogue again, keeping the query.
    void refresh();
    QLabel& problem() { return *problem_; }
    QPushButton& tryAgainButton() { return *tryAgain_; }
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
    QLabel* problem_ = nullptr;
    QPushButton* tryAgain_ = nullptr;
};

} // namespace ambrel

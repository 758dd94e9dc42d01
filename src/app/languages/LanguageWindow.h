#pragma once

#include <QWidget>

#include <functional>

class QCheckBox;
class QLabel;
class QToolButton;
class QTreeWidget;

namespace ambrel {

class AddLanguageSheet;
class LanguageModel;

// "Speech Recognition": automatic or chosen recognition languages, whether their models are
// downloaded, and adding or removing them.
class LanguageWindow : public QWidget {
public:
    explicit LanguageWindow(LanguageModel& model, QWidget* parent = nullptr);

    // Takes the model again (and the interface language's texts).
    void refresh();

    QCheckBox& automaticSwitch() { return *automatic_; }
    QTreeWidget& list() { return *list_; }
    QToolButton& addButton() { return *add_; }
    QToolButton& removeButton() { return *remove_; }
    QLabel& hint() { return *hint_; }
    QLabel& warning() { return *warning_; }
    // Opens the add sheet (modal); what happens after it closes is up to it.
    void openAddSheet();

    std::function<void()> onClosed;

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    std::optional<std::string> selection() const;
    void removeSelection();
    void updateButtons();

    LanguageModel& model_;
    QLabel* header_ = nullptr;
    QCheckBox* automatic_ = nullptr;
    QLabel* basis_ = nullptr;
    QTreeWidget* list_ = nullptr;
    QToolButton* add_ = nullptr;
    QToolButton* remove_ = nullptr;
    QLabel* hint_ = nullptr;
    QLabel* warning_ = nullptr;
    AddLanguageSheet* sheet_ = nullptr; // while open
    bool updating_ = false;
};

} // namespace ambrel

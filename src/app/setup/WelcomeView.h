#pragma once

#include "WelcomeModel.h"

#include <QWidget>

class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;

namespace ambrel {

// The checklist's face: three numbered steps that turn into check marks, the languages, Done.
class WelcomeView : public QWidget {
public:
    explicit WelcomeView(WelcomeModel& model, QWidget* parent = nullptr);

    // Takes the model's state (and the interface language's texts) again.
    void refresh();

    // For tests and screenshots: what each step's control is now.
    QString folderControl() const;
    QString systemAudioControl() const;
    QString microphoneControl() const;
    bool doneIsDefault() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    struct StepRow {
        QLabel* symbol = nullptr;
        QLabel* title = nullptr;
        QLabel* detail = nullptr;
        QPushButton* todo = nullptr;  // highlighted action
        QPushButton* plain = nullptr; // ordinary action
        QProgressBar* spinner = nullptr;
    };

    StepRow makeRow(QWidget* parent, int number);
    void setStep(StepRow& row, int number, bool done, const QString& todo, const QString& plain,
                 bool spinning);
    static QString visibleControl(const StepRow& row);

    WelcomeModel& model_;
    QLabel* title_ = nullptr;
    StepRow folder_;
    StepRow systemAudio_;
    StepRow microphone_;
    QLabel* languageTitle_ = nullptr;
    QComboBox* language_ = nullptr;
    QLabel* recognitionTitle_ = nullptr;
    QLabel* recognitionDetail_ = nullptr;
    QPushButton* recognitionChange_ = nullptr;
    QPushButton* done_ = nullptr;
    bool updating_ = false;
};

} // namespace ambrel

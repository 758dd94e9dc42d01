#include "WelcomeView.h"

#include "app/desktop/MenuIcons.h"
#include "app/desktop/PrivacySettings.h"
#include "app/desktop/UiText.h"
#include "locale/L10n.h"

#include <QApplication>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace ambrel {

namespace {

// The step's mark: its number in a grey disc, or a green disc with a check mark once done.
QPixmap stepMark(int number, bool done) {
    const qreal ratio = qApp->devicePixelRatio();
    QPixmap pixmap(QSize(24, 24) * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(done ? QColor(0x34, 0xc7, 0x59) : QColor(0x8e, 0x8e, 0x93));
    painter.drawEllipse(QRectF(1, 1, 22, 22));
    if (done) {
        QPen pen(Qt::white, 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
        painter.setPen(pen);
        painter.drawPolyline(QPolygonF({QPointF(7, 12.5), QPointF(10.5, 16), QPointF(17, 8.5)}));
    } else {
        QFont font = painter.font();
        font.setPixelSize(13);
        font.setWeight(QFont::Bold);
        painter.setFont(font);
        painter.setPen(Qt::white);
        painter.drawText(QRectF(0, 0, 24, 24), Qt::AlignCenter, QString::number(number));
    }
    return pixmap;
}

void styleAsToDo(QPushButton& button) {
    // The next thing to do stands out in the accent colour.
    button.setStyleSheet(
        QStringLiteral("QPushButton { color: white; background: palette(highlight); border: none;"
                       " border-radius: 7px; padding: 3px 12px; min-height: 18px; }"
                       " QPushButton:pressed { background: palette(dark); }"));
}

QFrame* group() {
    auto* frame = new QFrame;
    frame->setObjectName(QStringLiteral("group"));
    frame->setStyleSheet(QStringLiteral(
        "QFrame#group { background: palette(base); border: 1px solid palette(midlight);"
        " border-radius: 10px; }"));
    return frame;
}

} // namespace

WelcomeView::WelcomeView(WelcomeModel& model, QWidget* parent) : QWidget(parent), model_(model) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 14, 16, 14);
    layout->setSpacing(12);

    auto* header = new QHBoxLayout;
    auto* icon = new QLabel;
    icon->setPixmap(QIcon(QStringLiteral(":/icons/org.ambrel.Ambrel.svg")).pixmap(36, 36));
    title_ = new QLabel(QStringLiteral("Ambrel"));
    QFont headline = title_->font();
    headline.setPointSizeF(headline.pointSizeF() + 2);
    headline.setWeight(QFont::DemiBold);
    title_->setFont(headline);
    header->addWidget(icon);
    header->addWidget(title_, 1);
    layout->addLayout(header);

    auto* steps = group();
    auto* stepsLayout = new QVBoxLayout(steps);
    stepsLayout->setContentsMargins(12, 8, 12, 8);
    folder_ = makeRow(steps, 1);
    systemAudio_ = makeRow(steps, 2);
    microphone_ = makeRow(steps, 3);
    layout->addWidget(steps);

    auto* settings = group();
    auto* settingsLayout = new QGridLayout(settings);
    settingsLayout->setContentsMargins(12, 8, 12, 8);
    settingsLayout->setHorizontalSpacing(10);
    auto* globe = new QLabel;
    globe->setPixmap(MenuIcons::icon("symbol:globe").pixmap(20, 20));
    languageTitle_ = new QLabel;
    language_ = new QComboBox;
    settingsLayout->addWidget(globe, 0, 0);
    settingsLayout->addWidget(languageTitle_, 0, 1);
    settingsLayout->addWidget(language_, 0, 2, Qt::AlignRight);
    auto* wave = new QLabel;
    wave->setPixmap(MenuIcons::icon("symbol:speaker-on").pixmap(20, 20));
    auto* recognition = new QVBoxLayout;
    recognitionTitle_ = new QLabel;
    recognitionDetail_ = new QLabel;
    recognitionDetail_->setForegroundRole(QPalette::PlaceholderText);
    recognition->addWidget(recognitionTitle_);
    recognition->addWidget(recognitionDetail_);
    recognitionChange_ = new QPushButton;
    settingsLayout->addWidget(wave, 1, 0);
    settingsLayout->addLayout(recognition, 1, 1);
    settingsLayout->addWidget(recognitionChange_, 1, 2, Qt::AlignRight);
    settingsLayout->setColumnStretch(1, 1);
    layout->addWidget(settings);

    done_ = new QPushButton;
    layout->addWidget(done_, 0, Qt::AlignRight);
    setFixedWidth(420);

    connect(folder_.todo, &QPushButton::clicked, this, [this] { model_.actions().chooseFolder(); });
    connect(folder_.plain, &QPushButton::clicked, this,
            [this] { model_.actions().chooseFolder(); });
    connect(systemAudio_.todo, &QPushButton::clicked, this, [this] {
        if (model_.systemAudio() == WelcomeModel::Step::todo) {
            model_.askForSystemAudio();
        } else {
            PrivacySettings::open(PrivacySettings::Pane::systemAudio);
        }
    });
    connect(systemAudio_.plain, &QPushButton::clicked, this,
            [] { PrivacySettings::open(PrivacySettings::Pane::systemAudio); });
    connect(microphone_.todo, &QPushButton::clicked, this, [this] {
        if (model_.microphone() == WelcomeModel::Step::todo) {
            model_.turnOnMicrophone();
        } else {
            PrivacySettings::open(PrivacySettings::Pane::microphone);
        }
    });
    connect(language_, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (updating_ || index < 0) {
            return;
        }
        const QString code = language_->itemData(index).toString();
        model_.actions().setInterfaceLanguage(code.isEmpty() ? std::nullopt
                                                             : std::optional(code.toStdString()));
    });
    connect(recognitionChange_, &QPushButton::clicked, this,
            [this] { model_.actions().showSpeechRecognition(); });
    connect(done_, &QPushButton::clicked, this, [this] {
        if (model_.close) {
            model_.close();
        }
    });
    refresh();
}

WelcomeView::StepRow WelcomeView::makeRow(QWidget* parent, int number) {
    auto* row = new QHBoxLayout;
    row->setSpacing(10);
    StepRow step;
    step.symbol = new QLabel;
    step.symbol->setPixmap(stepMark(number, false));
    auto* texts = new QVBoxLayout;
    texts->setSpacing(1);
    step.title = new QLabel;
    step.detail = new QLabel;
    step.detail->setForegroundRole(QPalette::PlaceholderText);
    texts->addWidget(step.title);
    texts->addWidget(step.detail);
    step.todo = new QPushButton;
    styleAsToDo(*step.todo);
    step.plain = new QPushButton;
    step.spinner = new QProgressBar;
    step.spinner->setRange(0, 0); // busy
    step.spinner->setFixedWidth(60);
    step.spinner->setTextVisible(false);
    row->addWidget(step.symbol);
    row->addLayout(texts, 1);
    row->addWidget(step.todo);
    row->addWidget(step.plain);
    row->addWidget(step.spinner);
    static_cast<QVBoxLayout*>(parent->layout())->addLayout(row);
    return step;
}

void WelcomeView::setStep(StepRow& row, int number, bool done, const QString& todo,
                          const QString& plain, bool spinning) {
    row.symbol->setPixmap(stepMark(number, done));
    row.todo->setText(todo);
    row.todo->setVisible(!todo.isEmpty());
    row.plain->setText(plain);
    row.plain->setVisible(!plain.isEmpty());
    row.spinner->setVisible(spinning);
}

void WelcomeView::refresh() {
    using Step = WelcomeModel::Step;
    updating_ = true;
    const QString openSettings = uiText(Texts::welcomeOpenSettings);

    folder_.title->setText(uiText(Texts::welcomeFolder));
    const auto& folder = model_.folder();
    folder_.detail->setText(folder ? QString::fromStdString(*folder) : QString());
    folder_.detail->setVisible(folder.has_value());
    setStep(folder_, 1, folder.has_value(), folder ? QString() : uiText(Texts::welcomeChoose),
            folder ? uiText(Texts::welcomeChange) : QString(), false);

    systemAudio_.title->setText(uiText(Texts::welcomeSystemAudioPermission));
    systemAudio_.detail->hide();
    const Step system = model_.systemAudio();
    setStep(systemAudio_, 2, system == Step::done,
            system == Step::todo     ? uiText(Texts::welcomeAllow)
            : system == Step::denied ? openSettings
                                     : QString(),
            system == Step::unknown ? openSettings : QString(), system == Step::checking);

    microphone_.title->setText(uiText(Texts::welcomeMicrophonePermission));
    microphone_.detail->hide();
    const Step microphone = model_.microphone();
    setStep(microphone_, 3, microphone == Step::done,
            microphone == Step::todo     ? uiText(Texts::welcomeAllow)
            : microphone == Step::denied ? openSettings
                                         : QString(),
            QString(), microphone == Step::checking);

    languageTitle_->setText(uiText(Texts::menuInterfaceLanguage));
    language_->clear();
    language_->addItem(uiText(Texts::menuSystemDefault), QString());
    for (const auto& code : L10n::supportedLanguages()) {
        language_->addItem(QString::fromStdString(L10n::nativeName(code)),
                           QString::fromStdString(code));
    }
    const auto& chosen = model_.interfaceLanguage();
    language_->setCurrentIndex(
        chosen ? std::max(0, language_->findData(QString::fromStdString(*chosen))) : 0);
    recognitionTitle_->setText(uiText(Texts::menuSpeechRecognition));
    recognitionDetail_->setText(QString::fromStdString(model_.recognitionLanguages()));
    recognitionChange_->setText(uiText(Texts::welcomeChange));

    done_->setText(uiText(Texts::welcomeDone));
    if (model_.isComplete()) {
        styleAsToDo(*done_);
    } else {
        done_->setStyleSheet(QString());
    }
    updating_ = false;
}

void WelcomeView::keyPressEvent(QKeyEvent* event) {
    // Return does the next thing: choose the folder first, then Done.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        if (!model_.folder()) {
            model_.actions().chooseFolder();
        } else if (model_.close) {
            model_.close();
        }
        return;
    }
    QWidget::keyPressEvent(event);
}

QString WelcomeView::visibleControl(const StepRow& row) {
    if (!row.spinner->isHidden()) {
        return QStringLiteral("spinner");
    }
    if (!row.todo->isHidden()) {
        return QStringLiteral("todo:") + row.todo->text();
    }
    if (!row.plain->isHidden()) {
        return QStringLiteral("plain:") + row.plain->text();
    }
    return QString();
}

QString WelcomeView::folderControl() const {
    return visibleControl(folder_);
}

QString WelcomeView::systemAudioControl() const {
    return visibleControl(systemAudio_);
}

QString WelcomeView::microphoneControl() const {
    return visibleControl(microphone_);
}

bool WelcomeView::doneIsDefault() const {
    return model_.isComplete();
}

} // namespace ambrel

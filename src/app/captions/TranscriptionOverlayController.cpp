#include "TranscriptionOverlayController.h"

#include "OverlayGeometry.h"
#include "OverlayWindow.h"
#include "app/desktop/UiText.h"
#include "locale/L10n.h"

#include <QApplication>
#include <QFormLayout>
#include <QLabel>
#include <QMenu>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QVBoxLayout>

#include <cmath>

namespace ambrel {

TranscriptionOverlayController::TranscriptionOverlayController(AppSettings settings,
                                                               core::Scheduler& scheduler,
                                                               std::function<void()> onHide)
    : settings_(std::move(settings))
    , scheduler_(scheduler)
    , onHide_(std::move(onHide)) {}

TranscriptionOverlayController::~TranscriptionOverlayController() = default;

QRect TranscriptionOverlayController::defaultFrame() {
    const QScreen* primary = QGuiApplication::primaryScreen();
    return OverlayGeometry::defaultFrame(primary ? std::optional(primary->availableGeometry())
                                                 : std::nullopt);
}

void TranscriptionOverlayController::makeWindow() {
    if (window_) {
        return;
    }
    window_ = std::make_unique<OverlayWindow>();
    window_->setStyle({settings_.overlayTransparency(), settings_.overlayContrast()});
    window_->setText(text_);
    window_->makeMenu = [this] { return contextMenu(); };
    window_->onFrameChanged = [this](const QRect& frame) {
        settings_.setText(frameKey, OverlayGeometry::encode(frame));
    };
    std::vector<QRect> screens;
    for (const QScreen* screen : QGuiApplication::screens()) {
        screens.push_back(screen->availableGeometry());
    }
    const auto saved = settings_.text(frameKey);
    const auto frame = saved ? OverlayGeometry::decode(*saved) : std::nullopt;
    if (frame && OverlayGeometry::isOnScreen(*frame, screens)) {
        window_->setGeometry(*frame);
    } else {
        window_->setGeometry(defaultFrame());
    }
}

void TranscriptionOverlayController::animateOpacity(double to, int milliseconds) {
    // One fade at a time: a fade-out left running would end invisible over a revealed window.
    if (opacityAnimation_) {
        opacityAnimation_->stop();
    }
    opacityAnimation_ = new QPropertyAnimation(window_.get(), "windowOpacity", window_.get());
    opacityAnimation_->setDuration(milliseconds);
    opacityAnimation_->setEndValue(to);
    opacityAnimation_->start(QAbstractAnimation::DeleteWhenStopped);
}

double TranscriptionOverlayController::opacityTarget() const {
    if (opacityAnimation_) {
        return opacityAnimation_->endValue().toDouble();
    }
    return window_ ? window_->windowOpacity() : 0.0;
}

void TranscriptionOverlayController::reveal() {
    if (!window_ || !faded_) {
        return;
    }
    faded_ = false;
    window_->setClickThrough(false);
    animateOpacity(1.0, 150);
}

void TranscriptionOverlayController::scheduleFade() {
    fadeTimer_ = scheduler_.after(fadeDelay, [this] {
        fadeTimer_.reset();
        if (!window_) {
            return;
        }
        faded_ = true;
        animateOpacity(0.0, 800);
        // Faded captions are not in the way: clicks go to the windows below.
        window_->setClickThrough(true);
    });
}

void TranscriptionOverlayController::setVisible(bool visible) {
    if (visible == isShown_) {
        return;
    }
    isShown_ = visible;
    previewTimer_.reset();
    if (visible) {
        present();
        scheduleFade();
        return;
    }
    fadeTimer_.reset();
    if (window_) {
        window_->hide();
    }
    text_ = LiveTranscriptText{};
    if (window_) {
        window_->setText(text_);
    }
}

void TranscriptionOverlayController::update(const LiveTranscriptText& text) {
    if (text == text_) {
        return; // the same words do not keep the captions up longer
    }
    text_ = text;
    if (window_) {
        window_->setText(text_);
    }
    if (isShown_) {
        reveal();
        scheduleFade();
    }
}

void TranscriptionOverlayController::present() {
    makeWindow();
    reveal();
    window_->setWindowOpacity(1.0);
    window_->show();
    window_->raise();
}

void TranscriptionOverlayController::showBriefly() {
    present();
    if (isShown_) {
        scheduleFade();
        return;
    }
    previewTimer_ = scheduler_.after(previewDuration, [this] {
        previewTimer_.reset();
        if (!isShown_ && window_) {
            window_->hide();
        }
    });
}

void TranscriptionOverlayController::styleChanged() {
    if (window_) {
        window_->setStyle({settings_.overlayTransparency(), settings_.overlayContrast()});
    }
    // The style may have come from the tray menu or the captions' own menu: the sliders follow.
    const auto follow = [](QSlider* slider, double value) {
        if (slider != nullptr) {
            const QSignalBlocker quiet(slider);
            slider->setValue(static_cast<int>(std::lround(value * 100)));
        }
    };
    follow(transparencySlider_, settings_.overlayTransparency());
    follow(contrastSlider_, settings_.overlayContrast());
    showBriefly();
}

void TranscriptionOverlayController::restoreDefaultStyle() {
    settings_.restoreOverlayStyle();
    styleChanged();
}

void TranscriptionOverlayController::restoreDefaultFrame() {
    makeWindow();
    const QRect frame = defaultFrame();
    window_->setGeometry(frame);
    settings_.setText(frameKey, OverlayGeometry::encode(frame));
    showBriefly();
}

void TranscriptionOverlayController::reloadContent() {
    if (window_) {
        window_->update();
    }
    if (styleEditor_) {
        styleEditor_.reset(); // made again, in the new language, when next asked for
    }
}

QMenu* TranscriptionOverlayController::contextMenu() {
    auto* menu = new QMenu;
    menu->addAction(uiText(Texts::overlayHide), [this] {
        if (onHide_) {
            onHide_();
        }
    });
    menu->addSeparator();
    menu->addAction(uiText(Texts::menuOverlayRestoreFrame), [this] { restoreDefaultFrame(); });
    QAction* restoreStyle =
        menu->addAction(uiText(Texts::menuOverlayRestoreStyle), [this] { restoreDefaultStyle(); });
    restoreStyle->setEnabled(settings_.isOverlayStyled());
    menu->addSeparator();
    menu->addAction(uiText(Texts::menuOverlayStyle), [this] { showStyleEditor(); });
    return menu;
}

void TranscriptionOverlayController::showStyleEditor() {
    if (!styleEditor_) {
        auto editor = std::make_unique<QWidget>(nullptr, Qt::Tool | Qt::WindowStaysOnTopHint);
        editor->setWindowTitle(uiText(Texts::overlayStyleTitle));
        auto* layout = new QVBoxLayout(editor.get());
        auto* form = new QFormLayout;
        const auto slider = [&](double value, double upper, std::string_view key) {
            auto* control = new QSlider(Qt::Horizontal);
            control->setRange(0, static_cast<int>(std::lround(upper * 100)));
            control->setValue(static_cast<int>(std::lround(value * 100)));
            control->setMinimumWidth(200);
            QObject::connect(control, &QSlider::valueChanged, control, [this, key](int position) {
                settings_.store()->setValue(key, position / 100.0);
                styleChanged();
            });
            return control;
        };
        auto* transparency =
            slider(settings_.overlayTransparency(), 0.5, AppSettings::Keys::overlayTransparency);
        auto* contrast =
            slider(settings_.overlayContrast(), 1.0, AppSettings::Keys::overlayContrast);
        form->addRow(uiText(Texts::menuOverlayTransparency), transparency);
        form->addRow(uiText(Texts::menuOverlayContrast), contrast);
        layout->addLayout(form);
        auto* restore = new QPushButton(uiText(Texts::menuOverlayRestoreStyle));
        QObject::connect(restore, &QPushButton::clicked, restore,
                         [this] { restoreDefaultStyle(); });
        transparencySlider_ = transparency;
        contrastSlider_ = contrast;
        layout->addWidget(restore, 0, Qt::AlignRight);
        styleEditor_ = std::move(editor);
    }
    styleEditor_->show();
    styleEditor_->raise();
    styleEditor_->activateWindow();
}

} // namespace ambrel

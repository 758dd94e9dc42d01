#pragma once

#include "app/AppSettings.h"
#include "core/Scheduler.h"
#include "speech/engine/LiveTranscriptText.h"

#include <QPointer>
#include <QPropertyAnimation>
#include <QSlider>

#include <functional>
#include <memory>

class QMenu;
class QWidget;

namespace ambrel {

class OverlayWindow;

// The floating captions: shown while transcription runs and the user wants them, brought
// forward by new words, faded after eight quiet seconds (and then not in the way of clicks),
// styled and placed by the user.
class TranscriptionOverlayController {
public:
    static constexpr double fadeDelay = 8.0;
    static constexpr double previewDuration = 3.0;
    static constexpr const char* frameKey = "TranscriptionOverlay";

    // `onHide`: the user hid the captions from their own menu.
    TranscriptionOverlayController(AppSettings settings, core::Scheduler& scheduler,
                                   std::function<void()> onHide);
    ~TranscriptionOverlayController();
    TranscriptionOverlayController(const TranscriptionOverlayController&) = delete;
    TranscriptionOverlayController& operator=(const TranscriptionOverlayController&) = delete;

    void setVisible(bool visible);
    void update(const LiveTranscriptText& text);
    // The style settings changed: restyle and show the result for a moment.
    void styleChanged();
    void restoreDefaultFrame();
    void restoreDefaultStyle();
    // Texts are taken again in the new interface language.
    void reloadContent();
    // The small window with the two style sliders.
    void showStyleEditor();

    bool isShown() const { return isShown_; }
    bool isFaded() const { return faded_; }
    OverlayWindow* window() const { return window_.get(); }
    // Where the captions' opacity is heading: 1 while shown, 0 once faded.
    double opacityTarget() const;

private:
    static QRect defaultFrame();
    void makeWindow();
    // Made if needed, shown at full opacity and in front.
    void present();
    void reveal();
    void animateOpacity(double to, int milliseconds);
    void scheduleFade();
    void showBriefly();
    QMenu* contextMenu();

    AppSettings settings_;
    core::Scheduler& scheduler_;
    std::function<void()> onHide_;
    std::unique_ptr<OverlayWindow> window_;
    std::unique_ptr<QWidget> styleEditor_;
    QPointer<QPropertyAnimation> opacityAnimation_;
    QPointer<QSlider> transparencySlider_;
    QPointer<QSlider> contrastSlider_;
    LiveTranscriptText text_;
    core::Scheduler::TimerHandle fadeTimer_;
    core::Scheduler::TimerHandle previewTimer_;
    bool isShown_ = false;
    bool faded_ = false;
};

} // namespace ambrel

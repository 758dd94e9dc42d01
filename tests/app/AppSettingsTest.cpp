#include "app/AppSettings.h"

#include <gtest/gtest.h>

using namespace ambrel;
using Keys = AppSettings::Keys;

TEST(AppSettingsTest, ReadsEachKeyWithItsRuleAndDefault) {
    auto store = std::make_shared<core::MemorySettingsStore>();
    AppSettings settings(store);

    // A fresh installation.
    EXPECT_EQ(settings.speechOptions(), SpeechOptions());
    EXPECT_EQ(settings.copyOptions(), core::PlainTextOptions());
    EXPECT_EQ(settings.overlayTransparency(), 0.1);
    EXPECT_EQ(settings.overlayContrast(), 0.5);
    EXPECT_FALSE(settings.flag(Keys::showOverlay));

    // Values of the wrong type.
    store->setValue(Keys::transcribeSystemAudio, std::string("no"));
    store->setValue(Keys::automaticLanguages, 0.0);
    store->setValue(Keys::transcribeMicrophone, std::string("yes"));
    store->setValue(Keys::microphoneDevice, std::string("usb:mic"));
    store->setValue(Keys::overlayTransparency, std::string("lots"));
    store->setValue(Keys::copySpeakers, 1.0);
    store->setValue(Keys::cancelSpeakerEcho, std::string("off"));
    auto options = settings.speechOptions();
    EXPECT_TRUE(options.echoCancellation);
    EXPECT_TRUE(settings.cancelSpeakerEcho());
    EXPECT_TRUE(options.systemAudio);
    EXPECT_TRUE(options.automaticLanguages);
    EXPECT_FALSE(options.microphone);
    EXPECT_EQ(options.microphoneDevice, core::MicrophoneSelection::automatic());
    EXPECT_EQ(settings.overlayTransparency(), 0.1);
    EXPECT_TRUE(settings.copyOptions().speakers);

    // Numbers out of range are limited to it.
    store->setValue(Keys::overlayTransparency, 0.9);
    store->setValue(Keys::overlayContrast, -2.0);
    EXPECT_EQ(settings.overlayTransparency(), 0.5);
    EXPECT_EQ(settings.overlayContrast(), 0.0);

    // What is written reads back.
    options.systemAudio = false;
    options.microphone = true;
    options.microphoneDevice = core::MicrophoneSelection::device("usb:mic");
    options.automaticLanguages = false;
    options.chosenLanguages = {"de-DE", "fr-FR"};
    options.echoCancellation = false;
    settings.setSpeechOptions(options);
    EXPECT_EQ(settings.speechOptions(), options);
    EXPECT_FALSE(settings.cancelSpeakerEcho());
    settings.setCancelSpeakerEcho(true);
    EXPECT_TRUE(settings.speechOptions().echoCancellation);
    EXPECT_EQ(store->stringValue(Keys::microphoneDevice), "device:usb:mic");
    store->setValue(Keys::copyTimestamps, false);
    EXPECT_FALSE(settings.copyOptions().times);
}

#include "app/desktop/QtSettingsStore.h"

#include "TemporaryFolder.h"

#include <gtest/gtest.h>

using namespace ambrel;
using Strings = std::vector<std::string>;

TEST(QtSettingsStoreTest, ReadsTheTextsOfTheFileAsTheTypesTheyStandFor) {
    ambrel::testing::TemporaryFolder folder;
    // As the file looks after another process wrote it: texts only.
    folder.write("Ambrel.conf", "[General]\n"
                                "transcribeSystemAudio=false\n"
                                "overlayTransparency=0.25\n"
                                "interfaceLanguage=de\n"
                                "chosenLanguages=en-US\n"
                                "reservedSpeechModels=@Invalid()\n"
                                "twoLanguages=de-DE, fr-FR\n"
                                "sessionsFolderBookmark=\"/home/ada/Meetings, 2025\"\n");
    const QtSettingsStore settings(folder.path() / "Ambrel.conf");

    EXPECT_EQ(settings.boolValue("transcribeSystemAudio"), false);
    EXPECT_EQ(settings.stringValue("transcribeSystemAudio"), "false");
    EXPECT_EQ(settings.doubleValue("overlayTransparency"), 0.25);
    EXPECT_FALSE(settings.boolValue("overlayTransparency"));
    EXPECT_EQ(settings.stringValue("interfaceLanguage"), "de");
    EXPECT_FALSE(settings.boolValue("interfaceLanguage"));
    EXPECT_FALSE(settings.doubleValue("interfaceLanguage"));
    // A one-element list is written as its element; an empty one as "@Invalid()".
    EXPECT_EQ(settings.stringListValue("chosenLanguages"), Strings{"en-US"});
    EXPECT_EQ(settings.stringListValue("reservedSpeechModels"), Strings{});
    EXPECT_EQ(settings.stringListValue("twoLanguages"), (Strings{"de-DE", "fr-FR"}));
    EXPECT_FALSE(settings.stringValue("twoLanguages"));
    // A comma in a path makes no list of it: it was stored as one quoted text.
    EXPECT_EQ(settings.stringValue("sessionsFolderBookmark"), "/home/ada/Meetings, 2025");
    EXPECT_FALSE(settings.stringValue("missing"));
    EXPECT_FALSE(settings.stringListValue("missing"));
}

TEST(QtSettingsStoreTest, WhatIsWrittenReadsBackInTheNextProcess) {
    ambrel::testing::TemporaryFolder folder;
    const auto file = folder.path() / "Ambrel.conf";
    {
        QtSettingsStore settings(file);
        settings.setValue("transcribeMicrophone", true);
        settings.setValue("overlayContrast", 0.75);
        settings.setValue("sessionsFolderBookmark", std::string("/home/ada/Meetings, 2025"));
        settings.setValue("chosenLanguages", Strings{"de-DE"});
        settings.setValue("reservedSpeechModels", Strings{});
        settings.setValue("gone", true);
        settings.remove("gone");
        settings.sync();
    }
    // Strip what this process remembers: read the file as another process would.
    const std::string text = folder.read("Ambrel.conf");
    ambrel::testing::TemporaryFolder other;
    other.write("Ambrel.conf", text);
    const QtSettingsStore settings(other.path() / "Ambrel.conf");
    EXPECT_EQ(settings.boolValue("transcribeMicrophone"), true);
    EXPECT_EQ(settings.doubleValue("overlayContrast"), 0.75);
    EXPECT_EQ(settings.stringValue("sessionsFolderBookmark"), "/home/ada/Meetings, 2025");
    EXPECT_EQ(settings.stringListValue("chosenLanguages"), Strings{"de-DE"});
    EXPECT_EQ(settings.stringListValue("reservedSpeechModels"), Strings{});
    EXPECT_FALSE(settings.value("gone"));
}

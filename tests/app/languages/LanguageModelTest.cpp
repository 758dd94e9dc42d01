#include "LanguagesFixture.h"

using namespace ambrel;

namespace {

class LanguageModelTest : public ambrel::testing::LanguagesFixture {};

} // namespace

TEST_F(LanguageModelTest, EditsKeepBetweenOneAndFiveLanguagesAndApplyEachChange) {
    model.load(SpeechOptions{}, catalog);
    EXPECT_EQ(model.inUse(), (Strings{"en-US", "de-DE"}));
    EXPECT_FALSE(model.canAdd());

    // Turning automatic off starts from what detection was using.
    model.setAutomatic(false);
    EXPECT_EQ(model.chosen(), (Strings{"en-US", "de-DE"}));
    ASSERT_EQ(applied.size(), 1u);
    EXPECT_EQ(applied[0], (std::pair{false, Strings{"en-US", "de-DE"}}));

    model.add("de-DE"); // already there
    EXPECT_EQ(applied.size(), 1u);
    for (const char* identifier : {"fr-FR", "es-ES", "it-IT"}) {
        model.add(identifier);
    }
    EXPECT_EQ(model.chosen().size(), 5u);
    EXPECT_FALSE(model.canAdd());
    model.add("ja-JP");
    EXPECT_EQ(model.chosen().size(), 5u);

    for (const char* identifier : {"de-DE", "fr-FR", "es-ES", "it-IT"}) {
        model.remove(identifier);
    }
    EXPECT_EQ(model.chosen(), Strings{"en-US"});
    EXPECT_FALSE(model.canRemove(std::string("en-US"))); // the last one stays
    model.remove("en-US");
    EXPECT_EQ(model.chosen(), Strings{"en-US"});
    EXPECT_FALSE(model.canRemove(std::nullopt));

    // What can be added, by name; blank queries list everything left.
    EXPECT_EQ(model.addable("  "), (Strings{"fr-FR", "de-DE", "it-IT", "ja-JP", "pt-BR", "es-ES"}));
    EXPECT_EQ(model.addable("FRENCH"), Strings{"fr-FR"});
    EXPECT_EQ(model.addable("portugues"), Strings{"pt-BR"});
    EXPECT_TRUE(model.addable("klingon").empty());
}

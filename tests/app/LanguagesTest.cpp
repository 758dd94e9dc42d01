#include "app/AddLanguageSheet.h"
#include "app/LanguageModel.h"
#include "app/LanguageWindow.h"
#include "locale/L10n.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QToolButton>
#include <QTreeWidget>
#include <gtest/gtest.h>

using namespace ambrel;
using Strings = std::vector<std::string>;

namespace {

class LanguagesTest : public ::testing::Test {
protected:
    LanguagesTest() {
        L10n::configure(std::make_shared<core::MemorySettingsStore>(), {"en"});
        catalog.supported = {"en-US", "de-DE", "fr-FR", "es-ES", "it-IT", "pt-BR", "ja-JP"};
        catalog.installed = {"en-US"};
        catalog.defaultCandidates = {"en-US", "de-DE"};
    }

    SpeechModel::Catalog catalog;
    std::vector<std::pair<bool, Strings>> applied;
    LanguageModel model{
        [this](bool automatic, const Strings& chosen) { applied.emplace_back(automatic, chosen); }};
};

} // namespace

TEST_F(LanguagesTest, EditsKeepBetweenOneAndFiveLanguagesAndApplyEachChange) {
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

TEST_F(LanguagesTest, TheWindowShowsWhatIsInUseAndWhatNeedsDownloading) {
    SpeechOptions options;
    options.automaticLanguages = false;
    options.chosenLanguages = {"en-US", "fr-FR"};
    model.load(options, catalog);
    LanguageWindow window(model);
    model.onChange = [&] { window.refresh(); };
    EXPECT_EQ(window.windowTitle().toStdString(), "Speech Recognition");
    EXPECT_EQ(window.minimumSize(), window.maximumSize()) << "not resizable";
    const int withHint = window.height();
    ASSERT_EQ(window.list().topLevelItemCount(), 2);
    EXPECT_EQ(window.list().topLevelItem(0)->text(1).toStdString(), "");
    EXPECT_EQ(window.list().topLevelItem(1)->text(0).toStdString(), "French (France)");
    EXPECT_EQ(window.list().topLevelItem(1)->text(1).toStdString(), "Not Downloaded");
    EXPECT_EQ(window.hint().text().toStdString(), "Up to 5 languages. 3 or fewer recommended.");
    EXPECT_FALSE(window.removeButton().isEnabled());
    window.list().topLevelItem(1)->setSelected(true);
    EXPECT_TRUE(window.removeButton().isEnabled());

    // The note goes once the model is there.
    catalog.installed.insert("fr-FR");
    model.setCatalog(catalog);
    EXPECT_EQ(window.list().topLevelItem(1)->text(1).toStdString(), "");

    window.automaticSwitch().setChecked(true);
    EXPECT_FALSE(window.list().isEnabled());
    EXPECT_TRUE(window.hint().isHidden());
    EXPECT_LT(window.height(), withHint) << "the window fits its content";
    EXPECT_EQ(window.minimumSize(), window.maximumSize());
    EXPECT_FALSE(window.addButton().isEnabled());
    EXPECT_EQ(applied.back().first, true);
}

TEST_F(LanguagesTest, TheAddSheetAddsThePickOrTheFirstMatch) {
    SpeechOptions options;
    options.automaticLanguages = false;
    options.chosenLanguages = {"en-US"};
    model.load(options, catalog);
    {
        AddLanguageSheet sheet(model, nullptr);
        EXPECT_FALSE(sheet.target()); // nothing typed, nothing picked
        sheet.searchField().setText("span");
        EXPECT_EQ(sheet.target(), "es-ES");
        sheet.searchField().setText("nowhere");
        EXPECT_FALSE(sheet.target());
        sheet.searchField().setText("");
        EXPECT_FALSE(sheet.addButton().isEnabled());
        // Picked with the mouse, as people do.
        sheet.show();
        QListWidget& list = sheet.list();
        const QPointF at = list.visualItemRect(list.item(1)).center();
        for (const auto type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
            QMouseEvent click(type, at, list.viewport()->mapToGlobal(at), Qt::LeftButton,
                              type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                              Qt::NoModifier);
            QApplication::sendEvent(list.viewport(), &click);
        }
        EXPECT_EQ(sheet.target(), "de-DE");
        EXPECT_TRUE(sheet.addButton().isEnabled());
        emit sheet.searchField().returnPressed();
    }
    EXPECT_EQ(model.chosen(), (Strings{"en-US", "de-DE"}));
}

TEST_F(LanguagesTest, OfflineTheSheetSaysWhyAndTriesAgainAndTheWindowNamesWhatCannotBeHad) {
    // Offline: only what is installed can be recognised, and German was chosen earlier.
    SpeechModel::Catalog offline;
    offline.supported = {"en-US", "ja-JP"};
    offline.installed = {"en-US", "ja-JP"};
    offline.listProblem = "Could not resolve host: alphacephei.com";
    SpeechOptions options;
    options.automaticLanguages = false;
    options.chosenLanguages = {"en-US", "de-DE"};
    int retries = 0;
    model.onRetryCatalog = [&] { ++retries; };
    model.load(options, offline);
    EXPECT_FALSE(model.isUnavailable("en-US"));
    EXPECT_TRUE(model.isUnavailable("de-DE"));
    EXPECT_EQ(model.warnings(),
              Strings{"German (Germany) isn’t available: its speech model isn’t installed, and "
                      "the list of models to download couldn’t be loaded (Could not resolve "
                      "host: alphacephei.com)"});

    LanguageWindow window(model);
    ASSERT_EQ(window.list().topLevelItemCount(), 2);
    EXPECT_EQ(window.list().topLevelItem(0)->text(1), "");
    EXPECT_EQ(window.list().topLevelItem(1)->text(1), "Not Available");
    EXPECT_FALSE(window.warning().isHidden());
    EXPECT_TRUE(window.warning().text().startsWith("German (Germany) isn’t available"));

    AddLanguageSheet sheet(model, nullptr);
    EXPECT_FALSE(sheet.problem().isHidden());
    EXPECT_EQ(sheet.problem().text(), "The list of languages to download couldn’t be loaded "
                                      "(Could not resolve host: alphacephei.com).");
    ASSERT_EQ(sheet.list().count(), 1) << "installed languages are still listed";
    EXPECT_EQ(sheet.list().item(0)->text(), "Japanese (Japan)");
    sheet.tryAgainButton().click();
    EXPECT_EQ(retries, 1);
    EXPECT_FALSE(sheet.tryAgainButton().isEnabled()) << "until the catalogue comes back";

    // Back online: the list fills, the note goes, German can be downloaded again.
    sheet.searchField().setText("Ger");
    model.setCatalog(catalog);
    sheet.refresh();
    EXPECT_TRUE(sheet.problem().isHidden());
    EXPECT_TRUE(sheet.tryAgainButton().isHidden());
    EXPECT_EQ(sheet.searchField().text(), "Ger") << "the query stays";
    EXPECT_TRUE(model.warnings().empty());
    window.refresh();
    EXPECT_EQ(window.list().topLevelItem(1)->text(1), "Not Downloaded");
    EXPECT_TRUE(window.warning().isHidden());
}

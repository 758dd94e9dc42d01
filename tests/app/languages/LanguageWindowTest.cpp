#include "app/languages/LanguageWindow.h"

#include "LanguagesFixture.h"
#include "app/languages/AddLanguageSheet.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QToolButton>
#include <QTreeWidget>

using namespace ambrel;

namespace {

class LanguageWindowTest : public ambrel::testing::LanguagesFixture {};

} // namespace

TEST_F(LanguageWindowTest, TheWindowShowsWhatIsInUseAndWhatNeedsDownloading) {
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

TEST_F(LanguageWindowTest, OfflineTheSheetSaysWhyAndTriesAgainAndTheWindowNamesWhatCannotBeHad) {
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
